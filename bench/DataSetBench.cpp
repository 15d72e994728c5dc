// The data layer's figure at the large-site scale (5,000 invoices, 50,000
// items, 500,000 readings):
//   packet_decode_ratio       decode + SetData of the readings packet over our
//                             own reader's walk over its bytes (PacketDecode.h)
// Selecting invoices and items is measured on the real screen (ScreenBench).
#include "PacketDecode.h"
#include "WorkListData.h"
#include "data/PacketCodec.h"

#include "Figures.h"

#include <benchmark/benchmark.h>

namespace {

void BM_PacketDecode(benchmark::State& state)
{
    BenchPacketDecode(state, "packet_decode_ratio", EncodePacket(MakeWorkList(5000).readings));
}
BENCHMARK(BM_PacketDecode)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return Bench::Main(argc, argv); }
