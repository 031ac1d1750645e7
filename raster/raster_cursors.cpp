#include "raster/raster_cursors.h"

#include <map>

#include <QPixmap>
#include <QString>

static void RegisterCursorResources() { Q_INIT_RESOURCE(cursors); }

namespace {

struct TCursorResource {
    TCursor id;
    const char* name;  // the resource name, also the file's alias
    int hotX;
    int hotY;
};

// Hot spots: the centre of a cross or a hand, the middle of a lens, the
// tip of an arrow.
constexpr TCursorResource kResources[] = {
    {crPointXY, "CRPOINTXY", 16, 16},   {crCentering, "CRCENTERING", 16, 16},
    {crPostIt, "CRPOSTIT", 2, 2},       {crZoomIn, "CRZOOMIN", 12, 12},
    {crZoomOut, "CRZOOMOUT", 12, 12},   {crZoomRect, "CRZOOMRECT", 8, 8},
    {crOpenHand, "CROPENHAND", 16, 16}, {crCloseHand, "CRCLOSEHAND", 16, 16},
    {crMoving, "CRMOVING", 16, 16},     {crMeasure, "CRMEASURE", 8, 8},
};

std::map<TCursor, QCursor> BuildCursorTable() {
    RegisterCursorResources();
    std::map<TCursor, QCursor> table;
    table.emplace(crDefault, QCursor(Qt::ArrowCursor));
    table.emplace(crHandPoint, QCursor(Qt::PointingHandCursor));
    for (const TCursorResource& resource : kResources) {
        const QPixmap picture(QStringLiteral(":/cursors/%1.png").arg(QLatin1String(resource.name)));
        table.emplace(resource.id, QCursor(picture, resource.hotX, resource.hotY));
    }
    return table;
}

}  // namespace

QCursor RasterCursor(TCursor id) {
    static const std::map<TCursor, QCursor> table = BuildCursorTable();
    const auto found = table.find(id);
    return found != table.end() ? found->second : table.at(crDefault);
}
