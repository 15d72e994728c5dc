#include "PacketFixtures.h"
#include "data/PacketCodec.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

#include <QCborStreamWriter>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(PacketCodec, RoundTripsValuesExactly)
{
    const QDateTime when(QDate(2026, 12, 7), QTime(13, 45, 12, 345));
    const double tricky[] = {0.1, -0.0, 1e-310, std::numeric_limits<double>::max(), 46363.0 + 1.0 / 3.0};
    const QList<TFieldDesc> fields = {{"S", TFieldType::ftString, 100}, {"F", TFieldType::ftFloat, 0},
                                      {"D", TFieldType::ftDateTime, 0}};
    QList<QVariantList> rows;
    for (double v : tricky)
        rows.append({QString::fromUtf8("Conferência ção 😀 ''"), v, DateTimeFromQDateTime(when).Val});
    rows.append({QVariant(), QVariant(), QVariant()});
    rows.append({QString(""), 0.0, 0.0});
    const TDataPacket p = MakePacket(fields, rows);

    const TDataPacket back = DecodePacket(EncodePacket(p));
    EXPECT_EQ(back.Fields(), p.Fields());
    ASSERT_EQ(back.RowCount(), p.RowCount());
    for (int r = 0; r < p.RowCount(); ++r)
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(back.IsNull(r, c), p.IsNull(r, c));
            EXPECT_EQ(back.String(r, c), p.String(r, c));
            EXPECT_TRUE(sameBits(back.Number(r, c), p.Number(r, c))) << r << "," << c;
        }
    EXPECT_EQ(ToQDateTime(TDateTime(back.Number(0, 2))), when);
    EXPECT_FALSE(back.IsNull(rows.size() - 1, 0)) << "an empty string is not null";
}

TEST(PacketCodec, RunsOfEqualValuesShareOneStringAndKeepTheirValues)
{
    const QList<TFieldDesc> fields = {{"S", TFieldType::ftString, 10}};
    const TDataPacket p = MakePacket(fields, {{"0001"}, {"0001"}, {QVariant()}, {"0001"}, {"0002"}, {"0002"}, {""}, {""}});
    EXPECT_TRUE(p.String(0, 0).isSharedWith(p.String(1, 0))) << "the builder shares a run";
    const TDataPacket back = DecodePacket(EncodePacket(p));
    ASSERT_TRUE(back == p);
    EXPECT_TRUE(back.String(0, 0).isSharedWith(back.String(1, 0))) << "the decoder shares a run";
    EXPECT_TRUE(back.String(4, 0).isSharedWith(back.String(5, 0)));
    EXPECT_FALSE(back.String(3, 0).isSharedWith(back.String(4, 0)));
    EXPECT_TRUE(back.IsNull(2, 0));
    EXPECT_FALSE(back.IsNull(6, 0));
}

// Each text goes once per column and comes back held once: a value seen
// earlier in its column, not only just above, travels as a reference.
TEST(PacketCodec, CompactFormSendsAndHoldsEachTextOnceAColumn)
{
    const QList<TFieldDesc> fields = {{"A", TFieldType::ftString, 10}, {"B", TFieldType::ftString, 10},
                                      {"D", TFieldType::ftDateTime, 0}};
    const QVariant null;
    const TDataPacket p = MakePacket(fields, {{"0001", "0002", 46700.0}, {"0002", "0001", 46700.5},
                                              {"0001", null, 46701.0}, {null, "0002", null}, {"0002", "0002", 0.0},
                                              {"0001", "", -3.0}, {"", "", 0.1}});
    const QByteArray compact = EncodePacket(p, TPacketForm::Compact);
    const QByteArray plain = EncodePacket(p, TPacketForm::Plain);
    EXPECT_LT(compact.size() + 40, plain.size());
    for (const QByteArray& bytes : {compact, plain})
        ASSERT_TRUE(DecodePacket(bytes) == p);
    const TDataPacket back = DecodePacket(compact);
    EXPECT_TRUE(back.String(0, 0).isSharedWith(back.String(2, 0)));
    EXPECT_TRUE(back.String(0, 0).isSharedWith(back.String(5, 0)));
    EXPECT_TRUE(back.String(1, 0).isSharedWith(back.String(4, 0)));
    EXPECT_TRUE(back.String(0, 1).isSharedWith(back.String(3, 1)));
    EXPECT_FALSE(back.IsNull(6, 0));
    EXPECT_TRUE(back.IsNull(3, 0));
}

// The server writes texts straight from its database's UTF-8 buffers: in
// either form that must give the bytes of the same texts given as strings.
TEST(PacketCodec, TextsGivenAsUtf8AreWrittenAsTheSameTextsGivenAsStrings)
{
    const QList<TFieldDesc> fields = {{"A", TFieldType::ftString, 10}, {"B", TFieldType::ftString, 10}};
    const QList<QStringList> rows = {{"0001", "São"}, {"0002", "São"}, {"0001", ""}, {"", "0001"}, {"0002", "ão"}};
    for (TPacketForm form : {TPacketForm::Compact, TPacketForm::Plain}) {
        TPacketWriter strings(fields, form), bytes(fields, form);
        for (const QStringList& row : rows) {
            for (const QString& text : row) {
                strings.AddString(text);
                bytes.AddUtf8(text.toUtf8());
            }
            strings.EndRow();
            bytes.EndRow();
        }
        EXPECT_EQ(bytes.Finish().Cbor, strings.Finish().Cbor) << int(form);
    }
}

// The compact writer finds a text sent earlier in its column by content:
// texts of every length a word-at-a-time hash meets (empty, shorter than,
// equal to and longer than a word, differing only in their last byte),
// non-ASCII ones, and enough distinct ones to grow its table, each repeated
// far from its first row, some rows null. A column of unique codes is given up on after a
// while, and a repeat that comes later goes in full and still reads back.
TEST(PacketCodec, CompactWriterFindsEarlierTextsOfEveryShape)
{
    QStringList distinct = {"", "a", "ab", "abcdefg", "abcdefgh", "abcdefgi", "abcdefghi", "abcdefghabcdefgh",
                            QString::fromUtf8("São Paulo – armazém 😀"), QString(300, u'x'), QString(300, u'x') + "y"};
    for (int i = 0; i < 1000; ++i)
        distinct << QStringLiteral("LOTE%1").arg(i, 6, 10, QChar(u'0'));
    const QList<TFieldDesc> fields = {{"REPEATED", TFieldType::ftString, 400}, {"UNIQUE", TFieldType::ftString, 20}};
    QList<QVariantList> rows;
    for (int pass = 0; pass < 3; ++pass)
        for (qsizetype i = 0; i < distinct.size(); ++i) {
            const QVariant text = pass == 1 && i % 7 == 3 ? QVariant() : QVariant(distinct[i]);
            rows.append({text, QStringLiteral("IUM%1").arg(rows.size())});
        }
    // Past the first few thousand unique codes, an early one comes again.
    for (int i = 0; i < 5000; ++i)
        rows.append({QVariant(), QStringLiteral("C%1").arg(i)});
    rows.append({distinct[3], QStringLiteral("C0")});
    const TDataPacket p = MakePacket(fields, rows);

    const QByteArray compact = EncodePacket(p, TPacketForm::Compact);
    const TDataPacket back = DecodePacket(compact);
    ASSERT_TRUE(back == p);
    // Each distinct text goes in full once, later passes as references, so
    // the decoded column holds each text once.
    for (qsizetype i = 1; i < distinct.size(); ++i) {  // an empty QString shares no block
        EXPECT_TRUE(back.String(int(i), 0).isSharedWith(back.String(int(2 * distinct.size() + i), 0))) << i;
    }
    EXPECT_TRUE(back.String(3, 0).isSharedWith(back.String(back.RowCount() - 1, 0)));
    EXPECT_LT(compact.size(), EncodePacket(p, TPacketForm::Plain).size() - 10 * distinct.size());
}

TEST(PacketCodec, ChunkedStringsAreReadToo)
{
    // [ [ ["A", 1, 4] ], [ [ (_ "ab", "c") ], [ "abc" ] ] ]: the first value
    // as an indefinite-length text in two chunks.
    const QByteArray bytes = QByteArray::fromHex("82" "81" "83" "6141" "01" "04"
                                                 "82" "81" "7f" "626162" "6163" "ff" "81" "63616263");
    const TDataPacket p = DecodePacket(bytes);
    ASSERT_EQ(p.RowCount(), 2);
    EXPECT_EQ(p.String(0, 0), "abc");
    EXPECT_EQ(p.String(1, 0), "abc");
}

TEST(PacketCodec, EmptyPacketsRoundTrip)
{
    EXPECT_EQ(DecodePacket(EncodePacket(TDataPacket())).FieldCount(), 0);
    const TDataPacket noRows = MakePacket(ItemFields(), {});
    const TDataPacket back = DecodePacket(EncodePacket(noRows));
    EXPECT_EQ(back.Fields(), noRows.Fields());
    EXPECT_EQ(back.RowCount(), 0);
}

// The writer streams rows as they come, so it must refuse a value that does
// not fit its field at once: nothing it writes is checked again before the wire.
TEST(PacketWriter, RefusesRowsThatDoNotFitTheFields)
{
    const QList<TFieldDesc> fields = {{"S", TFieldType::ftString, 4}, {"F", TFieldType::ftFloat, 0}};
    const std::pair<const char*, std::function<void(TPacketWriter&)>> misuses[] = {
        {"number_in_string_field", [](TPacketWriter& w) { w.AddNumber(1); }},
        {"text_in_float_field", [](TPacketWriter& w) { w.AddString("a"); w.AddString("b"); }},
        {"more_values_than_fields", [](TPacketWriter& w) { w.AddString("a"); w.AddNumber(1); w.AddNull(); }},
        {"fewer_values_than_fields", [](TPacketWriter& w) { w.AddString("a"); w.EndRow(); }},
        {"row_left_open", [](TPacketWriter& w) { w.AddString("a"); w.Finish(); }},
    };
    for (const auto& [name, misuse] : misuses) {
        TPacketWriter writer(fields);
        EXPECT_THROW(misuse(writer), EDatabaseError) << name;
    }
}

TEST(PacketWriter, StreamedRowsDecodeAsWritten)
{
    TPacketWriter writer({{"S", TFieldType::ftString, 4}, {"D", TFieldType::ftDateTime, 0}});
    const QString shared = QStringLiteral("0001");
    const std::pair<QVariant, QVariant> rows[] = {{shared, 45000.5}, {shared, QVariant()}, {QStringLiteral("0001"), 1.0},
                                                  {QVariant(), 2.0}, {QString::fromUtf8("çã"), 3.0}, {shared, 4.0}};
    for (const auto& [text, number] : rows) {
        text.isNull() ? writer.AddNull() : writer.AddString(text.toString());
        number.isNull() ? writer.AddNull() : writer.AddNumber(number.toDouble());
        writer.EndRow();
    }
    const TEncodedPacket encoded = writer.Finish();
    EXPECT_EQ(encoded.Rows, 6);
    const TDataPacket back = DecodePacket(encoded.Cbor);
    ASSERT_EQ(back.RowCount(), 6);
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(back.IsNull(r, 0), rows[r].first.isNull()) << r;
        EXPECT_EQ(back.String(r, 0), rows[r].first.toString()) << r;
        EXPECT_EQ(back.IsNull(r, 1), rows[r].second.isNull()) << r;
        EXPECT_EQ(back.Number(r, 1), rows[r].second.toDouble()) << r;
    }
}

// Bytes written by hand, for inputs the encoder never makes.
QByteArray cbor(const std::function<void(QCborStreamWriter&)>& write)
{
    QByteArray bytes;
    QCborStreamWriter w(&bytes);
    write(w);
    return bytes;
}

void field(QCborStreamWriter& w, const char* name, int kind)
{
    w.startArray(3);
    w.append(QLatin1String(name));
    w.append(quint64(kind));
    w.append(quint64(4));
    w.endArray();
}

struct BadInput {
    const char* name;
    std::function<QByteArray()> bytes;
    TPacketLimits limits;
};

class PacketCodecRefuses : public ::testing::TestWithParam<BadInput> {};

TEST_P(PacketCodecRefuses, WithAClearError)
{
    try {
        DecodePacket(GetParam().bytes(), GetParam().limits);
        FAIL() << "accepted";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().startsWith("Pacote de dados inválido")) << e.Message().toStdString();
    }
}

const QByteArray good = EncodePacket(SampleItems());

TPacketLimits limitsWith(int fields, qint64 rows, qint64 str)
{
    TPacketLimits l;
    l.maxFields = fields;
    l.maxRows = rows;
    l.maxStringBytes = str;
    return l;
}

const BadInput badInputs[] = {
    {"empty", [] { return QByteArray(); }, {}},
    {"garbage", [] { return QByteArray("\xff\xfe\x00garbage", 10); }, {}},
    {"reserved_encoding_first", [] { return QByteArray("\x5d\x00\x00", 3); }, {}},
    {"truncated_in_the_middle", [] { return good.left(good.size() / 2); }, {}},
    {"truncated_by_one_byte", [] { return good.left(good.size() - 1); }, {}},
    {"trailing_bytes", [] { return good + QByteArray(1, '\0'); }, {}},
    {"not_an_array", [] { return cbor([](auto& w) { w.append(QLatin1String("x")); }); }, {}},
    {"wrong_arity", [] { return cbor([](auto& w) { w.startArray(3); w.startArray(0); w.endArray(); w.startArray(0); w.endArray(); w.append(1); w.endArray(); }); }, {}},
    {"unknown_field_kind", [] { return cbor([](auto& w) { w.startArray(2); w.startArray(1); field(w, "A", 9); w.endArray(); w.startArray(0); w.endArray(); w.endArray(); }); }, {}},
    {"number_in_string_field", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(1); field(w, "A", 1); w.endArray();
         w.startArray(1); w.startArray(1); w.append(1.5); w.endArray(); w.endArray(); w.endArray(); }); }, {}},
    {"text_in_float_field", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(1); field(w, "A", 2); w.endArray();
         w.startArray(1); w.startArray(1); w.append(QLatin1String("1")); w.endArray(); w.endArray(); w.endArray(); }); }, {}},
    {"more_values_than_fields", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(1); field(w, "A", 1); w.endArray();
         w.startArray(1); w.startArray(2); w.append(QLatin1String("a")); w.append(QLatin1String("b")); w.endArray(); w.endArray(); w.endArray(); }); }, {}},
    {"more_values_indefinite_row", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(1); field(w, "A", 1); w.endArray();
         w.startArray(1); w.startArray(); w.append(QLatin1String("a")); w.append(QLatin1String("b")); w.endArray(); w.endArray(); w.endArray(); }); }, {}},
    {"fewer_values_than_fields", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(2); field(w, "A", 1); field(w, "B", 1); w.endArray();
         w.startArray(1); w.startArray(); w.append(QLatin1String("a")); w.endArray(); w.endArray(); w.endArray(); }); }, {}},
    {"nesting_where_a_value_belongs", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(1); field(w, "A", 1); w.endArray();
         w.startArray(1); w.startArray(1);
         for (int i = 0; i < 5000; ++i) w.startArray(1);
         w.append(nullptr);
         for (int i = 0; i < 5000; ++i) w.endArray();
         w.endArray(); w.endArray(); w.endArray(); }); }, {}},
    {"declared_rows_beyond_input", [] {
         // array(2) [ [] , array(2^32 rows, 4-byte length) ] and nothing after
         return QByteArray::fromHex("8280" "9affffffff"); }, {}},
    {"declared_string_beyond_input", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(1); field(w, "A", 1); w.endArray();
         w.startArray(1); w.startArray(1); }) + QByteArray::fromHex("7b7fffffffffffffff") + "abc"; }, {}},
    {"invalid_utf8_in_a_value", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(1); field(w, "A", 1); w.endArray();
         w.startArray(1); w.startArray(1); w.appendTextString("\xc3\x28", 2); w.endArray(); w.endArray(); w.endArray(); }); }, {}},
    // References count back from the column's newest text: 5 when it has 1,
    // one before the text it would name has come, one only another column's
    // texts could answer.
    {"reference_out_of_range", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(1); field(w, "A", 1); w.endArray();
         w.startArray(2); w.startArray(1); w.append(QLatin1String("x")); w.endArray();
         w.startArray(1); w.append(quint64(5)); w.endArray(); w.endArray(); w.endArray(); }); }, {}},
    {"reference_forward", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(1); field(w, "A", 1); w.endArray();
         w.startArray(2); w.startArray(1); w.append(quint64(0)); w.endArray();
         w.startArray(1); w.append(QLatin1String("x")); w.endArray(); w.endArray(); w.endArray(); }); }, {}},
    {"reference_to_another_column", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(2); field(w, "A", 1); field(w, "B", 1); w.endArray();
         w.startArray(2);
         w.startArray(2); w.append(QLatin1String("x")); w.append(QLatin1String("y")); w.endArray();
         w.startArray(2); w.append(QLatin1String("z")); w.append(quint64(1)); w.endArray();
         w.endArray(); w.endArray(); }); }, {}},
    // Fields are looked up by name without regard to case: two of one name are refused.
    {"repeated_field_name", [] { return cbor([](auto& w) {
         w.startArray(2); w.startArray(2); field(w, "CDFILIAL", 1); field(w, "cdFilial", 2); w.endArray();
         w.startArray(0); w.endArray(); w.endArray(); }); }, {}},
    {"declared_fields_beyond_input", [] { return QByteArray::fromHex("82" "9a00000400"); }, {}},
    {"too_many_fields", [] { return good; }, limitsWith(3, 1000, 1000)},
    {"too_many_rows", [] { return good; }, limitsWith(100, 5, 1000)},
    {"string_over_limit", [] { return good; }, limitsWith(100, 1000, 4)},
};

INSTANTIATE_TEST_SUITE_P(Table, PacketCodecRefuses, ::testing::ValuesIn(badInputs),
                         [](const auto& info) { return std::string(info.param.name); });

// Undefined, which some CBOR libraries write for a missing value, is null in
// a packet's cells as it is in a call's arguments.
TEST(PacketCodec, UndefinedCellsAreNull)
{
    const QByteArray bytes = cbor([](auto& w) {
        w.startArray(2);
        w.startArray(2); field(w, "A", 1); field(w, "B", 2); w.endArray();
        w.startArray(1);
        w.startArray(2); w.append(QCborSimpleType::Undefined); w.append(QCborSimpleType::Undefined); w.endArray();
        w.endArray();
        w.endArray();
    });
    const TDataPacket packet = DecodePacket(bytes);
    ASSERT_EQ(packet.RowCount(), 1);
    EXPECT_TRUE(packet.IsNull(0, 0));
    EXPECT_TRUE(packet.IsNull(0, 1));
}

// The plain form sends every text in full; equal texts in a column, also
// apart by other texts, come back equal, and references still count every
// text received in full (nulls are none).
TEST(PacketCodec, TextsRepeatedInFullKeepTheirPlaceForReferences)
{
    const char* column[] = {"S", "N", "S", "", "N", nullptr, "S", "X", "Y", "Z", "S"};
    const QByteArray bytes = cbor([&](auto& w) {
        w.startArray(2);
        w.startArray(1); field(w, "A", 1); w.endArray();
        w.startArray(13);
        for (const char* text : column) {
            w.startArray(1);
            if (text)
                w.append(QLatin1String(text));
            else
                w.append(nullptr);
            w.endArray();
        }
        // 0 is the newest text received ("S"), 6 the sixth before it ("").
        w.startArray(1); w.append(quint64(0)); w.endArray();
        w.startArray(1); w.append(quint64(6)); w.endArray();
        w.endArray();
        w.endArray();
    });
    const TDataPacket packet = DecodePacket(bytes);
    ASSERT_EQ(packet.RowCount(), 13);
    for (int r = 0; r < 11; ++r) {
        EXPECT_EQ(packet.IsNull(r, 0), column[r] == nullptr) << r;
        EXPECT_EQ(packet.String(r, 0), QLatin1String(column[r])) << r;
    }
    EXPECT_EQ(packet.String(11, 0), QLatin1String("S"));
    EXPECT_EQ(packet.String(12, 0), QLatin1String(""));
    EXPECT_FALSE(packet.IsNull(12, 0));
}

// A text repeated in full after references have come (a writer that forgot
// it) is stored once, and later references still count it as received.
TEST(PacketCodec, TextsRepeatedAfterReferencesKeepTheirPlaceToo)
{
    const QByteArray bytes = cbor([](auto& w) {
        w.startArray(2);
        w.startArray(1); field(w, "A", 1); w.endArray();
        w.startArray(6);
        w.startArray(1); w.append(QLatin1String("a")); w.endArray();
        w.startArray(1); w.append(QLatin1String("b")); w.endArray();
        w.startArray(1); w.append(quint64(1)); w.endArray();  // "a"
        w.startArray(1); w.append(QLatin1String("b")); w.endArray();
        w.startArray(1); w.append(QLatin1String("c")); w.endArray();
        w.startArray(1); w.append(quint64(0)); w.endArray();  // "c", the fourth text received
        w.endArray();
        w.endArray();
    });
    const TDataPacket packet = DecodePacket(bytes);
    const char* expected[] = {"a", "b", "a", "b", "c", "c"};
    ASSERT_EQ(packet.RowCount(), 6);
    for (int r = 0; r < 6; ++r)
        EXPECT_EQ(packet.String(r, 0), QLatin1String(expected[r])) << r;
}

} // namespace
