#pragma once

#include <vector>

#include <QPixmap>

class QPainter;
class QRect;

// A list of icons of one size, addressed by index.
class TImageList {
public:
    TImageList(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return static_cast<int>(images_.size()); }

    // Appends the icon, scaled to the list's size when it differs, and
    // returns its index.
    int Add(const QPixmap& icon);
    // A null pixmap when index is out of range.
    QPixmap Image(int index) const;

    // Draws icon index stretched into target, keeping its transparency.
    // An index out of range draws nothing.
    void Draw(QPainter& canvas, const QRect& target, int index) const;

private:
    int width_;
    int height_;
    std::vector<QPixmap> images_;
};

// The marker icons shipped with the program, in the same order in both
// lists: the normal look and the selected look of each marker.
TImageList DefaultStateImages();
TImageList DefaultSelectImages();
