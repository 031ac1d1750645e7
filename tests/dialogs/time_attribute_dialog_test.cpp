#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdio>

#include <filesystem>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>

#include "dialogs/time_attribute_change.h"
#include "dialogs/time_attribute_dialog.h"
#include "platform/file_times.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

using platform::FileTime;

FileTime LocalTime(int year, int month, int day, int hour, int minute, int second) {
    return platform::FileTimeFromUnixMs(QDateTime(QDate(year, month, day), QTime(hour, minute, second)).toMSecsSinceEpoch());
}

platform::FindData FactsOf(const std::string& path) {
    platform::FindData data;
    EXPECT_TRUE(platform::ReadFindData(path, data)) << path;
    return data;
}

void Click(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2)); }

TEST(TimeAttributeDialogTest, ShowsTheFirstItemAndWritesTheTimesItShows) {
    TempFolder folder;
    const std::string first = folder.Write("a.jpg", "a");
    const std::string second = folder.Write("b.jpg", "b");
    // Half a second past 10:15:33: the field shows 10:15:33 and OK keeps it.
    const FileTime written = platform::FileTimeFromUnixNs(
        QDateTime(QDate(2003, 4, 5), QTime(10, 15, 33)).toMSecsSinceEpoch() * 1'000'000 + 500'000'000);
    ASSERT_EQ(platform::SetFileTimes(first, {LocalTime(2001, 2, 3, 4, 5, 7), LocalTime(2002, 3, 4, 0, 0, 0), written}), 0);

    TTimeAttributeDialog dialog(nullptr, {first, second});
    EXPECT_EQ(dialog.windowTitle(), "日付・時刻・属性の変更");
    EXPECT_EQ(dialog.CreationDateField()->date(), QDate(2001, 2, 3));
    EXPECT_EQ(dialog.CreationTimeField()->time(), QTime(4, 5, 7));
    EXPECT_EQ(dialog.LastWriteDateField()->date(), QDate(2003, 4, 5));
    EXPECT_EQ(dialog.LastWriteTimeField()->time(), QTime(10, 15, 33));
    EXPECT_EQ(dialog.LastAccessDateField()->date(), QDate(2002, 3, 4));
    // Only files: nothing below them to change.
    EXPECT_FALSE(dialog.RecursiveBox()->isEnabled());
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    EXPECT_FALSE(dialog.LastWriteDateField()->isEnabled());
    EXPECT_FALSE(dialog.ReadOnlyBox()->isEnabled());
    EXPECT_TRUE(dialog.CreationNote()->isHidden());

    dialog.show();
    Click(dialog.ChangeTimesBox());
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    EXPECT_TRUE(dialog.CreationDateField()->isEnabled());
    EXPECT_FALSE(dialog.ReadOnlyBox()->isEnabled());
    dialog.LastAccessDateField()->setDate(QDate(2004, 5, 6));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    for (const std::string& path : {first, second}) {
        EXPECT_EQ(FactsOf(path).LastWriteTime, LocalTime(2003, 4, 5, 10, 15, 33)) << path;
        EXPECT_EQ(FactsOf(path).LastAccessTime, LocalTime(2004, 5, 6, 0, 0, 0)) << path;
        EXPECT_EQ(platform::CreationTimeOf(path), LocalTime(2001, 2, 3, 4, 5, 7)) << path;
    }
}

TEST(TimeAttributeDialogTest, DatesLongBeforeAndAfterTheOldDiskFormatAreShownAndWrittenOrRefusedAloud) {
    TempFolder folder;
    const std::string path = folder.Write("old.jpg", "a");
    ASSERT_EQ(platform::SetFileTimes(path, {{}, LocalTime(1975, 6, 7, 8, 9, 11), LocalTime(1975, 6, 7, 8, 9, 11)}), 0);
    TTimeAttributeDialog dialog(nullptr, {path});
    EXPECT_EQ(dialog.LastWriteDateField()->date(), QDate(1975, 6, 7));
    EXPECT_EQ(dialog.LastWriteTimeField()->time(), QTime(8, 9, 11));
    EXPECT_EQ(dialog.LastAccessDateField()->date(), QDate(1975, 6, 7));
    EXPECT_EQ(dialog.LastWriteDateField()->minimumDate(), QDate(1601, 1, 1));
    EXPECT_EQ(dialog.LastWriteDateField()->maximumDate(), QDate(9999, 12, 31));

    ScriptedMessageBoxes messages;
    dialog.show();
    Click(dialog.ChangeTimesBox());
    dialog.LastWriteDateField()->setDate(QDate(1969, 7, 20));
    dialog.LastWriteTimeField()->setTime(QTime(20, 17, 41));
    dialog.LastAccessDateField()->setDate(QDate(9999, 12, 31));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(FactsOf(path).LastWriteTime, LocalTime(1969, 7, 20, 20, 17, 41));
    // Where the file system cannot keep the year 9999 (ext4 ends in 2446)
    // the user is told; where it can, the date is there.
    if (FactsOf(path).LastAccessTime == LocalTime(9999, 12, 31, 0, 0, 0)) {
        EXPECT_TRUE(messages.Messages().empty());
    } else {
        ASSERT_EQ(messages.Messages().size(), 1u);
        EXPECT_TRUE(messages.Texts()[0].contains("old.jpg"));
        EXPECT_TRUE(messages.Texts()[0].contains("ファイル システムが日時 9999/12/31 00:00:00 を保存できません"))
            << messages.Texts()[0].toStdString();
    }
}

TEST(TimeAttributeDialogTest, AttributesReplaceTheWholeSetAndTimesStayUntouched) {
    TempFolder folder;
    const std::string first = folder.Write("a.jpg", "a");
    const std::string second = folder.Write("b.jpg", "b");
    ASSERT_TRUE(platform::SetFileAttributesOf(first, platform::kAttrReadOnly | platform::kAttrSystem));
    const FileTime created = LocalTime(2001, 2, 3, 4, 5, 6);
    const FileTime accessed = platform::FileTimeFromUnixNs(1'000'000'000'123'456'700LL);
    ASSERT_EQ(platform::SetFileTimes(second, {created, accessed, {}}), 0);
    const FileTime secondWritten = FactsOf(second).LastWriteTime;

    TTimeAttributeDialog dialog(nullptr, {first, second});
    EXPECT_TRUE(dialog.ReadOnlyBox()->isChecked());
    EXPECT_TRUE(dialog.SystemBox()->isChecked());
    dialog.show();
    Click(dialog.ChangeAttributesBox());
    Click(dialog.ReadOnlyBox());
    Click(dialog.SystemBox());
    Click(dialog.HiddenBox());
    Click(dialog.ArchiveBox());
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);

    for (const std::string& path : {first, second})
        EXPECT_EQ(platform::FileAttributesOf(path), platform::kAttrHidden | platform::kAttrArchive) << path;
    EXPECT_EQ(FactsOf(second).LastWriteTime, secondWritten);
    EXPECT_EQ(FactsOf(second).LastAccessTime, accessed);
    // The stored creation time survives the new attribute bits.
    EXPECT_EQ(platform::CreationTimeOf(second), created);
}

// A Samba record as Samba writes it: the word as text, then version 5
// with flags (attributes + creation time), the word and the creation time.
std::string SambaVersion5Record(std::uint32_t word, FileTime created) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%x", word);
    std::string value(text);
    value.push_back('\0');
    value.resize((value.size() + 1) / 2 * 2, '\0');
    value += std::string("\x05\0\x05\0", 4);
    value.resize((value.size() + 3) / 4 * 4, '\0');
    for (const std::uint64_t field : {std::uint64_t{0x11}, std::uint64_t{word}})
        for (int i = 0; i < 4; ++i) value.push_back(static_cast<char>(field >> (8 * i)));
    for (int i = 0; i < 8; ++i) value.push_back(static_cast<char>(created.Ticks() >> (8 * i)));
    return value;
}

std::string RawDosAttribute(const std::string& path) {
    char value[256];
    const ssize_t size = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value);
    return size > 0 ? std::string(value, static_cast<std::size_t>(size)) : std::string();
}

TEST(TimeAttributeDialogTest, ClearingReadOnlyClearsItInTheSambaRecordToo) {
    TempFolder folder;
    const std::string path = folder.Write("shared.jpg", "a");
    const FileTime created = LocalTime(2001, 2, 3, 4, 5, 6);
    const std::string record = SambaVersion5Record(0x21, created);
    if (setxattr(path.c_str(), "user.DOSATTRIB", record.data(), record.size(), 0) != 0)
        GTEST_SKIP() << "no user extended attributes here";
    const FileTime written = FactsOf(path).LastWriteTime;

    TTimeAttributeDialog dialog(nullptr, {path});
    EXPECT_TRUE(dialog.ArchiveBox()->isChecked());
    dialog.show();
    Click(dialog.ChangeAttributesBox());
    if (dialog.ReadOnlyBox()->isChecked()) Click(dialog.ReadOnlyBox());
    Click(dialog.ArchiveBox());
    Click(dialog.HiddenBox());
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);

    // Samba reads the word of the binary record: hidden alone, as shown.
    EXPECT_EQ(RawDosAttribute(path), SambaVersion5Record(0x2, created));
    EXPECT_EQ(platform::FileAttributesOf(path), platform::kAttrHidden);
    EXPECT_EQ(FactsOf(path).LastWriteTime, written);
}

TEST(TimeAttributeDialogTest, ReadOnlyAndHiddenTogetherAreBothKept) {
    TempFolder folder;
    const std::string path = folder.Write("a.jpg", "a");
    TTimeAttributeChange change;
    change.ChangeAttributes = true;
    change.Attributes = platform::kAttrReadOnly | platform::kAttrHidden;
    change.ChangeTimes = true;
    change.Times = {LocalTime(2001, 1, 1, 0, 0, 0), LocalTime(2001, 1, 2, 0, 0, 0), LocalTime(2001, 1, 3, 0, 0, 0)};
    EXPECT_TRUE(ApplyTimeAttributeChange({path}, change).empty());
    EXPECT_EQ(platform::FileAttributesOf(path), platform::kAttrReadOnly | platform::kAttrHidden);
    EXPECT_EQ(FactsOf(path).LastWriteTime, LocalTime(2001, 1, 3, 0, 0, 0));
    EXPECT_EQ(platform::CreationTimeOf(path), LocalTime(2001, 1, 1, 0, 0, 0));
}

TEST(TimeAttributeDialogTest, SubfoldersAreChangedWithoutLeavingTheTree) {
    TempFolder folder;
    namespace fs = std::filesystem;
    fs::create_directories(folder.File("top/sub/deeper"));
    const std::string deepFile = folder.Write("top/sub/deeper/x.png", "x");
    const std::string file = folder.Write("top/y.png", "y");
    const std::string outside = folder.Write("outside.png", "o");
    fs::create_symlink(outside, folder.File("top/link.png"));
    const FileTime outsideWritten = FactsOf(outside).LastWriteTime;
    const FileTime parentWritten = FactsOf(folder.Path()).LastWriteTime;

    TTimeAttributeDialog dialog(nullptr, {folder.File("top"), file});
    ASSERT_TRUE(dialog.RecursiveBox()->isEnabled());
    dialog.show();
    Click(dialog.ChangeTimesBox());
    Click(dialog.RecursiveBox());
    dialog.LastWriteDateField()->setDate(QDate(1999, 12, 31));
    dialog.LastWriteTimeField()->setTime(QTime(23, 59, 59));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);

    const FileTime expected = LocalTime(1999, 12, 31, 23, 59, 59);
    for (const char* name : {"top", "top/sub", "top/sub/deeper", "top/sub/deeper/x.png", "top/y.png"})
        EXPECT_EQ(FactsOf(folder.File(name)).LastWriteTime, expected) << name;
    EXPECT_EQ(FactsOf(deepFile).LastWriteTime, expected);
    EXPECT_EQ(FactsOf(outside).LastWriteTime, outsideWritten);
    EXPECT_EQ(FactsOf(folder.Path()).LastWriteTime, parentWritten);
}

TEST(TimeAttributeDialogTest, ItemsThatCannotBeChangedAreNamedInOneMessage) {
    TempFolder folder;
    const std::string present = folder.Write("a.jpg", "a");
    const std::string vanished = folder.File("gone.jpg");
    ScriptedMessageBoxes messages;
    TTimeAttributeDialog dialog(nullptr, {present, vanished, folder.File("gone too.jpg")});
    dialog.show();
    Click(dialog.ChangeAttributesBox());
    Click(dialog.HiddenBox());
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(platform::FileAttributesOf(present), platform::kAttrHidden);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(messages.Texts()[0].startsWith("2 個の項目を変更できませんでした。"));
    EXPECT_TRUE(messages.Texts()[0].contains("gone.jpg"));
    EXPECT_TRUE(messages.Texts()[0].contains("gone too.jpg"));
}

TEST(TimeAttributeDialogTest, CreationFieldIsDisabledWithAReasonWhereItCannotBeKept) {
    TTimeAttributeDialog dialog(nullptr, {"/proc/version"});
    dialog.show();
    Click(dialog.ChangeTimesBox());
    EXPECT_FALSE(dialog.CreationDateField()->isEnabled());
    EXPECT_FALSE(dialog.CreationTimeField()->isEnabled());
    EXPECT_TRUE(dialog.LastWriteDateField()->isEnabled());
    EXPECT_FALSE(dialog.CreationNote()->isHidden());
    EXPECT_FALSE(dialog.CreationNote()->text().isEmpty());
}

TEST(TimeAttributeDialogTest, DatesConvertOverTheWholeRangeOfAFileTime) {
    EXPECT_EQ(*FileTimeFromLocal(QDate(1975, 6, 7), QTime(8, 9, 11)), LocalTime(1975, 6, 7, 8, 9, 11));
    EXPECT_EQ(*FileTimeFromLocal(QDate(2107, 12, 31), QTime(23, 59, 59)), LocalTime(2107, 12, 31, 23, 59, 59));
    for (const QDateTime& local : {QDateTime(QDate(1601, 1, 2), QTime(0, 0)), QDateTime(QDate(2500, 2, 3), QTime(4, 5, 7)),
                                   QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59))}) {
        const std::optional<FileTime> time = FileTimeFromLocal(local.date(), local.time());
        ASSERT_TRUE(time) << local.toString().toStdString();
        EXPECT_EQ(LocalDateTimeOf(*time), local);
    }
    EXPECT_FALSE(FileTimeFromLocal(QDate(1600, 12, 31), QTime(23, 0)));
    EXPECT_FALSE(FileTimeFromLocal(QDate(10000, 1, 1), QTime(0, 0)));
    EXPECT_FALSE(LocalDateTimeOf(FileTime{}).isValid());
}

}  // namespace
