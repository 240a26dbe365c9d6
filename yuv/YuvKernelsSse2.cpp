#include "yuv/YuvKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include "yuv/YuvSimdRgb.h"

namespace lumo {
namespace {

inline __m128i LoadU(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void StoreU(uint8_t* p, __m128i x)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x);
}

// Eight 16-bit lanes.
struct V128 {
    static constexpr int kLanes = 8;
    __m128i x;

    static V128 Set(int16_t value) { return {_mm_set1_epi16(value)}; }
    static V128 Shr7(V128 a) { return {_mm_srli_epi16(a.x, 7)}; }
    static V128 Shl2(V128 a) { return {_mm_slli_epi16(a.x, 2)}; }
    static V128 Load(const uint8_t* p)
    {
        return {_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128())};
    }
    // Writes 24 bytes of RGB and up to 4 bytes after them.
    static void StoreRgb(V128 r, V128 g, V128 b, uint8_t* out)
    {
        const __m128i rg8 = _mm_packus_epi16(r.x, g.x);                      // R0..R7 G0..G7
        const __m128i b8 = _mm_packus_epi16(b.x, _mm_setzero_si128());       // B0..B7 0..
        const __m128i rg = _mm_unpacklo_epi8(rg8, _mm_srli_si128(rg8, 8));   // R0 G0 R1 G1 ..
        const __m128i bz = _mm_unpacklo_epi8(b8, _mm_setzero_si128());       // B0 0 B1 0 ..
        StoreU(out, Pack4(_mm_unpacklo_epi16(rg, bz)));
        StoreU(out + 12, Pack4(_mm_unpackhi_epi16(rg, bz)));
    }

private:
    // Four R G B 0 pixels to 12 bytes (then four zero bytes).
    static __m128i Pack4(__m128i p)
    {
        const __m128i lo = _mm_set_epi32(0, -1, 0, -1);
        // In each 64-bit half: pixel 0 in bytes 0-2, pixel 1 in bytes 3-5.
        const __m128i halves = _mm_or_si128(_mm_and_si128(p, lo), _mm_srli_epi64(_mm_andnot_si128(lo, p), 8));
        const __m128i first = _mm_set_epi32(0, 0, 0x0000ffff, -1);
        return _mm_or_si128(_mm_and_si128(halves, first), _mm_srli_si128(_mm_andnot_si128(first, halves), 2));
    }
};

inline V128 operator+(V128 a, V128 b) { return {_mm_add_epi16(a.x, b.x)}; }
inline V128 operator-(V128 a, V128 b) { return {_mm_sub_epi16(a.x, b.x)}; }
inline V128 operator&(V128 a, V128 b) { return {_mm_and_si128(a.x, b.x)}; }
inline V128 operator|(V128 a, V128 b) { return {_mm_or_si128(a.x, b.x)}; }
inline V128 MulLo(V128 a, V128 b) { return {_mm_mullo_epi16(a.x, b.x)}; }
inline V128 MulHiU(V128 a, V128 b) { return {_mm_mulhi_epu16(a.x, b.x)}; }
inline V128 CmpEq(V128 a, V128 b) { return {_mm_cmpeq_epi16(a.x, b.x)}; }
inline V128 CmpGt(V128 a, V128 b) { return {_mm_cmpgt_epi16(a.x, b.x)}; }
inline V128 Max(V128 a, V128 b) { return {_mm_max_epi16(a.x, b.x)}; }
inline unsigned MoveMask(V128 a) { return static_cast<unsigned>(_mm_movemask_epi8(a.x)); }

void Widen(const uint8_t* src, int count, uint8_t* out)
{
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i x = LoadU(src + i);
        StoreU(out + 2 * i, _mm_unpacklo_epi8(x, x));
        StoreU(out + 2 * i + 16, _mm_unpackhi_epi8(x, x));
    }
    PlainKernels().widen(src + i, count - i, out + 2 * i);
}

void WidenPairs(const uint8_t* pairs, int count, uint8_t* outA, uint8_t* outB)
{
    const __m128i low = _mm_set1_epi16(0x00ff);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i x = LoadU(pairs + 2 * i);
        const __m128i a = _mm_and_si128(x, low);
        const __m128i b = _mm_srli_epi16(x, 8);
        StoreU(outA + 2 * i, _mm_or_si128(a, _mm_slli_epi16(a, 8)));
        StoreU(outB + 2 * i, _mm_or_si128(b, _mm_slli_epi16(b, 8)));
    }
    PlainKernels().widenPairs(pairs + 2 * i, count - i, outA + 2 * i, outB + 2 * i);
}

void SplitPairs(const uint8_t* pairs, int count, uint8_t* outA, uint8_t* outB)
{
    const __m128i low = _mm_set1_epi16(0x00ff);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i x0 = LoadU(pairs + 2 * i);
        const __m128i x1 = LoadU(pairs + 2 * i + 16);
        StoreU(outA + i, _mm_packus_epi16(_mm_and_si128(x0, low), _mm_and_si128(x1, low)));
        StoreU(outB + i, _mm_packus_epi16(_mm_srli_epi16(x0, 8), _mm_srli_epi16(x1, 8)));
    }
    PlainKernels().splitPairs(pairs + 2 * i, count - i, outA + i, outB + i);
}

// Low 16 bits of the 32-bit lanes of a and b, in order.
inline __m128i Pack32To16(__m128i a, __m128i b)
{
    const __m128i bias = _mm_set1_epi32(0x8000);
    const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(a, bias), _mm_sub_epi32(b, bias));
    return _mm_xor_si128(packed, _mm_set1_epi16(static_cast<int16_t>(0x8000)));
}

void Unpack422(const uint8_t* groups, int count, const int pos[4], uint8_t* y, uint8_t* u, uint8_t* v)
{
    const __m128i byteMask = _mm_set1_epi32(0xff);
    __m128i shift[4];
    for (int p = 0; p < 4; ++p)
        shift[p] = _mm_cvtsi32_si128(8 * pos[p]);
    auto take = [&](__m128i g, int p) { return _mm_and_si128(_mm_srl_epi32(g, shift[p]), byteMask); };
    // Per 32-bit lane: luma pair Y0 | Y1 << 8, chroma c | c << 8.
    auto lumaPair = [&](__m128i g) { return _mm_or_si128(take(g, 0), _mm_slli_epi32(take(g, 1), 8)); };
    auto chromaPair = [&](__m128i g, int p) {
        const __m128i c = take(g, p);
        return _mm_or_si128(c, _mm_slli_epi32(c, 8));
    };
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i g0 = LoadU(groups + 4 * i);
        const __m128i g1 = LoadU(groups + 4 * i + 16);
        StoreU(y + 2 * i, Pack32To16(lumaPair(g0), lumaPair(g1)));
        StoreU(u + 2 * i, Pack32To16(chromaPair(g0, 2), chromaPair(g1, 2)));
        StoreU(v + 2 * i, Pack32To16(chromaPair(g0, 3), chromaPair(g1, 3)));
    }
    PlainKernels().unpack422(groups + 4 * i, count - i, pos, y + 2 * i, u + 2 * i, v + 2 * i);
}

void Rgb(const uint8_t* y, const uint8_t* u, const uint8_t* v, int count, uint8_t* out)
{
    RgbRowT<V128>(y, u, v, count, out);
}

// Chroma widened a few hundred pairs at a time, then converted as full rows.
void RgbPairs(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v, int pairs, uint8_t* out0,
              uint8_t* out1)
{
    constexpr int kChunk = 256;
    uint8_t wideU[2 * kChunk], wideV[2 * kChunk];
    for (int i = 0; i < pairs; i += kChunk) {
        const int n = pairs - i < kChunk ? pairs - i : kChunk;
        Widen(u + i, n, wideU);
        Widen(v + i, n, wideV);
        Rgb(y0 + 2 * i, wideU, wideV, 2 * n, out0 + 6 * i);
        if (y1)
            Rgb(y1 + 2 * i, wideU, wideV, 2 * n, out1 + 6 * i);
    }
}

} // namespace

bool CpuHasAvx2()
{
    // cpu_init makes this safe even from another static initialiser.
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
}

const YuvKernels& Sse2Kernels()
{
    static const YuvKernels kernels{Widen, WidenPairs, SplitPairs, PlainKernels().splitTriples, Unpack422, Rgb,
                                    RgbPairs};
    return kernels;
}

} // namespace lumo

#else

namespace lumo {

bool CpuHasAvx2()
{
    return false;
}

const YuvKernels& Sse2Kernels()
{
    return PlainKernels();
}

} // namespace lumo

#endif
