#pragma once
// The remote data modules of this server, "exp13000.rdmConfRastr" and
// "Est00000.rdmEstoque": each method's argument kinds and the rule it runs,
// ready for the dispatcher (transport/Dispatcher.h).
#include "transport/Dispatcher.h"

TModule ConfRastrModule();
TModule EstoqueModule();
