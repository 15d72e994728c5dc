// Confirming an invoice as ready for traceability.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::sbtConfirmaClick(TObject*) {}
