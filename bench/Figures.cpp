#include "Figures.h"

#include "rtl/MemoryPolicy.h"

#include <QString>
#include <QtGlobal>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace Bench {

namespace {
bool quick = false;
std::atomic<int> warnings{0};

// A warning means the benchmark measured something other than it meant to
// (a malformed format string, a failed conversion): it is printed and the
// program fails.
void CountWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        ++warnings;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}
std::map<std::string, std::pair<double, const char*>>& figures()
{
    static std::map<std::string, std::pair<double, const char*>> all;
    return all;
}
} // namespace

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

bool Quick() { return quick; }

void Report(const std::string& name, double value, const char* unit) { figures()[name] = {value, unit}; }

int Main(int argc, char** argv)
{
    // Every figure is taken in a process that keeps memory as the host does.
    KeepFreedMemory();
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--quick")
            quick = true;
        else
            args.push_back(argv[i]);
    }
    qInstallMessageHandler(CountWarnings);
    int n = int(args.size());
    benchmark::Initialize(&n, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [name, value] : figures())
        std::printf("figure: %s %.4f %s\n", name.c_str(), value.first, value.second);
    if (warnings > 0) {
        std::fprintf(stderr, "%d warning(s): the figures above are not to be trusted\n", warnings.load());
        return 1;
    }
    return 0;
}

} // namespace Bench
