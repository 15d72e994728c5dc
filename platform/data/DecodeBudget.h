#pragma once
// What decoding outside input (a frame's payload, a data packet) may hold in
// memory: at most DecodeMemoryFactor bytes per byte of input plus
// DecodeMemoryAllowance (docs/protocol.md, "Limits"). The allowance covers
// what small inputs cost beyond their bytes: a packet of as many fields as
// its limit allows (1,024), each a few bytes on the wire and a few hundred
// in memory, the messages of errors. A decoder charges what
// it is about to allocate before allocating it, so input whose decoded form
// would be larger (a million one-byte nulls, each a value of 32 bytes, say)
// is refused instead of held.
//
// The charges are upper bounds of the allocations: exact sizes where the
// decoder reserves exactly, the allocator's rounding included, and three
// times the items of a list that grows as it is read (its last doubling
// holds the old block and the new one at once).
#include "data/Cbor.h"

#include <QtGlobal>

constexpr int DecodeMemoryFactor = 10;
constexpr qint64 DecodeMemoryAllowance = 512 * 1024;

class TDecodeBudget {
public:
    explicit TDecodeBudget(qint64 inputBytes)
        : limit_(DecodeMemoryFactor * inputBytes + DecodeMemoryAllowance)
        , left_(limit_)
    {
    }

    // Takes `bytes` from what is left; raises ECborError, in Portuguese,
    // when they do not fit.
    void Charge(qint64 bytes)
    {
        if (bytes > left_)
            Exceeded();
        left_ -= bytes;
    }

    // A text of `utf8Bytes` bytes decoded into a QString: at most one UTF-16
    // unit per byte, the string's header and terminator, and the allocator's
    // rounding.
    static constexpr qint64 TextCost(qint64 utf8Bytes) { return 2 * utf8Bytes + 48; }
    // One allocation of a container (its header and the allocator's rounding).
    static constexpr qint64 BlockCost = 48;
    // Charges for taking the text the reader stands on as a QString: the
    // string, and the buffer a chunked text is joined in.
    void ChargeText(const TCborReader& in)
    {
        const qint64 bytes = in.TextBytes();
        Charge(TextCost(bytes) + (in.Head().Indefinite ? bytes + BlockCost : 0));
    }

private:
    [[noreturn]] void Exceeded() const;

    qint64 limit_;
    qint64 left_;
};
