// Opening a 12-megapixel JPEG from the file list of the main window until
// the raster view has painted it, beside the plug-in decode of that file
// alone (the file read, the plug-in folder rescanned and the JPEG plug-in
// asked for the picture, as the view asks it).
//
// Cold: the file's pages are dropped from the page cache before every
// open on both sides, as a user meets a photo opened for the first time.
// Warm: the same with the file cached, which shows the window's own cost
// more sharply. The window paints offscreen in the work area's size, in
// the default paint mode. Wall time and the CPU time of all threads;
// medians of the repetitions, interleaved.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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
#include "shell/shell_list_view.h"

namespace {

using main_window_bench::PaintCounter;

const char kPhoto[] = "photo.jpg";

// The window, the photo and its row; made in main.
struct Setup {
    main_window_bench::WindowOverPictures window{"kelvandor-open-bench"};
    std::string photo = window.Picture(kPhoto);
    int row = -1;
};
Setup* setup = nullptr;

// Drops the file's pages from the page cache (written back first).
void DropFromCache(const std::string& path) {
    const int handle = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) std::abort();
    fdatasync(handle);
    posix_fadvise(handle, 0, 0, POSIX_FADV_DONTNEED);
    close(handle);
}

void BM_OpenFromList(benchmark::State& state, bool cold) {
    TMainForm& form = setup->window.Form();
    PaintCounter counter(*form.Raster());
    for (auto _ : state) {
        state.PauseTiming();
        form.CloseFile();
        form.ShellListView()->SetSelectedRows({setup->row});
        QCoreApplication::processEvents();
        if (cold) DropFromCache(setup->photo);
        counter.Paints = 0;
        state.ResumeTiming();
        form.OpenFile();
        while (counter.Paints == 0) QCoreApplication::processEvents();
        state.PauseTiming();
        if (!form.Raster()->HasImage()) state.SkipWithError("the photo did not open");
        state.ResumeTiming();
    }
}

void BM_PluginDecode(benchmark::State& state, bool cold) {
    const std::string& path = setup->photo;
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            DropFromCache(path);
            state.ResumeTiming();
        }
        // Read as the view reads it: the whole file with zero padding.
        host_decode::EncodedImage image;
        const int handle = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const auto size = static_cast<std::size_t>(std::filesystem::file_size(path));
        image.bytes.assign(size + 2048, 0);
        image.size = static_cast<std::size_t>(read(handle, image.bytes.data(), size));
        close(handle);
        if (image.size != size || !host_decode::DecodeThroughHost(plugs, image))
            state.SkipWithError("the plug-in did not decode the photo");
    }
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    SetUpApplication(application);
    Setup shared;
    setup = &shared;
    host_decode::MakePhotoLike(shared.window.Pictures(), kPhoto, "-quality 90");
    shared.window.Start();
    shared.row = main_window_bench::RowOf(shared.window.Form(), kPhoto);

    for (const bool cold : {true, false}) {
        const std::string suffix = cold ? "/cold" : "/warm";
        bench_report::Timed(benchmark::RegisterBenchmark(("open from list" + suffix).c_str(), BM_OpenFromList, cold));
        bench_report::Timed(benchmark::RegisterBenchmark(("plugin decode" + suffix).c_str(), BM_PluginDecode, cold));
    }
    bench_report::Initialize(argc, argv, 9);
    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);
    reporter.PrintMedians();
    reporter.PrintRatio("12 MP JPEG, cold: open from list / plug-in decode", "open from list/cold", "plugin decode/cold",
                        1.15);
    reporter.PrintRatio("12 MP JPEG, warm: open from list / plug-in decode", "open from list/warm", "plugin decode/warm",
                        1.15);
    return 0;
}
