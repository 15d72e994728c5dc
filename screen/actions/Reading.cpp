// IUM reading for an invoice, and the refresh of the work list. Both end on
// the invoice the user was working on (sNrLanctoAtual), with what the server
// holds now.
#include "screen/Cli_exp13000.h"

#include "codbarium/Codbarium.h"
#include "framework/Consiste.h"
#include "framework/Showavi.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <algorithm>

namespace {

bool IsPacket(const QVariant& value)
{
    return value.metaType() == QMetaType::fromType<TDataPacket>();
}

[[noreturn]] void RaiseMalformed(const QString& method, const QString& expected)
{
    throw EServerError(QStringLiteral("O servidor de aplicação respondeu a %1 com dados inválidos (esperava %2). "
                                      "Nada foi alterado na tela.")
                           .arg(method, expected));
}

// Payloads are checked whole before any data set receives a packet, so that
// a malformed reply changes nothing on the screen.
TDataPacket PacketOf(const QVariant& payload, const QString& method)
{
    if (!IsPacket(payload))
        RaiseMalformed(method, QStringLiteral("um pacote de dados"));
    return payload.value<TDataPacket>();
}

QList<TDataPacket> PacketsOf(const QVariant& payload, int count, const QString& method)
{
    const QVariantList values = payload.toList();
    if (payload.metaType() != QMetaType::fromType<QVariantList>() || values.size() != count ||
        !std::all_of(values.begin(), values.end(), IsPacket))
        RaiseMalformed(method, QStringLiteral("%1 pacotes de dados").arg(count));
    QList<TDataPacket> packets;
    for (const QVariant& value : values)
        packets << value.value<TDataPacket>();
    return packets;
}

} // namespace

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
    cdsNrExpedicao->SetData(PacketOf(expeditions, Remote::GetNrLancamento));

    sNrLanctoAtual = cdsNotaFiscalNRLANCTONF->AsString();
    cdsNotaFiscal->DisableControls();
    const auto restore = [this] {
        cdsNotaFiscal->EnableControls();
        Showavi::DeactiveShowAvi();
    };
    try {
        Showavi::ActiveShowAvi(Application->MainForm(), 6);
        const QList<TDataPacket> packets = PacketsOf(
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
