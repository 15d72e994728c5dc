#include "EventDocument.h"

#include "EventHash.h"

#include "rtl/Exceptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

namespace {

QByteArray Compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonArray TypedArray(const QList<TEpcisTyped>& entries, const QString& idName)
{
    QJsonArray array;
    for (const TEpcisTyped& entry : entries)
        array.append(QJsonObject{{QStringLiteral("type"), entry.Type}, {idName, entry.Id}});
    return array;
}

QJsonObject Attribute(const QString& id, const QString& value)
{
    return QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("attribute"), value}};
}

} // namespace

QByteArray EventJson(const TShippingEvent& event)
{
    QJsonObject json{
        {QStringLiteral("type"), QStringLiteral("ObjectEvent")},
        {QStringLiteral("eventID"), EventHashId(event)},
        {QStringLiteral("eventTime"), EpcisTime(event.Time)},
        {QStringLiteral("eventTimeZoneOffset"), EpcisTimeZoneOffset(event.Time)},
        {QStringLiteral("action"), QStringLiteral("OBSERVE")},
        {QStringLiteral("bizStep"), QString::fromLatin1(ShippingBizStep)},
        {QStringLiteral("disposition"), QString::fromLatin1(ShippingDisposition)},
        {QStringLiteral("readPoint"), QJsonObject{{QStringLiteral("id"), event.ReadPoint}}},
    };
    if (!event.Epcs.isEmpty())
        json.insert(QStringLiteral("epcList"), QJsonArray::fromStringList(event.Epcs));
    if (!event.Quantities.isEmpty()) {
        QJsonArray quantities;
        for (const TEpcisQuantity& quantity : event.Quantities)
            quantities.append(QJsonObject{{QStringLiteral("epcClass"), quantity.EpcClass},
                                          {QStringLiteral("quantity"), quantity.Quantity}});
        json.insert(QStringLiteral("quantityList"), quantities);
    }
    if (!event.Transactions.isEmpty())
        json.insert(QStringLiteral("bizTransactionList"), TypedArray(event.Transactions, QStringLiteral("bizTransaction")));
    if (!event.Sources.isEmpty())
        json.insert(QStringLiteral("sourceList"), TypedArray(event.Sources, QStringLiteral("source")));
    if (!event.Destinations.isEmpty())
        json.insert(QStringLiteral("destinationList"), TypedArray(event.Destinations, QStringLiteral("destination")));
    return Compact(json);
}

TEpcisDocumentWriter::TEpcisDocumentWriter(QIODevice& out, const QDateTime& creation)
    : TEpcisDocumentWriter(out, creation, TState{})
{
}

TEpcisDocumentWriter::TEpcisDocumentWriter(QIODevice& out, const QDateTime& creation, TState state)
    : out_(out), creation_(creation), part_(state.Part), units_(state.Units), events_(state.Events)
{
}

void TEpcisDocumentWriter::Write(const QByteArray& bytes)
{
    if (out_.write(bytes) != bytes.size())
        throw EConvertError(QStringLiteral("Não foi possível gravar o documento EPCIS: %1").arg(out_.errorString()));
}

void TEpcisDocumentWriter::Begin()
{
    const QJsonObject envelope{{QStringLiteral("@context"), QJsonArray{QString::fromLatin1(EpcisContext)}},
                               {QStringLiteral("type"), QStringLiteral("EPCISDocument")},
                               {QStringLiteral("schemaVersion"), QStringLiteral("2.0")},
                               {QStringLiteral("creationDate"), EpcisTime(creation_)}};
    QByteArray start = Compact(envelope);
    start.chop(1);  // the object stays open for the header and the body
    Write(start + ',');
}

void TEpcisDocumentWriter::AddUnit(const TUnitMasterData& unit)
{
    if (part_ == TPart::Start) {
        Begin();
        Write(QByteArrayLiteral(R"("epcisHeader":{"epcisMasterData":{"vocabularyList":[)"
                                R"({"type":"urn:epcglobal:epcis:vtype:EPCInstance","vocabularyElementList":[)"));
        part_ = TPart::Header;
    }
    if (part_ != TPart::Header)
        throw std::logic_error("EPCIS document: a unit's master data after the events");
    QJsonArray attributes;
    if (!unit.Lot.isEmpty())
        attributes.append(Attribute(QStringLiteral("cbvmda:lotNumber"), unit.Lot));
    if (unit.Expiry.isValid())
        attributes.append(Attribute(QStringLiteral("cbvmda:itemExpirationDate"), unit.Expiry.toString(Qt::ISODate)));
    if (!unit.Registration.isEmpty())
        attributes.append(Attribute(QStringLiteral("https://ref.gs1.org/ai/713"), unit.Registration));
    Write((units_++ > 0 ? QByteArrayLiteral(",") : QByteArray())
          + Compact(QJsonObject{{QStringLiteral("id"), unit.Epc}, {QStringLiteral("attributes"), attributes}}));
}

void TEpcisDocumentWriter::OpenBody()
{
    if (part_ == TPart::Start)
        Begin();
    if (part_ == TPart::Header)
        Write(QByteArrayLiteral("]}]}},"));
    Write(QByteArrayLiteral(R"("epcisBody":{"eventList":[)"));
    part_ = TPart::Body;
}

void TEpcisDocumentWriter::AddEvent(const TShippingEvent& event)
{
    if (part_ == TPart::Closed)
        throw std::logic_error("EPCIS document: an event after the end");
    if (part_ != TPart::Body)
        OpenBody();
    Write((events_++ > 0 ? QByteArrayLiteral(",\n") : QByteArrayLiteral("\n")) + EventJson(event));
}

void TEpcisDocumentWriter::Finish()
{
    if (part_ == TPart::Closed)
        return;
    if (part_ != TPart::Body)
        OpenBody();
    Write(QByteArrayLiteral("\n]}}\n"));
    part_ = TPart::Closed;
}
