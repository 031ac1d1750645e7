// The shown image sent out of the view: to a BMP file, to the printer,
// to the clipboard.
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QScopedValueRollback>

#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "platform/replacing_file.h"
#include "raster/dib_painter.h"
#include "raster/dib_view.h"
#include "raster/raster.h"

namespace {

int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

void Warn(QWidget* owner, const QString& text) {
    platform::ShowMessage(owner, text, platform::MessageIcon::Warning);
}

void PutLittle16(std::uint8_t* p, std::uint32_t value) {
    p[0] = std::uint8_t(value);
    p[1] = std::uint8_t(value >> 8);
}

void PutLittle32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(value >> (8 * i));
}

// Dots per inch to pixels per metre, rounded to nearest, halves to even.
std::uint32_t PixelsPerMetre(int dotsPerInch) {
    return static_cast<std::uint32_t>(std::nearbyint(dotsPerInch / 0.0254));
}

}  // namespace

bool TRaster::SaveAsBitmap(const QString& path) {
    if (!HasImage()) return false;
    const platform::HourglassCursor hourglass;
    const TDibView& dib = document_->Image()->Dib();
    const int width = dib.Width();
    const int height = dib.Height();
    const std::size_t stride = SPI_DibStride(width, 24);
    const std::uint64_t imageBytes = std::uint64_t(stride) * std::uint64_t(height);
    constexpr std::uint32_t kHeadersSize = 14 + 40;

    QString failure;
    if (imageBytes + kHeadersSize > std::numeric_limits<std::uint32_t>::max())
        failure = QStringLiteral("画像が大きすぎて BMP ファイルにできません。");

    // The new file replaces the old one only once it is complete.
    std::unique_ptr<platform::ReplacingFile> file;
    if (failure.isEmpty()) file = platform::ReplacingFile::Create(platform::PathBytes(path), failure);
    if (file) {
        std::uint8_t headers[kHeadersSize] = {};
        headers[0] = 'B';
        headers[1] = 'M';
        PutLittle32(headers + 2, std::uint32_t(imageBytes + kHeadersSize));
        PutLittle32(headers + 10, kHeadersSize);
        PutLittle32(headers + 14, 40);
        PutLittle32(headers + 18, std::uint32_t(width));
        PutLittle32(headers + 22, std::uint32_t(height));
        PutLittle16(headers + 26, 1);
        PutLittle16(headers + 28, 24);
        PutLittle32(headers + 34, std::uint32_t(imageBytes));
        PutLittle32(headers + 38, PixelsPerMetre(Info().XDensity));
        PutLittle32(headers + 42, PixelsPerMetre(Info().YDensity));
        bool written = file->Write(headers, kHeadersSize, failure);

        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width));
        std::vector<char> row(stride, '\0');
        for (int y = height - 1; written && y >= 0; --y) {
            dib.ReadRow(y, 0, width, pixels.data());
            for (int x = 0; x < width; ++x) {
                const std::uint32_t color = pixels[std::size_t(x)];
                row[3 * std::size_t(x)] = char(color & 0xFF);
                row[3 * std::size_t(x) + 1] = char((color >> 8) & 0xFF);
                row[3 * std::size_t(x) + 2] = char((color >> 16) & 0xFF);
            }
            written = file->Write(row.data(), std::int64_t(stride), failure);
        }
        if (written) file->Commit(failure);
    }
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
