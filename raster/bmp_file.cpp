#include "raster/bmp_file.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "platform/path_text.h"
#include "platform/replacing_file.h"
#include "raster/dib_view.h"

namespace {

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

}  // namespace

QString WriteBmpFile(const TDibView& dib, int xDensity, int yDensity, const QString& path) {
    const int width = dib.Width();
    const int height = dib.Height();
    const std::size_t stride = SPI_DibStride(width, 24);
    const std::uint64_t imageBytes = std::uint64_t(stride) * std::uint64_t(height);
    constexpr std::uint32_t kHeadersSize = 14 + 40;

    QString failure;
    if (imageBytes + kHeadersSize > std::numeric_limits<std::uint32_t>::max())
        failure = QStringLiteral("画像が大きすぎて BMP ファイルにできません。");

    // The new file replaces the old one only once it is complete.
    std::unique_ptr<platform::ReplacingFile> file;
    if (failure.isEmpty()) file = platform::ReplacingFile::Create(platform::PathBytes(path), failure);
    if (file) {
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
        PutLittle32(headers + 38, PixelsPerMetre(xDensity));
        PutLittle32(headers + 42, PixelsPerMetre(yDensity));
        bool written = file->Write(headers, kHeadersSize, failure);

        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width));
        std::vector<char> row(stride, '\0');
        for (int y = height - 1; written && y >= 0; --y) {
            dib.ReadRow(y, 0, width, pixels.data());
            for (int x = 0; x < width; ++x) {
                const std::uint32_t color = pixels[std::size_t(x)];
                row[3 * std::size_t(x)] = char(color & 0xFF);
                row[3 * std::size_t(x) + 1] = char((color >> 8) & 0xFF);
                row[3 * std::size_t(x) + 2] = char((color >> 16) & 0xFF);
            }
            written = file->Write(row.data(), std::int64_t(stride), failure);
        }
        if (written) file->Commit(failure);
    }
    return failure;
}
