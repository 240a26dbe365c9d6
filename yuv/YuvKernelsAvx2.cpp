// Compiled with -mavx2 on x86-64: only reached after CpuHasAvx2() said yes.
// Everything here has internal linkage apart from Avx2Kernels, so no AVX2
// code can stand in for a function the rest of the program calls.
#include "yuv/YuvKernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "yuv/YuvSimdRgb.h"

namespace lumo {
namespace {

// Sixteen 16-bit lanes.
struct V256 {
    static constexpr int kLanes = 16;
    __m256i x;

    static V256 Set(int16_t value) { return {_mm256_set1_epi16(value)}; }
    static V256 Shr7(V256 a) { return {_mm256_srli_epi16(a.x, 7)}; }
    static V256 Shl2(V256 a) { return {_mm256_slli_epi16(a.x, 2)}; }
    static V256 Load(const uint8_t* p)
    {
        return {_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))};
    }
    // Writes 48 bytes of RGB and up to 4 bytes after them.
    static void StoreRgb(V256 r, V256 g, V256 b, uint8_t* out)
    {
        // Each 128-bit lane holds eight pixels: 0-7 and 8-15.
        const __m256i zero = _mm256_setzero_si256();
        const __m256i rg8 = _mm256_packus_epi16(r.x, g.x);
        const __m256i b8 = _mm256_packus_epi16(b.x, zero);
        const __m256i rg = _mm256_unpacklo_epi8(rg8, _mm256_srli_si256(rg8, 8));
        const __m256i bz = _mm256_unpacklo_epi8(b8, zero);
        const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, //
                                              0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
        const __m256i lo = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(rg, bz), pack); // pixels 0-3, 8-11
        const __m256i hi = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(rg, bz), pack); // pixels 4-7, 12-15
        Store(out, _mm256_castsi256_si128(lo));
        Store(out + 12, _mm256_castsi256_si128(hi));
        Store(out + 24, _mm256_extracti128_si256(lo, 1));
        Store(out + 36, _mm256_extracti128_si256(hi, 1));
    }

private:
    static void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
};

inline V256 operator+(V256 a, V256 b) { return {_mm256_add_epi16(a.x, b.x)}; }
inline V256 operator-(V256 a, V256 b) { return {_mm256_sub_epi16(a.x, b.x)}; }
inline V256 operator&(V256 a, V256 b) { return {_mm256_and_si256(a.x, b.x)}; }
inline V256 operator|(V256 a, V256 b) { return {_mm256_or_si256(a.x, b.x)}; }
inline V256 MulLo(V256 a, V256 b) { return {_mm256_mullo_epi16(a.x, b.x)}; }
inline V256 MulHiU(V256 a, V256 b) { return {_mm256_mulhi_epu16(a.x, b.x)}; }
inline V256 CmpEq(V256 a, V256 b) { return {_mm256_cmpeq_epi16(a.x, b.x)}; }
inline V256 CmpGt(V256 a, V256 b) { return {_mm256_cmpgt_epi16(a.x, b.x)}; }
inline V256 Max(V256 a, V256 b) { return {_mm256_max_epi16(a.x, b.x)}; }
inline unsigned MoveMask(V256 a) { return static_cast<unsigned>(_mm256_movemask_epi8(a.x)); }

void Rgb(const uint8_t* y, const uint8_t* u, const uint8_t* v, int count, uint8_t* out)
{
    RgbRowT<V256>(y, u, v, count, out);
}

} // namespace

const YuvKernels& Avx2Kernels()
{
    const YuvKernels& base = Sse2Kernels();
    static const YuvKernels kernels{base.widen, base.widenPairs, base.splitPairs, base.splitTriples,
                                    base.unpack422, Rgb};
    return kernels;
}

} // namespace lumo

#else

namespace lumo {

const YuvKernels& Avx2Kernels()
{
    return Sse2Kernels();
}

} // namespace lumo

#endif
