#pragma once

#include <QObject>

#include "platform/action.h"

// The state a command shows for a target, as one idle pass works it out:
// disabled for a target it does not handle.
inline bool EnabledOn(platform::Action& action, QObject* target) {
    if (!action.HandlesTarget(target)) return false;
    action.UpdateTarget(target);
    return action.isEnabled();
}

inline bool CheckedOn(platform::Action& action, QObject* target) {
    return EnabledOn(action, target) && action.isChecked();
}
