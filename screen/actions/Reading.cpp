// IUM reading for an invoice, and the refresh of the work list. Both end on
// the invoice the user was working on (sNrLanctoAtual), with what the server
// holds now.
#include "screen/Cli_exp13000.h"
#include "screen/ServerReplies.h"

#include "codbarium/Codbarium.h"
#include "framework/Consiste.h"
#include "framework/Showavi.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

void TfrmConfSepExp::dbgNotaFiscalDblClick(TObject*)
{
    sNrLanctoAtual = cdsNotaFiscalNRLANCTONF->AsString();
    Codbarium::CriaLeituraIUM(medCdFilial->Text(), cdsNotaFiscalNRLANCTONF->AsString(), netConfRastr);
    panFiltroExit(panFiltro);
    if (!Consiste::EmptyString(sNrLanctoAtual))
        cdsNotaFiscal->Locate(QStringLiteral("NRLANCTONF"), sNrLanctoAtual, loCaseInsensitive);
}

void TfrmConfSepExp::dbgNotaFiscalExit(TObject*)
{
    sNrLanctoAtual = cdsNotaFiscalNRLANCTONF->AsString();
}

// Unlike the full load, the refresh runs no filter check and leaves the
// selection handlers attached: loading the invoice packet runs the invoice
// handler, so the item and reading data sets keep a filter for the first new
// invoice and their packets arrive filtered.
void TfrmConfSepExp::sbtVerificarClick(TObject*)
{
    const QVariant expeditions = Consiste::CheckResultServ(
        netConfRastr->AppServer().Call(Remote::GetNrLancamento,
                                       {medCdFilial->Text(), ByRef(sNrExpedicaoFiltro), ByRef(sNrPedidoFiltro),
                                        depInicial->GetDate(), depFinal->GetDate(), depSaidaInicial->GetDate(),
                                        depSaidaFim->GetDate(), QStringLiteral("T"), QStringLiteral("EXP")}),
        true, 0);
    cdsNrExpedicao->SetData(ServerReplies::PacketOf(expeditions, Remote::GetNrLancamento));

    sNrLanctoAtual = cdsNotaFiscalNRLANCTONF->AsString();
    cdsNotaFiscal->DisableControls();
    const auto restore = [this] {
        cdsNotaFiscal->EnableControls();
        Showavi::DeactiveShowAvi();
    };
    try {
        Showavi::ActiveShowAvi(Application->MainForm(), 6);
        LoadWorkList();
        // Found, the invoice handler runs on the new data and judges the
        // confirm button afresh. Not found (another user confirmed the
        // invoice, or the list is empty), the button was last judged while
        // the items still held the previous packet: judge it again on the
        // first invoice's new items.
        if (!cdsNotaFiscal->Locate(QStringLiteral("NRLANCTONF"), sNrLanctoAtual, loCaseInsensitive))
            habilitaConfirma();
    } catch (...) {
        restore();
        throw;
    }
    restore();
}
