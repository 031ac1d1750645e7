// A 12-megapixel photo-like JPEG decoded as the view does it (rescan of
// the plug-in folder, first plug-in that accepts the data, picture
// information, picture, blocks freed) beside a direct TurboJPEG decode
// into a bottom-up BGR buffer and QImageReader. Prints the ratios (medians
// over the repetitions) and the peak memory of one decode through the
// plug-in. Wall time needs a quiet machine; on a shared one, run with
// --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true so
// that load from elsewhere falls on all contenders alike.

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugins/susie_plug.h"
#include "spi.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr std::size_t kHostPadding = 2048;

// The data as the view holds it: the whole file plus zero padding, so
// IsSupported may look at the leading bytes of any file.
struct JpegFile {
    std::vector<char> bytes;
    std::size_t size = 0;
};

std::map<std::string, JpegFile>& Files() {
    static std::map<std::string, JpegFile> files;
    return files;
}

JpegFile MakeJpeg(const std::string& folder, const std::string& name, const std::string& options) {
    const std::string path = folder + "/" + name;
    const std::string command = "convert -seed 7 -size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                " plasma:fractal -blur 0x1 -depth 8 -quality 90 " + options + " '" + path + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("convert failed: " + command);
    std::ifstream in(path, std::ios::binary);
    JpegFile file;
    file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    file.size = file.bytes.size();
    file.bytes.resize(file.size + kHostPadding, 0);
    return file;
}

struct Blocks {
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    ~Blocks() {
        LocalFree(info);
        LocalFree(bits);
    }
};

// The view's decode: rescan, pick a plug-in, ask it for the picture.
// With decode false, only the rescan and the choice of the plug-in.
bool DecodeThroughHost(TSusiePlugs& plugs, const JpegFile& file, bool decode = true) {
    plugs.Refresh();
    for (int i = 0; i < plugs.Count(); ++i) {
        TSusiePlugUse use(*plugs.Items(i));
        TSusiePlug& plug = *plugs.Items(i);
        if (!use.Loaded() || !plug.IsSupported(nullptr, reinterpret_cast<intptr_t>(file.bytes.data()))) continue;
        if (!decode) return true;
        PictureInfo info{};
        plug.GetPictureInfo(file.bytes.data(), static_cast<int32_t>(file.size), SPI_INPUT_MEMORY, &info);
        Blocks blocks;
        return plug.GetPicture(file.bytes.data(), static_cast<int32_t>(file.size), SPI_INPUT_MEMORY, &blocks.info,
                               &blocks.bits, nullptr, 0) == SPI_SUCCESS;
    }
    return false;
}

void BM_Plugin(benchmark::State& state, const std::string& name) {
    const JpegFile& file = Files().at(name);
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    for (auto _ : state)
        if (!DecodeThroughHost(plugs, file)) state.SkipWithError("no plug-in decoded the file");
}

void BM_TurboJpeg(benchmark::State& state, const std::string& name) {
    const JpegFile& file = Files().at(name);
    const auto* data = reinterpret_cast<const unsigned char*>(file.bytes.data());
    for (auto _ : state) {
        tjhandle handle = tjInitDecompress();
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        tjDecompressHeader3(handle, data, file.size, &width, &height, &subsampling, &colourspace);
        const int pitch = (width * 3 + 3) & ~3;
        std::unique_ptr<unsigned char[]> bgr(new unsigned char[static_cast<std::size_t>(pitch) * height]);
        if (tjDecompress2(handle, data, file.size, bgr.get(), width, pitch, height, TJPF_BGR, TJFLAG_BOTTOMUP) != 0)
            state.SkipWithError(tjGetErrorStr2(handle));
        tjDestroy(handle);
        benchmark::DoNotOptimize(bgr.get());
    }
}

void BM_QImageReader(benchmark::State& state, const std::string& name) {
    const JpegFile& file = Files().at(name);
    const QByteArray bytes = QByteArray::fromRawData(file.bytes.data(), static_cast<qsizetype>(file.size));
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        const QImage image = reader.read();
        if (image.isNull()) state.SkipWithError("QImageReader failed");
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_Refresh(benchmark::State& state) {
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    for (auto _ : state) plugs.Refresh();
    state.counters["plugins"] = plugs.Count();
}

// Everything the host adds to a decode: the rescan and loading each
// plug-in in name order until one accepts the data.
void BM_PickPlugin(benchmark::State& state) {
    const JpegFile& file = Files().at("baseline");
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    for (auto _ : state)
        if (!DecodeThroughHost(plugs, file, false)) state.SkipWithError("no plug-in accepted the file");
}

// Keeps every run's wall time and CPU time per iteration for the ratios.
// The plug-in uses a second thread, so the targets are judged on wall
// time; the CPU time of all threads shows the work spent to get there.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations <= 0 || run.run_type != Run::RT_Iteration) continue;
            const auto iterations = static_cast<double>(run.iterations);
            wallSeconds[run.run_name.function_name].push_back(run.real_accumulated_time / iterations);
            cpuSeconds[run.run_name.function_name].push_back(run.cpu_accumulated_time / iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::vector<double>> wallSeconds;
    std::map<std::string, std::vector<double>> cpuSeconds;
};

long ProcStatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    return -1;
}

// Peak resident memory of one decode through the host beyond what was
// resident before it, against the size of the bitmap it returns.
void PrintPeakMemory(const std::string& name) {
    const JpegFile& file = Files().at(name);
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    plugs.Refresh();
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = ProcStatusKilobytes("VmRSS:");
    DecodeThroughHost(plugs, file);
    const long peak = ProcStatusKilobytes("VmHWM:");
    const double dibMegabytes = ((kWidth * 3 + 3) & ~3) * static_cast<double>(kHeight) / 1048576.0;
    std::printf("peak memory %-12s %.1f MB above the file (%.1f MB), bitmap %.1f MB: %.2f x bitmap\n",
                name.c_str(), (peak - before) / 1024.0, file.size / 1048576.0, dibMegabytes,
                (peak - before) / 1024.0 / dibMegabytes);
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

void PrintRatio(const RecordingReporter& reporter, const std::string& label, const std::string& ours,
                const std::string& theirs, double target) {
    const double wall = Median(reporter.wallSeconds, ours) / Median(reporter.wallSeconds, theirs);
    const double cpu = Median(reporter.cpuSeconds, ours) / Median(reporter.cpuSeconds, theirs);
    if (!std::isfinite(wall) || !std::isfinite(cpu)) return;
    std::printf("%-42s wall %7.4f (target <= %.2f) %-6s cpu %7.4f\n", label.c_str(), wall, target,
                wall <= target ? "ok" : "MISSED", cpu);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kelvandor-jpeg-bench";
    std::filesystem::create_directories(folder);
    Files()["baseline"] = MakeJpeg(folder.string(), "baseline.jpg", "");
    Files()["progressive"] = MakeJpeg(folder.string(), "progressive.jpg", "-interlace JPEG");
    std::filesystem::remove_all(folder);

    for (const std::string name : {"baseline", "progressive"}) {
        benchmark::RegisterBenchmark(("plugin/" + name).c_str(), BM_Plugin, name)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("turbojpeg/" + name).c_str(), BM_TurboJpeg, name)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("qimagereader/" + name).c_str(), BM_QImageReader, name)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime();
    }
    benchmark::RegisterBenchmark("refresh", BM_Refresh)->Unit(benchmark::kMicrosecond)->UseRealTime();
    benchmark::RegisterBenchmark("pick-plugin", BM_PickPlugin)->Unit(benchmark::kMicrosecond)->UseRealTime();

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const std::string name : {"baseline", "progressive"}) {
        PrintRatio(reporter, "plugin / turbojpeg, " + name, "plugin/" + name, "turbojpeg/" + name, 1.10);
        PrintRatio(reporter, "plugin / qimagereader, " + name, "plugin/" + name, "qimagereader/" + name, 0.80);
        PrintRatio(reporter, "refresh / plugin decode, " + name, "refresh", "plugin/" + name, 0.05);
        PrintRatio(reporter, "refresh + choice / plugin decode, " + name, "pick-plugin", "plugin/" + name, 0.05);
    }
    for (const std::string name : {"baseline", "progressive"}) PrintPeakMemory(name);
    benchmark::Shutdown();
    return 0;
}
