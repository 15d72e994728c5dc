#pragma once
// What every benchmark program shares: timing helpers, the figures it
// reports, the --quick switch, and a main() body that runs the registered
// benchmarks and prints one line per figure:
//   figure: NAME VALUE UNIT
#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Bench {

using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point t0);
double Median(std::vector<double> values);

// True when the program was started with --quick (fewer samples).
bool Quick();
// Records a figure to print once every benchmark has run.
void Report(const std::string& name, double value, const char* unit);

// Runs the registered benchmarks (arguments as Google Benchmark takes them,
// plus --quick) and prints the figures; returns the exit code, which is 1
// when the program printed a Qt warning.
int Main(int argc, char** argv);

} // namespace Bench
