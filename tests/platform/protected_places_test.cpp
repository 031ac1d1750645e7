#include <gtest/gtest.h>

#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <QMimeData>

#include "file_tree_helpers.h"
#include "platform/desktop_services.h"
#include "platform/file_clipboard.h"
#include "platform/file_operations.h"
#include "platform/protected_places.h"
#include "platform/shell_data_object.h"
#include "platform/shell_drop_target.h"
#include "platform/shell_namespace.h"
#include "platform/trash.h"
#include "support/scoped_environment_variable.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

// A home folder and a home trash in a temporary folder, so that whatever
// a fault did to them could never reach the real ones.
class FakeHome : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(mkdir(Home().c_str(), 0755), 0);
        ASSERT_EQ(mkdir(Target().c_str(), 0755), 0);
        temp_.Write("home/keep.txt", "kept");
    }
    void TearDown() override { EXPECT_EQ(ReadText(Home() + "/keep.txt"), "kept"); }

    std::string Home() const { return temp_.File("home"); }
    std::string Target() const { return temp_.File("target"); }
    // Answers No to any question, so that even a fault could never go on to
    // erase what it asked about.
    void DeclineEverything() {
        for (int i = 0; i < 16; ++i) boxes_.Answer(MessageResult::No);
    }
    bool AskedAnything() const {
        for (const auto& shown : boxes_.Messages())
            if (shown.buttons != MessageButtons::Ok) return true;
        return false;
    }

    TempFolder temp_;
    ScopedEnvironmentVariable home_{"HOME", temp_.File("home")};
    ScopedEnvironmentVariable dataHome_{"XDG_DATA_HOME", temp_.File("data")};
    ScriptedMessageBoxes boxes_;
};

QString LastText(const ScriptedMessageBoxes& boxes) {
    return boxes.Messages().empty() ? QString() : boxes.Messages().back().text;
}

std::unique_ptr<ShellDropTarget> TrashDropTarget() {
    UniqueIDList trash = MakeItem(ShellItemKind::Trash);
    return DesktopFolder()->GetDropTarget(nullptr, trash.get());
}

std::unique_ptr<QMimeData> UriList(const std::string& uris) {
    auto data = std::make_unique<QMimeData>();
    data->setData(UriListMime(), QByteArray::fromStdString(uris));
    return data;
}

}  // namespace

TEST_F(FakeHome, TheRootTheHomeAndFoldersHoldingThemAreNeverOfferedForDeleting) {
    DeclineEverything();
    for (const std::string& path : {std::string("/"), std::string("//"), std::string("/."), Home(), Home() + "/",
                                    Home() + "/../home", temp_.Path()}) {
        const std::size_t shown = boxes_.Messages().size();
        const TrashResult result = MoveToTrash({path}, nullptr, true);
        EXPECT_TRUE(result.trashed.empty() && result.erased.empty()) << path;
        ASSERT_EQ(result.failed.size(), 1u) << path;
        ASSERT_EQ(boxes_.Messages().size(), shown + 1) << path;
        EXPECT_EQ(boxes_.Messages().back().icon, MessageIcon::Error);
        EXPECT_TRUE(LastText(boxes_).startsWith(QStringLiteral("次の項目は削除できません。"))) << path;
    }
    EXPECT_TRUE(boxes_.Texts()[0].contains(QStringLiteral("ファイル システムのルートです。")));
    EXPECT_TRUE(boxes_.Texts()[3].contains(QStringLiteral("ホーム フォルダです。")));
    EXPECT_TRUE(boxes_.Texts()[6].contains(QStringLiteral("を含むフォルダです。")));

    // Dropped on the trash: as a file URI, and as the namespace's home place.
    const auto trash = TrashDropTarget();
    ASSERT_TRUE(trash);
    unsigned effect = kDropEffectMove | kDropEffectCopy;
    auto root = UriList("file:///\r\n");
    EXPECT_TRUE(trash->Drop(root.get(), 0, QPoint(), effect));
    EXPECT_EQ(effect, kDropEffectNone);
    UniqueIDList desktop = MakeDesktopIDList();
    UniqueIDList homePlace = MakeItem(ShellItemKind::Home);
    const ItemIDList* places[] = {homePlace.get()};
    auto homeData = MakeShellDataObject(desktop.get(), places);
    effect = kDropEffectMove;
    EXPECT_TRUE(trash->Drop(homeData.get(), 0, QPoint(), effect));
    EXPECT_EQ(effect, kDropEffectNone);
    EXPECT_EQ(boxes_.Messages().size(), 9u);
    EXPECT_TRUE(LastText(boxes_).contains(QStringLiteral("ホーム フォルダです。")));
    EXPECT_FALSE(AskedAnything());
}

TEST_F(FakeHome, TheHomeFolderIsNeverMovedRenamedPastedAwayOrRemoved) {
    DeclineEverything();
    ScriptedProgress progress;
    const TransferResult moved = TransferFiles(TransferMode::Move, {Home()}, Target(), nullptr, &progress);
    EXPECT_FALSE(moved.Succeeded());
    EXPECT_TRUE(moved.transferred.empty());
    EXPECT_FALSE(progress.begun);
    EXPECT_TRUE(LastText(boxes_).startsWith(QStringLiteral("次の項目は移動できません。")));

    // Copying it stays possible.
    EXPECT_TRUE(TransferFiles(TransferMode::Copy, {Home()}, Target(), nullptr, &progress).Succeeded());
    EXPECT_EQ(ReadText(Target() + "/home/keep.txt"), "kept");

    EXPECT_EQ(RenameItem(Home(), QStringLiteral("elsewhere"), nullptr), "");
    EXPECT_TRUE(LastText(boxes_).startsWith(QStringLiteral("次の項目は名前を変更できません。")));

    PutFilesOnClipboard({Home()}, true);
    const std::size_t shown = boxes_.Messages().size();
    EXPECT_FALSE(PasteFiles(Target(), nullptr, &progress).Succeeded());
    EXPECT_EQ(boxes_.Messages().size(), shown + 1);

    auto dropped = UriList("file://" + Home() + "\r\n");
    UniqueIDList folder = IDListOfPath(Target());
    ASSERT_TRUE(folder);
    auto drop = DesktopFolder()->GetDropTarget(nullptr, folder.get());
    ASSERT_TRUE(drop);
    unsigned effect = kDropEffectMove;
    drop->Drop(dropped.get(), kKeyShift, QPoint(), effect);
    EXPECT_EQ(effect, kDropEffectNone);

    QString error;
    EXPECT_FALSE(RemoveTree(Home(), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("ホーム フォルダです。")));
    EXPECT_FALSE(MoveItem(Home(), Target() + "/moved", &error));
    EXPECT_FALSE(fs::exists(Target() + "/moved"));

    // The namespace does not offer it for cutting, deleting or renaming.
    UniqueIDList parent = IDListOfPath(temp_.Path());
    const auto parentFolder = DesktopFolder()->BindToObject(parent.get());
    ASSERT_TRUE(parentFolder);
    const std::uint32_t change = kCanMove | kCanDelete | kCanRename;
    UniqueIDList homeItem = MakeItem(ShellItemKind::Folder, "home");
    UniqueIDList targetItem = MakeItem(ShellItemKind::Folder, "target");
    EXPECT_EQ(parentFolder->GetAttributesOf(homeItem.get(), change | kCanCopy), kCanCopy);
    EXPECT_EQ(parentFolder->GetAttributesOf(targetItem.get(), change), change);
    UniqueIDList homePlace = MakeItem(ShellItemKind::Home);
    const std::size_t before = boxes_.Messages().size();
    EXPECT_EQ(DesktopFolder()->SetNameOf(nullptr, homePlace.get(), QStringLiteral("x")), nullptr);
    EXPECT_EQ(boxes_.Messages().size(), before + 1);
    EXPECT_FALSE(AskedAnything());
}

TEST_F(FakeHome, ALinkToAProtectedPlaceIsAnOrdinaryItem) {
    ASSERT_EQ(symlink(Home().c_str(), temp_.File("target/to-home").c_str()), 0);
    EXPECT_TRUE(ProtectedPlaceReason(temp_.File("target/to-home")).isEmpty());
    EXPECT_FALSE(ProtectedPlaceReason(temp_.File("target/to-home/..")).isEmpty());  // that is the folder holding home
    const TrashResult result = MoveToTrash({temp_.File("target/to-home")}, nullptr, false);
    EXPECT_EQ(result.trashed.size(), 1u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp_.File("target/to-home"))));
}

TEST_F(FakeHome, MountPointsAndTheFoldersHoldingThemStayPut) {
    const std::string holder = temp_.File("media");
    const std::string drive = holder + "/usb";
    ASSERT_EQ(mkdir(holder.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(drive.c_str(), 0755), 0);
    constexpr int kNoMountHere = 99;
    enum Fault { kTrashed = 1, kMoved = 2, kRenamed = 4, kHolderTrashed = 8, kAsked = 16, kLost = 32, kOffered = 64 };
    // The drive is mounted in a mount namespace of a child's own, which
    // goes with the child whatever happens in it.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("kelvandor-test", drive.c_str(), "tmpfs", 0, "size=1m") != 0)
            _exit(kNoMountHere);
        { std::ofstream(drive + "/photo.jpg") << "photo"; }
        int faults = 0;
        DeclineEverything();
        const TrashResult trashed = MoveToTrash({drive}, nullptr, true);
        if (!trashed.trashed.empty() || !trashed.erased.empty() || trashed.failed.empty()) faults |= kTrashed;
        ScriptedProgress progress;
        if (TransferFiles(TransferMode::Move, {drive}, Target(), nullptr, &progress).failed.empty()) faults |= kMoved;
        if (!RenameItem(drive, QStringLiteral("renamed"), nullptr).empty()) faults |= kRenamed;
        const TrashResult holderTrashed = MoveToTrash({holder}, nullptr, true);
        if (!holderTrashed.trashed.empty() || !holderTrashed.erased.empty()) faults |= kHolderTrashed;
        if (AskedAnything()) faults |= kAsked;
        if (ReadText(drive + "/photo.jpg") != "photo") faults |= kLost;
        UniqueIDList list = IDListOfPath(holder);
        const auto folder = list ? DesktopFolder()->BindToObject(list.get()) : nullptr;
        UniqueIDList usb = MakeItem(ShellItemKind::Folder, "usb");
        if (!folder || folder->GetAttributesOf(usb.get(), kCanDelete).value_or(kCanDelete) != 0) faults |= kOffered;
        umount(drive.c_str());
        _exit(faults);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoMountHere) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "faults (1 trashed, 2 moved, 4 renamed, 8 holder trashed, 16 asked, "
                                         "32 lost, 64 offered)";
}

TEST_F(FakeHome, TheQuestionToEraseForGoodNamesWhatWillBeErased) {
    // A home trash that cannot be made: items of this file system cannot go to a trash.
    temp_.Write("blocker", "");
    ScopedEnvironmentVariable noTrash("XDG_DATA_HOME", temp_.File("blocker/data"));
    ASSERT_EQ(mkdir(temp_.File("target/album").c_str(), 0755), 0);
    temp_.Write("target/album/photo.jpg", "p");
    temp_.Write("target/note.txt", "n");

    boxes_.Answer(MessageResult::No);
    boxes_.Answer(MessageResult::Yes);
    const TrashResult result =
        MoveToTrash({temp_.File("target/album"), temp_.File("target/note.txt")}, nullptr, false);
    const QStringList texts = boxes_.Texts();
    ASSERT_GE(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(QStringLiteral("「%1」").arg(QString::fromStdString(temp_.File("target/album")))));
    EXPECT_TRUE(texts[0].contains(QStringLiteral("このフォルダとその中のすべての項目を完全に削除しますか？")));
    EXPECT_TRUE(texts[1].contains(QStringLiteral("「%1」").arg(QString::fromStdString(temp_.File("target/note.txt")))));
    EXPECT_TRUE(texts[1].contains(QStringLiteral("このファイルを完全に削除しますか？")));
    EXPECT_EQ(ReadText(temp_.File("target/album/photo.jpg")), "p");
    EXPECT_EQ(result.erased, std::vector<std::string>{temp_.File("target/note.txt")});
    EXPECT_FALSE(fs::exists(temp_.File("target/note.txt")));
}

TEST_F(FakeHome, OneQueryOverManyItemsJudgesEachOfThemAsAQueryOfItsOwn) {
    ASSERT_EQ(mkdir(temp_.File("target/inner").c_str(), 0755), 0);
    UniqueIDList folderList = IDListOfPath(temp_.Path());
    const auto folder = folderList ? DesktopFolder()->BindToObject(folderList.get()) : nullptr;
    ASSERT_TRUE(folder);
    UniqueIDList home = MakeItem(ShellItemKind::Folder, "home");
    UniqueIDList target = MakeItem(ShellItemKind::Folder, "target");
    UniqueIDList inner = JoinIDLists(target.get(), MakeItem(ShellItemKind::Folder, "inner").get());
    ASSERT_TRUE(inner);
    const auto canDelete = [&](std::initializer_list<const ItemIDList*> items) {
        return (folder->GetAttributesOf(std::vector<const ItemIDList*>(items), kCanDelete).value_or(0) & kCanDelete) != 0;
    };
    EXPECT_TRUE(canDelete({target.get()}));
    EXPECT_TRUE(canDelete({target.get(), inner.get()})) << "items of two folders in one query";
    EXPECT_FALSE(canDelete({target.get(), home.get()})) << "the home folder counts in any place of the query";
    EXPECT_FALSE(canDelete({home.get(), target.get()}));
    EXPECT_FALSE(canDelete({inner.get(), home.get(), target.get()}));
}

TEST_F(FakeHome, ManyItemsAreJudgedAsOneItemIsAndTheQuestionCountsThemAll) {
    // More than are judged on the calling thread.
    constexpr int kItems = 2500;
    std::vector<std::string> paths;
    for (int i = 0; i < kItems; ++i) paths.push_back(temp_.Write("target/f" + std::to_string(i), "x"));
    std::vector<std::string> withHome = paths;
    withHome.insert(withHome.begin() + kItems / 2, Home());
    withHome.push_back("/");

    const std::vector<TransferFailure> found = ProtectedAmong(withHome);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].path, Home());
    EXPECT_EQ(found[0].reason, ProtectedPlaceReason(Home()));
    EXPECT_EQ(found[1].path, "/");

    const TrashResult refused = MoveToTrash(withHome, nullptr, true);
    EXPECT_EQ(refused.failed.size(), 2u);
    ASSERT_EQ(boxes_.Messages().size(), 1u);
    EXPECT_EQ(boxes_.Messages()[0].icon, MessageIcon::Error) << "refused before any question";

    boxes_.Answer(MessageResult::No);
    const TrashResult declined = MoveToTrash(paths, nullptr, true);
    EXPECT_TRUE(declined.cancelled);
    ASSERT_EQ(boxes_.Messages().size(), 2u);
    EXPECT_EQ(boxes_.Messages()[1].text, QStringLiteral("これらの %1 個の項目をごみ箱に移しますか？").arg(kItems));
    for (const std::string& path : paths) ASSERT_TRUE(fs::exists(path)) << path;
}
