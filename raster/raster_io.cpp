// Bringing an image into the view and out of it again: decoding through
// the plug-ins, closing, the BMP file, the printer and the clipboard.
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include <QScopedValueRollback>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QScrollBar>

#include "platform/code_page.h"
#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "platform/regular_file.h"
#include "raster/dib_painter.h"
#include "raster/dib_view.h"
#include "raster/raster.h"
#include "raster/raster_layers.h"
#include "raster/raster_object_tools.h"

namespace {

// IsSupported gets only the address of the contents; a signature check
// must not read past the end of a short file.
constexpr int kReadPadding = 2048;

int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

// The message for a result code of GetPicture; empty for success and for
// codes outside the table.
QString ResultMessage(int code) {
    switch (code) {
    case -1: return QStringLiteral("[Code-1] Plug-Inに機能がインプリメントされていません。");
    case 1: return QStringLiteral("[Code1] Plug-Inでの読込みを中止しました。");
    case 2: return QStringLiteral("[Code2] Plug-Inが非対応のフォーマットです。");
    case 3: return QStringLiteral("[Code3] Plug-Inがデータの破損を検出しました。");
    case 4: return QStringLiteral("[Code4] Plug-Inがメモリーを確保出来ません。");
    case 5: return QStringLiteral("[Code5] Plug-Inのメモリーエラーが発生しました。");
    case 6: return QStringLiteral("[Code6] Plug-Inがファイルリードエラーを発生しました。");
    case 7: return QStringLiteral("[Code7] Plug-In（予約）");
    case 8: return QStringLiteral("[Code8] Plug-Inの内部エラーが発生しました。");
    default: return QString();
    }
}

void Warn(QWidget* owner, const QString& text) {
    platform::ShowMessage(owner, text, platform::MessageIcon::Warning);
}

// Plug-in texts are usually code page 932; plain ASCII reads the same.
QString PluginText(const std::string& bytes) { return platform::FromCodePage932(bytes); }

// The whole file followed by kReadPadding zero bytes; false with the
// reason when it cannot be read.
bool ReadWholeFile(const QString& path, QByteArray& contents, QString& reason) {
    std::optional<platform::RegularFile> file =
        platform::RegularFile::Open(QFile::encodeName(path).toStdString(), reason);
    if (!file) return false;
    const std::int64_t size = file->Size();
    if (size > std::numeric_limits<std::int32_t>::max() - kReadPadding) {
        reason = QStringLiteral("ファイルが大きすぎます。");
        return false;
    }
    contents = QByteArray(static_cast<qsizetype>(size) + kReadPadding, '\0');
    const std::int64_t got = file->Read(contents.data(), size, reason);
    if (got < 0) return false;
    if (got < size) {
        reason = QStringLiteral("ファイルが途中で終わっています。");
        return false;
    }
    return true;
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

// The plug-in's C frames lie between a progress handler and the decode
// call: what the handler throws is kept here, the plug-in told to stop,
// and the exception raised again once the plug-in has returned.
std::exception_ptr progressFailure;

}  // namespace

int TRaster::ProgressCallback(int nNum, int nDenom, intptr_t lData) {
    auto* view = reinterpret_cast<TRaster*>(lData);
    if (view == nullptr || !view->OnLoadProgress) return 0;
    try {
        // A plug-in that reports no total gives no position.
        const std::int64_t position = nDenom != 0 ? std::int64_t(nNum) * 100 / nDenom : 0;
        bool cancel = false;
        view->OnLoadProgress(view, static_cast<int>(std::clamp<std::int64_t>(position, 0, 100)), cancel);
        QCoreApplication::processEvents();
        return cancel ? 1 : 0;
    } catch (...) {
        progressFailure = std::current_exception();
        return 1;
    }
}

bool TRaster::LoadFromFile(const QString& path) {
    // A second load started from the progress handler would unload the
    // plug-in that is still decoding.
    if (loading_) return false;
    const platform::HourglassCursor hourglass;
    CloseImage();
    fileName_ = path;
    try {
        return DecodeFile(path);
    } catch (const std::bad_alloc&) {
        // Whatever the load had built goes, which gives the memory back
        // for the message.
        AbandonLoad();
        Warn(this, ResultMessage(SPI_NO_MEMORY));
        return false;
    }
}

bool TRaster::DecodeFile(const QString& path) {
    QByteArray contents;
    QString reason;
    if (!ReadWholeFile(path, contents, reason)) {
        Warn(this, QStringLiteral("ファイルを読み込めません。\n%1\n%2").arg(path, reason));
        return false;
    }

    plugs_->Refresh();
    for (int i = 0; i < plugs_->Count(); ++i) {
        TSusiePlug& plug = *plugs_->Items(i);
        const TSusiePlugUse use(plug);
        if (!use.Loaded()) continue;
        if (plug.IsSupported(nullptr, reinterpret_cast<intptr_t>(contents.constData())) == 0) continue;
        const bool result = DecodeWith(plug, contents.constData(), std::int32_t(contents.size() - kReadPadding));
        if (progressFailure) std::rethrow_exception(std::exchange(progressFailure, nullptr));
        return result;
    }
    Warn(this, QStringLiteral("ファイルを開けません。\n%1\nこのファイルの形式に対応する Plug-In がありません。").arg(path));
    return false;
}

void TRaster::AbandonLoad() {
    if (imageBits_ != nullptr)
        CloseImage();
    else
        FreeImageBlocks();
}

bool TRaster::DecodeWith(TSusiePlug& plug, const char* contents, std::int32_t size) {
    int code = 0;
    {
        const QScopedValueRollback<bool> loading(loading_, true);
        loadCancel_ = false;
        paintMode_ = pmColorOn;
        HLOCAL info = nullptr;
        HLOCAL bits = nullptr;
        code = plug.GetPicture(contents, size, SPI_INPUT_MEMORY,
                               &info, &bits, &TRaster::ProgressCallback, reinterpret_cast<intptr_t>(this));
        headerBlock_ = code == SPI_SUCCESS ? info : nullptr;
        bitsBlock_ = code == SPI_SUCCESS ? bits : nullptr;
    }
    if (progressFailure) {
        FreeImageBlocks();
        return false;
    }
    if (code != SPI_SUCCESS) {
        const QString message = ResultMessage(code);
        if (!message.isEmpty()) Warn(this, message);
        return false;
    }
    return TakeDecodedImage(plug, contents, size);
}

bool TRaster::TakeDecodedImage(TSusiePlug& plug, const char* contents, std::int32_t size) {
    PictureInfo picture{};
    const bool described = plug.GetPictureInfo(contents, size, SPI_INPUT_MEMORY, &picture) == SPI_SUCCESS;
    const auto* info = static_cast<const std::uint8_t*>(LocalLock(headerBlock_));
    if (!TDibView::BlocksHoldBitmap(info, LocalBlockSize(headerBlock_), LocalBlockSize(bitsBlock_))) {
        FreeImageBlocks();
        Warn(this, ResultMessage(SPI_BROKEN_DATA));
        return false;
    }
    imageHeader_ = reinterpret_cast<const SPI_BITMAPINFOHEADER*>(info);
    imageBits_ = static_cast<const std::uint8_t*>(LocalLock(bitsBlock_));
    dib_ = TDibView::Create(imageHeader_, imageBits_);
    if (dib_ == nullptr) {
        FreeImageBlocks();
        Warn(this, QStringLiteral("Plug-Inが返した画像の形式には対応していません。\n%1").arg(fileName_));
        return false;
    }

    info_ = TRasterInfo();
    info_.PluginInfo = PluginText(plug.GetInfo(SPI_INFO_DESCRIPTION));
    info_.FormatType = PluginText(plug.GetInfo(SPI_INFO_FORMAT_NAME));
    info_.Width = described ? picture.width : dib_->Width();
    info_.Height = described ? picture.height : dib_->Height();
    info_.XDensity = described ? picture.x_density : 0;
    info_.YDensity = described ? picture.y_density : 0;
    info_.ColorDepth = described ? picture.colorDepth : imageHeader_->biBitCount;

    maxX_ = dib_->Width() - 1;
    maxY_ = dib_->Height() - 1;
    viewLeft_ = viewTop_ = 0;
    viewRight_ = maxX_;
    viewBottom_ = maxY_;
    dispLeft_ = dispTop_ = dispRight_ = dispBottom_ = 0;
    vStep_ = std::max(double(maxY_) / scrollUnit_, 1.0);
    hStep_ = std::max(double(maxX_) / scrollUnit_, 1.0);
    dibPainter_ = std::make_unique<TDibPainter>(*dib_);
    dibPainter_->OnCopiesReady = [this] { update(); };
    // The image and its margins cover the whole client from now on.
    eraseBackground_ = false;
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent, true);

    LoadAnnotations(AnnotationPath(fileName_));
    Layout();
    return true;
}

void TRaster::CloseForMemoryShortage() {
    memoryShortagePending_ = false;
    if (!HasImage()) return;
    CloseImage();
    Warn(this, ResultMessage(SPI_NO_MEMORY));
}

void TRaster::FreeImageBlocks() {
    dibPainter_.reset();
    dib_.reset();
    if (headerBlock_ != nullptr) {
        LocalUnlock(headerBlock_);
        LocalFree(headerBlock_);
    }
    if (bitsBlock_ != nullptr) {
        LocalUnlock(bitsBlock_);
        LocalFree(bitsBlock_);
    }
    headerBlock_ = bitsBlock_ = nullptr;
    imageHeader_ = nullptr;
    imageBits_ = nullptr;
}

void TRaster::CloseImage() {
    if (imageBits_ == nullptr) return;
    FreeImageBlocks();
    maxX_ = maxY_ = 0;
    dispLeft_ = dispTop_ = dispRight_ = dispBottom_ = 0;
    viewLeft_ = viewTop_ = viewRight_ = viewBottom_ = 0;
    scaleX_ = scaleY_ = 0;
    activeTool_ = tools_->Find<TRasterObjectSelectTool>();
    eraseBackground_ = true;
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(true);
    if (!destroying_) {
        horizontalBar_->hide();
        verticalBar_->hide();
    }
    if (modified_) SaveAnnotationsAtClose();
    layers_->Clear();
    activeLayer_ = nullptr;
    // The changes went with the layers, also when the user kept the old
    // side file; they must not mark the next image.
    modified_ = false;
    annotationsIncomplete_ = false;
    if (!destroying_) {
        RebuildTreeView();
        update();
    }
}

bool TRaster::SaveAsBitmap(const QString& path) {
    if (!HasImage()) return false;
    const platform::HourglassCursor hourglass;
    const int width = dib_->Width();
    const int height = dib_->Height();
    const std::size_t stride = SPI_DibStride(width, 24);
    const std::uint64_t imageBytes = std::uint64_t(stride) * std::uint64_t(height);
    constexpr std::uint32_t kHeadersSize = 14 + 40;

    QString failure;
    if (imageBytes + kHeadersSize > std::numeric_limits<std::uint32_t>::max())
        failure = QStringLiteral("画像が大きすぎて BMP ファイルにできません。");

    // The new file replaces the old one only once it is complete.
    QSaveFile file(path);
    if (failure.isEmpty() && !file.open(QIODevice::WriteOnly)) failure = file.errorString();
    if (failure.isEmpty()) {
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
        PutLittle32(headers + 38, PixelsPerMetre(info_.XDensity));
        PutLittle32(headers + 42, PixelsPerMetre(info_.YDensity));
        bool written = file.write(reinterpret_cast<const char*>(headers), kHeadersSize) == kHeadersSize;

        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width));
        std::vector<char> row(stride, '\0');
        for (int y = height - 1; written && y >= 0; --y) {
            dib_->ReadRow(y, 0, width, pixels.data());
            for (int x = 0; x < width; ++x) {
                const std::uint32_t color = pixels[std::size_t(x)];
                row[3 * std::size_t(x)] = char(color & 0xFF);
                row[3 * std::size_t(x) + 1] = char((color >> 8) & 0xFF);
                row[3 * std::size_t(x) + 2] = char((color >> 16) & 0xFF);
            }
            written = file.write(row.data(), qint64(stride)) == qint64(stride);
        }
        if (!written || !file.commit()) failure = file.errorString();
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
    printer.setDocName(QFileInfo(fileName_).fileName());

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
