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

// A client's value as a refusal or a log line quotes it: up to QuotedLength
// characters as they are (enough for the longest code the system stores, an
// IUM code of 100); a longer one is cut there and marked with the number of
// characters left out, so that a huge argument never comes back whole.
constexpr int QuotedLength = 100;
QString Quoted(const QString& value);

// The envelope held by `result`, or nothing when it is not one.
std::optional<TEnvelope> ParseEnvelope(const QVariant& result);

} // namespace Rpc
