#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects what Qt prints (warnings and the like) while it lives, instead
// of letting it reach the output, so that a test can fail on a message.
class QtMessages {
public:
    QtMessages() : previous_(qInstallMessageHandler(&Record)) { Collected().clear(); }
    ~QtMessages() { qInstallMessageHandler(previous_); }
    QtMessages(const QtMessages&) = delete;
    QtMessages& operator=(const QtMessages&) = delete;

    // The messages printed so far that contain part.
    QStringList Containing(const QString& part) const { return Collected().filter(part); }

private:
    static QStringList& Collected() {
        static QStringList messages;
        return messages;
    }
    static void Record(QtMsgType, const QMessageLogContext&, const QString& text) { Collected() << text; }

    QtMessageHandler previous_;
};
