#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include <QStringList>

#include "file_tree_helpers.h"
#include "platform/trash.h"
#include "support/scoped_environment_variable.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

using platform::MessageResult;

namespace {

// Points the home trash at a fresh folder for the test's lifetime.
class FakeDataHome {
public:
    std::string Trash() const { return folder_.File("data/Trash"); }

private:
    TempFolder folder_;
    ScopedEnvironmentVariable dataHome_{"XDG_DATA_HOME", folder_.File("data")};
};

std::vector<platform::TrashItem> ItemsIn(const std::string& trashFolder) {
    std::vector<platform::TrashItem> items;
    for (const auto& item : platform::ListTrash())
        if (item.trashFolder == trashFolder) items.push_back(item);
    return items;
}

TEST(Trash, RoundTripKeepsOddNamesThroughPercentEncodedInfo) {
    FakeDataHome home;
    TempFolder folder;
    const std::string name = "a b\n\xff%.txt";
    const std::string path = folder.Write(name, "contents");
    ScriptedMessageBoxes boxes;
    boxes.Answer(MessageResult::Yes);

    const auto result = platform::MoveToTrash({path}, nullptr);

    ASSERT_TRUE(result.Succeeded());
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_TRUE(boxes.Texts()[0].contains(QStringLiteral("ごみ箱に移しますか")));
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(result.trashed.size(), 1u);
    const platform::TrashItem& item = result.trashed[0];
    EXPECT_EQ(item.trashFolder, home.Trash());
    EXPECT_EQ(ReadText(item.FilePath()), "contents");
    const std::string info = ReadText(item.InfoPath());
    EXPECT_EQ(
        info.rfind("[Trash Info]\nPath=" + folder.Path() + "/a%20b%0A%FF%25.txt\nDeletionDate=", 0),
        0u)
        << info;
    EXPECT_EQ(std::count(info.begin(), info.end(), '\n'), 3);

    const auto listed = ItemsIn(home.Trash());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].originalPath, path);
    EXPECT_EQ(listed[0].name, item.name);
    EXPECT_TRUE(listed[0].deletionDate.isValid());
    EXPECT_LE(std::abs(listed[0].deletionDate.secsTo(QDateTime::currentDateTime())), 120);

    QString error;
    ASSERT_TRUE(platform::RestoreTrashItem(listed[0], &error)) << error.toStdString();
    EXPECT_EQ(ReadText(path), "contents");
    EXPECT_FALSE(std::filesystem::exists(item.InfoPath()));
    EXPECT_TRUE(ItemsIn(home.Trash()).empty());
}

TEST(Trash, SameNamesGetDistinctTrashNamesAndRestoreRefusesToReplace) {
    FakeDataHome home;
    TempFolder folder;
    mkdir(folder.File("one").c_str(), 0755);
    mkdir(folder.File("two").c_str(), 0755);
    folder.Write("one/same.txt", "1");
    folder.Write("two/same.txt", "2");
    mkdir(folder.File("tree").c_str(), 0755);
    folder.Write("tree/inner", "inner");
    const auto tree = Snapshot(folder.File("tree"));

    const auto result = platform::MoveToTrash(
        {folder.File("one/same.txt"), folder.File("two/same.txt"), folder.File("tree")}, nullptr,
        false);

    ASSERT_TRUE(result.Succeeded());
    ASSERT_EQ(result.trashed.size(), 3u);
    EXPECT_NE(result.trashed[0].name, result.trashed[1].name);
    EXPECT_EQ(ItemsIn(home.Trash()).size(), 3u);

    folder.Write("one/same.txt", "newer");
    QString error;
    EXPECT_FALSE(platform::RestoreTrashItem(result.trashed[0], &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadText(folder.File("one/same.txt")), "newer");
    EXPECT_TRUE(std::filesystem::exists(result.trashed[0].FilePath()));

    // Restoring recreates a vanished parent folder.
    std::filesystem::remove_all(folder.File("two"));
    ASSERT_TRUE(platform::RestoreTrashItem(result.trashed[1], &error));
    EXPECT_EQ(ReadText(folder.File("two/same.txt")), "2");
    ASSERT_TRUE(platform::RestoreTrashItem(result.trashed[2], &error));
    EXPECT_EQ(Snapshot(folder.File("tree")), tree);
}

TEST(Trash, ConfirmationsForDeletingErasingAndEmptying) {
    FakeDataHome home;
    TempFolder folder;
    const std::string a = folder.Write("a", "a");
    const std::string b = folder.Write("b", "b");
    ScriptedMessageBoxes boxes;

    boxes.Answer(MessageResult::No);
    EXPECT_TRUE(platform::MoveToTrash({a, b}, nullptr).cancelled);
    EXPECT_TRUE(std::filesystem::exists(a));
    EXPECT_TRUE(boxes.Texts().back().contains(QStringLiteral("2 個の項目")));

    boxes.Answer(MessageResult::Yes);
    ASSERT_EQ(platform::MoveToTrash({a, b}, nullptr).trashed.size(), 2u);

    boxes.Answer(MessageResult::No);
    EXPECT_FALSE(platform::EraseTrashItems({ItemsIn(home.Trash())[0]}, nullptr));
    EXPECT_EQ(ItemsIn(home.Trash()).size(), 2u);
    boxes.Answer(MessageResult::Yes);
    EXPECT_TRUE(platform::EraseTrashItems({ItemsIn(home.Trash())[0]}, nullptr));
    EXPECT_EQ(ItemsIn(home.Trash()).size(), 1u);

    // Emptying reaches every trash of the machine: only where ours is the only one.
    if (platform::TrashFolders() != std::vector<std::string>{home.Trash()}) return;
    boxes.Answer(MessageResult::No);
    EXPECT_FALSE(platform::EmptyTrash(nullptr));
    EXPECT_EQ(ItemsIn(home.Trash()).size(), 1u);
    boxes.Answer(MessageResult::Yes);
    EXPECT_TRUE(platform::EmptyTrash(nullptr));
    EXPECT_TRUE(ItemsIn(home.Trash()).empty());
    EXPECT_TRUE(NamesIn(home.Trash() + "/files").empty());
    EXPECT_TRUE(NamesIn(home.Trash() + "/info").empty());
}

TEST(Trash, RefusesItemsAlreadyInTheTrashAndMissingItems) {
    FakeDataHome home;
    TempFolder folder;
    QString error;
    ASSERT_TRUE(platform::MoveItemToTrash(folder.Write("x", "x"), &error)) << error.toStdString();

    EXPECT_FALSE(platform::MoveItemToTrash(ItemsIn(home.Trash())[0].FilePath(), &error));
    EXPECT_FALSE(platform::MoveItemToTrash(folder.File("missing"), &error));
    EXPECT_EQ(ItemsIn(home.Trash()).size(), 1u);
}

TEST(Trash, ItemsOnAnotherFileSystemGoToItsTopFolderTrash) {
    FakeDataHome home;
    SharedMemoryFolder other;
    if (!OnDifferentFileSystems(other.Path(), std::filesystem::temp_directory_path().string()))
        GTEST_SKIP() << "/dev/shm is not a separate file system here";
    const std::string top = "/dev/shm";
    const std::string trash = top + "/.Trash-" + std::to_string(getuid());
    const bool trashExisted = std::filesystem::exists(trash);
    const std::string path = other.Path() + "/far away.txt";
    { std::ofstream(path) << "far"; }

    QString error;
    const auto item = platform::MoveItemToTrash(path, &error);

    ASSERT_TRUE(item) << error.toStdString();
    EXPECT_EQ(item->trashFolder, trash);
    const std::string relative = other.Path().substr(top.size() + 1) + "/far%20away.txt";
    EXPECT_NE(ReadText(item->InfoPath()).find("\nPath=" + relative + "\n"), std::string::npos);
    const auto listed = ItemsIn(trash);
    const auto found = std::find_if(listed.begin(), listed.end(),
                                    [&](const auto& entry) { return entry.name == item->name; });
    ASSERT_NE(found, listed.end());
    EXPECT_EQ(found->originalPath, path);
    ASSERT_TRUE(platform::RestoreTrashItem(*found, &error));
    EXPECT_EQ(ReadText(path), "far");
    if (!trashExisted) std::filesystem::remove_all(trash);
}

// Cancels once enough items have gone from folder, as a user would press
// Cancel part way.
class CancelPartWay final : public platform::TransferProgress {
public:
    CancelPartWay(std::string folder, std::size_t total) : folder_(std::move(folder)), total_(total) {}

    void Begin(platform::TransferMode mode, std::int64_t, std::int64_t items) override {
        EXPECT_EQ(mode, platform::TransferMode::Trash);
        EXPECT_EQ(items, std::int64_t(total_));
    }
    bool Advance(const std::string&, std::int64_t, std::int64_t) override {
        while (NamesIn(folder_).size() + 10 > total_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return false;
    }
    void End() override { ended = true; }

    bool ended = false;

private:
    std::string folder_;
    std::size_t total_;
};

TEST(Trash, ManyItemsAreJudgedAndCountedInOneQuestion) {
    FakeDataHome home;
    TempFolder folder;
    std::vector<std::string> paths;
    for (int i = 0; i < 500; ++i) paths.push_back(folder.File("gone" + std::to_string(i) + ".png"));
    const std::string kept = folder.Write("kept.png", "k");
    paths.push_back(kept);
    ScriptedMessageBoxes boxes;

    boxes.Answer(MessageResult::No);
    EXPECT_TRUE(platform::MoveToTrash(paths, nullptr).cancelled);
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("これらの 501 個の項目をごみ箱に移しますか？")});

    // A protected place among them refuses the whole request before anything moves.
    paths.push_back("/");
    const auto result = platform::MoveToTrash(paths, nullptr);
    EXPECT_FALSE(result.Succeeded());
    ASSERT_EQ(boxes.Messages().size(), 2u);
    EXPECT_TRUE(boxes.Texts()[1].contains(QStringLiteral("システムに欠かせない場所")));
    EXPECT_TRUE(std::filesystem::exists(kept));
}

TEST(Trash, ACancelledMoveLeavesEachItemInPlaceOrWhollyInTheTrash) {
    FakeDataHome home;
    TempFolder folder;
    constexpr std::size_t kCount = 2000;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < kCount; ++i) paths.push_back(folder.Write("picture" + std::to_string(i) + ".png", "p"));
    CancelPartWay progress(folder.Path(), kCount);

    const auto result = platform::MoveToTrash(paths, nullptr, false, &progress);

    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(progress.ended);
    EXPECT_GE(result.trashed.size(), 10u);
    EXPECT_LT(result.trashed.size(), kCount);
    const auto listed = ItemsIn(home.Trash());
    EXPECT_EQ(listed.size(), result.trashed.size());
    EXPECT_EQ(NamesIn(home.Trash() + "/info").size(), result.trashed.size());
    std::set<std::string> trashedFrom;
    for (const auto& item : listed) trashedFrom.insert(item.originalPath);
    for (const std::string& path : paths)
        EXPECT_NE(std::filesystem::exists(path), trashedFrom.count(path) == 1) << path;
}

}  // namespace
