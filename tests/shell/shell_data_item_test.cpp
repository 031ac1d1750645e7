#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QMimeData>

#include "platform/shell_drop_target.h"
#include "shell/shell_data_item.h"
#include "shell/shell_drag_object.h"
#include "shell/shell_id_list.h"
#include "support/scripted_message_boxes.h"
#include "id_lists.h"
#include "support/temp_folder.h"

namespace {

// An item for the absolute list of a path, as the folder tree makes one.
std::unique_ptr<TSHFolderItem> ItemFor(IDList absolute, TSHFolderNode* node = nullptr) {
    IDList relative = IDListLevel(absolute) == 0 ? Special(sfDesktopDirectory) : LastItemIDList(absolute);
    return std::make_unique<TSHFolderItem>(relative, absolute, node);
}

// A tree node that records what the item asks of it.
class RecordingNode final : public TSHFolderNode {
public:
    int AbsoluteIndex() const override { return 7; }
    QWidget* TreeWindow() const override { return nullptr; }
    bool IsExpanded() const override { return expanded; }
    void SetExpanded(bool value) override {
        expanded = value;
        calls.push_back("expand");
    }
    void DeleteChildren() override { calls.push_back("delete children"); }
    void SortSiblings() override { calls.push_back("sort"); }
    void Populate() override { calls.push_back("populate"); }
    void SetText(const QString& value) override { text = value; }

    bool expanded = true;
    QString text;
    std::vector<std::string> calls;
};

TEST(DataItem, RootItemIsTheDesktopWithTheDesktopDirectoryAsPath) {
    auto root = ItemFor(Special(sfDesktop));
    EXPECT_TRUE(root->IsValid());
    EXPECT_EQ(root->GetLevel(), 0);
    EXPECT_EQ(root->GetIndex(), -1);
    EXPECT_EQ(root->GetItemType(), itDeskTop);
    EXPECT_EQ(root->GetDisplayName(), QStringLiteral("デスクトップ"));
    QString desktopPath;
    ASSERT_TRUE(GetSpecialFolderPath(sfDesktopDirectory, desktopPath));
    EXPECT_EQ(root->GetPath(), desktopPath);
    EXPECT_TRUE(root->HasAttribute(saFolder));
    EXPECT_FALSE(root->HasAttribute(saCanDelete));
    EXPECT_GT(root->GetIconIndex(), 0);
    const auto drop = root->GetDropTarget(nullptr);
    ASSERT_NE(drop, nullptr);
    EXPECT_EQ(QString::fromStdString(drop->Target().path), desktopPath);
}

TEST(DataItem, PlacesAndFilesReportNamesKindsAndIcons) {
    auto drives = ItemFor(Special(sfDrives));
    EXPECT_EQ(drives->GetLevel(), 1);
    EXPECT_EQ(IDListLevel(drives->GetParentIDList()), 0);
    EXPECT_EQ(drives->GetItemType(), itMyComputer);
    EXPECT_EQ(drives->GetDisplayName(), QStringLiteral("コンピュータ"));
    EXPECT_TRUE(drives->GetPath().isEmpty());
    EXPECT_EQ(drives->GetOverlayIndex(), -1);

    TempFolder temp;
    temp.Write("picture.png", "x");
    ASSERT_EQ(symlink(temp.File("picture.png").c_str(), temp.File("shortcut").c_str()), 0);
    auto file = ItemFor(PathList(temp.File("picture.png")));
    EXPECT_EQ(file->GetItemType(), itFile);
    EXPECT_EQ(file->GetDisplayName(), QStringLiteral("picture.png"));
    EXPECT_EQ(file->GetPath(), QString::fromStdString(temp.File("picture.png")));
    EXPECT_EQ(file->GetOverlayIndex(), -1);
    const int icon = file->GetIconIndex();
    EXPECT_GT(icon, 0);
    EXPECT_GE(file->GetSelectedIndex(), 0);
    EXPECT_EQ(IDListLevel(file->GetParentIDList()), file->GetLevel() - 1);

    auto link = ItemFor(PathList(temp.File("shortcut")));
    EXPECT_EQ(link->GetOverlayIndex(), 1);
    EXPECT_TRUE(link->HasAttribute(saLink));

    // A file that vanished keeps its cached name and answers neutrally.
    ASSERT_EQ(unlink(temp.File("picture.png").c_str()), 0);
    EXPECT_EQ(file->GetDisplayName(), QStringLiteral("picture.png"));
    EXPECT_FALSE(file->HasAttribute(saCanCopy));
    EXPECT_EQ(file->GetDropTarget(nullptr), nullptr);
}

TEST(DataItem, FolderItemsOfferADropTarget) {
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("in").c_str(), 0755), 0);
    auto folder = ItemFor(PathList(temp.File("in")));
    const auto target = folder->GetDropTarget(nullptr);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->Target().path, temp.File("in"));
}

TEST(FolderItemRename, RenamesAndRebuildsTheNode) {
    ScriptedMessageBoxes boxes;
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("before").c_str(), 0755), 0);
    RecordingNode node;
    auto item = ItemFor(PathList(temp.File("before")), &node);
    EXPECT_EQ(item->GetIndex(), 7);
    EXPECT_EQ(item->GetDisplayName(), QStringLiteral("before"));

    ASSERT_TRUE(item->Rename(QStringLiteral("after")));
    EXPECT_EQ(node.calls, (std::vector<std::string>{"delete children", "sort", "populate", "expand"}));
    EXPECT_EQ(node.text, QStringLiteral("after"));
    EXPECT_EQ(item->GetPath(), QString::fromStdString(temp.File("after")));
    EXPECT_EQ(item->GetDisplayName(), QStringLiteral("after"));
    struct stat info {};
    EXPECT_EQ(stat(temp.File("after").c_str(), &info), 0);
}

TEST(FolderItemRename, RefusedRenameLeavesItemAndNodeTitle) {
    ScriptedMessageBoxes boxes;
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("one").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(temp.File("two").c_str(), 0755), 0);
    RecordingNode node;
    auto item = ItemFor(PathList(temp.File("one")), &node);
    EXPECT_FALSE(item->Rename(QStringLiteral("two")));
    EXPECT_EQ(boxes.Messages().size(), 1u);
    EXPECT_TRUE(node.calls.empty());
    EXPECT_EQ(node.text, QStringLiteral("one"));
    EXPECT_EQ(item->GetPath(), QString::fromStdString(temp.File("one")));

    // Places that cannot be renamed are refused before the disk is asked.
    RecordingNode placeNode;
    auto drives = ItemFor(Special(sfDrives), &placeNode);
    EXPECT_FALSE(drives->Rename(QStringLiteral("x")));
    EXPECT_EQ(placeNode.text, QStringLiteral("コンピュータ"));
    EXPECT_EQ(boxes.Messages().size(), 1u);
}

TEST(IDListOfOneFolder, ItemsPathsAndAttributes) {
    TempFolder temp;
    temp.Write("a.txt", "x");
    ASSERT_EQ(mkdir(temp.File("dir").c_str(), 0755), 0);
    TSHIDList2 list;
    EXPECT_EQ(list.Items(), nullptr);
    EXPECT_EQ(list.Attributes(), 0u);
    list.SetParent(PathList(temp.Path()));
    IDList file = PathList(temp.File("a.txt"));
    IDList dir = PathList(temp.File("dir"));
    list.Add(LastItemIDList(file));
    list.Add(LastItemIDList(dir));
    FreeIDList(file);
    FreeIDList(dir);

    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Item(2), nullptr);
    EXPECT_EQ(list.Item(-1), nullptr);
    EXPECT_NE(list.Items(), nullptr);
    EXPECT_EQ(list.ParentLevel(), IDListLevel(list.Parent()));
    EXPECT_EQ(list.Path(0), QString::fromStdString(temp.File("a.txt")));
    EXPECT_EQ(list.NativePath(1), temp.File("dir"));
    EXPECT_TRUE(list.Path(5).isEmpty());
    EXPECT_EQ(list.Attributes() & (platform::kCanCopy | platform::kCanDelete),
              platform::kCanCopy | platform::kCanDelete);
    EXPECT_FALSE(list.HasAttribute(saFolder));
    EXPECT_TRUE(list.HasAttribute(1, saFolder));
    EXPECT_FALSE(list.HasAttribute(0, saFolder));
    EXPECT_TRUE(list.HasAttribute(saFileSystem));
}

TEST(DragObject, NeedsDataAndStartsEmpty) {
    try {
        TSHDragObject missing(nullptr);
        FAIL() << "no exception";
    } catch (const EInvalidOperation& error) {
        EXPECT_EQ(QString::fromUtf8(error.what()), QStringLiteral("パラメータが不正です。"));
    }
    QMimeData data;
    data.setText(QStringLiteral("text"));
    TSHDragObject drag(&data);
    EXPECT_EQ(drag.DataObject(), &data);
    EXPECT_TRUE(drag.Strings().isEmpty());
    EXPECT_EQ(drag.IDList().Count(), 0);
    EXPECT_FALSE(drag.IsShellData());
}

}  // namespace
