#include <sys/stat.h>
#include <sys/xattr.h>

#include <vector>

#include <gtest/gtest.h>

#include "platform/file_times.h"
#include "platform/shell_file_info.h"
#include "support/temp_folder.h"

namespace {

using platform::FileTime;

// 2001-02-03 04:05:06.123456700 UTC.
const FileTime kSomeTime = platform::FileTimeFromUnixNs(981173106'123456700LL);
const FileTime kOtherTime = platform::FileTimeFromUnixNs(1'100'000'000'987654300LL);

std::string RawDosAttribute(const std::string& path) {
    char value[256];
    const ssize_t size = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value);
    return size > 0 ? std::string(value, static_cast<std::size_t>(size)) : std::string();
}

TEST(FileTimesTest, AccessAndWriteTimesKeepNanosecondsAndCreationTimeIsStoredAndReadFirst) {
    TempFolder folder;
    const std::string path = folder.Write("a.jpg", "x");
    ASSERT_TRUE(platform::CanKeepCreationTime(path));
    ASSERT_EQ(platform::SetFileTimes(path, {kOtherTime, kSomeTime, kOtherTime}), 0);
    platform::FindData data;
    ASSERT_TRUE(platform::ReadFindData(path, data));
    EXPECT_EQ(data.LastAccessTime, kSomeTime);
    EXPECT_EQ(data.LastWriteTime, kOtherTime);
    EXPECT_EQ(platform::CreationTimeOf(path), kOtherTime);

    // A zero time leaves that time alone.
    ASSERT_EQ(platform::SetFileTimes(path, {FileTime{}, FileTime{}, kSomeTime}), 0);
    ASSERT_TRUE(platform::ReadFindData(path, data));
    EXPECT_EQ(data.LastAccessTime, kSomeTime);
    EXPECT_EQ(data.LastWriteTime, kSomeTime);
    EXPECT_EQ(platform::CreationTimeOf(path), kOtherTime);
}

TEST(FileTimesTest, StoredCreationTimeKeepsTheAttributeBitsBothWays) {
    TempFolder folder;
    const std::string path = folder.Write("a.jpg", "x");
    ASSERT_TRUE(platform::SetFileAttributesOf(path, platform::kAttrHidden | platform::kAttrArchive));
    ASSERT_EQ(platform::SetFileTimes(path, {kSomeTime, {}, {}}), 0);
    EXPECT_EQ(platform::FileAttributesOf(path), platform::kAttrHidden | platform::kAttrArchive);
    EXPECT_EQ(platform::CreationTimeOf(path), kSomeTime);
    // Samba and the namespace both read the text at the start of the value.
    EXPECT_EQ(RawDosAttribute(path).substr(0, 5), std::string("0x22\0", 5));

    // A read-only file still takes its creation time.
    ASSERT_TRUE(platform::SetFileAttributesOf(path, platform::kAttrReadOnly | platform::kAttrHidden));
    ASSERT_EQ(platform::SetFileTimes(path, {kOtherTime, {}, {}}), 0);
    EXPECT_EQ(platform::CreationTimeOf(path), kOtherTime);
    EXPECT_EQ(platform::FileAttributesOf(path), platform::kAttrReadOnly | platform::kAttrHidden);
}

TEST(FileTimesTest, SambaRecordsOfEveryVersionThatCarriesACreationTimeAreRead) {
    const platform::DosAttribute written{0x21, kSomeTime};
    const std::optional<platform::DosAttribute> read = platform::ParseDosAttribute(platform::DosAttributeValue(written));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Attributes, 0x21u);
    EXPECT_EQ(read->CreationTime, kSomeTime);

    // Version 5 as newer Samba releases write it: "0x20", NUL, pad, 5, 5,
    // pad, flags (attributes + creation time), attributes, creation time.
    std::string version5("0x20\0\0\x05\0\x05\0\0\0\x11\0\0\0\x20\0\0\0", 20);
    const std::uint64_t ticks = kOtherTime.Ticks();
    for (int i = 0; i < 8; ++i) version5.push_back(static_cast<char>(ticks >> (8 * i)));
    const std::optional<platform::DosAttribute> newer = platform::ParseDosAttribute(version5);
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->Attributes, 0x20u);
    EXPECT_EQ(newer->CreationTime, kOtherTime);

    // Text alone, a record without the creation flag, and damaged values.
    EXPECT_EQ(platform::ParseDosAttribute("0x2")->Attributes, 0x2u);
    EXPECT_TRUE(platform::ParseDosAttribute("0x2")->CreationTime.IsZero());
    std::string noTime = version5;
    noTime[12] = 0x01;
    EXPECT_TRUE(platform::ParseDosAttribute(noTime)->CreationTime.IsZero());
    EXPECT_TRUE(platform::ParseDosAttribute(version5.substr(0, 23))->CreationTime.IsZero());
    EXPECT_FALSE(platform::ParseDosAttribute("junk"));
    EXPECT_FALSE(platform::ParseDosAttribute(""));
}

// A binary record: the text, padding, version twice, padding, fields.
std::string BinaryRecord(const std::string& text, std::uint16_t version, const std::vector<std::uint32_t>& fields) {
    std::string value = text + '\0';
    value.resize((value.size() + 1) / 2 * 2, '\0');
    for (int i = 0; i < 2; ++i) value += std::string{static_cast<char>(version), '\0'};
    value.resize((value.size() + 3) / 4 * 4, '\0');
    for (const std::uint32_t field : fields)
        for (int i = 0; i < 4; ++i) value.push_back(static_cast<char>(field >> (8 * i)));
    return value;
}

TEST(FileTimesTest, NewAttributeWordsKeepTheFormAndTheOtherFieldsOfTheSambaRecord) {
    TempFolder folder;
    const std::string path = folder.Write("a.jpg", "x");
    const auto store = [&path](const std::string& value) {
        return setxattr(path.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0) == 0;
    };
    if (!store("0x21")) GTEST_SKIP() << "no user extended attributes here";

    // Text alone stays text alone, with the read-only bit replaced too.
    ASSERT_TRUE(platform::SetFileAttributesOf(path, platform::kAttrHidden));
    EXPECT_EQ(RawDosAttribute(path), std::string("0x2\0", 4));

    // Version 3: flags, word, EA size, size and allocation size (64 bits
    // each), creation time, change time.
    const std::uint32_t lowTicks = kSomeTime.LowDateTime, highTicks = kSomeTime.HighDateTime;
    ASSERT_TRUE(store(BinaryRecord("0x1", 3, {0x11, 0x1, 7, 100, 0, 4096, 0, lowTicks, highTicks, 5, 6})));
    ASSERT_TRUE(platform::SetFileAttributesOf(path, platform::kAttrHidden | platform::kAttrArchive));
    EXPECT_EQ(RawDosAttribute(path), BinaryRecord("0x22", 3, {0x11, 0x22, 7, 100, 0, 4096, 0, lowTicks, highTicks, 5, 6}));
    EXPECT_EQ(platform::CreationTimeOf(path), kSomeTime);

    // Samba believes the binary word over the text.
    ASSERT_TRUE(store(BinaryRecord("0x0", 5, {0x01, 0x4})));
    EXPECT_EQ(platform::FileAttributesOf(path), platform::kAttrSystem);

    // A creation time for a version without one gives a new record.
    const std::string old2 = BinaryRecord("0x20", 2, {0, 0x20, 0, 0, 0, 0, 0});
    const std::optional<platform::DosAttribute> upgraded =
        platform::ParseDosAttribute(platform::UpdatedDosAttributeValue(old2, {0x20, kOtherTime}));
    ASSERT_TRUE(upgraded);
    EXPECT_EQ(upgraded->Attributes, 0x20u);
    EXPECT_EQ(upgraded->CreationTime, kOtherTime);
}

TEST(FileTimesTest, FileSystemsWithoutExtendedAttributesSayWhy) {
    std::string reason;
    EXPECT_FALSE(platform::CanKeepCreationTime("/proc/version", &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(platform::CanKeepCreationTime("/no/such/file", &reason));
}

}  // namespace
