// What running a Windows plug-in in the Wine helper costs beside running
// one in the program:
//  - the time the bridge adds to a warm decode of a 12-megapixel 24-bit BMP
//    by the cross-built BMP plug-in (the whole call through the helper
//    minus the plug-in's own GetPicture time, measured inside the helper)
//    against one memcpy of the bitmap into a warm buffer;
//  - asking ten Windows plug-ins IsSupported, as every decode does before
//    the accepting plug-in is found (ten copies of the cross-built test
//    plug-in, none accepting; a new file each time), against the bundled
//    JPEG plug-in's decode of a 12-megapixel JPEG through the host;
//  - the first use: starting Wine with a fresh prefix and with an existing
//    one.
// Medians over the repetitions; wall time, and CPU time of the program
// plus the helper (the helper's read from /proc).

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QGuiApplication>

#include "bench_report.h"
#include "host_decode.h"
#include "plugins/plug_library.h"
#include "plugins/susie_plug.h"
#include "plugins/wine_bridge.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kRepetitions = 15;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

// CPU time of all threads of a process (the helper), from the scheduler.
double OtherProcessCpuSeconds(int pid) {
    if (pid <= 0) return 0;
    double seconds = 0;
    std::error_code error;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream stat(task.path() / "schedstat");
        unsigned long long onCpu = 0;
        if (stat >> onCpu) seconds += onCpu * 1e-9;
    }
    return seconds;
}

struct Row {
    std::string name;
    double wall = 0;
    double cpu = 0;
};

// Runs body `iterations` times per repetition; medians per iteration.
Row Measure(const std::string& name, int iterations, const std::function<void()>& body,
            const std::function<int()>& helperPid = {}) {
    body();  // warm
    std::vector<double> walls;
    std::vector<double> cpus;
    for (int r = 0; r < kRepetitions; ++r) {
        const int pid = helperPid ? helperPid() : -1;
        const double helperBefore = OtherProcessCpuSeconds(pid);
        const double cpuBefore = ProcessCpuSeconds();
        const auto start = Clock::now();
        for (int i = 0; i < iterations; ++i) body();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = ProcessCpuSeconds() - cpuBefore + OtherProcessCpuSeconds(pid) - helperBefore;
        walls.push_back(wall / iterations);
        cpus.push_back(cpu / iterations);
    }
    Row row{name, bench_report::Median(walls), bench_report::Median(cpus)};
    std::printf("%-46s wall %9.3f ms   cpu %9.3f ms\n", name.c_str(), row.wall * 1e3, row.cpu * 1e3);
    return row;
}

void PrintRatio(const std::string& label, const Row& ours, const Row& theirs, double bar) {
    const double wall = ours.wall / theirs.wall;
    std::printf("%-58s wall %8.4f x (bar %.2f x: %s)   cpu %8.4f x\n", label.c_str(), wall, bar,
                wall <= bar ? "met" : "MISSED", ours.cpu / theirs.cpu);
}

std::vector<char> Bmp(int width, int height) {
    const std::size_t stride = SPI_DibStride(width, 24);
    std::vector<char> file(54 + stride * height + 2048, 0);
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size() - 2048));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    for (std::size_t i = 54; i < file.size() - 2048; ++i) file[i] = static_cast<char>(i * 31 / 7);
    return file;
}

// As the view passes it; the program's own answers nothing.
int SPI_CALL KeepGoing(int, int, std::intptr_t) { return 0; }

TWineBridgeSettings WithHelper() {
    TWineBridgeSettings settings;
    settings.HelperFolder = KELVANDOR_HELPER_DIR;
    return settings;
}

void ColdStarts(const std::string& plugin) {
    const fs::path cache = fs::temp_directory_path() / "kelvandor-wine-bench-cache";
    fs::remove_all(cache);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    const std::pair<const char*, bool> starts[] = {{"first use, fresh Wine prefix", true},
                                                   {"first use, existing prefix", true},
                                                   {"restart, Wine server still up", false}};
    for (const auto& [label, serverGone] : starts) {
        TWineBridge::Configure(WithHelper());
        // Let the Wine server of the previous start leave, as after a reboot
        // or a long pause; a restart after a crash finds it still running.
        const std::string waitForServer =
            "WINEPREFIX=" + (cache / "kelvandor/wine").string() + " wineserver -w 2>/dev/null";
        // Its exit status only tells whether a server was up.
        if (serverGone && std::system(waitForServer.c_str()) == -1) std::perror("wineserver");
        const auto start = Clock::now();
        const double cpuBefore = ProcessCpuSeconds();
        std::string unavailable;
        const bool opened = OpenPlugLibrary(plugin, &unavailable) != nullptr;
        std::printf("%-46s wall %9.1f ms   cpu (program only) %7.1f ms%s\n", label,
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count(),
                    (ProcessCpuSeconds() - cpuBefore) * 1e3, opened ? "" : "  FAILED");
    }
    TWineBridge::Configure(WithHelper());
    fs::remove_all(cache);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QGuiApplication application(argc, argv);
    const std::string windowsPlugins = std::string(KELVANDOR_WINDOWS_PLUGIN_DIR) + "/win32";
    if (!fs::exists(windowsPlugins + "/ifbmp.spi")) {
        std::printf("no cross-built Windows plug-ins (mingw-w64 missing at configure time)\n");
        return 0;
    }
    std::printf("Windows plug-ins through the Wine helper (32-bit), %d repetitions, medians\n\n", kRepetitions);
    ColdStarts(windowsPlugins + "/ktest.spi");
    // The warm rows share one prefix in the temporary folder.
    const fs::path cache = fs::temp_directory_path() / "kelvandor-wine-bench-warm";
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    TWineBridge::Configure(WithHelper());

    // (a) The bridge's share of a warm 12-megapixel BMP decode.
    const std::vector<char> bmp = Bmp(host_decode::kWidth, host_decode::kHeight);
    const auto bmpSize = static_cast<std::int32_t>(bmp.size() - 2048);
    std::string unavailable;
    std::unique_ptr<TPlugLibrary> bmpPlugin = OpenPlugLibrary(windowsPlugins + "/ifbmp.spi", &unavailable);
    if (bmpPlugin == nullptr) {
        std::printf("the Windows BMP plug-in does not open: %s\n", unavailable.c_str());
        return 1;
    }
    TWineBridge& bridge = TWineBridge::Of(TWindowsBitness::Win32);
    const auto helperPid = [&bridge] { return bridge.HelperProcessId(); };
    std::vector<double> pluginSeconds;
    const Row total = Measure("bmp decode through the helper (total)", 4, [&] {
        HLOCAL info = nullptr;
        HLOCAL bits = nullptr;
        if (bmpPlugin->GetPicture(bmp.data(), bmpSize, SPI_INPUT_MEMORY, &info, &bits, &KeepGoing, 0) != SPI_SUCCESS)
            std::printf("decode failed\n");
        pluginSeconds.push_back(std::chrono::duration<double>(bridge.LastPluginTime()).count());
        FreeLocalBlock(info);
        FreeLocalBlock(bits);
    }, helperPid);
    const double pluginOwn = bench_report::Median(pluginSeconds);
    std::printf("%-46s wall %9.3f ms\n", "  of it the plug-in's own GetPicture", pluginOwn * 1e3);
    // The plug-in's own CPU time cannot be read inside Wine finely enough;
    // its wall time stands in for it on both sides of the difference.
    const Row bridgeShare{"bridge", total.wall - pluginOwn, total.cpu - pluginOwn};
    std::printf("%-46s wall %9.3f ms   cpu %9.3f ms (less the plug-in's wall time)\n", "  the bridge's share",
                bridgeShare.wall * 1e3, bridgeShare.cpu * 1e3);
    const std::size_t bitmapBytes = SPI_DibStride(host_decode::kWidth, 24) * host_decode::kHeight;
    std::vector<char> from(bitmapBytes, 1);
    std::vector<char> to(bitmapBytes, 2);
    const Row copy = Measure("memcpy of the bitmap (warm buffers)", 4, [&] {
        std::memcpy(to.data(), from.data(), bitmapBytes);
        benchmark::DoNotOptimize(to.data());
    });

    // (b) Ten Windows plug-ins asked in turn against the JPEG decode.
    const fs::path tenFolder = fs::temp_directory_path() / "kelvandor-ten-windows-plugins";
    fs::remove_all(tenFolder);
    fs::create_directories(tenFolder);
    for (int i = 0; i < 10; ++i)
        fs::copy_file(windowsPlugins + "/ktest.spi", tenFolder / ("win" + std::to_string(i) + ".spi"));
    const fs::path jpegFolder = fs::temp_directory_path() / "kelvandor-windows-bench-jpeg";
    fs::create_directories(jpegFolder);
    const host_decode::EncodedImage jpeg =
        host_decode::MakePhotoLike(jpegFolder.string(), "photo.jpg", "-depth 8 -quality 90");
    fs::remove_all(jpegFolder);
    TSusiePlugs ten;
    ten.SetPath(tenFolder.string());
    if (ten.Count() != 10) std::printf("only %d of the ten Windows plug-ins load\n", ten.Count());
    // Each round asks about another file, as opening the next one does:
    // answers kept from the round before must not count.
    host_decode::EncodedImage asked = jpeg;
    const Row asking = Measure(
        "IsSupported of ten Windows plug-ins", 20,
        [&] {
            ++asked.bytes[2047];
            host_decode::DecodeThroughHost(ten, asked, false);
        },
        helperPid);
    TSusiePlugs bundled;
    bundled.SetPath(KELVANDOR_PLUGIN_DIR);
    const Row jpegDecode = Measure("12-megapixel JPEG through the bundled plug-in", 1,
                                   [&] { host_decode::DecodeThroughHost(bundled, jpeg); });
    fs::remove_all(tenFolder);

    std::printf("\n");
    PrintRatio("bridge's share of the BMP decode / memcpy of the bitmap", bridgeShare, copy, 4.0);
    PrintRatio("IsSupported of ten Windows plug-ins / JPEG decode", asking, jpegDecode, 0.01);
    TWineBridge::StopAll();
    fs::remove_all(cache);
    return 0;
}
