#pragma once
// The application identifiers GS1 defines: for each,
// the shape of its value and the identifiers it must travel with.
//
// Written by hand: no Debian package offers GS1's identifier table to a
// C++ program (libzint checks element strings inside its encoder only, and
// the server links no symbol library).
//
// A value is one or more components, each of one character set, fixed or
// variable length, with an optional check:
//   numeric (N), set 82 (X: GS1's printable characters), set 39 (Y: digits,
//   capitals, '#', '-', '/'), set 64 (Z: the URL-safe base 64 alphabet and
//   '=');
//   checks: the modulo-10 check digit of GTIN, GLN, SSCC and the other keys;
//   the check character pair of (8013); calendar dates and times.
// The table is built once, on first use, and lives for the whole program.
#include <QList>
#include <QStringList>
#include <QStringView>

enum class TGs1Set : quint8 { Numeric, Set82, Set39, Set64 };

enum class TGs1Check : quint8 {
    None,
    CheckDigit,    // modulo 10 over the whole component (GTIN, GLN, SSCC, GSRN...)
    CheckPair,     // two check characters of set 32 at the end (8013)
    DateDayZero,   // YYMMDD, DD = 00: the month's last day
    Date,          // YYMMDD
    DateHour,      // YYMMDDHH
    DateTime,      // YYMMDDHHMI
    LongDate,      // YYYYMMDD
    LongDateTime,  // YYYYMMDDHHMI
    Time,          // HHMI
    MinutesSeconds // MM, MMSS (an optional end of a date-hour)
};

struct TGs1Component {
    TGs1Set Set = TGs1Set::Numeric;
    int MinLength = 0;  // equal to MaxLength for a fixed-length component
    int MaxLength = 0;
    TGs1Check Check = TGs1Check::None;
    bool Optional = false;
};

struct TGs1Identifier {
    QString Ai;  // "01", "3103", "8013"...
    QList<TGs1Component> Components;
    // Groups of identifiers the element string must also carry: one of each
    // group ("01 02 03" means (01), (02) or (03)).
    QList<QStringList> Requires;
    // True when the identifier's first two digits are among those GS1 fixes
    // the length of (00-04, 11-20, 31-36, 41): its value ends after that
    // length, without a separator.
    bool Predefined = false;

    int FixedLength() const;  // the whole value's; 0 when some part varies
    int MaxLength() const;
};

// The identifier `text` begins with, nullptr when it begins with none.
const TGs1Identifier* FindGs1Identifier(QStringView text);

// Every identifier, in ascending order.
const QList<TGs1Identifier>& Gs1Identifiers();

// Pairs of identifiers GS1 forbids in one element string.
const QList<std::pair<QString, QString>>& Gs1ExclusivePairs();
