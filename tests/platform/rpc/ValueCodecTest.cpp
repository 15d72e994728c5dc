#include "data/DataPacket.h"
#include "rpc/Limits.h"
#include "rpc/ProtocolError.h"
#include "rpc/ValueCodec.h"
#include "rtl/DateTime.h"

#include <QCborStreamWriter>
#include <gtest/gtest.h>

namespace {

QByteArray Encode(const QVariant& value)
{
    QByteArray bytes;
    TCborWriter writer(bytes);
    Rpc::WriteValue(writer, value);
    return bytes;
}

QVariant Decode(const QByteArray& bytes, const Rpc::TRpcLimits& limits = {})
{
    TCborReader reader(bytes);
    QVariant value = Rpc::ReadValue(reader, limits);
    if (reader.Offset() != bytes.size())
        throw std::runtime_error("trailing bytes");
    return value;
}

TDataPacket SamplePacket()
{
    TDataPacketBuilder builder({{QStringLiteral("NRLANCTONF"), TFieldType::ftString, 10},
                                {QStringLiteral("QTITEMPROD"), TFieldType::ftFloat, 0},
                                {QStringLiteral("DTENTRSAID"), TFieldType::ftDateTime, 0}});
    builder.AddString(QStringLiteral("0000000001"));
    builder.AddNumber(12.5);
    builder.AddNumber(EncodeDate(2024, 3, 1).Val + 0.5);
    builder.EndRow();
    builder.AddString(QStringLiteral("Conferência 'x'"));
    builder.AddNull();
    builder.AddNull();
    builder.EndRow();
    return builder.Build();
}

struct TRoundTrip {
    const char* name;
    QVariant value;
};

class ValueRoundTrip : public ::testing::TestWithParam<TRoundTrip> {};

// Every kind of the value model comes back with its kind and value intact.
TEST_P(ValueRoundTrip, KeepsKindAndValue)
{
    const QVariant& in = GetParam().value;
    const QVariant out = Decode(Encode(in));
    ASSERT_EQ(out.metaType(), in.metaType()) << out.typeName();
    if (in.metaType() == QMetaType::fromType<TDateTime>())
        EXPECT_EQ(out.value<TDateTime>().Val, in.value<TDateTime>().Val);
    else if (in.metaType() == QMetaType::fromType<TDataPacket>())
        EXPECT_TRUE(out.value<TDataPacket>() == in.value<TDataPacket>());
    else
        EXPECT_EQ(out, in);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueRoundTrip,
    ::testing::Values(
        TRoundTrip{"text", QString::fromUtf8("Razão Social Ltda. – ç")},
        TRoundTrip{"emptyText", QString()},
        TRoundTrip{"null", QVariant()},
        TRoundTrip{"date", QVariant::fromValue(TDateTime(45352.75))},
        TRoundTrip{"noDate", QVariant::fromValue(TDateTime(0))},
        TRoundTrip{"float", QVariant(-1234.5678)},
        TRoundTrip{"integralFloatStaysFloat", QVariant(3.0)},
        TRoundTrip{"true", QVariant(true)},
        TRoundTrip{"false", QVariant(false)},
        TRoundTrip{"nestedList", QVariant(QVariantList{QStringLiteral("a"), QVariantList{1.0, QVariant()}, false})},
        TRoundTrip{"packet", QVariant::fromValue(SamplePacket())}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ValueCodec, WritesIntegersAsFloats)
{
    EXPECT_EQ(Decode(Encode(QVariant(7))).metaType(), QMetaType::fromType<double>());
}

TEST(ValueCodec, RefusesToWriteValuesOutsideTheModel)
{
    EXPECT_THROW(Encode(QVariant(QByteArray("raw"))), EProtocolError);
    EXPECT_THROW(Encode(QVariant(QVariantMap{{QStringLiteral("a"), 1}})), EProtocolError);
}

// What other CBOR encoders produce by default is read too.
TEST(ValueCodec, ReadsOtherEncodersDefaults)
{
    QByteArray bytes;
    {
        QCborStreamWriter w(&bytes);
        w.startArray();  // indefinite length
        w.append(qint64(-5));
        w.append(float(1.5f));
        w.append(QCborSimpleType::Undefined);
        w.endArray();
    }
    const QVariantList list = Decode(bytes).toList();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0], QVariant(-5.0));
    EXPECT_EQ(list[1], QVariant(1.5));
    EXPECT_FALSE(list[2].isValid());
}

struct TBadInput {
    const char* name;
    QByteArray bytes;
};

class ValueRejects : public ::testing::TestWithParam<TBadInput> {};

TEST_P(ValueRejects, WithProtocolError)
{
    EXPECT_THROW(Decode(GetParam().bytes), EProtocolError);
}

QByteArray Nested(int depth)
{
    return QByteArray(depth, char(0x81)) + QByteArray(1, char(0xf6));  // [[[...null...]]]
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ValueRejects,
    ::testing::Values(TBadInput{"map", QByteArray::fromHex("a16161f6")},
                      TBadInput{"byteString", QByteArray::fromHex("43010203")},
                      TBadInput{"unknownTag", QByteArray::fromHex("c074323031332d30332d32315432303a30343a30305a")},
                      TBadInput{"dateTagOnText", QByteArray::fromHex("d9fde86161")},
                      TBadInput{"truncatedText", QByteArray::fromHex("6a6162")},
                      TBadInput{"truncatedArray", QByteArray::fromHex("83f5f4")},
                      TBadInput{"hugeDeclaredArray", QByteArray::fromHex("9bffffffffffffffff")},
                      TBadInput{"empty", QByteArray()},
                      TBadInput{"tooDeep", Nested(33)},
                      TBadInput{"badPacket", QByteArray::fromHex("d9fde98280")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ValueCodec, AcceptsNestingUpToTheLimit)
{
    EXPECT_NO_THROW(Decode(Nested(32)));
    Rpc::TRpcLimits tight;
    tight.MaxDepth = 4;
    EXPECT_THROW(Decode(Nested(5), tight), EProtocolError);
}

TEST(ValueCodec, PacketLimitsApplyInsideValues)
{
    Rpc::TRpcLimits tight;
    tight.Packet.maxRows = 1;
    EXPECT_THROW(Decode(Encode(QVariant::fromValue(SamplePacket())), tight), EProtocolError);
}

} // namespace
