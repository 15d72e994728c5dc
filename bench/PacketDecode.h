#pragma once
// packet_decode_ratio: the client's decode of a data packet's wire form into
// a data set (DecodePacket + SetData) over the least a decoder must do with
// the same bytes: our own CBOR reader walking every item once and making one
// QString for every text it meets. Both are timed in this run, median of
// `rounds`; the ratio is decode over walk.
#include <QByteArray>

struct TDecodeTimes {
    double decodeMs = 0;
    double walkMs = 0;
    double Ratio() const { return walkMs > 0 ? decodeMs / walkMs : 0.0; }
};

TDecodeTimes TimePacketDecode(const QByteArray& packet, int rounds);
