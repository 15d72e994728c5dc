// The documented limits (docs/protocol.md, "Limits" and "Packet limits"),
// each at its bound, which passes, and one past it, which is refused. The
// request limits are the server's defaults for what it reads; the others are
// the decoders' defaults, which both ends use.
#include "WireWriting.h"

#include "rpc/Frame.h"
#include "rpc/Messages.h"
#include "rpc/ProtocolError.h"
#include "rpc/ValueCodec.h"

#include <QBuffer>
#include <QtEndian>
#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr quint32 RequestFrame = 1u << 20;  // appserver --max-frame
constexpr quint32 RequestText = 4096;       // a text in a request
constexpr qint64 PacketString = 1 << 20;

Rpc::TRpcLimits RequestLimits()
{
    Rpc::TRpcLimits limits;
    limits.MaxFrameSize = RequestFrame;
    limits.MaxTextBytes = RequestText;
    return limits;
}

QByteArray OneArgument(const std::function<void(TCborWriter&)>& arg)
{
    return CallPayload([&](TCborWriter& w) {
        w.StartArray(1);
        arg(w);
    });
}

void Nested(TCborWriter& w, int arrays, const std::function<void(TCborWriter&)>& inside)
{
    for (int i = 0; i < arrays; ++i)
        w.StartArray(1);
    inside(w);
}

// A packet of `fields` fields of `kind` and `size`, and `rows` rows of zeros.
void Packet(TCborWriter& w, int fields, qint64 rows, int kind = 2, quint64 size = 0)
{
    StartPacket(w, fields, kind, size);
    w.StartArray(quint64(rows));
    for (qint64 r = 0; r < rows; ++r) {
        w.StartArray(quint64(fields));
        for (int f = 0; f < fields; ++f)
            w.Unsigned(0);
    }
}

void PacketWithText(TCborWriter& w, qint64 bytes)
{
    StartPacket(w, 1, 1, 0);
    w.StartArray(1);
    w.StartArray(1);
    w.Utf8(QByteArray(bytes, 'x'));
}

// Whether a frame reader with the limit takes a header announcing `length`:
// the admission hook stops it before it allocates the payload.
bool FrameAdmitted(quint32 limit, quint32 length)
{
    struct TAdmitted {};
    QByteArray header(4, '\0');
    qToBigEndian(length, header.data());
    QBuffer device(&header);
    device.open(QIODevice::ReadOnly);
    Rpc::TFrameReader reader(limit, [](quint32) { throw TAdmitted{}; });
    try {
        reader.ReadFrom(device);
    } catch (const TAdmitted&) {
        return true;
    } catch (const EProtocolError&) {
        return false;
    }
    ADD_FAILURE() << "neither admitted nor refused";
    return false;
}

bool Decodes(const QByteArray& payload, const Rpc::TRpcLimits& limits)
{
    try {
        Rpc::DecodeMessage(payload, limits);
        return true;
    } catch (const EProtocolError&) {
        return false;
    }
}

struct TLimit {
    const char* name;
    std::function<bool(qint64 over)> passes;  // the case at the bound (0) or one past it (1)
};

const Rpc::TRpcLimits clientLimits;

const TLimit limits[] = {
    {"requestFrame", [](qint64 over) { return FrameAdmitted(RequestFrame, quint32(RequestFrame + over)); }},
    {"replyFrame", [](qint64 over) { return FrameAdmitted(clientLimits.MaxFrameSize, quint32(clientLimits.MaxFrameSize + over)); }},
    {"methodNameBytes", [](qint64 over) { return Decodes(CallPayload([](TCborWriter& w) { w.StartArray(0); }, QString(RequestText + over, u'm')), RequestLimits()); }},
    {"textArgumentBytes", [](qint64 over) { return Decodes(OneArgument([&](TCborWriter& w) { w.Utf8(QByteArray(RequestText + over, 'a')); }), RequestLimits()); }},
    {"textArgumentBytesUtf8", [](qint64 over) {
         // 2048 two-byte characters are 4096 bytes: the bound counts bytes.
         return Decodes(OneArgument([&](TCborWriter& w) { w.Utf8(QString(RequestText / 2, u'ç').toUtf8() + QByteArray(over, 'a')); }), RequestLimits()); }},
    {"argumentNesting", [](qint64 over) { return Decodes(OneArgument([&](TCborWriter& w) { Nested(w, int(32 + over), [](TCborWriter& v) { v.Null(); }); }), RequestLimits()); }},
    {"packetCountsAsALevel", [](qint64 over) { return Decodes(OneArgument([&](TCborWriter& w) { Nested(w, int(31 + over), [](TCborWriter& v) { Packet(v, 1, 1); }); }), RequestLimits()); }},
    {"resultNesting", [](qint64 over) {
         QByteArray bytes;
         TCborWriter w(bytes);
         w.StartArray(4); w.Text(u"result"); w.Unsigned(1);
         Nested(w, int(32 + over), [](TCborWriter& v) { v.Null(); });
         w.StartArray(0);
         return Decodes(bytes, clientLimits); }},
    {"packetFields", [](qint64 over) { return Decodes(OneArgument([&](TCborWriter& w) { Packet(w, int(1024 + over), 1); }), clientLimits); }},
    {"packetRows", [](qint64 over) {
         // Fields of none, so that the rows are as small as rows can be.
         return Decodes(OneArgument([&](TCborWriter& w) { Packet(w, 0, 20'000'000 + over); }), clientLimits); }},
    {"packetString", [](qint64 over) { return Decodes(OneArgument([&](TCborWriter& w) { PacketWithText(w, PacketString + over); }), clientLimits); }},
    {"packetStringFieldSize", [](qint64 over) { return Decodes(OneArgument([&](TCborWriter& w) { Packet(w, 1, 0, 1, quint64(PacketString + over)); }), clientLimits); }},
    {"packetCells", [](qint64 over) {
         // 200,000,000 cells take more memory than a unit test may; the
         // same check, with the limit scaled down to 2,000 cells, takes 200
         // rows of 10 fields.
         Rpc::TRpcLimits tenth = clientLimits;
         tenth.Packet.maxCells = clientLimits.Packet.maxCells / 100'000;
         return Decodes(OneArgument([&](TCborWriter& w) { Packet(w, 10, 200 + over); }), tenth); }},
};

class DocumentedLimit : public ::testing::TestWithParam<TLimit> {};

TEST_P(DocumentedLimit, HoldsAtItsBoundAndRefusesOnePast)
{
    EXPECT_TRUE(GetParam().passes(0)) << "at the bound";
    EXPECT_FALSE(GetParam().passes(1)) << "one past it";
}

void PrintTo(const TLimit& limit, std::ostream* out) { *out << limit.name; }

INSTANTIATE_TEST_SUITE_P(Table, DocumentedLimit, ::testing::ValuesIn(limits),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
