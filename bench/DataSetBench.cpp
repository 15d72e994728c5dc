// The data layer's figures at the large-site scale (5,000 invoices, 50,000
// items, 500,000 readings):
//   packet_decode_ratio       decode + SetData of the readings packet over a
//                             bare CBOR pass that reads every value once
#include "WorkListData.h"
#include "data/ClientDataSet.h"
#include "data/PacketCodec.h"

#include <QCborStreamReader>
#include "Figures.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

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
    const int rounds = Bench::Quick() ? 3 : 7;
    for (auto _ : state) {
        for (int i = 0; i < rounds; ++i) {
            auto t0 = Clock::now();
            barePass(bytes);
            bare.push_back(MsSince(t0));
            t0 = Clock::now();
            TClientDataSet ds;
            ds.SetData(DecodePacket(bytes));
            benchmark::DoNotOptimize(ds.RecordCount());
            decode.push_back(MsSince(t0));
        }
    }
    Bench::Report("packet_decode_ratio", Median(decode) / Median(bare), "ratio");
    state.counters["decode_ms"] = Median(decode);
    state.counters["bare_ms"] = Median(bare);
    state.counters["mbytes"] = bytes.size() / 1e6;
}
BENCHMARK(BM_PacketDecode)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return Bench::Main(argc, argv); }
