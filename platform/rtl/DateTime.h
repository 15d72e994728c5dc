#pragma once
// TDateTime: days since 1899-12-30 as a double, the time of day as the
// fraction; 0 means "no date". Conversions to and from Qt's types are exact
// to the millisecond (the fraction is rounded to the nearest millisecond, and
// a rounding that reaches midnight moves to the next day).
//
// Negative values follow the classic convention: the integral part counts the
// days before the epoch and the fraction's absolute value is the time of day.
// A value with no calendar date (not finite, or beyond the years QDate holds)
// converts to an invalid QDate / QDateTime and displays as "".
#include <QDate>
#include <QDateTime>
#include <QMetaType>
#include <QString>

struct TDateTime {
    double Val = 0.0;
    constexpr TDateTime() = default;
    constexpr explicit TDateTime(double v) : Val(v) {}
    constexpr operator double() const { return Val; }
};
Q_DECLARE_METATYPE(TDateTime)

TDateTime DateTimeFromQDate(const QDate& date);           // invalid date -> 0
TDateTime DateTimeFromQDateTime(const QDateTime& value);  // local wall-clock time; invalid -> 0
QDate ToQDate(TDateTime value);                           // date part
QDateTime ToQDateTime(TDateTime value);                   // local time, millisecond precision
TDateTime EncodeDate(int year, int month, int day);       // raises EConvertError when invalid
TDateTime DateOf(TDateTime value);                        // the date part only
TDateTime Now();
TDateTime Date();

// Display texts under the process-wide format settings.
QString DateToStr(TDateTime value);      // "dd/mm/yyyy"; "" for 0
QString DateTimeToStr(TDateTime value);  // date, plus " hh:nn:ss" when a time is set; "" for 0
// Classic date format tokens: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss
// z zzz, "/" and ":" (the settings' separators), quoted literals.
QString FormatDateTime(const QString& format, TDateTime value);
// Parses a date in the short date format; raises EConvertError naming the text.
TDateTime StrToDate(const QString& text);
// As StrToDate, but returns false instead of raising.
bool TryStrToDate(const QString& text, TDateTime& out);
