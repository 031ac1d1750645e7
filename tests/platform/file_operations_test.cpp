#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <QStringList>

#include "file_tree_helpers.h"
#include "platform/file_operations.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

using platform::MessageResult;
using platform::TransferMode;

namespace {

const std::string kOddName = "odd \xff\n name";

// A source tree with every kind of item a transfer has to carry.
std::string MakeSourceTree(const TempFolder& folder) {
    const std::string root = folder.File("source");
    mkdir(root.c_str(), 0755);
    folder.Write("source/plain.txt", "plain");
    chmod(folder.File("source/plain.txt").c_str(), 0640);
    const timespec old[2] = {{1'000'000'000, 0}, {1'100'000'000, 123}};
    utimensat(AT_FDCWD, folder.File("source/plain.txt").c_str(), old, 0);
    mkdir(folder.File("source/sub").c_str(), 0755);
    folder.Write("source/sub/" + kOddName, std::string(3 << 20, 'x'));
    EXPECT_EQ(symlink("../plain.txt", folder.File("source/sub/link").c_str()), 0);
    mkfifo(folder.File("source/sub/pipe").c_str(), 0600);
    mkdir(folder.File("source/locked").c_str(), 0755);
    folder.Write("source/locked/inside", "in a read-only folder");
    chmod(folder.File("source/locked").c_str(), 0555);
    return root;
}

bool HasStagingLeftovers(const std::string& folder) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.path().filename().string().rfind(".kelvandor-", 0) == 0) return true;
    return false;
}

platform::TransferResult Transfer(TransferMode mode, const std::vector<std::string>& sources,
                                  const std::string& target) {
    ScriptedProgress progress;
    return platform::TransferFiles(mode, sources, target, nullptr, &progress);
}

TEST(FileTransfer, CopiesWholeTreesWithModesTimesLinksAndOddNames) {
    TempFolder folder;
    const std::string source = MakeSourceTree(folder);
    const auto before = Snapshot(source);
    mkdir(folder.File("target").c_str(), 0755);

    ScriptedProgress progress;
    const auto result = platform::TransferFiles(TransferMode::Copy, {source}, folder.File("target"),
                                                nullptr, &progress);

    ASSERT_TRUE(result.Succeeded());
    EXPECT_EQ(result.transferred, std::vector<std::string>{folder.File("target/source")});
    EXPECT_EQ(Snapshot(folder.File("target/source")), before);
    EXPECT_EQ(Snapshot(source), before);
    struct stat copied {};
    lstat(folder.File("target/source/plain.txt").c_str(), &copied);
    EXPECT_EQ(copied.st_mtim.tv_sec, 1'100'000'000);
    EXPECT_EQ(copied.st_mtim.tv_nsec, 123);
    EXPECT_EQ(std::filesystem::symlink_status(folder.File("target/source/sub/pipe")).type(),
              std::filesystem::file_type::fifo);
    EXPECT_EQ(progress.totalBytes, 5 + (3 << 20) + 21);
    EXPECT_TRUE(progress.begun && progress.ended);
    EXPECT_FALSE(HasStagingLeftovers(folder.File("target")));
}

TEST(FileTransfer, AsksBeforeOverwritingAndHonoursEachAnswer) {
    TempFolder folder;
    mkdir(folder.File("from").c_str(), 0755);
    mkdir(folder.File("to").c_str(), 0755);
    for (const char* name : {"a", "b", "c"}) folder.Write(std::string("from/") + name, "new");
    for (const char* name : {"a", "b"}) folder.Write(std::string("to/") + name, "old");
    const std::vector<std::string> sources = {folder.File("from/a"), folder.File("from/b"),
                                              folder.File("from/c")};
    const auto targetState = Snapshot(folder.File("to"));

    {  // Cancel at the first question: nothing at all happens.
        ScriptedMessageBoxes boxes;
        boxes.Answer(MessageResult::Cancel);
        const auto result = Transfer(TransferMode::Move, sources, folder.File("to"));
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(boxes.Messages().size(), 1u);
        EXPECT_EQ(Snapshot(folder.File("to")), targetState);
        EXPECT_EQ(NamesIn(folder.File("from")), (std::vector<std::string>{"a", "b", "c"}));
    }
    {  // No to "all", then item by item: Yes for a, No for b.
        ScriptedMessageBoxes boxes;
        boxes.Answer(MessageResult::No);
        boxes.Answer(MessageResult::Yes);
        boxes.Answer(MessageResult::No);
        const auto result = Transfer(TransferMode::Move, sources, folder.File("to"));
        ASSERT_EQ(boxes.Messages().size(), 3u);
        EXPECT_TRUE(boxes.Texts()[1].contains(QStringLiteral("「a」")));
        EXPECT_TRUE(boxes.Texts()[1].contains(QStringLiteral("上書きしますか")));
        EXPECT_TRUE(result.Succeeded());
        EXPECT_EQ(result.skipped, std::vector<std::string>{folder.File("from/b")});
        EXPECT_EQ(ReadText(folder.File("to/a")), "new");
        EXPECT_EQ(ReadText(folder.File("to/b")), "old");
        EXPECT_EQ(ReadText(folder.File("to/c")), "new");
        EXPECT_EQ(NamesIn(folder.File("from")), std::vector<std::string>{"b"});
    }
    {  // One collision left: a single question, Yes replaces.
        ScriptedMessageBoxes boxes;
        boxes.Answer(MessageResult::Yes);
        const auto result =
            Transfer(TransferMode::Copy, {folder.File("from/b")}, folder.File("to"));
        EXPECT_EQ(boxes.Messages().size(), 1u);
        EXPECT_TRUE(result.Succeeded());
        EXPECT_EQ(ReadText(folder.File("to/b")), "new");
        EXPECT_EQ(ReadText(folder.File("from/b")), "new");
    }
    EXPECT_FALSE(HasStagingLeftovers(folder.Path()));
}

TEST(FileTransfer, MergesFoldersAndRefusesToReplaceAFolderWithAFile) {
    TempFolder folder;
    for (const char* path : {"from", "from/d", "to", "to/d", "to/clash"})
        mkdir(folder.File(path).c_str(), 0755);
    folder.Write("from/d/x", "new x");
    folder.Write("from/d/z", "z");
    folder.Write("from/clash", "a file");
    folder.Write("to/d/x", "old x");
    folder.Write("to/d/y", "y");

    ScriptedMessageBoxes boxes;  // answers Yes
    const auto result = Transfer(
        TransferMode::Move, {folder.File("from/d"), folder.File("from/clash")}, folder.File("to"));

    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].path, folder.File("from/clash"));
    EXPECT_EQ(NamesIn(folder.File("to/d")), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(ReadText(folder.File("to/d/x")), "new x");
    EXPECT_EQ(NamesIn(folder.File("from")), std::vector<std::string>{"clash"});
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("to/clash")));
    EXPECT_TRUE(boxes.Texts().back().contains(QStringLiteral("clash")));
}

TEST(FileTransfer, CopyIntoTheSameFolderMakesNumberedCopiesAndMoveDoesNothing) {
    TempFolder folder;
    folder.Write("a.txt", "a");
    mkdir(folder.File("dir").c_str(), 0755);
    folder.Write("dir/inner", "i");
    ScriptedMessageBoxes boxes;

    Transfer(TransferMode::Copy, {folder.File("a.txt"), folder.File("dir")}, folder.Path());
    Transfer(TransferMode::Copy, {folder.File("a.txt")}, folder.Path() + "/");
    const auto moved = Transfer(TransferMode::Move, {folder.File("a.txt")}, folder.Path());

    EXPECT_TRUE(boxes.Messages().empty());
    EXPECT_EQ(NamesIn(folder.Path()),
              (std::vector<std::string>{"a.txt", "dir", "コピー (2) ～ a.txt", "コピー ～ a.txt",
                                        "コピー ～ dir"}));
    EXPECT_EQ(ReadText(folder.File("コピー ～ dir/inner")), "i");
    EXPECT_EQ(moved.skipped, std::vector<std::string>{folder.File("a.txt")});
}

TEST(FileTransfer, RefusesToCopyAFolderIntoItself) {
    TempFolder folder;
    mkdir(folder.File("dir").c_str(), 0755);
    mkdir(folder.File("dir/sub").c_str(), 0755);
    ScriptedMessageBoxes boxes;

    const auto result = Transfer(TransferMode::Copy, {folder.File("dir")}, folder.File("dir/sub"));

    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_TRUE(NamesIn(folder.File("dir/sub")).empty());
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].icon, platform::MessageIcon::Error);
}

TEST(FileTransfer, CancelInMidTransferKeepsSourcesAndLeavesNoPartialTarget) {
    TempFolder folder;
    const std::string source = MakeSourceTree(folder);
    folder.Write("second", "second item");
    SharedMemoryFolder otherFileSystem;
    mkdir(folder.File("target").c_str(), 0755);
    const auto before = Snapshot(folder.Path());
    ScriptedMessageBoxes boxes;

    struct Case {
        TransferMode mode;
        std::string target;
    };
    std::vector<Case> cases = {{TransferMode::Copy, folder.File("target")}};
    if (OnDifferentFileSystems(folder.Path(), otherFileSystem.Path())) {
        cases.push_back({TransferMode::Copy, otherFileSystem.Path()});
        cases.push_back({TransferMode::Move, otherFileSystem.Path()});
    }
    for (const Case& c : cases) {
        for (int stopAt : {1, 3}) {  // in the big file's first chunk; after some items
            ScriptedProgress progress;
            progress.onAdvance = [&](int step, const std::string&) { return step < stopAt; };
            const auto result = platform::TransferFiles(c.mode, {source, folder.File("second")},
                                                        c.target, nullptr, &progress);
            EXPECT_TRUE(result.cancelled);
            EXPECT_TRUE(result.transferred.empty());
            EXPECT_TRUE(NamesIn(c.target).empty()) << c.target;
        }
    }
    EXPECT_EQ(Snapshot(folder.Path()), before);
    EXPECT_TRUE(boxes.Messages().empty());
}

TEST(FileTransfer, CancelledMoveWithinOneFileSystemMovesWholeItemsOnly) {
    TempFolder folder;
    const std::string source = MakeSourceTree(folder);
    folder.Write("second", "second item");
    mkdir(folder.File("target").c_str(), 0755);
    const auto tree = Snapshot(source);

    ScriptedProgress progress;
    progress.onAdvance = [](int, const std::string&) { return false; };
    const auto result = platform::TransferFiles(TransferMode::Move, {source, folder.File("second")},
                                                folder.File("target"), nullptr, &progress);

    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.transferred, std::vector<std::string>{folder.File("target/source")});
    EXPECT_EQ(Snapshot(folder.File("target/source")), tree);
    EXPECT_EQ(ReadText(folder.File("second")), "second item");
}

TEST(FileTransfer, FailuresHalfWayAreReportedAndKeepEverySource) {
    TempFolder folder;
    mkdir(folder.File("from").c_str(), 0755);
    mkdir(folder.File("from/dir").c_str(), 0755);
    folder.Write("from/dir/one", "1");
    folder.Write("from/dir/two", "2");
    folder.Write("from/last", "last");
    mkdir(folder.File("to").c_str(), 0755);
    ScriptedMessageBoxes boxes;

    // The files of a folder vanish while the folder is being copied.
    ScriptedProgress progress;
    progress.onAdvance = [&](int step, const std::string&) {
        if (step == 1) {
            std::filesystem::remove(folder.File("from/dir/one"));
            std::filesystem::remove(folder.File("from/dir/two"));
        }
        return true;
    };
    const auto result = platform::TransferFiles(TransferMode::Copy,
                                                {folder.File("from/dir"), folder.File("from/last")},
                                                folder.File("to"), nullptr, &progress);

    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].path, folder.File("from/dir"));
    EXPECT_EQ(NamesIn(folder.File("to")), std::vector<std::string>{"last"});
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_TRUE(boxes.Texts()[0].contains(QStringLiteral("コピーできませんでした")));
    EXPECT_EQ(ReadText(folder.File("from/last")), "last");
}

TEST(FileTransfer, TargetVanishingDuringAMoveAcrossFileSystemsLosesNothing) {
    TempFolder folder;
    mkdir(folder.File("dir").c_str(), 0755);
    folder.Write("dir/one", "1");
    folder.Write("dir/two", "2");
    folder.Write("last", "last");
    SharedMemoryFolder otherFileSystem;
    if (!OnDifferentFileSystems(folder.Path(), otherFileSystem.Path()))
        GTEST_SKIP() << "/dev/shm is not a separate file system here";
    const std::string target = otherFileSystem.Path() + "/to";
    mkdir(target.c_str(), 0755);
    const auto before = Snapshot(folder.Path());
    ScriptedMessageBoxes boxes;

    ScriptedProgress progress;
    progress.onAdvance = [&](int step, const std::string&) {
        if (step == 1) std::filesystem::remove_all(target);
        return true;
    };
    const auto result = platform::TransferFiles(
        TransferMode::Move, {folder.File("dir"), folder.File("last")}, target, nullptr, &progress);

    EXPECT_EQ(result.failed.size(), 2u);
    EXPECT_TRUE(result.transferred.empty());
    EXPECT_EQ(Snapshot(folder.Path()), before);
}

TEST(FileTransfer, MovesAcrossFileSystemsAndWithinOne) {
    TempFolder folder;
    const std::string source = MakeSourceTree(folder);
    const auto tree = Snapshot(source);
    SharedMemoryFolder otherFileSystem;
    if (!OnDifferentFileSystems(folder.Path(), otherFileSystem.Path()))
        GTEST_SKIP() << "/dev/shm is not a separate file system here";

    auto result = Transfer(TransferMode::Move, {source}, otherFileSystem.Path());
    ASSERT_TRUE(result.Succeeded());
    EXPECT_FALSE(std::filesystem::exists(source));
    EXPECT_EQ(Snapshot(otherFileSystem.Path() + "/source"), tree);

    mkdir(folder.File("back").c_str(), 0755);
    struct stat moved {};
    lstat((otherFileSystem.Path() + "/source").c_str(), &moved);
    result =
        Transfer(TransferMode::Move, {otherFileSystem.Path() + "/source"}, folder.File("back"));
    ASSERT_TRUE(result.Succeeded());
    EXPECT_EQ(Snapshot(folder.File("back/source")), tree);

    // Within one file system the item is renamed, not copied.
    struct stat before {
    }, after{};
    lstat(folder.File("back/source").c_str(), &before);
    result = Transfer(TransferMode::Move, {folder.File("back/source")}, folder.Path());
    ASSERT_TRUE(result.Succeeded());
    lstat(folder.File("source").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(FileTransfer, MoveItemNeverReplacesAnExistingTarget) {
    TempFolder folder;
    folder.Write("a", "a");
    folder.Write("b", "b");
    QString error;
    EXPECT_FALSE(platform::MoveItem(folder.File("a"), folder.File("b"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadText(folder.File("a")), "a");
    EXPECT_EQ(ReadText(folder.File("b")), "b");
}

TEST(FileTransfer, PathPartsOfAwkwardPaths) {
    EXPECT_EQ(platform::BaseName("/a/b/"), "b");
    EXPECT_EQ(platform::ParentPath("/a/b/"), "/a");
    EXPECT_EQ(platform::ParentPath("/a"), "/");
    EXPECT_EQ(platform::BaseName("/"), "");
    EXPECT_EQ(platform::ParentPath("name"), ".");
}

}  // namespace
