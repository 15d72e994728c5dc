// Deleting a wrong IUM reading: the deletion goes to the server at once, as
// the change delta of cdsIUMProd, and comes back on the screen when the
// server refuses it.
#include "screen/Cli_exp13000.h"

#include "framework/Consiste.h"
#include "framework/Showavi.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

void TfrmConfSepExp::sbtExcluirClick(TObject*)
{
    const TModalResult answer = msgMensagensPadroes->ShowMsg(
        QStringLiteral("Excl"), TMsgDlgType::mtConfirmation, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo, 0);
    if (answer != mrYes || dbgAtiva != dbgIUMProd)
        return;
    // A refusal raises out of the deletion (cdsIUMProdAfterDelete) and so
    // skips the refresh: the grid already shows the reading again.
    cdsIUMProd->Delete();
    sbtVerificarClick(sbtVerificar);
}

// Runs inside cdsIUMProd->Delete(). The only pending change the data set can
// hold is a deletion made here (the IUM grid does not edit), so the delta is
// exactly the reading just deleted.
void TfrmConfSepExp::cdsIUMProdAfterDelete(TDataSet*)
{
    if (cdsIUMProd->ChangeCount() <= 0)
        return;
    try {
        Showavi::ActiveShowAvi(Application->MainForm(), 1);
        const TDataPacket delta = cdsIUMProd->Delta();
        Consiste::CheckResultServ(netConfRastr->AppServer().Call(Remote::DeleteIUMProd, {delta}), true, 0);
        Showavi::DeactiveShowAvi();
        cdsIUMProd->MergeChangeLog();
    } catch (...) {
        Showavi::DeactiveShowAvi();
        cdsIUMProd->CancelUpdates();
        throw;
    }
}
