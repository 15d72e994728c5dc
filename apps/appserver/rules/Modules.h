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
// Verificar updates the heartbeat row and commits it, and answers
// [true, text] when that commit completed within HealthCommitBoundMs,
// [false, why] otherwise: a database away or refusing the write, or commits
// that wait (a synchronous standby that is gone, a full or stalled disk).
// On PostgreSQL a commit that gets no answer is given up after
// ServerStatementTimeoutMs (storage/Database.h). docs/appserver.md,
// "Health check".
inline constexpr int HealthCommitBoundMs = 2000;
TModule HealthModule();
// "Servidor.rdmConsulta": the queries of a station's data module on a
// networked site, where the station holds no database login. Its method
// Consultar(text, parameters) runs only a text of KnownQueries.h (byte for
// byte), as the server's own statement, and answers [true, rows] with the
// rows of the branches the user works on, or [false, why] for any other
// text or parameters.
TModule QueryModule();
