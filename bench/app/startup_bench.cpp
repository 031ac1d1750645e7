// Start-up of the program, from exec until the main window is painted with
// the folder tree and the home folder's list, beside a bare QMainWindow
// holding a QTreeView over a QFileSystemModel of the same folder until it
// is painted with that folder's entries.
//
// Each start is a new process (fork and exec of this program in a child
// mode), so every per-process cache (fonts, icon theme, MIME database,
// plug-ins) is cold on both sides, as a user meets them at each start.
// The page cache is warm for both: one start of each side runs before the
// measured ones, and this system does not let the benchmark drop it.
// Both sides paint offscreen into a window of the same size. Ours starts
// as the program does (Japanese interface, settings file, splash) but
// without the splash's fixed wait; the bare side gets Qt's defaults.
//
// Wall time runs from before the fork until the child has painted; CPU
// time is the child's own (all its threads) at that moment. Medians of
// the repetitions, interleaved.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QMainWindow>
#include <QScreen>
#include <QTreeView>

#include "app/application_setup.h"
#include "app/main_form.h"
#include "app/settings_file.h"
#include "bench_report.h"
#include "main_window_bench.h"
#include "platform/file_size_signal.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"

namespace {

constexpr int kFolders = 40;
constexpr int kFiles = 460;

// What one child reports through its pipe.
struct Sample {
    double paintedAt = 0;  // CLOCK_MONOTONIC seconds
    double cpuSeconds = 0;
};

double Monotonic() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Reports the moment and the CPU time spent, and leaves without tearing
// down: the measured span ends with the paint.
[[noreturn]] void ReportAndLeave(int fd) {
    const Sample sample{Monotonic(), OwnCpuSeconds()};
    if (write(fd, &sample, sizeof sample) != sizeof sample) _exit(2);
    _exit(0);
}

// --- The two children --------------------------------------------------------

int RunProgram(int argc, char** argv, const std::string& programFolder, int fd) {
    platform::WritesFailPastFileSizeLimit();
    QApplication application(argc, argv);
    SetUpApplication(application);
    TMainForm form(std::make_unique<SettingsFile>(programFolder + "/kelvandor", programFolder + "/config"),
                   std::chrono::milliseconds(0));
    QObject::connect(&form, &TMainForm::StartFinished, [&] {
        form.repaint();
        // Folders and the images among the files, in the home folder.
        const bool complete = form.ShellListView()->FolderPath() == QDir::homePath() &&
                              form.ShellListView()->RowCount() > kFolders &&
                              form.ShellTreeView()->SelectedPath() == QDir::homePath();
        if (!complete) _exit(3);
        ReportAndLeave(fd);
    });
    form.show();
    return application.exec();
}

int RunBare(int argc, char** argv, const QString& home, int fd) {
    QApplication application(argc, argv);
    QMainWindow window;
    QFileSystemModel model;
    auto* view = new QTreeView(&window);
    view->setModel(&model);
    view->setRootIndex(model.setRootPath(home));
    window.setCentralWidget(view);
    window.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    // The rows arrive in batches; painted once all are there.
    const auto paintWhenComplete = [&] {
        if (model.rowCount(view->rootIndex()) < kFolders + kFiles) return;
        window.repaint();
        ReportAndLeave(fd);
    };
    QObject::connect(&model, &QFileSystemModel::rowsInserted, paintWhenComplete);
    QObject::connect(&model, &QFileSystemModel::directoryLoaded, paintWhenComplete);
    window.show();
    return application.exec();
}

// --- The parent --------------------------------------------------------------

struct Setup {
    std::string base;
    std::string home;
    std::string program;  // the program's folder, with its settings file
    std::string self;
};

Setup& TheSetup() {
    static Setup setup;
    return setup;
}

void MakeHome() {
    Setup& setup = TheSetup();
    setup.base = main_window_bench::MakeTemporaryFolder("kelvandor-startup-bench");
    setup.home = setup.base + "/home";
    setup.program = setup.base + "/bin";
    namespace fs = std::filesystem;
    fs::create_directories(setup.home);
    fs::create_directories(setup.program);
    const char* folderNames[] = {"写真", "書類", "Downloads", "Music", "projects"};
    for (int i = 0; i < kFolders; ++i)
        fs::create_directory(setup.home + "/" + folderNames[i % 5] + " " + std::to_string(i));
    const char* extensions[] = {".jpg", ".png", ".txt", ".pdf", ".JPG", ".tif", ".odt", ".bmp"};
    for (int i = 0; i < kFiles; ++i) {
        const std::string file = setup.home + "/file " + std::to_string(i) + extensions[i % 8];
        const int handle = open(file.c_str(), O_CREAT | O_WRONLY, 0644);
        if (handle >= 0) close(handle);
    }
    main_window_bench::WriteSettings(setup.program, setup.home);
}

// Starts one child of the given side and waits for its report.
Sample StartChild(const char* side) {
    const Setup& setup = TheSetup();
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) std::abort();
    const double started = Monotonic();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], 3);
        fcntl(3, F_SETFD, 0);  // kept across exec even when the pipe was 3 already
        const std::string home = setup.home, program = setup.program;
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (setup.base + "/config").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(setup.self.c_str(), setup.self.c_str(), "--child", side, home.c_str(), program.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    Sample sample;
    const bool reported = read(pipeEnds[0], &sample, sizeof sample) == sizeof sample;
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!reported) {
        std::fprintf(stderr, "the %s child did not report (status %d)\n", side, status);
        std::abort();
    }
    sample.paintedAt -= started;
    return sample;
}

std::map<std::string, std::vector<Sample>>& Samples() {
    static std::map<std::string, std::vector<Sample>> samples;
    return samples;
}

void BM_Start(benchmark::State& state, const char* side) {
    for (auto _ : state) {
        const Sample sample = StartChild(side);
        state.SetIterationTime(sample.paintedAt);
        state.counters["cpu_ms"] = sample.cpuSeconds * 1e3;
        Samples()[side].push_back(sample);
    }
}

double MedianOf(const char* side, bool cpu) {
    std::vector<double> values;
    for (const Sample& sample : Samples()[side]) values.push_back(cpu ? sample.cpuSeconds : sample.paintedAt);
    return bench_report::Median(values);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0) {
        if (std::strcmp(argv[2], "kelvandor") == 0) return RunProgram(1, argv, argv[4], 3);
        return RunBare(1, argv, QString::fromLocal8Bit(argv[3]), 3);
    }
    TheSetup().self = std::filesystem::canonical("/proc/self/exe").string();
    MakeHome();
    // One start of each before the measured ones: the page cache is warm
    // for both alike.
    StartChild("kelvandor");
    StartChild("bare");
    for (const char* side : {"kelvandor", "bare"})
        benchmark::RegisterBenchmark((std::string("start/") + side).c_str(), BM_Start, side)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1);
    bench_report::Initialize(argc, argv, 15);
    bench_report::Run();

    std::printf("\nstart-up, %d folders and %d files in the home folder; median of %zu starts each\n", kFolders,
                kFiles, Samples()["kelvandor"].size());
    std::printf("%-44s %12s %12s\n", "", "wall ms", "cpu ms");
    for (const char* side : {"kelvandor", "bare"})
        std::printf("%-44s %12.1f %12.1f\n", side, MedianOf(side, false) * 1e3, MedianOf(side, true) * 1e3);
    const double wall = MedianOf("kelvandor", false) / MedianOf("bare", false);
    const double cpu = MedianOf("kelvandor", true) / MedianOf("bare", true);
    std::printf("%-44s wall %7.3f (target <= 2.00) %-6s cpu %7.3f\n", "main window / bare QMainWindow+QTreeView", wall,
                wall <= 2.0 ? "ok" : "MISSED", cpu);
    std::filesystem::remove_all(TheSetup().base);
    return 0;
}
