#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QFileInfo>

#include "id_lists.h"
#include "platform/message_box.h"
#include "shell/shell_file_list.h"
#include "shell/shell_notify.h"
#include "support/event_wait.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"
#include "support/unprivileged_child.h"

namespace fs = std::filesystem;

namespace {

// Holds the rows' selection, focus and scroll position the way a list
// control does, so the list can be examined without a window.
class RowsView final : public TSHFileListView {
public:
    QWidget* ListWindow() override { return nullptr; }
    bool ListWindowReady() const override { return true; }
    bool IncludeHidden() const override { return includeHidden; }
    TShVirtuaItems ShVirtuaItems() const override { return virtuals; }
    TViewStyle ViewStyle() const override { return vsReport; }
    bool AcceptItem(TSHFileItem* item) override { return filter.Options == 0 || filter.Match(*item); }
    bool MouseIdle() const override { return true; }
    ConstIDList BoundTreeSelection() override { return nullptr; }
    void BeginRowsUpdate() override {}
    void EndRowsUpdate(int rowCount) override {
        rows = rowCount;
        selected.clear();
        focused = -1;
        top = rowCount > 0 ? 0 : -1;
    }
    void BeginRowsReorder() override {}
    void EndRowsReorder(int rowCount) override { rows = rowCount; }
    void InvalidateRows() override { ++invalidations; }
    std::vector<int> SelectedRows() const override { return selected; }
    void SetSelectedRows(const std::vector<int>& rowsToSelect) override { selected = rowsToSelect; }
    int FocusedRow() const override { return focused; }
    void SetFocusedRow(int row) override { focused = row; }
    int TopRow() const override { return top; }
    void ScrollToRow(int row, bool) override { top = row; }
    void SuspendSelectionNotify() override {}
    void ResumeSelectionNotify() override {}
    void ListChanged(TSHFileList*) override { ++listChanges; }
    std::optional<TSHFileFilter> ListingFilter() const override { return filter; }

    bool includeHidden = true;
    TShVirtuaItems virtuals = TShVirtuaItems::Default();
    TSHFileFilter filter;
    int rows = 0;
    std::vector<int> selected;
    int focused = -1;
    int top = -1;
    int listChanges = 0;
    int invalidations = 0;
};

void Show(TSHFileList& list, const std::string& folder) {
    IDList absolute = PathList(folder);
    ASSERT_NE(absolute, nullptr);
    list.SetFolder(absolute);
    FreeIDList(absolute);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !list.Listing(); }));
}

// Reads the list's folder again and waits until all of it is in.
int Reload(TSHFileList& list) {
    list.Reload();
    ProcessEventsUntil([&] { return !list.Listing(); });
    return list.Count();
}

std::vector<QString> Names(TSHFileList& list) {
    std::vector<QString> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.GetItem(i)->GetDisplayName());
    return names;
}

int RowOf(TSHFileList& list, const QString& name) {
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetItem(i)->GetDisplayName() == name) return i;
    return -1;
}

std::vector<QString> NamesAt(TSHFileList& list, const std::vector<int>& rows) {
    std::vector<QString> names;
    for (const int row : rows) names.push_back(list.GetItem(row)->GetDisplayName());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(TSHFileList, ListsEveryKindOfEntryAndHiddenOnesOnRequest) {
    TempFolder folder;
    folder.Write("a.png", "x");
    folder.Write("B.jpg", "x");
    folder.Write(".hidden", "x");
    folder.Write(std::string("bad\xff.png"), "x");
    folder.Write("two\nlines.png", "x");
    fs::create_directory(folder.File("sub"));
    ASSERT_EQ(mkfifo(folder.File("pipe").c_str(), 0644), 0);  // listing must never open it

    RowsView view;
    TSHFileList list(&view, false);
    Show(list, folder.Path());
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(view.rows, 7);
    EXPECT_EQ(view.focused, 0);
    EXPECT_EQ(list.GetItem(0)->GetDisplayName(), QStringLiteral("sub")) << "folders come first";
    EXPECT_EQ(list.GetItem(7), nullptr);
    EXPECT_EQ(list.GetItem(-1), nullptr);
    const std::vector<QString> names = Names(list);
    EXPECT_TRUE(std::any_of(names.begin(), names.end(), [](const QString& n) { return n.contains(QChar(0xFFFD)) && n.startsWith("bad"); }));
    EXPECT_TRUE(std::none_of(names.begin(), names.end(), [](const QString& n) { return n.contains('\n'); }));
    EXPECT_EQ(list.GetItem(RowOf(list, "pipe"))->SizeText(), QStringLiteral("0KB"));

    view.includeHidden = false;
    int changesBefore = view.listChanges;
    EXPECT_EQ(Reload(list), 6);
    EXPECT_EQ(RowOf(list, ".hidden"), -1);
    EXPECT_GT(view.listChanges, changesBefore);

    TempFolder empty;
    changesBefore = view.listChanges;
    Show(list, empty.Path());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(view.rows, 0);
    EXPECT_GT(view.listChanges, changesBefore) << "an empty folder still reports the change";
}

TEST(TSHFileList, AnUnreadableFolderGivesAClearEmptyList) {
    TempFolder folder;
    chmod(folder.Path().c_str(), 0755);
    fs::create_directory(folder.File("locked"));
    folder.Write("locked/secret.png", "x");
    chmod(folder.File("locked").c_str(), 0700);
    folder.Write("open.png", "x");
    const std::string path = folder.Path();
    EXPECT_TRUE(RunUnprivileged([&path] {
        RowsView view;
        TSHFileList list(&view, false);
        IDList readable = PathList(path);
        list.SetFolder(readable);
        FreeIDList(readable);
        ProcessEventsUntil([&] { return !list.Listing(); });
        if (list.Count() != 2) return false;
        IDList locked = PathList(path + "/locked");
        list.SetFolder(locked);
        FreeIDList(locked);
        ProcessEventsUntil([&] { return !list.Listing(); });
        return list.Count() == 0 && view.rows == 0 && list.ReadFailure() == EACCES && !list.ReadFailureText().isEmpty();
    }));
}

TEST(TSHFileList, ColumnTextsShowSizesTypesDatesAndAttributes) {
    TempFolder folder;
    WriteBytes(folder.File("empty.bin"), 0);
    WriteBytes(folder.File("one.bin"), 1);
    WriteBytes(folder.File("kilo.bin"), 1025);
    WriteBytes(folder.File("mega.bin"), 1048576);
    fs::create_directory(folder.File("sub"));
    fs::create_symlink("one.bin", folder.File("link.bin"));
    folder.Write("locked.txt", "x");
    chmod(folder.File("locked.txt").c_str(), 0444);
    {
        std::ofstream(folder.File("huge.bin"));
        fs::resize_file(folder.File("huge.bin"), 5ull << 30);  // sparse: sizes above 4 GB stay whole
    }
    RowsView view;
    TSHFileList list(&view, false);
    Show(list, folder.Path());
    const auto item = [&](const char* name) { return list.GetItem(RowOf(list, name)); };

    EXPECT_EQ(item("empty.bin")->SizeText(), QStringLiteral("0KB"));
    EXPECT_EQ(item("one.bin")->SizeText(), QStringLiteral("1KB"));
    EXPECT_EQ(item("kilo.bin")->SizeText(), QStringLiteral("2KB"));
    EXPECT_EQ(item("mega.bin")->SizeText(), QStringLiteral("1,024KB"));
    EXPECT_EQ(item("huge.bin")->SizeText(), QStringLiteral("5,242,880KB"));
    EXPECT_EQ(item("sub")->SizeText(), QString());

    EXPECT_EQ(item("sub")->TypeText(), QStringLiteral("ファイル フォルダ"));
    EXPECT_FALSE(item("locked.txt")->TypeText().isEmpty());

    EXPECT_TRUE(item("locked.txt")->AttributesText().contains('R'));
    EXPECT_TRUE(item("sub")->AttributesText().contains('D'));
    EXPECT_FALSE(item("one.bin")->AttributesText().contains('R'));

    const QDateTime written = QFileInfo(QString::fromStdString(folder.File("one.bin"))).lastModified();
    const QString date = item("one.bin")->DateText();
    EXPECT_TRUE(date.endsWith(written.time().toString("hh:mm")) ||
                date.endsWith(written.addSecs(60).time().toString("hh:mm")))
        << date.toStdString();
    EXPECT_EQ(item("one.bin")->OverlayIndex(), 0);
    EXPECT_EQ(item("link.bin")->OverlayIndex(), 2) << "a link shows its overlay";
    EXPECT_EQ(item("link.bin")->SizeText(), QStringLiteral("1KB")) << "the facts are the target's";
}

TEST(TSHFileList, EveryColumnSortsInTheFoldersOwnOrderBothWays) {
    TempFolder folder;
    const char* names[] = {"b10.png", "b9.png", "A.txt", "c.jpg", "noext", "z.tar.gz", ".dot"};
    std::size_t size = 3;
    for (const char* name : names) WriteBytes(folder.File(name), size = size * 7 % 5000);
    for (const char* name : {"dir2", "Dir10", "dir1"}) fs::create_directory(folder.File(name));
    chmod(folder.File("c.jpg").c_str(), 0444);
    const auto stamp = fs::file_time_type::clock::now();
    int minutes = 0;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        fs::last_write_time(entry.path(), stamp - std::chrono::minutes(minutes = (minutes + 37) % 101));

    RowsView view;
    TSHFileList list(&view, false);
    Show(list, folder.Path());
    const ShellFolderPtr shellFolder = list.GetFolder();
    ASSERT_NE(shellFolder, nullptr);
    auto expectSorted = [&](THeaderCaption column, int direction) {
        list.SetSortDirection(column, direction);
        list.ApplySort(column);
        EXPECT_EQ(list.SortColumn(), column);
        for (int i = 0; i + 1 < list.Count(); ++i) {
            const std::optional<int> order =
                shellFolder->CompareIDs(column, list.GetItem(i)->RelativeID(), list.GetItem(i + 1)->RelativeID());
            ASSERT_TRUE(order.has_value());
            EXPECT_LT(*order * direction, 0) << "column " << column << " direction " << direction << " at "
                                             << list.GetItem(i)->GetDisplayName().toStdString();
            EXPECT_EQ(list.GetItem(i)->GetIndex(), i);
        }
    };
    for (const THeaderCaption column : {hcName, hcSize, hcType, hcLastWrite, hcAttr})
        for (const int direction : {1, -1}) expectSorted(column, direction);
    // A renamed entry sorts by its new type.
    for (int i = 0; i < list.Count(); ++i) {
        if (list.GetItem(i)->GetDisplayName() == QStringLiteral("noext")) {
            ASSERT_TRUE(list.GetItem(i)->Rename(QStringLiteral("noext.zip")));
        }
    }
    expectSorted(hcType, 1);
}

TEST(TSHFileList, ResortingKeepsTheSelectedAndFocusedEntries) {
    TempFolder folder;
    for (int i = 0; i < 10; ++i) WriteBytes(folder.File("f", i), static_cast<std::size_t>((i * 7) % 10));
    RowsView view;
    TSHFileList list(&view, false);
    Show(list, folder.Path());

    view.selected = {0, 1, 2, 3, 4, 5, 6, 8, 9};  // all but one
    view.focused = 3;
    const std::vector<QString> selected = NamesAt(list, view.selected);
    const QString focused = list.GetItem(3)->GetDisplayName();
    for (const THeaderCaption column : {hcSize, hcSize, hcName, hcLastWrite}) {
        list.ApplySort(column);
        EXPECT_EQ(view.selected.size(), 9u);
        EXPECT_EQ(NamesAt(list, view.selected), selected);
        EXPECT_EQ(list.GetItem(view.focused)->GetDisplayName(), focused);
    }
}

TEST(TSHFileFilter, MasksSizesAttributesAndKindsWithAndWithoutInvert) {
    TempFolder folder;
    WriteBytes(folder.File("a.png"), 50);
    WriteBytes(folder.File("B.JPG"), 500);
    WriteBytes(folder.File("c.txt"), 5);
    fs::create_directory(folder.File("sub"));
    RowsView view;
    TSHFileList list(&view, false);
    const auto shown = [&] {
        Show(list, folder.Path());
        std::vector<QString> names = Names(list);
        std::sort(names.begin(), names.end());
        return names;
    };
    using Names_ = std::vector<QString>;

    view.filter.Options = TSHFileFilter::foMask;
    view.filter.Masks = {QStringLiteral("*.png; *.jpg")};
    EXPECT_EQ(shown(), (Names_{"B.JPG", "a.png", "sub"}));
    view.filter.Options |= TSHFileFilter::foInvert;
    EXPECT_EQ(shown(), (Names_{"c.txt"}));

    view.filter.Options = TSHFileFilter::foSize;
    view.filter.SizeMode = 3;
    view.filter.Size1 = 10;
    view.filter.SizeRangeMode = 1;
    view.filter.Size2 = 100;
    EXPECT_EQ(shown(), (Names_{"a.png"}));
    view.filter.SizeMode = 2;  // below 10 bytes: folders have no size
    EXPECT_EQ(shown(), (Names_{"c.txt", "sub"}));

    chmod(folder.File("c.txt").c_str(), 0444);
    view.filter.Options = TSHFileFilter::foAttributes;
    view.filter.ReadOnly = true;
    EXPECT_EQ(shown(), (Names_{"c.txt"}));

    view.filter.Options = TSHFileFilter::foKind;
    view.filter.Folders = true;
    EXPECT_EQ(shown(), (Names_{"sub"}));
    view.filter.Options |= TSHFileFilter::foInvert;
    EXPECT_EQ(shown(), (Names_{"B.JPG", "a.png", "c.txt"}));

    view.filter.Options = TSHFileFilter::foDate;
    view.filter.DateMode = 4;
    view.filter.Date1 = QDateTime::currentDateTime().addDays(-1);
    view.filter.DateRangeMode = 0;
    EXPECT_EQ(shown().size(), 4u);
    view.filter.DateMode = 1;
    EXPECT_TRUE(shown().empty());
}

TEST(TSHFileItem, RenameKeepsTheFactsAndRefusesBadNames) {
    TempFolder folder;
    WriteBytes(folder.File("a.png"), 3000);
    WriteBytes(folder.File("b.png"), 10);
    RowsView view;
    TSHFileList list(&view, false);
    Show(list, folder.Path());
    TSHFileItem* item = list.GetItem(RowOf(list, "a.png"));
    const QString size = item->SizeText();
    const QString date = item->DateText();

    ScriptedMessageBoxes boxes;
    EXPECT_TRUE(item->Rename(QStringLiteral("c.png")));
    EXPECT_EQ(item->GetDisplayName(), QStringLiteral("c.png"));
    EXPECT_EQ(item->SizeText(), size);
    EXPECT_EQ(item->DateText(), date);
    EXPECT_TRUE(fs::exists(folder.File("c.png")));
    EXPECT_FALSE(fs::exists(folder.File("a.png")));
    EXPECT_TRUE(boxes.Messages().empty());

    for (const QString& bad : {QStringLiteral("b.png"), QString(), QStringLiteral("x/y.png")}) {
        EXPECT_FALSE(item->Rename(bad)) << bad.toStdString();
        EXPECT_EQ(item->GetDisplayName(), QStringLiteral("c.png"));
    }
    EXPECT_EQ(boxes.Messages().size(), 3u) << "each refusal says why";
    EXPECT_TRUE(fs::exists(folder.File("c.png")));
    EXPECT_EQ(fs::file_size(folder.File("b.png")), 10u);
}

TEST(NewFolderName, SkipsExistingFoldersButNotFiles) {
    TempFolder folder;
    const QString path = QString::fromStdString(folder.Path());
    EXPECT_EQ(NewFolderName(path), path + QStringLiteral("/新しいフォルダ"));
    fs::create_directory(folder.File("新しいフォルダ"));
    fs::create_directory(folder.File("新しいフォルダ (2)"));
    EXPECT_EQ(NewFolderName(path), path + QStringLiteral("/新しいフォルダ (3)"));
    folder.Write("新しいフォルダ (3)", "x");
    EXPECT_EQ(NewFolderName(path), path + QStringLiteral("/新しいフォルダ (3)")) << "a plain file is not skipped";
}

TEST(TSHFileList, OutsideChangesShowUpKeepingSelectionFocusAndPlace) {
    TempFolder folder;
    fs::create_directory(folder.File("shown"));
    const std::string shown = folder.File("shown");
    for (const char* name : {"b", "c", "d"}) WriteBytes(shown + "/" + name, 1);
    RowsView view;
    TSHFileList list(&view);
    Show(list, shown);
    ASSERT_EQ(list.Count(), 3);
    view.selected = {RowOf(list, "b")};
    view.focused = RowOf(list, "c");
    view.top = RowOf(list, "c");

    const int changes = view.listChanges;
    EXPECT_EQ(list.GetItem(RowOf(list, "d"))->SizeText(), QStringLiteral("1KB"));
    WriteBytes(shown + "/d", 5000);
    ASSERT_TRUE(ProcessEventsUntil([&] { return list.GetItem(RowOf(list, "d"))->SizeText() == QStringLiteral("5KB"); }));
    EXPECT_EQ(view.listChanges, changes) << "a changed size re-reads the entry, not the folder";

    WriteBytes(shown + "/a", 1);
    ASSERT_TRUE(ProcessEventsUntil([&] { return list.Count() == 4; }));
    EXPECT_EQ(NamesAt(list, view.selected), (std::vector<QString>{"b"}));
    EXPECT_EQ(list.GetItem(view.focused)->GetDisplayName(), QStringLiteral("c"));
    EXPECT_EQ(list.GetItem(view.top)->GetDisplayName(), QStringLiteral("c"));

    fs::rename(shown + "/d", shown + "/e");
    fs::remove(shown + "/a");
    ASSERT_TRUE(ProcessEventsUntil([&] { return RowOf(list, "e") >= 0 && list.Count() == 3; }));
    EXPECT_EQ(RowOf(list, "d"), -1);

    fs::remove_all(shown);
    ASSERT_TRUE(ProcessEventsUntil([&] { return list.Count() == 0; }));
    EXPECT_EQ(list.FolderIDList(), nullptr);
}

TEST(TSHFileList, AnEntryRenamedByAnotherProgramKeepsItsSelectionAndFocus) {
    TempFolder folder;
    for (const char* name : {"a", "b", "c"}) WriteBytes(folder.File(name), 1);
    RowsView view;
    TSHFileList list(&view);
    Show(list, folder.Path());
    view.selected = {RowOf(list, "a")};
    view.focused = RowOf(list, "a");

    fs::rename(folder.File("a"), folder.File("bb"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return RowOf(list, "bb") >= 0; }));
    EXPECT_EQ(NamesAt(list, view.selected), (std::vector<QString>{"bb"}));
    EXPECT_EQ(view.focused, RowOf(list, "bb"));

    // A name gone with none new is no rename: nothing else gets selected.
    fs::remove(folder.File("bb"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return list.Count() == 2; }));
    EXPECT_TRUE(view.selected.empty());
}

