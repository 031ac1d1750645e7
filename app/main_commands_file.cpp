// The file menu's handlers: saving a copy as BMP, printing, ending.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>

#include "app/main_commands.h"
#include "app/main_form.h"
#include "raster/raster.h"

namespace {

QString AskBitmapName(QWidget* owner, const QString& proposed) {
    const QFileInfo file(proposed);
    QFileDialog dialog(owner, QStringLiteral("ファイルを保存"), file.absolutePath(),
                       QStringLiteral("24ビット ビットマップ(*.bmp)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    dialog.selectFile(file.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace

QString TMainCommands::ProposedBitmapPath() const {
    const QFileInfo image(form_.Raster()->FileName());
    QString folder = image.absolutePath();
    if (!bitmapFolder_.isEmpty() && QFileInfo(bitmapFolder_).isDir()) folder = bitmapFolder_;
    return QDir(folder).filePath(image.completeBaseName() + QStringLiteral(".bmp"));
}

void TMainCommands::SaveAsBitmap() {
    const QString proposed = ProposedBitmapPath();
    const QString path = ChooseSaveFile ? ChooseSaveFile(proposed) : AskBitmapName(&form_, proposed);
    if (path.isEmpty()) return;
    bitmapFolder_ = QFileInfo(path).absolutePath();
    // The view reports its own failures.
    form_.Raster()->SaveAsBitmap(path);
}

void TMainCommands::PrinterSetup() {
    QPrintDialog dialog(&form_.Raster()->Printer(), &form_);
    dialog.setWindowTitle(QStringLiteral("プリンタの設定"));
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.exec();
}

void TMainCommands::Print() { form_.Raster()->Print(); }

void TMainCommands::Exit() { form_.close(); }
