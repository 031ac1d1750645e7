#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "id_lists.h"
#include "platform/action_list.h"
#include "platform/shell_data_object.h"
#include "platform/shell_namespace.h"
#include "shell/shell_file_actions.h"
#include "shell/shell_list_view.h"
#include "shell/shell_list_view_actions.h"
#include "support/event_wait.h"
#include "support/listing_wait.h"
#include "support/scoped_environment_variable.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// More entries than the list reads on the spot: the selection's attributes
// and sizes come from its worker thread. The home folder is one of the
// entries, so that a selection holding it must never be deleted or cut.
constexpr int kFiles = 2500;

std::uint64_t SizeOfFile(int index) { return static_cast<std::uint64_t>(index % 7); }

class LargeSelectionTest : public ::testing::Test {
protected:
    LargeSelectionTest() {
        for (int i = 0; i < kFiles; ++i) WriteBytes(folder.File("f", i), SizeOfFile(i));
        fs::create_directory(folder.File("home"));
        view.resize(500, 400);
        view.SetViewStyle(vsReport);
        view.show();
        actions.AddTarget(&view);
        for (platform::Action* action : std::initializer_list<platform::Action*>{&selectAll, &cut, &copy, &remove})
            actions.Add(action);
        IDList list = PathList(folder.Path());
        view.SetFolderIDList(list);
        FreeIDList(list);
        EXPECT_TRUE(WaitUntilListed(view));
    }
    ~LargeSelectionTest() override { QApplication::clipboard()->clear(); }

    int HomeRow() const {
        for (int row = 0; row < view.RowCount(); ++row)
            if (view.Model()->index(row, hcName).data().toString() == QStringLiteral("home")) return row;
        return -1;
    }
    void SelectAllButHome() {
        std::vector<int> rows;
        for (int row = 0; row < view.RowCount(); ++row)
            if (row != HomeRow()) rows.push_back(row);
        view.SetSelectedRows(rows);
    }
    bool WaitForFacts() { return ProcessEventsUntil([&] { return !view.SelectionFactsPending(); }); }
    // The attributes the selection holds, asked of the folder in one piece.
    std::uint32_t AttributesAskedAtOnce() {
        TSHIDList& selection = view.FileList().SelectedIDList();
        return selection.Folder()
            ->GetAttributesOf(std::span(selection.Items(), selection.Count()),
                              platform::kCapabilityMask | platform::kFileSystem | platform::kFolder)
            .value_or(0);
    }
    int FilesLeft() const {
        int count = 0;
        for (int i = 0; i < kFiles; ++i) count += fs::exists(folder.File("f", i)) ? 1 : 0;
        return count;
    }

    TempFolder folder;
    ScopedEnvironmentVariable home{"HOME", folder.File("home")};
    ScopedEnvironmentVariable dataHome{"XDG_DATA_HOME", folder.File("home/data")};
    ScriptedMessageBoxes boxes;
    TSHListView view;
    platform::ActionList actions;
    TSelectAllItem selectAll;
    TSHFileCut cut;
    TSHFileCopy copy;
    TSHFileDelete remove;
};

TEST_F(LargeSelectionTest, TheCommandsEndInTheStatesTheWholeSelectionAllows) {
    ASSERT_EQ(view.RowCount(), kFiles + 1);
    ASSERT_TRUE(selectAll.Execute());
    ASSERT_TRUE(view.SelectionFactsPending()) << "the answer comes from the worker";
    EXPECT_EQ(view.SelectionFacts().Count, kFiles + 1) << "the count is known at once";
    EXPECT_EQ(view.SelectionFacts().FirstRow, 0);
    bool told = false;
    QObject::connect(&view, &TSHListView::SelectionFactsChanged, [&] { told = true; });
    ASSERT_TRUE(WaitForFacts());
    EXPECT_TRUE(told);
    EXPECT_EQ(view.SelectionFacts().Attributes, AttributesAskedAtOnce());
    actions.UpdateActions();
    EXPECT_FALSE(remove.isEnabled()) << "the home folder is selected";
    EXPECT_FALSE(cut.isEnabled());
    EXPECT_TRUE(copy.isEnabled());

    SelectAllButHome();
    ASSERT_TRUE(WaitForFacts());
    EXPECT_EQ(view.SelectionFacts().Attributes, AttributesAskedAtOnce());
    actions.UpdateActions();
    EXPECT_TRUE(remove.isEnabled());
    EXPECT_TRUE(cut.isEnabled());
}

TEST_F(LargeSelectionTest, ACommandGivenBeforeTheAnswerWaitsForItAndKeepsToIt) {
    ASSERT_TRUE(selectAll.Execute());
    ASSERT_TRUE(view.SelectionFactsPending());
    EXPECT_FALSE(remove.Execute()) << "the answer disables Delete: the home folder is selected";
    EXPECT_TRUE(boxes.Messages().empty()) << "nothing was asked";
    EXPECT_TRUE(fs::exists(folder.File("home")));
    EXPECT_EQ(FilesLeft(), kFiles);

    SelectAllButHome();
    view.SelectionFacts();
    ASSERT_TRUE(view.SelectionFactsPending());
    boxes.Answer(platform::MessageResult::No);
    EXPECT_TRUE(remove.Execute());
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].text, QStringLiteral("これらの %1 個の項目をごみ箱に移しますか？").arg(kFiles));
    EXPECT_EQ(FilesLeft(), kFiles) << "declined: every file stays";
    EXPECT_EQ(view.RowCount(), kFiles + 1);
    EXPECT_EQ(view.SelectedCount(), kFiles) << "and stays selected";
}

TEST_F(LargeSelectionTest, EntriesThatKeepChangingStillGetTheirAnswer) {
    ASSERT_TRUE(selectAll.Execute());
    ASSERT_TRUE(view.SelectionFactsPending());
    // The entries' facts change faster than the worker answers.
    int changes = 0;
    QTimer changing;
    QObject::connect(&changing, &QTimer::timeout, [&] {
        view.InvalidateRows();
        ++changes;
    });
    changing.start(1);
    EXPECT_FALSE(remove.Execute()) << "waits for an answer, which says the home folder is selected";
    EXPECT_GT(changes, 0);
    EXPECT_TRUE(boxes.Messages().empty());
    changing.stop();
    ASSERT_TRUE(WaitForFacts());
    EXPECT_EQ(view.SelectionFacts().Attributes, AttributesAskedAtOnce());
}

TEST_F(LargeSelectionTest, ProtectedEntriesAreStillRefusedBeforeAnyQuestion) {
    ASSERT_TRUE(selectAll.Execute());
    ASSERT_TRUE(WaitForFacts());
    // Past the command's disabled state, straight to the delete verb.
    EXPECT_FALSE(view.ExecuteShellCommand(TSHListView::scDelete));
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].icon, platform::MessageIcon::Error);
    EXPECT_TRUE(boxes.Messages()[0].text.startsWith(QStringLiteral("次の項目は削除できません。")));
    const QString homeLine = QStringLiteral("「%1」: ホーム フォルダです。").arg(QString::fromStdString(folder.File("home")));
    EXPECT_TRUE(boxes.Messages()[0].text.contains(homeLine)) << "the home folder alone is named";
    EXPECT_EQ(boxes.Messages()[0].text.count(QStringLiteral("」: ")), 1);
    EXPECT_EQ(FilesLeft(), kFiles);
    EXPECT_EQ(view.RowCount(), kFiles + 1);
}

TEST_F(LargeSelectionTest, CopyAndCutPutEveryEntryOnTheClipboard) {
    SelectAllButHome();
    for (platform::Action* action : std::initializer_list<platform::Action*>{&copy, &cut}) {
        QApplication::clipboard()->clear();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !view.ClipboardHasFiles(); }));
        ASSERT_TRUE(action->Execute());
        ASSERT_TRUE(ProcessEventsUntil([&] { return view.ClipboardHasFiles(); }));
        const QMimeData* data = QApplication::clipboard()->mimeData();
        ASSERT_NE(data, nullptr);
        const bool cutting = action == &cut;
        const QList<QUrl> urls = data->urls();
        ASSERT_EQ(urls.size(), kFiles);
        std::vector<std::string> paths;
        for (const QUrl& url : urls) paths.push_back(url.toLocalFile().toStdString());
        std::vector<std::string> expected;
        for (const int row : view.SelectedRows())
            expected.push_back(folder.File(view.Model()->index(row, hcName).data().toString().toStdString()));
        EXPECT_EQ(paths, expected) << "in the list's order";
        const QByteArray gnome = data->data(platform::GnomeCopiedFilesMime());
        EXPECT_TRUE(gnome.startsWith(cutting ? "cut\nfile://" : "copy\nfile://"));
        EXPECT_EQ(gnome.count('\n'), kFiles);
        EXPECT_EQ(data->data(platform::KdeCutSelectionMime()), cutting ? QByteArray("1") : QByteArray("0"));
        EXPECT_EQ(data->text().count(QLatin1Char('\n')), kFiles - 1);
        const platform::ClipboardFiles files = platform::FilesOfShellData(data);
        EXPECT_EQ(files.paths, expected) << "the item-list array names the same files";
        EXPECT_EQ(files.cut, cutting);
    }
    EXPECT_EQ(FilesLeft(), kFiles) << "cut moves nothing until pasted";
}

TEST_F(LargeSelectionTest, TheSelectedSizeIsReportedOnceWithEveryEntryCounted) {
    std::vector<qint64> reported;
    QObject::connect(&view, &TSHListView::SelectionSizeChanged, [&](qint64 size) { reported.push_back(size); });
    SelectAllButHome();
    ASSERT_TRUE(WaitForFacts());
    std::uint64_t total = 0;
    for (int i = 0; i < kFiles; ++i) total += SizeOfFile(i);
    EXPECT_EQ(reported, std::vector<qint64>{static_cast<qint64>(total)}) << "no report of a part of the sizes";
    EXPECT_EQ(view.SelSize(), static_cast<std::int64_t>(total));
}

}  // namespace
