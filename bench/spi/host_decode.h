#pragma once

// What the decode benchmarks share: a photo-like test image made by
// ImageMagick, the view's way of decoding through the plug-in host, and
// the ratios and peak memory they print.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

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
// the blocks. With decode false, only the rescan and the choice.
bool DecodeThroughHost(TSusiePlugs& plugs, const EncodedImage& image, bool decode = true);

// Registers plugin/<name>: the decode through the bundled plug-ins.
void RegisterPluginDecode(const std::string& name);

// Wall and CPU time of all threads, the units every contender reports in.
benchmark::internal::Benchmark* Timed(benchmark::internal::Benchmark* benchmark);

// Keeps every run's wall time and CPU time per iteration for the ratios.
// The plug-ins use a second thread, so targets are judged on wall time;
// the CPU time of all threads shows the work spent to get there.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override;

    std::map<std::string, std::vector<double>> wallSeconds;
    std::map<std::string, std::vector<double>> cpuSeconds;
};

// Prints ours / theirs (medians over the repetitions) against the target.
void PrintRatio(const RecordingReporter& reporter, const std::string& label, const std::string& ours,
                const std::string& theirs, double target);

// Peak resident memory of one decode through the host beyond what was
// resident before it, against the size of the bitmap it returns.
void PrintPeakMemory(const std::string& name);

}  // namespace host_decode
