#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QTest>
#include <QTimer>

#include "app/main_commands.h"
#include "main_form_fixture.h"
#include "platform/action_list.h"
#include "platform/list_view.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_id_func.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"
#include "support/file_size_limit.h"
#include "support/scoped_environment_variable.h"

namespace {

namespace fs = std::filesystem;

// The window's commands where things go wrong: printing without a
// printer, transfers that cannot be done, drags from elsewhere, items
// that vanished and places that are no folders.
class MainCommandsEdgeTest : public MainFormTest {
protected:
    void SetUp() override {
        fs::create_directories(folder.File("data"));
        fs::create_directories(folder.File("pictures/first/inner"));
        fs::create_directories(folder.File("target"));
        for (const char* name : {"a.ktest", "b.ktest"}) TestImage(std::string("pictures/") + name, "width=8 height=8");
        WriteIni(StartIni());
        Start();
    }

    void TearDown() override {
        if (form) Close();
    }

    void SelectRow(const QString& name) {
        ASSERT_TRUE(ProcessEventsUntil([&] { return Listed(name); })) << name.toStdString();
        List().CurrentView()->setFocus();
        List().SetSelectedRows({RowOf(name)});
        List().SetFocusedRow(RowOf(name));
    }

    void ChooseTarget(const std::string& path) {
        Commands().ChooseFolder = [path](const QString&) { return QString::fromStdString(path); };
    }

    // A trash of the test's own.
    ScopedEnvironmentVariable dataHome_{"XDG_DATA_HOME", folder.File("data")};
};

// --- Printing -------------------------------------------------------------------

TEST_F(MainCommandsEdgeTest, PrintingWritesTheViewThroughThePrinterAndSetupEditsThatPrinter) {
    EXPECT_FALSE(EnabledNow(TCommand::Print)) << "nothing to print without an image";
    ASSERT_TRUE(form->OpenImage(TestImage("print.ktest", "width=64 height=48")));

    QPrinter& printer = form->Raster()->Printer();
    const QString pdf = QString::fromStdString(folder.File("printed.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    form->Raster()->setFocus();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Command(TCommand::Print)->isEnabled(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier);
    QFile printed(pdf);
    ASSERT_TRUE(printed.open(QIODevice::ReadOnly)) << "Ctrl+P printed nothing";
    EXPECT_TRUE(printed.read(5).startsWith("%PDF-"));
    EXPECT_GT(printed.size(), 1000);
    EXPECT_TRUE(messages.Messages().empty()) << messages.Texts().join("\n").toStdString();

    // The set-up dialog edits the printer that printing uses, and a
    // cancelled set-up leaves it as it was.
    bool shown = false;
    QTimer::singleShot(0, form.get(), [&] {
        ProcessEventsUntil([] { return QApplication::activeModalWidget() != nullptr; });
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
            return;
        }
        shown = dialog->windowTitle() == "プリンタの設定" && dialog->printer() == &printer &&
                dialog->parentWidget() == form.get();
        dialog->reject();
    });
    Run(TCommand::PrinterSetup);
    EXPECT_TRUE(shown);
    EXPECT_EQ(printer.outputFileName(), pdf);
    EXPECT_EQ(printer.outputFormat(), QPrinter::PdfFormat);
}

// --- Copy and move to a folder ----------------------------------------------------

TEST_F(MainCommandsEdgeTest, CopyAndMoveToAFolderRefuseTheFolderItselfAndItsChild) {
    for (TCommand command : {TCommand::CopyToFolder, TCommand::MoveToFolder})
        for (const char* target : {"pictures/first", "pictures/first/inner"}) {
            SelectRow("first");
            ASSERT_TRUE(EnabledNow(command));
            ChooseTarget(folder.File(target));
            const std::size_t before = messages.Messages().size();
            Run(command);
            ASSERT_EQ(messages.Messages().size(), before + 1) << command << " " << target;
            EXPECT_TRUE(messages.Messages().back().text.contains("サブフォルダ"))
                << messages.Messages().back().text.toStdString();
            EXPECT_FALSE(fs::exists(folder.File(target) + "/first"));
            EXPECT_TRUE(fs::exists(folder.File("pictures/first/inner")));
        }
}

TEST_F(MainCommandsEdgeTest, AFullTargetDiskIsReportedAndLeavesTheSourcesIntact) {
    const std::string big(256 * 1024, 'k');
    folder.Write("pictures/big.ktest", "KTESTSPI width=8 height=8\n" + big);
    const std::vector<unsigned char> original = ReadFileBytes(folder.File("pictures/big.ktest"));
    // A move within one file system only renames; across file systems it
    // copies first, and that copy is what the full disk stops.
    char otherDevice[] = "/dev/shm/kelvandor-full-XXXXXX";
    const bool haveOtherDevice = mkdtemp(otherDevice) != nullptr;
    const std::pair<TCommand, std::string> transfers[] = {{TCommand::CopyToFolder, folder.File("target")},
                                                          {TCommand::MoveToFolder, otherDevice}};
    for (const auto& [command, target] : transfers) {
        if (command == TCommand::MoveToFolder && !haveOtherDevice) continue;
        ChooseTarget(target);
        SelectRow("big.ktest");
        const std::size_t before = messages.Messages().size();
        {
            const FileSizeLimit limit(16 * 1024);
            Run(command);
        }
        ASSERT_EQ(messages.Messages().size(), before + 1) << command;
        EXPECT_TRUE(messages.Messages().back().text.contains("big.ktest"))
            << messages.Messages().back().text.toStdString();
        EXPECT_EQ(ReadFileBytes(folder.File("pictures/big.ktest")), original) << command;
        EXPECT_FALSE(fs::exists(target + "/big.ktest")) << "a cut-off copy was left behind by " << command;
    }
    if (haveOtherDevice) fs::remove_all(otherDevice);
}

// --- Dragging layers and objects ------------------------------------------------------

TEST_F(MainCommandsEdgeTest, DragsWithTheMouseStartFromTheLayerTreeAndTheObjectListAndForeignDropsAreRefused) {
    ASSERT_TRUE(form->OpenImage(TestImage("drag.ktest", "width=64 height=48")));
    TRasterLayers& layers = form->Raster()->Layers();
    const auto [from, to, object] = AddMarkedLayers();
    form->SideTabs()->setCurrentIndex(1);
    TRasterTreeView* tree = form->RasterTreeView();
    TRasterListView* objects = form->RasterListView();
    ASSERT_TRUE(objects->ShowObject(object));

    // A press and a move past the drag distance start a drag in either
    // control; with no desktop to drop on it ends at once, taking nothing.
    const auto drag = [](QWidget* viewport, QPoint from) {
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
        const QPoint away = from + QPoint(0, 3 * QApplication::startDragDistance());
        QMouseEvent move(QEvent::MouseMove, away, viewport->mapToGlobal(away), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, away);
    };
    QTreeWidgetItem* toNode = LayerNode(to);
    QTreeWidgetItem* fromNode = LayerNode(from);
    ASSERT_TRUE(toNode && fromNode);
    drag(objects->CurrentView()->viewport(),
         objects->CurrentView()->visualRect(objects->Model()->index(0, 0)).center());
    drag(tree->viewport(), tree->visualItemRect(fromNode).center());
    EXPECT_EQ(from->Count(), 1);
    EXPECT_EQ(layers.IndexOf(from), 0);

    // What another program drops, even with an object's data, moves
    // nothing: neither the tree nor the list takes it.
    QMimeData data;
    data.setData(QStringLiteral("application/x-kelvandor-raster-object"), QByteArray());
    const QPoint at = tree->visualItemRect(toNode).center();
    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    QDropEvent drop(at, Qt::MoveAction, &data, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &drop);
    QDragEnterEvent overList(QPoint(5, 5), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(objects->CurrentView()->viewport(), &overList);
    EXPECT_FALSE(overList.isAccepted());
    EXPECT_EQ(from->Count(), 1);
    EXPECT_EQ(to->Count(), 0);
    EXPECT_EQ(layers.IndexOf(from), 0);
}

// --- Vanished items, the trash and other places --------------------------------------

TEST_F(MainCommandsEdgeTest, CommandsOnAFileThatVanishedSayWhyAndChangeNothing) {
    SelectRow("b.ktest");
    ASSERT_TRUE(EnabledNow(TCommand::OpenFile));
    // Gone behind the list's back: the commands run before its watcher
    // tells it.
    fs::remove(folder.File("pictures/b.ktest"));
    ChooseTarget(folder.File("target"));
    for (TCommand command : {TCommand::OpenFile, TCommand::CopyToFolder, TCommand::MoveToFolder, TCommand::Copy}) {
        Run(command);
        EXPECT_FALSE(fs::exists(folder.File("target/b.ktest"))) << command;
    }
    EXPECT_FALSE(form->Raster()->HasImage());
    EXPECT_GE(messages.Messages().size(), 2u) << "open and the transfers say why";
    ASSERT_TRUE(ProcessEventsUntil([&] { return !Listed("b.ktest"); }));
    EXPECT_TRUE(fs::exists(folder.File("pictures/a.ktest")));
}

TEST_F(MainCommandsEdgeTest, TheTrashAndVirtualPlacesOfferNoFileCommands) {
    // The tree shows the virtual folders and the trash.
    for (TCommand command : {TCommand::ShowVirtualFolders, TCommand::ShowTrash})
        if (!Command(command)->isChecked()) Run(command);
    for (TShSpecialFolder place : {sfBitBucket, sfDrives}) {
        IDList list = nullptr;
        ASSERT_TRUE(GetSpecialFolderIDList(place, list));
        const bool selected = Tree().SelectIDList(list);
        FreeIDList(list);
        ASSERT_TRUE(selected);
        Tree().setFocus();
        List().SetSelectedRows({});
        for (TCommand command : {TCommand::OpenFile, TCommand::ChangeTimeAttributes, TCommand::Rename, TCommand::Cut,
                                 TCommand::Copy, TCommand::Paste, TCommand::Delete, TCommand::CreateNumberedFolders})
            EXPECT_FALSE(EnabledNow(command)) << command << " at " << int(place);
        // Copy and move to a folder have nothing to take from here.
        ChooseTarget(folder.File("target"));
        Commands().CopyToFolder();
        Commands().MoveToFolder();
        EXPECT_TRUE(fs::is_empty(folder.File("target")));
    }
    EXPECT_TRUE(messages.Messages().empty()) << messages.Texts().join("\n").toStdString();
}

}  // namespace
