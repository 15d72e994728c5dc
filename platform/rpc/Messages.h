#pragma once
// The messages of the socket protocol (docs/protocol.md, "Handshake",
// "Calls and replies", "Faults"). Each travels as one frame whose payload is
// a CBOR array beginning with the message's kind as text.
//
//   client -> server  ["hello", version, module, serverId | null (, [feature...] (, [user, password]))]
//   server -> client  ["welcome", version, module, serverId (, [feature...])]
//   client -> server  ["call", id, method, [args...], [byRefIndexes...] (, requestId)]
//   server -> client  ["result", id, result, [byRefValues...]]
//   server -> client  ["fault", id | null, code, message]
//   server -> client  ["notice", event, branch, invoice, product, count | null, user, station]
//                     (only once "notices" is agreed)
#include "rpc/Limits.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <optional>
#include <variant>

namespace Rpc {

constexpr quint64 ProtocolVersion = 1;

// What a peer speaks beyond the base protocol (docs/protocol.md, "Features"):
// a hello offers features, the welcome names those agreed, and from then on
// either side may use them. Names a reader does not know are ignored.
struct TFeatures {
    bool Compact = false;  // "compact": data packets in the compact form
    bool Zstd = false;     // "zstd": compressed frames
    bool Notices = false;  // "notices": the server may push TNotice frames at any time
    bool RequestId = false;  // "request-id": a call may carry the client's request identifier
    bool operator==(const TFeatures&) const = default;
};

// Who the client speaks for, on a server that requires accounts
// (docs/protocol.md, "Authentication").
struct TCredentials {
    QString User;
    QString Password;
};

// A hello or welcome without features is the base protocol's, of four items
// (a server that predates features refuses a hello of five). Credentials
// travel as a sixth item, after the features (an empty list when none are
// offered); a welcome never carries them.
struct THello {
    THello() = default;
    // Credentials are optional here as on the wire: a hello written without
    // them is the one every earlier peer writes.
    THello(quint64 version, QString module, QString serverId, std::optional<TFeatures> features,
           std::optional<TCredentials> credentials = std::nullopt)
        : Version(version)
        , Module(std::move(module))
        , ServerId(std::move(serverId))
        , Features(features)
        , Credentials(std::move(credentials))
    {
    }

    quint64 Version = ProtocolVersion;
    QString Module;
    QString ServerId;  // empty: the client does not check the identifier
    std::optional<TFeatures> Features;
    std::optional<TCredentials> Credentials;
};

struct TWelcome {
    quint64 Version = ProtocolVersion;
    QString Module;
    QString ServerId;
    std::optional<TFeatures> Features;  // only in answer to a hello with features
};

// A request identifier: 1 to MaxRequestIdLength characters of letters,
// digits and "-_.:{}", made by the client (a UUID, say). It travels only once
// "request-id" is agreed; the same identifier sent again names the same
// change, which the server answers with its first outcome.
constexpr qsizetype MaxRequestIdLength = 64;
bool ValidRequestId(const QString& id);

struct TCall {
    quint64 Id = 0;
    QString Method;
    QVariantList Args;
    QList<int> ByRef;  // ascending, distinct indexes into Args
    QString RequestId{};  // "": none (the call is the base protocol's, of five items)
};

struct TResult {
    quint64 Id = 0;
    QVariant Value;
    QVariantList RefValues;  // final values of the by-reference arguments, in ByRef order
};

// Fault codes (the message is Portuguese and meant for the user).
namespace Fault {
inline const QString Version = QStringLiteral("version");        // unsupported protocol version
inline const QString Module = QStringLiteral("module");          // unknown remote module
inline const QString Identifier = QStringLiteral("identifier");  // server identifier differs
inline const QString Sequence = QStringLiteral("sequence");      // message out of place
inline const QString Frame = QStringLiteral("frame");            // malformed or oversized frame
inline const QString Method = QStringLiteral("method");          // unknown method
inline const QString Arguments = QStringLiteral("arguments");    // wrong argument count or kinds
inline const QString Internal = QStringLiteral("internal");      // the method failed unexpectedly
inline const QString Busy = QStringLiteral("busy");              // the server's request memory is full
inline const QString Auth = QStringLiteral("auth");              // credentials missing or wrong
} // namespace Fault

struct TFault {
    std::optional<quint64> Id;  // the call it answers; none for connection-level faults
    QString Code;
    QString Message;
};

// A change or a presence pushed by the server to a connection that agreed
// "notices" and subscribed to a branch (docs/protocol.md, "Notices"). Texts
// not given by the event are empty; Count is the item's readings after the
// change, for readings and deletions only.
struct TNotice {
    QString Event;
    QString Branch;
    QString Invoice;
    QString Product;
    std::optional<double> Count;
    QString User;
    QString Station;
    bool operator==(const TNotice&) const = default;
};

// The events of a TNotice.
namespace Notice {
inline const QString Reading = QStringLiteral("reading");            // a reading stored
inline const QString Deletion = QStringLiteral("deletion");          // a reading deleted
inline const QString Confirmation = QStringLiteral("confirmation");  // an invoice confirmed
inline const QString Present = QStringLiteral("present");  // a station opened (or still has) the invoice's reading
inline const QString Absent = QStringLiteral("absent");    // it closed it, or its connection ended
inline const QString Missed = QStringLiteral("missed");    // notices were dropped: reload what they concern
} // namespace Notice

using TMessage = std::variant<THello, TWelcome, TCall, TResult, TFault, TNotice>;

// The whole frame (length prefix included), using the features agreed with
// the peer: packets in the compact form, the payload compressed when that
// makes it smaller. Raises EProtocolError when a value lies outside the value
// model or the payload exceeds the frame bound.
QByteArray EncodeFrame(const TMessage& message, const TRpcLimits& limits, const TFeatures& features = {});

// Decodes one frame payload (compressed only when "zstd" was agreed). Raises
// EProtocolError when it is not exactly one well-formed message within the
// limits.
TMessage DecodeMessage(const QByteArray& payload, const TRpcLimits& limits, const TFeatures& features = {});

} // namespace Rpc
