// The idle pass over every shell command, beside one repaint of a screen
// of the file list those commands serve. The list shows a folder of
// 100,200 entries in the report style at 900 x 700 with every entry
// selected and has the focus, so that it is the commands' first target.
// The commands read what the list keeps of its selection (count, first
// row, the attributes all selected entries share), which the list works
// out once per selection change: the steady pass never walks the
// selection. That once-per-change cost is measured on its own as well (a
// pass right after the selection changed), since a user meets it after
// every select-all. The kernel's directory cache is warm (dropping it
// would disturb the machine). Wall and CPU time, medians of the
// repetitions; the bar for the steady pass is 0.1 × one repaint.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QApplication>
#include <QItemSelectionModel>
#include <QTreeView>

#include "bench_report.h"
#include "photo_folder.h"
#include "platform/action_list.h"
#include "shell/shell_file_actions.h"
#include "shell/shell_list_view.h"
#include "shell/shell_list_view_actions.h"
#include "shell/shell_sort_actions.h"

namespace {

constexpr QSize kWindow(900, 700);

struct Fixture {
    PhotoFolder folder;
    TSHListView view;
    platform::ActionList list;
    std::vector<std::unique_ptr<platform::Action>> actions;

    Fixture() {
        view.SetViewStyle(vsReport);
        view.resize(kWindow);
        view.show();
        IDList absolute = nullptr;
        IDListFromNativePath(folder.Path(), absolute);
        view.SetFolderIDList(absolute);
        FreeIDList(absolute);
        MakeActions();
        list.AddTarget(&view);
        view.activateWindow();
        view.CurrentView()->setFocus();
        TSelectAllItem().ExecuteTarget(&view);
        QApplication::processEvents();
    }

    template <class... Actions>
    void Make() {
        (actions.push_back(std::make_unique<Actions>()), ...);
    }
    void MakeActions() {
        Make<TSHFileAction, TSHFileCut, TSHFileCopy, TSHFilePaste, TSHFileDelete, TSHFileProperty, TSHFileCreate,
             TSHFileRename>();
        Make<TSHFileSortByName, TSHFileSortBySize, TSHFileSortByType, TSHFileSortByLastWrite, TSHFileSortByAttr,
             TSHFileAscSort, TSHFileDescSort>();
        Make<TLargeIcon, TSmallIcon, TListIcon, TReportIcon, TSelectAllItem, TReverseSelectedItem, TSelectFolderItem,
             TSelectFileItem>();
        for (const auto& action : actions) list.Add(action.get());
    }

    // Deselects one entry and selects it again: two selection changes
    // that leave every entry selected.
    void ChangeSelection() {
        const QModelIndex first = view.Model()->index(0, 0);
        view.SelectionModel()->select(first, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        view.SelectionModel()->select(first, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

Fixture* fixture = nullptr;

bool AllSelectedAndCopyEnabled() {
    return fixture->view.SelectionFacts().Count == fixture->view.RowCount() && fixture->actions[2]->isEnabled();
}

void IdlePass(benchmark::State& state) {
    for (auto _ : state) fixture->list.UpdateActions();
    if (!AllSelectedAndCopyEnabled()) state.SkipWithError("the selection or the commands are not as set up");
}

void IdlePassAfterSelectionChange(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        fixture->ChangeSelection();
        state.ResumeTiming();
        fixture->list.UpdateActions();
    }
    if (!AllSelectedAndCopyEnabled()) state.SkipWithError("the selection or the commands are not as set up");
}

void Repaint(benchmark::State& state) {
    for (auto _ : state) fixture->view.ReportView()->viewport()->repaint();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    bench_report::Initialize(argc, argv, 9);
    Fixture shared;
    fixture = &shared;
    const std::string steady = "idle pass/" + std::to_string(shared.actions.size()) + " commands, all selected";
    const std::string changed = "idle pass/right after a selection change";
    bench_report::Timed(benchmark::RegisterBenchmark(steady.c_str(), IdlePass));
    bench_report::Timed(benchmark::RegisterBenchmark(changed.c_str(), IdlePassAfterSelectionChange))->Iterations(5);
    const std::string repaint = "file list repaint/one screen 900x700";
    bench_report::Timed(benchmark::RegisterBenchmark(repaint.c_str(), Repaint));

    bench_report::RecordingReporter reporter;
    bench_report::Run(&reporter);

    double load[3] = {};
    if (getloadavg(load, 3) == 3) std::printf("load average: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    std::printf("entries: %d, selected: %d\n", shared.view.RowCount(), shared.view.SelectionFacts().Count);
    reporter.PrintMedians();
    std::printf("\n");
    reporter.PrintRatio("steady idle pass / one repaint of a list screen", steady, repaint, 0.1);
    // No bar: paid once per selection change, not on every pass.
    std::printf("%-52s wall %7.1f          cpu %7.1f\n", "pass after a selection change / one repaint",
                reporter.MedianWall(changed) / reporter.MedianWall(repaint),
                reporter.MedianCpu(changed) / reporter.MedianCpu(repaint));
    return 0;
}
