// The shown image sent out of the view: to a BMP file, to the printer,
// to the clipboard.
#include <cmath>
#include <memory>

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QScopedValueRollback>

#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "raster/bmp_file.h"
#include "raster/dib_painter.h"
#include "raster/raster.h"

namespace {

int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

void Warn(QWidget* owner, const QString& text) {
    platform::ShowMessage(owner, text, platform::MessageIcon::Warning);
}

}  // namespace

bool TRaster::SaveAsBitmap(const QString& path) {
    if (!HasImage()) return false;
    const platform::HourglassCursor hourglass;
    const QString failure = WriteBmpFile(document_->Image()->Dib(), Info().XDensity, Info().YDensity, path);
    if (failure.isEmpty()) return true;
    Warn(this, QStringLiteral("BMP ファイルを保存できません。\n%1\n%2").arg(path, failure));
    return false;
}

QPrinter& TRaster::Printer() {
    if (printer_ == nullptr) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

void TRaster::Print() {
    if (!HasImage()) return;
    QPrinter& printer = Printer();
    const QScopedValueRollback<bool> printing(printing_, true);
    printer.setDocName(platform::ShownText(QFileInfo(FileName()).fileName()));

    QPainter canvas;
    if (!canvas.begin(&printer)) {
        Warn(this, QStringLiteral("印刷を開始できません。"));
        return;
    }
    const double pageWidth = printer.width();
    const double pageHeight = printer.height();
    const double w = viewRight_ - viewLeft_ > 0 ? viewRight_ - viewLeft_ : 1.0;
    const double h = viewBottom_ - viewTop_ > 0 ? viewBottom_ - viewTop_ : 1.0;
    double pw = 0;
    double ph = 0;
    if (w > h) {
        ph = std::min(h * (pageWidth / w), pageHeight);
        pw = std::min(w / h * ph, pageWidth);
    } else {
        pw = std::min(w * (pageHeight / h), pageWidth);
        ph = std::min(h / w * pw, pageHeight);
    }
    const int left = Round(pageWidth / 2 - pw / 2);
    const int top = Round(pageHeight / 2 - ph / 2);
    const QRect page(left, top, Round(pw / 2 + pageWidth / 2) - left, Round(ph / 2 + pageHeight / 2) - top);
    const QRect source(QPoint(Round(viewLeft_), Round(viewTop_)), QPoint(Round(viewRight_), Round(viewBottom_)));
    DrawImage(canvas, page, source);
    if (!canvas.end()) Warn(this, QStringLiteral("印刷できませんでした。"));
}

void TRaster::CopyToClipboard(int mode) {
    if (!HasImage()) return;
    const QRect source(QPoint(Round(viewLeft_), Round(viewTop_)), QPoint(Round(viewRight_), Round(viewBottom_)));
    const QSize size = mode == 0 ? source.size() : QSize(dispRight_ - dispLeft_, dispBottom_ - dispTop_);
    if (size.isEmpty()) return;
    const QImage image = dibPainter_->StretchNearest(size, source);
    if (image.isNull()) {
        Warn(this, QStringLiteral("クリップボードにコピーするためのメモリーが足りません。"));
        return;
    }
    QGuiApplication::clipboard()->setImage(image.convertToFormat(QImage::Format_RGB888));
}
