// Whether the current invoice may be confirmed.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::habilitaConfirma() {}
