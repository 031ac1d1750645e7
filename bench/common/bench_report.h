#pragma once

// The reporting the side-by-side benchmarks share: every repetition's wall
// time and CPU time of all threads are kept, and ratios are taken between
// medians, never from a single (last) run.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench_report {

// Wall and CPU time of all threads in milliseconds: the units every
// contender reports in.
benchmark::internal::Benchmark* Timed(benchmark::internal::Benchmark* benchmark);

// Initializes the benchmark library from the command line with
// --benchmark_repetitions=repetitions and random interleaving added unless
// it sets them: several runs interleaved let load from elsewhere fall on
// all contenders alike.
void Initialize(int argc, char** argv, int repetitions);

// Runs the registered benchmarks through reporter (the console's when
// null), with the machine's load printed before and after: a ratio taken
// under load from elsewhere is read with that in mind.
void Run(benchmark::BenchmarkReporter* reporter = nullptr);

// Prints the machine's load ("load <when>: " and uptime's line).
void PrintLoad(const char* when);

// The median of the values; 0 when there are none.
double Median(std::vector<double> values);

// Keeps every run's wall time and CPU time per iteration, by name.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override;

    // Median over the repetitions in seconds; 0 when the benchmark did not run.
    double MedianWall(const std::string& name) const;
    double MedianCpu(const std::string& name) const;
    // Prints both medians of every benchmark in milliseconds.
    void PrintMedians() const;
    // Prints ours / theirs of the medians, wall against the target, and CPU.
    void PrintRatio(const std::string& label, const std::string& ours, const std::string& theirs,
                    double target) const;

private:
    std::vector<std::string> order_;
    std::map<std::string, std::vector<double>> wallSeconds_;
    std::map<std::string, std::vector<double>> cpuSeconds_;
};

}  // namespace bench_report
