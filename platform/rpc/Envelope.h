#pragma once
// The envelope in which every method of a business module returns its result
// (docs/protocol.md, "The result envelope"): a two-element array,
//   [true, payload]   success; the payload is any value (null when none)
//   [false, message]  refusal; the message says, in Portuguese, what is wrong
// The server builds envelopes with Success/Failure; the client unpacks them
// with ParseEnvelope (Consiste::CheckResultServ raises on a refusal).
#include <QString>
#include <QVariant>
#include <optional>

namespace Rpc {

struct TEnvelope {
    bool Ok = false;
    QVariant Payload;  // on success
    QString Message;   // on refusal
};

QVariant Success(const QVariant& payload = QVariant());
QVariant Failure(const QString& message);

// The envelope held by `result`, or nothing when it is not one.
std::optional<TEnvelope> ParseEnvelope(const QVariant& result);

} // namespace Rpc
