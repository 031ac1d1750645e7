#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <QApplication>
#include <QAbstractItemView>
#include <QStandardItemModel>
#include <QTest>

#include "id_lists.h"
#include "shell/shell_list_view.h"
#include "shell/shell_list_view_actions.h"
#include "shell/shell_sort_actions.h"
#include "support/action_state.h"
#include "support/event_wait.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class ListViewActionsTest : public ::testing::Test {
protected:
    ListViewActionsTest() {
        view.resize(500, 400);
        view.SetViewStyle(vsReport);
        view.OnShSelChange = [this](TSHListView*, std::int64_t) { ++selectionReports; };
        view.show();
    }

    void Show(IDList folder) {
        ASSERT_NE(folder, nullptr);
        view.SetFolderIDList(folder);
        FreeIDList(folder);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !view.FileList().Listing(); }));
    }
    QStringList Names() const {
        QStringList names;
        for (int row = 0; row < view.RowCount(); ++row) names << view.Model()->index(row, hcName).data().toString();
        return names;
    }
    QStringList SelectedNames() const {
        QStringList names;
        for (const int row : view.SelectedRows()) names << view.Model()->index(row, hcName).data().toString();
        return names;
    }

    TempFolder folder;
    TSHListView view;
    int selectionReports = 0;
};

TEST_F(ListViewActionsTest, SortCommandsKeepEachColumnsOwnDirection) {
    WriteBytes(folder.File("b"), 300);
    WriteBytes(folder.File("a"), 200);
    WriteBytes(folder.File("c"), 100);
    Show(PathList(folder.Path()));
    TSHFileSortByName byName;
    TSHFileSortBySize bySize;
    TSHFileAscSort ascending;
    TSHFileDescSort descending;
    EXPECT_TRUE(CheckedOn(byName, &view));
    EXPECT_TRUE(CheckedOn(ascending, &view));
    EXPECT_FALSE(CheckedOn(descending, &view));

    bySize.ExecuteTarget(&view);
    EXPECT_EQ(Names(), (QStringList{"c", "a", "b"}));
    EXPECT_TRUE(CheckedOn(bySize, &view));
    EXPECT_FALSE(CheckedOn(byName, &view));
    descending.ExecuteTarget(&view);
    EXPECT_EQ(Names(), (QStringList{"b", "a", "c"})) << "the direction applies to the current column";
    EXPECT_TRUE(CheckedOn(descending, &view));
    EXPECT_FALSE(CheckedOn(ascending, &view));

    byName.ExecuteTarget(&view);
    EXPECT_EQ(Names(), (QStringList{"a", "b", "c"})) << "the name column keeps its own ascending order";
    EXPECT_EQ(view.FileList().SortDirection(hcSize), -1);
    bySize.ExecuteTarget(&view);
    EXPECT_EQ(Names(), (QStringList{"b", "a", "c"})) << "and the size column its descending one";

    Show(Special(sfDrives));
    EXPECT_TRUE(EnabledOn(byName, &view));
    EXPECT_FALSE(EnabledOn(bySize, &view)) << "the drives folder sorts only by name";
    EXPECT_FALSE(EnabledOn(ascending, &view));
    EXPECT_FALSE(bySize.isChecked()) << "no check mark on a disabled command";
}

TEST_F(ListViewActionsTest, ViewStyleCommandsSetAndShowTheStyle) {
    TLargeIcon large;
    TSmallIcon small;
    TListIcon list;
    TReportIcon report;
    EXPECT_TRUE(CheckedOn(report, &view));
    EXPECT_FALSE(CheckedOn(large, &view));
    small.ExecuteTarget(&view);
    EXPECT_EQ(view.ViewStyle(), vsSmallIcon);
    EXPECT_TRUE(CheckedOn(small, &view));
    EXPECT_FALSE(CheckedOn(report, &view));
    view.hide();
    EXPECT_FALSE(list.HandlesTarget(&view));
}

TEST_F(ListViewActionsTest, SelectionCommandsChangeTheSelectionInOneReport) {
    for (int i = 0; i < 7; ++i) WriteBytes(folder.File("f", i), 1);
    for (int i = 0; i < 3; ++i) fs::create_directory(folder.File("d", i));
    Show(PathList(folder.Path()));
    ASSERT_EQ(view.RowCount(), 10);

    TReverseSelectedItem reverse;
    view.SetSelectedRows({1, 4, 8});
    const QStringList before = SelectedNames();
    selectionReports = 0;
    reverse.ExecuteTarget(&view);
    EXPECT_EQ(selectionReports, 1);
    EXPECT_EQ(view.SelectedRows(), (std::vector<int>{0, 2, 3, 5, 6, 7, 9}));
    EXPECT_EQ(view.SelectionFacts().Count, 7);
    reverse.ExecuteTarget(&view);
    EXPECT_EQ(SelectedNames(), before) << "reversing twice restores";

    TSelectFileItem files;
    TSelectFolderItem folders;
    selectionReports = 0;
    files.ExecuteTarget(&view);
    EXPECT_EQ(selectionReports, 1);
    EXPECT_EQ(SelectedNames(), (QStringList{"f0", "f1", "f2", "f3", "f4", "f5", "f6"}));
    folders.ExecuteTarget(&view);
    EXPECT_EQ(SelectedNames(), (QStringList{"d0", "d1", "d2"}));

    TSelectAllItem all;
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.setFocus();
    selectionReports = 0;
    all.ExecuteTarget(&view);
    EXPECT_EQ(selectionReports, 1);
    EXPECT_EQ(view.SelectionFacts().Count, 10);
    EXPECT_TRUE(view.CurrentView()->hasFocus()) << "the list takes the focus";

    Show(Special(sfDrives));
    files.ExecuteTarget(&view);
    EXPECT_TRUE(view.SelectedRows().empty()) << "drives are neither files nor folders of the file system";
}

TEST_F(ListViewActionsTest, AnAssignedPlainListIsTheOnlyTargetAndIsToggledRowByRow) {
    TListView plain;
    QStandardItemModel model(4, 1);
    plain.SetModel(&model);
    plain.show();
    TReverseSelectedItem reverse;
    reverse.SetControl(&plain);
    EXPECT_FALSE(reverse.HandlesTarget(&view));
    ASSERT_TRUE(EnabledOn(reverse, &plain));
    plain.SetSelectedRows({0, 3});
    reverse.ExecuteTarget(&plain);
    EXPECT_EQ(plain.SelectedRows(), (std::vector<int>{1, 2}));
}

}  // namespace
