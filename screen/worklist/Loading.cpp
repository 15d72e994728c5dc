// Loading the work list when the focus leaves the filter panel; the reading
// and the confirmation call it directly to reload with the same filter.
#include "screen/Cli_exp13000.h"
#include "screen/ServerReplies.h"

#include "framework/Consiste.h"
#include "framework/Showavi.h"
#include "netconn/Lib00200.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QScopeGuard>

namespace {

// "T" asks the server for any number.
QString NumberFilter(const QString& text)
{
    return Consiste::EmptyString(text) ? QStringLiteral("T") : text;
}

} // namespace

void TfrmConfSepExp::panFiltroExit(TObject*)
{
    Vd_Filial();
    Vd_NrExpedicao();
    Vd_NrPedido();

    cdsNotaFiscal->AfterScroll = nullptr;
    cdsItemProduto->AfterScroll = nullptr;
    {
        // Attached again however the load ends: a reload that fails keeps the
        // previous work list on screen, and its grids must go on following
        // the selected invoice and item.
        const auto reattach = qScopeGuard([this] {
            cdsNotaFiscal->AfterScroll = closure(this, &TfrmConfSepExp::cdsNotaFiscalAfterScroll);
            cdsItemProduto->AfterScroll = closure(this, &TfrmConfSepExp::cdsItemProdutoAfterScroll);
        });
        sNrExpedicaoFiltro = NumberFilter(medNrExpedicao->Text());
        sNrPedidoFiltro = NumberFilter(medNrPedido->Text());
        vd_datas();

        Showavi::ActiveShowAvi(Application->MainForm(), 6);
        const auto busy = qScopeGuard([] { Showavi::DeactiveShowAvi(); });
        LoadWorkList();
    }

    // Also when filtering was on from the previous load: this puts the
    // invoices on their first row and runs the selection handlers.
    cdsNotaFiscal->SetFiltered(true);
    cdsItemProduto->SetFiltered(true);

    SetColumnVisible(dbgIUMProd, QStringLiteral("CDALMOXARIFE"),
                     Lib00200::Utiliza_Almoxarifado(netEstoque, medCdFilial->Text()));
    SetColumnVisible(dbgIUMProd, QStringLiteral("CDLOCALESTOQ"),
                     Lib00200::Utiliza_LocalEstoque(netEstoque, medCdFilial->Text()));
    Botoes();
}

void TfrmConfSepExp::LoadWorkList()
{
    const QList<TDataPacket> packets = ServerReplies::PacketsOf(
        Consiste::CheckResultServ(netConfRastr->AppServer().Call(
                                      Remote::GetDados, {medCdFilial->Text(), ByRef(sNrExpedicaoFiltro),
                                                         ByRef(sNrPedidoFiltro), depInicial->GetDate(),
                                                         depFinal->GetDate(), depSaidaInicial->GetDate(),
                                                         depSaidaFim->GetDate()}),
                                  true, 0),
        3, Remote::GetDados);
    cdsNotaFiscal->SetData(packets[0]);
    cdsItemProduto->SetData(packets[1]);
    cdsIUMProd->SetData(packets[2]);
    FollowChanges();
}
