// A 12-megapixel photo-like PNG (RGB, RGBA, interlaced RGB) decoded as the
// view does it (rescan of the plug-in folder, first plug-in that accepts
// the data, picture information, picture, blocks freed) beside a direct
// libpng decode of the same bytes into a bottom-up BGR buffer. Prints the
// ratios of the medians over the repetitions, wall and CPU time of all
// threads, as users get it and with the same page advice on both sides
// (see host_decode.h), and the peak memory of one decode through the
// plug-in.

#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "host_decode.h"

namespace {

using namespace host_decode;

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
bool DecodeWithLibpng(const EncodedImage& file, std::vector<png_bytep>& rows, std::unique_ptr<png_byte[]>& pixels) {
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

void BM_Libpng(benchmark::State& state, const std::string& name) {
    const EncodedImage& file = Images().at(name);
    FaultCounter faults(state);
    for (auto _ : state) {
        std::vector<png_bytep> rows;
        std::unique_ptr<png_byte[]> pixels;
        if (!DecodeWithLibpng(file, rows, pixels)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(pixels.get());
    }
}

}  // namespace

int main(int argc, char** argv) {
    bench_report::Initialize(argc, argv, 7);
    PrintSectionTitle();

    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kelvandor-png-bench";
    std::filesystem::create_directories(folder);
    const std::string noisy = "-attenuate 0.3 +noise Gaussian -depth 8 ";
    Images()["rgb"] = MakePhotoLike(folder.string(), "rgb.png", noisy + "-define png:color-type=2");
    Images()["rgba"] = MakePhotoLike(folder.string(), "rgba.png",
                                     noisy + "\\( +clone -fx i/w \\) -alpha off -compose copy_opacity -composite "
                                             "-define png:color-type=6");
    Images()["interlaced"] =
        MakePhotoLike(folder.string(), "interlaced.png", noisy + "-interlace PNG -define png:color-type=2");
    std::filesystem::remove_all(folder);

    const char* names[] = {"rgb", "rgba", "interlaced"};
    for (const std::string name : names) PrintPeakMemory(name);
    for (const std::string name : names) {
        RegisterPluginDecode(name);
        bench_report::Timed(benchmark::RegisterBenchmark(("libpng/" + name).c_str(), BM_Libpng, name));
    }
    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);
    reporter.PrintMedians();
    std::printf("\n");
    for (const std::string name : names) {
        reporter.PrintRatio("plugin / libpng, " + name, "plugin/" + name, "libpng/" + name, 1.00);
        if (HasPluginsBefore())
            reporter.PrintRatio("plugin / plugin before, " + name, "plugin/" + name, "plugin-before/" + name, 1.0);
    }
    return RunAgainWithSamePageAdvice(argv);
}
