// getdados_load_ratio: a full GetDados at scale 100 (the large site: about
// 5,000 invoices, 50,000 items, 500,000 IUM readings, of which the main
// branch's unconfirmed ones are loaded) from the real application server
// over loopback into the three work-list data sets with the screen's filters
// on, over the time the server's own queries need to produce the same rows
// (the same statements on the same database file, every value of every row
// read once), both measured in this run. Target: at most 2.
// Also packet_decode_ratio_server (below).
#include "AppServerProcess.h"
#include "PacketDecode.h"
#include "storage/Database.h"
#include "ScreenWorkList.h"
#include "rules/WorkList.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "server/RemoteNames.h"

#include <QCoreApplication>
#include <QFile>
#include "Figures.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <map>

namespace {

using Bench::Clock;
using Bench::Median;
using Bench::MsSince;
const QString branch = QStringLiteral("0001");

// The three packets of the branch's whole work list.
TWorkListPackets GetDados(TNetConnection& net)
{
    QString expedition = QStringLiteral("T"), order = QStringLiteral("T");
    const QVariantList packets =
        Consiste::CheckResultServ(net.AppServer().Call(Remote::GetDados, {branch, ByRef(expedition), ByRef(order), TDateTime(),
                                                                          TDateTime(), TDateTime(), TDateTime()}),
                                  true, 0)
            .toList();
    return {packets.at(0).value<TDataPacket>(), packets.at(1).value<TDataPacket>(), packets.at(2).value<TDataPacket>()};
}

qint64 Rows(const TScreenWorkList& screen)
{
    return screen.invoices.RecordCount() + screen.items.Data().RowCount() + screen.readings.Data().RowCount();
}

// What the screen does on leaving the filter panel, from the call to the
// first invoice shown with its items and readings.
qint64 LoadThroughTheServer(TNetConnection& net)
{
    TScreenWorkList screen(GetDados(net));
    screen.invoices.SetFiltered(true);
    return Rows(screen);
}

// A reload, as after a reading, a deletion or a confirmation: the new list
// replaces the old one in the screen's data sets.
void Reload(TNetConnection& net, TScreenWorkList& screen)
{
    {
        const TWorkListPackets packets = GetDados(net);
        screen.invoices.SetData(packets.invoices);
        screen.items.SetData(packets.items);
        screen.readings.SetData(packets.readings);
    }
    screen.invoices.SetFiltered(true);
}

// Bytes the client's allocator has handed out and not got back.
qint64 HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

// The process's resident memory now, or at its peak since ResetPeak, in bytes.
qint64 StatusBytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Returns freed memory to the system and starts a new peak from the
// resident memory of now.
void ResetPeak()
{
    malloc_trim(0);
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1)
        qWarning("cannot reset the peak resident memory");
}

// The server's own statements for the same filter, every value read once.
qint64 ServerQueries(QSqlDatabase db)
{
    TScopedTransaction snapshot(db, TScopedTransaction::TKind::Read);
    qint64 rows = 0;
    RunWorkListQueries(db, TWorkListFilter{branch, QStringLiteral("T"), QStringLiteral("T"), {}},
                       [&rows](TSql& query, const QList<TFieldDesc>& fields) {
                           while (query.Next()) {
                               for (int c = 0; c < fields.size(); ++c)
                                   benchmark::DoNotOptimize(query.Value(c));
                               ++rows;
                           }
                       });
    snapshot.Commit();
    return rows;
}

// One server at scale 100 for every benchmark of this program.
TAppServerProcess& Server()
{
    static TAppServerProcess server([] {
        TAppServerProcess::TOptions options;
        options.Scale = 100;
        return options;
    }());
    return server;
}

void BM_GetDadosLoad(benchmark::State& state)
{
    TAppServerProcess& server = Server();
    TNetConnection net;
    net.SetServerName(Remote::ConfRastr);
    net.SetHost(server.Host());
    net.SetPort(server.Port());
    TOwnedDatabase db(TDbConfig{server.DatabasePath()});

    const int rounds = Bench::Quick() ? 3 : 7;
    std::vector<double> load, queries;
    qint64 loaded = 0, queried = 0;
    for (auto _ : state) {
        LoadThroughTheServer(net);  // warm both sides' caches
        ServerQueries(db.Db());
        for (int i = 0; i < rounds; ++i) {
            auto t0 = Clock::now();
            queried = ServerQueries(db.Db());
            queries.push_back(MsSince(t0));
            t0 = Clock::now();
            loaded = LoadThroughTheServer(net);
            load.push_back(MsSince(t0));
        }
    }
    if (loaded != queried)
        state.SkipWithError("the load and the queries saw different rows");
    Bench::Report("getdados_load_ratio", Median(load) / Median(queries), "ratio");
    state.counters["load_ms"] = Median(load);
    state.counters["queries_ms"] = Median(queries);
    state.counters["rows"] = double(loaded);
}
BENCHMARK(BM_GetDadosLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

// What the work list costs the client, at scale 100 with default settings:
//   wire_bytes_per_row                bytes received for GetDados (loopback:
//                                     compact packets, no compression)
//   wire_bytes_per_row_compressed     the same with compression asked for
//   client_bytes_per_row              heap held once the screen's data sets
//                                     hold the list, filters on (mallinfo2)
//   client_reload_peak_bytes_per_row  peak resident memory during a reload
//                                     over the resident memory without a list
//                                     (VmHWM after a reset, malloc_trim first)
// each over the rows of the three packets.
void BM_ClientCost(benchmark::State& state)
{
    TAppServerProcess& server = Server();
    TNetConnection net, compressed;
    for (TNetConnection* c : {&net, &compressed}) {
        c->SetServerName(Remote::ConfRastr);
        c->SetHost(server.Host());
        c->SetPort(server.Port());
    }
    compressed.SetCompression(TNetConnection::TCompression::Always);
    for (auto _ : state) {
        LoadThroughTheServer(net);  // warm: connection, caches, one-time allocations
        LoadThroughTheServer(compressed);
        malloc_trim(0);
        const qint64 residentWithout = StatusBytes("VmRSS:");
        const qint64 heapWithout = HeapInUse();

        qint64 received = net.BytesReceived();
        TScreenWorkList screen(GetDados(net));
        screen.invoices.SetFiltered(true);
        const double rows = double(Rows(screen));
        const double wire = double(net.BytesReceived() - received);
        const double held = double(HeapInUse() - heapWithout);

        ResetPeak();
        Reload(net, screen);
        const double peak = double(StatusBytes("VmHWM:") - residentWithout);

        received = compressed.BytesReceived();
        GetDados(compressed);
        const double wireCompressed = double(compressed.BytesReceived() - received);

        Bench::Report("wire_bytes_per_row", wire / rows, "bytes");
        Bench::Report("wire_bytes_per_row_compressed", wireCompressed / rows, "bytes");
        Bench::Report("client_bytes_per_row", held / rows, "bytes");
        Bench::Report("client_reload_peak_bytes_per_row", peak / rows, "bytes");
        state.counters["rows"] = rows;
        state.counters["wire_mbytes"] = wire / 1e6;
    }
}
BENCHMARK(BM_ClientCost)->Iterations(1)->Unit(benchmark::kMillisecond);

// packet_decode_ratio_server: packet_decode_ratio (PacketDecode.h) on the
// readings packet exactly as the server writes it for the same work list.
void BM_ServerPacketDecode(benchmark::State& state)
{
    TOwnedDatabase db(TDbConfig{Server().DatabasePath()});
    TScopedTransaction snapshot(db.Db(), TScopedTransaction::TKind::Read);
    const QByteArray bytes =
        LoadWorkList(db.Db(), TWorkListFilter{branch, QStringLiteral("T"), QStringLiteral("T"), {}}).Readings.Cbor;
    snapshot.Commit();
    BenchPacketDecode(state, "packet_decode_ratio_server", bytes);
}
BENCHMARK(BM_ServerPacketDecode)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return Bench::Main(argc, argv);
}
