#include "SqlValues.h"

#include <QDateTime>
#include <QTime>

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
    const TDateTime day = DateTimeFromQDate(QDate::fromString(QStringView(text).left(10), Qt::ISODate));
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
