// The traceability event's pure pieces: Digital Link URIs, the CBV 2.0
// event hash and the streamed document, the documents checked by epcis2.js
// (its schema validation and its own event hash generator).
#include "EpcisValidator.h"
#include "epcis/DigitalLink.h"
#include "epcis/EventDocument.h"
#include "epcis/EventHash.h"
#include "rtl/Exceptions.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

struct TUnitCase {
    const char* Name;
    const char* Gtin;
    const char* Serial;
    const char* Uri;  // nullptr: refused, the message containing Error
    const char* Error;
};

class UnitUriTest : public testing::TestWithParam<TUnitCase> {};

TEST_P(UnitUriTest, FormsTheCanonicalUriOrSaysWhy)
{
    const TUnitCase& c = GetParam();
    if (c.Uri) {
        EXPECT_EQ(UnitUri(QString::fromUtf8(c.Gtin), QString::fromUtf8(c.Serial)), QString::fromUtf8(c.Uri));
        return;
    }
    try {
        UnitUri(QString::fromUtf8(c.Gtin), QString::fromUtf8(c.Serial));
        FAIL() << "accepted";
    } catch (const EConvertError& e) {
        EXPECT_TRUE(e.Message().contains(QString::fromUtf8(c.Error))) << e.Message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    DigitalLink, UnitUriTest,
    testing::Values(
        TUnitCase{"Gtin14", "07891234567895", "ABC123", "https://id.gs1.org/01/07891234567895/21/ABC123", nullptr},
        TUnitCase{"Gtin13PaddedTo14", "7891234567895", "1", "https://id.gs1.org/01/07891234567895/21/1", nullptr},
        TUnitCase{"Gtin8PaddedTo14", "12345670", "1", "https://id.gs1.org/01/00000012345670/21/1", nullptr},
        TUnitCase{"UnreservedKept", "07891234567895", "a-b.c_D9", "https://id.gs1.org/01/07891234567895/21/a-b.c_D9",
                  nullptr},
        TUnitCase{"ReservedEncoded", "07891234567895", "A/B%C?D&E", "https://id.gs1.org/01/07891234567895/21/A%2FB%25C%3FD%26E",
                  nullptr},
        TUnitCase{"EverySet82Symbol", "07891234567895", "!\"'()*+,:;<=>",
                  "https://id.gs1.org/01/07891234567895/21/%21%22%27%28%29%2A%2B%2C%3A%3B%3C%3D%3E", nullptr},
        TUnitCase{"BadCheckDigit", "07891234567890", "1", nullptr, "O GTIN 07891234567890 não é válido"},
        TUnitCase{"NotDigits", "0789123456789A", "1", nullptr, "não é válido"},
        TUnitCase{"EmptySerial", "07891234567895", "", nullptr, "de 1 a 20 caracteres"},
        TUnitCase{"SerialTooLong", "07891234567895", "123456789012345678901", nullptr, "de 1 a 20 caracteres"},
        TUnitCase{"SerialWithSpace", "07891234567895", "A B", nullptr, "o caractere ' ' não é do conjunto"},
        TUnitCase{"SerialOutsideSet82", "07891234567895", "A#B", nullptr, "o caractere '#' não é do conjunto"}),
    [](const testing::TestParamInfo<TUnitCase>& info) { return std::string(info.param.Name); });

TEST(DigitalLink, GlnNamesAPartyOrAPlaceAndABadOneIsRefused)
{
    EXPECT_EQ(PartyUri(QStringLiteral("7891234567895")), QStringLiteral("https://id.gs1.org/417/7891234567895"));
    EXPECT_EQ(LocationUri(QStringLiteral("7891234567895")), QStringLiteral("https://id.gs1.org/414/7891234567895"));
    EXPECT_THROW(PartyUri(QStringLiteral("7891234567891")), EConvertError);
    EXPECT_THROW(LocationUri(QStringLiteral("789123456789")), EConvertError);
}

// A shipping event of every shape the server writes.
TShippingEvent SampleEvent(const QTimeZone& zone, QStringList epcs, QList<TEpcisQuantity> quantities = {})
{
    TShippingEvent event;
    event.Time = QDateTime(QDate(2026, 3, 1), QTime(10, 15, 30, 250), zone);
    event.Epcs = std::move(epcs);
    event.Quantities = std::move(quantities);
    event.ReadPoint = LocationUri(QStringLiteral("7891234567895"));
    event.Transactions = {{QStringLiteral("po"), QStringLiteral("urn:epcglobal:cbv:bt:7891234567895:PED-9")},
                          {QStringLiteral("inv"), QStringLiteral("urn:epcglobal:cbv:bt:7891234567895:0000000042")}};
    event.Sources = {{QStringLiteral("owning_party"), PartyUri(QStringLiteral("7891234567895"))},
                     {QStringLiteral("location"), LocationUri(QStringLiteral("7891234567895"))}};
    event.Destinations = {{QStringLiteral("owning_party"), QStringLiteral("https://rastreio.example.com.br/cliente/C%2F1")}};
    return event;
}

TEST(EventHash, PreHashFollowsTheCanonicalOrderWithSortedListsAndUtcTime)
{
    const TShippingEvent event = SampleEvent(QTimeZone(-3 * 3600),
                                             {QStringLiteral("https://id.gs1.org/01/07891234567895/21/B"),
                                              QStringLiteral("https://id.gs1.org/01/07891234567895/21/A")},
                                             {{QStringLiteral("https://id.gs1.org/01/07891234567888"), 2.5}});
    // Written out from the algorithm's rules, field by field.
    const QByteArray expected =
        "eventType=ObjectEvent"
        "eventTime=2026-03-01T13:15:30.250Z"
        "eventTimeZoneOffset=-03:00"
        "epcList"
        "epc=https://id.gs1.org/01/07891234567895/21/A"
        "epc=https://id.gs1.org/01/07891234567895/21/B"
        "quantityListquantityElementepcClass=https://id.gs1.org/01/07891234567888quantity=2.5"
        "action=OBSERVE"
        "bizStep=https://ref.gs1.org/cbv/BizStep-shipping"
        "disposition=https://ref.gs1.org/cbv/Disp-in_transit"
        "readPointid=https://id.gs1.org/414/7891234567895"
        "bizTransactionList"
        "type=https://ref.gs1.org/cbv/BTT-invbizTransaction=urn:epcglobal:cbv:bt:7891234567895:0000000042"
        "type=https://ref.gs1.org/cbv/BTT-pobizTransaction=urn:epcglobal:cbv:bt:7891234567895:PED-9"
        "sourceList"
        "type=https://ref.gs1.org/cbv/SDT-locationsource=https://id.gs1.org/414/7891234567895"
        "type=https://ref.gs1.org/cbv/SDT-owning_partysource=https://id.gs1.org/417/7891234567895"
        "destinationList"
        "type=https://ref.gs1.org/cbv/SDT-owning_partydestination=https://rastreio.example.com.br/cliente/C%2F1";
    EXPECT_EQ(EventPreHash(event), expected);
    EXPECT_TRUE(EventHashId(event).startsWith(QStringLiteral("ni:///sha-256;")));
    EXPECT_TRUE(EventHashId(event).endsWith(QStringLiteral("?ver=CBV2.0")));
}

TEST(EventHash, SameEventSameIdentityAndAnyChangeAnother)
{
    const QTimeZone zone(-3 * 3600);
    const QStringList units{QStringLiteral("https://id.gs1.org/01/07891234567895/21/1"),
                            QStringLiteral("https://id.gs1.org/01/07891234567895/21/2")};
    const TShippingEvent event = SampleEvent(zone, units);
    EXPECT_EQ(EventHashId(event), EventHashId(SampleEvent(zone, {units[1], units[0]})));  // order of reading
    // The same instant written in another offset is another event time zone.
    TShippingEvent otherZone = event;
    otherZone.Time = event.Time.toTimeZone(QTimeZone(0));
    EXPECT_NE(EventHashId(event), EventHashId(otherZone));
    EXPECT_NE(EventHashId(event), EventHashId(SampleEvent(zone, {units[0]})));
    TShippingEvent otherCustomer = event;
    otherCustomer.Destinations[0].Id += u'2';
    EXPECT_NE(EventHashId(event), EventHashId(otherCustomer));
}

QByteArray Document(const QList<TShippingEvent>& events, const QList<TUnitMasterData>& units = {})
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TEpcisDocumentWriter writer(buffer, QDateTime(QDate(2026, 3, 2), QTime(8, 0), QTimeZone(-3 * 3600)));
    for (const TUnitMasterData& unit : units)
        writer.AddUnit(unit);
    for (const TShippingEvent& event : events)
        writer.AddEvent(event);
    writer.Finish();
    return buffer.data();
}

TEST(EventDocument, EnvelopeHeaderAndEventsAreOneJsonDocument)
{
    const QString unit = QStringLiteral("https://id.gs1.org/01/07891234567895/21/1");
    const QByteArray bytes = Document({SampleEvent(QTimeZone(-3 * 3600), {unit})},
                                      {{unit, QStringLiteral("L1"), QDate(2027, 5, 31), QStringLiteral("1234567890123")}});
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(bytes, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(document[QStringLiteral("type")].toString(), QStringLiteral("EPCISDocument"));
    EXPECT_EQ(document[QStringLiteral("schemaVersion")].toString(), QStringLiteral("2.0"));
    EXPECT_EQ(document[QStringLiteral("creationDate")].toString(), QStringLiteral("2026-03-02T08:00:00.000-03:00"));
    const QJsonObject element = document[QStringLiteral("epcisHeader")][QStringLiteral("epcisMasterData")]
                                    [QStringLiteral("vocabularyList")][0][QStringLiteral("vocabularyElementList")][0]
                                        .toObject();
    EXPECT_EQ(element[QStringLiteral("id")].toString(), unit);
    EXPECT_EQ(element[QStringLiteral("attributes")].toArray().size(), 3);
    const QJsonObject event = document[QStringLiteral("epcisBody")][QStringLiteral("eventList")][0].toObject();
    EXPECT_EQ(event[QStringLiteral("eventTime")].toString(), QStringLiteral("2026-03-01T10:15:30.250-03:00"));
    EXPECT_EQ(event[QStringLiteral("epcList")].toArray(), QJsonArray{unit});
    EXPECT_FALSE(event.contains(QStringLiteral("quantityList")));
}

TEST(EventDocument, NoEventsIsAnEmptyListAndAUnitAfterAnEventIsRefused)
{
    const QJsonObject document = QJsonDocument::fromJson(Document({})).object();
    EXPECT_TRUE(document[QStringLiteral("epcisBody")][QStringLiteral("eventList")].toArray().isEmpty());
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TEpcisDocumentWriter writer(buffer, QDateTime::currentDateTime());
    writer.AddEvent(SampleEvent(QTimeZone(0), {QStringLiteral("https://id.gs1.org/01/07891234567895/21/1")}));
    EXPECT_THROW(writer.AddUnit({}), std::logic_error);
}

TEST(EventDocument, ADeviceThatTakesNothingIsSaid)
{
    QBuffer buffer;  // not open: every write fails
    TEpcisDocumentWriter writer(buffer, QDateTime::currentDateTime());
    EXPECT_THROW(writer.Finish(), EConvertError);
}

// Someone else's validator: epcis2.js accepts the documents and computes
// the same event hash for each event as the eventID written.
TEST(EventDocument, Epcis2jsAcceptsTheDocumentsAndAgreesOnEveryEventHash)
{
    const QString unitA = UnitUri(QStringLiteral("07891234567895"), QStringLiteral("A/1%x"));
    const QString unitB = UnitUri(QStringLiteral("7891234567895"), QStringLiteral("(b)*+,:"));
    const QList<TShippingEvent> events{
        SampleEvent(QTimeZone(-3 * 3600), {unitA, unitB}),
        SampleEvent(QTimeZone(5 * 3600 + 1800), {}, {{ProductUri(QStringLiteral("7891234567888")), 12}}),
        SampleEvent(QTimeZone(0), {unitA}, {{ProductUri(QStringLiteral("7891234567888")), 2.5}}),
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("events.jsonld"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Document(events, {{unitA, QStringLiteral("L1"), QDate(2027, 5, 31), QStringLiteral("1234567890123")},
                                 {unitB, QString(), QDate(), QString()}}));
    file.close();
    const TEpcisCheck check = CheckEpcisDocument(path);
    EXPECT_TRUE(check.Valid) << check.Errors.join(u'\n').toStdString();
    ASSERT_EQ(check.Events.size(), events.size());
    for (int i = 0; i < events.size(); ++i) {
        EXPECT_EQ(check.Events[i].EventId, EventHashId(events[i])) << i;
        EXPECT_EQ(check.Events[i].Hash, check.Events[i].EventId) << i;
    }
}

} // namespace
