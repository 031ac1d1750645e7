#pragma once

#include <functional>

#include <QString>

class QObject;

namespace platform {

// Opens a new message to address with subject and body in the user's mail
// program (through xdg-email), for the user to complete and send there.
// done runs later on the main thread, unless context is gone by then:
// true once the mail program took the message, false when none could be
// started (no xdg-email, or no mail program configured).
void ComposeMail(const QString& address, const QString& subject, const QString& body, QObject* context,
                 std::function<void(bool)> done);

}  // namespace platform
