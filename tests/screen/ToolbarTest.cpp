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
    // Loads the work list straight into the data sets.
    void Load(TfrmConfSepExp* f, Loaded n)
    {
        auto rows = [](int count, const char* key) {
            QList<QVariantMap> out;
            for (int i = 0; i < count; ++i)
                out << QVariantMap{{"CDFILIAL", "0001"}, {"NRLANCTONF", "000000000" + QString::number(i)},
                                   {key, QString::number(i)}};
            return out;
        };
        f->cdsNotaFiscal->SetData(PacketOf(Layout::Invoices(), rows(n.invoices, "NREXPEDICAO")));
        f->cdsItemProduto->SetData(PacketOf(Layout::Items(), rows(n.items, "CDPRODUTO")));
        f->cdsIUMProd->SetData(PacketOf(Layout::Readings(), rows(n.readings, "CDPRODUTO")));
    }

    static QStringList enabledButtons(TfrmConfSepExp* f)
    {
        QStringList on;
        for (TButtonFlat* b : {f->sbtIncluir, f->sbtAlterar, f->sbtExcluir, f->sbtProcurar, f->sbtVerificar,
                               f->sbtCancelar, f->sbtConfirmar, f->sbtImprimir})
            if (b->Enabled())
                on << b->Name();
        return on;
    }
};

TEST_F(Toolbar, AllDisabledWhenTheScreenOpens)
{
    TfrmConfSepExp* f = OpenScreen();
    EXPECT_EQ(enabledButtons(f), QStringList{});
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
    TfrmConfSepExp* f = OpenScreen();
    Load(f, GetParam().loaded);
    auto* grid = dynamic_cast<TDBGrid*>(f->FindComponent(QLatin1String(GetParam().grid)));
    ASSERT_NE(grid, nullptr);
    grid->SetFocus();
    Application->ProcessMessages();
    EXPECT_EQ(f->dbgAtiva, grid);
    EXPECT_EQ(enabledButtons(f), GetParam().enabled);
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
    TfrmConfSepExp* f = OpenScreen();
    Load(f, {2, 3, 4});
    f->dbgIUMProd->SetFocus();
    Application->ProcessMessages();
    ASSERT_EQ(enabledButtons(f), (QStringList{"sbtExcluir", "sbtProcurar", "sbtVerificar"}));
    f->depFinal->SetFocus();
    Application->ProcessMessages();
    EXPECT_FALSE(f->cdsNotaFiscal->Active());
    EXPECT_FALSE(f->cdsItemProduto->Active());
    EXPECT_FALSE(f->cdsIUMProd->Active());
    EXPECT_EQ(enabledButtons(f), QStringList{});
}

TEST_F(Toolbar, OpeningInvoicesEnablesRefreshBeforeAnyButtonRecount)
{
    TfrmConfSepExp* f = OpenScreen();
    f->cdsNotaFiscal->SetData(PacketOf(Layout::Invoices(), {{{"NRLANCTONF", "1"}}}));
    EXPECT_EQ(enabledButtons(f), QStringList{"sbtVerificar"});
    f->cdsNotaFiscal->Close();
    EXPECT_EQ(enabledButtons(f), QStringList{});
}

TEST_F(Toolbar, DeletingTheLastReadingLeavesDeleteEnabledUntilTheNextRecount)
{
    TfrmConfSepExp* f = OpenScreen();
    Load(f, {1, 1, 1});
    f->dbgIUMProd->SetFocus();
    Application->ProcessMessages();
    f->cdsIUMProd->AfterDelete = nullptr;  // no server round trip here
    f->cdsIUMProd->Delete();
    EXPECT_TRUE(f->sbtExcluir->Enabled());
}

TEST_F(Toolbar, SearchWorksOnTheFocusedGridsOpenDataOnly)
{
    TfrmConfSepExp* f = OpenScreen();
    Load(f, {2, 3, 4});
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
