// Expedition and order numbers: their checks and lookups.
#include "screen/Cli_exp13000.h"

void TfrmConfSepExp::Vd_NrExpedicao() {}
void TfrmConfSepExp::Vd_NrPedido() {}
void TfrmConfSepExp::medNrExpedicaoExit(TObject*) {}
void TfrmConfSepExp::btnNrExpedicaoBeforePesq(TObject*, bool&) {}
void TfrmConfSepExp::btnNrExpedicaoAfterPesq(TObject*) {}
void TfrmConfSepExp::medNrPedidoExit(TObject*) {}
void TfrmConfSepExp::btnNrPedidoBeforePesq(TObject*, bool&) {}
void TfrmConfSepExp::btnNrPedidoAfterPesq(TObject*) {}
