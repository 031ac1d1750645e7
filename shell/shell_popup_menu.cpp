#include "shell/shell_popup_menu.h"

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QStatusTipEvent>

#include "platform/application_help.h"
#include "platform/shell_context_menu.h"

namespace {

constexpr int kLastCommandId = 0x7FFF;

// Calls onHelp for F1 pressed in the menu it watches, which keeps the key.
class HelpKeyFilter : public QObject {
public:
    explicit HelpKeyFilter(std::function<void()> onHelp) : onHelp_(std::move(onHelp)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
            return QObject::eventFilter(watched, event);
        onHelp_();
        return true;
    }

private:
    std::function<void()> onHelp_;
};

// The application's hint is what its window shows in the status bar: a
// status tip sent to the window.
void SetApplicationHint(QWidget* window, const QString& hint) {
    QStatusTipEvent tip(hint);
    QCoreApplication::sendEvent(window, &tip);
}

}  // namespace

TSHPopupMenu::TSHPopupMenu(QWidget* parent) : QMenu(parent) {}

unsigned TSHPopupMenu::InsertPos() const {
    return std::min(insertPos_, static_cast<unsigned>(actions().size()));
}

int TSHPopupMenu::CommandOf(const QAction* action) const {
    const int index = static_cast<int>(actions().indexOf(const_cast<QAction*>(action)));
    return index < 0 ? 0 : index + 1;
}

unsigned TSHPopupMenu::ShellMenuFlags() const {
    unsigned flags = platform::kMenuExplore;
    if (contextType_ == shctNormal) flags = platform::kMenuNormal;
    if (contextType_ == shctDefaultOnly) flags = platform::kMenuDefaultOnly;
    if (!readOnly_) flags |= platform::kMenuCanRename;
    return flags;
}

QWidget* TSHPopupMenu::OwnerWindow() const {
    if (QWidget* owner = parentWidget()) return owner->window();
    return QApplication::activeWindow();
}

// The own actions are shared, not copied, so their submenus, check marks
// and shortcuts stay theirs; the highest command id is returned.
int TSHPopupMenu::AppendOwnActions(QMenu& menu) const {
    for (QAction* action : actions())
        if (action->isVisible()) menu.addAction(action);
    return static_cast<int>(actions().size());
}

int TSHPopupMenu::Popup(const TSHIDList& items, QPoint screenPoint) {
    if (items.Count() == 0) return 0;
    const ShellFolderPtr folder = items.Folder();
    if (!folder) return 0;
    QWidget* owner = OwnerWindow();
    bool allowPopup = true;
    if (OnShBeforPopup) OnShBeforPopup(this, items, screenPoint, allowPopup);
    if (!allowPopup || !owner) return 0;
    const std::unique_ptr<platform::ShellContextMenu> shellMenu =
        folder->GetContextMenu(owner, std::vector<const platform::ItemIDList*>(items.Items(), items.Items() + items.Count()));
    if (!shellMenu) return 0;

    QMenu menu(owner);
    const int highest = AppendOwnActions(menu);
    const int position = std::min(static_cast<int>(InsertPos()), highest);
    shellMenu->QueryContextMenu(&menu, position, highest + 1, kLastCommandId, ShellMenuFlags());
    if (position < menu.actions().size()) menu.setDefaultAction(menu.actions()[position]);

    QObject::connect(&menu, &QMenu::hovered, &menu, [&](QAction* action) {
        ShowHint(owner, action, highest, *shellMenu);
    });
    HelpKeyFilter helpKeys([&] { ShowHelp(owner, menu.activeAction()); });
    menu.installEventFilter(&helpKeys);

    QAction* chosen = menu.exec(screenPoint);
    if (!chosen) return 0;
    if (const int command = CommandOf(chosen)) {
        if (OnShAfterPopup) OnShAfterPopup(this, chosen, items);
        return command;
    }
    const int offset = chosen->data().toInt() - highest;
    if (offset == kOffsetRename) return offset;
    // The items may be deleted: the process must not stand in them.
    if (offset == kOffsetDelete) QDir::setCurrent(QDir::tempPath());
    if (ShellVerbRunning()) return 0;
    const TShellVerbRunning running;
    return shellMenu->InvokeCommand(owner, offset - 1) ? offset : 0;
}

// An own entry shows its long hint; a shell command first clears the hint
// and then shows the command's help text when there is one.
void TSHPopupMenu::ShowHint(QWidget* owner, QAction* action, int highest,
                            const platform::ShellContextMenu& shellMenu) const {
    if (!action || action->isSeparator()) return;
    if (CommandOf(action)) {
        SetApplicationHint(owner, action->statusTip());
        return;
    }
    SetApplicationHint(owner, QStringLiteral(" "));
    const QString help = shellMenu.GetCommandString(action->data().toInt() - highest - 1);
    if (!help.isEmpty()) SetApplicationHint(owner, help);
}

// F1 opens the help of the highlighted own entry, else that of the window
// the menu belongs to.
void TSHPopupMenu::ShowHelp(QWidget* owner, QAction* highlighted) const {
    int context = highlighted && CommandOf(highlighted) ? platform::HelpContextOf(highlighted) : 0;
    if (context == 0) {
        QWidget* window = QApplication::activeWindow() ? QApplication::activeWindow() : owner;
        context = platform::HelpContextOf(window);
    }
    platform::ShowHelpContext(context, owner);
}
