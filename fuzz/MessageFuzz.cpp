// The message decoder (rpc/Messages.h), compressed frames included
// (rpc/Compression.h): one frame payload, read with the features a peer may
// have agreed and with the limits of either end. A message read is encoded
// again; the frame must decode to a message that encodes to the same frame.
//
// Input: byte 0 picks the features (bit 0 "compact", bit 1 "zstd", bit 3
// "request-id") and the end (bit 2: the client reading a reply, else the
// server reading a request); the rest is the payload.
#include "Fuzz.h"

#include "rpc/Messages.h"
#include "rpc/ProtocolError.h"

namespace {

// The server's request limits, as it reads every call.
Rpc::TRpcLimits ServerLimits()
{
    Rpc::TRpcLimits limits;
    limits.MaxFrameSize = 1u << 20;
    limits.MaxTextBytes = 4096;
    return limits;
}

// The client's, but for a frame bound of the server's size: a larger one
// only makes each run dearer, as no input comes near it.
Rpc::TRpcLimits ClientLimits()
{
    Rpc::TRpcLimits limits;
    limits.MaxFrameSize = 1u << 20;
    return limits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Rpc::TRpcLimits server = ServerLimits(), client = ClientLimits();
    if (size < 1)
        return 0;
    const Rpc::TFeatures features{(data[0] & 1) != 0, (data[0] & 2) != 0, (data[0] & 8) != 0};
    const Rpc::TRpcLimits& limits = (data[0] & 4) != 0 ? client : server;
    const QByteArray payload = Fuzz::Bytes(data + 1, size - 1).toByteArray();

    Rpc::TMessage message;
    try {
        message = Rpc::DecodeMessage(payload, limits, features);
    } catch (const EProtocolError&) {
        return 0;
    }
    // A packet of the compact form grows in the plain one: the frame written
    // again may pass the bound the payload kept.
    Rpc::TRpcLimits again = limits;
    again.MaxFrameSize = 256u << 20;
    const QByteArray frame = Rpc::EncodeFrame(message, again, features);
    const Rpc::TMessage back = Rpc::DecodeMessage(frame.sliced(4), again, features);
    Fuzz::Require(Rpc::EncodeFrame(back, again, features) == frame, "a message read back encodes the same frame");
    return 0;
}
