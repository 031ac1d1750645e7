#pragma once

#include <cstdint>

#include <QCursor>

// A cursor id as the tools and the view store it: the program's own
// cursors 11-20 and a few standard ones.
using TCursor = std::int16_t;

constexpr TCursor crDefault = 0;
constexpr TCursor crHandPoint = -21;

constexpr TCursor crPointXY = 11;
constexpr TCursor crCentering = 12;
constexpr TCursor crPostIt = 13;
constexpr TCursor crZoomIn = 14;
constexpr TCursor crZoomOut = 15;
constexpr TCursor crZoomRect = 16;
constexpr TCursor crOpenHand = 17;
constexpr TCursor crCloseHand = 18;
constexpr TCursor crMoving = 19;
constexpr TCursor crMeasure = 20;

// The cursor registered under id. The program's own cursors are read from
// the resources once, at the first request; an unknown id gives the arrow.
QCursor RasterCursor(TCursor id);
