#include "rpc/Frame.h"
#include "rpc/Messages.h"
#include "rpc/ProtocolError.h"
#include "rtl/DateTime.h"

#include <QBuffer>
#include <QCborStreamWriter>
#include <QRandomGenerator>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

const Rpc::TRpcLimits limits;

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
                                                                    QStringLiteral("{A6EF}")}));
    EXPECT_EQ(hello.Module, QStringLiteral("exp13000.rdmConfRastr"));
    EXPECT_EQ(hello.ServerId, QStringLiteral("{A6EF}"));
    const auto anonymous = std::get<Rpc::THello>(RoundTrip(Rpc::THello{1, QStringLiteral("m"), QString()}));
    EXPECT_TRUE(anonymous.ServerId.isEmpty());
    const auto welcome = std::get<Rpc::TWelcome>(RoundTrip(Rpc::TWelcome{1, QStringLiteral("m"), QStringLiteral("id")}));
    EXPECT_EQ(welcome.ServerId, QStringLiteral("id"));
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

QByteArray Cbor(const std::function<void(QCborStreamWriter&)>& write)
{
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    write(writer);
    return bytes;
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
