#pragma once
// "Expedição → Exportar eventos de rastreio…": the traceability events of a
// branch's confirmations (GS1 EPCIS 2.0, docs/appserver.md "Traceability
// events") saved into a file the user chooses.
//
// Asks for the branch and the days (the dialog service's Period; the host's
// branch and the last 30 days proposed), then for the file (SaveFileName),
// then asks the application server for the document piece by piece
// (GetEventosRastreio, the branch checked as in every call), writing each
// piece as it comes, through a temporary file renamed over the chosen one at
// the end: the file is whole or untouched. `progress(written, total)` after
// each piece. At the end a message says how many events went where.
// Cancelling either dialog does nothing. Raises (for the error display)
// EConvertError for a period that ends before it begins or a file that
// cannot be written, EServerError with the server's refusal (a range with
// nothing in it, a branch the user may not work on), EConnectionError.
#include <functional>

void ExportTraceabilityEvents(const std::function<void(int written, int total)>& progress);
