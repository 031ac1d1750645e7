#pragma once

#include <functional>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

// Acts on the next popup menu that opens (a context menu runs its own
// event loop): the step sees the open menu and returns the action to
// choose, or null to dismiss the menu.
class PopupDriver {
public:
    using TStep = std::function<QAction*(QMenu* menu)>;

    explicit PopupDriver(TStep step) : step_(std::move(step)), timer_(std::make_unique<QTimer>()) {
        timer_->setInterval(10);
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { Poll(); });
        timer_->start();
    }

    bool Opened() const { return opened_; }

private:
    void Poll() {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        timer_->stop();
        opened_ = true;
        if (QAction* action = step_(menu)) {
            menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            QTest::keyClick(menu, Qt::Key_Escape);
        }
    }

    TStep step_;
    std::unique_ptr<QTimer> timer_;
    bool opened_ = false;
};

// The texts of a menu's enabled, visible actions, separators as "-".
inline QStringList MenuTexts(const QMenu* menu, bool enabledOnly = false) {
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        if (!action->isVisible() || (enabledOnly && !action->isEnabled() && !action->isSeparator())) continue;
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

inline QAction* ActionNamed(const QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    return nullptr;
}
