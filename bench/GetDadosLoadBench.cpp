// getdados_load_ratio: a full GetDados at scale 100 (the large site: about
// 5,000 invoices, 50,000 items, 500,000 IUM readings, of which the main
// branch's unconfirmed ones are loaded) from the real application server
// over loopback into three client data sets (the screen's whole load, with
// its handlers and grids, is screen_load_ratio of bench_screen), over the time the server's own queries need to produce the same rows
// (the same statements on the same database file, every value of every row
// read once), both measured in this run. Target: at most 2.
#include "AppServerProcess.h"
#include "Database.h"
#include "WorkList.h"
#include "data/ClientDataSet.h"
#include "framework/Consiste.h"
#include "framework/NetConnection.h"
#include "server/RemoteNames.h"

#include <QCoreApplication>
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
const QString branch = QStringLiteral("0001");

// The call, and its three packets loaded into data sets.
qint64 LoadThroughTheServer(TNetConnection& net)
{
    QString expedition = QStringLiteral("T"), order = QStringLiteral("T");
    const QVariantList packets =
        Consiste::CheckResultServ(net.AppServer().Call(Remote::GetDados, {branch, ByRef(expedition), ByRef(order), TDateTime(),
                                                                          TDateTime(), TDateTime(), TDateTime()}),
                                  true, 0)
            .toList();
    qint64 rows = 0;
    for (const QVariant& packet : packets) {
        TClientDataSet dataSet;
        dataSet.SetData(packet.value<TDataPacket>());
        rows += dataSet.RecordCount();
    }
    return rows;
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

void BM_GetDadosLoad(benchmark::State& state)
{
    TAppServerProcess::TOptions options;
    options.Scale = 100;
    TAppServerProcess server(options);
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return Bench::Main(argc, argv);
}
