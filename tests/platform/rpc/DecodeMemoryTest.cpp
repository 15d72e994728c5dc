// Peak memory of decoding worst-case payloads, measured by counting the
// allocator (AllocationCounter.h): whatever a peer sends, decoding a payload
// of n bytes holds at most DecodeMemoryFactor x n + DecodeMemoryAllowance
// bytes (data/DecodeBudget.h). Each payload is a call carrying the cheapest
// items on the wire that are dearest in memory: values of one byte, tiny
// texts and arrays, deep nesting, counts declared far beyond the bytes that
// follow, packets of one-byte cells, of many fields, or many tiny packets.
// Shapes a real peer may send must also decode.
#include "AllocationCounter.h"
#include "WireWriting.h"

#include "data/PacketCodec.h"
#include "rpc/Messages.h"
#include "rpc/ProtocolError.h"
#include "rpc/ValueCodec.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

QByteArray Call(const TWrite& args) { return CallPayload(args); }

QByteArray Raw(const char* hex) { return QByteArray::fromHex(hex); }

// A packet of `fields` fields of `kind`, named F0, F1...; `rows` writes the rows array.
void Packet(TCborWriter& w, int fields, int kind, const TWrite& rows)
{
    StartPacket(w, fields, kind, kind == 1 ? 10 : 0);
    rows(w);
}

struct TFrame {
    const char* name;
    std::function<QByteArray()> payload;
    bool decodes;  // shapes a peer may send for real decode; the others may be refused
};

constexpr int N = 200000;

const TFrame frames[] = {
    {"manyNullArguments", [] { return Call([](TCborWriter& w) { w.StartArray(N); for (int i = 0; i < N; ++i) w.Null(); }); }, false},
    {"manyOneCharTexts", [] { return Call([](TCborWriter& w) { w.StartArray(N); for (int i = 0; i < N; ++i) w.Text(i % 2 ? u"a" : u"b"); }); }, false},
    {"manyEmptyArrays", [] { return Call([](TCborWriter& w) { w.StartArray(N); for (int i = 0; i < N; ++i) w.StartArray(0); }); }, false},
    {"manySmallArrays", [] { return Call([](TCborWriter& w) { w.StartArray(N / 2); for (int i = 0; i < N / 2; ++i) { w.StartArray(1); w.Null(); } }); }, false},
    {"manyDates", [] { return Call([](TCborWriter& w) { w.StartArray(N); for (int i = 0; i < N; ++i) { w.Tag(Rpc::TagDateTime); w.Unsigned(0); } }); }, true},
    {"deepNesting", [] { return Call([](TCborWriter& w) { w.StartArray(N / 40); for (int i = 0; i < N / 40; ++i) { for (int d = 0; d < 31; ++d) w.StartArray(1); w.Null(); } }); }, false},
    {"indefiniteArrayOfNulls", [] { return Call([](TCborWriter& w) { QByteArray b(1, char(0x9f)); b += QByteArray(N, char(0xf6)); b += char(0xff); w.Encoded(b); }); }, false},
    {"declaredHugeArray", [] { return Call([](TCborWriter& w) { w.Encoded(Raw("9bffffffffffffffff")); w.Null(); }); }, false},
    {"declaredHugeText", [] { return Call([](TCborWriter& w) { w.StartArray(1); w.Encoded(Raw("7a7fffffff")); w.Encoded("abc"); }); }, false},
    {"chunkedText", [] { return Call([](TCborWriter& w) { w.StartArray(1); QByteArray b(1, char(0x7f)); for (int i = 0; i < N / 2; ++i) b += "\x61x"; b += char(0xff); w.Encoded(b); }); }, true},
    {"manyTinyPackets", [] { return Call([](TCborWriter& w) { w.StartArray(N / 8); for (int i = 0; i < N / 8; ++i) { w.Tag(Rpc::TagDataPacket); w.StartArray(2); w.StartArray(0); w.StartArray(0); } }); }, false},
    {"packetOfManyFields", [] { return Call([](TCborWriter& w) { w.StartArray(1); Packet(w, 1024, 1, [](TCborWriter& r) { r.StartArray(0); }); }); }, false},
    {"packetReferenceCells", [] { return Call([](TCborWriter& w) { w.StartArray(1); Packet(w, 1, 1, [](TCborWriter& r) {
         r.StartArray(N); r.StartArray(1); r.Text(u"x"); for (int i = 1; i < N; ++i) { r.StartArray(1); r.Unsigned(0); } }); }); }, true},
    {"packetNumberCells", [] { return Call([](TCborWriter& w) { w.StartArray(1); Packet(w, 100, 2, [](TCborWriter& r) {
         r.StartArray(N / 100); for (int i = 0; i < N / 100; ++i) { r.StartArray(100); for (int c = 0; c < 100; ++c) r.Unsigned(0); } }); }); }, true},
    {"packetNullCells", [] { return Call([](TCborWriter& w) { w.StartArray(1); Packet(w, 100, 3, [](TCborWriter& r) {
         r.StartArray(N / 100); for (int i = 0; i < N / 100; ++i) { r.StartArray(100); for (int c = 0; c < 100; ++c) r.Null(); } }); }); }, true},
    {"packetAlternatingTexts", [] { return Call([](TCborWriter& w) { w.StartArray(1); Packet(w, 1, 1, [](TCborWriter& r) {
         r.StartArray(N / 3); for (int i = 0; i < N / 3; ++i) { r.StartArray(1); r.Text(i % 2 ? u"a" : u"b"); } }); }); }, true},
    {"packetDistinctShortTexts", [] { return Call([](TCborWriter& w) { w.StartArray(1); Packet(w, 10, 1, [](TCborWriter& r) {
         r.StartArray(N / 40); for (int i = 0; i < N / 40; ++i) { r.StartArray(10); for (int c = 0; c < 10; ++c) r.Text(QString::number(i % 1000)); } }); }); }, false},
    {"packetEmptyTexts", [] { return Call([](TCborWriter& w) { w.StartArray(1); Packet(w, 100, 1, [](TCborWriter& r) {
         r.StartArray(N / 100); for (int i = 0; i < N / 100; ++i) { r.StartArray(100); for (int c = 0; c < 100; ++c) r.Text(u""); } }); }); }, true},
    {"packetIndefiniteRows", [] { return Call([](TCborWriter& w) { w.StartArray(1); Packet(w, 1, 2, [](TCborWriter& r) {
         QByteArray b(1, char(0x9f)); for (int i = 0; i < N / 2; ++i) b += QByteArray::fromHex("8100"); b += char(0xff); r.Encoded(b); }); }); }, true},
    {"packetDeclaredHugeFields", [] { return Call([](TCborWriter& w) { w.StartArray(1); w.Tag(Rpc::TagDataPacket); w.StartArray(2);
         w.Encoded(Raw("9903ff")); for (int i = 0; i < 4; ++i) { w.StartArray(3); w.Text(QStringLiteral("F%1").arg(i)); w.Unsigned(2); w.Unsigned(0); } }); }, false},
    {"packetDeclaredHugeRows", [] { return Call([](TCborWriter& w) { w.StartArray(1); Packet(w, 1, 2, [](TCborWriter& r) {
         r.Encoded(Raw("9a7fffffff")); for (int i = 0; i < N / 2; ++i) r.Encoded(Raw("8100")); }); }); }, false},
};

void PrintTo(const TFrame& frame, std::ostream* out) { *out << frame.name; }

class DecodeMemory : public ::testing::TestWithParam<TFrame> {};

TEST_P(DecodeMemory, StaysWithinTheStatedMultipleOfThePayload)
{
    if (!AllocationsCounted())
        GTEST_SKIP() << "the allocator is replaced in this build";
    const QByteArray payload = GetParam().payload();
    Rpc::TRpcLimits limits;
    limits.MaxTextBytes = 1 << 20;
    TPeakAllocation peak;
    QString outcome = QStringLiteral("accepted");
    try {
        // With the compact form agreed: its references are among the worst cases.
        Rpc::DecodeMessage(payload, limits, Rpc::TFeatures{true, false});
    } catch (const EProtocolError& e) {
        outcome = e.Message();
    }
    const qint64 bound = DecodeMemoryFactor * payload.size() + DecodeMemoryAllowance;
    EXPECT_LE(peak.Bytes(), bound) << payload.size() << " bytes: " << outcome.toStdString();
    if (GetParam().decodes) {
        EXPECT_EQ(outcome, QStringLiteral("accepted"));
    }
    RecordProperty("payload", int(payload.size()));
    RecordProperty("peak", int(peak.Bytes()));
}

INSTANTIATE_TEST_SUITE_P(WorstCases, DecodeMemory, ::testing::ValuesIn(frames),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
