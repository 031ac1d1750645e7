#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/action.h"

class TSHTreeView;

// What the shell command families share: an optional assigned control
// (not owned; forgotten when it is destroyed) that, once set, is the only
// target the command takes, and the rule that a target must be visible.
class TSHAction : public platform::Action {
public:
    explicit TSHAction(QObject* parent = nullptr) : platform::Action(parent) {}

    QWidget* Control() const { return control_; }
    void SetControl(QWidget* control) { control_ = control; }

protected:
    // With an assigned control only that one; otherwise a control that
    // ofFamilyClass accepts. Either way it must be visible.
    bool TakesTarget(QObject* target, bool ofFamilyClass) const {
        auto* widget = qobject_cast<QWidget*>(target);
        if (!widget) return false;
        if (control_ ? widget != control_ : !ofFamilyClass) return false;
        return widget->isVisible();
    }

    void SetTexts(const QString& caption, const QString& hint) {
        setText(caption);
        SetHint(hint);
    }

private:
    QPointer<QWidget> control_;
};

// The file-system path of the tree's selected folder, "" without one; the
// desktop counts through its directory.
QString SelectedFolderPath(const TSHTreeView& tree);
