#include "PacketFixtures.h"
#include "data/ClientDataSet.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

namespace {

// A client data set with persistent fields, counting its events.
class Items : public ::testing::Test {
protected:
    void SetUp() override
    {
        ds.SetName("cdsItens");
        filial = new TStringField(&ds);
        filial->SetFieldName("CDFILIAL");
        filial->SetSize(4);
        nota = new TStringField(&ds);
        nota->SetFieldName("NRLANCTONF");
        produto = new TStringField(&ds);
        produto->SetFieldName("CDPRODUTO");
        qt = new TFloatField(&ds);
        qt->SetFieldName("QTITEM");
        qt->SetDisplayFormat("###,##0.000");
        ds.AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) { scrolls.append(produto->AsString()); });
        ds.AfterDelete = TDataSetNotifyEvent::Of([this](TDataSet*) { ++deletes; });
    }

    QStringList products()
    {
        QStringList out;
        for (int i = 0; i < ds.RecordCount(); ++i) {
            TDisplayRowScope scope(&ds, i);
            out << produto->AsString();
        }
        return out;
    }

    TClientDataSet ds;
    TStringField* filial = nullptr;
    TStringField* nota = nullptr;
    TStringField* produto = nullptr;
    TFloatField* qt = nullptr;
    QStringList scrolls;
    int deletes = 0;
};

TEST_F(Items, ClosedIsEmptyAndReadsNull)
{
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_TRUE(produto->IsNull());
    EXPECT_EQ(qt->DisplayText(), "");
    EXPECT_EQ(ds.State(), TDataSetState::dsInactive);
    EXPECT_THROW(ds.Delete(), EDatabaseError);
}

TEST_F(Items, SetDataOpensOnTheFirstRowAndRunsAfterScrollOnce)
{
    ds.SetData(SampleItems());
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(scrolls, QStringList{"77"});
    EXPECT_EQ(qt->DisplayText(), "2,000");
    EXPECT_EQ(filial->Size(), 4);
    EXPECT_EQ(nota->Size(), 20) << "a string field without a declared size holds 20";
}

TEST_F(Items, RefusedPacketKeepsTheContent)
{
    ds.SetData(SampleItems());
    ds.Next();
    scrolls.clear();

    const TDataPacket missing = MakePacket({{"CDFILIAL", TFieldType::ftString, 4}}, {{"9"}});
    try {
        ds.SetData(missing);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains("NRLANCTONF")) << e.Message().toStdString();
    }
    QList<TFieldDesc> wrongKind = ItemFields();
    wrongKind[3].Type = TFieldType::ftString;
    try {
        ds.SetData(MakePacket(wrongKind, {}));
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains("QTITEM")) << e.Message().toStdString();
    }
    EXPECT_EQ(ds.RecordCount(), 6);
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(produto->AsString(), "78");
    EXPECT_TRUE(scrolls.isEmpty());
}

TEST_F(Items, CursorMovesAndAfterScrollRules)
{
    ds.SetData(SampleItems());
    scrolls.clear();
    ds.Prior();  // already first: no move, no event
    EXPECT_TRUE(ds.Bof());
    ds.Next();
    ds.Next();
    EXPECT_EQ(ds.RecNo(), 3);
    ds.Last();
    EXPECT_TRUE(ds.Eof());
    ds.Next();  // at the end: no event
    ds.First();  // always runs, even on the first row
    ds.First();
    EXPECT_EQ(scrolls, (QStringList{"78", "77", "79", "77", "77"}));
    EXPECT_EQ(ds.MoveBy(10), 5);
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.MoveBy(-2), -2);
    EXPECT_FALSE(ds.Bof());
    EXPECT_FALSE(ds.Eof());
    ds.SetRecNo(2);
    EXPECT_EQ(produto->AsString(), "78");
}

TEST_F(Items, WalkingToTheEndVisitsEveryRowOnce)
{
    ds.SetData(SampleItems());
    int seen = 0;
    for (ds.First(); !ds.Eof(); ds.Next())
        ++seen;
    EXPECT_EQ(seen, 6);
    ds.SetData(MakePacket(ItemFields(), {}));
    seen = 0;
    for (ds.First(); !ds.Eof(); ds.Next())
        ++seen;
    EXPECT_EQ(seen, 0);
}

struct LocateCase {
    const char* name;
    const char* fields;
    QVariant values;
    TLocateOptions options;
    int recNo;  // 0: not found
};

class Locating : public Items, public ::testing::WithParamInterface<LocateCase> {};

TEST_P(Locating, FindsOrLeavesEverythingAlone)
{
    ds.SetData(SampleItems());
    ds.Next();
    scrolls.clear();
    const LocateCase& c = GetParam();
    const bool found = ds.Locate(c.fields, c.values, c.options);
    EXPECT_EQ(found, c.recNo != 0);
    if (found) {
        EXPECT_EQ(ds.RecNo(), c.recNo);
        EXPECT_EQ(scrolls.size(), 1);
    } else {
        EXPECT_EQ(ds.RecNo(), 2);
        EXPECT_TRUE(scrolls.isEmpty());
    }
}

const LocateCase locateCases[] = {
    {"exact", "NRLANCTONF", "0000000002", {}, 3},
    {"exact_is_case_sensitive", "CDPRODUTO", "77", {}, 1},
    {"not_found", "NRLANCTONF", "0000000009", {}, 0},
    {"partial_needs_the_option", "NRLANCTONF", "000000000", {}, 0},
    {"partial_key", "NRLANCTONF", "0000000003", loPartialKey, 5},
    {"partial_prefix", "CDPRODUTO", "9", loPartialKey, 4},
    {"two_fields", "CDFILIAL;CDPRODUTO", QVariantList{"0001", "79"}, {}, 6},
    {"number_field", "QTITEM", 1.5, {}, 3},
    {"null_value_finds_null", "QTITEM", QVariant(), {}, 5},
};

INSTANTIATE_TEST_SUITE_P(Table, Locating, ::testing::ValuesIn(locateCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LocateCase, InsensitiveOptionIgnoresCase)
{
    TClientDataSet ds;
    ds.SetData(SampleItems());
    EXPECT_FALSE(ds.Locate("NMPROD", "ARRUELA", {}));
    EXPECT_TRUE(ds.Locate("NMPROD", "ARRUELA", loCaseInsensitive));
    EXPECT_EQ(ds.RecNo(), 6);
    EXPECT_TRUE(ds.Locate("NMPROD", "d'á", loCaseInsensitive | loPartialKey));
    EXPECT_EQ(ds.RecNo(), 4);
    EXPECT_THROW(ds.Locate("NADA", "x", {}), EDatabaseError);
}

TEST_F(Items, FilteringOnAlwaysGoesFirstAndRunsAfterScroll)
{
    ds.SetData(SampleItems());
    ds.SetFilter("(CDFILIAL = '0001' AND NRLANCTONF = '0000000002')");
    scrolls.clear();
    ds.SetFiltered(true);
    EXPECT_EQ(products(), (QStringList{"77", "79"}));
    ds.Next();
    ds.SetFiltered(true);  // again, while on: back to the first row, event again
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(scrolls, (QStringList{"77", "79", "77"}));
}

TEST_F(Items, FilteringOffKeepsTheRowAndStaysQuiet)
{
    ds.SetData(SampleItems());
    ds.SetFilter("NRLANCTONF = '0000000002'");
    ds.SetFiltered(true);
    ds.Next();  // product 79, the sixth row of the packet
    scrolls.clear();
    ds.SetFiltered(false);
    EXPECT_EQ(ds.RecordCount(), 6);
    EXPECT_EQ(ds.RecNo(), 6);
    EXPECT_EQ(produto->AsString(), "79");
    EXPECT_TRUE(scrolls.isEmpty());
    ds.SetFiltered(false);
    EXPECT_TRUE(scrolls.isEmpty());
}

TEST_F(Items, FilteringOffFromAnEmptyViewLandsOnARow)
{
    ds.SetData(SampleItems());
    ds.SetFilter("NRLANCTONF = 'nenhuma'");
    ds.SetFiltered(true);
    EXPECT_TRUE(ds.IsEmpty());
    scrolls.clear();
    ds.SetFiltered(false);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(scrolls, QStringList{"77"});
}

TEST_F(Items, FilterTextSurvivesCloseAndAppliesOnTheNextLoad)
{
    ds.SetFilter("CDFILIAL = '0002'");
    ds.SetFiltered(true);
    ds.SetData(SampleItems());
    EXPECT_EQ(products(), QStringList{"90"});
    ds.Close();
    EXPECT_EQ(ds.Filter(), "CDFILIAL = '0002'");
    EXPECT_TRUE(ds.Filtered());
    EXPECT_THROW(ds.SetFilter("CDFILIAL = "), EDatabaseError);
    EXPECT_EQ(ds.Filter(), "CDFILIAL = '0002'") << "a refused filter keeps the old one";
}

TEST_F(Items, DeleteRecordsTheRowAndFiresAfterDeleteThenAfterScroll)
{
    ds.SetData(SampleItems());
    ds.Next();  // 78
    scrolls.clear();
    ds.AfterDelete = TDataSetNotifyEvent::Of([this](TDataSet*) {
        ++deletes;
        scrolls.append("delete:" + QString::number(ds.ChangeCount()));
    });
    ds.Delete();
    EXPECT_EQ(deletes, 1);
    EXPECT_EQ(scrolls, (QStringList{"delete:1", "77"})) << "the row that took its place is current";
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(ds.RecordCount(), 5);
    ds.Last();
    scrolls.clear();
    ds.Delete();  // the last row: the cursor goes to the new last row
    EXPECT_EQ(produto->AsString(), "91");
    EXPECT_EQ(ds.ChangeCount(), 2);
}

TEST_F(Items, DeltaCancelAndMergeRoundTrip)
{
    ds.SetData(SampleItems());
    ds.SetFilter("NRLANCTONF = '0000000002'");
    ds.SetFiltered(true);
    ds.Next();
    ds.Delete();  // 79
    ds.First();
    ds.Delete();  // 77 of invoice 2
    EXPECT_TRUE(ds.IsEmpty());

    const TDataPacket delta = ds.Delta();
    ASSERT_EQ(delta.RowCount(), 2);
    EXPECT_EQ(delta.String(0, 2), "79");
    EXPECT_EQ(delta.String(1, 2), "77");
    EXPECT_EQ(delta.Number(1, 3), 1.5) << "original values travel in the delta";

    ds.CancelUpdates();
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_EQ(products(), (QStringList{"77", "79"}));
    ds.SetFiltered(false);
    EXPECT_EQ(products(), (QStringList{"77", "78", "77", "90", "91", "79"})) << "rows back in place";

    ds.Locate("CDPRODUTO", "90", {});
    ds.Delete();
    ds.MergeChangeLog();
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_EQ(ds.Delta().RowCount(), 0);
    ds.CancelUpdates();  // nothing pending: the merged deletion stays
    EXPECT_EQ(products(), (QStringList{"77", "78", "77", "91", "79"}));
    EXPECT_EQ(ds.Data().RowCount(), 5);
}

TEST_F(Items, FieldTextsAndGetTextHandler)
{
    ds.SetData(SampleItems());
    EXPECT_EQ(qt->AsString(), "2");
    EXPECT_EQ(qt->DisplayText(), "2,000");
    EXPECT_EQ(produto->AsFloat(), 77.0);
    ds.Locate("CDPRODUTO", "91", {});
    EXPECT_TRUE(qt->IsNull());
    EXPECT_EQ(qt->DisplayText(), "");
    EXPECT_FALSE(qt->AsVariant().isValid());

    produto->OnGetText = TFieldGetTextEvent::Of([](TField* f, QString& text, bool display) {
        text = (display ? "P-" : "E-") + f->AsString();
    });
    EXPECT_EQ(produto->DisplayText(), "P-91");
    EXPECT_EQ(produto->Text(), "E-91");
    EXPECT_EQ(produto->DisplayLabel(), "CDPRODUTO");
    produto->SetDisplayLabel("Produto");
    EXPECT_EQ(produto->DisplayLabel(), "Produto");
    EXPECT_EQ(ds.FieldByName("cdproduto"), produto);

    nota->SetEditMask("99.9999.9999;0;_");
    EXPECT_EQ(nota->DisplayText(), "00.0000.0003");
    EXPECT_EQ(nota->AsString(), "0000000003") << "the mask shapes the display only";
    EXPECT_THROW(ds.FieldByName("NADA"), EDatabaseError);
}

TEST(ClientDataSetDynamic, FieldsComeFromThePacketWhenNoneAreDeclared)
{
    TClientDataSet ds;
    ds.SetData(SampleItems());
    ASSERT_EQ(ds.FieldCount(), 6);
    EXPECT_EQ(ds.Fields(4)->DataType(), TFieldType::ftDateTime);
    EXPECT_EQ(ds.FieldByName("NMPROD")->Size(), 50);
    EXPECT_EQ(ds.FieldByName("DTVALID")->DisplayText(), DateTimeToStr(TDateTime(46000.0)));
    ds.SetData(MakePacket({{"X", TFieldType::ftFloat, 0}}, {{1.0}}));
    EXPECT_EQ(ds.FieldCount(), 1);
}

} // namespace

// A grid sizes a column by its field's display width: by default a date-time
// leaves room for its time of day, a string its size.
TEST(FieldDisplayWidth, DefaultsByKindAndAnExplicitWidthWins)
{
    TClientDataSet ds;
    auto* text = new TStringField(&ds);
    text->SetSize(30);
    auto* when = new TDateTimeField(&ds);
    auto* amount = new TFloatField(&ds);
    EXPECT_EQ(text->DisplayWidth(), 30);
    EXPECT_EQ(when->DisplayWidth(), 18);
    EXPECT_EQ(amount->DisplayWidth(), 10);
    when->SetDisplayWidth(12);
    EXPECT_EQ(when->DisplayWidth(), 12);
}
