#pragma once
// Consiste::CheckResultServ: the framework's check of a server result, kept
// beside the server connection so that a program without widgets can use it.
// framework/Consiste.h gathers it with the framework's other checks.
#include <QVariant>

namespace Consiste {

// Unpacks the result envelope of a business method (docs/protocol.md, "The
// result envelope"): returns the payload on success. On a refusal it raises
// EServerError carrying the server's message when `raiseOnError` is true,
// and returns a null QVariant otherwise. A result that is not an envelope
// raises EServerError in either case: the reply cannot be trusted.
// `helpContext` names the help topic of the error; the host has no help
// topics, so it does not change the outcome.
QVariant CheckResultServ(const QVariant& result, bool raiseOnError, int helpContext);

} // namespace Consiste
