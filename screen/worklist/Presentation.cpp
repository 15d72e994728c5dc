// How coded values are shown: the IUM picture, warehouse and location with
// their descriptions, the customer's document number, the separation status.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::dbgNotaFiscalDrawColumnCell(TObject*, const TRect&, int, TColumn*, TGridDrawState) {}
void TfrmConfSepExp::dbgIUMProdDrawColumnCell(TObject*, const TRect&, int, TColumn*, TGridDrawState) {}
void TfrmConfSepExp::cdsNotaFiscalNRINSJURCLIEGetText(TField*, QString&, bool) {}

// Exact, case-sensitive values: anything but "P" and "A", empty included,
// shows as concluded.
void TfrmConfSepExp::cdsNrExpedicaoIDSTATUSSEPGetText(TField* Sender, QString& Text, bool)
{
    const QString status = Sender->AsString();
    if (status == u"P")
        Text = msgPadrao->Msg(QStringLiteral("PE"));
    else if (status == u"A")
        Text = msgPadrao->Msg(QStringLiteral("AN"));
    else
        Text = msgPadrao->Msg(QStringLiteral("CO"));
}
