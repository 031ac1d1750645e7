#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The inner loops of the averaged drawing, in one version per instruction
// set. Every version gives exactly the results of the portable one; the
// drawing uses the widest one the processor runs, chosen once.
namespace pixel_kernels {

enum class TInstructionSet { Portable, Sse2, Sse41, Avx2 };

struct TKernels {
    // sums[i] += rows[0][i] + ... + rows[rowCount - 1][i], in 16 bits;
    // fresh: the sums start at zero, whatever they held.
    void (*AddRows)(const std::uint8_t* const* rows, int rowCount, bool fresh, std::uint16_t* sums,
                    std::size_t count);
    // Adds the sums of neighbouring columns of B, G, R sums in place,
    // sums[i] += sums[i + 3 * 2^stage] for stage 0 .. stages - 1 in
    // ascending i, until sums[3 * 2^stages * p + c] holds channel c of the
    // 2^stages columns from column p * 2^stages on (the other places hold
    // partial sums). Past count, sums must hold 3 * 2^stages zeros.
    void (*PairColumns)(std::uint16_t* sums, std::size_t count, int stages);
    // Filters a row of B, G, R bytes (limit pixels) horizontally: pixel i
    // of width sums taps (1 to 3) source pixels from first[i] on with the
    // weights weights[taps * i + k], into B, G, R, 0 at sums[4 * i].
    void (*FilterBgr)(const std::uint8_t* source, int limit, const int* first, const std::uint16_t* weights,
                      int taps, int width, std::uint32_t* sums);
    // Mixes count rows of B, G, R, 0 sums with weights that add up to
    // 2^12, as made by FilterBgr (whose weights also add up to 2^12), into
    // width pixels 0xFFRRGGBB, rounding to nearest.
    void (*MixRows)(const std::uint32_t* const* rows, const std::uint16_t* weights, int count, int width,
                    std::uint32_t* target);
};

// Bits of the fixed-point weights of FilterBgr and MixRows.
constexpr int kWeightBits = 12;

// The instruction sets this processor runs, the portable one first.
std::vector<TInstructionSet> Supported();
const TKernels& For(TInstructionSet set);
// The widest supported set's kernels.
const TKernels& Best();

}  // namespace pixel_kernels
