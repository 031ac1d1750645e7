#include "help_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>

#include "platform/application_paths.h"
#include "platform/message_box.h"
#include "platform/registered_applications.h"

namespace {

QUrl TopicUrl(const QString& helpFile, int context) {
    QUrl url = QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
    if (context != 0) url.setFragment(QString::number(context));
    return url;
}

}  // namespace

QString HelpFilePathFor(const QString& executable) {
    const QFileInfo program(executable);
    const QString name = program.completeBaseName() + QStringLiteral(".html");
    const QString beside = program.path() + QLatin1Char('/') + name;
    if (QFileInfo(beside).isFile()) return beside;
    const QString installed = QString::fromStdString(
        platform::JoinPath(platform::InstalledDataFolder(program.path().toStdString()), name.toStdString()));
    return QFileInfo(installed).isFile() ? installed : beside;
}

QString HelpFilePath() { return HelpFilePathFor(QCoreApplication::applicationFilePath()); }

bool ShowHelpFile(const QString& helpFile, int context, QWidget* owner) {
    if (!QFileInfo(helpFile).isFile()) {
        platform::ShowMessage(
            owner,
            QStringLiteral("ヘルプ ファイル「%1」が見つかりません。").arg(helpFile),
            platform::MessageIcon::Error);
        return false;
    }
    QString reason;
    if (platform::OpenInWebBrowser(TopicUrl(helpFile, context), &reason)) return true;
    platform::ShowMessage(owner,
                          QStringLiteral("ヘルプを表示できません。%1\n\n"
                                         "マニュアルは次の HTML ファイルです。ウェブ ブラウザをインストールするか、"
                                         "HTML を表示できるプログラムでこのファイルを開いてください。\n%2")
                              .arg(reason, QDir::toNativeSeparators(QFileInfo(helpFile).absoluteFilePath())),
                          platform::MessageIcon::Error);
    return false;
}

bool ShowHelp(int context, QWidget* owner) { return ShowHelpFile(HelpFilePath(), context, owner); }

QPushButton* MakeHelpButton(int context, QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("ヘルプ(&H)"), parent);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, button,
                     [button, context] { ShowHelp(context, button->window()); });
    // In a dialog the main window's F1 does not reach: the dialog's own does.
    auto* key = new QShortcut(QKeySequence::HelpContents, parent);
    QObject::connect(key, &QShortcut::activated, button, &QPushButton::click);
    return button;
}
