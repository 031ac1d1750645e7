#include "raster/image_list.h"

#include <QPainter>
#include <QRect>
#include <QString>

// The marker icons are compiled into this static library; the linker keeps
// them only when something refers to their registration.
static void RegisterMarkerResources() { Q_INIT_RESOURCE(markers); }

TImageList::TImageList(int width, int height) : width_(width), height_(height) {}

int TImageList::Add(const QPixmap& icon) {
    images_.push_back(icon.size() == QSize(width_, height_)
                          ? icon
                          : icon.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return Count() - 1;
}

QPixmap TImageList::Image(int index) const {
    if (index < 0 || index >= Count()) return QPixmap();
    return images_[static_cast<std::size_t>(index)];
}

void TImageList::Draw(QPainter& canvas, const QRect& target, int index) const {
    if (index < 0 || index >= Count()) return;
    canvas.drawPixmap(target, images_[static_cast<std::size_t>(index)]);
}

namespace {

// Marker colours, in list order.
const char* const kMarkerNames[] = {"red", "blue", "green", "orange", "purple", "cyan", "magenta", "yellow"};
constexpr int kMarkerSize = 32;

TImageList LoadMarkers(const QString& variant) {
    RegisterMarkerResources();
    TImageList list(kMarkerSize, kMarkerSize);
    for (const char* name : kMarkerNames)
        list.Add(QPixmap(QStringLiteral(":/markers/%1-%2.png").arg(QLatin1String(name), variant)));
    return list;
}

}  // namespace

TImageList DefaultStateImages() { return LoadMarkers(QStringLiteral("normal")); }

TImageList DefaultSelectImages() { return LoadMarkers(QStringLiteral("selected")); }
