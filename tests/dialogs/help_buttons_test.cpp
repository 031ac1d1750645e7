#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QSaveFile>
#include <QTest>

#include "components/help_file.h"
#include "dialogs/batch_rename_dialog.h"
#include "dialogs/copy_image_dialog.h"
#include "dialogs/numbered_folders_dialog.h"
#include "dialogs/options_dialog.h"
#include "dialogs/plugin_folder_dialog.h"
#include "dialogs/support_report_dialog.h"
#include "dialogs/time_attribute_dialog.h"
#include "plugins/susie_plug.h"
#include "raster/raster.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"
#include "support/test_desktop.h"

namespace {

class HelpButtonsTest : public ::testing::Test {
protected:
    // The Help buttons look for the running program's manual: this test
    // program gets one of its own.
    HelpButtonsTest() {
        QSaveFile manual(HelpFilePath());
        if (manual.open(QIODevice::WriteOnly)) {
            manual.write("<html/>");
            manual.commit();
        }
    }
    ~HelpButtonsTest() override { QFile::remove(HelpFilePath()); }

    // The anchor the browser is sent to when the dialog's Help button is pressed.
    std::string TopicOpenedBy(QDialog& dialog) {
        QPushButton* help = nullptr;
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("ヘルプ(&H)")) help = button;
        if (help == nullptr) return "no Help button";
        desktop.ClearRecord("browser");
        QTest::mouseClick(help, Qt::LeftButton);
        const std::string url = desktop.AwaitRecord("browser");
        return url.substr(url.find('#') + 1);
    }

    const TestDesktop& desktop = TestDesktop::Installed();
    ScriptedMessageBoxes messages;
    TempFolder folder;
};

TEST_F(HelpButtonsTest, EachDialogsHelpButtonAndF1OpenItsTopic) {
    const std::vector<std::string> files{folder.Write("a.png", "a"), folder.Write("b.png", "b")};
    {
        TTimeAttributeDialog dialog(nullptr, files);
        EXPECT_EQ(TopicOpenedBy(dialog), "1080");
    }
    {
        TBatchRenameDialog dialog(nullptr, false, files, folder.Path());
        EXPECT_EQ(TopicOpenedBy(dialog), "1090");
    }
    {
        TSusiePlugs host;
        host.SetPath(KELVANDOR_PLUGIN_DIR);
        TPluginFolderDialog dialog(nullptr, host);
        EXPECT_EQ(TopicOpenedBy(dialog), "8010");
    }
    {
        TNumberedFoldersDialog dialog(nullptr, folder.Path());
        EXPECT_EQ(TopicOpenedBy(dialog), "8020");
    }
    {
        TRaster raster;
        TCopyImageDialog dialog(nullptr, &raster);
        EXPECT_EQ(TopicOpenedBy(dialog), "8030");
    }
    {
        TOptionsDialog dialog(nullptr, TOptionSettings{});
        EXPECT_EQ(TopicOpenedBy(dialog), "8050");
    }
    {
        TSupportReportDialog dialog(nullptr, QStringLiteral("support@example.org"),
                            QStringLiteral("/opt/kelvandor/kelvandor"));
        EXPECT_EQ(TopicOpenedBy(dialog), "9030");
    }
    {
        // F1 in the dialog does what its Help button does.
        TNumberedFoldersDialog dialog(nullptr, folder.Path());
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        desktop.ClearRecord("browser");
        QTest::keyClick(&dialog, Qt::Key_F1);
        const std::string url = desktop.AwaitRecord("browser");
        EXPECT_EQ(url.substr(url.find('#') + 1), "8020");
    }
    EXPECT_TRUE(messages.Messages().empty()) << messages.Texts().join(u'\n').toStdString();
}

}  // namespace
