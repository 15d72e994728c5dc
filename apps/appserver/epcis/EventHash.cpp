#include "EventHash.h"

#include <QCryptographicHash>
#include <QTimeZone>

#include <algorithm>

namespace {

const QString cbv = QStringLiteral("https://ref.gs1.org/cbv/");

// "name" followed by its entries sorted by their bytes; nothing when empty.
QByteArray SortedList(const char* name, QList<QByteArray> entries)
{
    if (entries.isEmpty())
        return QByteArray();
    std::sort(entries.begin(), entries.end());
    QByteArray list(name);
    for (const QByteArray& entry : entries)
        list += entry;
    return list;
}

QByteArray Field(const char* name, const QString& value)
{
    return QByteArray(name) + '=' + value.trimmed().toUtf8();
}

QByteArray TypedList(const char* listName, const char* idName, QString (*typeUri)(const QString&),
                     const QList<TEpcisTyped>& entries)
{
    QList<QByteArray> texts;
    for (const TEpcisTyped& entry : entries)
        texts.append(Field("type", typeUri(entry.Type)) + Field(idName, entry.Id));
    return SortedList(listName, texts);
}

QString TwoDigits(int value)
{
    return QString::number(value).rightJustified(2, u'0');
}

} // namespace

QString CbvBizStepUri(const QString& word) { return cbv + QStringLiteral("BizStep-") + word; }
QString CbvDispositionUri(const QString& word) { return cbv + QStringLiteral("Disp-") + word; }
QString CbvTransactionTypeUri(const QString& word) { return cbv + QStringLiteral("BTT-") + word; }
QString CbvSourceDestTypeUri(const QString& word) { return cbv + QStringLiteral("SDT-") + word; }

QString EpcisTimeZoneOffset(const QDateTime& time)
{
    const int minutes = time.offsetFromUtc() / 60;
    const int magnitude = std::abs(minutes);
    return (minutes < 0 ? QStringLiteral("-") : QStringLiteral("+")) + TwoDigits(magnitude / 60) + u':'
           + TwoDigits(magnitude % 60);
}

QString EpcisTime(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + EpcisTimeZoneOffset(time);
}

QString PreHashTime(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + u'Z';
}

QString EpcisNumber(double value)
{
    return QString::number(value, 'g', 15);
}

QByteArray EventPreHash(const TShippingEvent& event)
{
    QByteArray text = Field("eventType", QStringLiteral("ObjectEvent"));
    text += Field("eventTime", PreHashTime(event.Time));
    text += Field("eventTimeZoneOffset", EpcisTimeZoneOffset(event.Time));
    QList<QByteArray> epcs;
    for (const QString& epc : event.Epcs)
        epcs.append(Field("epc", epc));
    text += SortedList("epcList", epcs);
    QList<QByteArray> quantities;
    for (const TEpcisQuantity& quantity : event.Quantities)
        quantities.append("quantityElement" + Field("epcClass", quantity.EpcClass)
                          + Field("quantity", EpcisNumber(quantity.Quantity)));
    text += SortedList("quantityList", quantities);
    text += Field("action", QStringLiteral("OBSERVE"));
    text += Field("bizStep", CbvBizStepUri(QString::fromLatin1(ShippingBizStep)));
    text += Field("disposition", CbvDispositionUri(QString::fromLatin1(ShippingDisposition)));
    text += "readPoint" + Field("id", event.ReadPoint);
    text += TypedList("bizTransactionList", "bizTransaction", CbvTransactionTypeUri, event.Transactions);
    text += TypedList("sourceList", "source", CbvSourceDestTypeUri, event.Sources);
    text += TypedList("destinationList", "destination", CbvSourceDestTypeUri, event.Destinations);
    return text;
}

QString EventHashId(const TShippingEvent& event)
{
    const QByteArray digest = QCryptographicHash::hash(EventPreHash(event), QCryptographicHash::Sha256);
    return QStringLiteral("ni:///sha-256;") + QString::fromLatin1(digest.toHex()) + QStringLiteral("?ver=CBV2.0");
}
