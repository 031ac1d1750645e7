#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "app/control_bar.h"
#include "app/main_form.h"
#include "app/settings_file.h"
#include "components/float_edit.h"
#include "components/prg_status_bar.h"
#include "main_form_fixture.h"
#include "raster/raster.h"

namespace {

TEST_F(MainFormTest, FirstRunCoversTheWorkAreaShowsEveryBarAndWritesEveryKeyAtClose) {
    TMainForm& main = Start();
    EXPECT_EQ(main.windowTitle(), "Kelvandor");
    EXPECT_EQ(main.frameGeometry(), WorkArea());
    EXPECT_EQ(main.PanelCtrl()->width(), main.frameGeometry().width() / 5);
    EXPECT_EQ(main.ListPanel()->height(), main.frameGeometry().height() / 5);
    for (const QToolBar* bar : main.ToolBars()) EXPECT_TRUE(bar->isVisible()) << bar->objectName().toStdString();
    EXPECT_TRUE(main.StatusBar()->isVisible());
    EXPECT_EQ(main.SideTabs()->tabText(0), "ファイル");
    EXPECT_FALSE(main.SideTabs()->isTabVisible(1));
    EXPECT_EQ(main.FloatEditX()->text(), "0.000");
    EXPECT_EQ(main.DefaultPath(), QDir::homePath());
    EXPECT_TRUE(messages.Messages().empty());
    Close();

    EXPECT_EQ(Ini("Kelvandor/Initialize"), "0");
    EXPECT_EQ(Ini("Kelvandor/DefaultPath"), QDir::homePath());
    EXPECT_EQ(Ini("Kelvandor/Left"), "");
    EXPECT_EQ(Ini("Kelvandor/StatusBar"), "1");
    EXPECT_EQ(Ini("ToolBar3/Visible"), "1");
    EXPECT_EQ(Ini("ShellListView/Color"), "-2147483643");
    EXPECT_EQ(Ini("ShellListView/FontArchive"), "-2147483640");
    EXPECT_EQ(Ini("ShellListView/LockFontName"), Ini("ShellListView/FontName"));
    EXPECT_FALSE(Ini("ShellListView/FontName").isEmpty());
}

TEST_F(MainFormTest, SettingsComeBackAsTheyWereWritten) {
    const QRect area = WorkArea();
    const int left = area.left() + 20, top = area.top() + 10;
    WriteIni("[Kelvandor]\nInitialize=1\nLeft=" + std::to_string(left) + "\nTop=" + std::to_string(top) +
             "\nRight=" + std::to_string(left + 640) + "\nBottom=" + std::to_string(top + 480) + "\n" + PluginLine() +
             "ViewMode=1\nPaintMode=1\nMouseWheel=1\nStatusBar=0\n"
             "[ToolBar1]\nVisible=0\nX=11\nY=0\n"
             "[ShellListView]\nHeight=120\nColor=255\nFontSize=12\nFontStyle=3\nLockColor=65280\nFontHiden=16711680\n"
             "[ShellTreeView]\nWidth=250\n");
    TMainForm& main = Start();
    EXPECT_EQ(main.frameGeometry(), QRect(left, top, 640, 480));
    EXPECT_FALSE(main.StandardToolBar()->isVisible());
    EXPECT_TRUE(main.GoToolBar()->isVisible());
    EXPECT_FALSE(main.StatusBar()->isVisible());
    EXPECT_EQ(main.Raster()->ViewMode(), vmExpand);
    EXPECT_EQ(main.Raster()->PaintMode(), pmHalfTone);
    EXPECT_EQ(main.Raster()->PluginPath(), KELVANDOR_TEST_PLUGIN_DIR);
    EXPECT_EQ(main.PanelCtrl()->width(), 250);
    EXPECT_EQ(main.ListPanel()->height(), 120);
    EXPECT_EQ(main.ListLook(false).Color, 255u);
    EXPECT_EQ(main.ListLook(false).FontStyle, 3);
    EXPECT_EQ(main.ListLook(true).Color, 65280u);
    // A lock value that is absent takes its unlocked twin.
    EXPECT_EQ(main.ListLook(true).FontSize, 12);
    EXPECT_EQ(main.AttributeColors().Hidden, 16711680u);
    Close();

    EXPECT_EQ(Ini("Kelvandor/Left"), QString::number(left));
    EXPECT_EQ(Ini("Kelvandor/Bottom"), QString::number(top + 480));
    EXPECT_EQ(Ini("Kelvandor/ViewMode"), "1");
    EXPECT_EQ(Ini("Kelvandor/MouseWheel"), "1");
    EXPECT_EQ(Ini("Kelvandor/StatusBar"), "0");
    EXPECT_EQ(Ini("ToolBar1/Visible"), "0");
    EXPECT_EQ(Ini("ShellTreeView/Width"), "250");
    EXPECT_EQ(Ini("ShellListView/Height"), "120");
    EXPECT_EQ(Ini("ShellListView/LockColor"), "65280");
    EXPECT_EQ(Ini("ShellListView/LockFontSize"), "12");
    EXPECT_EQ(Ini("ShellListView/FontHiden"), "16711680");
}

TEST_F(MainFormTest, WrongValuesGiveTheirDefaultsAndACleanFileIsWritten) {
    WriteIni("[Kelvandor]\nDefaultPath=" + folder.File("gone") +
             "\nInitialize=7\nLeft=-5\nRight=1000000\nViewMode=9\nPaintMode=x\nStatusBar=yes\nCD_SusiePath=\xff\xfe\n" +
             PluginLine() +
             "[ToolBar2]\nVisible=0\nY=99999\n"
             "[ShellTreeView]\nWidth=-30\nFontSize=99999\nFontName=\n"
             "[ShellListView]\nColor=abc\nFontName=\xc3\x28\nFontStyle=255\n");
    TMainForm& main = Start();
    EXPECT_EQ(main.DefaultPath(), QDir::homePath());
    EXPECT_EQ(main.Initialize(), 0);
    EXPECT_EQ(main.frameGeometry(), WorkArea());
    EXPECT_EQ(main.Raster()->ViewMode(), vmNormal);
    EXPECT_EQ(main.Raster()->PaintMode(), pmColorOn);
    EXPECT_TRUE(main.StatusBar()->isVisible());
    // What was right in a broken section still counts.
    EXPECT_FALSE(main.ViewToolBar()->isVisible());
    EXPECT_LT(main.ControlBar()->height(), 200);
    EXPECT_EQ(main.Raster()->PluginPath(), KELVANDOR_TEST_PLUGIN_DIR);
    EXPECT_EQ(main.PanelCtrl()->width(), main.frameGeometry().width() / 5);
    EXPECT_EQ(main.ListLook(false).Color, kColorWindow);
    EXPECT_FALSE(main.ListLook(false).FontName.isEmpty());
    EXPECT_EQ(main.ListLook(false).FontStyle, 0);
    Close();

    const auto bytes = ReadFileBytes(IniPath());
    const QByteArray written(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    EXPECT_TRUE(QString::fromUtf8(written).toUtf8() == written) << "the file is valid UTF-8";
    EXPECT_EQ(Ini("Kelvandor/Initialize"), "0");
    EXPECT_EQ(Ini("Kelvandor/ViewMode"), "0");
    EXPECT_EQ(Ini("Kelvandor/Right"), "");
    EXPECT_EQ(Ini("ShellListView/Color"), "-2147483643");
}

TEST_F(MainFormTest, AWindowClosedMaximisedComesBackMaximisedAndKeepsItsNormalBounds) {
    const QRect area = WorkArea();
    const int left = area.left() + 30, top = area.top() + 20;
    WriteIni("[Kelvandor]\nInitialize=1\nLeft=" + std::to_string(left) + "\nTop=" + std::to_string(top) +
             "\nRight=" + std::to_string(left + 500) + "\nBottom=" + std::to_string(top + 400) + "\n" + PluginLine());
    Start().showMaximized();
    ASSERT_TRUE(ProcessEventsUntil([&] { return form->isMaximized(); }));
    Close();
    EXPECT_EQ(Ini("Kelvandor/Maximized"), "1");
    EXPECT_EQ(Ini("Kelvandor/Left"), QString::number(left));
    EXPECT_EQ(Ini("Kelvandor/Right"), QString::number(left + 500));
    EXPECT_EQ(Ini("Kelvandor/Bottom"), QString::number(top + 400));

    TMainForm& again = Start();
    EXPECT_TRUE(again.isMaximized());
    // The bounds un-maximising gives back, without the frame.
    const QMargins frame(again.geometry().left() - again.frameGeometry().left(),
                         again.geometry().top() - again.frameGeometry().top(),
                         again.frameGeometry().right() - again.geometry().right(),
                         again.frameGeometry().bottom() - again.geometry().bottom());
    EXPECT_EQ(again.normalGeometry().marginsAdded(frame), QRect(left, top, 500, 400));
    Close();
    EXPECT_EQ(Ini("Kelvandor/Maximized"), "1");
    EXPECT_EQ(Ini("Kelvandor/Left"), QString::number(left));
    EXPECT_EQ(Ini("Kelvandor/Bottom"), QString::number(top + 400));

    WriteIni("[Kelvandor]\nInitialize=1\nLeft=" + std::to_string(left) + "\nTop=" + std::to_string(top) +
             "\nRight=" + std::to_string(left + 500) + "\nBottom=" + std::to_string(top + 400) + "\nMaximized=1\n" +
             PluginLine());
    Start();
    form->showNormal();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !form->isMaximized(); }));
    Close();
    EXPECT_EQ(Ini("Kelvandor/Maximized"), "0");
}

TEST_F(MainFormTest, AWindowLeftOffEveryScreenComesBackOntoThePrimaryOne) {
    WriteIni("[Kelvandor]\nInitialize=1\nLeft=50000\nTop=40000\nRight=50600\nBottom=40400\n");
    TMainForm& main = Start();
    EXPECT_EQ(main.frameGeometry(), QRect(WorkArea().topLeft(), QSize(600, 400)));
}

TEST_F(MainFormTest, ARunThatCannotWriteItsSettingsSaysSoOnceAndWritesNothing) {
    // Neither beside the executable nor in a configuration folder.
    form = std::make_unique<TMainForm>(std::make_unique<SettingsFile>("/proc/1/kelvandor", ""),
                                       std::chrono::milliseconds(0));
    ASSERT_TRUE(form->Settings().ReadOnly());
    form->show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return form->Started(); }));
    Close();
    EXPECT_EQ(messages.Messages().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists("/proc/1/kelvandor.ini"));
}

// --- Opening images ---------------------------------------------------------

class OpenImageTest : public MainFormTest {
protected:
    void SetUp() override {
        WriteIni("[Kelvandor]\n" + PluginLine());
        Start();
    }
};

TEST_F(OpenImageTest, ALoadedImageShowsItsSizeDensityAndDepth) {
    form->FloatEditX()->SetValue(5);
    ASSERT_TRUE(form->OpenImage(TestImage("a.ktest", "width=640 height=480 dpi=72")));
    EXPECT_TRUE(form->Raster()->HasImage());
    EXPECT_EQ(Panel(1), "横:640 / 縦:480 pixel");
    EXPECT_EQ(Panel(2), "横:72 / 縦:72 dpi");
    EXPECT_EQ(Panel(3), "24 bit");
    EXPECT_EQ(form->FloatEditX()->Value(), 0);
    EXPECT_TRUE(form->ListPanel()->isEnabled());
    EXPECT_FALSE(form->StatusBar()->ProgressBar()->isVisible());
    EXPECT_FALSE(form->CancelLoadAction()->isEnabled());

    form->CloseFileAction()->trigger();
    EXPECT_FALSE(form->Raster()->HasImage());
    EXPECT_EQ(Panel(1), "");
    EXPECT_EQ(Panel(3), "");
}

TEST_F(OpenImageTest, AFailedDecodeEmptiesTheViewAndLeavesTheWindowUsable) {
    ASSERT_TRUE(form->OpenImage(TestImage("a.ktest", "width=8 height=8")));
    EXPECT_FALSE(form->OpenImage(TestImage("b.ktest", "code=4")));
    EXPECT_FALSE(form->Raster()->HasImage());
    EXPECT_EQ(Panel(1), "");
    EXPECT_EQ(Panel(2), "");
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(form->ListPanel()->isEnabled());
    EXPECT_FALSE(form->StatusBar()->ProgressBar()->isVisible());
    EXPECT_TRUE(form->OpenImage(TestImage("c.ktest", "width=8 height=8")));
}

TEST_F(OpenImageTest, EscapeDuringALoadCancelsIt) {
    bool cancelEnabled = false, progressShown = false, listEnabled = false;
    QTimer::singleShot(0, form.get(), [&] {
        cancelEnabled = form->CancelLoadAction()->isEnabled();
        progressShown = form->StatusBar()->ProgressBar()->isVisible();
        listEnabled = form->ListPanel()->isEnabled();
        QTest::keyClick(form.get(), Qt::Key_Escape);
    });
    EXPECT_FALSE(form->OpenImage(TestImage("slow.ktest", "width=64 height=64 steps=50")));
    EXPECT_TRUE(cancelEnabled);
    EXPECT_TRUE(progressShown);
    // The list stays usable: another file may be opened instead.
    EXPECT_TRUE(listEnabled);
    EXPECT_FALSE(form->Raster()->HasImage());
    EXPECT_FALSE(form->CancelLoadAction()->isEnabled());
    EXPECT_EQ(Panel(1), "");
}

// --- Status and coordinates -------------------------------------------------

TEST(MainFormStatus, SelectionSizesReadAsTheUserExpects) {
    EXPECT_EQ(TMainForm::SizeText(0), "0バイト");
    EXPECT_EQ(TMainForm::SizeText(1000), "1000バイト");
    EXPECT_EQ(TMainForm::SizeText(1024), "1.00KB");
    EXPECT_EQ(TMainForm::SizeText(1048575), "1,024.00KB");
    EXPECT_EQ(TMainForm::SizeText(1048576), "1.00MB");
    EXPECT_EQ(TMainForm::SizeText(std::int64_t(5) << 40), "5,120.00GB");
}

TEST_F(OpenImageTest, StatusPanelsKeepTheirWidthsAndTheProgressBarCoversTheFirst) {
    form->StatusBar()->resize(600, form->StatusBar()->height());
    EXPECT_EQ(form->StatusBar()->Panel(0).Width, 80);
    EXPECT_EQ(form->StatusBar()->Panel(1).Width, 150);
    EXPECT_EQ(form->StatusBar()->Panel(5).Width, 80);
    EXPECT_EQ(form->StatusBar()->ProgressBar()->width(), 80);
}

TEST_F(OpenImageTest, MovingOverTheImageShowsItsCoordinatesAndAClickFillsTheFields) {
    ASSERT_TRUE(form->OpenImage(TestImage("big.ktest", "width=4000 height=3000")));
    TRaster& raster = *form->Raster();
    QWidget* view = &raster;
    const QPoint inside(raster.DispRight() - 2, raster.DispBottom() - 2);
    QTest::mouseMove(view, inside);
    const QPoint expected = raster.ScreenToImage(inside.x(), inside.y());
    QLocale grouped(QLocale::C);
    grouped.setNumberOptions(QLocale::DefaultNumberOptions);
    EXPECT_EQ(Panel(4), QStringLiteral("X=%1  Y=%2").arg(grouped.toString(expected.x()), grouped.toString(expected.y())));
    EXPECT_TRUE(Panel(4).contains(','));

    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, inside);
    EXPECT_EQ(form->FloatEditX()->Value(), expected.x());
    EXPECT_EQ(form->FloatEditY()->Value(), expected.y());

    // Outside the image (the margin beside an image narrower than the view).
    ASSERT_TRUE(form->OpenImage(TestImage("tall.ktest", "width=10 height=1000")));
    QTest::mouseMove(view, QPoint(raster.DispRight() + 5, raster.DispTop() + 5));
    EXPECT_EQ(Panel(4), "");
}

TEST_F(OpenImageTest, TheWheelZoomsAboutTheMiddleOfTheView) {
    TRaster& raster = *form->Raster();
    auto wheel = [&](int delta) {
        QWheelEvent event(QPointF(5, 5), raster.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&raster, &event);
    };
    wheel(-120);  // no image: nothing happens
    ASSERT_TRUE(form->OpenImage(TestImage("a.ktest", "width=2000 height=2000")));
    const double wholeWidth = raster.ViewRight() - raster.ViewLeft();
    wheel(-120);  // down zooms in by default
    const double zoomedWidth = raster.ViewRight() - raster.ViewLeft();
    EXPECT_LT(zoomedWidth, wholeWidth);
    EXPECT_NEAR((raster.ViewLeft() + raster.ViewRight()) / 2, 1000, 20);
    wheel(120);
    EXPECT_GT(raster.ViewRight() - raster.ViewLeft(), zoomedWidth);

    form->SetMouseWheel(1);
    const double before = raster.ViewRight() - raster.ViewLeft();
    wheel(120);  // reversed: up zooms in
    EXPECT_LT(raster.ViewRight() - raster.ViewLeft(), before);
}

}  // namespace
