#pragma once
// GS1 element strings as a scanner types them, and the IUM code on top.
// One parser serves the application server, which refuses a bad reading,
// the reading screen, which describes an accepted one (the server alone
// judges a scan), and the label drawing.
//
// A scan is an element string: application identifiers (Gs1Identifiers.h)
// each followed by its value; a keyboard-wedge scanner sends the group
// separator as the character 29 after a variable-length value. A scan may
// begin with a symbology identifier: "]d2" (GS1 DataMatrix), "]C1"
// (GS1-128), "]Q3" (GS1 QR Code) or "]e0" (GS1 DataBar) say the symbol
// carries GS1 data; any other ("]d1", "]E0"...) says it does not, and the
// scan is refused for that. Without one, the scan is taken as GS1 data.
//
// Every rule of GS1's standard that a scan alone can break
// is checked: a known identifier; each value's length (a predefined-length
// identifier takes exactly its length, another runs to the separator and
// must fit its format); its character set; the check digit of every key
// (GTIN, GLN, SSCC...), the check pair of (8013); dates and times that are
// on the calendar (day 00, the month's last day, where GS1 allows it); an
// identifier repeated only with the same value; the identifiers an
// identifier requires (a lot, an expiry or a serial need a GTIN), and none
// it excludes.
//
// Written by hand because no library on the system parses GS1 element
// strings.
#include <QDate>
#include <QList>
#include <QString>

struct TGs1Element {
    QString Ai;
    QString Value;
    friend bool operator==(const TGs1Element&, const TGs1Element&) = default;
};

struct TGs1Code {
    QString SymbologyIdentifier;  // "]d2"..., empty when the scan has none
    QString Code;                 // the scan without the symbology identifier
    QList<TGs1Element> Elements;  // in the scan's order, repeats dropped

    // The value of `ai`, empty when the code has none.
    QString Value(QStringView ai) const;
};

// Raises EConvertError whose message begins with `what` + " inválido: " and
// says precisely what is wrong, e.g. "Código GS1 inválido: identificador
// (11) com data inválida: 251340.". `today` fixes the century of a two-digit
// year (GS1's sliding window: up to 49 years back, 50 ahead).
TGs1Code ParseGs1(const QString& scan, const QDate& today = QDate::currentDate(),
                  const QString& what = QStringLiteral("Código GS1"));

// The element string of `elements`: each value after its identifier, a
// group separator (29) after every value but the last whose identifier has
// no predefined length.
QString Gs1ElementString(const QList<TGs1Element>& elements);

// What a person is shown in place of the group separator, which fonts draw
// as an empty box or not at all: the broken bar (U+00A6), which is in every
// font, reads as a separator and is no GS1 data character. Messages of the
// parser show it so.
inline constexpr char16_t GroupSeparatorMark = 0x00A6;

// `code` with every group separator shown as the mark.
QString Gs1ForDisplay(const QString& code);

// The scan without a leading symbology identifier, if it has one.
QString WithoutSymbologyIdentifier(const QString& scan);

// The IUM code: a GS1 element string that carries a GTIN (01) and a serial
// (21); of the other identifiers the screen keeps these.
struct TIumCode {
    QString Gtin;          // 14 digits
    QString Serial;
    QDate Expiry;          // (17); invalid when the scan carries none
    QString Lot;           // (10)
    QString Registration;  // (713)
    QString Code;          // the scan without the symbology identifier
};

// Raises EConvertError with a message beginning "Código IUM inválido: ".
TIumCode ParseIumCode(const QString& scan, const QDate& today = QDate::currentDate());

// The date of a (17)-style YYMMDD value whose day may be 00 (the month's
// last day), in the century `today` fixes; invalid when it is no date.
QDate Gs1Date(QStringView yymmdd, const QDate& today);

// True for the 82 characters of GS1's character set: the printable ASCII
// characters without space, '#', '$', '@', '[', '\', ']', '^', '`', '{', '|',
// '}', '~'.
bool IsGs1Character(QChar c);

// Modulo-10 check digits of GS1's keys (GTIN-8, -12, -13, -14, GLN, SSCC...).
bool IsValidGtin(const QString& digits);       // GTIN-8, -12, -13 or -14
bool HasValidCheckDigit(QStringView digits);   // any length of 2 or more
// The check digit that completes `body` (the key without its last digit).
QChar GtinCheckDigit(QStringView body);
// The two check characters that complete `body` (up to 23 characters of
// set 82) as a (8013) value.
QString Gs1CheckPair(QStringView body);
