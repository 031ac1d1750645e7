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

// argv with --benchmark_repetitions=repetitions and random interleaving
// added unless the command line sets them: several runs interleaved let
// load from elsewhere fall on all contenders alike.
std::vector<char*> WithRepetitions(int argc, char** argv, int repetitions);

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
