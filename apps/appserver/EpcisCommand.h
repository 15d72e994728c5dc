#pragma once
// `appserver --export-epcis FILE --branch B ...`: the events of a branch's
// confirmations in one EPCIS document (epcis/ShippingEvents.h), written
// through a temporary file renamed over FILE at the end, so FILE is whole
// or untouched. Prints what it wrote; returns the exit code (0, or 1 with
// the reason on stderr).
#include "ServerOptions.h"

int ExportEpcisCommand(const TServerOptions& options);
