#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

#include "app/main_commands.h"
#include "main_form_fixture.h"
#include "platform/action_list.h"
#include "platform/code_page.h"
#include "platform/file_uri.h"
#include "platform/list_view.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"
#include "raster/raster_tree_view.h"
#include "shell/shell_list_view.h"
#include "shell/shell_tree_view.h"
#include "support/scoped_environment_variable.h"

namespace {

namespace fs = std::filesystem;

// A user's session with the real main window: every step goes through the
// mouse, the keys, the menus and the toolbars where the window offers
// them. The real PNG plug-in reads real PNG files; the trash is a private
// one under the test's own data folder.
class UserSessionTest : public MainFormTest {
protected:
    void SetUp() override {
        fs::create_directories(folder.File("data"));
        fs::create_directories(folder.File("home/写真"));
        fs::create_directories(folder.File("home/保管"));
        MakePng("home/写真/朝.png", Qt::darkBlue);
        MakePng("home/写真/昼.png", Qt::yellow);
        MakePng("home/写真/夜.png", Qt::black);
        // A click selects and a double-click opens, as this user set it.
        WriteIni("[Kelvandor]\nDefaultPath=" + folder.File("home") + "\nSusiePath=" + KELVANDOR_PLUGIN_DIR +
                 "\n[ShellControl]\nClickType=1\n");
    }

    void TearDown() override {
        if (form) Close();
    }

    void MakePng(const std::string& name, QColor color) {
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(color);
        QPainter painter(&image);
        painter.fillRect(40, 30, 80, 60, Qt::white);
        painter.end();
        ASSERT_TRUE(image.save(QString::fromStdString(folder.File(name)), "PNG"));
    }

    QString Home(const std::string& name = std::string()) const {
        return QString::fromStdString(name.empty() ? folder.File("home") : folder.File("home/" + name));
    }

    TRaster& Raster() const { return *form->Raster(); }

    // Waits for the idle pass to enable a command, as a user waits for a
    // greyed button.
    void AwaitEnabled(TCommand command) const {
        ASSERT_TRUE(ProcessEventsUntil([&] { return Command(command)->isEnabled(); })) << command;
    }

    // --- The mouse ------------------------------------------------------------

    static void Click(QWidget* widget, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(widget, button, Qt::NoModifier, at);
    }

    // A right click: the press and release, then the menu request the
    // window system makes of it.
    static void RightClick(QWidget* widget, QPoint at) {
        Click(widget, at, Qt::RightButton);
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
        QApplication::sendEvent(widget, &request);
    }

    static void ClickNode(QTreeWidget& tree, QTreeWidgetItem* node, Qt::MouseButton button = Qt::LeftButton) {
        ASSERT_NE(node, nullptr);
        tree.scrollToItem(node);
        const QPoint at = tree.visualItemRect(node).center();
        button == Qt::RightButton ? RightClick(tree.viewport(), at) : Click(tree.viewport(), at);
    }

    static QTreeWidgetItem* ChildNamed(QTreeWidgetItem* parent, const QString& name) {
        for (int i = 0; i < parent->childCount(); ++i)
            if (parent->child(i)->text(0) == name) return parent->child(i);
        return nullptr;
    }

    void ClickRow(const QString& name) {
        const int row = RowOf(name);
        ASSERT_GE(row, 0) << name.toStdString();
        QAbstractItemView* view = List().CurrentView();
        view->scrollTo(List().Model()->index(row, 0));
        Click(view->viewport(), view->visualRect(List().Model()->index(row, 0)).center());
    }

    // Clicks the entry of the menu that is open now.
    static void ClickEntry(QAction* entry) {
        ASSERT_TRUE(ProcessEventsUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }));
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        ASSERT_TRUE(menu->actions().contains(entry)) << entry->text().toStdString();
        ASSERT_TRUE(entry->isEnabled()) << entry->text().toStdString();
        Click(menu, menu->actionGeometry(entry).center());
    }

    // Opens a column of the main menu with the mouse and clicks an entry.
    void ChooseFromMainMenu(const QString& column, TCommand command) {
        QMenuBar* bar = Commands().MainMenu();
        QAction* title = nullptr;
        for (QAction* entry : bar->actions())
            if (entry->text() == column) title = entry;
        ASSERT_NE(title, nullptr) << column.toStdString();
        Click(bar, bar->actionGeometry(title).center());
        ClickEntry(Command(command));
    }

    void ClickToolButton(QToolBar* bar, TCommand command) {
        QWidget* button = bar->widgetForAction(Command(command));
        ASSERT_NE(button, nullptr) << command;
        AwaitEnabled(command);
        Click(button, button->rect().center());
    }

    // --- The keyboard --------------------------------------------------------

    static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        QTest::keyClick(focused, key, modifiers);
    }

    static void Type(const QString& text) {
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr) << "no name editor has the focus";
        editor->selectAll();
        // Japanese arrives from the input method as committed text.
        QInputMethodEvent input;
        input.setCommitString(text);
        QApplication::sendEvent(editor, &input);
        QTest::keyClick(editor, Qt::Key_Return);
        // The view takes the name and closes the editor once back in its loop.
        const QPointer<QLineEdit> open(editor);
        ASSERT_TRUE(ProcessEventsUntil([&] { return open.isNull() || !open->isVisible(); }));
    }

    // --- Steps of the session --------------------------------------------------

    // A click on the folder's node, and the list follows.
    void PickFolder(const std::string& name) {
        QTreeWidgetItem* parent = HomeNode();
        ASSERT_NE(parent, nullptr);
        parent->setExpanded(true);
        QTreeWidgetItem* node = nullptr;
        ASSERT_TRUE(ProcessEventsUntil([&] { return (node = ChildNamed(parent, QString::fromStdString(name))); }));
        ClickNode(Tree(), node);
        ASSERT_TRUE(ProcessEventsUntil([&] { return List().FolderPath() == Home(name); }));
    }

    QTreeWidgetItem* HomeNode() const {
        for (QTreeWidgetItem* node = Tree().SelectedNode(); node; node = node->parent())
            if (node->text(0) == "home") return node;
        return nullptr;
    }

    QTreeWidgetItem* LayerNode(const QString& name) const {
        TRasterTreeView* tree = form->RasterTreeView();
        for (int i = 0; i < tree->NodeCount(); ++i)
            if (tree->NodeAt(i)->text(0) == name) return tree->NodeAt(i);
        return nullptr;
    }

    // The markers of the first layer, by name, in the layer's order.
    QStringList MarkerNames() const {
        QStringList names;
        if (Raster().Layers().Count() == 0) return names;
        TRasterLayer* layer = Raster().Layers().Items(0);
        for (int i = 0; i < layer->Count(); ++i) names << layer->Objects(i)->Name();
        return names;
    }

    // A click on the raster view at a point of the image.
    void ClickImage(QPoint imagePoint) {
        // The scales are image pixels per screen pixel.
        const double x = Raster().DispLeft() + (imagePoint.x() - Raster().ViewLeft()) / Raster().ScaleX();
        const double y = Raster().DispTop() + (imagePoint.y() - Raster().ViewTop()) / Raster().ScaleY();
        Click(&Raster(), QPoint(int(x), int(y)));
    }

    // The same, in name order: the object list sorts the layer when it
    // refreshes, so the order of equal and renamed names follows it.
    QStringList SortedMarkerNames() const {
        QStringList names = MarkerNames();
        names.sort();
        return names;
    }

    // A trash of the test's own.
    ScopedEnvironmentVariable dataHome_{"XDG_DATA_HOME", folder.File("data")};
};

std::string ReadText(const std::string& path) {
    const std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(UserSessionTest, BrowseAnnotateCopyRenameTrashAndStepOn) {
    Start();
    ASSERT_EQ(Tree().SelectedPath(), Home());

    // The photo folder, picked in the tree; its images in the list.
    PickFolder("写真");
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().RowCount() == 3; }));

    // The morning picture, opened with a double-click.
    ClickRow("朝.png");
    {
        QAbstractItemView* view = List().CurrentView();
        const QPoint at = view->visualRect(List().Model()->index(RowOf("朝.png"), 0)).center();
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    ASSERT_TRUE(ProcessEventsUntil([&] { return Raster().HasImage(); }));
    EXPECT_EQ(Raster().FileName(), Home("写真/朝.png"));
    EXPECT_EQ(Raster().Info().Width, 160);
    EXPECT_TRUE(Raster().IsWholeImage());

    // The zoom tool from the image toolbar; two clicks on the picture.
    ClickToolButton(form->ImageToolBar(), TCommand::ZoomInTool);
    EXPECT_TRUE(Command(TCommand::ZoomInTool)->isChecked());
    const double wholeScale = Raster().ScaleX();
    ClickImage(QPoint(80, 60));
    ClickImage(QPoint(80, 60));
    EXPECT_LT(Raster().ScaleX(), wholeScale);
    EXPECT_FALSE(Raster().IsWholeImage());
    // Home shows the whole image again.
    Raster().setFocus();
    AwaitEnabled(TCommand::WholeImage);
    Key(Qt::Key_Home);
    EXPECT_TRUE(Raster().IsWholeImage());
    EXPECT_DOUBLE_EQ(Raster().ScaleX(), wholeScale);

    // A new layer from the layer tree's menu, made the active one.
    // The window keeps the layer page's tab out of sight, so the page is
    // brought forward as a program that edits annotations would.
    form->SideTabs()->setCurrentIndex(1);
    TRasterTreeView* layers = form->RasterTreeView();
    ClickNode(*layers, layers->RootNode(), Qt::RightButton);
    ClickEntry(Command(TCommand::NewLayer));
    ASSERT_EQ(Raster().Layers().Count(), 1);
    ClickNode(*layers, LayerNode(Raster().Layers().Items(0)->Name()), Qt::RightButton);
    ClickEntry(Command(TCommand::ActivateLayer));
    ASSERT_EQ(Raster().ActiveLayer(), Raster().Layers().Items(0));

    // Three markers with the object tool.
    AwaitEnabled(TCommand::NewObjectTool);
    Command(TCommand::NewObjectTool)->trigger();
    for (QPoint at : {QPoint(20, 20), QPoint(80, 60), QPoint(140, 100)}) ClickImage(at);
    ASSERT_EQ(MarkerNames(), QStringList({"xxx", "xxx", "xxx"}));
    EXPECT_TRUE(Raster().Modified());

    // The second one renamed in the object list, in place.
    TRasterListView* objects = form->RasterListView();
    ASSERT_EQ(form->ListPanel()->currentWidget(), objects);
    QAbstractItemView* objectView = objects->CurrentView();
    Click(objectView->viewport(), objectView->visualRect(objects->Model()->index(1, 0)).center());
    Key(Qt::Key_F2);
    Type("港の灯台");
    EXPECT_TRUE(ProcessEventsUntil([&] { return MarkerNames().contains("港の灯台"); }));
    EXPECT_EQ(MarkerNames().count("xxx"), 2);

    const QStringList named = SortedMarkerNames();

    // Closing writes the side file.
    const std::string grx = folder.File("home/写真/朝.grx");
    ChooseFromMainMenu("ファイル(&F)", TCommand::CloseFile);
    EXPECT_FALSE(Raster().HasImage());
    ASSERT_TRUE(fs::exists(grx));
    const std::vector<unsigned char> written = ReadFileBytes(grx);
    // Names are kept in the side file's own code page.
    EXPECT_NE(ReadText(grx).find(platform::ToCodePage932(QStringLiteral("港の灯台"))), std::string::npos);

    // Reopened from the list with the keyboard: the markers are back.
    form->SideTabs()->setCurrentIndex(0);
    ClickRow("朝.png");
    AwaitEnabled(TCommand::OpenFile);
    Key(Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Raster().HasImage(); }));
    EXPECT_EQ(SortedMarkerNames(), named);
    EXPECT_FALSE(Raster().Modified());
    // The layer renamed and named back from its menu is a change all the
    // same: closing writes the file again, byte for byte as before.
    form->SideTabs()->setCurrentIndex(1);
    const QString layerName = Raster().Layers().Items(0)->Name();
    for (const QString& name : {QStringLiteral("下書き"), layerName}) {
        ClickNode(*layers, LayerNode(Raster().Layers().Items(0)->Name()), Qt::RightButton);
        ClickEntry(Command(TCommand::RenameLayer));
        Type(name);
        ASSERT_TRUE(ProcessEventsUntil([&] { return Raster().Layers().Items(0)->Name() == name; }));
    }
    EXPECT_TRUE(Raster().Modified());
    EXPECT_EQ(SortedMarkerNames(), named);
    fs::remove(grx);
    ChooseFromMainMenu("ファイル(&F)", TCommand::CloseFile);
    ASSERT_TRUE(fs::exists(grx));
    EXPECT_EQ(ReadFileBytes(grx), written);
    form->SideTabs()->setCurrentIndex(0);

    // The picture copied to the keeping folder with copy and paste.
    List().CurrentView()->setFocus();
    ClickRow("朝.png");
    AwaitEnabled(TCommand::Copy);
    Key(Qt::Key_C, Qt::ControlModifier);
    PickFolder("保管");
    List().CurrentView()->setFocus();
    AwaitEnabled(TCommand::Paste);
    Key(Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Listed("朝.png"); }));
    EXPECT_EQ(ReadFileBytes(folder.File("home/保管/朝.png")), ReadFileBytes(folder.File("home/写真/朝.png")));

    // Renamed in place from the file menu.
    ClickRow("朝.png");
    ChooseFromMainMenu("ファイル(&F)", TCommand::Rename);
    Type("夜明け.png");
    ASSERT_TRUE(ProcessEventsUntil([&] { return Listed("夜明け.png"); }));
    EXPECT_TRUE(fs::exists(folder.File("home/保管/夜明け.png")));
    EXPECT_FALSE(fs::exists(folder.File("home/保管/朝.png")));

    // Deleted to the (private) trash with the Delete key, after a yes.
    ClickRow("夜明け.png");
    AwaitEnabled(TCommand::Delete);
    messages.Answer(platform::MessageResult::Yes);
    Key(Qt::Key_Delete);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !Listed("夜明け.png"); }));
    EXPECT_FALSE(fs::exists(folder.File("home/保管/夜明け.png")));
    EXPECT_TRUE(fs::exists(folder.File("data/Trash/files/夜明け.png")));
    EXPECT_EQ(ReadFileBytes(folder.File("data/Trash/files/夜明け.png")), ReadFileBytes(folder.File("home/写真/朝.png")));

    // Back to the photos, where the next file opens with Alt+Down.
    PickFolder("写真");
    ClickRow("夜.png");
    List().CurrentView()->setFocus();
    AwaitEnabled(TCommand::NextFile);
    Key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Raster().HasImage(); }));
    const QString next = List().Model()->index(RowOf("夜.png") + 1, 0).data().toString();
    EXPECT_EQ(Raster().FileName(), Home("写真/" + next.toStdString()));
    EXPECT_EQ(List().SelectedRows(), std::vector<int>({RowOf(next)}));
    EXPECT_TRUE(messages.Messages().size() <= 1) << messages.Texts().join("\n").toStdString();
}

// Latin-1 names, as old archives and shares mounted without conversion
// bring them: not UTF-8, shown with replacement characters, and used with
// their own bytes everywhere.
TEST_F(UserSessionTest, FilesWhoseNamesAreNotUtf8OpenCopyRenameAndGoToTheTrashUnderTheirOwnBytes) {
    const std::string summer = "home/\xc9t\xe9";  // "Été"
    fs::create_directories(folder.File(summer));
    MakePng("home/plain.png", Qt::red);
    fs::rename(folder.File("home/plain.png"), folder.File(summer + "/caf\xe9.png"));
    const QString cafe = QStringLiteral("caf\uFFFD.png");
    Start();

    // The folder, picked in the tree; the picture opened with a double-click.
    QTreeWidgetItem* home = HomeNode();
    ASSERT_NE(home, nullptr);
    home->setExpanded(true);
    QTreeWidgetItem* node = nullptr;
    ASSERT_TRUE(ProcessEventsUntil([&] { return (node = ChildNamed(home, QStringLiteral("\uFFFDt\uFFFD"))); }));
    ClickNode(Tree(), node);
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().RowCount() == 1 && Listed(cafe); }));
    ClickRow(cafe);
    {
        QAbstractItemView* view = List().CurrentView();
        const QPoint at = view->visualRect(List().Model()->index(RowOf(cafe), 0)).center();
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    ASSERT_TRUE(ProcessEventsUntil([&] { return Raster().HasImage(); })) << messages.Texts().join("\n").toStdString();
    EXPECT_EQ(Raster().Info().Width, 160);

    // A marker; closing writes the side file beside the picture.
    AddMarkedLayers();
    Raster().SetModified(true);
    ChooseFromMainMenu("ファイル(&F)", TCommand::CloseFile);
    EXPECT_EQ(ReadFileBytes(folder.File(summer + "/caf\xe9.grx")).size(), 620u);

    // Copied: the clipboard names the same bytes.
    List().CurrentView()->setFocus();
    ClickRow(cafe);
    AwaitEnabled(TCommand::Copy);
    Key(Qt::Key_C, Qt::ControlModifier);
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->data("text/uri-list").toStdString(),
              "file://" + platform::PercentEncode(folder.File(summer + "/caf\xe9.png")) + "\r\n");
    EXPECT_TRUE(copied->data("text/uri-list").endsWith("/%C9t%E9/caf%E9.png\r\n"));

    // Renamed as the name editor commits its text: what the user did not
    // touch keeps its bytes.
    List().Model()->setData(List().Model()->index(RowOf(cafe), 0), QStringLiteral("caf\uFFFD au lait.png"),
                            Qt::EditRole);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Listed(QStringLiteral("caf\uFFFD au lait.png")); }));
    EXPECT_TRUE(fs::exists(folder.File(summer + "/caf\xe9 au lait.png")));
    EXPECT_FALSE(fs::exists(folder.File(summer + "/caf\xe9.png")));

    // Deleted to the trash.
    ClickRow(QStringLiteral("caf\uFFFD au lait.png"));
    AwaitEnabled(TCommand::Delete);
    messages.Answer(platform::MessageResult::Yes);
    Key(Qt::Key_Delete);
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().RowCount() == 0; }));
    EXPECT_TRUE(fs::exists(folder.File("data/Trash/files/caf\xe9 au lait.png")));
    EXPECT_EQ(messages.Messages().size(), 1u) << messages.Texts().join("\n").toStdString();
}

}  // namespace
