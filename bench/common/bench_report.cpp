#include "bench_report.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace bench_report {
namespace {

double MedianOf(const std::map<std::string, std::vector<double>>& seconds, const std::string& name) {
    const auto found = seconds.find(name);
    return found == seconds.end() ? 0 : Median(found->second);
}

bool HasOption(int argc, char** argv, const char* option) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], option, std::strlen(option)) == 0) return true;
    return false;
}

// argv with the repetitions and the interleaving added, null-terminated.
std::vector<char*> WithRepetitions(int argc, char** argv, int repetitions) {
    static std::string repetitionOption;
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> arguments(argv, argv + argc);
    if (!HasOption(argc, argv, "--benchmark_repetitions")) {
        repetitionOption = "--benchmark_repetitions=" + std::to_string(repetitions);
        arguments.push_back(repetitionOption.data());
    }
    if (!HasOption(argc, argv, "--benchmark_enable_random_interleaving")) arguments.push_back(interleaving);
    arguments.push_back(nullptr);
    return arguments;
}

}  // namespace

void PrintLoad(const char* when) {
    std::printf("load %s: ", when);
    std::fflush(stdout);
    if (std::system("uptime") != 0) std::printf("unknown\n");
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

benchmark::internal::Benchmark* Timed(benchmark::internal::Benchmark* benchmark) {
    return benchmark->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
}

void Initialize(int argc, char** argv, int repetitions) {
    std::vector<char*> arguments = WithRepetitions(argc, argv, repetitions);
    int count = static_cast<int>(arguments.size()) - 1;
    benchmark::Initialize(&count, arguments.data());
}

void Run(benchmark::BenchmarkReporter* reporter) {
    PrintLoad("before");
    benchmark::RunSpecifiedBenchmarks(reporter);
    PrintLoad("after");
    benchmark::Shutdown();
}

void RecordingReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.error_occurred || run.iterations <= 0 || run.run_type != Run::RT_Iteration) continue;
        const std::string name = run.run_name.function_name;
        if (!wallSeconds_.contains(name)) order_.push_back(name);
        const auto iterations = static_cast<double>(run.iterations);
        wallSeconds_[name].push_back(run.real_accumulated_time / iterations);
        cpuSeconds_[name].push_back(run.cpu_accumulated_time / iterations);
    }
    ConsoleReporter::ReportRuns(runs);
}

double RecordingReporter::MedianWall(const std::string& name) const { return MedianOf(wallSeconds_, name); }

double RecordingReporter::MedianCpu(const std::string& name) const { return MedianOf(cpuSeconds_, name); }

void RecordingReporter::PrintMedians() const {
    std::printf("\n%-44s %12s %12s %5s\n", "median of the repetitions", "wall ms", "cpu ms", "runs");
    for (const std::string& name : order_)
        std::printf("%-44s %12.3f %12.3f %5zu\n", name.c_str(), MedianWall(name) * 1e3, MedianCpu(name) * 1e3,
                    wallSeconds_.at(name).size());
}

void RecordingReporter::PrintRatio(const std::string& label, const std::string& ours, const std::string& theirs,
                                   double target) const {
    const double wall = MedianWall(ours) / MedianWall(theirs);
    const double cpu = MedianCpu(ours) / MedianCpu(theirs);
    if (!std::isfinite(wall) || !std::isfinite(cpu)) return;
    std::printf("%-52s wall %7.3f (target <= %.2f) %-6s cpu %7.3f\n", label.c_str(), wall, target,
                wall <= target ? "ok" : "MISSED", cpu);
}

}  // namespace bench_report
