#include "DateTime.h"

#include "Exceptions.h"
#include "FormatSettings.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr qint64 MsPerDay = 86'400'000;

qint64 epochJulianDay()
{
    static const qint64 jd = QDate(1899, 12, 30).toJulianDay();
    return jd;
}

// Beyond any day QDate can hold (about 7.8e11 days either way), yet exact in
// a qint64: a value past it has no calendar date.
constexpr double MaxDays = 1e15;

// Splits a value into whole days and milliseconds of the day, carrying a
// rounding that reaches midnight into the day count. False for a value that
// is not finite or lies beyond every calendar date (a peer may send any
// double as a date).
bool split(TDateTime value, qint64& days, qint64& ms)
{
    const double v = value.Val;
    if (!(std::fabs(v) < MaxDays))
        return false;
    days = static_cast<qint64>(std::trunc(v));
    ms = std::llround(std::fabs(v - std::trunc(v)) * MsPerDay);
    if (ms >= MsPerDay) {
        ms -= MsPerDay;
        days += v < 0 ? -1 : 1;
    }
    return true;
}

TDateTime combine(qint64 days, qint64 ms)
{
    const double frac = double(ms) / MsPerDay;
    return TDateTime(days >= 0 ? double(days) + frac : double(days) - frac);
}
} // namespace

TFormatSettings& FormatSettings()
{
    static TFormatSettings settings;
    return settings;
}

TDateTime DateTimeFromQDate(const QDate& date)
{
    return date.isValid() ? TDateTime(double(date.toJulianDay() - epochJulianDay())) : TDateTime();
}

TDateTime DateTimeFromQDateTime(const QDateTime& value)
{
    if (!value.isValid())
        return TDateTime();
    const qint64 days = value.date().toJulianDay() - epochJulianDay();
    return combine(days, value.time().msecsSinceStartOfDay());
}

QDate ToQDate(TDateTime value)
{
    qint64 days, ms;
    if (!split(value, days, ms))
        return QDate();
    return QDate::fromJulianDay(epochJulianDay() + days);
}

QDateTime ToQDateTime(TDateTime value)
{
    qint64 days, ms;
    if (!split(value, days, ms))
        return QDateTime();
    return QDateTime(QDate::fromJulianDay(epochJulianDay() + days), QTime::fromMSecsSinceStartOfDay(int(ms)));
}

TDateTime EncodeDate(int year, int month, int day)
{
    const QDate d(year, month, day);
    if (!d.isValid())
        throw EConvertError(QStringLiteral("Data inválida: %1/%2/%3").arg(day).arg(month).arg(year));
    return DateTimeFromQDate(d);
}

TDateTime DateOf(TDateTime value) { return TDateTime(std::trunc(value.Val)); }
TDateTime Now() { return DateTimeFromQDateTime(QDateTime::currentDateTime()); }
TDateTime Date() { return DateOf(Now()); }

QString FormatDateTime(const QString& format, TDateTime value)
{
    const TFormatSettings& fs = FormatSettings();
    const QDateTime dt = ToQDateTime(value);
    if (!dt.isValid())
        return QString();
    const QDate d = dt.date();
    const QTime t = dt.time();
    auto pad = [](int n, int width) { return QString::number(n).rightJustified(width, u'0'); };

    QString out;
    const int n = int(format.size());
    for (int i = 0; i < n;) {
        const QChar c = format.at(i);
        const QChar lc = c.toLower();
        int run = 1;
        while (i + run < n && format.at(i + run).toLower() == lc)
            ++run;
        if (c == u'"' || c == u'\'') {
            const int end = int(format.indexOf(c, i + 1));
            const int stop = end < 0 ? n : end;
            out += format.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        if (lc == u'd') {
            run = std::min(run, 4);
            if (run == 1) out += QString::number(d.day());
            else if (run == 2) out += pad(d.day(), 2);
            else if (run == 3) out += fs.ShortDayNames.at(d.dayOfWeek() % 7);
            else out += fs.LongDayNames.at(d.dayOfWeek() % 7);
        } else if (lc == u'm') {
            run = std::min(run, 4);
            if (run == 1) out += QString::number(d.month());
            else if (run == 2) out += pad(d.month(), 2);
            else if (run == 3) out += fs.ShortMonthNames.at(d.month() - 1);
            else out += fs.LongMonthNames.at(d.month() - 1);
        } else if (lc == u'y') {
            run = run <= 2 ? run : 4;
            out += run <= 2 ? pad(d.year() % 100, 2) : pad(d.year(), 4);
        } else if (lc == u'h') {
            run = std::min(run, 2);
            out += run == 1 ? QString::number(t.hour()) : pad(t.hour(), 2);
        } else if (lc == u'n') {
            run = std::min(run, 2);
            out += run == 1 ? QString::number(t.minute()) : pad(t.minute(), 2);
        } else if (lc == u's') {
            run = std::min(run, 2);
            out += run == 1 ? QString::number(t.second()) : pad(t.second(), 2);
        } else if (lc == u'z') {
            run = run >= 3 ? 3 : 1;
            out += run == 1 ? QString::number(t.msec()) : pad(t.msec(), 3);
        } else if (c == u'/') {
            out += fs.DateSeparator;
            run = 1;
        } else if (c == u':') {
            out += fs.TimeSeparator;
            run = 1;
        } else {
            out += c;
            run = 1;
        }
        i += run;
    }
    return out;
}

QString DateToStr(TDateTime value)
{
    return value.Val == 0.0 ? QString() : FormatDateTime(FormatSettings().ShortDateFormat, value);
}

QString DateTimeToStr(TDateTime value)
{
    if (value.Val == 0.0)
        return QString();
    const TFormatSettings& fs = FormatSettings();
    qint64 days, ms;
    if (!split(value, days, ms) || ms == 0)
        return FormatDateTime(fs.ShortDateFormat, value);
    return FormatDateTime(fs.ShortDateFormat + u' ' + fs.LongTimeFormat, value);
}

bool TryStrToDate(const QString& text, TDateTime& out)
{
    const QStringList parts = text.trimmed().split(FormatSettings().DateSeparator);
    if (parts.size() != 3)
        return false;
    // Digits alone: toInt would also take a sign ("1/1/-5", a year before
    // Christ) and blanks around each number.
    const auto digits = [](const QString& part) {
        return !part.isEmpty() && std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (!digits(parts[0]) || !digits(parts[1]) || !digits(parts[2]) || parts[2].size() > 4)
        return false;
    const int day = parts[0].toInt();
    const int month = parts[1].toInt();
    int year = parts[2].toInt();
    if (parts[2].size() <= 2)
        year += year < 50 ? 2000 : 1900;
    const QDate d(year, month, day);
    if (!d.isValid())
        return false;
    out = DateTimeFromQDate(d);
    return true;
}

TDateTime StrToDate(const QString& text)
{
    TDateTime d;
    if (!TryStrToDate(text, d))
        throw EConvertError(QStringLiteral("'%1' não é uma data válida").arg(text));
    return d;
}
