#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include <QFile>
#include <QSaveFile>

#include "platform/file_operations.h"
#include "platform/regular_file.h"
#include "support/held_fifo.h"
#include "support/temp_folder.h"

namespace {

TEST(RegularFile, ReadsFilesAndRefusesWhatIsNoFileWithAReason) {
    TempFolder folder;
    const std::string path = folder.Write("data.bin", std::string("0123456789"));
    QString reason;
    std::optional<platform::RegularFile> file = platform::RegularFile::Open(path, reason);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->Size(), 10);
    char bytes[16] = {};
    EXPECT_EQ(file->Read(bytes, sizeof bytes, reason), 10) << "the end of the file ends the read";
    EXPECT_EQ(std::string(bytes, 10), "0123456789");

    // Each refused with its own reason, a pipe without waiting for a
    // writer or taking its bytes.
    const HeldFifo pipe(folder.File("pipe"), "waiting");
    ASSERT_TRUE(pipe.Ready());
    std::filesystem::create_directory(folder.File("folder"));
    int errorNumber = -1;
    for (const std::string& name : {folder.File("pipe"), folder.File("folder"), std::string("/dev/null")}) {
        reason.clear();
        EXPECT_FALSE(platform::RegularFile::Open(name, reason, errorNumber).has_value()) << name;
        EXPECT_FALSE(reason.isEmpty()) << name;
        EXPECT_EQ(errorNumber, 0) << name;
    }
    EXPECT_EQ(pipe.Unread(), 7);

    EXPECT_FALSE(platform::RegularFile::Open(folder.File("missing"), reason, errorNumber).has_value());
    EXPECT_EQ(errorNumber, ENOENT);
    EXPECT_FALSE(reason.isEmpty());
}

bool HasLatinLetters(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter() && c.unicode() < 0x80; });
}

TEST(RegularFile, ASocketOpenedAsAFileGivesAJapaneseReason) {
    TempFolder folder;
    const std::string path = folder.File("socket");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    QString reason;
    int errorNumber = 0;
    EXPECT_FALSE(platform::RegularFile::Open(path, reason, errorNumber).has_value());
    close(listener);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_FALSE(HasLatinLetters(reason)) << reason.toStdString();
}

TEST(FileErrorTexts, EverySystemReasonTheUserReadsIsJapanese) {
    for (int errorNumber = 1; errorNumber < 134; ++errorNumber) {
        const QString text = platform::FileErrorText(errorNumber);
        EXPECT_FALSE(text.isEmpty()) << errorNumber;
        EXPECT_FALSE(HasLatinLetters(text)) << errorNumber << ": " << text.toStdString();
    }
    EXPECT_TRUE(platform::FileErrorText(12345).contains("12345"));

    // The toolkit's file errors, worded as the C library words them.
    TempFolder folder;
    QSaveFile missingFolder(QString::fromStdString(folder.File("none/out.bmp")));
    EXPECT_FALSE(missingFolder.open(QIODevice::WriteOnly));
    EXPECT_EQ(platform::FileDeviceErrorText(missingFolder), platform::FileErrorText(ENOENT));
    QFile folderAsFile(QString::fromStdString(folder.Path()));
    EXPECT_FALSE(folderAsFile.open(QIODevice::WriteOnly));
    EXPECT_FALSE(HasLatinLetters(platform::FileDeviceErrorText(folderAsFile)));
}

}  // namespace
