// A folder of 100,000 files listed and sorted by name as the file list does
// it (the namespace's enumerator, then column-0 order: folders first,
// natural order ignoring case) beside a bare readdir with std::sort by
// strcmp. Prints the ratio of the two medians over the repetitions, wall
// and CPU time.

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_report.h"
#include "photo_folder.h"
#include "shell/shell_id_func.h"

namespace {

std::string& FolderPath() {
    static std::string path;
    return path;
}

void BM_ReaddirStrcmp(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ReaddirStrcmpSorted(FolderPath()).data());
}

void BM_ShellEnumerateSort(benchmark::State& state) {
    IDList folderList = nullptr;
    IDListFromNativePath(FolderPath(), folderList);
    const ShellFolderPtr folder = BindToFolder(folderList);
    FreeIDList(folderList);
    for (auto _ : state) {
        std::vector<platform::UniqueIDList> items;
        auto enumerator = folder->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN);
        while (platform::UniqueIDList item = enumerator->Next()) items.push_back(std::move(item));
        std::sort(items.begin(), items.end(), [&](const auto& a, const auto& b) {
            return folder->CompareIDs(0, a.get(), b.get()).value_or(0) < 0;
        });
        benchmark::DoNotOptimize(items.data());
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const PhotoFolder folder;
    FolderPath() = folder.Path();
    bench_report::Initialize(argc, argv, 5);
    bench_report::Timed(benchmark::RegisterBenchmark("BM_ReaddirStrcmp", BM_ReaddirStrcmp));
    bench_report::Timed(benchmark::RegisterBenchmark("BM_ShellEnumerateSort", BM_ShellEnumerateSort));
    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);
    reporter.PrintMedians();
    std::printf("\n");
    reporter.PrintRatio("enumerate + column-0 sort / readdir + strcmp sort", "BM_ShellEnumerateSort",
                        "BM_ReaddirStrcmp", 5.0);
    return 0;
}
