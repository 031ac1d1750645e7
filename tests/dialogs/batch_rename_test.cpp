#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "components/int_spin_edit.h"
#include "dialogs/batch_rename.h"
#include "dialogs/batch_rename_dialog.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// Names in the folder with their contents, sorted.
std::vector<std::string> Contents(const TempFolder& folder) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        const std::string name = entry.path().filename().string();
        if (entry.is_directory()) {
            entries.push_back(name + "/");
        } else {
            const std::vector<unsigned char> bytes = ReadFileBytes(entry.path().string());
            entries.push_back(name + "=" + std::string(bytes.begin(), bytes.end()));
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::vector<std::string> Paths(const TempFolder& folder, std::initializer_list<const char*> names) {
    std::vector<std::string> paths;
    for (const char* name : names) paths.push_back(folder.File(name));
    return paths;
}

QStringList NewNames(const TBatchRenameDialog& dialog) {
    QStringList names;
    for (int i = 0; i < dialog.ListView()->topLevelItemCount(); ++i) names << dialog.ListView()->topLevelItem(i)->text(1);
    return names;
}

QStringList OldNames(const TBatchRenameDialog& dialog) {
    QStringList names;
    for (int i = 0; i < dialog.ListView()->topLevelItemCount(); ++i) names << dialog.ListView()->topLevelItem(i)->text(0);
    return names;
}

void SelectRow(TBatchRenameDialog& dialog, int row) {
    QTreeWidget* list = dialog.ListView();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(row)).center());
}

std::vector<TRenameRow> RowsOf(std::initializer_list<std::pair<const char*, const char*>> names) {
    std::vector<TRenameRow> rows;
    for (const auto& [oldName, newName] : names) rows.push_back({oldName, false, newName});
    return rows;
}

TEST(BatchRenameDialogTest, PatternGivesNumberedNamesAndSkipRowsUseUpANumber) {
    TempFolder folder;
    for (const char* name : {"a.jpg", "b.png", "c.jpg"}) folder.Write(name, name);
    TBatchRenameDialog dialog(nullptr, false, Paths(folder, {"a.jpg", "b.png", "c.jpg"}), folder.Path());
    EXPECT_EQ(dialog.windowTitle(), "名前の変更");
    EXPECT_EQ(NewNames(dialog), QStringList({"新しいファイル (1).jpg", "新しいファイル (2).png", "新しいファイル (3).jpg"}));
    EXPECT_FALSE(dialog.ExtensionEdit()->isEnabled());

    dialog.DigitsEdit()->setValue(3);
    dialog.StartEdit()->setValue(9);
    dialog.IncrementEdit()->setValue(2);
    EXPECT_EQ(NewNames(dialog), QStringList({"新しいファイル (009).jpg", "新しいファイル (011).png", "新しいファイル (013).jpg"}));

    dialog.DigitsEdit()->setValue(0);
    dialog.QuoteOldNameBox()->setChecked(true);
    dialog.HeaderEdit()->setText("[");
    dialog.FooterEdit()->setText("]");
    EXPECT_EQ(NewNames(dialog), QStringList({"[a].jpg", "[b].png", "[c].jpg"}));

    dialog.UnifyExtensionBox()->setChecked(true);
    EXPECT_TRUE(dialog.ExtensionEdit()->isEnabled());
    dialog.ExtensionEdit()->clear();
    EXPECT_EQ(NewNames(dialog), QStringList({"[a].", "[b].", "[c]."}));

    dialog.UnifyExtensionBox()->setChecked(false);
    dialog.QuoteOldNameBox()->setChecked(false);
    dialog.DigitsEdit()->setValue(1);
    dialog.StartEdit()->setValue(1);
    dialog.IncrementEdit()->setValue(1);
    dialog.show();
    SelectRow(dialog, 1);
    QTest::mouseClick(dialog.SkipButton(), Qt::LeftButton);
    EXPECT_EQ(OldNames(dialog), QStringList({"a.jpg", "【 スキップ 】", "b.png", "c.jpg"}));
    EXPECT_EQ(NewNames(dialog), QStringList({"[1].jpg", "", "[3].png", "[4].jpg"}));
}

TEST(BatchRenameDialogTest, RowsMoveAndLeaveTheList) {
    TempFolder folder;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) folder.Write(name, name);
    TBatchRenameDialog dialog(nullptr, false, Paths(folder, {"a.jpg", "b.jpg", "c.jpg"}), folder.Path());
    dialog.show();
    for (QPushButton* button : {dialog.UpButton(), dialog.DownButton(), dialog.ExcludeButton(), dialog.SkipButton()})
        EXPECT_FALSE(button->isEnabled());
    SelectRow(dialog, 0);
    EXPECT_FALSE(dialog.UpButton()->isEnabled());
    EXPECT_TRUE(dialog.DownButton()->isEnabled());
    QTest::mouseClick(dialog.DownButton(), Qt::LeftButton);
    EXPECT_EQ(OldNames(dialog), QStringList({"b.jpg", "a.jpg", "c.jpg"}));
    EXPECT_EQ(NewNames(dialog)[1], "新しいファイル (2).jpg");
    SelectRow(dialog, 2);
    EXPECT_FALSE(dialog.DownButton()->isEnabled());
    QTest::mouseClick(dialog.ExcludeButton(), Qt::LeftButton);
    EXPECT_EQ(OldNames(dialog), QStringList({"b.jpg", "a.jpg"}));
    // The last row went: the new last row is selected.
    EXPECT_TRUE(dialog.ListView()->topLevelItem(1)->isSelected());
    QTest::mouseClick(dialog.UpButton(), Qt::LeftButton);
    EXPECT_EQ(OldNames(dialog), QStringList({"a.jpg", "b.jpg"}));

    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Contents(folder), std::vector<std::string>({"c.jpg=c.jpg", "新しいファイル (1).jpg=a.jpg", "新しいファイル (2).jpg=b.jpg"}));
}

TEST(BatchRenameDialogTest, ForbiddenCharacterIsReportedAndThePreviewStays) {
    TempFolder folder;
    folder.Write("a.jpg", "a");
    ScriptedMessageBoxes messages;
    TBatchRenameDialog dialog(nullptr, false, Paths(folder, {"a.jpg"}), folder.Path());
    dialog.show();
    dialog.HeaderEdit()->setFocus();
    QTest::keyClick(dialog.HeaderEdit(), Qt::Key_End);
    QTest::keyClicks(dialog.HeaderEdit(), "/");
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Texts()[0], "ファイル名には次の文字は使えません。\r\n　　　\\ / : , ; * ? \" < > |");
    EXPECT_EQ(messages.Messages()[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(NewNames(dialog), QStringList({"新しいファイル (1).jpg"}));
}

TEST(BatchRenameTest, NamesCanBeExchangedAndOutsideFilesAreMovedAside) {
    TempFolder folder;
    folder.Write("2.jpg", "two");
    folder.Write("1.jpg", "one");
    folder.Write("3.jpg", "outside");
    folder.Write("tmp2.jpg", "unrelated");
    const TBatchRenameResult result = BatchRename(folder.Path(), RowsOf({{"2.jpg", "1.jpg"}, {"1.jpg", "3.jpg"}}));
    EXPECT_TRUE(result.Renamed) << result.Message.toStdString();
    EXPECT_EQ(Contents(folder),
              std::vector<std::string>({"1.jpg=two", "3.jpg=one", "tmp2.jpg=unrelated", "変更前_3.jpg=outside"}));
}

TEST(BatchRenameTest, FoldersAreRenamedAsWhole) {
    TempFolder folder;
    fs::create_directory(folder.File("b"));
    folder.Write("b/inner.txt", "x");
    fs::create_directory(folder.File("a"));
    TBatchRenameDialog dialog(nullptr, true, Paths(folder, {"b", "a"}), folder.Path());
    EXPECT_FALSE(dialog.UnifyExtensionBox()->isEnabled());
    EXPECT_EQ(NewNames(dialog), QStringList({"新しいフォルダ (1)", "新しいフォルダ (2)"}));
    dialog.show();
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Contents(folder), std::vector<std::string>({"新しいフォルダ (1)/", "新しいフォルダ (2)/"}));
    EXPECT_TRUE(fs::exists(folder.File("新しいフォルダ (1)/inner.txt")));
}

TEST(BatchRenameTest, AFailureInAnyPassLeavesEveryItemWithItsOldName) {
    for (const TRenamePass failing : {TRenamePass::Temporary, TRenamePass::Clearing, TRenamePass::Final}) {
        for (int failAt = 0; failAt < 2; ++failAt) {
            TempFolder folder;
            folder.Write("a.jpg", "a");
            folder.Write("b.jpg", "b");
            folder.Write("c.jpg", "c");
            folder.Write("x1.jpg", "outside 1");
            folder.Write("x2.jpg", "outside 2");
            const std::vector<std::string> before = Contents(folder);
            int calls = 0;
            const TRenameFunction failingRename = [&](TRenamePass pass, const std::string& from, const std::string& to) {
                if (pass == failing && calls++ == failAt) return EACCES;
                return RenameInFolder(pass, from, to);
            };
            const TBatchRenameResult result = BatchRename(
                folder.Path(), RowsOf({{"a.jpg", "x1.jpg"}, {"b.jpg", "x2.jpg"}, {"c.jpg", "a.jpg"}}), failingRename);
            EXPECT_FALSE(result.Renamed);
            EXPECT_EQ(Contents(folder), before) << static_cast<int>(failing) << " " << failAt;
            EXPECT_TRUE(result.Message.contains("どの項目も名前を変更していません。")) << result.Message.toStdString();
        }
    }
}

TEST(BatchRenameTest, RealFailuresOfEachPassAreUndoneAndNamed) {
    // A vanished item, a moved-aside name already taken, a folder holding a new name.
    struct Case {
        const char* obstacle;
        const char* named;
    };
    for (const Case& failure : {Case{"vanish", "b.jpg"}, Case{"aside", "変更前_x.jpg"}, Case{"folder", "y.jpg"}}) {
        TempFolder folder;
        folder.Write("a.jpg", "a");
        folder.Write("x.jpg", "outside");
        const std::string kind = failure.obstacle;
        if (kind == "aside") folder.Write("変更前_x.jpg", "older");
        if (kind == "folder") fs::create_directory(folder.File("y.jpg"));
        if (kind != "vanish") folder.Write("b.jpg", "b");
        const std::vector<std::string> before = Contents(folder);
        const TBatchRenameResult result = BatchRename(folder.Path(), RowsOf({{"a.jpg", "x.jpg"}, {"b.jpg", "y.jpg"}}));
        EXPECT_FALSE(result.Renamed) << kind;
        EXPECT_EQ(Contents(folder), before) << kind;
        EXPECT_TRUE(result.Message.contains(failure.named)) << result.Message.toStdString();
    }
}

TEST(BatchRenameTest, BadNamesAreRefusedBeforeAnythingIsRenamed) {
    TempFolder folder;
    folder.Write("a.jpg", "a");
    folder.Write("b.jpg", "b");
    const std::vector<std::string> before = Contents(folder);
    const std::string tooLong(256, 'n');
    for (const auto& rows : {RowsOf({{"a.jpg", "same.jpg"}, {"b.jpg", "same.jpg"}}), RowsOf({{"a.jpg", ""}}),
                             RowsOf({{"a.jpg", "x/y.jpg"}}), RowsOf({{"a.jpg", ".."}}),
                             RowsOf({{"a.jpg", tooLong.c_str()}})}) {
        const TBatchRenameResult result = BatchRename(folder.Path(), rows);
        EXPECT_FALSE(result.Renamed);
        EXPECT_FALSE(result.Message.isEmpty());
        EXPECT_EQ(Contents(folder), before);
    }

    // Through the dialog: digits 0 gives every item the same name; the
    // message comes and the dialog stays open.
    ScriptedMessageBoxes messages;
    TBatchRenameDialog dialog(nullptr, false, Paths(folder, {"a.jpg", "b.jpg"}), folder.Path());
    dialog.DigitsEdit()->setValue(0);
    dialog.show();
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(messages.Texts()[0].contains("重複")) << messages.Texts()[0].toStdString();
    EXPECT_EQ(Contents(folder), before);
}

TEST(BatchRenameTest, LongOldNamesGetShortTemporaryNames) {
    TempFolder folder;
    const std::string longName = std::string(250, 'l') + ".jpg";
    folder.Write(longName, "long");
    const TBatchRenameResult result = BatchRename(folder.Path(), RowsOf({{longName.c_str(), "short.jpg"}}));
    EXPECT_TRUE(result.Renamed) << result.Message.toStdString();
    EXPECT_EQ(Contents(folder), std::vector<std::string>({"short.jpg=long"}));
}

TEST(BatchRenameTest, NumbersDoNotWrap) {
    TRenamePattern pattern;
    pattern.Header = "n";
    pattern.Digits = 2;
    pattern.Start = 999999999;
    pattern.Increment = 999999999;
    pattern.Footer = "";
    EXPECT_EQ(NewNameOf(pattern, "a.jpg", 3), "n3999999996.jpg");
    // A leading dot starts a hidden name, not an extension.
    EXPECT_EQ(NewNameOf(pattern, ".hidden", 0), "n999999999");
}

}  // namespace
