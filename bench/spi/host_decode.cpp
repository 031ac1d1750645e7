#include "host_decode.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace host_decode {
namespace {

constexpr std::size_t kHostPadding = 2048;

struct Blocks {
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    ~Blocks() {
        LocalFree(info);
        LocalFree(bits);
    }
};

constexpr char kSamePageAdvice[] = "glibc.malloc.hugetlb=1";
constexpr char kPluginsBefore[] = "KELVANDOR_BENCH_PLUGINS_BEFORE";

void BM_Plugin(benchmark::State& state, const std::string& name, const std::string& folder) {
    const EncodedImage& image = Images().at(name);
    TSusiePlugs plugs;
    plugs.SetPath(folder);
    FaultCounter faults(state);
    for (auto _ : state)
        if (!DecodeThroughHost(plugs, image)) state.SkipWithError("no plug-in decoded the file");
}

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

long ProcStatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    return -1;
}

}  // namespace

std::map<std::string, EncodedImage>& Images() {
    static std::map<std::string, EncodedImage> images;
    return images;
}

EncodedImage MakePhotoLike(const std::string& folder, const std::string& name, const std::string& arguments) {
    const std::string path = folder + "/" + name;
    const std::string command = "convert -seed 7 -size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                " plasma:fractal -blur 0x1 " + arguments + " '" + path + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("convert failed: " + command);
    std::ifstream in(path, std::ios::binary);
    EncodedImage image;
    image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    image.size = image.bytes.size();
    image.bytes.resize(image.size + kHostPadding, 0);
    return image;
}

bool DecodeThroughHost(TSusiePlugs& plugs, const EncodedImage& image, bool decode, std::size_t* bitmapBytes) {
    plugs.Refresh();
    for (int i = 0; i < plugs.Count(); ++i) {
        TSusiePlug& plug = *plugs.Items(i);
        TSusiePlugUse use(plug);
        if (!use.Loaded() || !plug.IsSupported(nullptr, reinterpret_cast<intptr_t>(image.bytes.data()))) continue;
        if (!decode) return true;
        PictureInfo info{};
        plug.GetPictureInfo(image.bytes.data(), static_cast<int32_t>(image.size), SPI_INPUT_MEMORY, &info);
        Blocks blocks;
        if (plug.GetPicture(image.bytes.data(), static_cast<int32_t>(image.size), SPI_INPUT_MEMORY, &blocks.info,
                            &blocks.bits, nullptr, 0) != SPI_SUCCESS)
            return false;
        if (bitmapBytes != nullptr) {
            const auto* header = static_cast<const SPI_BITMAPINFOHEADER*>(LocalLock(blocks.info));
            *bitmapBytes = SPI_DibStride(header->biWidth, header->biBitCount) * std::size_t(std::abs(header->biHeight));
            LocalUnlock(blocks.info);
        }
        return true;
    }
    return false;
}

void RegisterPluginDecode(const std::string& name) {
    bench_report::Timed(benchmark::RegisterBenchmark(("plugin/" + name).c_str(), BM_Plugin, name,
                                                     std::string(KELVANDOR_PLUGIN_DIR)));
    if (HasPluginsBefore())
        bench_report::Timed(benchmark::RegisterBenchmark(("plugin-before/" + name).c_str(), BM_Plugin, name,
                                                         std::string(std::getenv(kPluginsBefore))));
}

bool HasPluginsBefore() {
    const char* folder = std::getenv(kPluginsBefore);
    return folder != nullptr && *folder != 0;
}

FaultCounter::FaultCounter(benchmark::State& state) : state_(state), before_(MinorFaults()) {}

FaultCounter::~FaultCounter() {
    state_.counters["faults"] =
        benchmark::Counter(double(MinorFaults() - before_), benchmark::Counter::kAvgIterations);
}

bool SamePageAdvice() {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    return tunables != nullptr && std::strstr(tunables, kSamePageAdvice) != nullptr;
}

void PrintSectionTitle() {
    std::printf("\n=== %s ===\n", SamePageAdvice() ? "same page advice on both sides (malloc asks for huge pages)"
                                                    : "as users get it (references in 4 KiB pages)");
    std::fflush(stdout);
}

int RunAgainWithSamePageAdvice(char** argv) {
    if (SamePageAdvice()) return 0;
    std::fflush(stdout);
    setenv("GLIBC_TUNABLES", kSamePageAdvice, 1);
    execv("/proc/self/exe", argv);
    std::perror("running again with the same page advice");
    return 1;
}

void PrintPeakMemory(const std::string& name) {
    const EncodedImage& image = Images().at(name);
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    plugs.Refresh();
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = ProcStatusKilobytes("VmRSS:");
    std::size_t bitmapBytes = 0;
    if (!DecodeThroughHost(plugs, image, true, &bitmapBytes)) return;
    const long peak = ProcStatusKilobytes("VmHWM:");
    const double dibMegabytes = static_cast<double>(bitmapBytes) / 1048576.0;
    std::printf("peak memory %-12s %.1f MB above the file (%.1f MB), bitmap %.1f MB: %.2f x bitmap\n",
                name.c_str(), (peak - before) / 1024.0, image.size / 1048576.0, dibMegabytes,
                (peak - before) / 1024.0 / dibMegabytes);
}

}  // namespace host_decode
