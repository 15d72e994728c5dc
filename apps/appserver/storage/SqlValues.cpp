#include "SqlValues.h"

namespace {

// The digits of text[from, from + count) as a number, or -1. Read digit by
// digit: a work list carries one or two dates per row, and Qt's general
// parsers cost more than the rest of the row.
int Digits(QByteArrayView text, qsizetype from, qsizetype count)
{
    if (from + count > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

TDateTime SqlToDateTime(QByteArrayView text)
{
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return TDateTime();
    const QDate date(Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2));  // invalid when out of range
    const TDateTime day = DateTimeFromQDate(date);
    if (text.size() < 19 || day == 0 || (text[10] != 'T' && text[10] != ' '))
        return day;
    const int hours = Digits(text, 11, 2), minutes = Digits(text, 14, 2), seconds = Digits(text, 17, 2);
    if (hours < 0 || minutes < 0 || seconds < 0)
        return day;
    // Milliseconds: the first three digits after the point, if any.
    int ms = 0;
    if (text.size() > 20 && text[19] == '.') {
        for (qsizetype i = 20, scale = 100; i < text.size() && i < 23 && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10)
            ms += int(scale) * (text[i] - '0');
    }
    const qint64 msecs = ((hours * 60 + minutes) * 60 + seconds) * 1000LL + ms;
    return TDateTime(day.Val + msecs / 86'400'000.0);
}

QDate DateParam(TDateTime value)
{
    return value == 0 ? QDate() : ToQDate(value);
}

bool StorableDate(TDateTime value)
{
    if (value == 0)
        return true;
    const QDate date = ToQDate(value);
    return date.isValid() && date.year() >= 1 && date.year() <= 9999;
}
