#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "components/open_with_dialog.h"
#include "support/scripted_message_boxes.h"
#include "support/test_desktop.h"

namespace {

const QString kCannotOpen = QStringLiteral("アプリケーションの関連付けを行えません。");

class OpenWithTest : public ::testing::Test {
protected:
    const TestDesktop& desktop = TestDesktop::Installed();
    ScriptedMessageBoxes messages;

    // Runs OpenFileWith on path; while its chooser is up, choose(dialog) acts.
    static bool OpenWith(const std::string& path,
                         const std::function<void(TOpenWithDialog&)>& choose) {
        // Gone with this call, so it never fires after a run without a chooser.
        QTimer chooser;
        chooser.setSingleShot(true);
        QObject::connect(&chooser, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<TOpenWithDialog*>(QApplication::activeModalWidget()))
                choose(*dialog);
        });
        chooser.start(0);
        return OpenFileWith(path, nullptr);
    }

    static QPushButton* OkButton(TOpenWithDialog& dialog) {
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("OK")) return button;
        return nullptr;
    }
};

TEST_F(OpenWithTest, TheChooserListsTheApplicationsWithTheDefaultSelected) {
    QString error;
    TOpenWithDialog dialog(QStringLiteral("写真.kvtest"),
                           platform::ApplicationsForFile(desktop.MakeFile("写真.kvtest"), &error),
                           nullptr);
    ASSERT_EQ(dialog.List()->count(), 2);
    EXPECT_EQ(dialog.List()->item(0)->text(), QStringLiteral("Kelvandor テスト エディタ"));
    EXPECT_EQ(dialog.List()->item(1)->text(), QStringLiteral("Kelvandor テスト ビューア"));
    EXPECT_FALSE(dialog.List()->item(0)->icon().isNull());
    ASSERT_NE(dialog.Chosen(), nullptr);
    EXPECT_EQ(dialog.Chosen()->Name(), QStringLiteral("Kelvandor テスト エディタ"));
    EXPECT_TRUE(OkButton(dialog)->isEnabled());

    dialog.List()->setCurrentRow(-1);
    EXPECT_EQ(dialog.Chosen(), nullptr);
    EXPECT_FALSE(OkButton(dialog)->isEnabled());
}

TEST_F(OpenWithTest, TheChosenApplicationIsStartedWithTheFile) {
    const std::string path = desktop.MakeFile("選ぶ ファイル.kvtest");
    desktop.ClearRecord("viewer");
    EXPECT_TRUE(OpenWith(path, [](TOpenWithDialog& dialog) {
        dialog.List()->setCurrentRow(1);
        OkButton(dialog)->click();
    }));
    EXPECT_EQ(desktop.AwaitRecord("viewer"), path);
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(OpenWithTest, CancellingStartsNothing) {
    desktop.ClearRecord("editor");
    EXPECT_FALSE(OpenWith(desktop.MakeFile("cancel.kvtest"),
                          [](TOpenWithDialog& dialog) { dialog.reject(); }));
    EXPECT_TRUE(messages.Messages().empty());
    EXPECT_FALSE(std::filesystem::exists(desktop.RecordOf("editor")));
}

TEST_F(OpenWithTest, NoApplicationOrOneThatCannotStartIsTold) {
    bool chooserShown = false;
    EXPECT_FALSE(OpenWith(desktop.MakeFile("nobody.kvorphan"),
                          [&](TOpenWithDialog&) { chooserShown = true; }));
    EXPECT_FALSE(chooserShown);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0].text, kCannotOpen);
    EXPECT_EQ(messages.Messages()[0].icon, platform::MessageIcon::Error);

    EXPECT_FALSE(OpenWith(desktop.Files() + "/missing.kvtest", [&](TOpenWithDialog&) {
        chooserShown = true;
    }));
    EXPECT_FALSE(chooserShown);

    // The program is uninstalled while the chooser is up.
    EXPECT_FALSE(OpenWith(desktop.MakeFile("gone.kvgone"), [&](TOpenWithDialog& dialog) {
        chooserShown = true;
        std::filesystem::remove(desktop.ProgramOf("vanishing"));
        OkButton(dialog)->click();
    }));
    EXPECT_TRUE(chooserShown);
    EXPECT_EQ(messages.Texts(), QStringList({kCannotOpen, kCannotOpen, kCannotOpen}));
}

}  // namespace
