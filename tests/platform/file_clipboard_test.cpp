#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include "file_tree_helpers.h"
#include "platform/file_clipboard.h"
#include "platform/file_operations.h"
#include "platform/file_uri.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

void PutOnClipboard(std::initializer_list<std::pair<const char*, QByteArray>> formats) {
    auto* data = new QMimeData;
    for (const auto& [type, bytes] : formats) data->setData(QString::fromLatin1(type), bytes);
    QApplication::clipboard()->setMimeData(data);
}

TEST(FileClipboard, CopyAndCutRoundTripInEveryFormat) {
    const std::vector<std::string> paths = {"/tmp/plain.txt", "/tmp/with space/\xff\n%#?.bin"};
    for (bool cut : {false, true}) {
        platform::PutFilesOnClipboard(paths, cut);
        const QMimeData* data = QApplication::clipboard()->mimeData();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->data("text/uri-list"),
                  "file:///tmp/plain.txt\r\nfile:///tmp/with%20space/%FF%0A%25%23%3F.bin\r\n");
        EXPECT_EQ(data->data("x-special/gnome-copied-files"),
                  QByteArray(cut ? "cut" : "copy") +
                      "\nfile:///tmp/plain.txt\nfile:///tmp/with%20space/%FF%0A%25%23%3F.bin");
        EXPECT_EQ(data->data("application/x-kde-cutselection"), cut ? "1" : "0");
        EXPECT_TRUE(data->data("text/plain").startsWith("/tmp/plain.txt\n"));

        const platform::ClipboardFiles files = platform::ReadFilesFromClipboard();
        EXPECT_EQ(files.paths, paths);
        EXPECT_EQ(files.cut, cut);
        EXPECT_TRUE(platform::CanPasteFiles());
    }
}

TEST(FileClipboard, ReadsWhatOtherFileManagersPutThere) {
    // Only a URI list with the KDE cut marker.
    PutOnClipboard({{"text/uri-list", "# comment\r\nfile:///a%20b\r\nfile://localhost/c\r\n"},
                    {"application/x-kde-cutselection", "1"}});
    auto files = platform::ReadFilesFromClipboard();
    EXPECT_EQ(files.paths, (std::vector<std::string>{"/a b", "/c"}));
    EXPECT_TRUE(files.cut);

    // The GNOME format alone.
    PutOnClipboard({{"x-special/gnome-copied-files", "cut\nfile:///x\n"}});
    files = platform::ReadFilesFromClipboard();
    EXPECT_EQ(files.paths, std::vector<std::string>{"/x"});
    EXPECT_TRUE(files.cut);

    // Nautilus' text form.
    PutOnClipboard({{"text/plain", "x-special/nautilus-clipboard\ncopy\nfile:///y%C3%A9\n"}});
    files = platform::ReadFilesFromClipboard();
    EXPECT_EQ(files.paths, std::vector<std::string>{"/y\xc3\xa9"});
    EXPECT_FALSE(files.cut);

    // Remote and non-file URIs are not files to paste.
    PutOnClipboard({{"text/uri-list", "file://elsewhere.example/z\r\nhttp://example.com/\r\n"}});
    EXPECT_FALSE(platform::CanPasteFiles());
}

TEST(FileClipboard, PlainTextIsNeverPastedAsFiles) {
    QApplication::clipboard()->setText(QStringLiteral("/etc/hostname"));
    EXPECT_FALSE(platform::CanPasteFiles());
    EXPECT_TRUE(platform::ReadFilesFromClipboard().paths.empty());

    TempFolder folder;
    ScriptedMessageBoxes boxes;
    const auto result = platform::PasteFiles(folder.Path(), nullptr);
    EXPECT_TRUE(result.transferred.empty());
    EXPECT_TRUE(NamesIn(folder.Path()).empty());
    EXPECT_TRUE(boxes.Messages().empty());
}

TEST(FileClipboard, PastingCutFilesMovesThemAndClearsTheClipboard) {
    TempFolder folder;
    mkdir(folder.File("to").c_str(), 0755);
    const std::string copied = folder.Write("copied", "c");
    const std::string cut = folder.Write("cut", "m");

    platform::PutFilesOnClipboard({copied}, false);
    ASSERT_TRUE(platform::PasteFiles(folder.File("to"), nullptr).Succeeded());
    EXPECT_EQ(ReadText(copied), "c");
    EXPECT_TRUE(platform::CanPasteFiles());

    platform::PutFilesOnClipboard({cut}, true);
    ASSERT_TRUE(platform::PasteFiles(folder.File("to"), nullptr).Succeeded());
    EXPECT_EQ(NamesIn(folder.File("to")), (std::vector<std::string>{"copied", "cut"}));
    EXPECT_FALSE(std::filesystem::exists(cut));
    EXPECT_FALSE(platform::CanPasteFiles());
}

TEST(FileUri, EncodesEveryByteThatCouldBreakAUri) {
    EXPECT_EQ(platform::FileUri("/a/b c/%/\x01\x7f\x80"), "file:///a/b%20c/%25/%01%7F%80");
    EXPECT_EQ(platform::PercentDecode("100%"), "100%");
    EXPECT_EQ(platform::PercentDecode("%zz%4"), "%zz%4");
    EXPECT_FALSE(platform::PathFromFileUri("file:///a%00b"));
    EXPECT_FALSE(platform::PathFromFileUri("file:relative"));
    EXPECT_EQ(platform::PathFromFileUri("file:/short/form"), "/short/form");
}

}  // namespace
