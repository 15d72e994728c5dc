#include "PacketFixtures.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "rtl/Exceptions.h"

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
    EXPECT_EQ(link.log, (QStringList{"active", "changed", "inactive"})) << "a reload is heard as one change";
}

TEST_F(Fixture, LinksHearEachOperationOnceWithItsFinalState)
{
    ds.SetData(SampleItems());
    link.log.clear();
    ds.Next();
    ds.SetFilter("CDFILIAL = '0002'");
    ds.SetFiltered(true);
    ds.SetFiltered(false);
    EXPECT_EQ(link.log, (QStringList{"scrolled", "changed", "changed"}));
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

// The screen's master-detail chain in miniature: moving the master refilters
// the detail (off, new text, on) and walks a copy of the detail whose own
// handler refilters the readings once per row it visits.
struct MasterDetail : ::testing::Test {
    // What a link saw of its data set when it heard of a change.
    struct Witness : RecordingLink {
        QStringList seen;
        void DataSetChanged() override
        {
            RecordingLink::DataSetChanged();
            seen << QStringLiteral("%1 rows, %2").arg(DataSet()->RecordCount()).arg(DataSet()->Filter());
        }
    };
    TClientDataSet master, detail, copy, readings;
    TDataSource masterSource, detailSource, readingsSource;
    Witness masterLink, detailLink, readingsLink;
    int readingsScrolls = 0;
    int readingsStates = 0;

    static QString keyOf(TDataSet* ds, const QStringList& fields)
    {
        QStringList terms;
        for (const QString& f : fields)
            terms << f + " = '" + ds->FieldByName(f)->AsString() + "'";
        return "(" + terms.join(" AND ") + ")";
    }
    void filterReadings()
    {
        readings.SetFiltered(false);
        readings.SetFilter(keyOf(&detail, {"CDFILIAL", "NRLANCTONF", "CDPRODUTO"}));
        readings.SetFiltered(true);
    }
    void selectMaster()
    {
        detail.SetFiltered(false);
        detail.SetFilter(keyOf(&master, {"CDFILIAL", "NRLANCTONF"}));
        detail.SetFiltered(true);
        copy.SetData(detail.Data());
        copy.SetFiltered(false);
        copy.SetFilter(detail.Filter());
        copy.SetFiltered(true);
        for (copy.First(); !copy.Eof(); copy.Next()) {
        }
    }

    MasterDetail()
    {
        for (TClientDataSet* ds : {&master, &detail, &readings})
            ds->SetData(SampleItems());
        masterSource.SetDataSet(&master);
        detailSource.SetDataSet(&detail);
        readingsSource.SetDataSet(&readings);
        readingsSource.OnStateChange = TNotifyEvent::Of([this](TObject*) { ++readingsStates; });
        masterLink.SetDataSource(&masterSource);
        detailLink.SetDataSource(&detailSource);
        readingsLink.SetDataSource(&readingsSource);
        readings.AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) { ++readingsScrolls; });
        detail.AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) { filterReadings(); });
        copy.AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) { filterReadings(); });
        master.AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) { selectMaster(); });
        master.First();
        for (Witness* link : {&masterLink, &detailLink, &readingsLink}) {
            link->log.clear();
            link->seen.clear();
        }
        readingsScrolls = readingsStates = 0;
    }
};

TEST_F(MasterDetail, AMoveOfTheMasterReachesEveryLinkOnceWithTheFinalState)
{
    master.SetRecNo(3);  // branch 0001, invoice 2: products 77 and 79

    EXPECT_EQ(masterLink.log, QStringList{"scrolled"});
    EXPECT_EQ(detailLink.log, QStringList{"changed"});
    EXPECT_EQ(detailLink.seen, QStringList{"2 rows, (CDFILIAL = '0001' AND NRLANCTONF = '0000000002')"});
    EXPECT_EQ(readingsLink.log, QStringList{"changed"}) << "the walk over the copy reached the readings' link";
    EXPECT_EQ(readingsLink.seen,
              QStringList{"1 rows, (CDFILIAL = '0001' AND NRLANCTONF = '0000000002' AND CDPRODUTO = '77')"});
    // Events still ran at every step: the readings went to their first row
    // after the detail's filter, the copy's load, the copy's filter, and at
    // each of the two rows of the walk.
    EXPECT_EQ(readingsScrolls, 5);
    EXPECT_EQ(readingsStates, 0) << "the readings never closed";
    EXPECT_EQ(detail.RecNo(), 1);
}

TEST_F(MasterDetail, AnErrorFromAHandlerStillLeavesTheLinksUpToDate)
{
    master.AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) {
        selectMaster();
        throw EDatabaseError("falhou");
    });
    EXPECT_THROW(master.Last(), EDatabaseError);
    EXPECT_EQ(detailLink.seen, QStringList{"2 rows, (CDFILIAL = '0001' AND NRLANCTONF = '0000000002')"});
    detailLink.log.clear();
    detail.SetFiltered(false);
    EXPECT_EQ(detailLink.log, QStringList{"changed"}) << "later changes are no longer held back";
}

TEST_F(MasterDetail, ControlsDisabledBeforeTheChangeEndsHoldItsNewsBack)
{
    master.AfterScroll = TDataSetNotifyEvent::Of([this](TDataSet*) {
        selectMaster();
        detail.DisableControls();
    });
    master.Last();
    EXPECT_TRUE(detailLink.log.isEmpty());
    EXPECT_EQ(readingsLink.log, QStringList{"changed"});
    detail.EnableControls();
    EXPECT_EQ(detailLink.log, QStringList{"changed"});
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
