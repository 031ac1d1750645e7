// Bringing an image into the view and out of it again: decoding through
// the plug-ins or taking the bitmap read ahead, showing it with its
// layers, closing it.
#include <algorithm>
#include <memory>
#include <new>
#include <utility>

#include <QCoreApplication>
#include <QScrollBar>

#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "raster/dib_painter.h"
#include "raster/dib_view.h"
#include "raster/raster.h"
#include "raster/raster_object_tools.h"
#include "raster/read_ahead.h"

namespace {

void Warn(QWidget* owner, const QString& text) {
    platform::ShowMessage(owner, text, platform::MessageIcon::Warning);
}

}  // namespace

// The view's side of a decode: the Loading flag and the paint mode while
// the plug-in decodes, its progress through OnLoadProgress, with the
// pending events let through at each report.
class TRaster::TViewDecoder : public TImageDecoder {
public:
    explicit TViewDecoder(TRaster& view) : view_(view) {}

    void PictureStarted() override {
        view_.loading_ = true;
        view_.loadCancel_ = false;
        view_.paintMode_ = pmColorOn;
    }
    void PictureEnded() override { view_.loading_ = false; }
    bool Progress(int position) override {
        if (!view_.OnLoadProgress) return view_.loadAbandoned_;
        bool cancel = false;
        view_.OnLoadProgress(&view_, position, cancel);
        QCoreApplication::processEvents();
        return cancel || view_.loadAbandoned_;
    }

private:
    TRaster& view_;
};

bool TRaster::LoadFromFile(const QString& path) {
    // A second load started from the progress handler would unload the
    // plug-in that is still decoding.
    if (loading_) return false;
    loadAbandoned_ = false;
    const platform::HourglassCursor hourglass;
    CloseImage();
    document_->SetFileName(path);
    try {
        return DecodeFile(path);
    } catch (const std::bad_alloc&) {
        // Whatever the load had built goes, which gives the memory back
        // for the message.
        if (HasImage())
            CloseImage();
        else
            FreeImage();
        Warn(this, TImageDecoder::ResultMessage(SPI_NO_MEMORY));
        return false;
    }
}

void TRaster::ReadAhead(const QString& path) {
    if (path.isEmpty())
        readAhead_->Drop();
    else
        readAhead_->Prepare(path, plugs_->Path());
}

QString TRaster::ReadAheadPath() const { return readAhead_->Path(); }

bool TRaster::ReadAheadReady() const { return readAhead_->Ready(); }

bool TRaster::DecodeFile(const QString& path) {
    if (std::unique_ptr<TDecodedImage> ready = readAhead_->Take(path, plugs_->Path())) {
        // As a decode would: the folder rescanned, the paint mode reset.
        plugs_->Refresh();
        loadCancel_ = false;
        paintMode_ = pmColorOn;
        ShowDecodedImage(std::move(ready));
        return true;
    }
    TViewDecoder decoder(*this);
    QString failure;
    std::unique_ptr<TDecodedImage> image = decoder.Decode(*plugs_, path, failure);
    if (image == nullptr) {
        if (!failure.isEmpty() && !loadAbandoned_) Warn(this, failure);
        return false;
    }
    ShowDecodedImage(std::move(image));
    return true;
}

void TRaster::ShowDecodedImage(std::unique_ptr<TDecodedImage> image) {
    document_->SetImage(std::move(image));
    const TDibView& dib = document_->Image()->Dib();
    maxX_ = dib.Width() - 1;
    maxY_ = dib.Height() - 1;
    viewLeft_ = viewTop_ = 0;
    viewRight_ = maxX_;
    viewBottom_ = maxY_;
    dispLeft_ = dispTop_ = dispRight_ = dispBottom_ = 0;
    vStep_ = std::max(double(maxY_) / scrollUnit_, 1.0);
    hStep_ = std::max(double(maxX_) / scrollUnit_, 1.0);
    dibPainter_ = std::make_unique<TDibPainter>(dib);
    dibPainter_->OnCopiesReady = [this] { update(); };
    // The image and its margins cover the whole client from now on.
    eraseBackground_ = false;
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent, true);

    LoadAnnotations(AnnotationPath(FileName()));
    Layout();
}

void TRaster::CloseForMemoryShortage() {
    memoryShortagePending_ = false;
    if (!HasImage()) return;
    CloseImage();
    Warn(this, TImageDecoder::ResultMessage(SPI_NO_MEMORY));
}

void TRaster::FreeImage() {
    dibPainter_.reset();
    document_->FreeImage();
}

void TRaster::CloseImage() {
    if (!HasImage()) return;
    FreeImage();
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
    if (Modified()) SaveAnnotationsAtClose();
    // The changes went with the layers, also when the user kept the old
    // side file; they must not mark the next image.
    document_->ClearAnnotations();
    if (!destroying_) {
        RebuildTreeView();
        update();
    }
}
