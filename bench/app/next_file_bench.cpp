// "Next file" in the main window over a folder of 12-megapixel JPEGs,
// from the command until the raster view has painted the new image,
// beside the plug-in decode of one of those files alone (the file read,
// the plug-in folder rescanned and the JPEG plug-in asked for the picture,
// as the view asks it).
//
// next file/read ahead: the previous open's decode ahead had time to
//   finish. The timed part includes what follows in the window: the decode
//   ahead of the file after that starts at once and runs beside the paint.
// next file/at once: the command comes right after the open, so the
//   decode ahead is stopped and the view decodes in the foreground.
// read ahead/worker: the decode ahead itself on the pool (its own wall
//   and CPU), which the user pays for in the background.
// plugin decode: the reference, warm cache as the decode ahead reads it.
//
// Wall time and the CPU time of all threads; medians of the repetitions,
// interleaved. The window paints offscreen in the work area's size.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>

#include "app/application_setup.h"
#include "app/main_form.h"
#include "bench_report.h"
#include "host_decode.h"
#include "main_window_bench.h"
#include "raster/raster.h"
#include "raster/read_ahead.h"
#include "shell/shell_list_view.h"

namespace {

using main_window_bench::PaintCounter;

const std::vector<std::string> kPhotos = {"photo1.jpg", "photo2.jpg", "photo3.jpg"};

// The window and the first photo's row; made in main.
struct Setup {
    main_window_bench::WindowOverPictures window{"kelvandor-next-bench"};
    int firstRow = -1;
};
Setup* setup = nullptr;

QString SecondPhoto() { return QString::fromStdString(setup->window.Picture(kPhotos[1])); }

// Shows the first photo as the user opens it, so that "next" goes to the
// second; with settle, waits for the decode ahead of the second.
void OpenFirst(bool settle) {
    TMainForm& form = setup->window.Form();
    form.CloseFile();
    form.ShellListView()->SetSelectedRows({setup->firstRow});
    form.OpenFile();
    if (!form.Raster()->HasImage()) std::abort();
    while (settle && !form.Raster()->ReadAheadReady()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
}

void BM_NextFile(benchmark::State& state, bool readAhead) {
    TMainForm& form = setup->window.Form();
    PaintCounter counter(*form.Raster());
    const QString second = SecondPhoto();
    for (auto _ : state) {
        state.PauseTiming();
        OpenFirst(readAhead);
        counter.Paints = 0;
        state.ResumeTiming();
        form.NextFile();
        while (counter.Paints == 0) QCoreApplication::processEvents();
        state.PauseTiming();
        if (form.Raster()->FileName() != second || !form.Raster()->HasImage())
            state.SkipWithError("the second photo did not open");
        state.ResumeTiming();
    }
}

void BM_ReadAheadWorker(benchmark::State& state) {
    const QString second = SecondPhoto();
    TReadAhead ahead;
    for (auto _ : state) {
        ahead.Prepare(second, KELVANDOR_PLUGIN_DIR);
        ahead.Wait();
        state.PauseTiming();
        if (ahead.Take(second, KELVANDOR_PLUGIN_DIR) == nullptr) state.SkipWithError("the decode ahead failed");
        state.ResumeTiming();
    }
}

void BM_PluginDecode(benchmark::State& state) {
    const host_decode::EncodedImage& image = host_decode::Images().at(kPhotos[1]);
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    for (auto _ : state)
        if (!host_decode::DecodeThroughHost(plugs, image)) state.SkipWithError("the plug-in did not decode the photo");
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    SetUpApplication(application);
    Setup shared;
    setup = &shared;
    for (const std::string& name : kPhotos)
        host_decode::Images()[name] = host_decode::MakePhotoLike(shared.window.Pictures(), name, "-quality 90");
    shared.window.Start();
    shared.firstRow = main_window_bench::RowOf(shared.window.Form(), kPhotos[0]);

    bench_report::Timed(benchmark::RegisterBenchmark("next file/read ahead", BM_NextFile, true));
    bench_report::Timed(benchmark::RegisterBenchmark("next file/at once", BM_NextFile, false));
    bench_report::Timed(benchmark::RegisterBenchmark("read ahead/worker", BM_ReadAheadWorker));
    bench_report::Timed(benchmark::RegisterBenchmark("plugin decode", BM_PluginDecode));
    bench_report::Initialize(argc, argv, 9);
    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);
    reporter.PrintMedians();
    reporter.PrintRatio("12 MP JPEG: next file after the decode ahead / plug-in decode", "next file/read ahead",
                        "plugin decode", 0.2);
    reporter.PrintRatio("12 MP JPEG: next file without time to decode ahead / plug-in decode", "next file/at once",
                        "plugin decode", 1.15);
    reporter.PrintRatio("12 MP JPEG: decode ahead on the worker / plug-in decode", "read ahead/worker",
                        "plugin decode", 1.15);
    return 0;
}
