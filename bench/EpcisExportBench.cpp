// The export of traceability events (appserver --export-epcis): its peak
// memory over ten times more confirmations. The same program writes both
// documents in the same run; a ratio near 1 says memory does not grow with
// the number of invoices (the export is streamed). Figures:
//   epcis_export_rss_ratio        peak RSS for 10N confirmations / for N
//   epcis_export_rss_mb           peak RSS for 10N confirmations
//   epcis_export_events_per_s     events written per second, for 10N
#include "AppServerProcess.h"
#include "Figures.h"

#include "storage/Database.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A demo database at `scale` whose branch 0001 has every invoice confirmed;
// returns how many.
int ConfirmedDemo(const QString& path, int scale)
{
    QString output;
    if (TAppServerProcess::RunOnce({QStringLiteral("--init-demo"), QStringLiteral("--scale"), QString::number(scale),
                                    QStringLiteral("--database"), path},
                                   &output)
        != 0)
        throw std::runtime_error(output.toStdString());
    TDatabase db(TDbConfig{path});
    TScopedTransaction change(db, TScopedTransaction::TKind::Write);
    TSql confirm(db, QStringLiteral("UPDATE NOTAFISCAL SET IDCONFRASTR = 'S', DTCONFRASTR = DTENTRSAID WHERE CDFILIAL = '0001'"));
    confirm.Exec();
    const int rows = int(confirm.RowsAffected());
    change.Commit();
    return rows;
}

struct TRun {
    double PeakMb = 0;
    double Seconds = 0;
};

// Runs the export as a child and reads its own peak RSS (wait4).
TRun Export(const QString& database, const QString& file)
{
    const QByteArray program = QFile::encodeName(TAppServerProcess::Executable());
    const QByteArray arguments[] = {program,
                                    "--export-epcis",
                                    QFile::encodeName(file),
                                    "--branch",
                                    "0001",
                                    "--epcis-prefix",
                                    "https://rastreio.example.com.br/",
                                    "--database",
                                    QFile::encodeName(database)};
    std::vector<char*> argv;
    for (const QByteArray& argument : arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);
    const auto t0 = Bench::Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::freopen("/dev/null", "w", stdout);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage = {};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("appserver --export-epcis failed");
    return {usage.ru_maxrss / 1024.0, Bench::MsSince(t0) / 1000.0};
}

void BM_EpcisExportMemory(benchmark::State& state)
{
    QTemporaryDir dir;
    const int small = Bench::Quick() ? 2 : 5;
    const QString smallDb = dir.filePath(QStringLiteral("small.sqlite"));
    const QString largeDb = dir.filePath(QStringLiteral("large.sqlite"));
    const int smallEvents = ConfirmedDemo(smallDb, small);
    const int largeEvents = ConfirmedDemo(largeDb, small * 10);
    TRun few, many;
    for (auto _ : state) {
        few = Export(smallDb, dir.filePath(QStringLiteral("small.jsonld")));
        many = Export(largeDb, dir.filePath(QStringLiteral("large.jsonld")));
    }
    Bench::Report("epcis_export_rss_ratio", many.PeakMb / few.PeakMb, "ratio");
    Bench::Report("epcis_export_rss_mb", many.PeakMb, "MB");
    Bench::Report("epcis_export_events_per_s", largeEvents / many.Seconds, "events/s");
    state.counters["events_small"] = smallEvents;
    state.counters["events_large"] = largeEvents;
}
BENCHMARK(BM_EpcisExportMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return Bench::Main(argc, argv);
}
