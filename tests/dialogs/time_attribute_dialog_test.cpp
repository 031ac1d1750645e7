#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>

#include "dialogs/sub1080.h"
#include "dialogs/time_attribute_change.h"
#include "platform/file_times.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

using platform::FileTime;

FileTime LocalTime(int year, int month, int day, int hour, int minute, int second) {
    return platform::FileTimeFromUnixNs(QDateTime(QDate(year, month, day), QTime(hour, minute, second)).toMSecsSinceEpoch() *
                                        1'000'000);
}

platform::FindData FactsOf(const std::string& path) {
    platform::FindData data;
    EXPECT_TRUE(platform::ReadFindData(path, data)) << path;
    return data;
}

void Click(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2)); }

TEST(TimeAttributeDialogTest, ShowsTheFirstItemAndWritesEvenSeconds) {
    TempFolder folder;
    const std::string first = folder.Write("a.jpg", "a");
    const std::string second = folder.Write("b.jpg", "b");
    const FileTime written = LocalTime(2003, 4, 5, 10, 15, 33);
    ASSERT_EQ(platform::SetFileTimes(first, {LocalTime(2001, 2, 3, 4, 5, 7), LocalTime(2002, 3, 4, 0, 0, 0), written}), 0);

    TSubForm1080 dialog(nullptr, {first, second});
    EXPECT_EQ(dialog.windowTitle(), "日付・時刻・属性の変更");
    EXPECT_EQ(dialog.DateTimePicker1D()->date(), QDate(2001, 2, 3));
    EXPECT_EQ(dialog.DateTimePicker1T()->time(), QTime(4, 5, 7));
    EXPECT_EQ(dialog.DateTimePicker2D()->date(), QDate(2003, 4, 5));
    EXPECT_EQ(dialog.DateTimePicker2T()->time(), QTime(10, 15, 33));
    EXPECT_EQ(dialog.DateTimePicker3D()->date(), QDate(2002, 3, 4));
    // Only files: nothing below them to change.
    EXPECT_FALSE(dialog.CheckBoxC()->isEnabled());
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    EXPECT_FALSE(dialog.DateTimePicker2D()->isEnabled());
    EXPECT_FALSE(dialog.CheckBox1()->isEnabled());
    EXPECT_TRUE(dialog.CreationNote()->isHidden());

    dialog.show();
    Click(dialog.CheckBoxA());
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    EXPECT_TRUE(dialog.DateTimePicker1D()->isEnabled());
    EXPECT_FALSE(dialog.CheckBox1()->isEnabled());
    dialog.DateTimePicker3D()->setDate(QDate(2004, 5, 6));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    for (const std::string& path : {first, second}) {
        EXPECT_EQ(FactsOf(path).LastWriteTime, LocalTime(2003, 4, 5, 10, 15, 32)) << path;
        EXPECT_EQ(FactsOf(path).LastAccessTime, LocalTime(2004, 5, 6, 0, 0, 0)) << path;
        EXPECT_EQ(platform::CreationTimeOf(path), LocalTime(2001, 2, 3, 4, 5, 6)) << path;
    }
}

TEST(TimeAttributeDialogTest, AttributesReplaceTheWholeSetAndTimesStayUntouched) {
    TempFolder folder;
    const std::string first = folder.Write("a.jpg", "a");
    const std::string second = folder.Write("b.jpg", "b");
    ASSERT_TRUE(platform::SetFileAttributesOf(first, platform::kAttrReadOnly | platform::kAttrSystem));
    const FileTime created = LocalTime(2001, 2, 3, 4, 5, 6);
    ASSERT_EQ(platform::SetFileTimes(second, {created, {}, {}}), 0);
    const FileTime secondWritten = FactsOf(second).LastWriteTime;

    TSubForm1080 dialog(nullptr, {first, second});
    EXPECT_TRUE(dialog.CheckBox1()->isChecked());
    EXPECT_TRUE(dialog.CheckBox4()->isChecked());
    dialog.show();
    Click(dialog.CheckBoxB());
    Click(dialog.CheckBox1());
    Click(dialog.CheckBox4());
    Click(dialog.CheckBox2());
    Click(dialog.CheckBox3());
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);

    for (const std::string& path : {first, second})
        EXPECT_EQ(platform::FileAttributesOf(path), platform::kAttrHidden | platform::kAttrArchive) << path;
    EXPECT_EQ(FactsOf(second).LastWriteTime, secondWritten);
    // The stored creation time survives the new attribute bits.
    EXPECT_EQ(platform::CreationTimeOf(second), created);
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

    TSubForm1080 dialog(nullptr, {folder.File("top"), file});
    ASSERT_TRUE(dialog.CheckBoxC()->isEnabled());
    dialog.show();
    Click(dialog.CheckBoxA());
    Click(dialog.CheckBoxC());
    dialog.DateTimePicker2D()->setDate(QDate(1999, 12, 31));
    dialog.DateTimePicker2T()->setTime(QTime(23, 59, 59));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);

    const FileTime expected = LocalTime(1999, 12, 31, 23, 59, 58);
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
    TSubForm1080 dialog(nullptr, {present, vanished, folder.File("gone too.jpg")});
    dialog.show();
    Click(dialog.CheckBoxB());
    Click(dialog.CheckBox2());
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(platform::FileAttributesOf(present), platform::kAttrHidden);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(messages.Texts()[0].startsWith("2 個の項目を変更できませんでした。"));
    EXPECT_TRUE(messages.Texts()[0].contains("gone.jpg"));
    EXPECT_TRUE(messages.Texts()[0].contains("gone too.jpg"));
}

TEST(TimeAttributeDialogTest, CreationFieldIsDisabledWithAReasonWhereItCannotBeKept) {
    TSubForm1080 dialog(nullptr, {"/proc/version"});
    dialog.show();
    Click(dialog.CheckBoxA());
    EXPECT_FALSE(dialog.DateTimePicker1D()->isEnabled());
    EXPECT_FALSE(dialog.DateTimePicker1T()->isEnabled());
    EXPECT_TRUE(dialog.DateTimePicker2D()->isEnabled());
    EXPECT_FALSE(dialog.CreationNote()->isHidden());
    EXPECT_FALSE(dialog.CreationNote()->text().isEmpty());
}

TEST(TimeAttributeDialogTest, DatesConvertThroughTheFatRange) {
    EXPECT_FALSE(FileTimeFromLocal(QDate(1979, 12, 31), QTime(23, 0)));
    EXPECT_FALSE(FileTimeFromLocal(QDate(2108, 1, 1), QTime(0, 0)));
    EXPECT_EQ(*FileTimeFromLocal(QDate(2107, 12, 31), QTime(23, 59, 59)), LocalTime(2107, 12, 31, 23, 59, 58));
    EXPECT_EQ(*FileTimeFromLocal(QDate(1980, 1, 1), QTime(0, 0, 1)), LocalTime(1980, 1, 1, 0, 0, 0));
    EXPECT_FALSE(LocalDateTimeOf(FileTime{}).isValid());
}

}  // namespace
