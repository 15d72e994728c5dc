// Loading the work list when the focus leaves the filter panel.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::panFiltroExit(TObject*) {}
