#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>

#include "platform/shell_context_menu.h"
#include "platform/shell_namespace.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

using namespace platform;

namespace {

std::vector<int> Commands(const std::vector<ShellMenuEntry>& entries) {
    std::vector<int> commands;
    for (const ShellMenuEntry& entry : entries) commands.push_back(entry.command);
    return commands;
}

std::unique_ptr<ShellContextMenu> MenuFor(const std::shared_ptr<ShellFolder>& folder,
                                          std::initializer_list<const ItemIDList*> items) {
    return folder->GetContextMenu(nullptr, std::vector<const ItemIDList*>(items));
}

class ContextMenu : public ::testing::Test {
protected:
    void SetUp() override {
        temp_.Write("file.txt", "x");
        ASSERT_EQ(mkdir(temp_.File("folder").c_str(), 0755), 0);
        UniqueIDList list = IDListOfPath(temp_.Path());
        folder_ = DesktopFolder()->BindToObject(list.get());
        ASSERT_TRUE(folder_);
    }
    void TearDown() override { QApplication::clipboard()->clear(); }

    TempFolder temp_;
    std::shared_ptr<ShellFolder> folder_;
    UniqueIDList file_ = MakeItem(ShellItemKind::File, "file.txt");
    UniqueIDList subfolder_ = MakeItem(ShellItemKind::Folder, "folder");
};

TEST_F(ContextMenu, FileEntriesInGroupsWithRenameOnlyWhenAsked) {
    const auto menu = MenuFor(folder_, {file_.get()});
    ASSERT_TRUE(menu);
    EXPECT_EQ(Commands(menu->Entries(kMenuExplore)),
              (std::vector<int>{kCommandOpen, -1, kCommandCut, kCommandCopy, -1, kCommandCreateLink, kCommandDelete, -1,
                                kCommandProperties}));
    const auto withRename = Commands(menu->Entries(kMenuExplore | kMenuCanRename));
    EXPECT_NE(std::find(withRename.begin(), withRename.end(), kCommandRename), withRename.end());
    EXPECT_EQ(Commands(menu->Entries(kMenuDefaultOnly)), (std::vector<int>{kCommandOpen}));
}

TEST_F(ContextMenu, PasteIsOfferedOnAFolderAndEnabledOnlyWithFiles) {
    const auto menu = MenuFor(folder_, {subfolder_.get()});
    auto pasteEntry = [&] {
        for (const ShellMenuEntry& entry : menu->Entries(kMenuExplore))
            if (entry.command == kCommandPaste) return entry;
        return ShellMenuEntry{};
    };
    QApplication::clipboard()->setText(QStringLiteral("text"));
    EXPECT_EQ(pasteEntry().command, kCommandPaste);
    EXPECT_FALSE(pasteEntry().enabled);
    EXPECT_FALSE(menu->InvokeCommand(nullptr, kCommandPaste));

    const auto fileMenu = MenuFor(folder_, {file_.get()});
    ASSERT_TRUE(fileMenu->InvokeCommand(nullptr, kCommandCopy));
    EXPECT_TRUE(pasteEntry().enabled);
}

TEST_F(ContextMenu, QueryInsertsActionsWithIdsFromTheFirstId) {
    QMenu qmenu;
    QAction* own = qmenu.addAction(QStringLiteral("own item"));
    const auto menu = MenuFor(folder_, {file_.get()});
    const int used = menu->QueryContextMenu(&qmenu, 0, 100, 0x7FFF, kMenuExplore | kMenuCanRename);
    EXPECT_EQ(used, kCommandCopy + 1);
    const QList<QAction*> actions = qmenu.actions();
    ASSERT_GT(actions.size(), 2);
    EXPECT_EQ(actions.back(), own);
    EXPECT_EQ(actions.front()->text(), QStringLiteral("開く(&O)"));
    EXPECT_EQ(actions.front()->data().toInt(), 100 + kCommandOpen);
    EXPECT_TRUE(actions.front()->font().bold());
    bool hasDelete = false;
    for (QAction* action : actions)
        if (action->data().toInt() == 100 + kCommandDelete) hasDelete = action->text() == QStringLiteral("削除(&D)");
    EXPECT_TRUE(hasDelete);
    EXPECT_FALSE(menu->GetCommandString(kCommandDelete).isEmpty());

    // Ids beyond the last id are left out.
    QMenu small;
    EXPECT_EQ(menu->QueryContextMenu(&small, 0, 1, 1, kMenuExplore), kCommandOpen + 1);
}

TEST_F(ContextMenu, RenameIsTheControlsJobAndPlacesOfferLittle) {
    ScriptedMessageBoxes boxes;
    const auto menu = MenuFor(folder_, {file_.get()});
    EXPECT_FALSE(menu->InvokeCommand(nullptr, kCommandRename));
    EXPECT_FALSE(menu->InvokeCommand(nullptr, 999));

    const auto desktop = DesktopFolder();
    UniqueIDList drives = MakeItem(ShellItemKind::Drives);
    const auto drivesMenu = MenuFor(desktop, {drives.get()});
    ASSERT_TRUE(drivesMenu);
    EXPECT_TRUE(drivesMenu->Entries(kMenuExplore).empty());
    EXPECT_FALSE(drivesMenu->InvokeCommand(nullptr, kCommandDelete));

    UniqueIDList bogus = MakeItem(ShellItemKind::TrashEntry, "x");
    EXPECT_EQ(MenuFor(folder_, {bogus.get()}), nullptr);
    EXPECT_TRUE(boxes.Messages().empty());
}

}  // namespace
