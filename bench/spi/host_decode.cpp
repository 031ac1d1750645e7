#include "host_decode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace host_decode {
namespace {

constexpr std::size_t kHostPadding = 2048;

struct Blocks {
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    ~Blocks() {
        LocalFree(info);
        LocalFree(bits);
    }
};

void BM_Plugin(benchmark::State& state, const std::string& name) {
    const EncodedImage& image = Images().at(name);
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    for (auto _ : state)
        if (!DecodeThroughHost(plugs, image)) state.SkipWithError("no plug-in decoded the file");
}

long ProcStatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    return -1;
}

// The median over the repetitions of a benchmark, 0 when it did not run.
double Median(const std::map<std::string, std::vector<double>>& seconds, const std::string& name) {
    const auto found = seconds.find(name);
    if (found == seconds.end() || found->second.empty()) return 0;
    std::vector<double> values = found->second;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

std::map<std::string, EncodedImage>& Images() {
    static std::map<std::string, EncodedImage> images;
    return images;
}

EncodedImage MakePhotoLike(const std::string& folder, const std::string& name, const std::string& arguments) {
    const std::string path = folder + "/" + name;
    const std::string command = "convert -seed 7 -size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                " plasma:fractal -blur 0x1 " + arguments + " '" + path + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("convert failed: " + command);
    std::ifstream in(path, std::ios::binary);
    EncodedImage image;
    image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    image.size = image.bytes.size();
    image.bytes.resize(image.size + kHostPadding, 0);
    return image;
}

bool DecodeThroughHost(TSusiePlugs& plugs, const EncodedImage& image, bool decode) {
    plugs.Refresh();
    for (int i = 0; i < plugs.Count(); ++i) {
        TSusiePlug& plug = *plugs.Items(i);
        TSusiePlugUse use(plug);
        if (!use.Loaded() || !plug.IsSupported(nullptr, reinterpret_cast<intptr_t>(image.bytes.data()))) continue;
        if (!decode) return true;
        PictureInfo info{};
        plug.GetPictureInfo(image.bytes.data(), static_cast<int32_t>(image.size), SPI_INPUT_MEMORY, &info);
        Blocks blocks;
        return plug.GetPicture(image.bytes.data(), static_cast<int32_t>(image.size), SPI_INPUT_MEMORY,
                               &blocks.info, &blocks.bits, nullptr, 0) == SPI_SUCCESS;
    }
    return false;
}

void RegisterPluginDecode(const std::string& name) {
    Timed(benchmark::RegisterBenchmark(("plugin/" + name).c_str(), BM_Plugin, name));
}

benchmark::internal::Benchmark* Timed(benchmark::internal::Benchmark* benchmark) {
    return benchmark->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
}

void RecordingReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.error_occurred || run.iterations <= 0 || run.run_type != Run::RT_Iteration) continue;
        const auto iterations = static_cast<double>(run.iterations);
        wallSeconds[run.run_name.function_name].push_back(run.real_accumulated_time / iterations);
        cpuSeconds[run.run_name.function_name].push_back(run.cpu_accumulated_time / iterations);
    }
    ConsoleReporter::ReportRuns(runs);
}

void PrintRatio(const RecordingReporter& reporter, const std::string& label, const std::string& ours,
                const std::string& theirs, double target) {
    const double wall = Median(reporter.wallSeconds, ours) / Median(reporter.wallSeconds, theirs);
    const double cpu = Median(reporter.cpuSeconds, ours) / Median(reporter.cpuSeconds, theirs);
    if (!std::isfinite(wall) || !std::isfinite(cpu)) return;
    std::printf("%-42s wall %7.4f (target <= %.2f) %-6s cpu %7.4f\n", label.c_str(), wall, target,
                wall <= target ? "ok" : "MISSED", cpu);
}

void PrintPeakMemory(const std::string& name) {
    const EncodedImage& image = Images().at(name);
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    plugs.Refresh();
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = ProcStatusKilobytes("VmRSS:");
    DecodeThroughHost(plugs, image);
    const long peak = ProcStatusKilobytes("VmHWM:");
    const double dibMegabytes = ((kWidth * 3 + 3) & ~3) * static_cast<double>(kHeight) / 1048576.0;
    std::printf("peak memory %-12s %.1f MB above the file (%.1f MB), bitmap %.1f MB: %.2f x bitmap\n",
                name.c_str(), (peak - before) / 1024.0, image.size / 1048576.0, dibMegabytes,
                (peak - before) / 1024.0 / dibMegabytes);
}

}  // namespace host_decode
