#include "SqlValues.h"

#include <QDateTime>
#include <QTime>

namespace {

// "yyyy-MM-dd" as the database stores it. Read digit by digit: a work list
// carries one or two dates per row, and QDate's general parser costs more
// than the rest of the row. Anything else is an invalid date.
QDate IsoDate(QStringView text)
{
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return QDate();
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8};
    const int lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return QDate();
            parts[p] = parts[p] * 10 + (c - u'0');
        }
    }
    return QDate(parts[0], parts[1], parts[2]);  // invalid when out of range
}

} // namespace

TDateTime SqlToDateTime(const QVariant& value)
{
    if (value.isNull())
        return TDateTime();
    switch (value.metaType().id()) {
    case QMetaType::QDate:
        return DateTimeFromQDate(value.toDate());
    case QMetaType::QDateTime:
        return DateTimeFromQDateTime(value.toDateTime());
    default:
        break;
    }
    // "yyyy-MM-dd" or "yyyy-MM-ddTHH:mm:ss[.zzz]"; parsed in two parts, since
    // QDateTime's parser would also work out a time zone we do not need.
    const QString text = value.toString();
    const TDateTime day = DateTimeFromQDate(IsoDate(QStringView(text).left(10)));
    if (text.size() <= 11 || day == 0)
        return day;
    const QTime time = QTime::fromString(QStringView(text).mid(11).toString(), Qt::ISODateWithMs);
    return TDateTime(day.Val + (time.isValid() ? time.msecsSinceStartOfDay() / 86'400'000.0 : 0.0));
}

QDate SqlToDate(const QVariant& value)
{
    return ToQDate(SqlToDateTime(value));
}

QDate DateParam(TDateTime value)
{
    return value == 0 ? QDate() : ToQDate(value);
}
