#include "platform/action.h"

#include "platform/action_list.h"

namespace platform {

Action::Action(QObject* parent) : QAction(parent) {
    connect(this, &QAction::triggered, this, [this] { Execute(); });
}

Action::~Action() {
    if (list_) list_->Remove(this);
}

ActionList* Action::List() const { return list_; }

bool Action::HandlesTarget(QObject*) { return false; }

void Action::UpdateTarget(QObject*) {}

void Action::ExecuteTarget(QObject*) {}

void Action::SettleState(QObject*) {}

void Action::SetHint(const QString& hint) {
    hint_ = hint;
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    setToolTip(bar < 0 ? hint : hint.left(bar));
    setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

void Action::SetCheckedState(bool enabled, bool checked) {
    setEnabled(enabled);
    setChecked(enabled && checked);
}

bool Action::Execute() {
    // The state shown may be a pass old, or worked out while facts were
    // on their way: ask again, once they have come, before acting.
    QObject* target = list_ ? list_->UpdateAction(this) : nullptr;
    if (target) {
        SettleState(target);
        target = list_ ? list_->UpdateAction(this) : nullptr;
    }
    if (!isEnabled()) return false;
    if (OnExecute)
        OnExecute(this);
    else if (target)
        ExecuteTarget(target);
    else
        return false;
    // Running a command changes what the others may do.
    if (list_) list_->UpdateActions();
    return true;
}

}  // namespace platform
