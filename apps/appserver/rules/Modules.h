#pragma once
// The remote data modules of this server, "exp13000.rdmConfRastr" and
// "Est00000.rdmEstoque", and its health check: each method's argument kinds
// and the rule it runs (writes as changes, reads as reads: Changes.h), ready
// for the dispatcher (transport/Dispatcher.h).
#include "epcis/ShippingEvents.h"
#include "transport/Dispatcher.h"

// `naming`: how its traceability events name what has no GLN (GetEventosRastreio).
TModule ConfRastrModule(const TEventNaming& naming = {});
TModule EstoqueModule();
// "Servidor.rdmSaude": the health check a site's tools call. Its method
// Verificar answers [true, text] when this server reaches its database and
// may write there, [false, why] otherwise, at once (docs/appserver.md,
// "Health check").
TModule HealthModule();
