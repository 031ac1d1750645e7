#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>

#include "platform/action.h"
#include "platform/action_list.h"

using platform::Action;
using platform::ActionList;

namespace {

// Acts on line edits: enabled when the edit is not read-only, checked when
// it holds text; its effect appends a mark to the target's text.
class EditAction : public Action {
public:
    bool HandlesTarget(QObject* Target) override {
        auto* edit = qobject_cast<QLineEdit*>(Target);
        return edit && edit->isVisible();
    }
    void UpdateTarget(QObject* Target) override {
        auto* edit = static_cast<QLineEdit*>(Target);
        SetCheckedState(!edit->isReadOnly(), !edit->text().isEmpty());
    }
    void ExecuteTarget(QObject* Target) override {
        auto* edit = static_cast<QLineEdit*>(Target);
        edit->setText(edit->text() + QStringLiteral("*"));
    }
};

struct Window {
    Window() {
        first = new QLineEdit(&widget);
        second = new QLineEdit(&widget);
        second->move(0, 40);
        widget.show();
        action.setCheckable(true);
        list.Add(&action);
    }
    QWidget widget;
    QLineEdit* first;
    QLineEdit* second;
    EditAction action;
    ActionList list;
};

}  // namespace

TEST(ActionListTest, OffersTheFocusedControlFirstThenTheRegisteredOnes) {
    Window window;
    window.list.AddTarget(window.first);
    window.list.AddTarget(window.second);
    window.second->setText(QStringLiteral("b"));

    // Nothing focused: the first registered control is the target.
    window.list.UpdateActions();
    EXPECT_TRUE(window.action.isEnabled());
    EXPECT_FALSE(window.action.isChecked());
    window.action.trigger();
    EXPECT_EQ(window.first->text(), QStringLiteral("*"));

    // The focused control wins over the order of registration.
    window.widget.activateWindow();
    QDeadlineTimer deadline(5000);
    while (QApplication::activeWindow() != &window.widget && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    window.second->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), window.second);
    window.list.UpdateActions();
    EXPECT_TRUE(window.action.isChecked());
    window.action.trigger();
    EXPECT_EQ(window.second->text(), QStringLiteral("b*"));
    EXPECT_EQ(window.first->text(), QStringLiteral("*"));
}

// Acts on frames: a control made of parts, which never holds the focus
// itself.
class FrameAction : public Action {
public:
    bool HandlesTarget(QObject* Target) override { return qobject_cast<QFrame*>(Target) != nullptr; }
    void UpdateTarget(QObject* Target) override { SetCheckedState(true, Target->objectName() == "focused"); }
};

TEST(ActionListTest, AControlWhosePartHasTheFocusComesBeforeTheRegisteredOnes) {
    QWidget widget;
    auto* other = new QFrame(&widget);
    auto* composite = new QFrame(&widget);
    composite->setObjectName(QStringLiteral("focused"));
    composite->move(0, 40);
    auto* part = new QLineEdit(composite);
    widget.show();
    FrameAction action;
    action.setCheckable(true);
    ActionList list;
    list.Add(&action);
    list.AddTarget(other);
    list.AddTarget(composite);

    widget.activateWindow();
    QDeadlineTimer deadline(5000);
    while (QApplication::activeWindow() != &widget && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    part->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), part);
    list.UpdateActions();
    EXPECT_TRUE(action.isChecked());
}

TEST(ActionListTest, ACommandWithoutTargetIsDisabledAndShowsNoCheck) {
    Window window;
    window.list.AddTarget(window.first);
    window.first->setText(QStringLiteral("a"));
    window.list.UpdateActions();
    EXPECT_TRUE(window.action.isChecked());

    // A hidden control is no target; a read-only one disables the command,
    // and its check mark goes with it.
    window.first->setReadOnly(true);
    window.list.UpdateActions();
    EXPECT_FALSE(window.action.isEnabled());
    EXPECT_FALSE(window.action.isChecked());
    window.first->setReadOnly(false);
    window.first->hide();
    window.list.UpdateActions();
    EXPECT_FALSE(window.action.isEnabled());
    EXPECT_FALSE(window.action.isChecked());
    EXPECT_FALSE(window.action.Execute());
    EXPECT_EQ(window.first->text(), QStringLiteral("a"));

    // A destroyed control drops out of the offer.
    window.first->show();
    delete window.first;
    window.list.UpdateActions();
    EXPECT_FALSE(window.action.isEnabled());
}

TEST(ActionListTest, ExecuteChecksTheStateAgainAndTheOwnersHandlerReplacesTheEffect) {
    Window window;
    window.list.AddTarget(window.first);
    window.list.UpdateActions();
    ASSERT_TRUE(window.action.isEnabled());

    // The state shown is a pass old; the target became read-only since.
    window.first->setReadOnly(true);
    EXPECT_FALSE(window.action.Execute());
    EXPECT_TRUE(window.first->text().isEmpty());

    window.first->setReadOnly(false);
    int handled = 0;
    window.action.OnExecute = [&](Action* sender) {
        EXPECT_EQ(sender, &window.action);
        ++handled;
    };
    EXPECT_TRUE(window.action.Execute());
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(window.first->text().isEmpty());
}

TEST(ActionListTest, OpeningAMenuUpdatesItsCommandsFirst) {
    Window window;
    window.list.AddTarget(window.first);
    window.list.UpdateActions();
    ASSERT_TRUE(window.action.isEnabled());
    window.first->setReadOnly(true);

    QMenu menu;
    menu.addAction(&window.action);
    menu.popup(QPoint(0, 0));
    EXPECT_FALSE(window.action.isEnabled());
    menu.close();
}

TEST(ActionListTest, ARequestedPassRunsOnceFromTheEventLoop) {
    Window window;
    window.list.AddTarget(window.first);
    window.first->setReadOnly(true);
    window.list.RequestUpdate();
    window.list.RequestUpdate();
    EXPECT_TRUE(window.action.isEnabled());
    QApplication::processEvents();
    EXPECT_FALSE(window.action.isEnabled());
}

TEST(ActionListTest, HintsSplitIntoToolTipAndStatusText) {
    Action action;
    action.SetHint(QStringLiteral("短い|長い説明"));
    EXPECT_EQ(action.toolTip(), QStringLiteral("短い"));
    EXPECT_EQ(action.statusTip(), QStringLiteral("長い説明"));
    action.SetHint(QStringLiteral("一つだけ"));
    EXPECT_EQ(action.toolTip(), QStringLiteral("一つだけ"));
    EXPECT_EQ(action.statusTip(), QStringLiteral("一つだけ"));
}

TEST(ActionListTest, CommandsAndListsMayGoInAnyOrder) {
    auto list = std::make_unique<ActionList>();
    auto action = std::make_unique<EditAction>();
    list->Add(action.get());
    EXPECT_EQ(list->Count(), 1);
    action.reset();
    EXPECT_EQ(list->Count(), 0);
    list->UpdateActions();

    auto survivor = std::make_unique<EditAction>();
    list->Add(survivor.get());
    list.reset();
    EXPECT_EQ(survivor->List(), nullptr);
    EXPECT_FALSE(survivor->Execute());
}
