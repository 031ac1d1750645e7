#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QImage>
#include <QObject>
#include <QRect>
#include <QSize>

#include "raster/reduced_copy.h"

class QPainter;
class TDibView;

// Stretches parts of a decoded bitmap onto a canvas. The work of a
// drawing grows with the destination's area, not with the image's: every
// destination pixel reads a bounded number of source pixels straight from
// the bitmap's rows (or from a reduced copy, see below). Both cores share
// the work through the program's thread pool.
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
    // pixels it covers, so a reduced image keeps its detail as tone. A
    // strong reduction reads a reduced copy of the image; while that copy
    // is being built the nearest picture is drawn instead and
    // OnCopiesReady follows. The last averaged picture is kept, so an
    // unchanged view is drawn again without averaging anew.
    void DrawAveraged(QPainter& canvas, const QRect& destination, const QRect& source);
    // Called on the painter's thread when a reduced copy that a drawing
    // waited for is ready: the owner repaints.
    std::function<void()> OnCopiesReady;
    // A reduced copy is being built.
    bool CopiesPending() const { return builder_ != nullptr; }

    // For paper: a source smaller than the destination goes to the device
    // at its own resolution and the device enlarges it (by nearest pixel);
    // a larger one is reduced here to the destination's resolution.
    void DrawForPrinter(QPainter& canvas, const QRect& destination, const QRect& source);

    // The source stretched to size by nearest pixel, as a 32-bit image.
    QImage StretchNearest(const QSize& size, const QRect& source) const;

    // Bytes held by the reduced copies, also one being built. They stay
    // within a third of the bitmap.
    std::size_t CacheBytes() const;
    // Bytes of the kept averaged picture (the size of the area drawn).
    std::size_t ResultBytes() const { return std::size_t(result_.sizeInBytes()); }

private:
    // Which source pixels (of one level) one destination column or row
    // averages, with weights in 1/4096.
    struct TTaps {
        std::vector<int> first;
        std::vector<int> count;
        std::vector<std::uint16_t> weights;  // maxCount per entry
        int maxCount = 0;
        bool padded = false;  // every entry has maxCount taps
    };

    // The copy an averaged drawing at this reduction reads: null for the
    // bitmap itself. False while the copy it needs is still being built.
    bool CopyFor(double reduction, const TReducedCopy*& copy);
    void StartCopy(int shift);
    void AdoptCopy();
    static TTaps MakeTaps(double start, double scale, int count, int limit, bool padded);
    // Averages the area (destination coordinates) into result_.
    void Average(const QRect& area, const QRect& destination, const QRect& source, const TReducedCopy* copy);
    // Writes the averaged part (destination coordinates) line by line.
    void AverageLines(const QRect& part, const QRect& destination, const QRect& source, const TReducedCopy* copy,
                      const std::function<std::uint32_t*(int)>& lineAt) const;
    void FilterRow(const TReducedCopy* copy, int row, const TTaps& columns, std::uint32_t* sums) const;

    const TDibView& dib_;
    QImage buffer_;
    std::vector<TReducedCopy> copies_;
    // Receives the builder's report on this thread; goes with the painter,
    // and a report still under way with it.
    QObject context_;
    std::unique_ptr<TReducedCopyBuilder> builder_;
    // The last averaged picture, of resultArea_ of the destination.
    QImage result_;
    QRect resultDestination_;
    QRect resultSource_;
    QRect resultArea_;
};
