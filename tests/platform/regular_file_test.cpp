#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

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

}  // namespace
