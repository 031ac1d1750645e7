// The tools and help menus' handlers: the image copy, the program's home
// page, the support report and the version window.
#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "dialogs/sub8030.h"
#include "dialogs/sub9030.h"
#include "dialogs/sub9040.h"
#include "platform/message_box.h"
#include "raster/raster.h"

QString TMainCommands::HomePageAddress() { return QStringLiteral("https://kelvandor.example.org/"); }

void TMainCommands::Action8030Execute() {
    TSubForm8030 dialog(&form_, form_.Raster());
    dialog.exec();
}

void TMainCommands::Action9020Execute() {
    const QUrl address(HomePageAddress());
    const bool opened = OpenAddress ? OpenAddress(address) : QDesktopServices::openUrl(address);
    if (!opened)
        platform::ShowMessage(&form_, QStringLiteral("ホームページ %1 を開けません。").arg(address.toString()),
                              platform::MessageIcon::Error);
}

void TMainCommands::Action9040Execute() {
    TSubForm9040 dialog(&form_);
    dialog.exec();
}
