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

TDecodeTimes TimePacketDecode(const QByteArray& packet, int rounds)
{
    std::vector<double> decode, walk;
    for (int i = 0; i < rounds; ++i) {
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
    return {Bench::Median(decode), Bench::Median(walk)};
}
