// The order-date and outgoing-date ranges.
#include "screen/Cli_exp13000.h"

#include "framework/Consiste.h"

namespace {

struct TDateRange {
    TDateEditPlus* from;
    TDateEditPlus* to;
    const char* fromMissing;  // catalogue keys
    const char* toMissing;
    const char* toBeforeFrom;
};

// The cursor goes to the date first; then the message is shown and raised.
void Refuse(const TMessages* catalogue, TDateEditPlus* edit, const char* key)
{
    edit->SetFocus();
    Consiste::MensErro(catalogue->Msg(QString::fromLatin1(key)), true);
}

// A text that holds no date at all counts as missing; a text the edit
// refuses although it once held a date is reported by the edit itself.
void RequireDate(const TMessages* catalogue, TDateEditPlus* edit, const char* missingKey)
{
    if (Consiste::EmptyString(edit->Text()) || edit->GetDate() == 0)
        Refuse(catalogue, edit, missingKey);
    try {
        edit->CheckValidDate();
    } catch (...) {
        edit->SetFocus();
        throw;
    }
}

} // namespace

// Each range on its own, the order range first; equal dates pass, and the
// two ranges are not compared with each other.
void TfrmConfSepExp::vd_datas()
{
    const TDateRange ranges[] = {
        {depInicial, depFinal, "DTINI_DEV", "DTFIN_DEV", "DTFIN_MAIOR"},
        {depSaidaInicial, depSaidaFim, "DTSAIDAINI_DEV", "DTAINDAFIN_DEV", "DTSADAFIM_MAIOR"},
    };
    for (const TDateRange& range : ranges) {
        RequireDate(msgPadrao, range.from, range.fromMissing);
        RequireDate(msgPadrao, range.to, range.toMissing);
        if (range.to->GetDate() < range.from->GetDate())
            Refuse(msgPadrao, range.to, range.toBeforeFrom);
    }
}
