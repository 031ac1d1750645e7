#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

#include "file_tree_helpers.h"
#include "platform/desktop_services.h"
#include "support/event_wait.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

// Replaces PATH for the test's lifetime.
class ScopedPath {
public:
    explicit ScopedPath(const std::string& path) : old_(getenv("PATH") ? getenv("PATH") : "") {
        setenv("PATH", path.c_str(), 1);
    }
    ~ScopedPath() { setenv("PATH", old_.c_str(), 1); }

private:
    std::string old_;
};

TEST(Shortcut, IsAnAbsoluteSymbolicLinkWithAFreeName) {
    TempFolder folder;
    const std::string target = folder.Write("photo.jpg", "x");
    mkdir(folder.File("dir").c_str(), 0755);
    QString error;

    const std::string first = platform::CreateShortcut(target, folder.Path(), &error);
    const std::string second = platform::CreateShortcut(target, folder.Path(), &error);
    const std::string toFolder =
        platform::CreateShortcut(folder.File("dir/"), folder.File("dir"), &error);

    EXPECT_EQ(first, folder.File("photo.jpg へのショートカット"));
    EXPECT_EQ(second, folder.File("photo.jpg へのショートカット (2)"));
    EXPECT_EQ(std::filesystem::read_symlink(first), target);
    EXPECT_EQ(toFolder, folder.File("dir/dir へのショートカット"));
    EXPECT_TRUE(std::filesystem::is_directory(toFolder));

    EXPECT_TRUE(platform::CreateShortcut(folder.File("missing"), folder.Path(), &error).empty());
    EXPECT_FALSE(error.isEmpty());

    ScriptedMessageBoxes boxes;
    const auto links = platform::CreateShortcuts({target, folder.File("missing")}, nullptr);
    EXPECT_EQ(links, std::vector<std::string>{folder.File("photo.jpg へのショートカット (3)")});
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_TRUE(boxes.Texts()[0].contains(QStringLiteral("missing")));
}

TEST(Rename, RefusesBadAndTakenNamesWithAMessage) {
    TempFolder folder;
    const std::string path = folder.Write("old.txt", "old");
    folder.Write("taken.txt", "taken");
    ScriptedMessageBoxes boxes;

    for (const QString& bad : {QString(), QStringLiteral("a/b"), QStringLiteral(".."),
                               QStringLiteral("taken.txt"), QString(300, QLatin1Char('n'))}) {
        EXPECT_TRUE(platform::RenameItem(path, bad, nullptr).empty()) << bad.toStdString();
    }
    ASSERT_EQ(boxes.Messages().size(), 5u);
    EXPECT_EQ(boxes.Texts()[0], QStringLiteral("ファイル名を入力してください。"));
    EXPECT_TRUE(boxes.Texts()[3].contains(QStringLiteral("既に存在します")));
    EXPECT_EQ(ReadText(folder.File("taken.txt")), "taken");
    EXPECT_EQ(ReadText(path), "old");

    EXPECT_EQ(platform::RenameItem(path, QStringLiteral("old.txt"), nullptr), path);
    const std::string renamed =
        platform::RenameItem(path, QStringLiteral("新しい名前.txt"), nullptr);
    EXPECT_EQ(renamed, folder.File("新しい名前.txt"));
    EXPECT_EQ(ReadText(renamed), "old");
    EXPECT_EQ(boxes.Messages().size(), 5u);
}

TEST(Properties, ShowsTheFactsOfAFile) {
    TempFolder folder;
    const std::string path = folder.Write("note.txt", "hello");
    chmod(path.c_str(), 0640);
    const timespec times[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);

    platform::PropertiesDialog dialog({path});

    EXPECT_EQ(dialog.Value(QStringLiteral("名前")), QStringLiteral("note.txt"));
    EXPECT_EQ(dialog.Value(QStringLiteral("場所")), QString::fromStdString(folder.Path()));
    EXPECT_FALSE(dialog.Value(QStringLiteral("種類")).isEmpty());
    EXPECT_EQ(dialog.Value(QStringLiteral("サイズ")), QStringLiteral("5 バイト"));
    EXPECT_EQ(dialog.Value(QStringLiteral("アクセス権")), QStringLiteral("rw-r----- (640)"));
    EXPECT_EQ(dialog.Value(QStringLiteral("更新日時")),
              QDateTime::fromSecsSinceEpoch(1'600'000'000)
                  .toString(QStringLiteral("yyyy年M月d日 H:mm:ss")));
    EXPECT_FALSE(dialog.Value(QStringLiteral("所有者")).isEmpty());
    EXPECT_TRUE(dialog.SizeComplete());
}

TEST(Properties, CountsFoldersInTheBackgroundWithoutOpeningSpecialFiles) {
    TempFolder folder;
    mkdir(folder.File("tree").c_str(), 0755);
    mkdir(folder.File("tree/sub").c_str(), 0755);
    folder.Write("tree/a", std::string(2000, 'a'));
    folder.Write("tree/sub/b", "bb");
    mkfifo(folder.File("tree/pipe").c_str(), 0600);
    ASSERT_EQ(symlink("/", folder.File("tree/root-link").c_str()), 0);

    platform::PropertiesDialog single({folder.File("tree")});
    ASSERT_TRUE(ProcessEventsUntil([&] { return single.SizeComplete(); }));
    EXPECT_EQ(single.Value(QStringLiteral("内容")), QStringLiteral("ファイル 4 個、フォルダ 1 個"));
    EXPECT_TRUE(single.Value(QStringLiteral("サイズ")).contains(QStringLiteral("(2,003 バイト)")))
        << single.Value(QStringLiteral("サイズ")).toStdString();

    platform::PropertiesDialog pipe({folder.File("tree/pipe")});
    EXPECT_FALSE(pipe.Value(QStringLiteral("種類")).isEmpty());

    platform::PropertiesDialog several({folder.File("tree/sub"), folder.File("tree/a")});
    ASSERT_TRUE(ProcessEventsUntil([&] { return several.SizeComplete(); }));
    EXPECT_EQ(several.Value(QStringLiteral("名前")), QStringLiteral("2 個の項目"));
    EXPECT_EQ(several.Value(QStringLiteral("内容")),
              QStringLiteral("ファイル 2 個、フォルダ 1 個"));

    // Closing while a count runs stops it at once.
    auto* busy = new platform::PropertiesDialog({"/"});
    delete busy;
}

TEST(OpenFile, HandsTheRawPathToTheDesktopLauncher) {
    TempFolder folder;
    const std::string received = folder.File("received");
    mkdir(folder.File("bin").c_str(), 0755);
    const std::string launcher = folder.Write(
        "bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + received + ".part' && /bin/mv '" +
                            received + ".part' '" + received + "'\n");
    chmod(launcher.c_str(), 0755);
    const std::string path = folder.Write("odd \xff name.png", "png");
    ScriptedMessageBoxes boxes;

    {
        ScopedPath scoped(folder.File("bin"));
        ASSERT_TRUE(platform::OpenWithDefaultApplication(path, nullptr));
    }
    ASSERT_TRUE(ProcessEventsUntil([&] { return std::filesystem::exists(received); }));
    EXPECT_EQ(ReadText(received), path);

    ScopedPath empty(folder.File("nothing-here"));
    EXPECT_FALSE(platform::OpenWithDefaultApplication(path, nullptr));
    ASSERT_EQ(boxes.Messages().size(), 1u);
    EXPECT_EQ(boxes.Messages()[0].icon, platform::MessageIcon::Error);
}

}  // namespace
