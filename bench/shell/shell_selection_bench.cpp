// What the user meets on a large selection: select-all with the commands'
// states worked out, Del until its question (answered No), copy and cut
// until the list's clipboard watch has seen the files. The list shows a
// folder of 100,200 entries in the report style at 900 x 700 and has the
// focus. Each scenario starts from the event loop, as a key press would,
// and runs until its answer is there; a 2 ms timer on the main thread
// meanwhile measures how long the loop stood still (the longest stall and
// the 99th percentile of the timer's lateness). Beside them the reference
// rows do on the main thread, in one piece, the work the commands did
// before on every selection change and Del: the attribute query and the
// protected-place judgement over every selected entry. Wall time, CPU time
// of all threads and of the main thread alone, medians of the repetitions.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "bench_report.h"
#include "photo_folder.h"
#include "platform/action_list.h"
#include "platform/message_box.h"
#include "platform/protected_places.h"
#include "platform/shell_namespace.h"
#include "shell/shell_file_actions.h"
#include "shell/shell_list_view.h"
#include "shell/shell_list_view_actions.h"
#include "shell/shell_sort_actions.h"

namespace {

constexpr QSize kWindow(900, 700);
constexpr int kRepetitions = 7;  // or the first argument
constexpr int kBeatMs = 2;
// The bar: no stall of the main thread longer than this, and Del's
// question within kQuestionBarMs.
constexpr double kStallBarMs = 50;
constexpr double kQuestionBarMs = 300;

double CpuMs(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// A steady beat on the main thread; a late beat is a stall of the loop.
class StallMeter {
public:
    StallMeter() {
        beat_.setTimerType(Qt::PreciseTimer);
        beat_.setInterval(kBeatMs);
        QObject::connect(&beat_, &QTimer::timeout, [this] {
            const double now = clock_.nsecsElapsed() / 1e6;
            lateness_.push_back(std::max(0.0, now - last_ - kBeatMs));
            last_ = now;
        });
    }
    void Start() {
        lateness_.clear();
        clock_.start();
        last_ = 0;
        beat_.start();
    }
    // The longest stall, counting the stretch since the last beat.
    double Stop() {
        beat_.stop();
        lateness_.push_back(std::max(0.0, clock_.nsecsElapsed() / 1e6 - last_ - kBeatMs));
        return *std::max_element(lateness_.begin(), lateness_.end());
    }
    double P99() const {
        std::vector<double> sorted = lateness_;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    }

private:
    QTimer beat_;
    QElapsedTimer clock_;
    double last_ = 0;
    std::vector<double> lateness_;
};

// Answers every question No and notes when the first one came.
class QuestionRecorder final : public platform::MessageBoxService {
public:
    QuestionRecorder() { platform::SetMessageBoxService(this); }
    ~QuestionRecorder() override { platform::SetMessageBoxService(nullptr); }
    void Arm(const QElapsedTimer* clock) {
        clock_ = clock;
        askedAtMs = -1;
        text.clear();
    }
    platform::MessageResult Show(QWidget*, const QString& shown, platform::MessageIcon,
                                 platform::MessageButtons) override {
        if (askedAtMs < 0 && clock_) askedAtMs = clock_->nsecsElapsed() / 1e6;
        text = shown;
        return platform::MessageResult::No;
    }
    double askedAtMs = -1;
    QString text;

private:
    const QElapsedTimer* clock_ = nullptr;
};

struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
    // The main thread's own CPU time: what its stalls cost on an idle
    // machine, where waiting for a core adds nothing.
    double mainCpuMs = 0;
    double stallMs = 0;
    double p99Ms = 0;
    double questionMs = -1;
};

struct Fixture {
    PhotoFolder folder;
    TSHListView view;
    platform::ActionList list;
    std::vector<std::unique_ptr<platform::Action>> actions;
    TSelectAllItem* selectAll = nullptr;
    TSHFileDelete* remove = nullptr;
    TSHFileCopy* copy = nullptr;
    TSHFileCut* cut = nullptr;
    StallMeter meter;
    QuestionRecorder questions;

    Fixture() {
        view.SetViewStyle(vsReport);
        view.resize(kWindow);
        view.show();
        IDList absolute = nullptr;
        IDListFromNativePath(folder.Path(), absolute);
        view.SetFolderIDList(absolute);
        FreeIDList(absolute);
        // The folder is read on the list's own thread.
        while (view.FileList().Listing()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        MakeActions();
        list.AddTarget(&view);
        QObject::connect(&view, &TSHListView::SelectionFactsChanged, &list, &platform::ActionList::RequestUpdate);
        view.activateWindow();
        view.CurrentView()->setFocus();
        QApplication::processEvents();
    }

    template <class T>
    T* Make() {
        actions.push_back(std::make_unique<T>());
        return static_cast<T*>(actions.back().get());
    }
    void MakeActions() {
        Make<TSHFileAction>();
        cut = Make<TSHFileCut>();
        copy = Make<TSHFileCopy>();
        Make<TSHFilePaste>();
        remove = Make<TSHFileDelete>();
        Make<TSHFileProperty>();
        Make<TSHFileCreate>();
        Make<TSHFileRename>();
        Make<TSHFileSortByName>();
        Make<TSHFileAscSort>();
        Make<TReportIcon>();
        selectAll = Make<TSelectAllItem>();
        Make<TReverseSelectedItem>();
        Make<TSelectFileItem>();
        for (const auto& action : actions) list.Add(action.get());
    }

    bool AllSelected() { return view.SelectedCount() == view.RowCount(); }

    // Runs act from the event loop and the loop until done says so.
    Sample Run(const std::function<void()>& act, const std::function<bool()>& done) {
        QElapsedTimer clock;
        questions.Arm(&clock);
        bool acted = false;
        const double cpu = CpuMs();
        const double mainCpu = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        meter.Start();
        clock.start();
        QTimer::singleShot(0, [&] {
            act();
            acted = true;
        });
        while (!acted || !done()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        Sample sample;
        sample.wallMs = clock.nsecsElapsed() / 1e6;
        sample.stallMs = meter.Stop();
        sample.p99Ms = meter.P99();
        sample.cpuMs = CpuMs() - cpu;
        sample.mainCpuMs = CpuMs(CLOCK_THREAD_CPUTIME_ID) - mainCpu;
        sample.questionMs = questions.askedAtMs;
        return sample;
    }

    void Settle() {
        for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    void ClearSelection() {
        view.SelectionModel()->clearSelection();
        Settle();
    }

    void SelectAllNow() {
        selectAll->Execute();
        while (view.SelectionFactsPending()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    int ClipboardFiles() {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        return data ? static_cast<int>(data->urls().size()) : 0;
    }
};

Fixture* fixture = nullptr;

Sample SelectAllScenario() {
    fixture->ClearSelection();
    const Sample sample =
        fixture->Run([] { fixture->selectAll->Execute(); }, [] { return !fixture->view.SelectionFactsPending(); });
    if (!fixture->AllSelected()) std::printf("select-all left entries unselected\n");
    return sample;
}

Sample DeleteScenario() {
    fixture->SelectAllNow();
    bool returned = false;
    Sample sample = fixture->Run(
        [&] {
            fixture->remove->Execute();
            returned = true;
        },
        [&] { return returned; });
    if (sample.questionMs < 0 || !fixture->questions.text.contains(QString::number(fixture->view.RowCount())))
        std::printf("Del did not ask about every entry: \"%s\"\n", qPrintable(fixture->questions.text));
    return sample;
}

Sample ClipboardScenario(platform::Action* action) {
    fixture->SelectAllNow();
    QApplication::clipboard()->clear();
    fixture->Settle();
    const Sample sample =
        fixture->Run([action] { action->Execute(); }, [] { return fixture->view.ClipboardHasFiles(); });
    // Read after the timing: reading every URI is the paste's work, not the command's.
    if (fixture->ClipboardFiles() != fixture->view.RowCount())
        std::printf("the clipboard holds %d files, not every entry\n", fixture->ClipboardFiles());
    return sample;
}

// The work the commands did before, on the main thread in one piece.
Sample Reference(const std::function<void()>& work) {
    fixture->SelectAllNow();
    return fixture->Run(work, [] { return true; });
}

void AttributesOfEverySelectedEntry() {
    TSHIDList& selection = fixture->view.FileList().SelectedIDList();
    const std::uint32_t wanted = platform::kCapabilityMask | platform::kFileSystem | platform::kFolder;
    if (!selection.Folder()->GetAttributesOf(std::span(selection.Items(), selection.Count()), wanted))
        std::printf("the attribute query failed\n");
}

void JudgeEverySelectedEntry() {
    TSHIDList& selection = fixture->view.FileList().SelectedIDList();
    platform::ProtectedPlaceJudge judge;
    int refused = 0;
    for (int i = 0; i < selection.Count(); ++i) refused += judge.ReasonFor(selection.NativePath(i)).isEmpty() ? 0 : 1;
    if (refused != 0) std::printf("%d entries judged protected\n", refused);
}

struct Row {
    std::string name;
    std::function<Sample()> run;
    std::vector<Sample> samples;
};

double MedianOf(const std::vector<Sample>& samples, double Sample::*field) {
    std::vector<double> values;
    for (const Sample& sample : samples) values.push_back(sample.*field);
    return bench_report::Median(values);
}

double MaxOf(const std::vector<Sample>& samples, double Sample::*field) {
    double most = 0;
    for (const Sample& sample : samples) most = std::max(most, sample.*field);
    return most;
}

void PrintLoad() {
    double load[3] = {};
    if (getloadavg(load, 3) == 3) std::printf("load average: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    PrintLoad();
    Fixture shared;
    fixture = &shared;
    std::printf("entries: %d\n", shared.view.RowCount());

    std::vector<Row> rows = {
        {"select all + commands' states", SelectAllScenario, {}},
        {"Del until the question (No)", DeleteScenario, {}},
        {"copy to the clipboard", [] { return ClipboardScenario(fixture->copy); }, {}},
        {"cut to the clipboard", [] { return ClipboardScenario(fixture->cut); }, {}},
        {"ref: attribute query of all", [] { return Reference(AttributesOfEverySelectedEntry); }, {}},
        {"ref: protected-place judge of all", [] { return Reference(JudgeEverySelectedEntry); }, {}},
    };
    // A second argument keeps only the rows whose name holds it (for a
    // profile of one scenario).
    if (argc > 2) std::erase_if(rows, [&](const Row& row) { return row.name.find(argv[2]) == std::string::npos; });
    // Interleaved, so that load from elsewhere falls on every row alike.
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : kRepetitions;
    for (int repetition = 0; repetition < repetitions; ++repetition)
        for (Row& row : rows) row.samples.push_back(row.run());

    const std::string heading = "scenario (ms, medians of " + std::to_string(repetitions) + ")";
    std::printf("\n%-36s %9s %9s %9s %9s %9s %9s %9s\n", heading.c_str(), "wall", "cpu", "main cpu", "stall",
                "stall max", "p99 late", "question");
    for (const Row& row : rows) {
        const double question = MedianOf(row.samples, &Sample::questionMs);
        std::printf("%-36s %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f ", row.name.c_str(),
                    MedianOf(row.samples, &Sample::wallMs), MedianOf(row.samples, &Sample::cpuMs),
                    MedianOf(row.samples, &Sample::mainCpuMs), MedianOf(row.samples, &Sample::stallMs),
                    MaxOf(row.samples, &Sample::stallMs), MedianOf(row.samples, &Sample::p99Ms));
        if (question >= 0)
            std::printf("%9.1f\n", question);
        else
            std::printf("%9s\n", "-");
    }
    std::printf("\n");
    for (const Row& row : rows) {
        if (row.name.rfind("ref:", 0) == 0) continue;
        const double stall = MedianOf(row.samples, &Sample::stallMs);
        std::printf("%-36s longest stall %6.1f ms (bar %.0f)  %s\n", row.name.c_str(), stall, kStallBarMs,
                    stall <= kStallBarMs ? "ok" : "OVER");
        const double question = MedianOf(row.samples, &Sample::questionMs);
        if (question >= 0)
            std::printf("%-36s question after %6.1f ms (bar %.0f)  %s\n", row.name.c_str(), question, kQuestionBarMs,
                        question <= kQuestionBarMs ? "ok" : "OVER");
    }
    const auto ratio = [&rows](const char* label, const std::string& ours, const std::string& reference) {
        const auto find = [&rows](const std::string& name) {
            return std::find_if(rows.begin(), rows.end(), [&name](const Row& row) { return row.name == name; });
        };
        if (find(ours) == rows.end() || find(reference) == rows.end()) return;
        const double stall = MedianOf(find(ours)->samples, &Sample::stallMs);
        std::printf("%-52s wall %6.2f\n", label, stall / MedianOf(find(reference)->samples, &Sample::wallMs));
    };
    ratio("select all: longest stall / the attribute query", rows.empty() ? "" : "select all + commands' states",
          "ref: attribute query of all");
    ratio("Del: longest stall / the protected-place judge", "Del until the question (No)",
          "ref: protected-place judge of all");
    PrintLoad();
    return 0;
}
