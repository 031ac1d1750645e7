// The folder tree on a folder of 10,000 subfolders (every tenth with a
// subfolder of its own, so that expand buttons differ).
//
// 1. Expanding it until every child node exists and the screen is painted,
//    beside a QTreeView over a QFileSystemModel expanding the same folder
//    until its directoryLoaded and the paint after it. Each side starts from
//    a fresh node (ours: the children dropped; theirs: a new model), in the
//    same process, so process-wide caches are warm on both sides alike. The
//    page cache is warm for both: this system does not let the benchmark
//    drop it.
// 2. A burst of 1,000 folders created under the expanded folder by another
//    thread, from the burst until the tree shows them (one refresh after
//    the quiet period): the main thread's busy wall time (awake, not
//    waiting for events) and its CPU time, beside one full enumeration of
//    the folder as it was before the burst through the namespace (list and
//    sort), and beside the tree's own enumeration of it (list, sort and
//    each child's expand button).

#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QTimer>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench_report.h"
#include "shell/shell_tree_view.h"

namespace {

constexpr int kSubfolders = 10'000;
constexpr int kBurst = 1'000;

struct Fixture {
    std::string base;    // holds only the big folder
    std::string folder;  // the 10,000 subfolders
};

Fixture& Folders() {
    static Fixture fixture;
    return fixture;
}

void MakeFolders() {
    char pattern[] = "/tmp/kelvandor-tree-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    Folders().base = pattern;
    Folders().folder = Folders().base + "/big";
    mkdir(Folders().folder.c_str(), 0755);
    char name[64];
    for (int i = 0; i < kSubfolders; ++i) {
        std::snprintf(name, sizeof name, "/folder %05d", i);
        const std::string path = Folders().folder + name;
        mkdir(path.c_str(), 0755);
        if (i % 10 == 0) mkdir((path + "/inner").c_str(), 0755);
    }
}

void ProcessEventsUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    // Sleeps between events: a spinning wait would be counted as the main
    // thread's work. The timer wakes the loop for the deadline.
    QTimer wake;
    wake.start(100);
    while (!done() && timer.elapsed() < 60'000) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!done()) std::abort();
}

// Runs the event loop until done, sleeping between rounds rather than
// waiting inside it; the wall time the rounds took (the main thread's busy
// time, the sleeps left out). Each empty round is counted too, so the
// figure errs on the high side.
double BusyProcessEventsUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    qint64 busyNs = 0;
    while (!done() && timer.elapsed() < 60'000) {
        QElapsedTimer round;
        round.start();
        QApplication::processEvents(QEventLoop::AllEvents);
        busyNs += round.nsecsElapsed();
        if (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!done()) std::abort();
    return static_cast<double>(busyNs) * 1e-9;
}

// The tree shown, with the big folder's node selected and collapsed.
struct TreeFixture {
    TSHTreeView tree;
    TSHTreeNode* node = nullptr;

    TreeFixture() {
        tree.resize(400, 600);
        tree.show();
        if (!tree.SelectPath(QString::fromStdString(Folders().folder))) std::abort();
        ProcessEventsUntil([this] { return !tree.IsReading(); });
        node = tree.SelectedNode();
        tree.scrollToItem(node, QAbstractItemView::PositionAtTop);
    }
    void Reset() {
        node->setExpanded(false);
        node->DeleteChildren();
        node->SetHasChildren(true);
        QApplication::processEvents();
    }
};

std::unique_ptr<TreeFixture>& TreeHolder() {
    static std::unique_ptr<TreeFixture> fixture;
    return fixture;
}

TreeFixture& Tree() {
    if (!TreeHolder()) TreeHolder() = std::make_unique<TreeFixture>();
    return *TreeHolder();
}

void BM_TreeExpand(benchmark::State& state) {
    TreeFixture& fixture = Tree();
    for (auto _ : state) {
        state.PauseTiming();
        fixture.Reset();
        state.ResumeTiming();
        fixture.node->setExpanded(true);
        // The folder is read on a thread of its own, as the model reads it.
        ProcessEventsUntil([&] { return !fixture.tree.IsReading(fixture.node); });
        fixture.tree.viewport()->repaint();
        if (fixture.node->childCount() != kSubfolders) std::abort();
    }
    fixture.Reset();
}

void BM_QFileSystemModelExpand(benchmark::State& state) {
    const QString base = QString::fromStdString(Folders().base);
    const QString folder = QString::fromStdString(Folders().folder);
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<QFileSystemModel>();
        model->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        QTreeView view;
        view.resize(400, 600);
        view.setModel(model.get());
        view.setRootIndex(model->setRootPath(base));
        view.show();
        bool baseLoaded = false;
        bool folderLoaded = false;
        QObject::connect(model.get(), &QFileSystemModel::directoryLoaded, [&](const QString& path) {
            baseLoaded = baseLoaded || path == base;
            folderLoaded = folderLoaded || path == folder;
        });
        ProcessEventsUntil([&] { return baseLoaded; });
        view.viewport()->repaint();
        const QModelIndex index = model->index(folder);
        state.ResumeTiming();
        view.expand(index);
        ProcessEventsUntil([&] { return folderLoaded; });
        view.viewport()->repaint();
        state.PauseTiming();
        if (model->rowCount(index) != kSubfolders) std::abort();
        state.ResumeTiming();
    }
}

// The folder the tree expands, bound as the tree binds it.
ShellFolderPtr TheFolder() {
    IDList list = nullptr;
    IDListFromNativePath(Folders().folder, list);
    const ShellFolderPtr folder = BindToFolder(list);
    FreeIDList(list);
    return folder;
}

// The folder's subfolders, hidden ones too, in the namespace's order.
std::vector<platform::UniqueIDList> SortedSubfolders(const ShellFolderPtr& folder) {
    std::vector<platform::UniqueIDList> items;
    auto enumerator = folder->EnumObjects(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN);
    while (platform::UniqueIDList item = enumerator->Next()) items.push_back(std::move(item));
    std::sort(items.begin(), items.end(), [&](const auto& a, const auto& b) {
        return folder->CompareIDs(0, a.get(), b.get()).value_or(0) < 0;
    });
    return items;
}

// One full enumeration of the folder as the namespace gives it.
void BM_EnumerateFolder(benchmark::State& state) {
    const ShellFolderPtr folder = TheFolder();
    for (auto _ : state) {
        std::vector<platform::UniqueIDList> items = SortedSubfolders(folder);
        benchmark::DoNotOptimize(items.data());
    }
}

// The same with each child's expand button, which the tree needs.
void BM_EnumerateFolderWithButtons(benchmark::State& state) {
    const ShellFolderPtr folder = TheFolder();
    for (auto _ : state) {
        std::vector<platform::UniqueIDList> items = SortedSubfolders(folder);
        std::uint32_t any = 0;
        for (const auto& item : items)
            any |= folder->GetAttributesOf(item.get(), platform::kHasSubFolder).value_or(0);
        benchmark::DoNotOptimize(any);
    }
}

void MakeBurst(bool create) {
    char name[64];
    for (int i = 0; i < kBurst; ++i) {
        std::snprintf(name, sizeof name, "/burst %04d", i);
        const std::string path = Folders().folder + name;
        if (create)
            mkdir(path.c_str(), 0755);
        else
            rmdir(path.c_str());
    }
}

// Manual time: the main thread's busy wall time from the burst until the
// tree shows it; the CPU time is the main thread's own over the same span.
// The count of refreshes is the count of insertions under the node (the
// burst's names sort together).
void BM_TreeBurstMainThread(benchmark::State& state) {
    TreeFixture& fixture = Tree();
    fixture.node->setExpanded(true);
    // Settled before the first burst: the folder read, the watch following
    // the expansion, the expanded folder painted once.
    ProcessEventsUntil([&] { return !fixture.tree.IsReading(fixture.node); });
    QApplication::processEvents();
    fixture.tree.viewport()->repaint();
    int insertions = 0;
    const QMetaObject::Connection counting = QObject::connect(
        fixture.tree.model(), &QAbstractItemModel::rowsInserted, [&](const QModelIndex& parent, int, int) {
            if (fixture.tree.itemFromIndex(parent) == fixture.node) ++insertions;
        });
    for (auto _ : state) {
        insertions = 0;
        std::thread maker(MakeBurst, true);
        state.SetIterationTime(
            BusyProcessEventsUntil([&] { return fixture.node->childCount() == kSubfolders + kBurst; }));
        maker.join();
        state.counters["refreshes"] = insertions;
        state.PauseTiming();
        std::thread remover(MakeBurst, false);
        remover.join();
        ProcessEventsUntil([&] { return fixture.node->childCount() == kSubfolders; });
        state.ResumeTiming();
    }
    QObject::disconnect(counting);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    MakeFolders();
    bench_report::Initialize(argc, argv, 5);
    bench_report::Timed(benchmark::RegisterBenchmark("BM_TreeExpand", BM_TreeExpand))->Iterations(3);
    bench_report::Timed(benchmark::RegisterBenchmark("BM_QFileSystemModelExpand", BM_QFileSystemModelExpand))
        ->Iterations(3);
    bench_report::Timed(benchmark::RegisterBenchmark("BM_EnumerateFolder", BM_EnumerateFolder));
    bench_report::Timed(benchmark::RegisterBenchmark("BM_EnumerateFolderWithButtons", BM_EnumerateFolderWithButtons));
    benchmark::RegisterBenchmark("BM_TreeBurstMainThread", BM_TreeBurstMainThread)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1);
    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);
    reporter.PrintMedians();
    std::printf("\n");
    reporter.PrintRatio("tree expand / QFileSystemModel expand", "BM_TreeExpand", "BM_QFileSystemModelExpand", 1.0);
    // The burst's wall time is the main thread's busy time, its CPU time the
    // main thread's; the enumeration runs on the main thread alone.
    reporter.PrintRatio("burst main thread / one enumeration", "BM_TreeBurstMainThread", "BM_EnumerateFolder", 1.5);
    reporter.PrintRatio("burst main thread / enumeration + buttons", "BM_TreeBurstMainThread",
                        "BM_EnumerateFolderWithButtons", 1.5);
    TreeHolder().reset();
    std::filesystem::remove_all(Folders().base);
    return 0;
}
