// two_servers_throughput_ratio: the changes per second that twelve clients
// get from two application servers sharing one PostgreSQL database (half
// the clients on each) over what the same clients get from one of them,
// measured in the same run on the same database (demo data, scale 60;
// --quick: scale 20, fewer rounds and one phase of each).
// Each client works on rows of its own, as stations do: it stores a reading
// on an item, deletes that reading again and confirms one of its ready
// invoices, a call of each kind in turn, for a fixed number of rounds (a
// phase). Confirmations are undone between phases, outside the timing.
// Phases alternate one server and two; the ratio is of the medians.
// one_server_calls_per_s and two_servers_calls_per_s are those medians.
#include "AppServerProcess.h"
#include "Figures.h"
#include "ServerData.h"

#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "rtl/Exceptions.h"
#include "server/Gs1.h"
#include "server/RemoteNames.h"
#include "storage/Database.h"

#include <QCoreApplication>
#include <QThread>

#include <benchmark/benchmark.h>

#include <atomic>
#include <barrier>
#include <memory>
#include <vector>

namespace {

using Bench::Clock;
using Bench::Median;
using Bench::MsSince;

const QString branch = QStringLiteral("0001");
constexpr int clients = 12;

// What one client works on: an item with a free unit and its own ready
// invoices, one confirmed per round.
struct TClientRows {
    TOpenItem Item;
    QStringList Ready;
};

// One phase: every client makes `rounds` rounds of three calls on the
// servers given (client c on servers[c % size]). Returns the calls per
// second; `failures` counts calls that were refused or failed.
double Phase(const std::vector<TAppServerProcess*>& servers, const QList<TClientRows>& rows, int rounds, int phase,
             std::atomic<int>& failures)
{
    std::barrier start(clients + 1);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back(QThread::create([&, c] {
            const TAppServerProcess& server = *servers[size_t(c) % servers.size()];
            TNetConnection net;
            net.SetServerName(Remote::ConfRastr);
            net.SetServerGUID(Remote::ConfRastrId);
            net.SetHost(server.Host());
            net.SetPort(server.Port());
            const TClientRows& own = rows[c];
            start.arrive_and_wait();
            for (int r = 0; r < rounds; ++r) {
                const QString scan = IumScan(own.Item.Gtin14, QStringLiteral("B%1C%2R%3").arg(phase).arg(c).arg(r));
                try {
                    Consiste::CheckResultServ(net.AppServer().Call(Remote::SetLeituraIUM, {branch, own.Item.Invoice, scan}), true, 0);
                    const TDataPacket delta = ReadingsDelta(branch, {{own.Item.Invoice, ParseIumCode(scan).Code}});
                    Consiste::CheckResultServ(net.AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(delta)}), true, 0);
                    Consiste::CheckResultServ(net.AppServer().Call(Remote::SetConfRastrOK, {branch, own.Ready[r]}), true, 0);
                } catch (const Exception&) {
                    ++failures;
                }
            }
        }));
        threads.back()->start();
    }
    start.arrive_and_wait();
    const auto t0 = Clock::now();
    for (const auto& thread : threads)
        thread->wait();
    return 3.0 * clients * rounds / (MsSince(t0) / 1000.0);
}

// Undoes the phase's confirmations, so that the next phase finds the same
// invoices ready.
void Unconfirm(TDatabase& db, const QList<TClientRows>& rows)
{
    TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
    TSql undo(db, QStringLiteral("UPDATE NOTAFISCAL SET IDCONFRASTR = 'N', DTCONFRASTR = NULL"
                                 " WHERE CDFILIAL = :CDFILIAL AND NRLANCTONF = :NRLANCTONF"));
    for (const TClientRows& own : rows)
        for (const QString& invoice : own.Ready)
            undo.Bind(QStringLiteral(":CDFILIAL"), branch).Bind(QStringLiteral(":NRLANCTONF"), invoice).Exec();
    transaction.Commit();
}

void BM_TwoServersThroughput(benchmark::State& state)
{
    TAppServerProcess::UsePostgres(true);
    TAppServerProcess::TOptions options;
    options.Scale = Bench::Quick() ? 20 : 60;
    TAppServerProcess first(options);
    TAppServerProcess::TOptions beside;
    beside.Database = first.DatabasePath();
    TAppServerProcess second(beside);
    TDatabase db(TDbConfig{first.DatabasePath()});

    // Each client an item of an invoice of its own and an equal share of
    // the ready invoices.
    QStringList ready, notReady;
    SplitInvoices(db, branch, ready, notReady);
    QList<TClientRows> rows;
    QString lastInvoice;
    for (const TOpenItem& item : OpenItems(db, branch)) {
        if (rows.size() < clients && item.Invoice != lastInvoice)
            rows.append({item, {}});
        lastInvoice = item.Invoice;
    }
    const int rounds = std::min<int>(Bench::Quick() ? 20 : 80, int(ready.size()) / clients);
    if (rows.size() < clients || rounds < 10) {
        state.SkipWithError("the demo data has too few open items or ready invoices");
        return;
    }
    for (int c = 0; c < clients; ++c)
        rows[c].Ready = ready.mid(c * rounds, rounds);

    const int phases = Bench::Quick() ? 1 : 5;
    std::vector<double> one, two;
    std::atomic<int> failures{0};
    int phase = 0;
    for (auto _ : state) {
        Phase({&first}, rows, 5, phase++, failures);  // warm: connections, statements, caches
        Unconfirm(db, rows);
        for (int p = 0; p < phases; ++p) {
            one.push_back(Phase({&first}, rows, rounds, phase++, failures));
            Unconfirm(db, rows);
            two.push_back(Phase({&first, &second}, rows, rounds, phase++, failures));
            Unconfirm(db, rows);
        }
    }
    if (failures > 0) {
        state.SkipWithError("calls were refused or failed");
        return;
    }
    Bench::Report("two_servers_throughput_ratio", Median(two) / Median(one), "ratio");
    Bench::Report("one_server_calls_per_s", Median(one), "calls/s");
    Bench::Report("two_servers_calls_per_s", Median(two), "calls/s");
    state.counters["rounds"] = rounds;
}
BENCHMARK(BM_TwoServersThroughput)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return Bench::Main(argc, argv);
}
