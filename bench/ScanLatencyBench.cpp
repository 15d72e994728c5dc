// scan_p99_ms and scan_p99_ratio: the 99th percentile of one reading store's
// round trip (setLeituraIUM, from the client) while 24 stations scan at a
// steady 4 scans a second each against the demo database at scale 100
// (--quick: scale 20 and a shorter run), over the median of the same store
// from one station scanning alone, in the same run on the same server.
// pg_scan_p99_ms and pg_scan_p99_ratio: the same on PostgreSQL. Every
// station also listens to the branch's change notices on a channel of its
// own, as a host does, so the notices are on while it is measured.
// scan_alone_median_ms and pg_scan_alone_median_ms are the baselines.
//
// Commits are durable on both (SQLite synchronous=FULL; bench/run's cluster
// syncs its commits), and the loaded run is long enough to hold several
// checkpoints, which scan_checkpoints and pg_scan_checkpoints count: the
// WAL's restarts after a complete checkpoint (its header's checkpoint
// sequence), PostgreSQL's own checkpoints (pg_stat_bgwriter).
//
// Each station scans an item of its own whose quantity to ship is raised
// first, so that no scan is refused for an item already complete.
#include "AppServerProcess.h"
#include "Scraper.h"

#include <optional>
#include "Figures.h"
#include "ServerData.h"

#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "netconn/NoticeChannel.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"
#include "storage/Database.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using Bench::Clock;
using Bench::Median;
using Bench::MsSince;

const QString branch = QStringLiteral("0001");
constexpr int stations = 24;
constexpr int scansPerSecond = 4;

double Percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(share * double(values.size() - 1) + 0.5));
    return values[index];
}

// Round trips of `scans` stores by station `s` at `perSecond`, started
// together by `start`.
void Station(const TAppServerProcess& server, const TOpenItem& item, int s, int scans, int perSecond, int run,
             std::barrier<>& start, std::vector<double>& times, std::mutex& guard, std::atomic<int>& failures)
{
    TNetConnection net;
    net.SetServerName(Remote::ConfRastr);
    net.SetServerGUID(Remote::ConfRastrId);
    net.SetHost(server.Host());
    net.SetPort(server.Port());
    net.SetStation({QStringLiteral("bench"), QStringLiteral("EST-%1").arg(s)});
    net.Open();
    std::vector<double> own;
    start.arrive_and_wait();
    // Each station its own phase within the period, as stations do not
    // scan in step.
    const auto period = std::chrono::microseconds(1000000 / perSecond);
    const auto t0 = Clock::now() + period * s / stations;
    for (int i = 0; i < scans; ++i) {
        std::this_thread::sleep_until(t0 + period * i);
        const QString scan = IumScan(item.Gtin14, QStringLiteral("L%1S%2N%3").arg(run).arg(s).arg(i));
        const auto before = Clock::now();
        try {
            Consiste::CheckResultServ(net.AppServer().Call(Remote::SetLeituraIUM, {branch, item.Invoice, scan}), true, 0);
            own.push_back(MsSince(before));
        } catch (const Exception&) {
            ++failures;
        }
    }
    std::lock_guard lock(guard);
    times.insert(times.end(), own.begin(), own.end());
}

// The round trips of every store of `count` stations scanning `scans` each,
// while the main thread serves their notice channels.
std::vector<double> Scan(const TAppServerProcess& server, const QList<TOpenItem>& items, int count, int scans,
                         int perSecond, int run, std::atomic<int>& failures)
{
    std::vector<std::unique_ptr<TNoticeChannel>> ears;
    for (int s = 0; s < count; ++s) {
        ears.push_back(std::make_unique<TNoticeChannel>());
        ears.back()->SetServer(server.Host(), server.Port(), {});
        ears.back()->SetStation({QStringLiteral("bench"), QStringLiteral("EST-%1").arg(s)});
        ears.back()->Follow(branch);
    }
    const auto listening = [&] {
        return std::all_of(ears.cbegin(), ears.cend(), [](const auto& e) { return e->Open(); });
    };
    for (auto deadline = Clock::now() + std::chrono::seconds(20); !listening() && Clock::now() < deadline;)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!listening())
        ++failures;

    std::barrier start(count + 1);
    std::vector<double> times;
    std::mutex guard;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int s = 0; s < count; ++s) {
        threads.emplace_back(QThread::create([&, s] {
            Station(server, items[s], s, scans, perSecond, run, start, times, guard, failures);
        }));
        threads.back()->start();
    }
    start.arrive_and_wait();
    while (std::any_of(threads.cbegin(), threads.cend(), [](const auto& t) { return !t->isFinished(); }))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return times;
}

// Checkpoints taken so far: SQLite's WAL restarts (the checkpoint sequence
// number at offset 12 of the WAL's header), PostgreSQL's checkpoints.
qint64 Checkpoints(const TAppServerProcess& server, bool postgres)
{
    if (postgres) {
        TDatabase db(TDbConfig{server.DatabasePath()});
        TSql count(db, QStringLiteral("SELECT checkpoints_timed + checkpoints_req FROM pg_stat_bgwriter"));
        count.Exec();
        return count.Next() ? qint64(count.Number(0)) : 0;
    }
    QFile wal(server.DatabasePath() + QStringLiteral("-wal"));
    if (!wal.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray header = wal.read(16);
    return header.size() == 16 ? qFromBigEndian<quint32>(header.constData() + 12) : 0;
}

// The ratio of the run without metrics, for the run with them.
double plainRatio = 0;

// `metrics`: the server counts and is scraped every second meanwhile.
void Measure(benchmark::State& state, bool postgres, const std::string& prefix, bool metrics = false)
{
    TAppServerProcess::UsePostgres(postgres);
    TAppServerProcess::TOptions options;
    options.Scale = Bench::Quick() ? 20 : 100;
    options.Metrics = metrics;
    TAppServerProcess server(options);
    std::optional<TScraper> scraper;
    if (metrics)
        scraper.emplace(server.MetricsPort());
    QList<TOpenItem> items;
    {
        TDatabase db(TDbConfig{server.DatabasePath()});
        QString lastInvoice;
        for (const TOpenItem& item : OpenItems(db, branch)) {
            if (items.size() < stations && item.Invoice != lastInvoice)
                items.append(item);
            lastInvoice = item.Invoice;
        }
        TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
        TSql raise(db, QStringLiteral("UPDATE ITEMNOTA SET QTITEMPROD = QTITEMPROD + 100000 WHERE CDFILIAL = :CDFILIAL"
                                      " AND NRLANCTONF = :NRLANCTONF AND CDPRODUTO IN"
                                      " (SELECT CDPRODUTO FROM PRODUTO WHERE CDGTIN = :G14 OR CDGTIN = :G13)"));
        for (const TOpenItem& item : items)
            raise.Bind(QStringLiteral(":CDFILIAL"), branch)
                .Bind(QStringLiteral(":NRLANCTONF"), item.Invoice)
                .Bind(QStringLiteral(":G14"), item.Gtin14)
                .Bind(QStringLiteral(":G13"), item.Gtin14.mid(1))
                .Exec();
        transaction.Commit();
    }
    if (items.size() < stations) {
        state.SkipWithError("the demo data has too few open items");
        return;
    }
    const int seconds = Bench::Quick() ? 5 : 30;
    const int loadedSeconds = Bench::Quick() ? 5 : 60;
    std::atomic<int> failures{0};
    std::vector<double> alone, loaded;
    qint64 checkpoints = 0;
    int run = 0;
    for (auto _ : state) {
        Scan(server, items, stations, 2, scansPerSecond, run++, failures);  // warm: connections, statements
        alone = Scan(server, items, 1, seconds * 10, 10, run++, failures);
        const qint64 before = Checkpoints(server, postgres);
        loaded = Scan(server, items, stations, loadedSeconds * scansPerSecond, scansPerSecond, run++, failures);
        checkpoints = Checkpoints(server, postgres) - before;
    }
    if (failures > 0) {
        state.SkipWithError("scans were refused or failed");
        return;
    }
    const double p99 = Percentile(loaded, 0.99);
    const double median = Median(alone);
    Bench::Report(prefix + "scan_p99_ms", p99, "ms");
    Bench::Report(prefix + "scan_p99_ratio", p99 / median, "ratio");
    if (!metrics && !postgres)
        plainRatio = p99 / median;
    if (metrics && plainRatio > 0)
        Bench::Report("metrics_scan_p99_ratio_change", (p99 / median) / plainRatio, "ratio");
    if (metrics && scraper->Scrapes() == 0)
        state.SkipWithError("the metrics were never scraped");
    Bench::Report(prefix + "scan_alone_median_ms", median, "ms");
    Bench::Report(prefix + "scan_checkpoints", double(checkpoints), "count");
    state.counters["scans"] = double(loaded.size());
}

void BM_ScanLatencySqlite(benchmark::State& state)
{
    Measure(state, false, "");
}
BENCHMARK(BM_ScanLatencySqlite)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ScanLatencyPostgres(benchmark::State& state)
{
    Measure(state, true, "pg_");
}
BENCHMARK(BM_ScanLatencyPostgres)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ScanLatencySqliteMetrics(benchmark::State& state)
{
    Measure(state, false, "metrics_", true);
}
BENCHMARK(BM_ScanLatencySqliteMetrics)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return Bench::Main(argc, argv);
}
