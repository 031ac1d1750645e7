#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "raster/pixel_kernels.h"

namespace {

using pixel_kernels::TInstructionSet;
using pixel_kernels::TKernels;

const TKernels& Portable() { return pixel_kernels::For(TInstructionSet::Portable); }

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::mt19937& random) {
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes) byte = std::uint8_t(random());
    return bytes;
}

// Weights of taps columns that add up to the unit, like the painter's.
std::vector<std::uint16_t> UnitWeights(int columns, int taps, std::mt19937& random) {
    std::vector<std::uint16_t> weights(std::size_t(columns) * std::size_t(taps));
    for (int i = 0; i < columns; ++i) {
        int left = 1 << pixel_kernels::kWeightBits;
        for (int k = 0; k + 1 < taps; ++k) {
            const int weight = int(random() % std::uint32_t(left + 1));
            weights[std::size_t(i * taps + k)] = std::uint16_t(weight);
            left -= weight;
        }
        weights[std::size_t(i * taps + taps - 1)] = std::uint16_t(left);
    }
    return weights;
}

class PixelKernelsTest : public ::testing::TestWithParam<TInstructionSet> {
protected:
    const TKernels& kernels = pixel_kernels::For(GetParam());
    std::mt19937 random{5};
};

// Widths around the vector sizes, so that every tail runs.
const int kCounts[] = {1, 7, 31, 32, 33, 63, 64, 65, 100, 3 * 999};

TEST_P(PixelKernelsTest, RowSumsMatchThePortableOnesUpToTheSixteenBitLimit) {
    for (int rowCount : {1, 2, 8, 256}) {
        for (int count : kCounts) {
            std::vector<std::vector<std::uint8_t>> rows;
            std::vector<const std::uint8_t*> pointers;
            for (int r = 0; r < rowCount; ++r) {
                // Bright rows reach the limit of the 16-bit sums.
                rows.push_back(rowCount > 8 ? std::vector<std::uint8_t>(std::size_t(count), 255)
                                            : RandomBytes(std::size_t(count), random));
                pointers.push_back(rows.back().data());
            }
            std::vector<std::uint16_t> start(static_cast<std::size_t>(count));
            for (auto& value : start) value = std::uint16_t(random() % 256);
            for (bool fresh : {false, true}) {
                std::vector<std::uint16_t> expected = start, actual = start;
                Portable().AddRows(pointers.data(), rowCount, fresh, expected.data(), std::size_t(count));
                kernels.AddRows(pointers.data(), rowCount, fresh, actual.data(), std::size_t(count));
                ASSERT_EQ(actual, expected) << rowCount << " rows of " << count << (fresh ? ", fresh" : "");
                if (fresh) {
                    int first = 0;
                    for (const auto& row : rows) first += row[0];
                    EXPECT_EQ(actual[0], first);
                }
            }
        }
    }
}

TEST_P(PixelKernelsTest, PairedColumnsMatchThePortableOnes) {
    for (int stages = 0; stages <= 5; ++stages) {
        for (int count : kCounts) {
            std::vector<std::uint16_t> sums(std::size_t(count) + (std::size_t(3) << stages));
            for (int i = 0; i < count; ++i) sums[std::size_t(i)] = std::uint16_t(random() % 2048);
            std::vector<std::uint16_t> expected = sums, actual = sums;
            Portable().PairColumns(expected.data(), std::size_t(count), stages);
            kernels.PairColumns(actual.data(), std::size_t(count), stages);
            ASSERT_EQ(actual, expected) << stages << " stages over " << count;
        }
    }
    // The first column of each group holds the group's sum.
    std::vector<std::uint16_t> sums(24 + 24, 0);
    for (int i = 0; i < 24; ++i) sums[std::size_t(i)] = std::uint16_t(i);
    kernels.PairColumns(sums.data(), 24, 3);
    EXPECT_EQ(sums[0], 0 + 3 + 6 + 9 + 12 + 15 + 18 + 21);
    EXPECT_EQ(sums[2], 2 + 5 + 8 + 11 + 14 + 17 + 20 + 23);
}

TEST_P(PixelKernelsTest, FilteredRowsMatchThePortableOnesUpToTheRowsEnd) {
    for (int taps = 1; taps <= 3; ++taps) {
        for (int limit : {taps, 5, 6, 40, 1001}) {
            const std::vector<std::uint8_t> row = RandomBytes(3 * std::size_t(limit), random);
            // Columns ascending by one or two, the last ones against the end.
            std::vector<int> first;
            for (int x = 0; x + taps <= limit; x += 1 + int(random() % 2)) first.push_back(x);
            first.push_back(limit - taps);
            const int width = int(first.size());
            const std::vector<std::uint16_t> weights = UnitWeights(width, taps, random);
            std::vector<std::uint32_t> expected(4 * std::size_t(width), 7), actual(expected.size(), 9);
            Portable().FilterBgr(row.data(), limit, first.data(), weights.data(), taps, width, expected.data());
            kernels.FilterBgr(row.data(), limit, first.data(), weights.data(), taps, width, actual.data());
            ASSERT_EQ(actual, expected) << taps << " taps, " << limit << " pixels";
        }
    }
    // One pixel of weight one keeps its bytes, scaled to the unit.
    const std::uint8_t pixel[] = {1, 2, 3};
    const int first = 0;
    const std::uint16_t one = 1 << pixel_kernels::kWeightBits;
    std::vector<std::uint32_t> sums(4);
    kernels.FilterBgr(pixel, 1, &first, &one, 1, 1, sums.data());
    EXPECT_EQ(sums, (std::vector<std::uint32_t>{1u * one, 2u * one, 3u * one, 0}));
}

TEST_P(PixelKernelsTest, MixedRowsMatchThePortableOnesAndRoundToNearest) {
    constexpr std::uint32_t unit = 1u << pixel_kernels::kWeightBits;
    for (int count = 1; count <= 5; ++count) {
        for (int width : {1, 3, 4, 5, 17, 640}) {
            std::vector<std::vector<std::uint32_t>> rows;
            std::vector<const std::uint32_t*> pointers;
            for (int k = 0; k < count; ++k) {
                rows.emplace_back(4 * std::size_t(width));
                for (std::size_t i = 0; i < rows.back().size(); ++i)
                    rows.back()[i] = i % 4 == 3 ? 0 : std::uint32_t(random() % (255 * unit + 1));
                pointers.push_back(rows.back().data());
            }
            const std::vector<std::uint16_t> weights = UnitWeights(1, count, random);
            std::vector<std::uint32_t> expected(static_cast<std::size_t>(width)), actual(expected.size());
            Portable().MixRows(pointers.data(), weights.data(), count, width, expected.data());
            kernels.MixRows(pointers.data(), weights.data(), count, width, actual.data());
            ASSERT_EQ(actual, expected) << count << " rows of " << width;
        }
    }
    // Full white stays white, and half a level rounds up.
    const std::vector<std::uint32_t> white{255 * unit * unit, 255 * unit * unit, 255 * unit * unit, 0};
    const std::vector<std::uint32_t> half{unit * unit / 2, unit * unit / 2 - 1, 0, 0};
    const std::uint32_t* rows[] = {white.data(), half.data()};
    const std::uint16_t weight = 1;
    std::uint32_t pixel = 0;
    kernels.MixRows(rows, &weight, 1, 1, &pixel);
    EXPECT_EQ(pixel, 0xFFFFFFFFu);
    kernels.MixRows(rows + 1, &weight, 1, 1, &pixel);
    EXPECT_EQ(pixel, 0xFF000001u);
}

std::string SetName(const ::testing::TestParamInfo<TInstructionSet>& info) {
    switch (info.param) {
        case TInstructionSet::Portable: return "Portable";
        case TInstructionSet::Sse2: return "Sse2";
        case TInstructionSet::Sse41: return "Sse41";
        case TInstructionSet::Avx2: return "Avx2";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(EverySupportedSet, PixelKernelsTest, ::testing::ValuesIn(pixel_kernels::Supported()),
                         SetName);

}  // namespace
