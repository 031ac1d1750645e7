// The file list on a folder of 100,200 entries, beside the references it
// must keep up with, in one run:
// - from SetFolderIDList to the first painted screen of the report view,
//   sorted by name, beside QTreeView over QFileSystemModel with a
//   QSortFilterProxyModel (until its directoryLoaded, sort and first
//   paint) and beside readdir plus a strcmp sort of the names;
// - re-sorting on each of the five columns beside std::sort of the same
//   keys in a plain vector (first sort, which reads the files' facts, and
//   repeated sorts);
// - painting one screen at row 0 and at row 99,990;
// - memory: resident bytes per entry above the empty list.
// Both sides start each repetition with a new view and model; the kernel's
// directory cache is warm for both (dropping it would disturb the machine).
// Times are medians of the repetitions, wall and CPU of all threads.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "bench_report.h"
#include "photo_folder.h"
#include "platform/shell_collation.h"
#include "platform/shell_icons.h"
#include "shell/shell_list_view.h"

namespace {

constexpr int kEntries = PhotoFolder::kFiles + PhotoFolder::kFolders;
constexpr QSize kWindow(900, 700);

std::string& FolderPath() {
    static std::string path;
    return path;
}

void WaitFor(const std::function<bool()>& done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

std::unique_ptr<TSHListView> ShownListView() {
    auto view = std::make_unique<TSHListView>();
    view->SetViewStyle(vsReport);
    view->resize(kWindow);
    view->show();
    QCoreApplication::processEvents();
    return view;
}

void ShowFolder(TSHListView& view, const std::string& path) {
    IDList folder = nullptr;
    IDListFromNativePath(path, folder);
    view.SetFolderIDList(folder);
    FreeIDList(folder);
}

void BM_ListViewFirstScreen(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<TSHListView> view = ShownListView();
        state.ResumeTiming();
        ShowFolder(*view, FolderPath());
        view->ReportView()->viewport()->repaint();
        state.PauseTiming();
        if (view->RowCount() != kEntries) state.SkipWithError("not every entry listed");
        view.reset();
        state.ResumeTiming();
    }
}

void BM_QFileSystemModelFirstScreen(benchmark::State& state) {
    const QString path = QString::fromStdString(FolderPath());
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<QFileSystemModel>();
        auto proxy = std::make_unique<QSortFilterProxyModel>();
        proxy->setSourceModel(model.get());
        proxy->setSortLocaleAware(true);
        proxy->setDynamicSortFilter(false);  // one sort once loaded, not one per batch
        auto view = std::make_unique<QTreeView>();
        view->setUniformRowHeights(true);
        view->setRootIsDecorated(false);
        view->setModel(proxy.get());
        view->resize(kWindow);
        view->show();
        QCoreApplication::processEvents();
        bool loaded = false;
        QObject::connect(model.get(), &QFileSystemModel::directoryLoaded, [&loaded] { loaded = true; });
        state.ResumeTiming();

        const QModelIndex root = model->setRootPath(path);
        view->setRootIndex(proxy->mapFromSource(root));
        WaitFor([&] { return loaded && model->rowCount(root) >= kEntries; });
        proxy->sort(0, Qt::AscendingOrder);
        view->viewport()->repaint();

        state.PauseTiming();
        if (model->rowCount(root) != kEntries) state.SkipWithError("not every entry listed");
        view.reset();
        proxy.reset();
        model.reset();
        state.ResumeTiming();
    }
}

void BM_ReaddirStrcmp(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ReaddirStrcmpSorted(FolderPath()).data());
}

// One list for the sorting and painting cases; it goes before the
// application object does.
std::unique_ptr<TSHListView>& SharedViewHolder() {
    static std::unique_ptr<TSHListView> view;
    return view;
}

TSHListView& SharedView() {
    std::unique_ptr<TSHListView>& view = SharedViewHolder();
    if (!view) {
        view = ShownListView();
        ShowFolder(*view, FolderPath());
    }
    return *view;
}

void BM_ListResort(benchmark::State& state) {
    const auto column = static_cast<THeaderCaption>(state.range(0));
    TSHFileList& list = SharedView().FileList();
    int direction = 1;
    for (auto _ : state) {
        direction = -direction;
        list.SetSortDirection(column, direction);
        list.ApplySort(column);
    }
}

// The keys the list sorts by, in a plain vector, with the same order.
// Names are kept apart (the keys view them), as the list's entries keep
// theirs.
struct PlainKey {
    bool folder = false;
    std::int64_t value = 0;
    platform::NaturalSortKey name;
};

std::vector<std::string>& PlainNames() {
    static std::vector<std::string> names;
    return names;
}

std::vector<PlainKey> PlainKeys(THeaderCaption column) {
    TSHFileList& list = SharedView().FileList();
    std::vector<std::string>& names = PlainNames();
    names.assign(static_cast<std::size_t>(list.Count()), std::string());
    std::map<QString, int> typeRanks;
    std::map<QString, int> attributeRanks;
    std::vector<QString> types(static_cast<std::size_t>(list.Count()));
    std::vector<QString> letters(types.size());
    std::vector<PlainKey> keys(types.size());
    for (int i = 0; i < list.Count(); ++i) {
        TSHFileItem& entry = *list.GetItem(i);
        PlainKey& key = keys[static_cast<std::size_t>(i)];
        const std::string& name = names[static_cast<std::size_t>(i)] = entry.GetFindData().FileName;
        key.name = platform::MakeNaturalSortKey(name);
        key.folder = entry.IsDirectory();
        switch (column) {
            case hcSize: key.value = key.folder ? 0 : static_cast<std::int64_t>(entry.Size()); break;
            case hcLastWrite: key.value = platform::UnixNsFromFileTime(entry.LastWriteTime()); break;
            case hcType:
                types[static_cast<std::size_t>(i)] =
                    key.folder ? platform::FolderTypeName() : platform::FileTypeName(name, platform::FileObjectType::Regular);
                typeRanks[types[static_cast<std::size_t>(i)]] = 0;
                break;
            case hcAttr:
                letters[static_cast<std::size_t>(i)] = platform::AttributeLetters(entry.Attributes());
                attributeRanks[letters[static_cast<std::size_t>(i)]] = 0;
                break;
            default: break;
        }
    }
    int rank = 0;
    for (auto& [text, value] : typeRanks) value = rank++;
    rank = 0;
    for (auto& [text, value] : attributeRanks) value = rank++;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (column == hcType) keys[i].value = typeRanks[types[i]];
        if (column == hcAttr) keys[i].value = attributeRanks[letters[i]];
    }
    return keys;
}

void BM_StdSortSameKeys(benchmark::State& state) {
    const auto column = static_cast<THeaderCaption>(state.range(0));
    const std::vector<PlainKey> keys = PlainKeys(column);
    int direction = 1;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<PlainKey> sorted = keys;
        direction = -direction;
        state.ResumeTiming();
        std::sort(sorted.begin(), sorted.end(), [direction, column](const PlainKey& a, const PlainKey& b) {
            int order = a.folder != b.folder ? (a.folder ? -1 : 1)
                                             : (column == hcName ? 0 : (a.value < b.value ? -1 : a.value > b.value));
            if (order == 0) order = platform::NaturalCompare(a.name, b.name);
            return order * direction < 0;
        });
        benchmark::DoNotOptimize(sorted.data());
    }
}

void BM_PaintScreen(benchmark::State& state) {
    TSHListView& view = SharedView();
    view.ScrollToRow(static_cast<int>(state.range(0)), true);
    QCoreApplication::processEvents();
    for (auto _ : state) view.ReportView()->viewport()->repaint();
    if (view.TopRow() != state.range(0)) state.SkipWithError("did not scroll there");
}

long ResidentBytes() {
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Resident memory of the listed folder above the same list showing an
// empty folder, first screen painted.
void ReportBytesPerEntry() {
    char pattern[] = "/tmp/kelvandor-bench-empty-XXXXXX";
    if (!mkdtemp(pattern)) return;
    {
        std::unique_ptr<TSHListView> view = ShownListView();
        ShowFolder(*view, pattern);
        view->ReportView()->viewport()->repaint();
        malloc_trim(0);
        const long empty = ResidentBytes();
        ShowFolder(*view, FolderPath());
        view->ReportView()->viewport()->repaint();
        malloc_trim(0);
        const long full = ResidentBytes();
        std::printf("memory: %.0f bytes per entry above the empty list (%d entries, %.1f MB) (target <= 300)\n",
                    static_cast<double>(full - empty) / view->RowCount(), view->RowCount(), (full - empty) / 1e6);
    }
    rmdir(pattern);
}

double CpuSeconds() {
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// The first sort on a column reads every entry's facts; later ones reuse
// them. Timed once per column on a fresh list.
void ReportFirstResorts() {
    std::unique_ptr<TSHListView> view = ShownListView();
    ShowFolder(*view, FolderPath());
    for (int column = kHeaderCaptionCount - 1; column >= 0; --column) {
        QElapsedTimer wall;
        const double cpu = CpuSeconds();
        wall.start();
        view->FileList().ApplySort(static_cast<THeaderCaption>(column));
        std::printf("first sort on column %d (reads the facts it needs): %.1f ms wall, %.1f ms CPU\n", column,
                    wall.nsecsElapsed() / 1e6, (CpuSeconds() - cpu) * 1e3);
    }
}

void Register() {
    const auto once = [](benchmark::internal::Benchmark* benchmark) { bench_report::Timed(benchmark)->Iterations(1); };
    once(benchmark::RegisterBenchmark("BM_ReaddirStrcmp", BM_ReaddirStrcmp));
    once(benchmark::RegisterBenchmark("BM_QFileSystemModelFirstScreen", BM_QFileSystemModelFirstScreen));
    once(benchmark::RegisterBenchmark("BM_ListViewFirstScreen", BM_ListViewFirstScreen));
    for (int column = 0; column < kHeaderCaptionCount; ++column) {
        once(benchmark::RegisterBenchmark(("BM_ListResort/" + std::to_string(column)).c_str(), BM_ListResort)->Arg(column));
        once(benchmark::RegisterBenchmark(("BM_StdSortSameKeys/" + std::to_string(column)).c_str(), BM_StdSortSameKeys)
                 ->Arg(column));
    }
    for (const int row : {0, 99'990})
        bench_report::Timed(benchmark::RegisterBenchmark(("BM_PaintScreen/" + std::to_string(row)).c_str(), BM_PaintScreen)
                                ->Arg(row))
            ->Iterations(20);
}

void PrintRatios(const bench_report::RecordingReporter& reporter) {
    reporter.PrintRatio("first screen: ours / QTreeView+QFileSystemModel+proxy", "BM_ListViewFirstScreen",
                        "BM_QFileSystemModelFirstScreen", 1.0);
    reporter.PrintRatio("first screen: ours / readdir+strcmp sort", "BM_ListViewFirstScreen", "BM_ReaddirStrcmp", 5.0);
    for (int column = 0; column < kHeaderCaptionCount; ++column)
        reporter.PrintRatio("re-sort column " + std::to_string(column) + ": ours / std::sort of the same keys",
                            "BM_ListResort/" + std::to_string(column), "BM_StdSortSameKeys/" + std::to_string(column),
                            3.0);
    reporter.PrintRatio("paint one screen: row 99,990 / row 0", "BM_PaintScreen/99990", "BM_PaintScreen/0", 1.2);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const PhotoFolder folder;
    FolderPath() = folder.Path();
    ReportBytesPerEntry();
    ReportFirstResorts();
    bench_report::Initialize(argc, argv, 5);
    Register();
    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);
    SharedViewHolder().reset();
    reporter.PrintMedians();
    std::printf("\n");
    PrintRatios(reporter);
    return 0;
}
