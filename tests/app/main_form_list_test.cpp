#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QProgressBar>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include "app/main_commands.h"
#include "components/prg_status_bar.h"
#include "dialogs/options_dialog.h"
#include "main_form_fixture.h"
#include "platform/action_list.h"
#include "platform/list_view.h"
#include "plugins/plug_turn.h"
#include "raster/raster.h"
#include "raster/raster_list_view.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_id_func.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"
#include "support/plugin_hold.h"
#include "support/pointer.h"

namespace {

// The main window started on a folder of test images, a text file the
// plug-ins do not claim and a subfolder.
class MainFormListTest : public MainFormTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folder.File("pictures/sub"));
        Image("pictures/a.ktest", "width=640 height=480 dpi=72", 300);
        Image("pictures/b.ktest", "width=320 height=200", 700);
        Image("pictures/c.ktest", "width=10 height=20", 0);
        folder.Write("pictures/notes.txt", "not an image\n");
    }

    void Image(const std::string& name, const std::string& words, std::size_t size) {
        std::string text = "KTESTSPI " + words + "\n";
        if (text.size() < size) text.append(size - text.size(), ' ');
        folder.Write(name, text);
    }

    QString RowName(int row) const { return List().Model()->index(row, 0).data().toString(); }

    // The rows once the folder has been read to the end.
    QStringList Rows() const {
        WaitUntilListed(List());
        QStringList names;
        for (int row = 0; row < List().RowCount(); ++row) names << RowName(row);
        return names;
    }

    QPoint RowCentre(int row) const {
        QAbstractItemView* view = List().CurrentView();
        return view->visualRect(List().Model()->index(row, 0)).center();
    }

    void Select(int row) {
        List().SetSelectedRows({row});
        List().SetFocusedRow(row);
    }

    QString Shown() const { return QFileInfo(form->Raster()->FileName()).fileName(); }

    // Opens a.ktest while the only plug-in that reads the files gets stuck
    // decoding the next file, b.ktest, ahead.
    TMainForm& OpenWhileTheNextFileHoldsTheOnlyPlugIn(const PluginHold& hold) {
        const std::string plugins = folder.File("plugins");
        std::filesystem::create_directories(plugins);
        std::filesystem::copy_file(std::string(KELVANDOR_TEST_PLUGIN_DIR) + "/ktest.spi", plugins + "/a.spi");
        Image("pictures/b.ktest", hold.Words(), 0);
        WriteIni("[Kelvandor]\nDefaultPath=" + Pictures().toStdString() + "\nSusiePath=" + plugins + "\n");
        TMainForm& main = Start();
        Select(RowOf("a.ktest"));
        main.OpenFile();
        return main;
    }
};

TEST_F(MainFormListTest, TheStartFolderShowsInTreeAndListWithTheImagesThePlugInsClaim) {
    WriteIni(StartIni());
    TMainForm& main = Start();
    EXPECT_EQ(main.ShellTreeView()->SelectedPath(), Pictures());
    EXPECT_EQ(main.ShellListView()->FolderPath(), Pictures());
    EXPECT_EQ(Rows(), QStringList({"sub", "a.ktest", "b.ktest", "c.ktest"}));
    EXPECT_EQ(main.ListPanel()->currentWidget(), main.ShellListView());
    EXPECT_TRUE(main.ShellTreeView()->hasFocus());
    EXPECT_EQ(Panel(0), "4 個のオブジェクト");

    // A file the plug-ins claim appears at the next refresh; others do not.
    folder.Write("pictures/d.ktest", "KTESTSPI\n");
    folder.Write("pictures/e.doc", "x");
    main.Refresh();
    EXPECT_EQ(Rows(), QStringList({"sub", "a.ktest", "b.ktest", "c.ktest", "d.ktest"}));
}

TEST_F(MainFormListTest, TheStartFolderIsReadOnceWithTheSettingsThatShapeTheList) {
    Image("pictures/.hidden.ktest", "width=1 height=1", 500);
    WriteIni(StartIni("[ShellControl]\nHideFile=1\n[ShellListView]\nColumnsCount=5\nSortType=1\nSortOrder1=-1\n"));
    CreateForm();
    int listings = 0;
    QObject::connect(&List(), &TSHListView::FileListChanged, [&] { listings += List().FileList().Listing() ? 0 : 1; });
    form->show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return form->Started(); }));
    ASSERT_TRUE(WaitUntilListed(List()));
    EXPECT_EQ(listings, 1) << "one reading of the folder ran to its end";
    EXPECT_EQ(Rows(), QStringList({"b.ktest", ".hidden.ktest", "a.ktest", "c.ktest", "sub"}));
}

TEST_F(MainFormListTest, WithoutPlugInsTheListOffersFoldersOnly) {
    std::filesystem::create_directories(folder.File("no-plugins"));
    WriteIni("[Kelvandor]\nDefaultPath=" + Pictures().toStdString() + "\nSusiePath=" + folder.File("no-plugins") +
             "\n");
    Start();
    EXPECT_EQ(Rows(), QStringList({"sub"}));
}

TEST_F(MainFormListTest, AStartFolderThatVanishedGivesTheHomeFolder) {
    WriteIni("[Kelvandor]\nDefaultPath=" + folder.File("gone") + "\n" + PluginLine());
    TMainForm& main = Start();
    EXPECT_EQ(main.DefaultPath(), QDir::homePath());
    EXPECT_EQ(main.ShellTreeView()->SelectedPath(), QDir::homePath());
    EXPECT_EQ(main.ShellListView()->FolderPath(), QDir::homePath());
}

TEST_F(MainFormListTest, DoubleClickAndEnterOpenImagesHereAndFoldersInPlace) {
    WriteIni(StartIni("[ShellControl]\nClickType=1\n"));
    TMainForm& main = Start();
    QWidget* viewport = List().CurrentView()->viewport();
    // A double-click as the mouse makes it: a click, then the second press.
    const auto doubleClick = [&](const QString& name) {
        const QPoint at = RowCentre(RowOf(name));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at);
    };

    doubleClick("a.ktest");
    ASSERT_TRUE(main.Raster()->HasImage());
    EXPECT_EQ(Shown(), "a.ktest");
    EXPECT_EQ(Panel(1), "横:640 / 縦:480 pixel");
    EXPECT_EQ(Panel(2), "横:72 / 縦:72 dpi");
    EXPECT_EQ(Panel(3), "24 bit");
    EXPECT_TRUE(List().isEnabled());

    List().CurrentView()->setFocus();
    Select(RowOf("b.ktest"));
    QTest::keyClick(List().CurrentView(), Qt::Key_Return);
    EXPECT_EQ(Shown(), "b.ktest");
    EXPECT_EQ(Panel(1), "横:320 / 縦:200 pixel");
    EXPECT_TRUE(List().CurrentView()->hasFocus()) << "the keyboard stays in the list";

    doubleClick("sub");
    EXPECT_EQ(List().FolderPath(), Pictures() + "/sub");
    EXPECT_EQ(main.ShellTreeView()->SelectedPath(), Pictures() + "/sub");
    EXPECT_EQ(Shown(), "b.ktest");
    EXPECT_TRUE(messages.Messages().empty());
}

// The pixels of a picture, to compare pictures by what they show.
QImage Pixels(const QPixmap& picture) { return picture.toImage().convertToFormat(QImage::Format_ARGB32); }

TEST_F(MainFormListTest, ByDefaultPointingSelectsAndOneClickOpensShowingTheFilesIconInTheLayerTree) {
    WriteIni(StartIni());
    TMainForm& main = Start();
    EXPECT_TRUE(main.ShellTreeView()->HotTrack());
    EXPECT_TRUE(List().HotTrack());
    EXPECT_EQ(List().HotTrackStyles(), THotTrackStyles(htHandPoint));
    QWidget* viewport = List().CurrentView()->viewport();

    PointAt(viewport, RowCentre(RowOf("b.ktest")));
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().SelectedRows() == std::vector<int>{RowOf("b.ktest")}; }));
    EXPECT_EQ(Panel(0), "1 個 ( 700バイト ) のオブジェクトを選択");
    EXPECT_FALSE(main.Raster()->HasImage());

    const int iconIndex = List().FileList().GetItem(RowOf("a.ktest"))->GetIconIndex();
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, RowCentre(RowOf("a.ktest")));
    ASSERT_TRUE(ProcessEventsUntil([&] { return main.Raster()->HasImage(); }));
    EXPECT_EQ(Shown(), "a.ktest");
    const QImage fileIcon = Pixels(GetSysImageList(false).Icon(iconIndex).pixmap(16, 16));
    TRasterTreeView& layers = *main.RasterTreeView();
    EXPECT_EQ(Pixels(layers.Images().Image(TRasterTreeView::niImage)), fileIcon);
    ASSERT_NE(layers.RootNode(), nullptr);
    EXPECT_EQ(Pixels(layers.RootNode()->icon(0).pixmap(16, 16)), fileIcon);

    // Closed, or opened by path alone, the image node has its own picture.
    const QImage shipped = Pixels(TRasterTreeView().Images().Image(TRasterTreeView::niImage));
    main.CloseFile();
    EXPECT_EQ(Pixels(layers.Images().Image(TRasterTreeView::niImage)), shipped);
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, RowCentre(RowOf("c.ktest")));
    ASSERT_TRUE(ProcessEventsUntil([&] { return main.Raster()->HasImage(); }));
    ASSERT_TRUE(main.OpenImage(Pictures() + "/b.ktest"));
    EXPECT_EQ(Pixels(layers.Images().Image(TRasterTreeView::niImage)), shipped);

    // A single click enters a folder.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, RowCentre(RowOf("sub")));
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().FolderPath() == Pictures() + "/sub"; }));
    EXPECT_EQ(main.ShellTreeView()->SelectedPath(), Pictures() + "/sub");
}

TEST_F(MainFormListTest, ClickTypeOneOpensOnlyWithADoubleClickAndTheOptionsSwitchAtOnce) {
    WriteIni(StartIni("[ShellControl]\nClickType=1\n"));
    TMainForm& main = Start();
    EXPECT_FALSE(main.ShellTreeView()->HotTrack());
    EXPECT_FALSE(List().HotTrack());
    EXPECT_EQ(List().HotTrackStyles(), THotTrackStyles());
    QWidget* viewport = List().CurrentView()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, RowCentre(RowOf("a.ktest")));
    QCoreApplication::processEvents();
    EXPECT_EQ(List().SelectedRows(), std::vector<int>{RowOf("a.ktest")});
    EXPECT_FALSE(main.Raster()->HasImage());

    // The options window's choice holds as soon as it closes with OK.
    const auto choose = [&main](bool pointing) {
        QTimer::singleShot(0, &main, [pointing] {
            ProcessEventsUntil([] { return qobject_cast<TOptionsDialog*>(QApplication::activeModalWidget()); });
            auto* dialog = qobject_cast<TOptionsDialog*>(QApplication::activeModalWidget());
            (pointing ? dialog->PointToSelectRadio() : dialog->ClickToSelectRadio())->setChecked(true);
            dialog->accept();
        });
        main.Commands().ActionList().UpdateActions();
        main.Commands().Command(TCommand::Options)->trigger();
    };
    choose(true);
    EXPECT_EQ(main.ClickType(), 0);
    EXPECT_TRUE(main.ShellTreeView()->HotTrack());
    EXPECT_EQ(List().HotTrackStyles(), THotTrackStyles(htHandPoint));
    choose(false);
    EXPECT_EQ(main.ClickType(), 1);
    EXPECT_FALSE(main.ShellTreeView()->HotTrack());
    EXPECT_FALSE(List().HotTrack());
    EXPECT_EQ(List().HotTrackStyles(), THotTrackStyles());
    Close();
    EXPECT_EQ(Ini("ShellControl/ClickType"), "1");
}

TEST_F(MainFormListTest, AnUnknownClickTypeLeavesTheControlsAsMadeAndIsKept) {
    WriteIni(StartIni("[ShellControl]\nClickType=7\n"));
    TMainForm& main = Start();
    EXPECT_FALSE(main.ShellTreeView()->HotTrack());
    EXPECT_FALSE(List().HotTrack());
    EXPECT_EQ(List().HotTrackStyles(), THotTrackStyles());
    Close();
    EXPECT_EQ(Ini("ShellControl/ClickType"), "7");
}

TEST_F(MainFormListTest, PreviousAndNextStepThroughTheListOpeningFilesOnly) {
    WriteIni(StartIni());
    TMainForm& main = Start();
    // Nothing selected: open does nothing, and no progress shows.
    main.OpenFile();
    EXPECT_FALSE(main.Raster()->HasImage());

    // A command runs on its state of now, as a menu opening or a key
    // press updates it first.
    auto run = [&main](QAction* command) {
        main.Commands().ActionList().UpdateActions();
        command->trigger();
    };
    Select(RowOf("a.ktest"));
    run(main.OpenFileAction());
    EXPECT_EQ(Shown(), "a.ktest");

    QTest::keyClick(&main, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(List().SelectedRows(), std::vector<int>{RowOf("b.ktest")});
    EXPECT_EQ(Shown(), "b.ktest");
    run(main.NextFileAction());
    run(main.NextFileAction());  // past the end: nothing moves
    EXPECT_EQ(List().SelectedRows(), std::vector<int>{RowOf("c.ktest")});
    EXPECT_EQ(Shown(), "c.ktest");
    EXPECT_EQ(Panel(1), "横:10 / 縦:20 pixel");

    run(main.PreviousFileAction());
    run(main.PreviousFileAction());
    EXPECT_EQ(Shown(), "a.ktest");
    // The folder before the first image is only selected.
    QTest::keyClick(&main, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(List().SelectedRows(), std::vector<int>{RowOf("sub")});
    EXPECT_EQ(Shown(), "a.ktest");
    EXPECT_EQ(List().FolderPath(), Pictures());
}

TEST_F(MainFormListTest, NextAndPreviousGoOnFromTheShownFileRenamedByAnotherProgram) {
    WriteIni(StartIni());
    TMainForm& main = Start();
    Select(RowOf("a.ktest"));
    main.OpenFile();
    ASSERT_EQ(Shown(), "a.ktest");

    std::filesystem::rename(folder.File("pictures/a.ktest"), folder.File("pictures/bb.ktest"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return Listed("bb.ktest"); }));
    EXPECT_EQ(List().SelectedRows(), std::vector<int>{RowOf("bb.ktest")});
    Run(TCommand::NextFile);
    EXPECT_EQ(Shown(), "c.ktest");
    Run(TCommand::PreviousFile);
    EXPECT_EQ(Shown(), "bb.ktest");
    Run(TCommand::PreviousFile);
    EXPECT_EQ(Shown(), "b.ktest");
    EXPECT_EQ(List().FolderPath(), Pictures());
}

TEST_F(MainFormListTest, AfterHomeTheOpenCommandOpensTheFirstFileAsEnterDoes) {
    std::filesystem::remove(folder.File("pictures/sub"));
    WriteIni(StartIni());
    Start();
    QAbstractItemView* keys = List().CurrentView();
    keys->setFocus();
    ASSERT_EQ(List().FocusedRow(), RowOf("a.ktest"));
    ASSERT_TRUE(List().SelectedRows().empty());

    // Enter opens the focused row; the open command needs a selected one.
    QTest::keyClick(keys, Qt::Key_Home);
    EXPECT_EQ(List().SelectedRows(), std::vector<int>{RowOf("a.ktest")});
    ASSERT_TRUE(EnabledNow(TCommand::OpenFile));
    Run(TCommand::OpenFile);
    EXPECT_EQ(Shown(), "a.ktest");
}

TEST_F(MainFormListTest, ClosingTheWindowEndsALoadWithoutAWordEvenOneWaitingForAStuckPlugIn) {
    PluginHold hold(folder.File("hold"));
    TMainForm& main = OpenWhileTheNextFileHoldsTheOnlyPlugIn(hold);
    ASSERT_TRUE(ProcessEventsUntil([&] { return hold.Entered(); }));

    QTimer::singleShot(0, &main, [&main] { main.close(); });
    EXPECT_FALSE(main.OpenImage(Pictures() + "/c.ktest"));
    EXPECT_FALSE(main.isVisible());
    EXPECT_FALSE(main.Raster()->Loading());
    EXPECT_TRUE(messages.Messages().empty());

    // A decode that reports progress ends at its next report.
    hold.Release();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !PlugBusy(folder.File("plugins/a.spi")); }));
    main.show();
    QTimer::singleShot(0, &main, [&main] { main.close(); });
    const std::string slow = folder.Write("slow.ktest", "KTESTSPI width=64 height=64 steps=50\n");
    EXPECT_FALSE(main.OpenImage(QString::fromStdString(slow)));
    EXPECT_FALSE(main.Raster()->HasImage());
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainFormListTest, TheNextFileOpensWhileThePlugInOfTheOneBeforeDoesNotReturn) {
    const std::string plugins = folder.File("plugins");
    std::filesystem::create_directories(plugins);
    std::filesystem::copy_file(std::string(KELVANDOR_TEST_PLUGIN_DIR) + "/ktest.spi", plugins + "/a.spi");
    std::filesystem::copy_file(std::string(KELVANDOR_TEST_PLUGIN_DIR) + "/variants/ktest_second.spi",
                               plugins + "/b.spi");
    PluginHold hold(folder.File("hold"));
    Image("pictures/b.ktest", hold.Words(), 0);
    WriteIni("[Kelvandor]\nDefaultPath=" + Pictures().toStdString() + "\nSusiePath=" + plugins + "\n");
    TMainForm& main = Start();
    Select(RowOf("b.ktest"));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!hold.Entered()) return;
        poll.stop();
        QTest::keyClick(&main, Qt::Key_Down, Qt::AltModifier);
    });
    poll.start(1);
    main.OpenFile();
    // The stuck plug-in is passed over; its load gave way without a word.
    EXPECT_EQ(Shown(), "c.ktest");
    EXPECT_EQ(main.Raster()->Info().PluginInfo, QStringLiteral("Kelvandor second test plug-in"));
    EXPECT_EQ(List().SelectedRows(), std::vector<int>{RowOf("c.ktest")});
    EXPECT_FALSE(main.StatusBar()->ProgressBar()->isVisible());
    EXPECT_TRUE(messages.Messages().empty());

    hold.Release();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !PlugBusy(plugins + "/a.spi"); }));
    EXPECT_EQ(Shown(), "c.ktest");
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainFormListTest, AFileOnlyAStuckPlugInReadsWaitsForItNamingItUntilEscape) {
    PluginHold hold(folder.File("hold"));
    TMainForm& main = OpenWhileTheNextFileHoldsTheOnlyPlugIn(hold);
    ASSERT_TRUE(ProcessEventsUntil([&] { return hold.Entered(); }));

    QProgressBar* bar = main.StatusBar()->ProgressBar();
    QString said;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!bar->isTextVisible()) return;
        poll.stop();
        said = bar->text();
        QTest::keyClick(&main, Qt::Key_Escape);
    });
    poll.start(1);
    EXPECT_FALSE(main.OpenImage(Pictures() + "/c.ktest"));
    EXPECT_EQ(said, QStringLiteral("Plug-In「a.spi」の応答を待っています（Esc で中止）"));
    EXPECT_EQ(messages.Texts(), QStringList{QStringLiteral("[Code1] Plug-Inでの読込みを中止しました。")});
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(bar->isTextVisible());

    hold.Release();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !PlugBusy(folder.File("plugins/a.spi")); }));
    EXPECT_TRUE(main.OpenImage(Pictures() + "/c.ktest"));
    EXPECT_EQ(messages.Texts().size(), 1);
}

TEST_F(MainFormListTest, TheNextFileInTheDirectionOfTravelIsDecodedAheadAndShownAtOnce) {
    WriteIni(StartIni());
    TMainForm& main = Start();
    TRaster& raster = *main.Raster();
    int reports = 0;
    const TRaster::TLoadProgressEvent windowProgress = raster.OnLoadProgress;
    raster.OnLoadProgress = [&](TRaster* sender, int position, bool& cancel) {
        ++reports;
        windowProgress(sender, position, cancel);
    };
    const auto ahead = [&raster] { return QFileInfo(raster.ReadAheadPath()).fileName(); };

    Select(RowOf("a.ktest"));
    main.OpenFile();
    EXPECT_GT(reports, 0);
    EXPECT_EQ(ahead(), "b.ktest");
    ASSERT_TRUE(ProcessEventsUntil([&] { return raster.ReadAheadReady(); }));
    reports = 0;
    main.NextFile();
    EXPECT_EQ(Shown(), "b.ktest");
    EXPECT_EQ(Panel(1), "横:320 / 縦:200 pixel");
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(ahead(), "c.ktest");

    // Going back looks back; before the first image there is a folder.
    main.PreviousFile();
    EXPECT_EQ(Shown(), "a.ktest");
    EXPECT_EQ(ahead(), "");
    main.NextFile();
    EXPECT_EQ(ahead(), "c.ktest");

    // A new sort order aims at the new next file; another folder has none.
    List().FileList().SetSortDirection(hcName, -1);
    List().FileList().ApplySort(hcName);
    ASSERT_TRUE(ProcessEventsUntil([&] { return ahead() != "c.ktest"; }));
    EXPECT_EQ(ahead(), "a.ktest");
    main.ShellTreeView()->SelectPath(Pictures() + "/sub");
    ASSERT_TRUE(ProcessEventsUntil([&] { return ahead().isEmpty(); }));
    EXPECT_EQ(Shown(), "b.ktest");
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainFormListTest, AFileChangedOrBrokenAfterItsDecodeAheadOpensAsAnyOther) {
    Image("pictures/d.ktest", "code=3", 0);
    WriteIni(StartIni());
    TMainForm& main = Start();
    TRaster& raster = *main.Raster();

    Select(RowOf("a.ktest"));
    main.OpenFile();
    ASSERT_TRUE(ProcessEventsUntil([&] { return raster.ReadAheadReady(); }));
    Image("pictures/b.ktest", "width=33 height=22", 701);
    main.NextFile();
    EXPECT_EQ(Panel(1), "横:33 / 縦:22 pixel");

    // The decode ahead of the broken file says nothing; opening it does.
    main.NextFile();
    EXPECT_EQ(Shown(), "c.ktest");
    EXPECT_EQ(QFileInfo(raster.ReadAheadPath()).fileName(), "d.ktest");
    EXPECT_TRUE(messages.Messages().empty());
    main.NextFile();
    ASSERT_EQ(messages.Texts(), QStringList{QStringLiteral("[Code3] Plug-Inがデータの破損を検出しました。")});
    EXPECT_FALSE(raster.HasImage());
    EXPECT_EQ(raster.ReadAheadPath(), "");
}

TEST_F(MainFormListTest, KeysOfANameBeingEditedGoToTheEditor) {
    WriteIni(StartIni());
    TMainForm& main = Start();
    Select(RowOf("a.ktest"));
    List().EditRow(RowOf("a.ktest"));
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    ASSERT_NE(editor, List().CurrentView()->viewport());
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    QTest::keyClick(editor, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(List().SelectedRows(), std::vector<int>{RowOf("a.ktest")});
    EXPECT_FALSE(main.Raster()->HasImage());
    QTest::keyClick(editor, Qt::Key_Escape);
    // Afterwards the keys work again.
    QTest::keyClick(&main, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(Shown(), "b.ktest");
}

TEST_F(MainFormListTest, WhileAnImageLoadsTheKeysOpenAnotherInItsPlace) {
    Image("pictures/slow.ktest", "width=64 height=64 steps=40", 0);
    WriteIni(StartIni());
    TMainForm& main = Start();
    Select(RowOf("slow.ktest"));
    QTimer::singleShot(0, &main, [&] {
        EXPECT_TRUE(main.Raster()->Loading());
        EXPECT_TRUE(List().isEnabled());
        QTest::keyClick(&main, Qt::Key_Up, Qt::AltModifier);
    });
    main.OpenFile();
    // The slow file's load gave way without a word.
    EXPECT_EQ(Shown(), "c.ktest");
    EXPECT_EQ(List().SelectedRows(), std::vector<int>{RowOf("c.ktest")});
    EXPECT_FALSE(main.Raster()->Loading());
    EXPECT_FALSE(main.StatusBar()->ProgressBar()->isVisible());
    EXPECT_EQ(Panel(1), "横:10 / 縦:20 pixel");
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainFormListTest, TheStatusBarCountsTheListAndSumsTheSelection) {
    WriteIni(StartIni());
    Start();
    List().SetSelectedRows({RowOf("a.ktest"), RowOf("b.ktest")});
    EXPECT_EQ(Panel(0), "2 個 ( 1000バイト ) のオブジェクトを選択");
    List().SetSelectedRows({RowOf("sub")});
    EXPECT_EQ(Panel(0), "1 個 ( 0バイト ) のオブジェクトを選択");
    List().SetSelectedRows({});
    EXPECT_EQ(Panel(0), "4 個のオブジェクト");
}

TEST_F(MainFormListTest, TheFolderLockHoldsWhenAnotherFolderOfTheTreeVanishes) {
    std::filesystem::create_directories(folder.File("other"));
    WriteIni(StartIni("[ShellControl]\nLockFolder=1\n"));
    TMainForm& main = Start();
    ASSERT_TRUE(List().Locked());
    std::filesystem::remove(folder.File("other"));
    main.ShellTreeView()->RefreshAll();
    ASSERT_TRUE(ReadingsDone(*main.ShellTreeView()));
    EXPECT_TRUE(List().Locked());
    EXPECT_EQ(List().palette().color(QPalette::Base), ColorFromValue(main.ListLook(true).Color, List().palette()));
    // The list's own folder going takes the lock with it.
    std::filesystem::remove_all(folder.File("pictures"));
    main.ShellTreeView()->RefreshAll();
    ASSERT_TRUE(ReadingsDone(*main.ShellTreeView()));
    EXPECT_FALSE(List().Locked());
}

TEST_F(MainFormListTest, EntriesAreDrawnInTheColourOfTheirAttributes) {
    Image("pictures/.hidden.ktest", "", 0);
    Image("pictures/locked.ktest", "", 0);
    std::filesystem::create_directories(folder.File("pictures/.cache"));
    std::filesystem::permissions(folder.File("pictures/locked.ktest"), std::filesystem::perms::owner_read |
                                                                          std::filesystem::perms::group_read |
                                                                          std::filesystem::perms::others_read);
    // Red for hidden, green for read-only, blue for folders.
    WriteIni(StartIni("[ShellControl]\nHideFile=1\n"
                      "[ShellListView]\nFontHiden=255\nFontReadOnly=65280\nFontDirectory=16711680\n"));
    Start();
    const QColor listText(1, 2, 3);
    const auto colourOf = [&](const QString& name) {
        TListItemCanvas canvas;
        canvas.FontColor = listText;
        bool defaultDraw = true, subItemDraw = true;
        List().OnCustomDrawItem(&List(), RowOf(name), QStyle::State_None, canvas, defaultDraw, subItemDraw);
        EXPECT_TRUE(defaultDraw);
        return canvas.FontColor;
    };
    EXPECT_EQ(colourOf(".hidden.ktest"), QColor(255, 0, 0));
    EXPECT_EQ(colourOf("locked.ktest"), QColor(0, 255, 0));
    EXPECT_EQ(colourOf("sub"), QColor(0, 0, 255));
    // A hidden folder shows as hidden.
    EXPECT_EQ(colourOf(".cache"), QColor(255, 0, 0));
    // Without any of the attributes the list's colour stays.
    EXPECT_EQ(colourOf("a.ktest"), listText);
}

TEST_F(MainFormListTest, ColumnsShellControlAndLockSettingsComeBackAsTheyWereWritten) {
    WriteIni(StartIni(
        "[ShellControl]\nLockFolder=1\nHideFile=1\nFolderBitBucket=1\n"
        "[ShellListView]\nColor=255\nLockColor=65280\nViewStyle=3\nColumnsCount=5\nColumns0=1\nColumns1=0\n"
        "Columns2=2\nColumns3=3\nColumns4=4\nColumnsWidth1=150\nSortType=1\nSortOrder1=-1\n"
        "[RasterListView]\nViewStyle=3\nColumnsWidth0=90\n"));
    TMainForm& main = Start();
    EXPECT_TRUE(List().Locked());
    EXPECT_EQ(List().FolderPath(), Pictures());
    EXPECT_EQ(List().palette().color(QPalette::Base), QColor(0, 255, 0));
    EXPECT_EQ(List().ViewStyle(), vsReport);
    EXPECT_EQ(List().ColumnOrder().front(), 1);
    EXPECT_EQ(List().ColumnWidth(1), 150);
    EXPECT_TRUE(main.ShellTreeView()->IncludeHidden());
    EXPECT_TRUE(main.ShellTreeView()->ShVirtuaItems().Contains(itBitBucket));
    EXPECT_FALSE(main.ShellTreeView()->ShVirtuaItems().Contains(itNetWork));

    // Releasing the lock gives the list its unlocked look.
    List().SetLocked(false);
    EXPECT_EQ(List().palette().color(QPalette::Base), QColor(255, 0, 0));
    List().SetColumnWidth(1, 170);
    Close();

    EXPECT_EQ(Ini("ShellControl/LockFolder"), "0");
    EXPECT_EQ(Ini("ShellControl/HideFile"), "1");
    EXPECT_EQ(Ini("ShellControl/FolderBitBucket"), "1");
    EXPECT_EQ(Ini("ShellControl/FolderNetWork"), "0");
    EXPECT_EQ(Ini("ShellListView/ViewStyle"), "3");
    EXPECT_EQ(Ini("ShellListView/Columns0"), "1");
    EXPECT_EQ(Ini("ShellListView/ColumnsWidth1"), "170");
    EXPECT_EQ(Ini("ShellListView/SortType"), "1");
    EXPECT_EQ(Ini("ShellListView/SortOrder1"), "-1");
    EXPECT_EQ(Ini("ShellListView/Color"), "255");
    EXPECT_EQ(Ini("RasterListView/ColumnsWidth0"), "90");
}

}  // namespace
