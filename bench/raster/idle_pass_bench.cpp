// The idle pass over every raster and layer command, beside one repaint of
// the raster view those commands serve. The view shows a 4000 x 3000 image
// zoomed in one step, at the size it has in the main window's first
// layout (600 x 330), with an active layer of 100 markers in sight, one of
// them selected, and the layer tree bound and selected on that layer. The
// markers are few so that the repaint is not inflated by drawing them; the
// commands' rules read the layer's count and its selected object and never
// walk the markers, so their number does not change the pass. The repaint
// is the view's own (picture kept, markers drawn), forced with repaint()
// as the refresh command does. Wall and CPU
// time, medians of the repetitions; the bar is 0.1.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>

#include "bench_report.h"
#include "platform/action_list.h"
#include "raster/raster.h"
#include "raster/raster_actions.h"
#include "raster/raster_layers.h"
#include "raster/raster_tree_view.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kMarkers = 100;

void PutInt(std::vector<char>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = char(value >> (8 * i));
}

// A 24-bit BMP file with a gradient.
std::vector<char> Bitmap() {
    const std::size_t stride = (std::size_t(kWidth) * 3 + 3) & ~std::size_t(3);
    const std::size_t imageBytes = stride * kHeight;
    std::vector<char> bytes(54 + imageBytes, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutInt(bytes, 2, std::uint32_t(54 + imageBytes));
    PutInt(bytes, 10, 54);
    PutInt(bytes, 14, 40);
    PutInt(bytes, 18, kWidth);
    PutInt(bytes, 22, kHeight);
    bytes[26] = 1;
    bytes[28] = 24;
    PutInt(bytes, 34, std::uint32_t(imageBytes));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            char* pixel = bytes.data() + 54 + stride * std::size_t(y) + 3 * std::size_t(x);
            pixel[0] = char(x * 255 / kWidth);
            pixel[1] = char(y * 255 / kHeight);
            pixel[2] = char((x + y) & 0xff);
        }
    return bytes;
}

struct Fixture {
    std::string folder;
    QWidget window;
    TRaster* raster = new TRaster(&window);
    TRasterTreeView* tree = new TRasterTreeView(&window);
    platform::ActionList list;
    std::vector<std::unique_ptr<platform::Action>> actions;

    Fixture() {
        std::string pattern = (std::filesystem::temp_directory_path() / "idle-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern;
        const std::string image = folder + "/photo.bmp";
        const std::vector<char> bytes = Bitmap();
        std::ofstream(image, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));

        window.resize(818, 464);
        tree->setGeometry(0, 0, 200, 464);
        raster->setGeometry(210, 130, 600, 330);
        tree->SetRaster(raster);
        raster->SetPluginPath(QString::fromStdString(KELVANDOR_PLUGIN_DIR));
        window.show();
        if (!raster->LoadFromFile(QString::fromStdString(image))) std::abort();
        AddMarkers();
        raster->ZoomAt(QPoint(300, 165), zdZoomIn);
        MakeActions();
        list.AddTarget(raster);
        list.AddTarget(tree);
        QApplication::processEvents();
    }
    ~Fixture() {
        // The markers are the benchmark's own: closing must not ask to keep them.
        raster->SetModified(false);
        std::filesystem::remove_all(folder);
    }

    void AddMarkers() {
        TRasterLayer* layer = raster->Layers().NewLayer();
        for (int i = 0; i < kMarkers; ++i) {
            auto marker = std::make_unique<TRasterObject>(layer);
            marker->SetX(1700 + (i % 10) * 60);
            marker->SetY(1200 + (i / 10) * 60);
            layer->AddObject(std::move(marker));
        }
        layer->SetMode(lmActive);
        layer->SetActiveObject(layer->Objects(kMarkers / 2));
        tree->setCurrentItem(tree->NodeAt(1));
    }

    template <class... Actions>
    void Make() {
        (actions.push_back(std::make_unique<Actions>()), ...);
    }
    void MakeActions() {
        Make<TRasterZoomRectToolAction, TRasterZoomInToolAction, TRasterZoomOutToolAction, TRasterScrollToolAction,
             TRasterCenteringToolAction, TRasterObjectSelectToolAction, TRasterObjectCreateToolAction,
             TRasterObjectMoveToolAction, TRasterObjectDeleteAction, TRasterObjectEditAction, TRasterViewExtentAction,
             TRasterViewRefreshAction, TRasterViewModeNormalAction, TRasterViewModeExpandAction,
             TRasterPaintModeColorOnAction, TRasterPaintModeHalfToneAction, TRasterLoadCancelAction,
             TRasterLayerCreateAction, TRasterLayerDeleteAction, TRasterLayerRenameAction, TRasterLayerModeAction,
             TRasterLayerModeAction, TRasterLayerModeAction, TRasterLayerOrderUpAction, TRasterLayerOrderDownAction>();
        // The main window's seven commands of the generic kind.
        for (int i = 0; i < 7; ++i) actions.push_back(std::make_unique<TRasterAction>());
        for (const auto& action : actions) list.Add(action.get());
    }
};

Fixture* fixture = nullptr;

void IdlePass(benchmark::State& state) {
    for (auto _ : state) fixture->list.UpdateActions();
    if (!fixture->actions.front()->isEnabled()) state.SkipWithError("commands not enabled");
}

void Repaint(benchmark::State& state) {
    for (auto _ : state) fixture->raster->repaint();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    bench_report::Initialize(argc, argv, 9);
    Fixture shared;
    fixture = &shared;
    bench_report::Timed(benchmark::RegisterBenchmark("idle pass/32 commands", IdlePass));
    bench_report::Timed(benchmark::RegisterBenchmark("raster view repaint/600x330", Repaint));

    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);

    reporter.PrintMedians();
    std::printf("\n");
    reporter.PrintRatio("idle pass / one repaint of the view", "idle pass/32 commands",
                        "raster view repaint/600x330", 0.1);
    return 0;
}
