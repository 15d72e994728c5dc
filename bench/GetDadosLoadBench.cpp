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
#include "AppServerProcess.h"
#include "storage/Database.h"
#include "ScreenWorkList.h"
#include "rules/WorkList.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "server/RemoteNames.h"

#include <QCoreApplication>
#include "Figures.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>

namespace {

using Bench::Clock;
using Bench::Median;
using Bench::MsSince;
const QString branch = QStringLiteral("0001");

// What the screen does on leaving the filter panel, from the call to the
// first invoice shown with its items and readings.
qint64 LoadThroughTheServer(TNetConnection& net)
{
    QString expedition = QStringLiteral("T"), order = QStringLiteral("T");
    const QVariantList packets =
        Consiste::CheckResultServ(net.AppServer().Call(Remote::GetDados, {branch, ByRef(expedition), ByRef(order), TDateTime(),
                                                                          TDateTime(), TDateTime(), TDateTime()}),
                                  true, 0)
            .toList();
    TScreenWorkList screen({packets.at(0).value<TDataPacket>(), packets.at(1).value<TDataPacket>(),
                            packets.at(2).value<TDataPacket>()});
    screen.invoices.SetFiltered(true);
    return screen.invoices.RecordCount() + screen.items.Data().RowCount() + screen.readings.Data().RowCount();
}

const TWorkListFilter filter{branch, QStringLiteral("T"), QStringLiteral("T"), {}};

using TEngineQueries = std::function<qint64()>;

// The three statements through SQLite's C API alone on one connection kept
// for every round (as the server keeps its own), every column of every row
// read once (text columns as text, numbers as numbers).
TEngineQueries SqliteQueries(const QString& database)
{
    sqlite3* opened = nullptr;
    if (sqlite3_open_v2(database.toUtf8().constData(), &opened, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open the database file");
    const std::shared_ptr<sqlite3> db(opened, sqlite3_close);
    return [db] {
        qint64 rows = 0;
        sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr);
        for (const TWorkListStatement& s : WorkListStatements(filter)) {
            sqlite3_stmt* stmt = nullptr;
            const QByteArray sql = s.Sql.toUtf8();
            sqlite3_prepare_v2(db.get(), sql.constData(), int(sql.size()), &stmt, nullptr);
            for (const auto& [name, value] : s.Values) {
                const QByteArray text = value.toString().toUtf8();
                sqlite3_bind_text(stmt, sqlite3_bind_parameter_index(stmt, name.toUtf8().constData()),
                                  text.constData(), int(text.size()), SQLITE_TRANSIENT);
            }
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                for (int c = 0; c < s.Fields.size(); ++c) {
                    if (s.Fields[c].Type == TFieldType::ftFloat)
                        benchmark::DoNotOptimize(sqlite3_column_double(stmt, c));
                    else
                        benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
                }
                ++rows;
            }
            sqlite3_finalize(stmt);
        }
        sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
        return rows;
    };
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

// The load, the server's part and the engine's part of the same rows, on a
// server whose database `postgres` chooses; figures named with `prefix`.
void MeasureLoad(benchmark::State& state, bool postgres, const std::string& prefix,
                 TEngineQueries (*openEngine)(const QString&))
{
    TAppServerProcess::UsePostgres(postgres);
    TAppServerProcess::TOptions options;
    options.Scale = 100;
    TAppServerProcess server(options);
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
    Bench::Report(prefix + "getdados_load_ratio", Median(load) / Median(enginePart), "ratio");
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return Bench::Main(argc, argv);
}
