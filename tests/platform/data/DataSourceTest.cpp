#include "PacketFixtures.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"

#include <gtest/gtest.h>

namespace {

struct RecordingLink : TDataLink {
    QStringList log;
    void ActiveChanged() override { log << (Active() ? "active" : "inactive"); }
    void DataSetChanged() override { log << "changed"; }
    void DataSetScrolled() override { log << "scrolled"; }
};

struct Fixture : ::testing::Test {
    Fixture()
    {
        source.SetDataSet(&ds);
        source.OnStateChange = TNotifyEvent::Of([this](TObject*) { states << int(source.State()); });
        link.SetDataSource(&source);
        link.log.clear();
    }
    TClientDataSet ds;
    TDataSource source;
    RecordingLink link;
    QList<int> states;
};

constexpr int inactive = int(TDataSetState::dsInactive);
constexpr int browse = int(TDataSetState::dsBrowse);

TEST_F(Fixture, OpeningClosingAndReloadingEachNotifyTheStateChange)
{
    ds.SetData(SampleItems());
    EXPECT_EQ(states, (QList<int>{browse}));
    ds.SetData(SampleItems());
    EXPECT_EQ(states, (QList<int>{browse, inactive, browse}));
    ds.Close();
    EXPECT_EQ(states, (QList<int>{browse, inactive, browse, inactive}));
    ds.Close();  // closing a closed data set changes nothing
    EXPECT_EQ(states.size(), 4);
    EXPECT_EQ(link.log.count("active"), 2);
    EXPECT_EQ(link.log.count("inactive"), 2);
}

TEST_F(Fixture, LinksHearMovesAndContentChanges)
{
    ds.SetData(SampleItems());
    link.log.clear();
    ds.Next();
    ds.SetFilter("CDFILIAL = '0002'");
    ds.SetFiltered(true);
    EXPECT_EQ(link.log, (QStringList{"scrolled", "changed", "scrolled"}));
}

TEST_F(Fixture, DisabledControlsHearNothingUntilTheLastEnable)
{
    ds.SetData(SampleItems());
    link.log.clear();
    states.clear();
    ds.DisableControls();
    ds.DisableControls();
    ds.Next();
    ds.SetData(SampleItems());
    ds.EnableControls();
    EXPECT_TRUE(link.log.isEmpty()) << "still disabled once";
    EXPECT_TRUE(states.isEmpty());
    ds.EnableControls();
    EXPECT_EQ(link.log, QStringList{"changed"});
    EXPECT_TRUE(states.isEmpty()) << "browse before and after: no state change to report";
    ds.EnableControls();  // unbalanced enable is harmless
    EXPECT_EQ(link.log.size(), 1);
}

TEST_F(Fixture, ClosingWhileDisabledReportsTheNewStateOnEnable)
{
    ds.SetData(SampleItems());
    states.clear();
    ds.DisableControls();
    ds.Close();
    EXPECT_TRUE(states.isEmpty());
    ds.EnableControls();
    EXPECT_EQ(states, QList<int>{inactive});
}

TEST_F(Fixture, DisabledSourcePassesNothingOn)
{
    ds.SetData(SampleItems());
    source.SetEnabled(false);
    EXPECT_EQ(source.State(), TDataSetState::dsInactive);
    link.log.clear();
    ds.Next();
    EXPECT_TRUE(link.log.isEmpty());
    source.SetEnabled(true);
    EXPECT_EQ(source.State(), TDataSetState::dsBrowse);
}

TEST(DataSourceLifetime, DestroyingEitherSideDetaches)
{
    auto* ds = new TClientDataSet;
    TDataSource source;
    source.SetDataSet(ds);
    delete ds;
    EXPECT_EQ(source.DataSet(), nullptr);

    RecordingLink link;
    {
        TDataSource shortLived;
        link.SetDataSource(&shortLived);
    }
    EXPECT_EQ(link.DataSource(), nullptr);
}

} // namespace
