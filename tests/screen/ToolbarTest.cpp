// Tool-button states, closing the work list on entering the filter, and the
// search button.
#include "PacketRows.h"
#include "ScreenFixture.h"

#include "server/PacketLayouts.h"
#include "ui/Application.h"

namespace {

struct Loaded {
    int invoices, items, readings;
};

class Toolbar : public ScreenTest {
protected:
    // The work list the server answers with when the focus leaves the filter
    // panel: invoice i has item i, item i has reading i.
    void Serve(Loaded n)
    {
        auto rows = [](int count, const char* key) {
            QList<QVariantMap> out;
            for (int i = 0; i < count; ++i)
                out << QVariantMap{{"CDFILIAL", "0001"}, {"NRLANCTONF", "000000000" + QString::number(i)},
                                   {key, QString::number(i)}};
            return out;
        };
        invoices = rows(n.invoices, "NREXPEDICAO");
        items = rows(n.items, "CDPRODUTO");
        readings = rows(n.readings, "CDPRODUTO");
    }
};

TEST_F(Toolbar, AllDisabledWhenTheScreenOpens)
{
    TfrmConfSepExp* f = OpenScreen();
    EXPECT_EQ(EnabledToolButtons(f), QStringList{});
}

struct StateCase {
    const char* name;
    Loaded loaded;
    const char* grid;  // the grid entered
    QStringList enabled;
};

class ButtonStates : public Toolbar, public testing::WithParamInterface<StateCase> {};

TEST_P(ButtonStates, FollowTheFocusedGridAndTheData)
{
    Serve(GetParam().loaded);
    TfrmConfSepExp* f = OpenFilled();
    auto* grid = dynamic_cast<TDBGrid*>(f->FindComponent(QLatin1String(GetParam().grid)));
    ASSERT_NE(grid, nullptr);
    grid->SetFocus();
    Application->ProcessMessages();
    EXPECT_EQ(f->dbgAtiva, grid);
    EXPECT_EQ(EnabledToolButtons(f), GetParam().enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ButtonStates,
    testing::Values(StateCase{"invoiceGrid", {2, 3, 4}, "dbgNotaFiscal", {"sbtProcurar", "sbtVerificar"}},
                    StateCase{"itemGrid", {2, 3, 4}, "dbgItemProduto", {"sbtProcurar", "sbtVerificar"}},
                    StateCase{"itemGridWithoutItems", {2, 0, 0}, "dbgItemProduto", {"sbtVerificar"}},
                    StateCase{"iumGrid", {2, 3, 4}, "dbgIUMProd", {"sbtExcluir", "sbtProcurar", "sbtVerificar"}},
                    StateCase{"iumGridWithoutReadings", {2, 3, 0}, "dbgIUMProd", {"sbtVerificar"}},
                    StateCase{"noInvoiceReturned", {0, 0, 0}, "dbgNotaFiscal", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Toolbar, EnteringTheFilterClosesTheWorkListAndDisablesTheActions)
{
    Serve({2, 3, 4});
    TfrmConfSepExp* f = OpenFilled();
    f->dbgIUMProd->SetFocus();
    Application->ProcessMessages();
    ASSERT_EQ(EnabledToolButtons(f), (QStringList{"sbtExcluir", "sbtProcurar", "sbtVerificar"}));
    f->depFinal->SetFocus();
    Application->ProcessMessages();
    EXPECT_FALSE(f->cdsNotaFiscal->Active());
    EXPECT_FALSE(f->cdsItemProduto->Active());
    EXPECT_FALSE(f->cdsIUMProd->Active());
    EXPECT_EQ(EnabledToolButtons(f), QStringList{});
}

TEST_F(Toolbar, OpeningInvoicesEnablesRefreshBeforeAnyButtonRecount)
{
    TfrmConfSepExp* f = OpenScreen();
    f->cdsNotaFiscal->SetData(PacketOf(Layout::Invoices(), {{{"NRLANCTONF", "1"}}}));
    EXPECT_EQ(EnabledToolButtons(f), QStringList{"sbtVerificar"});
    f->cdsNotaFiscal->Close();
    EXPECT_EQ(EnabledToolButtons(f), QStringList{});
}

TEST_F(Toolbar, DeletingTheLastReadingLeavesDeleteEnabledUntilTheNextRecount)
{
    Serve({1, 1, 1});
    TfrmConfSepExp* f = OpenFilled();
    f->dbgIUMProd->SetFocus();
    Application->ProcessMessages();
    f->cdsIUMProd->AfterDelete = nullptr;  // no server round trip here
    f->cdsIUMProd->Delete();
    EXPECT_TRUE(f->sbtExcluir->Enabled());
}

TEST_F(Toolbar, SearchWorksOnTheFocusedGridsOpenDataOnly)
{
    Serve({2, 3, 4});
    TfrmConfSepExp* f = OpenFilled();
    f->dbgItemProduto->SetFocus();
    Application->ProcessMessages();
    TDataSet* searched = nullptr;
    dialogs.ExpectSearch([&](const TSearchRequest& r) { searched = r.DataSet; });
    f->sbtProcurar->Click();
    EXPECT_EQ(searched, f->cdsItemProduto);

    f->cdsItemProduto->Close();  // the button is still enabled from before
    ASSERT_TRUE(f->sbtProcurar->Enabled());
    f->sbtProcurar->Click();  // no dialog: an unexpected one would fail the test
    EXPECT_EQ(dialogs.Log().size(), 1);
}

} // namespace
