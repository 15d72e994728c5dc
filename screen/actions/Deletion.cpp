// Deleting a wrong IUM reading.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::sbtExcluirClick(TObject*) {}
void TfrmConfSepExp::cdsIUMProdAfterDelete(TDataSet*) {}
