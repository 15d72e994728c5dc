#include "PacketFixtures.h"
#include "data/ClientDataSet.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <functional>

TEST(DataPacket, CopiesShareStorageAndNullsReadAsEmpty)
{
    const TDataPacket p = SampleItems();
    const TDataPacket copy = p;
    EXPECT_TRUE(copy.SharesStorageWith(p));
    EXPECT_EQ(p.RowCount(), 6);
    EXPECT_EQ(p.IndexOf("nrlanctonf"), 1);
    EXPECT_EQ(p.IndexOf("NADA"), -1);
    EXPECT_TRUE(p.IsNull(4, 5));
    EXPECT_EQ(p.String(4, 5), "");
    EXPECT_EQ(p.Number(4, 3), 0.0);
    EXPECT_EQ(TDataPacket().RowCount(), 0);
}

TEST(DataPacket, BuilderRefusesRowsOfTheWrongShape)
{
    TDataPacketBuilder b(ItemFields());
    b.AddString("0001");
    EXPECT_THROW(b.EndRow(), EDatabaseError);  // too few values
    TDataPacketBuilder b2({{"A", TFieldType::ftString, 1}});
    b2.AddString("x");
    EXPECT_THROW(b2.AddString("y"), EDatabaseError);  // more values than fields
    TDataPacketBuilder b3({{"Q", TFieldType::ftFloat, 0}});
    EXPECT_THROW(b3.AddString("1"), EDatabaseError);  // wrong kind
}

// Whole columns make a packet only when each holds a value of its field's
// kind for every row and names only texts it has.
TEST(DataPacket, PacketsFromColumnsTakeOnlyWholeColumns)
{
    const QList<TFieldDesc> fields = {{"S", TFieldType::ftString, 4}, {"F", TFieldType::ftFloat, 0}};
    auto columns = [](std::vector<quint32> entries, std::vector<double> numbers) {
        std::vector<TPacketColumn> c(2);
        c[0].Texts = {QStringLiteral("a"), QStringLiteral("b")};
        c[0].Entries = std::move(entries);
        c[1].Numbers = numbers;
        c[1].Nulls.assign(numbers.size(), 0);
        return c;
    };
    const TDataPacket p = TDataPacket::FromColumns(fields, columns({1, TPacketColumn::NullEntry, 0}, {1, 2, 3}), 3);
    ASSERT_EQ(p.RowCount(), 3);
    EXPECT_EQ(p.String(0, 0), "b");
    EXPECT_TRUE(p.IsNull(1, 0));
    EXPECT_EQ(p.Number(2, 1), 3.0);
    const std::pair<const char*, std::function<TDataPacket()>> refused[] = {
        {"short_string_column", [&] { return TDataPacket::FromColumns(fields, columns({1, 0}, {1, 2, 3}), 3); }},
        {"short_number_column", [&] { return TDataPacket::FromColumns(fields, columns({1, 0, 0}, {1, 2}), 3); }},
        {"text_it_does_not_have", [&] { return TDataPacket::FromColumns(fields, columns({1, 2, 0}, {1, 2, 3}), 3); }},
        {"numbers_in_string_column", [&] {
             auto c = columns({0, 0, 0}, {1, 2, 3});
             c[0].Numbers = {1, 2, 3};
             return TDataPacket::FromColumns(fields, std::move(c), 3);
         }},
        {"fewer_columns_than_fields", [&] {
             auto c = columns({0, 0, 0}, {1, 2, 3});
             c.pop_back();
             return TDataPacket::FromColumns(fields, std::move(c), 3);
         }},
    };
    for (const auto& [name, make] : refused)
        EXPECT_THROW(make(), EDatabaseError) << name;
}

// The key index against a scan of every row: runs of one key, a key that
// comes back after others, nulls inside and at the end of runs, and one
// text held twice in a column (as a decoder may keep it).
TEST(DataPacket, KeyIndexFindsTheRowsAScanFinds)
{
    const QList<TFieldDesc> fields = {{"A", TFieldType::ftString, 4}, {"B", TFieldType::ftString, 4}};
    const quint32 null = TPacketColumn::NullEntry;
    std::vector<TPacketColumn> columns(2);
    columns[0].Texts = {"x", "y", "x"};
    columns[0].Entries = {0, 0, 2, 1, 1, null, 0, 2, 1, 0, 0};
    columns[1].Texts = {"1", "2"};
    columns[1].Entries = {0, 0, 0, 0, null, 0, 1, 1, 0, 0, 0};
    const int rows = int(columns[0].Entries.size());
    const TDataPacket p = TDataPacket::FromColumns(fields, columns, rows);
    for (const QStringList& key : {QStringList{"x", "1"}, {"x", "2"}, {"y", "1"}, {"y", "2"}, {"z", "1"}}) {
        std::vector<int> scanned;
        for (int r = 0; r < rows; ++r)
            if (!p.IsNull(r, 0) && !p.IsNull(r, 1) && p.String(r, 0) == key[0] && p.String(r, 1) == key[1])
                scanned.push_back(r);
        EXPECT_EQ(p.RowsMatching({0, 1}, key), scanned) << key.join(',').toStdString();
    }
}

TEST(DataPacket, KeyIndexIsBuiltOncePerTupleAndSharedBySetsHoldingThePacket)
{
    TClientDataSet a, b;
    a.SetData(SampleItems());
    a.SetFilter("(CDFILIAL = '0001' AND NRLANCTONF = '0000000002')");
    a.SetFiltered(true);
    EXPECT_EQ(a.RecordCount(), 2);
    EXPECT_EQ(a.Packet().IndexBuildCount(), 1);

    b.SetData(a.Data());
    EXPECT_TRUE(b.Packet().SharesStorageWith(a.Packet()));
    b.SetFilter("(CDFILIAL = '0001' AND NRLANCTONF = '0000000001')");
    b.SetFiltered(true);
    EXPECT_EQ(b.RecordCount(), 2);
    EXPECT_EQ(b.Packet().IndexBuildCount(), 1) << "the second data set must reuse the index";

    b.SetFiltered(false);
    b.SetFilter("CDPRODUTO = '77'");
    b.SetFiltered(true);
    EXPECT_EQ(b.RecordCount(), 2);
    EXPECT_EQ(b.Packet().IndexBuildCount(), 2) << "another key tuple gets its own index";
}

TEST(DataPacket, IndexedAndScannedFiltersAgree)
{
    TClientDataSet indexed, scanned;
    indexed.SetData(SampleItems());
    scanned.SetData(SampleItems());
    for (const char* inv : {"0000000001", "0000000002", "0000000003", "9", ""}) {
        const QString key = QString("CDFILIAL = '0001' AND NRLANCTONF = '%1'").arg(inv);
        indexed.SetFilter(key);
        indexed.SetFiltered(true);
        // The same condition in a form the index does not serve.
        scanned.SetFilter(key + " AND (CDFILIAL = '0001' OR CDFILIAL = '0001')");
        scanned.SetFiltered(true);
        ASSERT_EQ(indexed.RecordCount(), scanned.RecordCount()) << inv;
        for (int i = 0; i < indexed.RecordCount(); ++i)
            EXPECT_EQ(indexed.VisibleRow(i), scanned.VisibleRow(i));
    }
}

TEST(DataPacket, DeletionCopiesOnWriteAndOthersSeeNoChange)
{
    TClientDataSet a, b;
    a.SetData(SampleItems());
    b.SetData(a.Data());
    a.Delete();
    a.MergeChangeLog();
    EXPECT_EQ(a.RecordCount(), 5);
    EXPECT_EQ(b.RecordCount(), 6);
    EXPECT_EQ(b.FieldByName("CDPRODUTO")->AsString(), "77");
    const TDataPacket after = a.Data();
    EXPECT_FALSE(after.SharesStorageWith(b.Packet()));
    EXPECT_EQ(after.RowCount(), 5);
    EXPECT_EQ(after.String(0, 2), "78");
    EXPECT_EQ(b.Packet().RowCount(), 6);
}
