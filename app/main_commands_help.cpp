// The help menu's handlers: the manual, the program's home page, the
// support report and the version window.
#include <QCoreApplication>
#include <QUrl>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "components/help_file.h"
#include "dialogs/support_report_dialog.h"
#include "dialogs/version_dialog.h"
#include "platform/message_box.h"
#include "platform/registered_applications.h"

void TMainCommands::HelpContents() { ShowHelp(0, &form_); }

QString TMainCommands::HomePageAddress() { return QStringLiteral("https://kelvandor.example.org/"); }

void TMainCommands::HomePage() {
    const QUrl address(HomePageAddress());
    QString reason;
    const bool opened = OpenAddress ? OpenAddress(address) : platform::OpenInWebBrowser(address, &reason);
    if (!opened)
        platform::ShowMessage(&form_,
                              QStringLiteral("ホームページ %1 を開けません。\n%2").arg(address.toString(), reason).trimmed(),
                              platform::MessageIcon::Error);
}

void TMainCommands::SendSupportReport() {
    TSupportReportDialog dialog(&form_, SupportAddress(), QCoreApplication::applicationFilePath());
    dialog.exec();
}

void TMainCommands::ShowVersion() {
    TVersionDialog dialog(&form_);
    dialog.exec();
}
