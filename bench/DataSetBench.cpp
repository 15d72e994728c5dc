// The data layer's figures at the large-site scale (5,000 invoices, 50,000
// items, 500,000 readings):
//   invoice_select_median_ms  selecting another invoice, as the screen does it
//   item_select_median_ms     selecting another item
//   invoice_select_scaling    the first at full scale over the same at a tenth
//   packet_decode_ratio       decode + SetData of the readings packet over a
//                             bare CBOR pass that reads every value once
#include "ScreenWorkList.h"
#include "WorkListData.h"
#include "data/ClientDataSet.h"
#include "data/PacketCodec.h"
#include "rtl/StrUtils.h"

#include <QCborStreamReader>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

bool quick = false;
std::map<std::string, std::pair<double, const char*>> figures;

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
        times.push_back(msSince(t0));
    }
    return median(times);
}

void BM_InvoiceSelect(benchmark::State& state)
{
    const int samples = quick ? 400 : 4000;
    double large = 0, small = 0;
    for (auto _ : state) {
        large = invoiceSelectMedian(5000, samples);
        small = invoiceSelectMedian(500, samples);
    }
    figures["invoice_select_median_ms"] = {large, "ms"};
    figures["invoice_select_scaling"] = {small > 0 ? large / small : 0.0, "ratio"};
    state.counters["median_ms"] = large;
}
BENCHMARK(BM_InvoiceSelect)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ItemSelect(benchmark::State& state)
{
    TScreenWorkList w(packets(5000));
    w.invoices.SetFiltered(true);
    std::mt19937 rng(7);
    std::vector<double> times;
    const int samples = quick ? 400 : 4000;
    for (auto _ : state) {
        for (int i = 0; i < samples; ++i) {
            w.invoices.SetRecNo(std::uniform_int_distribution<int>(1, 5000)(rng));
            const int item = std::uniform_int_distribution<int>(1, w.items.RecordCount())(rng);
            const auto t0 = Clock::now();
            w.items.SetRecNo(item == w.items.RecNo() ? 1 + item % w.items.RecordCount() : item);
            times.push_back(msSince(t0));
        }
    }
    figures["item_select_median_ms"] = {median(times), "ms"};
    state.counters["median_ms"] = median(times);
}
BENCHMARK(BM_ItemSelect)->Iterations(1)->Unit(benchmark::kMillisecond);

// Reads every value once and stores nothing: the least any decoder does.
void barePass(const QByteArray& bytes)
{
    QCborStreamReader r(bytes);
    int depth = 0;
    QString text;
    do {
        if (r.isArray()) {
            r.enterContainer();
            ++depth;
        } else if (r.isString()) {
            text.clear();
            for (auto s = r.readString(); s.status == QCborStreamReader::Ok; s = r.readString())
                text += s.data;
            benchmark::DoNotOptimize(text);
        } else if (r.isDouble()) {
            benchmark::DoNotOptimize(r.toDouble());
            r.next();
        } else if (!r.hasNext() && depth > 0) {
            r.leaveContainer();
            --depth;
        } else {
            r.next();
        }
    } while (depth > 0 || (r.type() != QCborStreamReader::Invalid && r.lastError() == QCborError::NoError));
}

void BM_PacketDecode(benchmark::State& state)
{
    const QByteArray bytes = EncodePacket(packets(5000).readings);
    std::vector<double> decode, bare;
    const int rounds = quick ? 3 : 7;
    for (auto _ : state) {
        for (int i = 0; i < rounds; ++i) {
            auto t0 = Clock::now();
            barePass(bytes);
            bare.push_back(msSince(t0));
            t0 = Clock::now();
            TClientDataSet ds;
            ds.SetData(DecodePacket(bytes));
            benchmark::DoNotOptimize(ds.RecordCount());
            decode.push_back(msSince(t0));
        }
    }
    figures["packet_decode_ratio"] = {median(decode) / median(bare), "ratio"};
    state.counters["decode_ms"] = median(decode);
    state.counters["bare_ms"] = median(bare);
    state.counters["mbytes"] = bytes.size() / 1e6;
}
BENCHMARK(BM_PacketDecode)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--quick")
            quick = true;
        else
            args.push_back(argv[i]);
    }
    int n = int(args.size());
    benchmark::Initialize(&n, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [name, value] : figures)
        std::printf("figure: %s %.4f %s\n", name.c_str(), value.first, value.second);
    return 0;
}
