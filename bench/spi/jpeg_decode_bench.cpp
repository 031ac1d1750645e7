// A 12-megapixel photo-like JPEG decoded as the view does it (rescan of
// the plug-in folder, first plug-in that accepts the data, picture
// information, picture, blocks freed) beside a direct TurboJPEG decode
// into a bottom-up BGR buffer and QImageReader. Prints the ratios and the
// peak memory of one decode through the plug-in.

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

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

// Keeps every run's CPU time per iteration for the ratios: all paths run
// on one thread, and on a shared machine wall time would also measure
// whatever else runs beside.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                seconds[run.benchmark_name()] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
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

void PrintRatio(const RecordingReporter& reporter, const std::string& label, const std::string& ours,
                const std::string& theirs, double target) {
    const auto a = reporter.seconds.find(ours);
    const auto b = reporter.seconds.find(theirs);
    if (a == reporter.seconds.end() || b == reporter.seconds.end()) return;
    const double ratio = a->second / b->second;
    std::printf("%-46s %7.4f (target <= %.2f) %s\n", label.c_str(), ratio, target, ratio <= target ? "ok" : "MISSED");
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
        benchmark::RegisterBenchmark(("plugin/" + name).c_str(), BM_Plugin, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("turbojpeg/" + name).c_str(), BM_TurboJpeg, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("qimagereader/" + name).c_str(), BM_QImageReader, name)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("refresh", BM_Refresh)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("pick-plugin", BM_PickPlugin)->Unit(benchmark::kMicrosecond);

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
