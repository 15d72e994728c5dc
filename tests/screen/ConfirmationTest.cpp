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
    // so that selecting invoice 2 shows its items.
    void ExpectRestored()
    {
        EXPECT_FALSE(f->cdsNotaFiscal->ControlsDisabled());
        EXPECT_FALSE(f->cdsItemProduto->ControlsDisabled());
        EXPECT_FALSE(f->cdsIUMProd->ControlsDisabled());
        EXPECT_EQ(f->cdsNotaFiscal->AfterScroll, closure(f, &TfrmConfSepExp::cdsNotaFiscalAfterScroll));
        EXPECT_FALSE(Showavi::Showing());
        if (f->cdsNotaFiscal->Locate("NRLANCTONF", "0000000002", {})) {
            EXPECT_EQ(Column(f->cdsItemProduto, "CDPRODUTO"), (QStringList{"20", "21", "22"}));
        }
    }

    QStringList Questions() const { return dialogs.Texts(TDialogKind::Message); }
};

TEST_F(Confirmation, OnAClosedOrEmptyListAsksAndSendsNothing)
{
    OpenLoaded();
    ASSERT_TRUE(f->sbtConfirma->Enabled());  // invoice 1 is complete
    f->depFinal->SetFocus();                 // back in the filter: the list closes
    Application->ProcessMessages();
    ASSERT_FALSE(f->cdsNotaFiscal->Active());
    ASSERT_TRUE(Act([&] { f->sbtConfirma->Click(); }));
    EXPECT_EQ(Questions(), QStringList{});

    invoices.clear();
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    ASSERT_TRUE(f->cdsNotaFiscal->Active());
    ASSERT_TRUE(Act([&] { f->sbtConfirma->Click(); }));
    EXPECT_EQ(Questions(), QStringList{});
    EXPECT_TRUE(CallsOf(Remote::SetConfRastrOK).isEmpty());
    ExpectRestored();
}

TEST_F(Confirmation, AnsweredNoSendsNothingAndLeavesTheGridsWorking)
{
    OpenLoaded();
    Select("0000000003");
    const qsizetype loads = CallsOf(Remote::GetDados).size();
    dialogs.ExpectMessage(mrNo);
    ASSERT_TRUE(Act([&] { f->sbtConfirma->Click(); }));
    ASSERT_EQ(dialogs.Log().size(), 1);
    const TDialogRecord& asked = dialogs.Log().first();
    EXPECT_EQ(asked.Text, "Confirma que a nota está pronta para rastreio?");
    EXPECT_EQ(asked.Type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(asked.Buttons, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo);
    EXPECT_EQ(asked.HelpContext, 0);
    EXPECT_TRUE(CallsOf(Remote::SetConfRastrOK).isEmpty());
    EXPECT_EQ(CallsOf(Remote::GetDados).size(), loads);
    EXPECT_EQ(CurrentInvoice(), "0000000003");
    ExpectRestored();
}

TEST_F(Confirmation, RefusedByTheServerKeepsTheEditsAndDoesNotReload)
{
    OpenLoaded();
    Select("0000000003");
    f->medNrExpedicao->SetText("0000000005");
    f->medNrPedido->SetText("0000000055");
    const qsizetype loads = CallsOf(Remote::GetDados).size();
    const QString refusal = "A nota fiscal 0000000003 da filial 0001 já foi conferida para rastreio.";
    refusals[Remote::SetConfRastrOK] = refusal;
    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectError();

    EXPECT_FALSE(Act([&] { f->sbtConfirma->Click(); }));

    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{refusal});
    EXPECT_EQ(CallsOf(Remote::SetConfRastrOK).size(), 1);
    EXPECT_EQ(Questions(), QStringList{"Confirma que a nota está pronta para rastreio?"});
    EXPECT_EQ(f->medNrExpedicao->Text(), "0000000005");
    EXPECT_EQ(f->medNrPedido->Text(), "0000000055");
    EXPECT_EQ(CallsOf(Remote::GetDados).size(), loads);
    EXPECT_EQ(CurrentInvoice(), "0000000003");
    ExpectRestored();
}

TEST_F(Confirmation, AcceptedClearsTheNumberFiltersAndReloadsWithoutTheInvoice)
{
    OpenLoaded();
    // Loaded for one expedition.
    f->medNrExpedicao->SetFocus();
    f->medNrExpedicao->SetText("5");
    f->dbgNotaFiscal->SetFocus();
    Application->ProcessMessages();
    ASSERT_EQ(CallsOf(Remote::GetDados).last().Args.value(1), "0000000005");
    Select("0000000003");
    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectMessage(mrOk);

    ASSERT_TRUE(Act([&] { f->sbtConfirma->Click(); }));

    ASSERT_EQ(dialogs.Log().size(), 2);
    const TDialogRecord& reported = dialogs.Log()[1];
    EXPECT_EQ(reported.Text, "Conferência de rastreio efetivada com sucesso!");
    EXPECT_EQ(reported.Type, TMsgDlgType::mtInformation);
    EXPECT_EQ(reported.Buttons, TMsgDlgBtn::mbOK);
    EXPECT_EQ(reported.HelpContext, 1);
    ASSERT_EQ(CallsOf(Remote::SetConfRastrOK).size(), 1);
    EXPECT_EQ(CallsOf(Remote::SetConfRastrOK).first().Args, (QVariantList{"0001", "0000000003"}));
    EXPECT_EQ(f->medNrExpedicao->Text(), "");
    EXPECT_EQ(f->medNrPedido->Text(), "");
    EXPECT_EQ(CallsOf(Remote::GetDados).size(), 3);
    EXPECT_EQ(CallsOf(Remote::GetDados).last().Args.value(1), "T");
    EXPECT_EQ(Column(f->cdsNotaFiscal, "NRLANCTONF"), (QStringList{"0000000001", "0000000002"}));
    EXPECT_EQ(CurrentInvoice(), "0000000001");
    ExpectRestored();
}

} // namespace
