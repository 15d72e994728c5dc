// Confirming an invoice as ready for traceability: asked, recorded by the
// server, reported, and the work list loaded again without it.
#include "ActionsFixture.h"

#include "framework/Showavi.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

namespace {

class Confirmation : public ActionsTest {
protected:
    // After the action: the grids live again and the invoice handler back,
    // so that selecting invoice 102 shows its items.
    void ExpectRestored()
    {
        EXPECT_FALSE(f->cdsNotaFiscal->ControlsDisabled());
        EXPECT_FALSE(f->cdsItemProduto->ControlsDisabled());
        EXPECT_FALSE(f->cdsIUMProd->ControlsDisabled());
        EXPECT_EQ(f->cdsNotaFiscal->AfterScroll, closure(f, &TfrmConfSepExp::cdsNotaFiscalAfterScroll));
        EXPECT_FALSE(Showavi::Showing());
        if (f->cdsNotaFiscal->Locate("NRLANCTONF", "0000000102", {})) {
            EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"21", "22"}));
        }
    }

    QStringList Questions() const { return dialogs.Texts(TDialogKind::Message); }
};

TEST_F(Confirmation, OnAClosedOrEmptyListAsksAndSendsNothing)
{
    OpenLoaded();
    ASSERT_TRUE(f->sbtConfirma->Enabled());  // 101 is complete
    f->depFinal->SetFocus();                 // back in the filter: the list closes
    Application->ProcessMessages();
    ASSERT_FALSE(f->cdsNotaFiscal->Active());
    ASSERT_TRUE(Act([&] { f->sbtConfirma->Click(); }));
    EXPECT_EQ(Questions(), QStringList{});

    work.Invoices.clear();
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    ASSERT_TRUE(f->cdsNotaFiscal->Active());
    ASSERT_TRUE(Act([&] { f->sbtConfirma->Click(); }));
    EXPECT_EQ(Questions(), QStringList{});
    EXPECT_EQ(CallsOf(Remote::SetConfRastrOK), 0);
    ExpectRestored();
}

TEST_F(Confirmation, AnsweredNoSendsNothingAndLeavesTheGridsWorking)
{
    OpenLoaded();
    Select("0000000103");
    const int loads = CallsOf(Remote::GetDados);
    dialogs.ExpectMessage(mrNo);
    ASSERT_TRUE(Act([&] { f->sbtConfirma->Click(); }));
    ASSERT_EQ(dialogs.Log().size(), 1);
    const TDialogRecord& asked = dialogs.Log().first();
    EXPECT_EQ(asked.Text, "Confirma que a nota está pronta para rastreio?");
    EXPECT_EQ(asked.Type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(asked.Buttons, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo);
    EXPECT_EQ(asked.HelpContext, 0);
    EXPECT_EQ(CallsOf(Remote::SetConfRastrOK), 0);
    EXPECT_EQ(CallsOf(Remote::GetDados), loads);
    EXPECT_EQ(CurrentInvoice(), "0000000103");
    ExpectRestored();
}

TEST_F(Confirmation, RefusedByTheServerKeepsTheEditsAndDoesNotReload)
{
    OpenLoaded();
    Select("0000000103");
    f->medNrExpedicao->SetText("0000000007");
    f->medNrPedido->SetText("0000000055");
    const int loads = CallsOf(Remote::GetDados);
    const QString refusal = "A nota fiscal 0000000103 da filial 0001 já foi conferida para rastreio.";
    work.Refusals[Remote::SetConfRastrOK] = refusal;
    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectError();

    EXPECT_FALSE(Act([&] { f->sbtConfirma->Click(); }));

    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{refusal});
    EXPECT_EQ(CallsOf(Remote::SetConfRastrOK), 1);
    EXPECT_EQ(Questions(), QStringList{"Confirma que a nota está pronta para rastreio?"});
    EXPECT_EQ(f->medNrExpedicao->Text(), "0000000007");
    EXPECT_EQ(f->medNrPedido->Text(), "0000000055");
    EXPECT_EQ(CallsOf(Remote::GetDados), loads);
    EXPECT_EQ(CurrentInvoice(), "0000000103");
    ExpectRestored();
}

TEST_F(Confirmation, AcceptedClearsTheNumberFiltersAndReloadsWithoutTheInvoice)
{
    OpenLoaded();
    // Loaded for one expedition.
    f->medNrExpedicao->SetFocus();
    f->medNrExpedicao->SetText("7");
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    ASSERT_EQ(LastCall(Remote::GetDados).Args.value(1), "0000000007");
    Select("0000000103");
    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectMessage(mrOk);

    ASSERT_TRUE(Act([&] { f->sbtConfirma->Click(); }));

    ASSERT_EQ(dialogs.Log().size(), 2);
    const TDialogRecord& reported = dialogs.Log()[1];
    EXPECT_EQ(reported.Text, "Conferência de rastreio efetivada com sucesso!");
    EXPECT_EQ(reported.Type, TMsgDlgType::mtInformation);
    EXPECT_EQ(reported.Buttons, TMsgDlgBtn::mbOK);
    EXPECT_EQ(reported.HelpContext, 1);
    ASSERT_EQ(CallsOf(Remote::SetConfRastrOK), 1);
    const Rpc::TCall& confirmed = *std::find_if(server.Calls.begin(), server.Calls.end(), [](const Rpc::TCall& c) {
        return c.Method == Remote::SetConfRastrOK;
    });
    EXPECT_EQ(confirmed.Args, (QVariantList{"0001", "0000000103"}));
    EXPECT_EQ(f->medNrExpedicao->Text(), "");
    EXPECT_EQ(f->medNrPedido->Text(), "");
    EXPECT_EQ(CallsOf(Remote::GetDados), 3);
    EXPECT_EQ(LastCall(Remote::GetDados).Args.value(1), "T");
    EXPECT_EQ(Column(f->cdsNotaFiscal, "NRLANCTONF"), (QStringList{"0000000101", "0000000102"}));
    EXPECT_EQ(CurrentInvoice(), "0000000101");
    ExpectRestored();
}

} // namespace
