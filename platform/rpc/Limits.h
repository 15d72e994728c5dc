#pragma once
// Bounds every decoder of the socket protocol enforces. The defaults are the
// documented ones (docs/protocol.md, "Limits"); both ends may lower or raise
// them. A frame or value beyond a bound raises EProtocolError.
//
// Memory: decoding a payload of n bytes (once decompressed) holds at most
// DecodeMemoryFactor x n + DecodeMemoryAllowance bytes, that is 10 n + 512 KiB
// (data/DecodeBudget.h); a payload whose decoded form would be larger is
// refused as malformed before it is allocated.
#include "data/DecodeBudget.h"
#include "data/PacketCodec.h"

#include <QtGlobal>

namespace Rpc {

static_assert(DecodeMemoryFactor == 10 && DecodeMemoryAllowance == 512 * 1024,
              "docs/protocol.md states the memory bound of decoding");

struct TRpcLimits {
    // Largest frame payload accepted or produced, in bytes (the 4-byte length
    // prefix allows at most 4 GiB - 1).
    quint32 MaxFrameSize = 256u * 1024u * 1024u;
    // Longest text value (an argument, a method or module name), in UTF-8
    // bytes. The server lowers it for requests: no argument a client sends
    // is more than a code or a number.
    quint32 MaxTextBytes = 256u * 1024u * 1024u;
    // Deepest nesting of arrays within one value (an argument, a result, a
    // by-reference value; the lists of the message around it do not count):
    // a data packet counts as one level, its own bounds are the data layer's.
    int MaxDepth = 32;
    // Bounds of each data packet inside a value.
    TPacketLimits Packet;
};

} // namespace Rpc
