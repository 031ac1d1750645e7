#pragma once

#include <string>

#include <QScrollBar>

#include "raster/raster.h"
#include "support/scripted_message_boxes.h"
#include "support/temp_folder.h"

// A view over the test plug-in's images: pixel (x, y) has blue x, green y
// and red 0x80. The data's first line steers the plug-in.
class RasterViewFixture {
public:
    RasterViewFixture() { raster.SetPluginPath(QStringLiteral(KELVANDOR_TEST_PLUGIN_DIR)); }

    // Writes a test image file and returns its path.
    QString TestImage(const std::string& name, const std::string& words) {
        return QString::fromStdString(folder.Write(name, "KTESTSPI " + words + "\n"));
    }

    bool Load(int width, int height, const std::string& name = "image.ktest") {
        return raster.LoadFromFile(
            TestImage(name, "width=" + std::to_string(width) + " height=" + std::to_string(height)));
    }

    QScrollBar* Bar(Qt::Orientation orientation) {
        for (QScrollBar* bar : raster.findChildren<QScrollBar*>())
            if (bar->orientation() == orientation) return bar;
        return nullptr;
    }
    bool BarShown(Qt::Orientation orientation) { return Bar(orientation)->isVisibleTo(&raster); }

    int ClientWidth() {
        return raster.width() - (BarShown(Qt::Vertical) ? Bar(Qt::Vertical)->width() : 0);
    }
    int ClientHeight() {
        return raster.height() - (BarShown(Qt::Horizontal) ? Bar(Qt::Horizontal)->height() : 0);
    }
    QRect Display() const {
        return QRect(QPoint(raster.DispLeft(), raster.DispTop()),
                     QPoint(raster.DispRight() - 1, raster.DispBottom() - 1));
    }

    ScriptedMessageBoxes messages;
    TempFolder folder;
    TRaster raster;
};
