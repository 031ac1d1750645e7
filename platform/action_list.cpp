#include "platform/action_list.h"

#include <algorithm>

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QWidget>

#include "platform/action.h"

namespace platform {

ActionList::ActionList(QObject* parent) : QObject(parent) {
    soon_.setSingleShot(true);
    soon_.setInterval(0);
    connect(&soon_, &QTimer::timeout, this, &ActionList::UpdateActions);
    steady_.setInterval(kSteadyIntervalMs);
    connect(&steady_, &QTimer::timeout, this, &ActionList::UpdateActions);
    steady_.start();
    qApp->installEventFilter(this);
}

ActionList::~ActionList() {
    qApp->removeEventFilter(this);
    for (Action* action : actions_) action->list_ = nullptr;
}

void ActionList::Add(Action* action) {
    if (!action || action->list_ == this) return;
    if (action->list_) action->list_->Remove(action);
    actions_.push_back(action);
    action->list_ = this;
    RequestUpdate();
}

void ActionList::Remove(Action* action) {
    const auto found = std::find(actions_.begin(), actions_.end(), action);
    if (found == actions_.end()) return;
    actions_.erase(found);
    action->list_ = nullptr;
}

void ActionList::AddTarget(QWidget* target) {
    if (!target) return;
    targets_.emplace_back(target);
    RequestUpdate();
}

QObject* ActionList::TargetFor(Action* action, QWidget* focused) {
    // A control built of parts (a list with its views) holds the focus in
    // one of its parts: the focused widget's own controls come first.
    for (QWidget* control = focused; control != nullptr; control = control->parentWidget())
        if (action->HandlesTarget(control)) return control;
    for (const QPointer<QWidget>& target : targets_)
        if (target && target != focused && action->HandlesTarget(target)) return target;
    return nullptr;
}

QObject* ActionList::UpdateOne(Action* action, QWidget* focused) {
    QObject* target = TargetFor(action, focused);
    if (target)
        action->UpdateTarget(target);
    else
        action->SetCheckedState(false, false);
    return target;
}

QObject* ActionList::UpdateAction(Action* action) { return UpdateOne(action, QApplication::focusWidget()); }

void ActionList::UpdateActions() {
    soon_.stop();
    std::erase_if(targets_, [](const QPointer<QWidget>& target) { return target.isNull(); });
    QWidget* focused = QApplication::focusWidget();
    for (Action* action : actions_) UpdateOne(action, focused);
}

void ActionList::RequestUpdate() {
    if (!soon_.isActive()) soon_.start();
}

bool ActionList::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        UpdateActions();
        break;
    case QEvent::Show:
        if (qobject_cast<QMenu*>(watched))
            UpdateActions();
        else
            RequestUpdate();
        break;
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
    case QEvent::FocusIn:
    case QEvent::Hide:
    case QEvent::WindowActivate:
        RequestUpdate();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace platform
