#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QImage>
#include <QRect>
#include <QSize>

class QPainter;
class TDibView;

// Stretches parts of a decoded bitmap onto a canvas. The work of a
// drawing grows with the destination's area, not with the image's: every
// destination pixel reads a bounded number of source pixels straight from
// the bitmap's rows (or from a reduced copy, see below).
//
// Rectangles: the source is in image pixels with both corners inclusive
// (QRect's own convention); the destination in device pixels.
class TDibPainter {
public:
    explicit TDibPainter(const TDibView& dib);
    ~TDibPainter();
    TDibPainter(const TDibPainter&) = delete;
    TDibPainter& operator=(const TDibPainter&) = delete;

    // Each destination pixel shows the source pixel under its centre.
    void DrawNearest(QPainter& canvas, const QRect& destination, const QRect& source);
    // Each destination pixel shows the area-weighted average of the source
    // pixels it covers, so a reduced image keeps its detail as tone.
    void DrawAveraged(QPainter& canvas, const QRect& destination, const QRect& source);

    // For paper: a source smaller than the destination goes to the device
    // at its own resolution and the device enlarges it (by nearest pixel);
    // a larger one is reduced here to the destination's resolution.
    void DrawForPrinter(QPainter& canvas, const QRect& destination, const QRect& source);

    // The source stretched to size by nearest pixel, as a 32-bit image.
    QImage StretchNearest(const QSize& size, const QRect& source) const;

    // Bytes held by the reduced copies (built at the first averaged
    // drawing of a reduction).
    std::size_t CacheBytes() const;

private:
    // The image reduced by 2^shift in both directions: every pixel the
    // average of a block of source pixels, stored as R, G, B bytes.
    struct TLevel {
        int shift = 0;
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> rgb;
        const std::uint8_t* Row(int y) const { return rgb.data() + std::size_t(y) * std::size_t(width) * 3; }
    };
    // Which source pixels (of one level) one destination column or row
    // averages, with weights in 1/4096.
    struct TTaps {
        std::vector<int> first;
        std::vector<int> count;
        std::vector<std::uint16_t> weights;  // maxCount per entry
        int maxCount = 0;
        bool padded = false;  // every entry has maxCount taps
    };

    void BuildLevels();
    void BuildFirstLevel(TLevel& level) const;
    static void BuildHalfLevel(const TLevel& from, TLevel& level);
    const TLevel* LevelFor(double reduction);
    static TTaps MakeTaps(double start, double scale, int count, int limit, bool padded);
    // Writes the averaged part (destination coordinates) line by line.
    void AverageLines(const QRect& part, const QRect& destination, const QRect& source,
                      const std::function<std::uint32_t*(int)>& lineAt);
    void FilterRow(const TLevel* level, int row, const TTaps& columns, std::uint32_t* sums) const;

    const TDibView& dib_;
    QImage buffer_;
    bool levelsBuilt_ = false;
    std::vector<TLevel> levels_;
};
