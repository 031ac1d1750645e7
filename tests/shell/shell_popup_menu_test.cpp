#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMimeData>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QWidget>

#include "id_lists.h"
#include "platform/application_help.h"
#include "platform/shell_context_menu.h"
#include "platform/shell_data_object.h"
#include "platform/trash.h"
#include "popup_driver.h"
#include "shell/shell_popup_menu.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

namespace {

// The item of an absolute list as a list of one: its parent (the desktop
// for places on the desktop) and itself.
void FillWith(TSHIDList2& list, IDList absolute) {
    list.Clear();
    list.SetParent(IDListLevel(absolute) == 1 ? Special(sfDesktop) : ParentIDList(absolute));
    list.Add(LastItemIDList(absolute));
    FreeIDList(absolute);
}

const QString kOpen = QStringLiteral("開く(&O)");
const QString kCut = QStringLiteral("切り取り(&T)");
const QString kCopy = QStringLiteral("コピー(&C)");
const QString kPaste = QStringLiteral("貼り付け(&P)");
const QString kShortcut = QStringLiteral("ショートカットの作成(&S)");
const QString kDelete = QStringLiteral("削除(&D)");
const QString kRename = QStringLiteral("名前の変更(&M)");
const QString kProperties = QStringLiteral("プロパティ(&R)");
const QString kEmptyTrash = QStringLiteral("ごみ箱を空にする(&B)");

// A window owning the menu, a folder with a file and a subfolder, and a
// trash of the test's own.
class PopupMenu : public ::testing::Test {
protected:
    void SetUp() override {
        oldDataHome_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(temp_.File("data")));
        ASSERT_EQ(mkdir(temp_.File("data").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(temp_.File("folder").c_str(), 0755), 0);
        temp_.Write("photo.jpg", "jpeg");
        invert_ = menu_->addAction(QStringLiteral("選択の切り替え(&I)"));
    }
    void TearDown() override {
        qputenv("XDG_DATA_HOME", oldDataHome_);
        QApplication::clipboard()->clear();
    }

    // Opens the menu for list; step sees it and picks an action.
    int Show(const TSHIDList& list, PopupDriver::TStep step) {
        PopupDriver driver(std::move(step));
        const int result = menu_->Popup(list, QPoint(10, 10));
        opened_ = driver.Opened();
        return result;
    }
    // Joined, so that a failure prints readable texts.
    std::string TextsFor(IDList absolute) {
        TSHIDList2 list;
        FillWith(list, absolute);
        QStringList texts;
        Show(list, [&](QMenu* menu) {
            texts = MenuTexts(menu);
            return nullptr;
        });
        return texts.join(QLatin1Char('|')).toStdString();
    }
    static std::string Joined(const QStringList& texts) { return texts.join(QLatin1Char('|')).toStdString(); }

    TempFolder temp_;
    ScriptedMessageBoxes boxes_;
    QByteArray oldDataHome_;
    QWidget window_;
    TSHPopupMenu* menu_ = new TSHPopupMenu(&window_);
    QAction* invert_ = nullptr;
    bool opened_ = false;
};

TEST_F(PopupMenu, OffersTheCommandsThatFitEachKindOfItem) {
    menu_->SetReadOnly(false);
    const QString own = invert_->text();
    EXPECT_EQ(TextsFor(PathList(temp_.File("photo.jpg"))),
              Joined({kOpen, "-", kCut, kCopy, "-", kShortcut, kDelete, kRename, "-", kProperties, own}));
    // A folder takes pastes; a drive can be neither cut, deleted nor renamed.
    EXPECT_NE(TextsFor(PathList(temp_.File("folder"))).find(kPaste.toStdString()), std::string::npos);
    EXPECT_EQ(TextsFor(platform::DriveIDList("/").release()),
              Joined({kOpen, "-", kCopy, kPaste, "-", kShortcut, "-", kProperties, own}));
    EXPECT_EQ(TextsFor(Special(sfBitBucket)), Joined({kEmptyTrash, own}));

    menu_->SetReadOnly(true);
    EXPECT_EQ(TextsFor(PathList(temp_.File("photo.jpg"))).find(kRename.toStdString()), std::string::npos);
    menu_->SetContextType(shctDefaultOnly);
    EXPECT_EQ(TextsFor(PathList(temp_.File("photo.jpg"))), Joined({kOpen, own}));
}

TEST_F(PopupMenu, ShellCommandsGoWhereInsertPosSaysAndTheFirstIsTheDefault) {
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("最後"));
    menu_->SetInsertPos(1);
    EXPECT_EQ(menu_->InsertPos(), 1u);
    TSHIDList2 list;
    FillWith(list, PathList(temp_.File("photo.jpg")));
    QStringList texts;
    QString defaultText;
    Show(list, [&](QMenu* menu) {
        texts = MenuTexts(menu);
        defaultText = menu->defaultAction() ? menu->defaultAction()->text() : QString();
        return nullptr;
    });
    ASSERT_GE(texts.size(), 3);
    EXPECT_EQ(texts[0], invert_->text());
    EXPECT_EQ(texts[1], kOpen);
    EXPECT_EQ(texts.back(), QStringLiteral("最後"));
    EXPECT_EQ(defaultText, kOpen);

    menu_->SetInsertPos(40);
    EXPECT_EQ(menu_->InsertPos(), 3u);
}

TEST_F(PopupMenu, AnOwnActionFiresAndReportsItsCommandWithSubmenusIntact) {
    QMenu* sub = menu_->addMenu(QStringLiteral("表示"));
    QAction* large = sub->addAction(QStringLiteral("大きいアイコン"));
    QSignalSpy fired(invert_, &QAction::triggered);
    QAction* after = nullptr;
    menu_->OnShAfterPopup = [&](TSHPopupMenu*, QAction* item, const TSHIDList& items) {
        after = item;
        EXPECT_EQ(items.Count(), 1);
    };
    TSHIDList2 list;
    FillWith(list, PathList(temp_.File("photo.jpg")));
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(Show(list, [&](QMenu* menu) { return ActionNamed(menu, invert_->text()); }),
                  menu_->CommandOf(invert_));
        EXPECT_EQ(after, invert_);
    }
    EXPECT_EQ(fired.count(), 3);
    EXPECT_EQ(menu_->CommandOf(invert_), 1);
    ASSERT_EQ(sub->actions().size(), 1);
    EXPECT_EQ(sub->actions()[0], large);
}

TEST_F(PopupMenu, NoMenuWithoutItemsOrWhenTheHandlerRefuses) {
    TSHIDList2 empty;
    EXPECT_EQ(Show(empty, [](QMenu*) { return nullptr; }), 0);
    EXPECT_FALSE(opened_);

    TSHIDList2 list;
    FillWith(list, PathList(temp_.File("photo.jpg")));
    QPoint seenPoint;
    menu_->OnShBeforPopup = [&](TSHPopupMenu*, const TSHIDList&, QPoint pt, bool& allow) {
        seenPoint = pt;
        allow = false;
    };
    EXPECT_EQ(Show(list, [](QMenu*) { return nullptr; }), 0);
    EXPECT_FALSE(opened_);
    EXPECT_EQ(seenPoint, QPoint(10, 10));

    // Items whose folder is gone give no menu either.
    TSHIDList2 gone;
    gone.SetParent(PathList(temp_.File("folder")));
    gone.Add(platform::MakeItem(platform::ShellItemKind::File, "inside.txt").release());
    ASSERT_EQ(rmdir(temp_.File("folder").c_str()), 0);
    menu_->OnShBeforPopup = nullptr;
    EXPECT_EQ(Show(gone, [](QMenu*) { return nullptr; }), 0);
}

TEST_F(PopupMenu, ChosenShellCommandsRunThroughTheNamespaceVerbs) {
    TSHIDList2 list;
    FillWith(list, PathList(temp_.File("photo.jpg")));
    EXPECT_EQ(Show(list, [](QMenu* menu) { return ActionNamed(menu, kCopy); }), platform::kCommandCopy + 1);
    EXPECT_EQ(platform::PathsOfShellData(QApplication::clipboard()->mimeData()),
              std::vector<std::string>{temp_.File("photo.jpg")});

    // Renaming is the caller's: nothing happens to the file.
    menu_->SetReadOnly(false);
    EXPECT_EQ(Show(list, [](QMenu* menu) { return ActionNamed(menu, kRename); }), TSHPopupMenu::kOffsetRename);
    EXPECT_TRUE(Exists(temp_.File("photo.jpg")));

    // Declining the deletion is a failed command; accepting trashes the
    // file, after leaving its folder.
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(temp_.Path())));
    boxes_.Answer(platform::MessageResult::No);
    EXPECT_EQ(Show(list, [](QMenu* menu) { return ActionNamed(menu, kDelete); }), 0);
    EXPECT_TRUE(Exists(temp_.File("photo.jpg")));
    boxes_.Answer(platform::MessageResult::Yes);
    EXPECT_EQ(Show(list, [](QMenu* menu) { return ActionNamed(menu, kDelete); }), TSHPopupMenu::kOffsetDelete);
    EXPECT_FALSE(Exists(temp_.File("photo.jpg")));
    EXPECT_EQ(platform::ListTrash().size(), 1u);
    EXPECT_EQ(QDir::currentPath(), QDir(QDir::tempPath()).canonicalPath());
}

// The status tips a window receives: its hints.
class HintRecorder : public QObject {
public:
    explicit HintRecorder(QWidget* window) { window->installEventFilter(this); }
    QStringList hints;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::StatusTip) hints << static_cast<QStatusTipEvent*>(event)->tip();
        return false;
    }
};

TEST_F(PopupMenu, HighlightedEntriesShowTheirHintsAndF1OpensTheirHelp) {
    const QString invertHint = QStringLiteral("選択されているオブジェクトと選択されていないオブジェクトを切り替えます。");
    invert_->setStatusTip(invertHint);
    invert_->setProperty(platform::kHelpContextProperty, 2110);
    window_.setProperty(platform::kHelpContextProperty, 100);
    std::vector<int> contexts;
    platform::SetHelpHandler([&](int context, QWidget* owner) {
        EXPECT_EQ(owner, &window_);
        contexts.push_back(context);
        return true;
    });
    HintRecorder recorder(&window_);
    TSHIDList2 list;
    FillWith(list, PathList(temp_.File("photo.jpg")));
    Show(list, [&](QMenu* menu) {
        menu->setActiveAction(ActionNamed(menu, invert_->text()));
        QTest::keyClick(menu, Qt::Key_F1);
        menu->setActiveAction(ActionNamed(menu, kDelete));
        QTest::keyClick(menu, Qt::Key_F1);
        return nullptr;
    });
    platform::SetHelpHandler({});

    // A shell command clears the hint before its help text goes up.
    recorder.hints.removeAll(QString());
    EXPECT_EQ(recorder.hints, (QStringList{invertHint, QStringLiteral(" "), QStringLiteral("選択された項目を削除します。")}));
    // F1 on an own entry opens its topic; elsewhere the window's.
    EXPECT_EQ(contexts, (std::vector<int>{2110, 100}));
}

}  // namespace
