// The tools and help menus' handlers: the image copy, the program's home
// page, the support report and the version window.
#include <QCoreApplication>
#include <QInputDialog>
#include <QUrl>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "dialogs/copy_image_dialog.h"
#include "dialogs/option_settings.h"
#include "dialogs/options_dialog.h"
#include "dialogs/plugin_folder_dialog.h"
#include "dialogs/support_report_dialog.h"
#include "dialogs/version_dialog.h"
#include "platform/message_box.h"
#include "platform/registered_applications.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"

QString TMainCommands::HomePageAddress() { return QStringLiteral("https://kelvandor.example.org/"); }

namespace {

std::optional<QString> AskName(QWidget* owner, const QString& prompt) {
    bool confirmed = false;
    const QString text = QInputDialog::getText(owner, QString(), prompt, QLineEdit::Normal, QString(), &confirmed);
    if (!confirmed) return std::nullopt;
    return text;
}

}  // namespace

void TMainCommands::EditObject() {
    TRaster& raster = *form_.Raster();
    TRasterObject* object = raster.ActiveLayer() ? raster.ActiveLayer()->ActiveObject() : nullptr;
    if (object == nullptr) return;
    const std::optional<QString> name = AskText ? AskText(object->Name()) : AskName(&form_, object->Name());
    if (!name) return;
    object->SetName(*name);
    raster.SetModified(true);
    form_.RasterListView()->Refresh();
}

void TMainCommands::PluginSettings() {
    TPluginFolderDialog dialog(&form_, form_.Raster()->Plugs());
    // The list shows what the plug-ins of the new folder read.
    if (dialog.exec() == QDialog::Accepted) form_.Refresh();
}

void TMainCommands::Options() {
    TOptionsDialog dialog(&form_, form_.OptionSettings());
    if (dialog.exec() == QDialog::Accepted) form_.SetOptionSettings(dialog.Settings());
}

void TMainCommands::CopyImage() {
    TCopyImageDialog dialog(&form_, form_.Raster());
    dialog.exec();
}

void TMainCommands::HomePage() {
    const QUrl address(HomePageAddress());
    QString reason;
    const bool opened = OpenAddress ? OpenAddress(address) : platform::OpenInWebBrowser(address, &reason);
    if (!opened)
        platform::ShowMessage(&form_,
                              QStringLiteral("ホームページ %1 を開けません。\n%2").arg(address.toString(), reason).trimmed(),
                              platform::MessageIcon::Error);
}

void TMainCommands::ShowVersion() {
    TVersionDialog dialog(&form_);
    dialog.exec();
}
