// The object menu's handler: naming the active object.
#include <QInputDialog>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_list_view.h"

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
