// Branch selection: the branch check and the branch edit's handlers.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::Vd_Filial() {}
// A new code makes the name and the expedition number stale; the order
// number does not depend on the branch and stays.
void TfrmConfSepExp::medCdFilialChange(TObject*)
{
    edtNmFilial->SetText(QString());
    medNrExpedicao->SetText(QString());
}
void TfrmConfSepExp::medCdFilialExit(TObject*) {}
void TfrmConfSepExp::btnFilialBeforePesq(TObject*, bool&) {}
void TfrmConfSepExp::btnFilialAfterPesq(TObject*) {}
