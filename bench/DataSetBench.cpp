// The data layer's figures at the large-site scale (5,000 invoices, 50,000
// items, 500,000 readings):
//   invoice_select_median_ms  selecting another invoice, as the screen does it
//   item_select_median_ms     selecting another item
//   invoice_select_scaling    the first at full scale over the same at a tenth
//   packet_decode_ratio       decode + SetData of the readings packet over our
//                             own reader's walk over its bytes (PacketDecode.h)
#include "PacketDecode.h"
#include "ScreenWorkList.h"
#include "WorkListData.h"
#include "data/ClientDataSet.h"
#include "data/PacketCodec.h"
#include "rtl/StrUtils.h"

#include "Figures.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>

namespace {

using Bench::Clock;
using Bench::Median;
using Bench::MsSince;

const TWorkListPackets& packets(int invoices)
{
    static std::map<int, TWorkListPackets> cache;
    auto it = cache.find(invoices);
    if (it == cache.end())
        it = cache.emplace(invoices, MakeWorkList(invoices)).first;
    return it->second;
}

// Median time of moving the invoice cursor to random invoices.
double invoiceSelectMedian(int invoices, int samples)
{
    TScreenWorkList w(packets(invoices));
    w.invoices.SetFiltered(true);  // first selection builds the indexes
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> pick(1, invoices);
    std::vector<double> times;
    for (int i = 0; i < samples; ++i) {
        const int target = pick(rng);
        const auto t0 = Clock::now();
        w.invoices.SetRecNo(target == w.invoices.RecNo() ? (target % invoices) + 1 : target);
        times.push_back(MsSince(t0));
    }
    return Median(times);
}

void BM_InvoiceSelect(benchmark::State& state)
{
    const int samples = Bench::Quick() ? 400 : 4000;
    double large = 0, small = 0;
    for (auto _ : state) {
        large = invoiceSelectMedian(5000, samples);
        small = invoiceSelectMedian(500, samples);
    }
    Bench::Report("invoice_select_median_ms", large, "ms");
    Bench::Report("invoice_select_scaling", small > 0 ? large / small : 0.0, "ratio");
    state.counters["median_ms"] = large;
}
BENCHMARK(BM_InvoiceSelect)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ItemSelect(benchmark::State& state)
{
    TScreenWorkList w(packets(5000));
    w.invoices.SetFiltered(true);
    std::mt19937 rng(7);
    std::vector<double> times;
    const int samples = Bench::Quick() ? 400 : 4000;
    for (auto _ : state) {
        for (int i = 0; i < samples; ++i) {
            w.invoices.SetRecNo(std::uniform_int_distribution<int>(1, 5000)(rng));
            const int item = std::uniform_int_distribution<int>(1, w.items.RecordCount())(rng);
            const auto t0 = Clock::now();
            w.items.SetRecNo(item == w.items.RecNo() ? 1 + item % w.items.RecordCount() : item);
            times.push_back(MsSince(t0));
        }
    }
    Bench::Report("item_select_median_ms", Median(times), "ms");
    state.counters["median_ms"] = Median(times);
}
BENCHMARK(BM_ItemSelect)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PacketDecode(benchmark::State& state)
{
    BenchPacketDecode(state, "packet_decode_ratio", EncodePacket(packets(5000).readings));
}
BENCHMARK(BM_PacketDecode)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return Bench::Main(argc, argv); }
