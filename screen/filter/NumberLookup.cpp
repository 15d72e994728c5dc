// Expedition and order numbers: their checks and lookups.
//
// All four ask the server's GetNrLancamento for one list, with the branch as
// the edit holds it and the four dates as they stand. Where no number is
// sent, the number's position carries the word "EXPEDICAO" or "PEDIDO"; the
// lookups ask for every status ("T"), the checks for none in particular ("").
#include "screen/Cli_exp13000.h"
#include "screen/ServerReplies.h"

#include "framework/Consiste.h"
#include "server/RemoteNames.h"

namespace {

const QString anyExpedition = QStringLiteral("EXPEDICAO");
const QString anyOrder = QStringLiteral("PEDIDO");
const QString everyStatus = QStringLiteral("T");

enum class TNumber { Expedition, Order };

struct TNumberParts {
    TMaskEdit* edit;
    TClientDataSet* list;
    QString kind;      // the list asked for: "EXP" or "PED"
    QString notFound;  // catalogue key of "no such number"
};

TNumberParts PartsOf(TfrmConfSepExp* f, TNumber number)
{
    if (number == TNumber::Expedition)
        return {f->medNrExpedicao, f->cdsNrExpedicao, QStringLiteral("EXP"), QStringLiteral("NrExp_NCad")};
    return {f->medNrPedido, f->cdsNrPedido, QStringLiteral("PED"), QStringLiteral("NrPed_NCad")};
}

// Replaces the list's whole content with what the server returns for
// `expedition`, `order` and `status`. A server or connection error raises
// and leaves the list as it was.
void LoadList(TfrmConfSepExp* f, const TNumberParts& parts, const QString& expedition, const QString& order,
              const QString& status)
{
    const QVariant payload = Consiste::CheckResultServ(
        f->netConfRastr->AppServer().Call(
            Remote::GetNrLancamento,
            {f->medCdFilial->Text(), expedition, order, f->depInicial->GetDate(), f->depFinal->GetDate(),
             f->depSaidaInicial->GetDate(), f->depSaidaFim->GetDate(), status, parts.kind}),
        true, 0);
    parts.list->SetData(ServerReplies::PacketOf(payload, Remote::GetNrLancamento));
}

void LookUp(TfrmConfSepExp* f, TNumber number)
{
    LoadList(f, PartsOf(f, number), anyExpedition, anyOrder, everyStatus);
}

// An empty number restricts nothing: it is neither checked nor sent. Every
// failure after that puts the cursor back on the number.
void Check(TfrmConfSepExp* f, TNumber number)
{
    const TNumberParts parts = PartsOf(f, number);
    if (Consiste::EmptyString(parts.edit->Text()))
        return;
    try {
        parts.edit->SetText(Consiste::Ajusta(parts.edit->Text(), 10));
        const QString typed = parts.edit->Text();
        if (number == TNumber::Expedition)
            LoadList(f, parts, typed, anyOrder, QString());
        else
            LoadList(f, parts, anyExpedition, typed, QString());
        if (parts.list->IsEmpty())
            Consiste::MensErro(f->msgPadrao->Msg(parts.notFound), true);
    } catch (...) {
        parts.edit->SetFocus();
        throw;
    }
}

// Empty stays empty, so an untouched number still means "any".
void Pad(TMaskEdit* edit) { edit->SetText(Consiste::Ajusta(edit->Text(), 10)); }

} // namespace

void TfrmConfSepExp::Vd_NrExpedicao() { Check(this, TNumber::Expedition); }
void TfrmConfSepExp::Vd_NrPedido() { Check(this, TNumber::Order); }

void TfrmConfSepExp::medNrExpedicaoExit(TObject*) { Pad(medNrExpedicao); }
void TfrmConfSepExp::medNrPedidoExit(TObject*) { Pad(medNrPedido); }

void TfrmConfSepExp::btnNrExpedicaoBeforePesq(TObject*, bool&) { LookUp(this, TNumber::Expedition); }
void TfrmConfSepExp::btnNrPedidoBeforePesq(TObject*, bool&) { LookUp(this, TNumber::Order); }

// Copied as listed; the padding follows when the user leaves the edit.
void TfrmConfSepExp::btnNrExpedicaoAfterPesq(TObject*) { medNrExpedicao->SetText(cdsNrExpedicaoNREXPEDICAO->AsString()); }
void TfrmConfSepExp::btnNrPedidoAfterPesq(TObject*) { medNrPedido->SetText(cdsNrPedidoNRPEDIDO->AsString()); }
