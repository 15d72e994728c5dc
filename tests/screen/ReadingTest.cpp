// The IUM reading of an invoice and the refresh of the work list: both come
// back on the invoice the user was working on, with what the server holds.
#include "ActionsFixture.h"

#include "framework/Showavi.h"
#include "rtl/DateTime.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QTableView>

namespace {

using W = TWorkListDouble;

// Arguments as text, dates as their day numbers.
QStringList Texts(const QVariantList& args)
{
    QStringList texts;
    for (const QVariant& arg : args)
        texts << (arg.metaType() == QMetaType::fromType<TDateTime>() ? QString::number(arg.value<TDateTime>().Val)
                                                                     : arg.toString());
    return texts;
}

class Reading : public ActionsTest {
protected:
    // The server has all readings of invoice 102 now: its incomplete item 21
    // has three of three.
    void CompleteInvoice102()
    {
        for (QVariantMap& item : work.Items)
            if (item["CDPRODUTO"] == "21") {
                item["QTRESPRODPED"] = 3.0;
                item["IDSTATUSSEPSNCM"] = "S";
            }
        work.Readings << W::Reading("0000000102", "21", "IUM-B3") << W::Reading("0000000102", "21", "IUM-B4");
    }

    // What a refresh or a reading must show for invoice 102 once complete.
    void ExpectInvoice102Completed()
    {
        EXPECT_EQ(CurrentInvoice(), "0000000102");
        EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"21", "22"}));
        EXPECT_EQ(Column(f->cdsItemProduto, "QTRESPRODPED"), (QStringList{"3", "1"}));
        EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"IUM-B1", "IUM-B3", "IUM-B4"}));
        EXPECT_TRUE(f->sbtConfirma->Enabled());
        EXPECT_FALSE(f->cdsNotaFiscal->ControlsDisabled());
        EXPECT_FALSE(Showavi::Showing());
    }
};

TEST_F(Reading, DoubleClickReadsTheInvoiceThenReloadsOnItWithTheNewReadings)
{
    OpenLoaded();
    QVariantMap asked;
    dialogs.ExpectReading([&](const TReadingRequest& request) {
        asked = request.Arguments;
        CompleteInvoice102();  // the reading screen stores each scan as it is read
        return QVariant(2);
    });
    const int loads = CallsOf(Remote::GetDados);
    DoubleClickInvoice("0000000102");
    EXPECT_EQ(asked, (QVariantMap{{"CDFILIAL", "0001"}, {"NRLANCTONF", "0000000102"}}));
    EXPECT_EQ(CallsOf(Remote::GetDados), loads + 1);
    ExpectInvoice102Completed();
}

TEST_F(Reading, RefreshReloadsWithoutChecksAndSelectsTheSameInvoiceAgain)
{
    OpenLoaded();
    Select("0000000102");
    ASSERT_FALSE(f->sbtConfirma->Enabled());
    CompleteInvoice102();  // another user scanned the missing labels
    // Typed but never checked: the refresh reads neither number edit.
    f->medNrExpedicao->SetText("99");
    const int shown = Showavi::ShowCount();
    const qsizetype before = server.Calls.size();

    ASSERT_TRUE(Act([&] { f->sbtVerificar->Click(); }));

    QStringList methods;
    for (qsizetype i = before; i < server.Calls.size(); ++i)
        methods << server.Calls[i].Method;
    EXPECT_EQ(methods, (QStringList{Remote::GetNrLancamento, Remote::GetDados}));
    const QString first = QString::number(DateTimeFromQDate(QDate(2024, 1, 1)).Val);
    const QString last = QString::number(DateTimeFromQDate(QDate(2024, 12, 31)).Val);
    const QStringList sent = {"0001", "T", "T", first, last, first, last};
    EXPECT_EQ(Texts(server.Calls[before].Args), sent + QStringList({"T", "EXP"}));
    EXPECT_EQ(Texts(server.Calls[before + 1].Args), sent);
    // One indicator, for the work list only, of the querying kind.
    EXPECT_EQ(Showavi::ShowCount(), shown + 1);
    EXPECT_EQ(Showavi::Kind(), 6);
    EXPECT_EQ(Column(f->cdsNrExpedicao, "NREXPEDICAO"), (QStringList{"0000000007"}));
    ExpectInvoice102Completed();
}

TEST_F(Reading, DoubleClickOnAnEmptyListCallsTheReadingWithNoInvoiceAndReloadsNothing)
{
    work.Invoices.clear();
    work.Items.clear();
    work.Readings.clear();
    OpenLoaded();
    const int loads = CallsOf(Remote::GetDados);
    dialogs.ExpectError();
    QTest::mouseDClick(f->dbgNotaFiscal->View()->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    Application->ProcessMessages();
    // The reading itself refuses an empty invoice number, before any screen
    // shows; the action ends there.
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{"Nenhuma nota selecionada para a leitura de IUM."});
    EXPECT_EQ(CallsOf(Remote::GetItensIUM), 0);
    EXPECT_EQ(CallsOf(Remote::GetDados), loads);
    EXPECT_TRUE(f->cdsNotaFiscal->IsEmpty());
}

// The invoice the user was on has left the list (another user confirmed
// it, or the list was emptied): the cursor goes to the first invoice, and
// the confirm button follows that invoice's new items, not the items the
// button was judged against while the invoice packet was being loaded.
struct VanishedCase {
    const char* name;
    bool firstCompleteBefore;
    bool firstCompleteAfter;
    bool emptied;
};

class RefreshAfterTheInvoiceVanished : public Reading, public testing::WithParamInterface<VanishedCase> {
protected:
    void SetFirstInvoiceComplete(bool complete)
    {
        work.Items[0]["QTRESPRODPED"] = complete ? 2.0 : 1.0;
        work.Items[0]["IDSTATUSSEPSNCM"] = complete ? "S" : "N";
    }
};

TEST_P(RefreshAfterTheInvoiceVanished, LeavesTheCursorOnTheFirstInvoiceAndJudgesItsNewItems)
{
    const VanishedCase& c = GetParam();
    SetFirstInvoiceComplete(c.firstCompleteBefore);
    OpenLoaded();
    Select("0000000103");
    work.Invoices.removeLast();
    SetFirstInvoiceComplete(c.firstCompleteAfter);
    if (c.emptied) {
        work.Invoices.clear();
        work.Items.clear();
        work.Readings.clear();
    }

    ASSERT_TRUE(Act([&] { f->sbtVerificar->Click(); }));

    EXPECT_EQ(CurrentInvoice(), c.emptied ? "" : "0000000101");
    EXPECT_EQ(Column(f->cdsItemProduto, "QTRESPRODPED"),
              c.emptied ? QStringList{} : QStringList{c.firstCompleteAfter ? "2" : "1"});
    EXPECT_EQ(f->sbtConfirma->Enabled(), c.firstCompleteAfter && !c.emptied);
    EXPECT_FALSE(f->cdsNotaFiscal->ControlsDisabled());
}

INSTANTIATE_TEST_SUITE_P(Table, RefreshAfterTheInvoiceVanished,
                         testing::Values(VanishedCase{"firstBecameIncomplete", true, false, false},
                                         VanishedCase{"firstBecameComplete", false, true, false},
                                         VanishedCase{"listEmptied", true, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Reading, FilterRewrittenByTheServerIsSentByTheNextRefreshAndResetByTheNextLoad)
{
    OpenLoaded();
    work.ExpeditionFilterReply = "0000000007";
    ASSERT_TRUE(Act([&] { f->sbtVerificar->Click(); }));
    work.ExpeditionFilterReply.clear();
    const qsizetype before = server.Calls.size();
    ASSERT_TRUE(Act([&] { f->sbtVerificar->Click(); }));
    ASSERT_EQ(server.Calls.size(), before + 2);
    EXPECT_EQ(server.Calls[before].Args.value(1), "0000000007");      // GetNrLancamento
    EXPECT_EQ(server.Calls[before + 1].Args.value(1), "0000000007");  // GetDados

    // The full load sets the filters from the edits again.
    f->medCdFilial->SetFocus();
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    EXPECT_EQ(CallsOf(Remote::GetDados), 4);
    EXPECT_EQ(LastCall(Remote::GetDados).Args.value(1), "T");
}

struct FailedRefreshCase {
    const char* name;
    bool malformed;  // else refused
    const char* error;
};

class FailedRefresh : public Reading, public testing::WithParamInterface<FailedRefreshCase> {};

TEST_P(FailedRefresh, LeavesTheWorkListAsItWasWithTheGridsLiveAndNoIndicator)
{
    OpenLoaded();
    Select("0000000102");
    const TDataPacket invoices = f->cdsNotaFiscal->Data();
    const TDataPacket items = f->cdsItemProduto->Data();
    const TDataPacket readings = f->cdsIUMProd->Data();
    work.Invoices.removeFirst();
    if (GetParam().malformed)
        work.MalformedWorkList = true;
    else
        work.Refusals[Remote::GetDados] = "Banco de dados indisponível.";
    dialogs.ExpectError();

    EXPECT_FALSE(Act([&] { f->sbtVerificar->Click(); }));

    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{GetParam().error});
    EXPECT_EQ(f->cdsNotaFiscal->Data(), invoices);
    EXPECT_EQ(f->cdsItemProduto->Data(), items);
    EXPECT_EQ(f->cdsIUMProd->Data(), readings);
    EXPECT_EQ(CurrentInvoice(), "0000000102");
    EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"21", "22"}));
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
