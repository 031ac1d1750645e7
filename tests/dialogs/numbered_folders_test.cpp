#include <filesystem>

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "components/int_spin_edit.h"
#include "dialogs/numbered_folders_dialog.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Entries(const TempFolder& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(NumberedFoldersTest, DefaultsMakeOneFolderAndRunningTwiceAddsNothing) {
    TempFolder folder;
    ScriptedMessageBoxes messages;
    for (int run = 0; run < 2; ++run) {
        TNumberedFoldersDialog dialog(nullptr, folder.Path());
        EXPECT_EQ(dialog.windowTitle(), "連続フォルダの作成");
        EXPECT_EQ(dialog.SampleLabel()->text(), "新しいフォルダ (1) ～ 新しいフォルダ (1)");
        dialog.show();
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(Entries(folder), std::vector<std::string>({"新しいフォルダ (1)/"}));
    EXPECT_TRUE(messages.Messages().empty());
}

TEST(NumberedFoldersTest, PatternFieldsGiveTheNamesAndThePreview) {
    TempFolder folder;
    TNumberedFoldersDialog dialog(nullptr, folder.Path() + "/");
    dialog.CountEdit()->setValue(3);
    dialog.DigitsEdit()->setValue(3);
    dialog.StartEdit()->setValue(0);
    dialog.IncrementEdit()->setValue(5);
    dialog.HeaderEdit()->setText("img");
    dialog.FooterEdit()->clear();
    EXPECT_EQ(dialog.SampleLabel()->text(), "img000 ～ img010");
    dialog.show();
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(Entries(folder), std::vector<std::string>({"img000/", "img005/", "img010/"}));

    // Large numbers are written out in full, never wrapped.
    dialog.StartEdit()->setValue(999999999);
    dialog.IncrementEdit()->setValue(999999999);
    EXPECT_EQ(dialog.SampleLabel()->text(), "img999999999 ～ img2999999997");
}

TEST(NumberedFoldersTest, ForbiddenCharacterKeepsTheDialogOpen) {
    TempFolder folder;
    ScriptedMessageBoxes messages;
    TNumberedFoldersDialog dialog(nullptr, folder.Path());
    dialog.HeaderEdit()->setText("a:b");
    dialog.show();
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(messages.Texts()[0].startsWith("ファイル名には次の文字は使えません。"));
    EXPECT_TRUE(Entries(folder).empty());
}

TEST(NumberedFoldersTest, AFailureStopsTheRunAndKeepsWhatWasMade) {
    TempFolder folder;
    folder.Write("n2", "a file, not a folder");
    ScriptedMessageBoxes messages;
    TNumberedFoldersDialog dialog(nullptr, folder.Path());
    dialog.CountEdit()->setValue(4);
    dialog.HeaderEdit()->setText("n");
    dialog.FooterEdit()->clear();
    dialog.show();
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(messages.Texts()[0].startsWith("フォルダの作成に失敗しました。"));
    EXPECT_TRUE(messages.Texts()[0].contains("n2"));
    EXPECT_EQ(messages.Messages()[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(Entries(folder), std::vector<std::string>({"n1/", "n2"}));

    // A name longer than a file system allows fails the same way.
    TNumberedFoldersDialog longNames(nullptr, folder.Path());
    longNames.HeaderEdit()->setText(QString(300, 'x'));
    longNames.show();
    QTest::mouseClick(longNames.OkButton(), Qt::LeftButton);
    EXPECT_EQ(messages.Messages().size(), 2u);
    EXPECT_EQ(Entries(folder).size(), 2u);
}

}  // namespace
