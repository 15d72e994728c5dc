#include "PacketDecode.h"

#include "Figures.h"
#include "data/Cbor.h"
#include "data/ClientDataSet.h"
#include "data/PacketCodec.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// Every item once, depth first; texts become QStrings, numbers doubles.
void Walk(TCborReader& r)
{
    QByteArray joined;
    switch (r.Kind()) {
    case TCborKind::Array:
        for (TCborArray items(r, "lista"); items.More();)
            Walk(r);
        break;
    case TCborKind::Text: {
        QString text = Cbor::DecodeUtf8(r.TakeText(joined, qint64(1) << 30));
        benchmark::DoNotOptimize(text);
        break;
    }
    case TCborKind::Tag:
        r.Next();
        Walk(r);
        break;
    default: {
        double number = 0;
        if (!r.TakeNumber(number))
            r.Next();
        benchmark::DoNotOptimize(number);
    }
    }
}

} // namespace

void BenchPacketDecode(benchmark::State& state, const char* figure, const QByteArray& packet)
{
    std::vector<double> decode, walk;
    for (auto _ : state) {
        for (int i = 0; i < (Bench::Quick() ? 3 : 7); ++i) {
            auto t0 = Bench::Clock::now();
            TCborReader reader(packet);
            Walk(reader);
            walk.push_back(Bench::MsSince(t0));
            t0 = Bench::Clock::now();
            TClientDataSet ds;
            ds.SetData(DecodePacket(packet));
            benchmark::DoNotOptimize(ds.RecordCount());
            decode.push_back(Bench::MsSince(t0));  // the data set is freed outside the timing
        }
    }
    const double decodeMs = Bench::Median(decode), walkMs = Bench::Median(walk);
    Bench::Report(figure, walkMs > 0 ? decodeMs / walkMs : 0.0, "ratio");
    state.counters["decode_ms"] = decodeMs;
    state.counters["walk_ms"] = walkMs;
    state.counters["mbytes"] = double(packet.size()) / 1e6;
}
