#pragma once

#include <vector>

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace platform {

class Action;

// The commands of one window and the one idle pass that keeps their
// enabled and checked states current. A pass offers each command the
// focused control first (the focused widget or the control it is a part
// of), then the registered controls in order; the first one the command
// handles becomes its target, and a command without a target is disabled. The pass runs when the user has done something
// (input, focus, a window shown or hidden), at once before a menu opens or
// a key is matched against the shortcuts, and on a slow steady beat for
// changes that arrive without input (a finished decode, a watcher's
// report). A pass must stay cheap: commands read state, never walk over
// a selection or the clipboard.
class ActionList : public QObject {
    Q_OBJECT

public:
    explicit ActionList(QObject* parent = nullptr);
    ~ActionList() override;

    // Adds a command (not owned; it leaves the list when destroyed).
    void Add(Action* action);
    void Remove(Action* action);
    int Count() const { return static_cast<int>(actions_.size()); }
    Action* Items(int index) const { return actions_.at(static_cast<std::size_t>(index)); }

    // Controls offered as targets after the focused one (not owned;
    // destroyed ones drop out).
    void AddTarget(QWidget* target);

    // The idle pass over every command, now.
    void UpdateActions();
    // Updates one command and answers its target, or null.
    QObject* UpdateAction(Action* action);
    // Asks for a pass soon; several requests make one pass.
    void RequestUpdate();

    // Milliseconds between the passes of the steady beat.
    static constexpr int kSteadyIntervalMs = 250;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QObject* TargetFor(Action* action, QWidget* focused);
    QObject* UpdateOne(Action* action, QWidget* focused);

    std::vector<Action*> actions_;
    std::vector<QPointer<QWidget>> targets_;
    QTimer soon_;
    QTimer steady_;
};

}  // namespace platform
