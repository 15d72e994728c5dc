// The order-date and outgoing-date ranges.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::vd_datas() {}
