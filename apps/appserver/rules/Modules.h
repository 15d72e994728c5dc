#pragma once
// The remote data modules of this server, "exp13000.rdmConfRastr" and
// "Est00000.rdmEstoque", and its health check: each method's argument kinds
// and the rule it runs (writes as changes, reads as reads: Changes.h), ready
// for the dispatcher (transport/Dispatcher.h).
#include "transport/Dispatcher.h"

TModule ConfRastrModule();
TModule EstoqueModule();
// "Servidor.rdmSaude": the health check a site's tools call. Its method
// Verificar answers [true, text] when this server reaches its database and
// may write there, [false, why] otherwise, at once (docs/appserver.md,
// "Health check").
TModule HealthModule();
// "Servidor.rdmConsulta": the queries of a station's data module on a
// networked site, where the station holds no database login. Its method
// Consultar(text, parameters) runs only a text of KnownQueries.h (byte for
// byte), as the server's own statement, and answers [true, rows] with the
// rows of the branches the user works on, or [false, why] for any other
// text or parameters.
TModule QueryModule();
