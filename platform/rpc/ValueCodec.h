#pragma once
// The value model of remote calls and its CBOR encoding (docs/protocol.md,
// "Values"). A value is a QVariant holding one of:
//   QString          -> text string
//   TDateTime        -> tag 65000 + float64 (days since 1899-12-30, 0 = none)
//   double           -> float64 (other numbers are written as float64 too)
//   bool             -> true / false
//   null (QVariant())-> null
//   QVariantList     -> array of values
//   TDataPacket      -> tag 65001 + the data layer's packet encoding
//   TEncodedPacket   -> the same, already encoded (read back as TDataPacket)
// The reader also takes integers and float16/32 as double, undefined as null
// (here as in a packet's cells), indefinite-length arrays and chunked text,
// so a client in another language may use its CBOR library's defaults.
//
// Failure: WriteValue raises EProtocolError for a QVariant outside the model;
// ReadValue raises EProtocolError for anything else it meets (maps, byte
// strings, unknown tags, bad CBOR, nesting deeper than the limit) and leaves
// the reader in an unspecified position.
#include "data/Cbor.h"
#include "rpc/Limits.h"

#include <QString>
#include <QVariant>

namespace Rpc {

constexpr quint64 TagDateTime = 65000;
constexpr quint64 TagDataPacket = 65001;

// Packets go in `form`, the one the peer reads.
void WriteValue(TCborWriter& out, const QVariant& value, TPacketForm form = TPacketForm::Plain);

// The reader stands on the value's first item; afterwards it stands on the
// item that follows the value. `depth` is the number of arrays around the
// value (a value may nest limits.MaxDepth arrays, a packet counting as one).
// What the value allocates is charged to `budget` first (DecodeBudget.h);
// the overload without one allows what the rest of the reader's input may
// cost.
QVariant ReadValue(TCborReader& in, const TRpcLimits& limits, TDecodeBudget& budget, int depth = 0);
QVariant ReadValue(TCborReader& in, const TRpcLimits& limits, int depth = 0);

// The Portuguese name of a value's kind, for messages ("texto", "data", ...).
QString KindName(const QVariant& value);

} // namespace Rpc
