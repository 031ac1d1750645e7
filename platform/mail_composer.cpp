#include "mail_composer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

void ComposeMail(const QString& address, const QString& subject, const QString& body, QObject* context,
                 std::function<void(bool)> done) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty()) {
        QMetaObject::invokeMethod(context, [done] { done(false); }, Qt::QueuedConnection);
        return;
    }
    // The process belongs to the application, not to the caller: a mail
    // program that xdg-email starts in the foreground must not be killed
    // when the window that asked for it closes.
    auto* process = new QProcess(QCoreApplication::instance());
    QObject::connect(process, &QProcess::finished, context, [done](int exitCode, QProcess::ExitStatus status) {
        done(status == QProcess::NormalExit && exitCode == 0);
    });
    QObject::connect(process, &QProcess::errorOccurred, context, [done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) done(false);
    });
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) process->deleteLater();
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(program, {QStringLiteral("--utf8"), QStringLiteral("--subject"), subject, QStringLiteral("--body"),
                             body, address});
}

}  // namespace platform
