// A 12-megapixel photo-like PNG decoded as the view does it (rescan of the
// plug-in folder, first plug-in that accepts the data, picture information,
// picture, blocks freed) beside a direct libpng decode of the same bytes
// into a bottom-up BGR buffer. Prints the ratio and the peak memory of one
// decode through the plug-in.

#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
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

// The data as the view holds it: the whole file plus zero padding.
struct PngFile {
    std::vector<char> bytes;
    std::size_t size = 0;
};

std::map<std::string, PngFile>& Files() {
    static std::map<std::string, PngFile> files;
    return files;
}

PngFile MakePng(const std::string& folder, const std::string& name, const std::string& options) {
    const std::string path = folder + "/" + name;
    const std::string command = "convert -seed 7 -size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                " plasma:fractal -blur 0x1 -attenuate 0.3 +noise Gaussian -depth 8 " + options +
                                " '" + path + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("convert failed: " + command);
    std::ifstream in(path, std::ios::binary);
    PngFile file;
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

bool DecodeThroughHost(TSusiePlugs& plugs, const PngFile& file) {
    plugs.Refresh();
    for (int i = 0; i < plugs.Count(); ++i) {
        TSusiePlug& plug = *plugs.Items(i);
        TSusiePlugUse use(plug);
        if (!use.Loaded() || !plug.IsSupported(nullptr, reinterpret_cast<intptr_t>(file.bytes.data()))) continue;
        PictureInfo info{};
        plug.GetPictureInfo(file.bytes.data(), static_cast<int32_t>(file.size), SPI_INPUT_MEMORY, &info);
        Blocks blocks;
        return plug.GetPicture(file.bytes.data(), static_cast<int32_t>(file.size), SPI_INPUT_MEMORY, &blocks.info,
                               &blocks.bits, nullptr, 0) == SPI_SUCCESS;
    }
    return false;
}

struct MemoryReader {
    const char* data;
    std::size_t size;
    std::size_t at;
};

void ReadFromMemory(png_structp png, png_bytep out, std::size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (reader->size - reader->at < length) png_error(png, "truncated");
    std::memcpy(out, reader->data + reader->at, length);
    reader->at += length;
}

// libpng's usual whole-image read: 8-bit BGR rows, bottom-up, padded to
// four bytes, into one buffer; alpha composited over white by libpng.
bool DecodeWithLibpng(const PngFile& file, std::vector<png_bytep>& rows, std::unique_ptr<png_byte[]>& pixels) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryReader reader{file.bytes.data(), file.size, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_scale_16(png);
    png_color_16 white{0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    png_set_background_fixed(png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, PNG_FP_1);
    png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    pixels.reset(new png_byte[stride * height]);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.get() + (height - 1 - y) * stride;
    for (int pass = 0; pass < passes; ++pass) png_read_rows(png, rows.data(), nullptr, height);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

void BM_Plugin(benchmark::State& state, const std::string& name) {
    const PngFile& file = Files().at(name);
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    for (auto _ : state)
        if (!DecodeThroughHost(plugs, file)) state.SkipWithError("no plug-in decoded the file");
}

void BM_Libpng(benchmark::State& state, const std::string& name) {
    const PngFile& file = Files().at(name);
    for (auto _ : state) {
        std::vector<png_bytep> rows;
        std::unique_ptr<png_byte[]> pixels;
        if (!DecodeWithLibpng(file, rows, pixels)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(pixels.get());
    }
}

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

long ProcStatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    return 0;
}

// Peak resident memory of one decode through the plug-in, above what the
// process held before; the kernel's high-water mark is reset first.
void PrintPeakMemory(const std::string& name) {
    const PngFile& file = Files().at(name);
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = ProcStatusKilobytes("VmRSS:");
    DecodeThroughHost(plugs, file);
    const long peak = ProcStatusKilobytes("VmHWM:");
    const double dibMegabytes = ((kWidth * 3 + 3) & ~3) * static_cast<double>(kHeight) / 1048576.0;
    std::printf("peak memory %-10s %.1f MB above the file (%.1f MB), bitmap %.1f MB: %.2f x bitmap\n",
                name.c_str(), (peak - before) / 1024.0, file.size / 1048576.0, dibMegabytes,
                (peak - before) / 1024.0 / dibMegabytes);
}

void PrintRatio(const RecordingReporter& reporter, const std::string& name) {
    const auto ours = reporter.seconds.find("plugin/" + name);
    const auto theirs = reporter.seconds.find("libpng/" + name);
    if (ours == reporter.seconds.end() || theirs == reporter.seconds.end()) return;
    const double ratio = ours->second / theirs->second;
    std::printf("plugin / libpng, %-14s %6.3f (target <= 1.00) %s\n", name.c_str(), ratio,
                ratio <= 1.0 ? "ok" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);

    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kelvandor-png-bench";
    std::filesystem::create_directories(folder);
    Files()["rgb"] = MakePng(folder.string(), "rgb.png", "-define png:color-type=2");
    Files()["rgba"] = MakePng(folder.string(), "rgba.png",
                              "\\( +clone -fx i/w \\) -alpha off -compose copy_opacity -composite "
                              "-define png:color-type=6");
    Files()["interlaced"] = MakePng(folder.string(), "interlaced.png", "-interlace PNG -define png:color-type=2");
    std::filesystem::remove_all(folder);

    const char* names[] = {"rgb", "rgba", "interlaced"};
    for (const std::string name : names) PrintPeakMemory(name);
    for (const std::string name : names) {
        benchmark::RegisterBenchmark(("plugin/" + name).c_str(), BM_Plugin, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("libpng/" + name).c_str(), BM_Libpng, name)->Unit(benchmark::kMillisecond);
    }
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const std::string name : names) PrintRatio(reporter, name);
    benchmark::Shutdown();
    return 0;
}
