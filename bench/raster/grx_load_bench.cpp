// Opening an image whose side file holds 10,000 layers of one marker each,
// beside opening one whose side file holds the same 10,000 markers in a
// single layer. Both go the user's whole way: LoadFromFile through the
// bundled BMP plug-in with a layer tree bound to the view, then
// CloseImage. Both side files are 6.2 MB, written once before the runs,
// so both are read from a warm page cache. Layers are hidden (mode 2) in
// one pair and active (mode 0) in the other: those are the modes whose
// setting touches the tree. Prints the ratios of the medians, wall and
// CPU; the bar is 3.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <QApplication>

#include "bench_report.h"
#include "platform/message_box.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_tree_view.h"

namespace {

constexpr int kObjects = 10000;
constexpr std::size_t kRecord = 620;

// Answers every question with No, so nothing is written over the files.
class DecliningMessageBoxes final : public platform::MessageBoxService {
public:
    platform::MessageResult Show(QWidget*, const QString&, platform::MessageIcon,
                                 platform::MessageButtons) override {
        return platform::MessageResult::No;
    }
};

void PutInt(std::vector<char>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = char(value >> (8 * i));
}

// A 4 x 3 24-bit BMP file.
std::vector<char> SmallBitmap() {
    const std::uint32_t imageBytes = 12 * 3;
    std::vector<char> bytes(54 + imageBytes, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutInt(bytes, 2, 54 + imageBytes);
    PutInt(bytes, 10, 54);
    PutInt(bytes, 14, 40);
    PutInt(bytes, 18, 4);
    PutInt(bytes, 22, 3);
    bytes[26] = 1;
    bytes[28] = 24;
    PutInt(bytes, 34, imageBytes);
    return bytes;
}

// kObjects records; a new layer name every record or never.
std::vector<char> SideFile(bool layerPerObject, std::uint8_t mode) {
    std::vector<char> bytes(kRecord * kObjects, 0);
    for (int i = 0; i < kObjects; ++i) {
        char* record = bytes.data() + kRecord * std::size_t(i);
        std::snprintf(record, 51, "layer %d", layerPerObject ? i : 0);
        std::snprintf(record + 51, 51, "marker %d", i);
        PutInt(bytes, kRecord * std::size_t(i) + 102, std::uint32_t(i % 4));
        PutInt(bytes, kRecord * std::size_t(i) + 106, std::uint32_t(i % 3));
        record[114] = char(mode);
    }
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

struct Fixture {
    std::string folder;
    std::map<std::string, QString> images;  // by benchmark name
    DecliningMessageBoxes boxes;

    Fixture() {
        std::string pattern = (std::filesystem::temp_directory_path() / "grx-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern;
        for (const auto& [mode, modeName] : {std::pair<std::uint8_t, const char*>{2, "hidden"}, {0, "active"}}) {
            for (const bool perObject : {true, false}) {
                const std::string stem = folder + "/" + modeName + (perObject ? "-layers" : "-one");
                WriteFile(stem + ".bmp", SmallBitmap());
                WriteFile(stem + ".grx", SideFile(perObject, mode));
                images[std::string(modeName) + (perObject ? "/10000 layers" : "/1 layer")] =
                    QString::fromStdString(stem + ".bmp");
            }
        }
        platform::SetMessageBoxService(&boxes);
    }
    ~Fixture() {
        platform::SetMessageBoxService(nullptr);
        std::filesystem::remove_all(folder);
    }
};

Fixture* fixture = nullptr;

void OpenAndClose(benchmark::State& state, const std::string& name) {
    TRaster view;
    TRasterTreeView tree;
    tree.SetRaster(&view);
    view.resize(800, 600);
    view.SetPluginPath(QString::fromStdString(KELVANDOR_PLUGIN_DIR));
    const QString& image = fixture->images.at(name);
    for (auto _ : state) {
        if (!view.LoadFromFile(image) || view.Layers().Count() == 0) state.SkipWithError("load failed");
        view.CloseImage();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    bench_report::Initialize(argc, argv, 9);
    Fixture shared;
    fixture = &shared;
    for (const std::string name : {"hidden/10000 layers", "hidden/1 layer", "active/10000 layers", "active/1 layer"})
        bench_report::Timed(benchmark::RegisterBenchmark(name.c_str(), [name](benchmark::State& state) {
            OpenAndClose(state, name);
        }));

    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);

    reporter.PrintMedians();
    std::printf("\n");
    for (const char* mode : {"hidden", "active"})
        reporter.PrintRatio(std::string(mode) + " layers: 10000 layers / 1 layer", std::string(mode) + "/10000 layers",
                            std::string(mode) + "/1 layer", 3.0);
    return 0;
}
