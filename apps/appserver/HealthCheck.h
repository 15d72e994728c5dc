#pragma once
// appserver --health: asks a running application server, as a client,
// whether it reaches its database and may write there (the method Verificar
// of "Servidor.rdmSaude", rules/Modules.h). For a site's tools: a load
// balancer's check, a keepalive script, the service manager.
//
// Returns the exit code: 0 when the server answers yes, 1 when it answers no
// or cannot be reached (in time: 10 s at most); prints one line saying which
// and why, on stdout for a yes and stderr otherwise. `password` goes with
// check.User in the hello.
#include "ServerOptions.h"

int CheckHealth(const THealthCheck& check, const QString& password);
