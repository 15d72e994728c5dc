// IUM reading for an invoice, and the refresh of the work list.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::dbgNotaFiscalDblClick(TObject*) {}
void TfrmConfSepExp::dbgNotaFiscalExit(TObject*) {}
void TfrmConfSepExp::sbtVerificarClick(TObject*) {}
