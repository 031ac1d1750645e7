#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include "components/program_version.h"
#include "dialogs/copy_image_dialog.h"
#include "dialogs/splash_window.h"
#include "dialogs/version_dialog.h"
#include "dialogs/version_panel.h"
#include "platform/user_account.h"
#include "raster/raster_view_fixture.h"

namespace {

void ExpectSharedContent(const TVersionPanel* panel) {
    EXPECT_EQ(panel->ProductLabel()->text(), "Kelvandor");
    EXPECT_EQ(panel->LabelVer()->text(), "Version " + ProgramVersion());
    EXPECT_EQ(panel->LabelVer()->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(panel->LabelReg()->text(), "このプログラムは次の方にライセンスされています。");
    EXPECT_EQ(panel->PanelReg()->text(), RegisteredOwnerText(platform::UserFullName()));
    EXPECT_EQ(panel->PanelReg()->width(), 309);
    EXPECT_FALSE(panel->Image()->pixmap().isNull());
    EXPECT_EQ(panel->Image()->size(), QSize(32, 32));
    EXPECT_FALSE(panel->Notice()->text().isEmpty());
}

TEST(VersionPanelTest, OwnerFallsBackToKnownUser) {
    EXPECT_EQ(RegisteredOwnerText(QString()), "Known User");
    EXPECT_EQ(RegisteredOwnerText(QStringLiteral("山田 太郎")), "山田 太郎");
    EXPECT_EQ(platform::FullNameFromGecos("Ada Lovelace,Room 1,555,"), "Ada Lovelace");
    EXPECT_EQ(platform::FullNameFromGecos(",,,"), "");
    EXPECT_EQ(platform::FullNameFromGecos(nullptr), "");
    EXPECT_FALSE(ProgramVersion().isEmpty());
}

TEST(SplashWindowTest, FramelessOnTopAndCentred) {
    TSplashWindow splash;
    splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
    EXPECT_EQ(splash.size(), QSize(350, 212));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(splash.frameGeometry().center(), splash.screen()->availableGeometry().center());
    ExpectSharedContent(splash.Panel());
}

TEST(VersionDialogTest, ShowsTheSameContentAndClosesWithOk) {
    TVersionDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "バージョン情報");
    EXPECT_EQ(dialog.size(), QSize(349, 237));
    EXPECT_TRUE(dialog.OkButton()->isDefault());
    EXPECT_EQ(dialog.Panel()->frameShadow(), QFrame::Sunken);
    ExpectSharedContent(dialog.Panel());
    dialog.show();
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

class ImageCopyDialogTest : public ::testing::Test, public RasterViewFixture {
protected:
    ImageCopyDialogTest() {
        raster.resize(200, 200);
        raster.show();
    }
    QImage CopyWith(int index) {
        QGuiApplication::clipboard()->clear();
        TCopyImageDialog dialog(nullptr, &raster);
        EXPECT_EQ(dialog.ItemIndex(), 0);
        dialog.show();
        QTest::mouseClick(dialog.Item(index), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(dialog.ItemIndex(), index);
        QTest::keyClick(&dialog, Qt::Key_Return);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        return QGuiApplication::clipboard()->image();
    }
};

TEST_F(ImageCopyDialogTest, CopiesAtTheActualOrTheDisplayedSize) {
    ASSERT_TRUE(Load(101, 101));
    raster.ZoomToRect(QRect(20, 20, 20, 20));
    TCopyImageDialog dialog(nullptr, &raster);
    EXPECT_EQ(dialog.windowTitle(), "画像のコピー");
    EXPECT_EQ(dialog.Item(0)->text(), "データの実サイズでコピー(&N)");
    EXPECT_EQ(dialog.Item(1)->text(), "画面表示のサイズでコピー(&Z)");

    EXPECT_EQ(CopyWith(0).size(), QSize(11, 11));
    EXPECT_EQ(CopyWith(1).size(),
              QSize(raster.DispRight() - raster.DispLeft(), raster.DispBottom() - raster.DispTop()));
}

TEST_F(ImageCopyDialogTest, CancelCopiesNothing) {
    ASSERT_TRUE(Load(10, 10));
    QGuiApplication::clipboard()->clear();
    TCopyImageDialog dialog(nullptr, &raster);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
}

}  // namespace
