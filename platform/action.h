#pragma once

#include <functional>

#include <QAction>
#include <QPointer>

class QObject;

namespace platform {

class ActionList;

// A command of the user interface: caption, hint, shortcut, enabled and
// checked state. It acts on a target that its action list offers it (the
// focused control first, then the controls the owner registered); the
// list's idle pass asks every command which target it handles and lets it
// recompute its state for that target. Menus, toolbars and keys only point
// at commands.
class Action : public QAction {
    Q_OBJECT

public:
    using TExecuteEvent = std::function<void(Action* Sender)>;

    explicit Action(QObject* parent = nullptr);
    ~Action() override;

    // Whether this command can act on the target.
    virtual bool HandlesTarget(QObject* Target);
    // Recomputes enabled and checked for a target it handles.
    virtual void UpdateTarget(QObject* Target);
    // The command's own effect on a target it handles.
    virtual void ExecuteTarget(QObject* Target);
    // Before acting: waits for facts about the target that its state is
    // worked out from and that are still on their way (a worker's answer),
    // so that the command acts only where its exact state allows.
    virtual void SettleState(QObject* Target);

    // The hint as "short|long": the short part is the tool tip, the long
    // part the status-bar text; without a bar both are the whole text.
    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);

    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int value) { helpContext_ = value; }

    // Sets the check mark, which a command only shows while enabled.
    void SetCheckedState(bool enabled, bool checked);

    // The list whose idle pass updates this command, or null.
    ActionList* List() const;

    // Runs the command now on the target its list offers: the owner's
    // handler when one is assigned, else the command's own effect. False
    // when the command is disabled or finds no target.
    bool Execute();

    // The owner's handler; when assigned it replaces the command's own
    // effect, while the enabled and checked rules stay.
    TExecuteEvent OnExecute;

private:
    friend class ActionList;

    QString hint_;
    int helpContext_ = 0;
    QPointer<ActionList> list_;
};

}  // namespace platform
