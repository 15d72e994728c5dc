// How coded values are shown: the IUM picture, warehouse and location with
// their descriptions, the customer's document number, the separation status.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::dbgNotaFiscalDrawColumnCell(TObject*, const TRect&, int, TColumn*, TGridDrawState) {}
void TfrmConfSepExp::dbgIUMProdDrawColumnCell(TObject*, const TRect&, int, TColumn*, TGridDrawState) {}
void TfrmConfSepExp::cdsNotaFiscalNRINSJURCLIEGetText(TField*, QString&, bool) {}
void TfrmConfSepExp::cdsNrExpedicaoIDSTATUSSEPGetText(TField*, QString&, bool) {}
