#include <filesystem>

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include "components/shell_folder_dialog.h"
#include "support/scoped_environment_variable.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

TIDListHolder ListOf(const std::string& path) {
    IDList list = nullptr;
    IDListFromNativePath(path, list);
    return TIDListHolder(list);
}

QStringList ChildNames(QTreeWidgetItem* item) {
    QStringList names;
    for (int i = 0; i < item->childCount(); ++i) names << item->child(i)->text(0);
    return names;
}

class ShellFolderBrowserTest : public ::testing::Test {
protected:
    ShellFolderBrowserTest() {
        for (const char* folder : {"b", "a", "a/inner", ".hidden"})
            std::filesystem::create_directories(temp.File(folder));
        temp.Write("picture.png", "not a folder");
    }

    TempFolder temp;
    TIDListHolder root = ListOf(temp.Path());
};

TEST(BrowseFlagsTest, CombinesTheFlagsOfTheOptions) {
    using enum TSelectFolderOption;
    EXPECT_EQ(BrowseFlags({}), 0u);
    EXPECT_EQ(BrowseFlags({bifReturnOnlyFSDIRs}), 0x1u);
    EXPECT_EQ(BrowseFlags({bifEditBox, bifValiDate, bifBrowseIncludeFiles}), 0x4030u);
    EXPECT_EQ(BrowseFlags({bifUseNewUI, bifEditBox}), 0x50u);
}

TEST_F(ShellFolderBrowserTest, ShowsTheFoldersBelowTheRootInShellOrder) {
    TShellFolderBrowser browser(nullptr, root.get(), QStringLiteral("保存先"), BIF_RETURNONLYFSDIRS);
    QTreeWidgetItem* top = browser.Tree()->topLevelItem(0);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->text(0), QString::fromStdString(std::filesystem::path(temp.Path()).filename()));
    EXPECT_EQ(ChildNames(top), QStringList({"a", "b"}));
    // The selection's path is the status text, and OK needs a path.
    EXPECT_EQ(browser.StatusLabel()->text(), QString::fromStdString(temp.Path()));
    EXPECT_TRUE(browser.OkEnabled());
    EXPECT_EQ(browser.EditBox(), nullptr);

    TShellFolderBrowser withFiles(nullptr, root.get(), QString(), BIF_BROWSEINCLUDEFILES);
    EXPECT_EQ(ChildNames(withFiles.Tree()->topLevelItem(0)), QStringList({"a", "b", "picture.png"}));
}

TEST_F(ShellFolderBrowserTest, SelectsAnItemDeepBelowTheRoot) {
    TShellFolderBrowser browser(nullptr, root.get(), QString(), BIF_RETURNONLYFSDIRS);
    const TIDListHolder inner = ListOf(temp.File("a/inner"));
    ASSERT_TRUE(browser.SelectIDList(inner.get()));
    EXPECT_TRUE(SameIDList(browser.SelectedIDList(), inner.get()));
    EXPECT_EQ(browser.SelectedPath(), QString::fromStdString(temp.File("a/inner")));
    EXPECT_EQ(browser.SelectedDisplayName(), "inner");

    // Outside the root nothing changes.
    TempFolder elsewhere;
    const TIDListHolder outside = ListOf(elsewhere.Path());
    EXPECT_FALSE(browser.SelectIDList(outside.get()));
    EXPECT_EQ(browser.SelectedDisplayName(), "inner");
}

TEST_F(ShellFolderBrowserTest, VirtualPlacesHaveNoPathAndCannotBeChosen) {
    const TIDListHolder desktop(CopyIDList(GetDesktopFolder()->AbsoluteIDList()));
    TShellFolderBrowser browser(nullptr, desktop.get(), QString(), BIF_RETURNONLYFSDIRS);
    IDList drives = nullptr;
    ASSERT_TRUE(GetSpecialFolderIDList(sfDrives, drives));
    const TIDListHolder drivesHolder(drives);
    ASSERT_TRUE(browser.SelectIDList(drives));
    EXPECT_EQ(browser.SelectedDisplayName(), "コンピュータ");
    EXPECT_TRUE(browser.SelectedPath().isEmpty());
    EXPECT_FALSE(browser.OkEnabled());
}

TEST_F(ShellFolderBrowserTest, TypedNamesAreCheckedBeforeTheDialogCloses) {
    ScriptedMessageBoxes messages;
    TShellFolderBrowser browser(nullptr, root.get(), QString(), BIF_EDITBOX | BIF_VALIDATE);
    ASSERT_NE(browser.EditBox(), nullptr);
    browser.show();

    browser.EditBox()->setText("missing");
    browser.accept();
    EXPECT_EQ(messages.Texts(), QStringList({"フォルダ名に無効な文字が含まれています"}));
    EXPECT_EQ(messages.Messages()[0].icon, platform::MessageIcon::Error);
    EXPECT_TRUE(browser.isVisible());

    browser.EditBox()->setText("a/inner");
    browser.accept();
    EXPECT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(browser.result(), QDialog::Accepted);
    EXPECT_EQ(browser.SelectedPath(), QString::fromStdString(temp.File("a/inner")));
}

TEST(ShellFolderDialogTest, RunsTheChooserAndKeepsTheChoice) {
    TempFolder temp;
    TShellFolderDialog dialog;
    EXPECT_EQ(dialog.RootFolder(), TSpecialFolder::sfDesktop);
    EXPECT_EQ(dialog.InitFolder(), TSpecialFolder::sfDrives);
    EXPECT_EQ(dialog.Options(), TSelectFolderOptions{TSelectFolderOption::bifReturnOnlyFSDIRs});
    dialog.SetTitle(QStringLiteral("フォルダを選んでください"));

    QString initialName;
    QTimer::singleShot(0, [&] {
        auto* browser = qobject_cast<TShellFolderBrowser*>(QApplication::activeModalWidget());
        ASSERT_NE(browser, nullptr);
        initialName = browser->SelectedDisplayName();
        browser->SelectIDList(ListOf(temp.Path()).get());
        browser->accept();
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(initialName, "コンピュータ");
    EXPECT_EQ(dialog.FolderName(), QString::fromStdString(temp.Path()));
    EXPECT_EQ(dialog.DisplayName(), QString::fromStdString(std::filesystem::path(temp.Path()).filename()));
    EXPECT_TRUE(SameIDList(dialog.IDList(), ListOf(temp.Path()).get()));

    // Cancelling keeps the last choice.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FolderName(), QString::fromStdString(temp.Path()));

    // A special folder this system does not have: no dialog at all.
    dialog.SetRootFolder(TSpecialFolder::sfPrinters);
    EXPECT_FALSE(dialog.Execute());
}

TEST(ShellFolderDialogTest, StartsAtTheGivenFolderAndTakesATypedFullPath) {
    TempFolder temp;
    std::filesystem::create_directories(temp.File("start/here"));
    std::filesystem::create_directories(temp.File("typed/there"));
    TShellFolderDialog dialog;
    dialog.SetInitFolder(TSpecialFolder::sfDesktop);
    dialog.SetInitPath(QString::fromStdString(temp.File("start/here")));
    dialog.SetOptions({TSelectFolderOption::bifReturnOnlyFSDIRs, TSelectFolderOption::bifEditBox,
                       TSelectFolderOption::bifValiDate});
    ScriptedMessageBoxes messages;
    QString startPath;
    QTimer::singleShot(0, [&] {
        auto* browser = qobject_cast<TShellFolderBrowser*>(QApplication::activeModalWidget());
        ASSERT_NE(browser, nullptr);
        startPath = browser->SelectedPath();
        browser->EditBox()->setText(QString::fromStdString(temp.File("typed/there")));
        browser->accept();
        if (browser->isVisible()) browser->reject();
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(startPath, QString::fromStdString(temp.File("start/here")));
    EXPECT_EQ(dialog.FolderName(), QString::fromStdString(temp.File("typed/there")));
    EXPECT_TRUE(messages.Messages().empty()) << messages.Texts().join("\n").toStdString();

    // A hidden folder the tree does not list, and "~" for the home folder.
    std::filesystem::create_directories(temp.File(".hidden/inner"));
    const ScopedEnvironmentVariable home("HOME", temp.Path());
    const TIDListHolder desktop(CopyIDList(GetDesktopFolder()->AbsoluteIDList()));
    for (const char* typed : {"~/.hidden/inner", "~/typed"}) {
        TShellFolderBrowser browser(nullptr, desktop.get(), QString(), BIF_EDITBOX | BIF_VALIDATE);
        browser.show();
        browser.EditBox()->setText(QString::fromUtf8(typed));
        browser.accept();
        EXPECT_EQ(browser.result(), QDialog::Accepted) << typed;
        EXPECT_EQ(browser.SelectedPath(), QString::fromStdString(temp.Path()) + QString::fromUtf8(typed).mid(1));
    }
    EXPECT_TRUE(messages.Messages().empty()) << messages.Texts().join("\n").toStdString();
}

}  // namespace
