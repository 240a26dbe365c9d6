#include "iqa/PsnrMse.h"

#include <cmath>
#include <limits>

#include "yuv/YuvTypeTable.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LUMO_IQA_X86 1
#include <immintrin.h>
#endif

namespace lumo {
namespace {

// The reference loop of every faster path, for 8- and 16-bit samples.
template <typename Sample>
uint64_t SumSquaredDiffScalar(const Sample* a, const Sample* b, std::size_t n)
{
    uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int64_t d = static_cast<int64_t>(a[i]) - static_cast<int64_t>(b[i]);
        sum += static_cast<uint64_t>(d * d);
    }
    return sum;
}

#ifdef LUMO_IQA_X86
// Blocks of 32-bit partial sums are flushed to 64 bits before they can
// overflow: each lane gains at most 2 * 2 * 255^2 per step.
constexpr std::size_t kFlushSteps = 4096;

uint64_t SumSquaredDiffSse2(const uint8_t* a, const uint8_t* b, std::size_t n)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i total = _mm_setzero_si128(); // two 64-bit lanes
    std::size_t i = 0;
    while (n - i >= 16) {
        __m128i acc = _mm_setzero_si128();
        for (std::size_t step = 0; step < kFlushSteps && n - i >= 16; ++step, i += 16) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
            const __m128i dlo = _mm_sub_epi16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
            const __m128i dhi = _mm_sub_epi16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
            acc = _mm_add_epi32(acc, _mm_madd_epi16(dlo, dlo));
            acc = _mm_add_epi32(acc, _mm_madd_epi16(dhi, dhi));
        }
        total = _mm_add_epi64(total, _mm_unpacklo_epi32(acc, zero));
        total = _mm_add_epi64(total, _mm_unpackhi_epi32(acc, zero));
    }
    alignas(16) uint64_t lanes[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), total);
    return lanes[0] + lanes[1] + SumSquaredDiffScalar(a + i, b + i, n - i);
}

// Adds the eight unsigned 32-bit lanes of `v` into the four 64-bit lanes
// of `total`.
__attribute__((target("avx2"))) inline __m256i AddWidened(__m256i total, __m256i v)
{
    const __m256i zero = _mm256_setzero_si256();
    total = _mm256_add_epi64(total, _mm256_unpacklo_epi32(v, zero));
    return _mm256_add_epi64(total, _mm256_unpackhi_epi32(v, zero));
}

__attribute__((target("avx2"))) inline uint64_t LaneSum(__m256i total)
{
    alignas(32) uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), total);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

__attribute__((target("avx2"))) uint64_t SumSquaredDiffAvx2(const uint8_t* a, const uint8_t* b, std::size_t n)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i total = _mm256_setzero_si256(); // four 64-bit lanes
    std::size_t i = 0;
    while (n - i >= 32) {
        __m256i acc0 = _mm256_setzero_si256();
        __m256i acc1 = _mm256_setzero_si256();
        for (std::size_t step = 0; step < kFlushSteps && n - i >= 32; ++step, i += 32) {
            const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
            const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
            const __m256i dlo = _mm256_sub_epi16(_mm256_unpacklo_epi8(va, zero), _mm256_unpacklo_epi8(vb, zero));
            const __m256i dhi = _mm256_sub_epi16(_mm256_unpackhi_epi8(va, zero), _mm256_unpackhi_epi8(vb, zero));
            acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(dlo, dlo));
            acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(dhi, dhi));
        }
        total = AddWidened(AddWidened(total, acc0), acc1);
    }
    return LaneSum(total) + SumSquaredDiffSse2(a + i, b + i, n - i);
}
// 16-bit samples: |a - b| as an unsigned word, its square as two 16-bit
// halves joined to 32 bits (below 2^32 for any two samples), summed in
// 64-bit lanes. No partial sum can overflow, whatever the depth.
__attribute__((target("avx2"))) uint64_t SumSquaredDiffWordsAvx2(const uint16_t* a, const uint16_t* b,
                                                                   std::size_t n)
{
    __m256i total = _mm256_setzero_si256(); // four 64-bit lanes
    std::size_t i = 0;
    for (; n - i >= 16; i += 16) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        const __m256i d = _mm256_or_si256(_mm256_subs_epu16(va, vb), _mm256_subs_epu16(vb, va));
        const __m256i lo = _mm256_mullo_epi16(d, d);
        const __m256i hi = _mm256_mulhi_epu16(d, d);
        const __m256i sq0 = _mm256_unpacklo_epi16(lo, hi); // eight 32-bit squares
        const __m256i sq1 = _mm256_unpackhi_epi16(lo, hi);
        total = AddWidened(AddWidened(total, sq0), sq1);
    }
    return LaneSum(total) + SumSquaredDiffScalar(a + i, b + i, n - i);
}
#endif

} // namespace

uint64_t SumSquaredDiff(const uint16_t* a, const uint16_t* b, std::size_t n)
{
#ifdef LUMO_IQA_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return SumSquaredDiffWordsAvx2(a, b, n);
#endif
    return SumSquaredDiffScalar(a, b, n);
}

uint64_t SumSquaredDiff(const uint8_t* a, const uint8_t* b, std::size_t n)
{
#ifdef LUMO_IQA_X86
    __builtin_cpu_init(); // safe even before static constructors have run
    if (__builtin_cpu_supports("avx2"))
        return SumSquaredDiffAvx2(a, b, n);
    return SumSquaredDiffSse2(a, b, n);
#else
    return SumSquaredDiffScalar(a, b, n);
#endif
}

double PsnrFromMse(double mse)
{
    return PsnrFromMse(mse, 8);
}

double PsnrFromMse(double mse, int depth)
{
    if (depth < 1 || depth > 16)
        return std::numeric_limits<double>::quiet_NaN();
    if (mse == 0.0)
        return 999.99;
    const double peak = static_cast<double>((1u << depth) - 1u);
    return 10.0 * std::log10(peak * peak / mse);
}

namespace {

template <typename Sample>
void I420PsnrMseT(const Sample* reference, const Sample* compared, int width, int height, int depth, double* psnr, double* mse)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!psnr || !mse)
        return;
    if (!reference || !compared || width <= 0 || height <= 0) {
        for (int p = 0; p < 3; ++p) {
            mse[p] = nan;
            psnr[p] = nan;
        }
        return;
    }
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t cn = static_cast<std::size_t>(ChromaWidth(YuvChroma::C420, width)) *
                           static_cast<std::size_t>(ChromaHeight(YuvChroma::C420, height));
    const std::size_t offset[3] = {0, n, n + cn};
    const std::size_t count[3] = {n, cn, cn};
    for (int p = 0; p < 3; ++p) {
        // The sum of integer squares is exact, as the double sum would be.
        const uint64_t sse = count[p] ? SumSquaredDiff(reference + offset[p], compared + offset[p], count[p]) : 0;
        mse[p] = static_cast<double>(sse) / static_cast<double>(count[p]);
        psnr[p] = PsnrFromMse(mse[p], depth);
    }
}

} // namespace

void I420PsnrMse(const uint8_t* reference, const uint8_t* compared, int width, int height, double* psnr, double* mse)
{
    I420PsnrMseT(reference, compared, width, height, 8, psnr, mse);
}

void I420PsnrMse(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth, double* psnr,
                 double* mse)
{
    I420PsnrMseT(reference, compared, width, height, depth, psnr, mse);
}

} // namespace lumo
