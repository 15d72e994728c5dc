// The IUM reading of an invoice and the refresh of the work list: both come
// back on the invoice the user was working on, with what the server holds.
// The work list is WorkListTest's: invoice 1 complete, 2 with item 22
// still missing its reading, 3 complete.
#include "ActionsFixture.h"

#include "framework/Showavi.h"
#include "rtl/DateTime.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QTableView>

namespace {

// Arguments as text, dates as their day numbers.
QStringList Texts(const QVariantList& args)
{
    QStringList texts;
    for (const QVariant& arg : args)
        texts << (arg.metaType() == QMetaType::fromType<TDateTime>() ? QString::number(arg.value<TDateTime>().Val)
                                                                     : arg.toString());
    return texts;
}

class ReadingAndRefresh : public ActionsTest {
protected:
    // The server has every reading of invoice 2 now.
    void CompleteInvoice2()
    {
        items[4]["QTRESPRODPED"] = 1;
        items[4]["IDSTATUSSEPSNCM"] = "S";
        readings << Reading("0001", "0000000002", "22", "B-22-1");
    }

    // What a refresh or a reading must show for invoice 2 once complete.
    void ExpectInvoice2Completed()
    {
        EXPECT_EQ(CurrentInvoice(), "0000000002");
        EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"20", "21", "22"}));
        EXPECT_EQ(Column(f->cdsItemProduto, "QTRESPRODPED"), (QStringList{"1", "2", "1"}));
        EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), QStringList{"B-20-1"});
        EXPECT_TRUE(f->sbtConfirma->Enabled());
        EXPECT_FALSE(f->cdsNotaFiscal->ControlsDisabled());
        EXPECT_FALSE(Showavi::Showing());
        ASSERT_TRUE(f->cdsItemProduto->Locate("CDPRODUTO", "22", {}));
        EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), QStringList{"B-22-1"});
    }
};

TEST_F(ReadingAndRefresh, DoubleClickReadsTheInvoiceThenReloadsOnItWithTheNewReadings)
{
    OpenLoaded();
    QVariantMap asked;
    dialogs.ExpectReading([&](const TReadingRequest& request) {
        asked = request.Arguments;
        CompleteInvoice2();  // the reading screen stores each scan as it is read
        return QVariant(1);
    });
    const qsizetype loads = CallsOf(Remote::GetDados).size();
    DoubleClickInvoice("0000000002");
    EXPECT_EQ(asked, (QVariantMap{{"CDFILIAL", "0001"}, {"NRLANCTONF", "0000000002"}}));
    EXPECT_EQ(CallsOf(Remote::GetItensIUM).size(), 1);
    EXPECT_EQ(CallsOf(Remote::GetDados).size(), loads + 1);
    ExpectInvoice2Completed();
}

TEST_F(ReadingAndRefresh, RefreshReloadsWithoutChecksAndSelectsTheSameInvoiceAgain)
{
    OpenLoaded();
    Select("0000000002");
    ASSERT_FALSE(f->sbtConfirma->Enabled());
    CompleteInvoice2();  // another user scanned the missing label
    // Typed but never checked: the refresh reads neither number edit.
    f->medNrExpedicao->SetText("99");
    const int shown = Showavi::ShowCount();
    const qsizetype before = server.Calls.size();

    ASSERT_TRUE(Act([&] { f->sbtVerificar->Click(); }));

    QStringList methods;
    for (qsizetype i = before; i < server.Calls.size(); ++i)
        methods << server.Calls[i].Method;
    EXPECT_EQ(methods, (QStringList{Remote::GetNrLancamento, Remote::GetDados}));
    auto day = [](const QDate& date) { return QString::number(DateTimeFromQDate(date).Val); };
    const QStringList sent = {"0001", "T", "T", day(orderFrom), day(orderTo), day(outFrom), day(outTo)};
    EXPECT_EQ(Texts(server.Calls[before].Args), sent + QStringList({"T", "EXP"}));
    EXPECT_EQ(Texts(server.Calls[before + 1].Args), sent);
    EXPECT_EQ(Column(f->cdsNrExpedicao, "NREXPEDICAO"), QStringList{"0000000005"});
    // One indicator, for the work list only, of the querying kind.
    EXPECT_EQ(Showavi::ShowCount(), shown + 1);
    EXPECT_EQ(Showavi::Kind(), 6);
    ExpectInvoice2Completed();
}

TEST_F(ReadingAndRefresh, DoubleClickOnAnEmptyListCallsTheReadingWithNoInvoiceAndReloadsNothing)
{
    invoices.clear();
    items.clear();
    readings.clear();
    OpenLoaded();
    const qsizetype loads = CallsOf(Remote::GetDados).size();
    dialogs.ExpectError();
    QTest::mouseDClick(f->dbgNotaFiscal->View()->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    Application->ProcessMessages();
    // The reading itself refuses an empty invoice number, before any screen
    // shows; the action ends there.
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{"Nenhuma nota selecionada para a leitura de IUM."});
    EXPECT_TRUE(CallsOf(Remote::GetItensIUM).isEmpty());
    EXPECT_EQ(CallsOf(Remote::GetDados).size(), loads);
    EXPECT_TRUE(f->cdsNotaFiscal->IsEmpty());
}

// The invoice the user was on has left the list (another user confirmed
// it, or the list was emptied): the cursor goes to the first invoice, and
// the confirm button follows that invoice's new items, not the items it was
// judged against while the invoice packet was being loaded.
struct VanishedCase {
    const char* name;
    bool firstCompleteBefore;
    bool firstCompleteAfter;
    bool emptied;
};

class RefreshAfterTheInvoiceVanished : public ReadingAndRefresh, public testing::WithParamInterface<VanishedCase> {
protected:
    void SetFirstInvoiceComplete(bool complete)
    {
        items[0]["QTRESPRODPED"] = complete ? 2 : 1;
        items[0]["IDSTATUSSEPSNCM"] = complete ? "S" : "N";
    }
};

TEST_P(RefreshAfterTheInvoiceVanished, LeavesTheCursorOnTheFirstInvoiceAndJudgesItsNewItems)
{
    const VanishedCase& c = GetParam();
    SetFirstInvoiceComplete(c.firstCompleteBefore);
    OpenLoaded();
    Select("0000000003");
    invoices.removeLast();
    SetFirstInvoiceComplete(c.firstCompleteAfter);
    if (c.emptied) {
        invoices.clear();
        items.clear();
        readings.clear();
    }

    ASSERT_TRUE(Act([&] { f->sbtVerificar->Click(); }));

    EXPECT_EQ(CurrentInvoice(), c.emptied ? "" : "0000000001");
    EXPECT_EQ(Column(f->cdsItemProduto, "QTRESPRODPED"),
              c.emptied ? QStringList{} : QStringList({c.firstCompleteAfter ? "2" : "1", "1"}));
    EXPECT_EQ(f->sbtConfirma->Enabled(), c.firstCompleteAfter && !c.emptied);
    EXPECT_FALSE(f->cdsNotaFiscal->ControlsDisabled());
}

INSTANTIATE_TEST_SUITE_P(Table, RefreshAfterTheInvoiceVanished,
                         testing::Values(VanishedCase{"firstBecameIncomplete", true, false, false},
                                         VanishedCase{"firstBecameComplete", false, true, false},
                                         VanishedCase{"listEmptied", true, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadingAndRefresh, FilterRewrittenByTheServerIsSentByTheNextRefreshAndResetByTheNextLoad)
{
    OpenLoaded();
    writeBack = {"0000000005", "T"};
    ASSERT_TRUE(Act([&] { f->sbtVerificar->Click(); }));
    writeBack.clear();
    const qsizetype before = server.Calls.size();
    ASSERT_TRUE(Act([&] { f->sbtVerificar->Click(); }));
    ASSERT_EQ(server.Calls.size(), before + 2);
    EXPECT_EQ(server.Calls[before].Args.value(1), "0000000005");      // GetNrLancamento
    EXPECT_EQ(server.Calls[before + 1].Args.value(1), "0000000005");  // GetDados

    // The full load sets the filters from the edits again.
    f->medCdFilial->SetFocus();
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    ASSERT_EQ(CallsOf(Remote::GetDados).size(), 4);
    EXPECT_EQ(CallsOf(Remote::GetDados).last().Args.value(1), "T");
}

struct FailedRefreshCase {
    const char* name;
    bool malformed;  // else refused
    const char* error;
};

class FailedRefresh : public ReadingAndRefresh, public testing::WithParamInterface<FailedRefreshCase> {};

TEST_P(FailedRefresh, LeavesTheWorkListAsItWasWithTheGridsLiveAndNoIndicator)
{
    OpenLoaded();
    Select("0000000002");
    const TDataPacket invoicesShown = f->cdsNotaFiscal->Data();
    const TDataPacket itemsShown = f->cdsItemProduto->Data();
    const TDataPacket readingsShown = f->cdsIUMProd->Data();
    invoices.removeFirst();
    malformedWorkList = GetParam().malformed;
    getDadosFails = !GetParam().malformed;
    dialogs.ExpectError();

    EXPECT_FALSE(Act([&] { f->sbtVerificar->Click(); }));

    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{GetParam().error});
    EXPECT_EQ(f->cdsNotaFiscal->Data(), invoicesShown);
    EXPECT_EQ(f->cdsItemProduto->Data(), itemsShown);
    EXPECT_EQ(f->cdsIUMProd->Data(), readingsShown);
    EXPECT_EQ(CurrentInvoice(), "0000000002");
    EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"20", "21", "22"}));
    EXPECT_FALSE(f->cdsNotaFiscal->ControlsDisabled());
    EXPECT_FALSE(Showavi::Showing());
}

INSTANTIATE_TEST_SUITE_P(
    Table, FailedRefresh,
    testing::Values(FailedRefreshCase{"refused", false, "Banco de dados indisponível."},
                    FailedRefreshCase{"malformed", true,
                                      "O servidor de aplicação respondeu a GetDados com dados inválidos (esperava 3 "
                                      "pacotes de dados). Nada foi alterado na tela."}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
