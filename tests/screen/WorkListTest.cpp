// Loading the work list, keeping the grids on the selected invoice and item,
// and the confirm button's readiness, on the real screen against the
// in-process stand-in server.
#include "WorkListFixture.h"

#include "framework/Showavi.h"
#include "rpc/Envelope.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QTableView>
#include <functional>

namespace {

class Loading : public WorkListTest {};

TEST_F(Loading, SendsSevenArgumentsAndTakesTheFiltersBackByReference)
{
    TfrmConfSepExp* f = OpenFilled();
    writeBack = {"0000000042", "T"};
    f->panFiltroExit(f->panFiltro);

    ASSERT_EQ(CallsOf(Remote::GetDados).size(), 1);
    const Rpc::TCall call = CallsOf(Remote::GetDados).at(0);
    ASSERT_EQ(call.Args.size(), 7);
    EXPECT_EQ(call.Args.at(0).toString(), "0001");
    EXPECT_EQ(call.Args.at(1).toString(), "T");
    EXPECT_EQ(call.Args.at(2).toString(), "T");
    const QDate dates[] = {orderFrom, orderTo, outFrom, outTo};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(call.Args.at(3 + i).value<TDateTime>().Val, DateTimeFromQDate(dates[i]).Val) << "date " << i;
    EXPECT_EQ(call.ByRef, (QList<int>{1, 2}));

    EXPECT_EQ(TScreenMembers::ExpeditionFilter(f), "0000000042") << "the server's value replaces the member's";
    EXPECT_EQ(TScreenMembers::OrderFilter(f), "T");
    EXPECT_EQ(Showavi::Kind(), 6);
    EXPECT_FALSE(Showavi::Showing());
}

struct NumberCase {
    const char* name;
    const char* expedition;  // as the edits hold them when the load starts
    const char* order;
    const char* expeditionSent;
    const char* orderSent;
};

class NumberFilters : public WorkListTest, public testing::WithParamInterface<NumberCase> {};

TEST_P(NumberFilters, AreSentAsTheChecksLeaveTheEditsWithTForNone)
{
    expeditionRows = {{{"CDFILIAL", "0001"}, {"NREXPEDICAO", "0000000042"}}};
    orderRows = {{{"CDFILIAL", "0001"}, {"NRPEDIDO", "0000000007"}}};
    TfrmConfSepExp* f = OpenFilled();
    f->medNrExpedicao->SetText(QString::fromUtf8(GetParam().expedition));
    f->medNrPedido->SetText(QString::fromUtf8(GetParam().order));
    f->panFiltroExit(f->panFiltro);
    ASSERT_EQ(CallsOf(Remote::GetDados).size(), 1);
    EXPECT_EQ(CallsOf(Remote::GetDados).at(0).Args.at(1).toString(), GetParam().expeditionSent);
    EXPECT_EQ(CallsOf(Remote::GetDados).at(0).Args.at(2).toString(), GetParam().orderSent);
    EXPECT_EQ(TScreenMembers::ExpeditionFilter(f), GetParam().expeditionSent);
    EXPECT_EQ(TScreenMembers::OrderFilter(f), GetParam().orderSent);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NumberFilters,
    testing::Values(NumberCase{"bothEmpty", "", "", "T", "T"},
                    NumberCase{"blanks", "   ", "  ", "T", "T"},
                    NumberCase{"expeditionPadded", "42", "", "0000000042", "T"},
                    NumberCase{"orderPadded", "", "7", "T", "0000000007"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Loading, ThreeEmptyPacketsOpenEmptyDataSetsWithFiltersFromEmptyValues)
{
    invoices = items = readings = {};
    TfrmConfSepExp* f = OpenFilled();
    f->sbtConfirma->SetEnabled(true);
    f->panFiltroExit(f->panFiltro);

    for (TClientDataSet* ds : {f->cdsNotaFiscal, f->cdsItemProduto, f->cdsIUMProd}) {
        EXPECT_TRUE(ds->Active()) << ds->Name().toStdString();
        EXPECT_TRUE(ds->IsEmpty()) << ds->Name().toStdString();
    }
    EXPECT_EQ(f->cdsNotaFiscal->Filter(), "");
    EXPECT_EQ(f->cdsItemProduto->Filter(), "(CDFILIAL = '' AND NRLANCTONF = '')");
    EXPECT_EQ(f->cdsIUMProd->Filter(), "(CDFILIAL = '' AND NRLANCTONF = '' AND CDPRODUTO = '')");
    EXPECT_FALSE(f->sbtConfirma->Enabled());
    EXPECT_EQ(EnabledToolButtons(f), QStringList{});
}

TEST_F(Loading, ShowsTheFirstInvoiceWithItsFirstItemsReadingsAndAttachesTheHandlers)
{
    TfrmConfSepExp* f = OpenFilled();
    f->cdsNotaFiscal->AfterScroll = nullptr;
    f->cdsItemProduto->AfterScroll = nullptr;
    f->panFiltroExit(f->panFiltro);

    EXPECT_TRUE(f->cdsNotaFiscal->AfterScroll == closure(f, &TfrmConfSepExp::cdsNotaFiscalAfterScroll));
    EXPECT_TRUE(f->cdsItemProduto->AfterScroll == closure(f, &TfrmConfSepExp::cdsItemProdutoAfterScroll));
    EXPECT_EQ(f->cdsNotaFiscal->RecordCount(), 3);
    EXPECT_EQ(f->cdsNotaFiscal->RecNo(), 1);
    EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"10", "11"}));
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"A-10-1", "A-10-2"}));
    EXPECT_TRUE(f->sbtConfirma->Enabled());
}

TEST_F(Loading, ReloadingPutsTheInvoicesBackOnTheirFirstRow)
{
    TfrmConfSepExp* f = OpenFilled();
    f->panFiltroExit(f->panFiltro);
    f->cdsNotaFiscal->Last();
    ASSERT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"30"}));
    f->panFiltroExit(f->panFiltro);
    EXPECT_EQ(f->cdsNotaFiscal->RecNo(), 1);
    EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"10", "11"}));
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"A-10-1", "A-10-2"}));
}

class StockColumns : public WorkListTest, public testing::WithParamInterface<StockCase> {};

TEST_P(StockColumns, FollowTheBranchsAnswersWarehouseFirst)
{
    usesWarehouses = !GetParam().warehouses;  // the screen's creation sees the opposite
    usesLocations = !GetParam().locations;
    TfrmConfSepExp* f = OpenFilled();
    usesWarehouses = GetParam().warehouses;
    usesLocations = GetParam().locations;
    f->panFiltroExit(f->panFiltro);
    EXPECT_EQ(StockQuestions().mid(4), (QStringList{"Utiliza_Almoxarifado(0001)", "Utiliza_LocalEstoque(0001)"}));
    EXPECT_EQ(f->dbgIUMProd->Columns().Items(0)->Visible(), GetParam().warehouses);
    EXPECT_EQ(f->dbgIUMProd->Columns().Items(1)->Visible(), GetParam().locations);
}

INSTANTIATE_TEST_SUITE_P(Table, StockColumns, testing::ValuesIn(StockCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A reload called from the reading or the confirmation keeps the previous
// work list on screen when the server fails; its grids must still follow the
// selection, or they would show another invoice's items.
TEST_F(Loading, AFailedReloadLeavesTheGridsFollowingTheSelection)
{
    TfrmConfSepExp* f = OpenFilled();
    f->panFiltroExit(f->panFiltro);
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    const int calls = CallsOf(Remote::GetDados).size();

    getDadosFails = true;
    orderRows = {{{"CDFILIAL", "0001"}, {"NRPEDIDO", "0000000007"}}};
    f->medNrPedido->SetText("0000000007");
    EXPECT_THROW(f->panFiltroExit(f->panFiltro), EServerError);
    EXPECT_EQ(CallsOf(Remote::GetDados).size(), calls + 1);
    EXPECT_FALSE(Showavi::Showing());
    EXPECT_TRUE(f->cdsNotaFiscal->AfterScroll == closure(f, &TfrmConfSepExp::cdsNotaFiscalAfterScroll));
    EXPECT_TRUE(f->cdsItemProduto->AfterScroll == closure(f, &TfrmConfSepExp::cdsItemProdutoAfterScroll));
    EXPECT_EQ(f->cdsNotaFiscal->RecordCount(), 3) << "the previous work list stays";
    EXPECT_EQ(TScreenMembers::OrderFilter(f), "0000000007") << "the members keep the values sent";

    QTest::keyClick(f->dbgNotaFiscal->View(), Qt::Key_Down);
    EXPECT_EQ(f->cdsNotaFiscalNRLANCTONF->AsString(), "0000000002");
    EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"20", "21", "22"}));
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"B-20-1"}));
    f->dbgItemProduto->SetFocus();
    QTest::keyClick(f->dbgItemProduto->View(), Qt::Key_Down);
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"B-21-1", "B-21-2"}));
}

struct FailedCheckCase {
    const char* name;
    std::function<void(TfrmConfSepExp*)> spoil;
    const char* message;
};

class FailedCheck : public WorkListTest, public testing::WithParamInterface<FailedCheckCase> {};

// A check that fails before the load starts leaves the handlers and the
// filter members as they were; a date check, run after the handlers were
// taken off, leaves them attached again and the members with the new values.
TEST_P(FailedCheck, LeavesTheHandlersAttachedAndSendsNothing)
{
    TfrmConfSepExp* f = OpenFilled();
    f->panFiltroExit(f->panFiltro);
    ASSERT_EQ(TScreenMembers::OrderFilter(f), "T");
    f->dbgNotaFiscal->SetFocus();  // loads again
    Application->ProcessMessages();
    const int loads = CallsOf(Remote::GetDados).size();

    orderRows = {{{"CDFILIAL", "0001"}, {"NRPEDIDO", "0000000007"}}};
    f->medNrPedido->SetText("0000000007");
    GetParam().spoil(f);
    dialogs.ExpectError();
    EXPECT_ANY_THROW(f->panFiltroExit(f->panFiltro));
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{QString::fromUtf8(GetParam().message)});
    EXPECT_EQ(CallsOf(Remote::GetDados).size(), loads);
    EXPECT_TRUE(f->cdsNotaFiscal->AfterScroll == closure(f, &TfrmConfSepExp::cdsNotaFiscalAfterScroll));
    EXPECT_TRUE(f->cdsItemProduto->AfterScroll == closure(f, &TfrmConfSepExp::cdsItemProdutoAfterScroll));
    const bool datesFailed = QByteArray(GetParam().name).startsWith("date");
    EXPECT_EQ(TScreenMembers::OrderFilter(f), datesFailed ? "0000000007" : "T");
}

INSTANTIATE_TEST_SUITE_P(
    Table, FailedCheck,
    testing::Values(FailedCheckCase{"unknownBranch", [](TfrmConfSepExp* f) { f->medCdFilial->SetText("9999"); },
                                    "Filial não cadastrada."},
                    FailedCheckCase{"dateMissing", [](TfrmConfSepExp* f) { f->depSaidaFim->SetDate(TDateTime()); },
                                    "Data final do pedido deve ser informada."}),
    [](const auto& info) { return std::string(info.param.name); });

class Navigation : public WorkListTest {};

TEST_F(Navigation, FiltersQuoteTheKeysAndDoubleTheirQuotes)
{
    invoices = {Invoice("0001", "12'34")};
    items = {Item("0001", "12'34", "7'7", 1, 1, "S")};
    readings = {Reading("0001", "12'34", "7'7", "Q-1")};
    TfrmConfSepExp* f = OpenFilled();
    f->panFiltroExit(f->panFiltro);
    EXPECT_EQ(f->cdsItemProduto->Filter(), "(CDFILIAL = '0001' AND NRLANCTONF = '12''34')");
    EXPECT_EQ(f->cdsIUMProd->Filter(), "(CDFILIAL = '0001' AND NRLANCTONF = '12''34' AND CDPRODUTO = '7''7')");
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), QStringList{"Q-1"});
}

TEST_F(Navigation, AnotherInvoiceShowsItsItemsAndItsFirstItemsReadings)
{
    TfrmConfSepExp* f = OpenFilled();
    f->panFiltroExit(f->panFiltro);
    f->cdsNotaFiscal->Next();
    EXPECT_EQ(f->cdsItemProduto->Filter(), "(CDFILIAL = '0001' AND NRLANCTONF = '0000000002')");
    EXPECT_EQ(f->cdsItemProduto->RecNo(), 1);
    EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"20", "21", "22"}));
    EXPECT_EQ(f->cdsIUMProd->Filter(), "(CDFILIAL = '0001' AND NRLANCTONF = '0000000002' AND CDPRODUTO = '20')");
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), QStringList{"B-20-1"});
}

TEST_F(Navigation, TwoItemsOfOneProductShowTheSameReadings)
{
    invoices = {Invoice("0001", "0000000001")};
    items = {Item("0001", "0000000001", "10", 2, 2, "S"), Item("0001", "0000000001", "10", 1, 1, "S"),
             Item("0001", "0000000001", "11", 1, 1, "S")};
    readings = {Reading("0001", "0000000001", "10", "R1"), Reading("0001", "0000000001", "11", "R2"),
                Reading("0001", "0000000001", "10", "R3")};
    TfrmConfSepExp* f = OpenFilled();
    f->panFiltroExit(f->panFiltro);
    const QStringList first = Column(f->cdsIUMProd, "CDIUMPROD");
    EXPECT_EQ(first, (QStringList{"R1", "R3"}));
    f->cdsItemProduto->Next();
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), first);
    f->cdsItemProduto->Next();
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), QStringList{"R2"});
}

TEST_F(Navigation, AnotherItemChangesOnlyTheReadings)
{
    TfrmConfSepExp* f = OpenFilled();
    f->panFiltroExit(f->panFiltro);
    f->cdsNotaFiscal->Next();  // three items, the last one blocks
    ASSERT_FALSE(f->sbtConfirma->Enabled());
    f->sbtConfirma->SetEnabled(true);  // so that a re-evaluation would show
    const QString itemFilter = f->cdsItemProduto->Filter();

    f->cdsItemProduto->Next();
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"B-21-1", "B-21-2"}));
    EXPECT_EQ(f->cdsItemProduto->Filter(), itemFilter);
    EXPECT_EQ(f->cdsItemProduto->RecNo(), 2);
    EXPECT_EQ(f->cdsNotaFiscal->RecNo(), 2);
    EXPECT_TRUE(f->sbtConfirma->Enabled()) << "only another invoice re-evaluates the button";
}

// The confirm button for an invoice whose items are the case's. Another
// invoice's blocking item travels in the same packet: the copy must be
// narrowed to the current invoice.
struct ReadinessCase {
    const char* name;
    QList<QVariantMap> items;
    bool confirmable;
};

QVariantMap Quantities(QVariant toShip, QVariant read, QVariant status)
{
    static int product = 100;
    return WorkListTest::Item("0001", "0000000001", QString::number(++product), toShip, read, status);
}

const QVariant null;

class Readiness : public WorkListTest, public testing::WithParamInterface<ReadinessCase> {};

TEST_P(Readiness, FollowsTheItemsOfTheCurrentInvoice)
{
    invoices = {Invoice("0001", "0000000001"), Invoice("0001", "0000000002")};
    items = GetParam().items;
    items << Item("0001", "0000000002", "900", 0, 0, "N");
    readings = {};
    TfrmConfSepExp* f = OpenFilled();
    f->sbtConfirma->SetEnabled(!GetParam().confirmable);
    f->panFiltroExit(f->panFiltro);
    EXPECT_EQ(f->sbtConfirma->Enabled(), GetParam().confirmable);
    EXPECT_EQ(f->cdsItemProduto->RecNo(), GetParam().items.isEmpty() ? 0 : 1) << "the item cursor never moves";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Readiness,
    testing::Values(
        ReadinessCase{"noItems", {}, false},
        ReadinessCase{"everyItemPasses", {Quantities(2, 2, "S"), Quantities(3, 0, ""), Quantities(0, 1, "S")}, true},
        ReadinessCase{"zeroZeroFirst", {Quantities(0, 0, "S"), Quantities(2, 2, "S")}, false},
        ReadinessCase{"zeroZeroMiddle", {Quantities(1, 1, "S"), Quantities(0, 0, ""), Quantities(2, 2, "S")}, false},
        ReadinessCase{"zeroZeroLast", {Quantities(1, 1, "S"), Quantities(0, 0, "S")}, false},
        ReadinessCase{"nullQuantitiesCountAsZero", {Quantities(1, 1, "S"), Quantities(null, null, "S")}, false},
        ReadinessCase{"nullReadWithSomethingToShip", {Quantities(4, null, "")}, true},
        ReadinessCase{"zeroToShipButOneAndAHalfRead", {Quantities(0, 1.5, "S")}, true},
        ReadinessCase{"tinyQuantityIsNotZero", {Quantities(0, 1e-9, "S")}, true},
        ReadinessCase{"statusNFirst", {Quantities(1, 0, "N"), Quantities(2, 2, "S")}, false},
        ReadinessCase{"statusNLast", {Quantities(1, 1, "S"), Quantities(2, 2, "S"), Quantities(3, 1, "N")}, false},
        ReadinessCase{"lowerCaseNDoesNotBlock", {Quantities(1, 0, "n")}, true},
        ReadinessCase{"nullStatusDoesNotBlock", {Quantities(1, 0, null)}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Navigation, EvaluatingWalksTheCopyAndLeavesTheItemGridOnItsRow)
{
    TfrmConfSepExp* f = OpenFilled();
    f->panFiltroExit(f->panFiltro);
    f->cdsNotaFiscal->Next();
    f->cdsNotaFiscal->Prior();  // the first invoice: two items that pass
    EXPECT_TRUE(f->sbtConfirma->Enabled());
    EXPECT_EQ(f->cdsItemProdCheck->RecNo(), 2) << "the walk reached the copy's last item";
    EXPECT_TRUE(f->cdsItemProdCheck->Packet().SharesStorageWith(f->cdsItemProduto->Packet()));
    EXPECT_EQ(f->cdsItemProduto->RecNo(), 1);
    EXPECT_EQ(f->dbgItemProduto->View()->currentIndex().row(), 0);
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"A-10-1", "A-10-2"}))
        << "the readings still belong to the item grid's current item";
}

} // namespace
