#pragma once

#include <QString>

class QWidget;

namespace platform {

enum class MessageIcon { Information, Warning, Error, Question };

// Button sets of the prompts the program asks.
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };

enum class MessageResult { Ok, Cancel, Yes, No };

// Every modal prompt of the program goes through this service, so that
// tests can see the messages and answer the questions.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual MessageResult Show(QWidget* owner, const QString& text, MessageIcon icon,
                               MessageButtons buttons) = 0;
};

// The service in use: the QMessageBox one unless a test installed another.
MessageBoxService& MessageBoxes();

// Installs a service (null restores the QMessageBox one). The caller keeps
// ownership and must outlive its use.
void SetMessageBoxService(MessageBoxService* service);

// Shorthand for MessageBoxes().Show(...).
MessageResult ShowMessage(QWidget* owner, const QString& text, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::Ok);

}  // namespace platform
