// The file menu's handlers: saving a copy as BMP, printing, ending.
#include <QFileDialog>
#include <QPrintDialog>
#include <QStandardPaths>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "raster/raster.h"

namespace {

QString AskBitmapName(QWidget* owner) {
    QFileDialog dialog(owner, QStringLiteral("ファイルを保存"),
                       QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                       QStringLiteral("24ビット ビットマップ(*.bmp)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace

void TMainCommands::Action1050Execute() {
    const QString path = ChooseSaveFile ? ChooseSaveFile() : AskBitmapName(&form_);
    // The view reports its own failures.
    if (!path.isEmpty()) form_.Raster()->SaveAsBitmap(path);
}

void TMainCommands::Action1060Execute() {
    QPrintDialog dialog(&form_.Raster()->Printer(), &form_);
    dialog.setWindowTitle(QStringLiteral("プリンタの設定"));
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.exec();
}

void TMainCommands::Action1070Execute() { form_.Raster()->Print(); }

void TMainCommands::Action1120Execute() { form_.close(); }
