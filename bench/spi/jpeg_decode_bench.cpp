// A 12-megapixel photo-like JPEG, baseline and progressive, decoded as the
// view does it (rescan of the plug-in folder, first plug-in that accepts
// the data, picture information, picture, blocks freed) beside a direct
// TurboJPEG decode into a bottom-up BGR buffer and QImageReader (32-bit
// pixels, a third more bytes). Prints the ratios of the medians over the
// repetitions, wall and CPU time of all threads, as users get it and with
// the same page advice on both sides (see host_decode.h), and the peak
// memory of one decode through the plug-in. Repetitions are interleaved at
// random so that load from elsewhere falls on all contenders alike.

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host_decode.h"

namespace {

using namespace host_decode;

void BM_TurboJpeg(benchmark::State& state, const std::string& name) {
    const EncodedImage& file = Images().at(name);
    const auto* data = reinterpret_cast<const unsigned char*>(file.bytes.data());
    FaultCounter faults(state);
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
    const EncodedImage& file = Images().at(name);
    const QByteArray bytes = QByteArray::fromRawData(file.bytes.data(), static_cast<qsizetype>(file.size));
    FaultCounter faults(state);
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
    const EncodedImage& file = Images().at("baseline");
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    for (auto _ : state)
        if (!DecodeThroughHost(plugs, file, false)) state.SkipWithError("no plug-in accepted the file");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    bench_report::Initialize(argc, argv, 7);
    PrintSectionTitle();

    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kelvandor-jpeg-bench";
    std::filesystem::create_directories(folder);
    Images()["baseline"] = MakePhotoLike(folder.string(), "baseline.jpg", "-depth 8 -quality 90");
    Images()["progressive"] = MakePhotoLike(folder.string(), "progressive.jpg", "-depth 8 -quality 90 -interlace JPEG");
    std::filesystem::remove_all(folder);

    using bench_report::Timed;
    for (const std::string name : {"baseline", "progressive"}) {
        RegisterPluginDecode(name);
        Timed(benchmark::RegisterBenchmark(("turbojpeg/" + name).c_str(), BM_TurboJpeg, name));
        Timed(benchmark::RegisterBenchmark(("qimagereader/" + name).c_str(), BM_QImageReader, name));
    }
    Timed(benchmark::RegisterBenchmark("refresh", BM_Refresh));
    Timed(benchmark::RegisterBenchmark("pick-plugin", BM_PickPlugin));

    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);
    reporter.PrintMedians();
    std::printf("\n");
    for (const std::string name : {"baseline", "progressive"}) {
        reporter.PrintRatio("plugin / turbojpeg, " + name, "plugin/" + name, "turbojpeg/" + name, 1.05);
        reporter.PrintRatio("plugin / qimagereader, " + name, "plugin/" + name, "qimagereader/" + name,
                            name == "baseline" ? 0.85 : 1.0);
        if (HasPluginsBefore())
            reporter.PrintRatio("plugin / plugin before, " + name, "plugin/" + name, "plugin-before/" + name, 1.0);
        reporter.PrintRatio("refresh / plugin decode, " + name, "refresh", "plugin/" + name, 0.05);
        reporter.PrintRatio("refresh + choice / plugin decode, " + name, "pick-plugin", "plugin/" + name, 0.05);
    }
    for (const std::string name : {"baseline", "progressive"}) PrintPeakMemory(name);
    return RunAgainWithSamePageAdvice(argv);
}
