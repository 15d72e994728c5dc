#include "rpc/Frame.h"
#include "rpc/Messages.h"
#include "rpc/ProtocolError.h"
#include "data/PacketCodec.h"
#include "rtl/DateTime.h"

#include <QBuffer>
#include <QCborStreamWriter>
#include <QRandomGenerator>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

const Rpc::TRpcLimits limits;

QByteArray Cbor(const std::function<void(QCborStreamWriter&)>& write)
{
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    write(writer);
    return bytes;
}


// Decodes a whole frame: checks the length prefix, then the payload.
Rpc::TMessage RoundTrip(const Rpc::TMessage& message)
{
    const QByteArray frame = Rpc::EncodeFrame(message, limits);
    EXPECT_EQ(qFromBigEndian<quint32>(frame.constData()), quint32(frame.size() - 4));
    return Rpc::DecodeMessage(frame.mid(4), limits);
}

// The decoder reads what the network hands it: a damaged reply (bytes
// changed, cut short) either still decodes or is refused with
// EProtocolError; it never crashes, hangs or raises anything else. The
// mutations are seeded, so a failure repeats.
TEST(Messages, DamagedRepliesAreDecodedOrRefusedNeverAnythingElse)
{
    TDataPacketBuilder rows({{QStringLiteral("NRLANCTONF"), TFieldType::ftString, 10},
                             {QStringLiteral("QTITEMPROD"), TFieldType::ftFloat, 0},
                             {QStringLiteral("DTENTRSAID"), TFieldType::ftDateTime, 0}});
    for (int i = 0; i < 20; ++i) {
        rows.AddString(QStringLiteral("%1").arg(i / 3, 10, 10, QChar(u'0')));
        i % 4 ? rows.AddNumber(i * 1.5) : rows.AddNull();
        rows.AddNumber(45000 + i);
        rows.EndRow();
    }
    const Rpc::TResult reply{7, QVariantList{true, QString::fromUtf8("Conferência"), QVariant::fromValue(rows.Build())},
                             {QStringLiteral("T"), QVariant::fromValue(TDateTime(45000.5))}};
    const QByteArray good = Rpc::EncodeFrame(reply, limits).mid(4);
    QRandomGenerator random(20261207);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray bad = good;
        const int changes = 1 + int(random.bounded(4));
        for (int c = 0; c < changes; ++c)
            bad[qsizetype(random.bounded(quint32(bad.size())))] = char(random.bounded(256));
        if (round % 3 == 0)
            bad.truncate(qsizetype(random.bounded(quint32(bad.size()))));
        try {
            Rpc::DecodeMessage(bad, limits);
        } catch (const EProtocolError&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 1000) << "most damage is detected";
}

TEST(Messages, HandshakeRoundTrips)
{
    const auto hello = std::get<Rpc::THello>(RoundTrip(Rpc::THello{1, QStringLiteral("exp13000.rdmConfRastr"),
                                                                    QStringLiteral("{A6EF}"), std::nullopt}));
    EXPECT_EQ(hello.Module, QStringLiteral("exp13000.rdmConfRastr"));
    EXPECT_EQ(hello.ServerId, QStringLiteral("{A6EF}"));
    const auto anonymous = std::get<Rpc::THello>(RoundTrip(Rpc::THello{1, QStringLiteral("m"), QString(), std::nullopt}));
    EXPECT_TRUE(anonymous.ServerId.isEmpty());
    const auto welcome = std::get<Rpc::TWelcome>(RoundTrip(Rpc::TWelcome{1, QStringLiteral("m"), QStringLiteral("id"), std::nullopt}));
    EXPECT_EQ(welcome.ServerId, QStringLiteral("id"));
}

// A hello without features is the base protocol's four items, which a server
// that predates features accepts; one with features carries a fifth, and a
// reader keeps the names it knows.
TEST(Messages, GreetingsSayWhatEachSideSpeaks)
{
    const Rpc::THello base{1, QStringLiteral("m"), QString(), std::nullopt};
    EXPECT_EQ(quint8(Rpc::EncodeFrame(base, limits).at(4)), 0x84);
    EXPECT_FALSE(std::get<Rpc::THello>(RoundTrip(base)).Features.has_value());

    for (const Rpc::TFeatures offer : {Rpc::TFeatures{true, true}, Rpc::TFeatures{true, false}, Rpc::TFeatures{}}) {
        const auto hello = std::get<Rpc::THello>(RoundTrip(Rpc::THello{1, QStringLiteral("m"), QString(), offer}));
        ASSERT_TRUE(hello.Features.has_value());
        EXPECT_EQ(*hello.Features, offer);
    }
    const QByteArray later = Cbor([](QCborStreamWriter& w) {
        w.startArray(5);
        w.append(QStringLiteral("welcome"));
        w.append(quint64(1));
        w.append(QStringLiteral("m"));
        w.append(nullptr);
        w.startArray(2);
        w.append(QStringLiteral("zstd"));
        w.append(QStringLiteral("a-later-feature"));
        w.endArray();
        w.endArray();
    });
    EXPECT_EQ(std::get<Rpc::TWelcome>(Rpc::DecodeMessage(later, limits)).Features, (Rpc::TFeatures{false, true}));
}

Rpc::TResult ReplyWithReadings(int rows)
{
    TPacketWriter packet({{QStringLiteral("CDFILIAL"), TFieldType::ftString, 4},
                          {QStringLiteral("CDIUMPROD"), TFieldType::ftString, 100},
                          {QStringLiteral("DTVALILOTE"), TFieldType::ftDateTime, 0}});
    for (int i = 0; i < rows; ++i) {
        packet.AddString(QStringLiteral("0001"));
        packet.AddString(QStringLiteral("0107891000031521%1").arg(i, 10, 10, QChar(u'0')));
        packet.AddNumber(46700 + i % 30);
        packet.EndRow();
    }
    return Rpc::TResult{3, QVariantList{true, QVariant::fromValue(packet.Finish())}, {}};
}

TDataPacket ReadingsOf(const Rpc::TMessage& message)
{
    return std::get<Rpc::TResult>(message).Value.toList().at(1).value<TDataPacket>();
}

// The server keeps packets in the compact form; a peer that did not agree to
// it gets exactly the plain form, byte for byte what a packet of the same
// values encodes to, and its references are refused when it sends them.
TEST(Messages, APeerWithoutTheCompactFormGetsPlainPackets)
{
    const Rpc::TResult compact = ReplyWithReadings(50);
    const TDataPacket values = ReadingsOf(RoundTrip(compact));
    const Rpc::TResult plain{3, QVariantList{true, QVariant::fromValue(values)}, {}};
    EXPECT_EQ(Rpc::EncodeFrame(compact, limits), Rpc::EncodeFrame(plain, limits));
    const QByteArray agreed = Rpc::EncodeFrame(compact, limits, Rpc::TFeatures{true, false});
    EXPECT_LT(agreed.size() + 400, Rpc::EncodeFrame(plain, limits).size()) << "short dates, one branch text";
    EXPECT_TRUE(ReadingsOf(Rpc::DecodeMessage(agreed.mid(4), limits, Rpc::TFeatures{true, false})) == values);
    // Nor does a peer send the compact form to one that did not agree to it.
    EXPECT_THROW(Rpc::DecodeMessage(agreed.mid(4), limits), EProtocolError);
}

TEST(Messages, CompressedFramesTravelOnlyWhenAgreed)
{
    const Rpc::TFeatures zstd{true, true};
    const Rpc::TResult reply = ReplyWithReadings(2000);
    const QByteArray frame = Rpc::EncodeFrame(reply, limits, zstd);
    const QByteArray payload = frame.mid(4);
    ASSERT_EQ(qFromBigEndian<quint32>(frame.constData()), quint32(payload.size()));
    EXPECT_LT(payload.size(), Rpc::EncodeFrame(reply, limits, Rpc::TFeatures{true, false}).size() / 3);
    EXPECT_TRUE(ReadingsOf(Rpc::DecodeMessage(payload, limits, zstd)) == ReadingsOf(RoundTrip(reply)));

    // Small messages go as they are.
    const QByteArray small = Rpc::EncodeFrame(Rpc::TFault{1, QStringLiteral("x"), QStringLiteral("y")}, limits, zstd);
    EXPECT_EQ(small, Rpc::EncodeFrame(Rpc::TFault{1, QStringLiteral("x"), QStringLiteral("y")}, limits));

    // Refused: without the agreement, cut short, followed by more bytes,
    // inflating beyond the frame limit.
    Rpc::TRpcLimits tight;
    tight.MaxFrameSize = quint32(payload.size() * 2);
    const std::pair<const char*, std::function<void()>> refused[] = {
        {"not_agreed", [&] { Rpc::DecodeMessage(payload, limits, Rpc::TFeatures{true, false}); }},
        {"truncated", [&] { Rpc::DecodeMessage(payload.chopped(7), limits, zstd); }},
        {"trailing_bytes", [&] { Rpc::DecodeMessage(payload + QByteArray(3, '\0'), limits, zstd); }},
        {"beyond_the_limit", [&] { Rpc::DecodeMessage(payload, tight, zstd); }},
    };
    for (const auto& [name, decode] : refused) {
        try {
            decode();
            ADD_FAILURE() << name << " accepted";
        } catch (const EProtocolError& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("compr"))) << name << ": " << e.Message().toStdString();
        }
    }
}

TEST(Messages, CallCarriesArgumentsAndByRefIndexes)
{
    Rpc::TCall call{42, QStringLiteral("GetDados"),
                    {QStringLiteral("0001"), QStringLiteral("T"), QVariant::fromValue(TDateTime(45000))}, {1}};
    const auto out = std::get<Rpc::TCall>(RoundTrip(call));
    EXPECT_EQ(out.Id, 42u);
    EXPECT_EQ(out.Method, QStringLiteral("GetDados"));
    ASSERT_EQ(out.Args.size(), 3);
    EXPECT_EQ(out.Args[1], QVariant(QStringLiteral("T")));
    EXPECT_EQ(out.Args[2].value<TDateTime>().Val, 45000.0);
    EXPECT_EQ(out.ByRef, QList<int>{1});
}

// A request identifier travels as the call's sixth item once "request-id" is
// agreed; without the agreement, or not a valid identifier, the call is
// malformed. A call without one stays the base protocol's five items.
TEST(Messages, CallCarriesItsRequestIdentifierOnlyWhenAgreed)
{
    const Rpc::TFeatures agreed{.RequestId = true};
    Rpc::TCall call{3, QStringLiteral("setLeituraIUM"), {QStringLiteral("0001")}, {}};
    EXPECT_EQ(quint8(Rpc::EncodeFrame(call, limits, agreed).at(4)), 0x85);
    EXPECT_TRUE(std::get<Rpc::TCall>(Rpc::DecodeMessage(Rpc::EncodeFrame(call, limits, agreed).mid(4), limits, agreed))
                    .RequestId.isEmpty());

    call.RequestId = QStringLiteral("7f0c4b2e-2d6a-4c4e-9a51-0d3f2b9c1e77");
    const QByteArray payload = Rpc::EncodeFrame(call, limits, agreed).mid(4);
    EXPECT_EQ(quint8(payload.at(0)), 0x86);
    EXPECT_EQ(std::get<Rpc::TCall>(Rpc::DecodeMessage(payload, limits, agreed)).RequestId, call.RequestId);

    const std::pair<const char*, std::function<void()>> refused[] = {
        {"not_agreed", [&] { Rpc::DecodeMessage(payload, limits, Rpc::TFeatures{true, true}); }},
        {"empty", [&] {
             Rpc::TCall bad = call;
             bad.RequestId = QStringLiteral("x");
             QByteArray encoded = Rpc::EncodeFrame(bad, limits, agreed).mid(4);
             encoded.chop(2);
             encoded.append(char(0x60));  // the empty text in place of "x"
             Rpc::DecodeMessage(encoded, limits, agreed);
         }},
        {"too_long", [&] {
             Rpc::TCall bad = call;
             bad.RequestId = QString(65, u'a');
             Rpc::DecodeMessage(Rpc::EncodeFrame(bad, limits, agreed).mid(4), limits, agreed);
         }},
        {"blank_inside", [&] {
             Rpc::TCall bad = call;
             bad.RequestId = QStringLiteral("a b");
             Rpc::DecodeMessage(Rpc::EncodeFrame(bad, limits, agreed).mid(4), limits, agreed);
         }},
    };
    for (const auto& [name, decode] : refused) {
        try {
            decode();
            ADD_FAILURE() << name << " accepted";
        } catch (const EProtocolError& e) {
            EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Mensagem malformada"))) << name;
        }
    }
    // The feature is offered and agreed by its name.
    const auto hello = std::get<Rpc::THello>(RoundTrip(Rpc::THello{1, QStringLiteral("m"), QString(), agreed}));
    EXPECT_EQ(hello.Features, agreed);
}

TEST(Messages, ResultAndFaultRoundTrip)
{
    const auto result = std::get<Rpc::TResult>(
        RoundTrip(Rpc::TResult{7, QVariantList{true, QVariant()}, {QStringLiteral("0000000012")}}));
    EXPECT_EQ(result.Id, 7u);
    EXPECT_EQ(result.RefValues, QVariantList{QStringLiteral("0000000012")});
    const auto fault = std::get<Rpc::TFault>(RoundTrip(Rpc::TFault{std::nullopt, Rpc::Fault::Frame, QStringLiteral("x")}));
    EXPECT_FALSE(fault.Id.has_value());
    EXPECT_EQ(fault.Code, Rpc::Fault::Frame);
}

struct TBadMessage {
    const char* name;
    QByteArray payload;
};

class MessageRejects : public ::testing::TestWithParam<TBadMessage> {};

TEST_P(MessageRejects, WithProtocolError)
{
    EXPECT_THROW(Rpc::DecodeMessage(GetParam().payload, limits), EProtocolError);
}

QByteArray CallWithByRef(QList<quint64> indexes)
{
    return Cbor([&](QCborStreamWriter& w) {
        w.startArray(5);
        w.append(QStringLiteral("call"));
        w.append(quint64(1));
        w.append(QStringLiteral("m"));
        w.startArray(2);
        w.append(QStringLiteral("a"));
        w.append(QStringLiteral("b"));
        w.endArray();
        w.startArray(quint64(indexes.size()));
        for (quint64 i : indexes)
            w.append(i);
        w.endArray();
        w.endArray();
    });
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, MessageRejects,
    ::testing::Values(
        TBadMessage{"notAnArray", Cbor([](QCborStreamWriter& w) { w.append(QStringLiteral("call")); })},
        TBadMessage{"unknownKind", Cbor([](QCborStreamWriter& w) {
                        w.startArray(1);
                        w.append(QStringLiteral("shutdown"));
                        w.endArray();
                    })},
        TBadMessage{"shortHello", Cbor([](QCborStreamWriter& w) {
                        w.startArray(2);
                        w.append(QStringLiteral("hello"));
                        w.append(quint64(1));
                        w.endArray();
                    })},
        TBadMessage{"byRefOutOfRange", CallWithByRef({2})},
        TBadMessage{"byRefNotAscending", CallWithByRef({1, 0})},
        TBadMessage{"trailingBytes", CallWithByRef({0}) + QByteArray(1, char(0xf6))},
        TBadMessage{"truncated", CallWithByRef({0}).chopped(2)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Frames, OversizedMessageIsNotEncoded)
{
    Rpc::TRpcLimits tight;
    tight.MaxFrameSize = 16;
    EXPECT_THROW(Rpc::EncodeFrame(Rpc::TFault{1, QStringLiteral("x"), QString(64, u'a')}, tight), EProtocolError);
}

// Frames arriving one byte at a time, several in one stream, come out whole.
TEST(Frames, ReaderReassemblesSplitFrames)
{
    QByteArray stream = Rpc::EncodeFrame(Rpc::TFault{1, QStringLiteral("a"), QStringLiteral("first")}, limits)
                        + Rpc::EncodeFrame(Rpc::TFault{2, QStringLiteral("b"), QStringLiteral("second")}, limits);
    QByteArray fed;
    QBuffer device(&fed);
    device.open(QIODevice::ReadWrite);
    Rpc::TFrameReader reader(limits.MaxFrameSize);
    QList<quint64> ids;
    for (char byte : stream) {
        const qint64 at = device.pos();
        device.seek(fed.size());
        device.write(&byte, 1);
        device.seek(at);
        while (reader.ReadFrom(device))
            ids.append(*std::get<Rpc::TFault>(Rpc::DecodeMessage(reader.TakeFrame(), limits)).Id);
    }
    EXPECT_EQ(ids, (QList<quint64>{1, 2}));
    EXPECT_FALSE(reader.Pending());
}

TEST(Frames, ReaderRejectsZeroAndOversizedLengths)
{
    for (quint32 length : {0u, 1025u}) {
        QByteArray header(4, '\0');
        qToBigEndian(length, header.data());
        QBuffer device(&header);
        device.open(QIODevice::ReadOnly);
        Rpc::TFrameReader reader(1024);
        EXPECT_THROW(reader.ReadFrom(device), EProtocolError) << length;
    }
}

} // namespace
