#pragma once

// What the decode benchmarks share: a photo-like test image made by
// ImageMagick, the view's way of decoding through the plug-in host, the
// two page-advice settings every program runs in, and the peak memory
// they print.
//
// Each program runs twice: first as users get it (the references
// allocate as a typical program does, in 4 KiB pages that fault one by
// one; the plug-ins ask for huge pages), then again with the same advice
// on both sides (malloc asks for huge pages for every large block it maps,
// GLIBC_TUNABLES=glibc.malloc.hugetlb=1), which shows the decoders
// themselves. Set KELVANDOR_BENCH_PLUGINS_BEFORE to a folder of plug-ins
// from an earlier build to run them beside the current ones.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "bench_report.h"
#include "plugins/susie_plug.h"

namespace host_decode {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The data as the view holds it: the whole file plus zero padding, so
// IsSupported may look at the leading bytes of any file.
struct EncodedImage {
    std::vector<char> bytes;
    std::size_t size = 0;
};

// The images of one benchmark program, by name.
std::map<std::string, EncodedImage>& Images();

// A kWidth x kHeight plasma picture written by `convert` with the given
// arguments (format options) into folder/name, and read back.
EncodedImage MakePhotoLike(const std::string& folder, const std::string& name, const std::string& arguments);

// The view's decode: rescan, pick a plug-in, ask it for the picture, free
// the blocks. With decode false, only the rescan and the choice. On
// success bitmapBytes (when given) gets the size of the returned pixel rows.
bool DecodeThroughHost(TSusiePlugs& plugs, const EncodedImage& image, bool decode = true,
                       std::size_t* bitmapBytes = nullptr);

// Registers plugin/<name>: the decode through the bundled plug-ins, and
// plugin-before/<name> through the earlier ones when they are given.
void RegisterPluginDecode(const std::string& name);
bool HasPluginsBefore();

// Counts the page faults of a benchmark's iterations into its "faults"
// counter (per iteration).
class FaultCounter {
public:
    explicit FaultCounter(benchmark::State& state);
    ~FaultCounter();

private:
    benchmark::State& state_;
    long before_;
};

// True in the run with the same page advice on both sides.
bool SamePageAdvice();
// The title of the run's section, printed before its rows.
void PrintSectionTitle();
// Runs the program again with the same page advice on both sides, unless
// this is that run; returns the exit code when it cannot.
int RunAgainWithSamePageAdvice(char** argv);

// Peak resident memory of one decode through the host beyond what was
// resident before it, against the size of the bitmap it returns.
void PrintPeakMemory(const std::string& name);

}  // namespace host_decode
