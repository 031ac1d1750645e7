#pragma once

#include <QString>

class TDibView;

// Writes the bitmap as a bottom-up 24-bit BMP file with the given densities
// (dots per inch, 0 when unknown). The new file replaces the old one only
// once it is complete. Empty on success, otherwise the reason.
QString WriteBmpFile(const TDibView& dib, int xDensity, int yDensity, const QString& path);
