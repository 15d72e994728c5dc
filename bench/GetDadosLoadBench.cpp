// getdados_load_ratio: a full GetDados at scale 100 (the large site: about
// 5,000 invoices, 50,000 items, 500,000 IUM readings, of which the main
// branch's unconfirmed ones are loaded) from the real application server
// over loopback into the three work-list data sets with the screen's filters
// on, over the engine's own time for the same rows: the same three
// statements on the same database file through SQLite's C API, stepping
// every row and reading every column once, measured in this run. Target: at
// most 1.5. getdados_server_ms is the server's part (the three statements
// into their wire packets, in process), getdados_engine_ms the engine's.
//
// pg_getdados_load_ratio: the same on PostgreSQL (a database of the
// throwaway cluster of scripts/with-postgres), against the same statements
// through libpq, every value of every row read. Target: at most 1.5.
//
// Also what the work list costs the client (BM_ClientCost) and
// packet_decode_ratio_server (BM_ServerPacketDecode).
#include "AppServerProcess.h"
#include "Scraper.h"

#include <optional>
#include "PacketDecode.h"
#include "SqliteBaseline.h"
#include "storage/Database.h"
#include "ScreenWorkList.h"
#include "rules/WorkList.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "server/RemoteNames.h"

#include <QCoreApplication>
#include <QFile>
#include "Figures.h"

#include <libpq-fe.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <functional>
#include <map>
#include <memory>

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

const TWorkListFilter filter{branch, QStringLiteral("T"), QStringLiteral("T"), {}};

using TEngineQueries = std::function<qint64()>;

// The three statements through SQLite's C API alone (SqliteBaseline.h) on
// one connection kept for every round, as the server keeps its own.
TEngineQueries SqliteQueries(const QString& database)
{
    const auto engine = std::make_shared<TSqliteBaseline>(database);
    return [engine] { return engine->Run(WorkListStatements(filter)); };
}

// The same through libpq on one connection kept for every round, each
// statement prepared once (as the server does) and its result read whole,
// every value read.
TEngineQueries PostgresQueries(const QString& database)
{
    const std::shared_ptr<PGconn> conn(PQconnectdb(database.toUtf8().constData()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw std::runtime_error("cannot connect to PostgreSQL");
    auto prepared = std::make_shared<int>(0);
    return [conn, prepared] {
        qint64 rows = 0;
        PQclear(PQexec(conn.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ"));
        int n = 0;
        for (const TWorkListStatement& s : WorkListStatements(filter)) {
            const QByteArray name = "q" + QByteArray::number(++n);
            QString sql = s.Sql;
            std::vector<QByteArray> values;
            for (const auto& [parameter, value] : s.Values) {
                values.push_back(value.toString().toUtf8());
                sql.replace(parameter, QStringLiteral("$%1").arg(values.size()));
            }
            if (*prepared < n) {
                PQclear(PQprepare(conn.get(), name.constData(), sql.toUtf8().constData(), 0, nullptr));
                *prepared = n;
            }
            std::vector<const char*> pointers;
            for (const QByteArray& v : values)
                pointers.push_back(v.constData());
            PGresult* result = PQexecPrepared(conn.get(), name.constData(), int(pointers.size()), pointers.data(),
                                              nullptr, nullptr, 0);
            const int count = PQntuples(result);
            for (int r = 0; r < count; ++r) {
                for (int c = 0; c < s.Fields.size(); ++c)
                    benchmark::DoNotOptimize(PQgetvalue(result, r, c));
            }
            rows += count;
            PQclear(result);
        }
        PQclear(PQexec(conn.get(), "COMMIT"));
        return rows;
    };
}

// The server's own part: the three statements into their wire packets.
qint64 ServerQueries(TDatabase& db)
{
    TScopedTransaction snapshot(db, TScopedTransaction::TKind::Read);
    const TWorkList list = LoadWorkList(db, filter);
    snapshot.Commit();
    return list.Invoices.Rows + list.Items.Rows + list.Readings.Rows;
}

// One server at scale 100 on each database (on SQLite, another with its
// metrics on), for every benchmark of this program; stopped before the
// application ends (stopping one on PostgreSQL drops its database through
// the Qt SQL driver).
std::map<std::pair<bool, bool>, std::unique_ptr<TAppServerProcess>>& Servers()
{
    static std::map<std::pair<bool, bool>, std::unique_ptr<TAppServerProcess>> servers;
    return servers;
}

TAppServerProcess& Server(bool postgres, bool metrics = false)
{
    std::unique_ptr<TAppServerProcess>& server = Servers()[{postgres, metrics}];
    if (!server) {
        TAppServerProcess::UsePostgres(postgres);
        TAppServerProcess::TOptions options;
        options.Scale = 100;
        options.Metrics = metrics;
        server = std::make_unique<TAppServerProcess>(options);
    }
    return *server;
}

// The ratio of the load without metrics, for the load with them.
double plainLoadRatio = 0;

// The load, the server's part and the engine's part of the same rows, on a
// server whose database `postgres` chooses, with its metrics on and scraped
// every second when `metrics`; figures named with `prefix`.
void MeasureLoad(benchmark::State& state, bool postgres, const std::string& prefix,
                 TEngineQueries (*openEngine)(const QString&), bool metrics = false)
{
    TAppServerProcess& server = Server(postgres, metrics);
    std::optional<TScraper> scraper;
    if (metrics)
        scraper.emplace(server.MetricsPort());
    TNetConnection net;
    net.SetServerName(Remote::ConfRastr);
    net.SetHost(server.Host());
    net.SetPort(server.Port());
    TDatabase db(TDbConfig{server.DatabasePath()});
    const TEngineQueries engineQueries = openEngine(server.DatabasePath());

    const int rounds = Bench::Quick() ? 3 : 7;
    std::vector<double> load, serverPart, enginePart;
    qint64 loaded = 0, served = 0, stepped = 0;
    for (auto _ : state) {
        LoadThroughTheServer(net);  // warm every side's caches
        ServerQueries(db);
        engineQueries();
        for (int i = 0; i < rounds; ++i) {
            auto t0 = Clock::now();
            stepped = engineQueries();
            enginePart.push_back(MsSince(t0));
            t0 = Clock::now();
            served = ServerQueries(db);
            serverPart.push_back(MsSince(t0));
            t0 = Clock::now();
            loaded = LoadThroughTheServer(net);
            load.push_back(MsSince(t0));
        }
    }
    if (loaded != stepped || served != stepped)
        state.SkipWithError("the load, the server and the engine saw different rows");
    const double ratio = Median(load) / Median(enginePart);
    Bench::Report(prefix + "getdados_load_ratio", ratio, "ratio");
    if (!metrics && !postgres)
        plainLoadRatio = ratio;
    if (metrics && plainLoadRatio > 0)
        Bench::Report("metrics_getdados_load_ratio_change", ratio / plainLoadRatio, "ratio");
    Bench::Report(prefix + "getdados_server_ms", Median(serverPart), "ms");
    Bench::Report(prefix + "getdados_engine_ms", Median(enginePart), "ms");
    state.counters["load_ms"] = Median(load);
    state.counters["rows"] = double(loaded);
}

void BM_GetDadosLoad(benchmark::State& state)
{
    MeasureLoad(state, false, "", SqliteQueries);
}
BENCHMARK(BM_GetDadosLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PgGetDadosLoad(benchmark::State& state)
{
    MeasureLoad(state, true, "pg_", PostgresQueries);
}
BENCHMARK(BM_PgGetDadosLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GetDadosLoadMetrics(benchmark::State& state)
{
    MeasureLoad(state, false, "metrics_", SqliteQueries, true);
}
BENCHMARK(BM_GetDadosLoadMetrics)->Iterations(1)->Unit(benchmark::kMillisecond);

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
    TAppServerProcess& server = Server(false);
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
    TDatabase db(TDbConfig{Server(false).DatabasePath()});
    TScopedTransaction snapshot(db, TScopedTransaction::TKind::Read);
    const QByteArray bytes = LoadWorkList(db, filter).Readings.Cbor;
    snapshot.Commit();
    BenchPacketDecode(state, "packet_decode_ratio_server", bytes);
}
BENCHMARK(BM_ServerPacketDecode)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int status = Bench::Main(argc, argv);
    Servers().clear();
    return status;
}
