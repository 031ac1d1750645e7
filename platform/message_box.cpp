#include "message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {
namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

MessageResult FromQtButton(int button) {
    switch (button) {
    case QMessageBox::Ok: return MessageResult::Ok;
    case QMessageBox::Yes: return MessageResult::Yes;
    case QMessageBox::No: return MessageResult::No;
    default: return MessageResult::Cancel;
    }
}

class QtMessageBoxService final : public MessageBoxService {
public:
    MessageResult Show(QWidget* owner, const QString& text, MessageIcon icon,
                       MessageButtons buttons) override {
        QWidget* parent = owner != nullptr ? owner : QApplication::activeWindow();
        QMessageBox box(ToQtIcon(icon), QApplication::applicationDisplayName(), text,
                        ToQtButtons(buttons), parent);
        return FromQtButton(box.exec());
    }
};

QtMessageBoxService qtService;
MessageBoxService* current = &qtService;

}  // namespace

MessageBoxService& MessageBoxes() { return *current; }

void SetMessageBoxService(MessageBoxService* service) {
    current = service != nullptr ? service : &qtService;
}

MessageResult ShowMessage(QWidget* owner, const QString& text, MessageIcon icon,
                          MessageButtons buttons) {
    return MessageBoxes().Show(owner, text, icon, buttons);
}

}  // namespace platform
