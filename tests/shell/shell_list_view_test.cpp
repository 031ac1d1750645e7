#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include "id_lists.h"
#include "platform/shell_drop_target.h"
#include "raster/image_list.h"
#include "shell/shell_file_actions.h"
#include "shell/shell_list_view.h"
#include "support/event_wait.h"
#include "support/listing_wait.h"
#include "support/pointer.h"
#include "support/qt_messages.h"
#include "support/scoped_environment_variable.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"
#include "support/unprivileged_child.h"

namespace fs = std::filesystem;

namespace {

class ListViewTest : public ::testing::Test {
protected:
    ListViewTest() {
        view.resize(500, 400);
        view.SetViewStyle(vsReport);
        view.OnShListChange = [this](TSHListView*, TSHFileList*) { ++listChanges; };
        view.OnShSelChange = [this](TSHListView*, std::int64_t size) { sizes.push_back(size); };
    }

    void Show(const std::string& path) {
        IDList folder = PathList(path);
        ASSERT_NE(folder, nullptr);
        view.SetFolderIDList(folder);
        FreeIDList(folder);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !view.FileList().Listing(); }));
    }
    int RowOf(const QString& name) {
        for (int row = 0; row < view.RowCount(); ++row)
            if (Cell(row, hcName) == name) return row;
        return -1;
    }
    QString Cell(int row, int column) const { return view.Model()->index(row, column).data().toString(); }
    QWidget* Viewport() const { return view.ReportView()->viewport(); }
    QPoint RowCentre(int row) const { return view.ReportView()->visualRect(view.Model()->index(row, 0)).center(); }

    ScriptedMessageBoxes boxes;
    TempFolder folder;
    TSHListView view;
    int listChanges = 0;
    std::vector<std::int64_t> sizes;
};

TEST_F(ListViewTest, ShowsTheFolderAndOpensFoldersInPlaceUnlessLocked) {
    fs::create_directory(folder.File("sub"));
    WriteBytes(folder.File("sub/inner.png"), 10);
    WriteBytes(folder.File("a.png"), 2048);
    Show(folder.Path());
    ASSERT_EQ(view.RowCount(), 2);
    EXPECT_EQ(view.Model()->headerData(hcType, Qt::Horizontal).toString(), QStringLiteral("ファイルの種類"));
    EXPECT_EQ(Cell(0, hcName), QStringLiteral("sub"));
    EXPECT_EQ(Cell(1, hcSize), QStringLiteral("2KB"));
    EXPECT_EQ(Cell(0, hcType), QStringLiteral("ファイル フォルダ"));
    const int changes = listChanges;
    EXPECT_GE(changes, 1);
    Show(folder.Path());
    EXPECT_EQ(listChanges, changes) << "showing the same folder again does not reload";

    for (const TViewStyle style : {vsIcon, vsSmallIcon, vsList, vsReport}) {
        view.SetViewStyle(style);
        EXPECT_EQ(view.RowCount(), 2);
    }

    TSHFileItem* executed = nullptr;
    view.OnShExecute = [&](TSHListView*, TSHFileItem* item, Qt::KeyboardModifiers, int, int, int, bool& defaultAction) {
        executed = item;
        defaultAction = false;
    };
    view.ExecuteItem(1, 0, {}, QPoint());
    ASSERT_NE(executed, nullptr);
    EXPECT_EQ(executed->GetDisplayName(), QStringLiteral("a.png"));

    bool lockReported = false;
    view.OnShFolderLock = [&](TSHListView*, bool lock) { lockReported = lock; };
    view.SetLocked(true);
    EXPECT_TRUE(lockReported);
    view.ExecuteItem(0, 0, {}, QPoint());
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("フォルダ固定により移動が制限されています。")});
    EXPECT_EQ(view.RowCount(), 2) << "a locked list stays";

    view.SetLocked(false);
    view.ExecuteItem(0, 0, {}, QPoint());
    ASSERT_TRUE(WaitUntilListed(view));
    EXPECT_EQ(view.RowCount(), 1);
    EXPECT_EQ(Cell(0, hcName), QStringLiteral("inner.png"));
    EXPECT_EQ(view.FolderPath(), QString::fromStdString(folder.File("sub")));
}

TEST_F(ListViewTest, ColumnClicksReverseThatColumnAndMoveTheArrow) {
    WriteBytes(folder.File("small"), 1);
    WriteBytes(folder.File("big"), 5000);
    WriteBytes(folder.File("mid"), 2000);
    Show(folder.Path());
    view.SetSelectedRows({static_cast<int>(RowOf("mid"))});
    view.Header()->sectionClicked(hcSize);
    EXPECT_EQ(Cell(0, hcName), QStringLiteral("big")) << "the first click sorts descending";
    EXPECT_EQ(view.SortType(), hcSize);
    EXPECT_EQ(view.Header()->sortIndicatorSection(), static_cast<int>(hcSize));
    EXPECT_EQ(view.Header()->sortIndicatorOrder(), Qt::DescendingOrder);
    view.Header()->sectionClicked(hcSize);
    EXPECT_EQ(Cell(0, hcName), QStringLiteral("small"));
    EXPECT_EQ(view.Header()->sortIndicatorOrder(), Qt::AscendingOrder);
    ASSERT_EQ(view.SelectedRows().size(), 1u);
    EXPECT_EQ(Cell(view.SelectedRows()[0], hcName), QStringLiteral("mid")) << "the selection follows its entry";
}

TEST_F(ListViewTest, TheSelectedSizeIsTheSumOfTheSelectedEntries) {
    std::int64_t all = 0;
    for (int i = 0; i < 50; ++i) {
        WriteBytes(folder.File("f", i), static_cast<std::size_t>(i * 100));
        all += i * 100;
    }
    Show(folder.Path());
    sizes.clear();
    view.ReportView()->selectAll();
    ASSERT_EQ(sizes.size(), 1u) << "selecting all is one change";
    EXPECT_EQ(sizes.back(), all);
    const int row = RowOf("f7");
    view.SelectionModel()->select(view.Model()->index(row, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    EXPECT_EQ(view.SelSize(), all - 700);
}

TEST_F(ListViewTest, ColumnSettingsRoundTripThroughTheOwnersSettings) {
    WriteBytes(folder.File("a"), 1);
    Show(folder.Path());
    const QString path = QString::fromStdString(folder.File("k.ini"));
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue("ShellListView/ColumnsCount", 0);
        settings.setValue("ShellListView/ViewStyle", 2);
        view.LoadColumnSettings(settings, QStringLiteral("ShellListView"));
        EXPECT_EQ(view.ViewStyle(), vsReport) << "a count of 0 changes nothing";

        view.LoadColumnSettings(settings, QStringLiteral("Missing"));
        EXPECT_EQ(view.ColumnOrder(), (std::vector<int>{0, 1, 2, 3, 4}));
        EXPECT_EQ(view.ColumnWidth(4), view.TypicalColumnWidth(4));
        EXPECT_EQ(view.ViewStyle(), vsIcon);
        EXPECT_EQ(view.SortType(), hcName);

        view.SetColumnOrder({2, 0, 1, 3, 4});
        for (int column = 0; column < 5; ++column) view.SetColumnWidth(column, 40 + 10 * column);
        view.SetViewStyle(vsReport);
        view.SetSort(hcLastWrite, -1);
        view.SaveColumnSettings(settings, QStringLiteral("ShellListView"));
    }
    QSettings written(path, QSettings::IniFormat);
    EXPECT_EQ(written.value("ShellListView/Columns0").toInt(), 2);
    EXPECT_EQ(written.value("ShellListView/ColumnsWidth2").toInt(), 60);
    EXPECT_EQ(written.value("ShellListView/SortOrder3").toInt(), -1);
    EXPECT_EQ(written.value("ShellListView/SortType").toInt(), 3);
    EXPECT_EQ(written.value("ShellListView/ViewStyle").toInt(), 3);

    TSHListView other;
    other.LoadColumnSettings(written, QStringLiteral("ShellListView"));
    EXPECT_EQ(other.ColumnOrder(), (std::vector<int>{2, 0, 1, 3, 4}));
    for (int column = 0; column < 5; ++column) EXPECT_EQ(other.ColumnWidth(column), 40 + 10 * column);
    EXPECT_EQ(other.ViewStyle(), vsReport);
    EXPECT_EQ(other.SortType(), hcLastWrite);
    EXPECT_EQ(other.FileList().SortDirection(hcLastWrite), -1);
}

TEST_F(ListViewTest, RenamesInPlaceAndMakesNewFolders) {
    WriteBytes(folder.File("old.png"), 3);
    WriteBytes(folder.File("taken.png"), 3);
    Show(folder.Path());
    view.show();
    const auto renameRow = [&](int row, const QString& text) {
        view.EditRow(row);
        auto* editor = Viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    renameRow(RowOf("old.png"), QStringLiteral("new.png"));
    EXPECT_TRUE(fs::exists(folder.File("new.png")));
    EXPECT_GE(RowOf("new.png"), 0);
    renameRow(RowOf("new.png"), QStringLiteral("taken.png"));
    EXPECT_TRUE(fs::exists(folder.File("new.png"))) << "an existing name is refused";
    EXPECT_EQ(boxes.Messages().size(), 1u);

    ASSERT_TRUE(view.CreateNewFolder());
    EXPECT_TRUE(fs::is_directory(folder.File("新しいフォルダ")));
    ASSERT_TRUE(ProcessEventsUntil([&] { return Viewport()->findChild<QLineEdit*>() != nullptr; }));
    const int row = RowOf(QStringLiteral("新しいフォルダ"));
    ASSERT_GE(row, 0);
    EXPECT_EQ(view.SelectedRows(), (std::vector<int>{row}));
    EXPECT_NE(Viewport()->findChild<QLineEdit*>(), nullptr) << "its name is open for editing";

    fs::remove(folder.File("新しいフォルダ"));
    WriteBytes(folder.File("新しいフォルダ"), 1);
    EXPECT_FALSE(view.CreateNewFolder()) << "a plain file of that name makes nothing";
    EXPECT_TRUE(fs::is_regular_file(folder.File("新しいフォルダ")));
}

TEST_F(ListViewTest, PlainNavigationKeysSelectTheRowTheyLandOnEvenWhenItWasFocusedAlready) {
    for (const char* name : {"a.png", "b.png", "c.png"}) WriteBytes(folder.File(name), 3);
    Show(folder.Path());
    view.show();
    QAbstractItemView* keys = view.CurrentView();
    keys->setFocus();
    ASSERT_EQ(view.FocusedRow(), 0);
    ASSERT_TRUE(view.SelectedRows().empty());

    QTest::keyClick(keys, Qt::Key_Home);
    EXPECT_EQ(view.SelectedRows(), std::vector<int>{0});
    QTest::keyClick(keys, Qt::Key_End);
    EXPECT_EQ(view.SelectedRows(), std::vector<int>{2});
    // Ctrl moves the focus alone, as before.
    QTest::keyClick(keys, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.FocusedRow(), 0);
    EXPECT_EQ(view.SelectedRows(), std::vector<int>{2});
}

// Answers the delete question with a look at the program while it asks.
class QuestionProbe final : public platform::MessageBoxService {
public:
    explicit QuestionProbe(std::function<void()> look) : look_(std::move(look)) { platform::SetMessageBoxService(this); }
    ~QuestionProbe() override { platform::SetMessageBoxService(nullptr); }
    platform::MessageResult Show(QWidget*, const QString& text, platform::MessageIcon,
                                 platform::MessageButtons) override {
        texts << text;
        if (texts.size() == 1) look_();
        return platform::MessageResult::Yes;
    }
    QStringList texts;

private:
    std::function<void()> look_;
};

TEST_F(ListViewTest, ADeleteTakesTheRowsOfTheItemsThatWentAndNoSecondDeleteStartsMeanwhile) {
    const ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", folder.File("data"));
    fs::create_directory(folder.File("pictures"));
    for (const char* name : {"a.png", "b.png", "c.png", "d.png"}) WriteBytes(folder.File(std::string("pictures/") + name), 3);
    Show(folder.File("pictures"));
    view.ReportView()->selectAll();

    // The rows of files that are gone go; the others stay, still selected.
    fs::remove(folder.File("pictures/a.png"));
    fs::remove(folder.File("pictures/c.png"));
    EXPECT_EQ(view.FileList().DeleteSelected(), 2);
    ASSERT_EQ(view.RowCount(), 2);
    EXPECT_EQ(view.SelectedRows(), (std::vector<int>{0, 1}));

    TSHFileDelete deleteCommand;
    bool enabledMeanwhile = true;
    bool secondDeleteRan = true;
    QuestionProbe probe([&] {
        deleteCommand.UpdateTarget(&view);
        enabledMeanwhile = deleteCommand.isEnabled();
        secondDeleteRan = view.ExecuteShellCommand(TSHListView::scDelete);
        // One of them goes elsewhere meanwhile: the delete does not
        // succeed, yet the rows of both go, as both files are gone.
        fs::remove(folder.File("pictures/b.png"));
    });
    deleteCommand.UpdateTarget(&view);
    ASSERT_TRUE(deleteCommand.isEnabled());
    EXPECT_FALSE(view.ExecuteShellCommand(TSHListView::scDelete));
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_FALSE(secondDeleteRan);
    EXPECT_EQ(probe.texts.size(), 2) << probe.texts.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(fs::exists(folder.File("pictures/d.png")));
    EXPECT_EQ(view.RowCount(), 0);
}

TEST_F(ListViewTest, ColumnsStartWideEnoughForTheirContentAndAbsurdSavedWidthsCountAsMissing) {
    WriteBytes(folder.File("IMG_20240101_123456.jpeg"), 5'000'000);
    Show(folder.Path());
    const int row = RowOf(QStringLiteral("IMG_20240101_123456.jpeg"));
    ASSERT_GE(row, 0);
    const auto showsItsContent = [&](const TSHListView& list) {
        const QFontMetrics metrics = list.ReportView()->fontMetrics();
        for (int column = 0; column < kHeaderCaptionCount; ++column) {
            const QString caption = list.Model()->headerData(column, Qt::Horizontal).toString();
            const int icon = column == hcName ? 16 : 0;
            const int needed = std::max(metrics.horizontalAdvance(Cell(row, column)) + icon,
                                        list.Header()->fontMetrics().horizontalAdvance(caption));
            if (list.ColumnWidth(column) < needed + 8) return false;
        }
        return true;
    };
    EXPECT_TRUE(showsItsContent(view)) << "a list never told its widths";

    const QString path = QString::fromStdString(folder.File("k.ini"));
    QSettings settings(path, QSettings::IniFormat);
    TSHListView fresh;
    fresh.LoadColumnSettings(settings, QStringLiteral("ShellListView"));
    EXPECT_TRUE(showsItsContent(fresh)) << "no saved widths";

    settings.setValue("ShellListView/ColumnsWidth0", 0);
    settings.setValue("ShellListView/ColumnsWidth1", -40);
    settings.setValue("ShellListView/ColumnsWidth2", 2'000'000);
    settings.setValue("ShellListView/ColumnsWidth3", "wide");
    settings.setValue("ShellListView/ColumnsWidth4", 0);
    TSHListView absurd;
    absurd.LoadColumnSettings(settings, QStringLiteral("ShellListView"));
    EXPECT_TRUE(showsItsContent(absurd)) << "widths no user could have dragged";

    settings.setValue("ShellListView/ColumnsWidth3", 70);
    TSHListView chosen;
    chosen.LoadColumnSettings(settings, QStringLiteral("ShellListView"));
    EXPECT_EQ(chosen.ColumnWidth(hcLastWrite), 70) << "a width the user chose stays";
}

// Tests run as root, who reads every folder: the unreadable folder is
// looked at by an unprivileged child.
TEST_F(ListViewTest, AnUnreadableFolderSaysWhyItShowsNothing) {
    fs::create_directory(folder.File("locked"));
    fs::create_directory(folder.File("empty"));
    WriteBytes(folder.File("locked/secret.png"), 1);
    ASSERT_EQ(chmod(folder.File("locked").c_str(), 0700), 0);
    ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
    const std::string path = folder.Path();
    EXPECT_TRUE(RunUnprivileged([&path] {
        TSHListView list;
        list.resize(400, 300);
        list.SetViewStyle(vsReport);
        list.show();
        const auto showFolder = [&list](const std::string& folderPath) {
            IDList absolute = PathList(folderPath);
            list.SetFolderIDList(absolute);
            FreeIDList(absolute);
            WaitUntilListed(list);
        };
        const auto textShown = [&list] {
            const QLabel* label = list.CurrentView()->viewport()->findChild<QLabel*>();
            return label && label->isVisible() ? label->text() : QString();
        };
        showFolder(path + "/locked");
        const QString locked = textShown();
        const bool says = list.RowCount() == 0 && locked.contains(QStringLiteral("読み取れません")) &&
                          locked.contains(QStringLiteral("アクセスが拒否されました")) &&
                          list.FileList().ReadFailureText() == locked;
        list.SetViewStyle(vsIcon);
        const bool everyStyle = textShown() == locked;
        showFolder(path + "/empty");
        const bool emptyIsJustEmpty = list.RowCount() == 0 && textShown().isEmpty();
        showFolder(path);
        return says && everyStyle && emptyIsJustEmpty && list.RowCount() == 2 && textShown().isEmpty();
    }));
}

TEST_F(ListViewTest, TypingMovesToTheNextNameHoldingTheTextAnywhereIgnoringCase) {
    for (const char* name : {"alpha.png", "beta.png", "xyz_gamma.png", "Delta_YZ.png"})
        WriteBytes(folder.File(name), 1);
    Show(folder.Path());
    view.show();
    const int alpha = RowOf(QStringLiteral("alpha.png"));
    const int gamma = RowOf(QStringLiteral("xyz_gamma.png"));
    const int delta = RowOf(QStringLiteral("Delta_YZ.png"));
    EXPECT_EQ(view.FindRow(QStringLiteral("yz"), delta), delta) << "from the start row on";
    EXPECT_EQ(view.FindRow(QStringLiteral("ALPHA"), delta), alpha) << "wrapping past the end";
    EXPECT_EQ(view.FindRow(QStringLiteral("omega"), 0), -1);

    const int interval = QApplication::keyboardInputInterval();
    // The keys of one search, however slowly the machine delivers them.
    QApplication::setKeyboardInputInterval(std::numeric_limits<int>::max());
    view.SetFocusedRow(alpha);
    QTest::keyClicks(view.ReportView(), QStringLiteral("YZ_G"));
    EXPECT_EQ(view.FocusedRow(), gamma);
    EXPECT_EQ(view.SelectedRows(), std::vector<int>{gamma});

    QApplication::setKeyboardInputInterval(interval);
}

TEST_F(ListViewTest, InPlaceRenamesInEveryStyleLeaveQtNothingToWarnAbout) {
    WriteBytes(folder.File("one.png"), 1);
    WriteBytes(folder.File("two.png"), 1);
    Show(folder.Path());
    view.show();
    const QtMessages messages;
    const auto rename = [&](const char* from, const char* to) {
        view.EditRow(RowOf(QString::fromUtf8(from)));
        auto* editor = view.CurrentView()->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr) << from;
        EXPECT_TRUE(view.IsEditing());
        editor->setText(QString::fromUtf8(to));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    rename("one.png", "uno.png");
    view.SetViewStyle(vsIcon);
    rename("two.png", "dos.png");
    EXPECT_TRUE(fs::exists(folder.File("uno.png")));
    EXPECT_TRUE(fs::exists(folder.File("dos.png")));
    EXPECT_FALSE(view.IsEditing());
    EXPECT_EQ(messages.Containing(QStringLiteral("does not belong to this view")), QStringList());
}

TEST_F(ListViewTest, DragsTheSelectionOutAsFilesAfterMoreThanFivePixels) {
    WriteBytes(folder.File("a.png"), 3);
    WriteBytes(folder.File("b.png"), 3);
    Show(folder.Path());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.SetSelectedRows({0, 1});
    unsigned effects = 0;
    const std::unique_ptr<QMimeData> data = view.SelectionMimeData(effects);
    ASSERT_NE(data, nullptr);
    QStringList files;
    for (const QUrl& url : data->urls()) files << url.toLocalFile();
    files.sort();
    EXPECT_EQ(files, (QStringList{QString::fromStdString(folder.File("a.png")), QString::fromStdString(folder.File("b.png"))}));
    EXPECT_TRUE(effects & platform::kDropEffectCopy);
    EXPECT_TRUE(effects & platform::kDropEffectMove);

    int begun = 0;
    view.OnShBeginDrag = [&](TSHListView*, TSHIDList& items, QPoint, int, int, bool& canDrag) {
        begun = items.Count();
        canDrag = false;
    };
    const QPoint start = RowCentre(0);
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, start);
    QMouseEvent five(QEvent::MouseMove, start + QPoint(5, 0), Viewport()->mapToGlobal(start + QPoint(5, 0)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(Viewport(), &five);
    EXPECT_EQ(begun, 0) << "five pixels start no drag";
    QMouseEvent six(QEvent::MouseMove, start + QPoint(6, 0), Viewport()->mapToGlobal(start + QPoint(6, 0)),
                    Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(Viewport(), &six);
    EXPECT_GE(begun, 1);
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, start + QPoint(6, 0));
    EXPECT_TRUE(view.MouseIdle());
}

// The look a row's cell gets from the list's delegate.
struct LookProbe : TListViewDelegate {
    using TListViewDelegate::initStyleOption;
    using TListViewDelegate::TListViewDelegate;
};

class HotTrackTest : public ListViewTest {
protected:
    void SetUp() override {
        fs::create_directory(folder.File("sub"));
        for (const char* name : {"a.png", "b.png", "c.png"}) WriteBytes(folder.File(name), 1);
        Show(folder.Path());
        view.OnShExecute = [this](TSHListView*, TSHFileItem* item, Qt::KeyboardModifiers, int, int, int,
                                  bool& defaultAction) {
            executed << item->GetDisplayName();
            defaultAction = false;
        };
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    }

    QPoint At(const char* name) { return RowCentre(RowOf(QString::fromUtf8(name))); }
    // As the mouse makes it: a click, then the second press and release.
    void DoubleClick(QPoint at) {
        QTest::mouseClick(Viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, at);
        QCoreApplication::processEvents();
    }
    void Click(QPoint at, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(Viewport(), Qt::LeftButton, modifiers, at);
        // A click opens once the view is done with it.
        QCoreApplication::processEvents();
    }
    QStyleOptionViewItem Look(int row) {
        LookProbe probe(&view);
        QStyleOptionViewItem option;
        option.initFrom(Viewport());
        probe.initStyleOption(&option, view.Model()->index(row, 0));
        return option;
    }

    QStringList executed;
};

TEST_F(HotTrackTest, PointingSelectsAndOneClickOpensWithTheHandPointStyle) {
    view.SetHotTrack(true);
    view.SetHotTrackStyles(htHandPoint);

    PointAt(Viewport(), At("b.png"));
    EXPECT_EQ(view.HotRow(), RowOf("b.png"));
    EXPECT_EQ(Viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(Look(RowOf("b.png")).font.underline());
    EXPECT_EQ(Look(RowOf("b.png")).palette.color(QPalette::Text), Viewport()->palette().color(QPalette::Link));
    EXPECT_FALSE(Look(RowOf("a.png")).font.underline());
    // Resting on the row selects it once the hover time is over.
    ASSERT_TRUE(ProcessEventsUntil([&] { return view.SelectedRows() == std::vector<int>{RowOf("b.png")}; }));
    EXPECT_EQ(view.FocusedRow(), RowOf("b.png"));
    EXPECT_TRUE(executed.isEmpty()) << "pointing opens nothing";

    Click(At("a.png"));
    EXPECT_EQ(executed, QStringList{"a.png"});
    DoubleClick(At("c.png"));
    EXPECT_EQ(executed, (QStringList{"a.png", "c.png"})) << "a double-click opens once";

    // Ctrl and Shift clicks build a selection without opening anything.
    executed.clear();
    Click(At("a.png"), Qt::ControlModifier);
    Click(At("b.png"), Qt::ShiftModifier);
    EXPECT_TRUE(executed.isEmpty());
    EXPECT_GE(view.SelectedCount(), 2);

    // Renaming is F2's; a click on the selected row opens it instead.
    view.SetSelectedRows({RowOf("a.png")});
    view.SetFocusedRow(RowOf("a.png"));
    view.CurrentView()->setFocus();
    QTest::keyClick(view.CurrentView(), Qt::Key_F2);
    EXPECT_TRUE(view.IsEditing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(view.IsEditing());
    Click(At("a.png"));
    EXPECT_EQ(executed, QStringList{"a.png"});
    EXPECT_FALSE(view.IsEditing());

    Click(At("sub"));
    EXPECT_EQ(view.FolderPath(), QString::fromStdString(folder.File("sub")));
    EXPECT_EQ(view.HotRow(), -1) << "the rows under the pointer changed";
}

TEST_F(HotTrackTest, AHandPointDragStillStartsAndOpensNothing) {
    view.SetHotTrack(true);
    view.SetHotTrackStyles(htHandPoint);
    int begun = 0;
    view.OnShBeginDrag = [&](TSHListView*, TSHIDList&, QPoint, int, int, bool& canDrag) {
        ++begun;
        canDrag = false;
    };
    const QPoint start = At("a.png");
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, start);
    QMouseEvent moved(QEvent::MouseMove, start + QPoint(6, 0), Viewport()->mapToGlobal(start + QPoint(6, 0)),
                      Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(Viewport(), &moved);
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, start + QPoint(6, 0));
    QCoreApplication::processEvents();
    EXPECT_EQ(begun, 1);
    EXPECT_TRUE(executed.isEmpty());
}

TEST_F(HotTrackTest, WithoutHotTrackingAClickSelectsASlowSecondOneRenamesAndADoubleClickOpens) {
    // Switched on and off again, the list is as made.
    view.SetHotTrack(true);
    view.SetHotTrackStyles(htHandPoint | htUnderlineCold);
    view.SetHotTrack(false);
    view.SetHotTrackStyles({});

    PointAt(Viewport(), At("b.png"));
    EXPECT_EQ(view.HotRow(), -1);
    EXPECT_NE(Viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(Look(RowOf("b.png")).font.underline());

    Click(At("a.png"));
    EXPECT_TRUE(executed.isEmpty());
    EXPECT_EQ(view.SelectedRows(), std::vector<int>{RowOf("a.png")});
    Click(At("a.png"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return view.IsEditing(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);

    DoubleClick(At("c.png"));
    EXPECT_EQ(executed, QStringList{"c.png"});
}

TEST_F(HotTrackTest, UnderlineStylesMarkTheHotRowOrAllOthers) {
    view.SetHotTrackStyles(htUnderlineHot);
    PointAt(Viewport(), At("b.png"));
    ASSERT_EQ(view.HotRow(), RowOf("b.png"));
    EXPECT_TRUE(Look(RowOf("b.png")).font.underline());
    EXPECT_FALSE(Look(RowOf("a.png")).font.underline());
    EXPECT_NE(Viewport()->cursor().shape(), Qt::PointingHandCursor);

    view.SetHotTrackStyles(htUnderlineCold);
    EXPECT_FALSE(Look(RowOf("b.png")).font.underline());
    EXPECT_TRUE(Look(RowOf("a.png")).font.underline());
    // Only the caption: the details beside it stay plain.
    LookProbe probe(&view);
    QStyleOptionViewItem size;
    probe.initStyleOption(&size, view.Model()->index(RowOf("a.png"), hcSize));
    EXPECT_FALSE(size.font.underline());

    // Neither selects by pointing nor opens with one click.
    Click(At("a.png"));
    EXPECT_TRUE(executed.isEmpty());
}

TEST_F(ListViewTest, DropsCarryFilesIntoTheFolderOrTheFolderUnderThePointer) {
    fs::create_directory(folder.File("shown"));
    fs::create_directory(folder.File("shown/inside"));
    fs::create_directory(folder.File("source"));
    WriteBytes(folder.File("source/one.png"), 4);
    WriteBytes(folder.File("source/two.png"), 4);
    Show(folder.File("shown"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    int entered = 0;
    view.OnShDragEnter = [&](TSHListView*, const TSHDragObject&, Qt::KeyboardModifiers, QPoint, bool&) { ++entered; };

    const auto drop = [&](QMimeData& data, QPoint at, Qt::DropActions actions) {
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(Viewport(), &enter);
        QDragMoveEvent move(at, actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(Viewport(), &move);
        if (!move.isAccepted()) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(Viewport(), &leave);
            return false;
        }
        QDropEvent dropped(at, actions, &data, Qt::NoButton, {});
        QApplication::sendEvent(Viewport(), &dropped);
        return dropped.isAccepted();
    };

    QMimeData text;
    text.setText(QStringLiteral("plain words"));
    EXPECT_FALSE(drop(text, QPoint(200, 300), Qt::CopyAction));
    EXPECT_EQ(entered, 0) << "text is not shell data";

    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.File("source/one.png")))});
    EXPECT_TRUE(drop(one, QPoint(200, 300), Qt::CopyAction));
    EXPECT_TRUE(fs::exists(folder.File("shown/one.png")));
    EXPECT_TRUE(fs::exists(folder.File("source/one.png"))) << "copied, as asked";
    EXPECT_TRUE(ProcessEventsUntil([&] { return RowOf("one.png") >= 0 && !view.FileList().Listing(); }));

    QMimeData two;
    two.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.File("source/two.png")))});
    EXPECT_TRUE(drop(two, RowCentre(RowOf("inside")), Qt::CopyAction | Qt::MoveAction));
    EXPECT_TRUE(fs::exists(folder.File("shown/inside/two.png"))) << "onto a folder row goes into that folder";
    EXPECT_FALSE(fs::exists(folder.File("source/two.png"))) << "moved on the same device";
    EXPECT_EQ(view.DropHighlightRow(), -1);

    QMimeData itself;
    itself.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.File("shown/inside")))});
    drop(itself, RowCentre(RowOf("inside")), Qt::CopyAction | Qt::MoveAction);
    EXPECT_TRUE(fs::is_directory(folder.File("shown/inside"))) << "a folder dropped into itself stays";
    EXPECT_TRUE(fs::exists(folder.File("shown/inside/two.png")));
}

TEST_F(ListViewTest, TellsWhetherTheClipboardOffersFiles) {
    std::vector<bool> reports;
    view.OnShClipboard = [&](TSHListView*, bool contented) { reports.push_back(contented); };
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.Path()))});
    QApplication::clipboard()->setMimeData(files);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !reports.empty(); }));
    EXPECT_TRUE(reports.back());
    QApplication::clipboard()->setText(QStringLiteral("words"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return reports.size() >= 2; }));
    EXPECT_FALSE(reports.back());
    QApplication::clipboard()->clear();
}

// Whether some pixel of the view's rectangle is (nearly) the colour.
bool Shows(const QImage& image, QRect rect, QColor colour) {
    rect &= image.rect();
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green()) +
                    std::abs(pixel.blue() - colour.blue()) < 60)
                return true;
        }
    return false;
}

TEST_F(ListViewTest, TheOwnerColoursPaintedRowsByTheirAttributesAndMayPaintThemItself) {
    fs::create_directory(folder.File("sub"));
    WriteBytes(folder.File(".hidden"), 1);
    for (int i = 0; i < 300; ++i) WriteBytes(folder.File("plain", 1000 + i), 1);
    std::set<int> asked;
    view.OnCustomDrawItem = [&](TSHListView* sender, int row, QStyle::State, TListItemCanvas& canvas,
                                bool& defaultDraw, bool&) {
        asked.insert(row);
        TSHFileItem* entry = sender->FileList().GetItem(row);
        if (entry->Attributes() & platform::kAttrHidden) canvas.FontColor = Qt::red;
        if (entry->IsDirectory()) {
            canvas.Painter->fillRect(canvas.Rect, Qt::blue);
            defaultDraw = false;
        }
    };
    Show(folder.Path());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QImage image = Viewport()->grab().toImage();
    auto rowRect = [&](const char* name) {
        const int row = RowOf(name);
        EXPECT_GE(row, 0) << name;
        return view.ReportView()->visualRect(view.Model()->index(row, hcName));
    };
    EXPECT_TRUE(Shows(image, rowRect(".hidden"), Qt::red));
    EXPECT_FALSE(Shows(image, rowRect("plain1000"), Qt::red));
    EXPECT_TRUE(Shows(image, rowRect("sub"), Qt::blue));
    EXPECT_FALSE(Shows(image, rowRect(".hidden"), Qt::blue));
    ASSERT_FALSE(asked.empty());
    EXPECT_LT(*asked.rbegin(), 100) << "only rows on screen are asked";
}

TEST_F(ListViewTest, AttributeImagesStandInTheirColumnAndOverLargeIcons) {
    // The offscreen platform knows no icon theme; the marks need an icon.
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    WriteBytes(folder.File(".hidden"), 1);
    WriteBytes(folder.File("plain"), 1);
    QPixmap green(8, 8);
    green.fill(Qt::green);
    TImageList images(8, 8);
    TAttributesImage attributes;
    attributes.ImageList = &images;
    attributes.Hidden = images.Add(green);
    view.SetAttributesImage(&attributes);
    for (int column = 0; column < kHeaderCaptionCount; ++column) view.SetColumnWidth(column, 80);
    Show(folder.Path());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(Cell(RowOf(".hidden"), hcAttr), QString()) << "images instead of letters";
    QImage image = Viewport()->grab().toImage();
    auto cell = [&](const char* name, int column) {
        return view.ReportView()->visualRect(view.Model()->index(RowOf(name), column));
    };
    EXPECT_TRUE(Shows(image, cell(".hidden", hcAttr), Qt::green));
    EXPECT_FALSE(Shows(image, cell("plain", hcAttr), Qt::green));

    view.SetViewStyle(vsIcon);
    QCoreApplication::processEvents();
    image = view.IconView()->viewport()->grab().toImage();
    auto item = [&](const char* name) {
        return view.IconView()->visualRect(view.Model()->index(RowOf(name), hcName));
    };
    EXPECT_TRUE(Shows(image, item(".hidden").adjusted(-8, 0, 0, 0), Qt::green));
    EXPECT_FALSE(Shows(image, item("plain").adjusted(-8, 0, 0, 0), Qt::green));
}

}  // namespace
