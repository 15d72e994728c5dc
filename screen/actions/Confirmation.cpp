// Confirming an invoice as ready for traceability: the server records it
// (setConfRastrOK) and the work list is loaded again without it.
#include "screen/Cli_exp13000.h"

#include "framework/Consiste.h"
#include "framework/Showavi.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

// The grids stay frozen and the invoice handler detached from the first step
// to the last; the last step runs whatever happened in between, so an error
// never leaves the grids frozen or the item grid deaf to invoice moves.
void TfrmConfSepExp::sbtConfirmaClick(TObject*)
{
    cdsNotaFiscal->AfterScroll = nullptr;
    cdsNotaFiscal->DisableControls();
    cdsItemProduto->DisableControls();
    cdsIUMProd->DisableControls();
    const auto restore = [this] {
        cdsNotaFiscal->EnableControls();
        cdsItemProduto->EnableControls();
        cdsIUMProd->EnableControls();
        cdsNotaFiscal->AfterScroll = closure(this, &TfrmConfSepExp::cdsNotaFiscalAfterScroll);
    };
    try {
        if (!cdsNotaFiscal->IsEmpty() &&
            MessageDlg(msgPadrao->Msg(QStringLiteral("CONF_RASTR")), TMsgDlgType::mtConfirmation,
                       TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo, 0) == mrYes) {
            try {
                Showavi::ActiveShowAvi(Application->MainForm(), 1);
                Consiste::CheckResultServ(
                    netConfRastr->AppServer().Call(
                        Remote::SetConfRastrOK, {cdsNotaFiscalCDFILIAL->AsString(), cdsNotaFiscalNRLANCTONF->AsString()}),
                    true, 0);
                Showavi::DeactiveShowAvi();
                MessageDlg(msgPadrao->Msg(QStringLiteral("Sucesso")), TMsgDlgType::mtInformation, TMsgDlgBtn::mbOK, 1);
                // Recorded: the next load is no longer limited to one
                // expedition or one order, which may now hold nothing to check.
                medNrExpedicao->SetText(QString());
                medNrPedido->SetText(QString());
                panFiltroExit(panFiltro);
            } catch (...) {
                Showavi::DeactiveShowAvi();
                throw;
            }
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
}
