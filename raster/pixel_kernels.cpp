#include "raster/pixel_kernels.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace pixel_kernels {
namespace {

// --- Portable versions: the reference every other version matches. ------

void AddRowsFrom(const std::uint8_t* const* rows, int rowCount, bool fresh, std::uint16_t* sums, std::size_t count,
                 std::size_t i) {
    for (; i < count; ++i) {
        std::uint16_t sum = fresh ? 0 : sums[i];
        for (int r = 0; r < rowCount; ++r) sum = std::uint16_t(sum + rows[r][i]);
        sums[i] = sum;
    }
}

void AddRowsPortable(const std::uint8_t* const* rows, int rowCount, bool fresh, std::uint16_t* sums,
                     std::size_t count) {
    AddRowsFrom(rows, rowCount, fresh, sums, count, 0);
}

void PairColumnsPortable(std::uint16_t* sums, std::size_t count, int stages) {
    for (int stage = 0; stage < stages; ++stage) {
        const std::size_t distance = std::size_t(3) << stage;
        for (std::size_t i = 0; i < count; ++i) sums[i] = std::uint16_t(sums[i] + sums[i + distance]);
    }
}

void FilterBgrPortable(const std::uint8_t* source, int /*limit*/, const int* first, const std::uint16_t* weights,
                       int taps, int width, std::uint32_t* sums) {
    for (int i = 0; i < width; ++i) {
        const std::uint8_t* p = source + 3 * std::size_t(first[i]);
        const std::uint16_t* w = weights + std::size_t(taps) * std::size_t(i);
        std::uint32_t blue = 0, green = 0, red = 0;
        for (int k = 0; k < taps; ++k, p += 3) {
            blue += w[k] * p[0];
            green += w[k] * p[1];
            red += w[k] * p[2];
        }
        sums[4 * i] = blue;
        sums[4 * i + 1] = green;
        sums[4 * i + 2] = red;
        sums[4 * i + 3] = 0;
    }
}

constexpr std::uint32_t kHalf = 1u << (2 * kWeightBits - 1);

// Pixels from .. width - 1 of MixRows.
void MixRowsFrom(const std::uint32_t* const* rows, const std::uint16_t* weights, int count, int from, int width,
                 std::uint32_t* target) {
    for (int i = from; i < width; ++i) {
        std::uint32_t pixel = 0xFF000000u;
        for (int c = 0; c < 3; ++c) {
            std::uint32_t sum = kHalf;
            for (int k = 0; k < count; ++k) sum += weights[k] * rows[k][4 * i + c];
            pixel |= (sum >> (2 * kWeightBits)) << (8 * c);
        }
        target[i] = pixel;
    }
}

void MixRowsPortable(const std::uint32_t* const* rows, const std::uint16_t* weights, int count, int width,
                     std::uint32_t* target) {
    MixRowsFrom(rows, weights, count, 0, width, target);
}

#if defined(__x86_64__)

// --- SSE2, which every x86-64 processor has. -----------------------------

using TWords8 = std::uint16_t __attribute__((vector_size(16)));
using TWords16 = std::uint16_t __attribute__((vector_size(32)));

// sums += rows, 32 columns at a time held in registers, so each source
// byte is read once and the sums once per call. Returns the columns done.
std::size_t AddRowsBlocksSse2(const std::uint8_t* const* rows, int rowCount, bool fresh, std::uint16_t* sums,
                              std::size_t count, std::size_t i) {
    const __m128i zero = _mm_setzero_si128();
    for (; i + 32 <= count; i += 32) {
        auto* at = reinterpret_cast<__m128i*>(sums + i);
        __m128i sum0 = zero, sum1 = zero, sum2 = zero, sum3 = zero;
        if (!fresh) {
            sum0 = _mm_loadu_si128(at);
            sum1 = _mm_loadu_si128(at + 1);
            sum2 = _mm_loadu_si128(at + 2);
            sum3 = _mm_loadu_si128(at + 3);
        }
        for (int r = 0; r < rowCount; ++r) {
            const auto* in = reinterpret_cast<const __m128i*>(rows[r] + i);
            const __m128i low = _mm_loadu_si128(in);
            const __m128i high = _mm_loadu_si128(in + 1);
            sum0 = _mm_add_epi16(sum0, _mm_unpacklo_epi8(low, zero));
            sum1 = _mm_add_epi16(sum1, _mm_unpackhi_epi8(low, zero));
            sum2 = _mm_add_epi16(sum2, _mm_unpacklo_epi8(high, zero));
            sum3 = _mm_add_epi16(sum3, _mm_unpackhi_epi8(high, zero));
        }
        _mm_storeu_si128(at, sum0);
        _mm_storeu_si128(at + 1, sum1);
        _mm_storeu_si128(at + 2, sum2);
        _mm_storeu_si128(at + 3, sum3);
    }
    return i;
}

void AddRowsSse2(const std::uint8_t* const* rows, int rowCount, bool fresh, std::uint16_t* sums,
                 std::size_t count) {
    AddRowsFrom(rows, rowCount, fresh, sums, count, AddRowsBlocksSse2(rows, rowCount, fresh, sums, count, 0));
}

// One vector of Words at a time; the vector reads sums not yet written in
// this stage, exactly as the portable loop does.
template <class Words>
[[gnu::always_inline]] inline void PairColumnsVectors(std::uint16_t* sums, std::size_t count, int stages) {
    constexpr std::size_t lanes = sizeof(Words) / sizeof(std::uint16_t);
    for (int stage = 0; stage < stages; ++stage) {
        const std::size_t distance = std::size_t(3) << stage;
        std::size_t i = 0;
        for (; i + lanes <= count; i += lanes) {
            Words here, there;
            std::memcpy(&here, sums + i, sizeof here);
            std::memcpy(&there, sums + i + distance, sizeof there);
            here += there;
            std::memcpy(sums + i, &here, sizeof here);
        }
        for (; i < count; ++i) sums[i] = std::uint16_t(sums[i] + sums[i + distance]);
    }
}

void PairColumnsSse2(std::uint16_t* sums, std::size_t count, int stages) {
    PairColumnsVectors<TWords8>(sums, count, stages);
}

// --- SSE4.1 (with SSSE3's byte shuffle): the filter of the last step. ----

// Pixel i's taps from one 16-byte load: the B, G, R bytes of its first
// two pixels as word pairs (B0 B1, G0 G1, R0 R1), then of the third.
template <int Taps>
__attribute__((target("sse4.1"))) void FilterBgrTapsSse41(const std::uint8_t* source, int limit, const int* first,
                                                          const std::uint16_t* weights, int width,
                                                          std::uint32_t* sums) {
    const __m128i firstTwo = _mm_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1);
    const __m128i third = _mm_setr_epi8(6, -1, -1, -1, 7, -1, -1, -1, 8, -1, -1, -1, -1, -1, -1, -1);
    int i = 0;
    // While the 16 bytes stay inside the row.
    for (; i < width && 3 * std::int64_t(first[i]) + 16 <= 3 * std::int64_t(limit); ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 3 * std::size_t(first[i])));
        const std::uint16_t* w = weights + std::size_t(Taps) * std::size_t(i);
        const std::uint32_t pair = Taps > 1 ? std::uint32_t(w[0]) | (std::uint32_t(w[1]) << 16) : w[0];
        __m128i sum = _mm_madd_epi16(_mm_shuffle_epi8(bytes, firstTwo), _mm_set1_epi32(int(pair)));
        if constexpr (Taps > 2)
            sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_shuffle_epi8(bytes, third), _mm_set1_epi32(w[2])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + 4 * std::size_t(i)), sum);
    }
    FilterBgrPortable(source, limit, first + i, weights + std::size_t(Taps) * std::size_t(i), Taps, width - i,
                      sums + 4 * std::size_t(i));
}

__attribute__((target("sse4.1"))) void FilterBgrSse41(const std::uint8_t* source, int limit, const int* first,
                                                     const std::uint16_t* weights, int taps, int width,
                                                     std::uint32_t* sums) {
    switch (taps) {
        case 1: FilterBgrTapsSse41<1>(source, limit, first, weights, width, sums); return;
        case 2: FilterBgrTapsSse41<2>(source, limit, first, weights, width, sums); return;
        case 3: FilterBgrTapsSse41<3>(source, limit, first, weights, width, sums); return;
        default: FilterBgrPortable(source, limit, first, weights, taps, width, sums); return;
    }
}

__attribute__((target("sse4.1"))) inline __m128i MixPixelSse41(const std::uint32_t* const* rows,
                                                             const std::uint16_t* weights, int count,
                                                             std::size_t at) {
    __m128i sum = _mm_set1_epi32(int(kHalf));
    for (int k = 0; k < count; ++k) {
        const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + at));
        sum = _mm_add_epi32(sum, _mm_mullo_epi32(values, _mm_set1_epi32(weights[k])));
    }
    return _mm_srli_epi32(sum, 2 * kWeightBits);
}

__attribute__((target("sse4.1"))) void MixRowsSse41(const std::uint32_t* const* rows, const std::uint16_t* weights,
                                                   int count, int width, std::uint32_t* target) {
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    int i = 0;
    for (; i + 4 <= width; i += 4) {
        const std::size_t at = 4 * std::size_t(i);
        const __m128i first = _mm_packs_epi32(MixPixelSse41(rows, weights, count, at),
                                              MixPixelSse41(rows, weights, count, at + 4));
        const __m128i second = _mm_packs_epi32(MixPixelSse41(rows, weights, count, at + 8),
                                               MixPixelSse41(rows, weights, count, at + 12));
        // B, G, R, 0 bytes of four pixels: 0x00RRGGBB words, made opaque.
        const __m128i pixels = _mm_or_si128(_mm_packus_epi16(first, second), opaque);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), pixels);
    }
    MixRowsFrom(rows, weights, count, i, width, target);
}

// --- AVX2: the block sums over the whole bitmap. --------------------------

__attribute__((target("avx2"))) void AddRowsAvx2(const std::uint8_t* const* rows, int rowCount, bool fresh,
                                                std::uint16_t* sums, std::size_t count) {
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        auto* at = reinterpret_cast<__m256i*>(sums + i);
        __m256i sum0 = _mm256_setzero_si256(), sum1 = sum0, sum2 = sum0, sum3 = sum0;
        if (!fresh) {
            sum0 = _mm256_loadu_si256(at);
            sum1 = _mm256_loadu_si256(at + 1);
            sum2 = _mm256_loadu_si256(at + 2);
            sum3 = _mm256_loadu_si256(at + 3);
        }
        for (int r = 0; r < rowCount; ++r) {
            const auto* in = reinterpret_cast<const __m128i*>(rows[r] + i);
            sum0 = _mm256_add_epi16(sum0, _mm256_cvtepu8_epi16(_mm_loadu_si128(in)));
            sum1 = _mm256_add_epi16(sum1, _mm256_cvtepu8_epi16(_mm_loadu_si128(in + 1)));
            sum2 = _mm256_add_epi16(sum2, _mm256_cvtepu8_epi16(_mm_loadu_si128(in + 2)));
            sum3 = _mm256_add_epi16(sum3, _mm256_cvtepu8_epi16(_mm_loadu_si128(in + 3)));
        }
        _mm256_storeu_si256(at, sum0);
        _mm256_storeu_si256(at + 1, sum1);
        _mm256_storeu_si256(at + 2, sum2);
        _mm256_storeu_si256(at + 3, sum3);
    }
    AddRowsFrom(rows, rowCount, fresh, sums, count, AddRowsBlocksSse2(rows, rowCount, fresh, sums, count, i));
}

__attribute__((target("avx2"))) void PairColumnsAvx2(std::uint16_t* sums, std::size_t count, int stages) {
    PairColumnsVectors<TWords16>(sums, count, stages);
}

#endif

constexpr TKernels kPortable{AddRowsPortable, PairColumnsPortable, FilterBgrPortable, MixRowsPortable};
#if defined(__x86_64__)
constexpr TKernels kSse2{AddRowsSse2, PairColumnsSse2, FilterBgrPortable, MixRowsPortable};
constexpr TKernels kSse41{AddRowsSse2, PairColumnsSse2, FilterBgrSse41, MixRowsSse41};
constexpr TKernels kAvx2{AddRowsAvx2, PairColumnsAvx2, FilterBgrSse41, MixRowsSse41};
#endif

}  // namespace

std::vector<TInstructionSet> Supported() {
    std::vector<TInstructionSet> sets{TInstructionSet::Portable};
#if defined(__x86_64__)
    __builtin_cpu_init();
    sets.push_back(TInstructionSet::Sse2);
    if (__builtin_cpu_supports("sse4.1")) sets.push_back(TInstructionSet::Sse41);
    if (__builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("avx2")) sets.push_back(TInstructionSet::Avx2);
#endif
    return sets;
}

const TKernels& For(TInstructionSet set) {
#if defined(__x86_64__)
    switch (set) {
        case TInstructionSet::Portable: return kPortable;
        case TInstructionSet::Sse2: return kSse2;
        case TInstructionSet::Sse41: return kSse41;
        case TInstructionSet::Avx2: return kAvx2;
    }
#endif
    (void)set;
    return kPortable;
}

const TKernels& Best() {
    static const TKernels& best = For(Supported().back());
    return best;
}

}  // namespace pixel_kernels
