#include "yuv/YuvWordKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace lumo {
namespace {

inline __m128i LoadU(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

inline void StoreU(void* p, __m128i x)
{
    _mm_storeu_si128(static_cast<__m128i*>(p), x);
}

// Eight samples of eight words.
struct Unpacker {
    explicit Unpacker(SampleBits bits)
        : shift(_mm_cvtsi32_si128(bits.shift)), mask(_mm_set1_epi16(static_cast<int16_t>(bits.mask())))
    {
    }
    __m128i operator()(const uint8_t* words) const { return _mm_and_si128(_mm_srl_epi16(LoadU(words), shift), mask); }
    __m128i shift;
    __m128i mask;
};

void Load(const uint8_t* src, int count, SampleBits bits, uint16_t* out)
{
    const Unpacker sample(bits);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = sample(src + 2 * i);
        const __m128i b = sample(src + 2 * i + 16);
        StoreU(out + i, a);
        StoreU(out + i + 8, b);
    }
    PlainWordKernels().load(src + 2 * i, count - i, bits, out + i);
}

void LoadWiden(const uint8_t* src, int count, SampleBits bits, uint16_t* out)
{
    const Unpacker sample(bits);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i s = sample(src + 2 * i);
        StoreU(out + 2 * i, _mm_unpacklo_epi16(s, s));
        StoreU(out + 2 * i + 8, _mm_unpackhi_epi16(s, s));
    }
    PlainWordKernels().loadWiden(src + 2 * i, count - i, bits, out + 2 * i);
}

void LoadWidenPairs(const uint8_t* pairs, int count, SampleBits bits, uint16_t* outA, uint16_t* outB)
{
    const Unpacker sample(bits);
    const __m128i low = _mm_set1_epi32(0xffff);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = sample(pairs + 4 * i); // per 32-bit lane: a | b << 16
        const __m128i a = _mm_and_si128(s, low);
        const __m128i b = _mm_srli_epi32(s, 16);
        StoreU(outA + 2 * i, _mm_or_si128(a, _mm_slli_epi32(a, 16)));
        StoreU(outB + 2 * i, _mm_or_si128(b, _mm_slli_epi32(b, 16)));
    }
    PlainWordKernels().loadWidenPairs(pairs + 4 * i, count - i, bits, outA + 2 * i, outB + 2 * i);
}

void Narrow(const uint8_t* src, int count, SampleBits bits, uint8_t* out)
{
    const Unpacker sample(bits);
    // (s + half) >> drop as (s >> drop) + bit drop-1 of s: no 16-bit overflow
    // for 16-bit samples. At most 256, which the pack saturates to 255.
    const __m128i drop = _mm_cvtsi32_si128(bits.depth - 8);
    const __m128i dropLess1 = _mm_cvtsi32_si128(bits.depth - 9);
    const __m128i one = _mm_set1_epi16(1);
    auto round = [&](__m128i s) {
        return _mm_add_epi16(_mm_srl_epi16(s, drop), _mm_and_si128(_mm_srl_epi16(s, dropLess1), one));
    };
    int i = 0;
    if (bits.depth > 8) {
        for (; i + 16 <= count; i += 16)
            StoreU(out + i, _mm_packus_epi16(round(sample(src + 2 * i)), round(sample(src + 2 * i + 16))));
    }
    PlainWordKernels().narrow(src + 2 * i, count - i, bits, out + i);
}

void Extend(const uint8_t* src, int count, uint16_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i x = LoadU(src + i);
        StoreU(out + i, _mm_unpacklo_epi8(x, zero));
        StoreU(out + i + 8, _mm_unpackhi_epi8(x, zero));
    }
    PlainWordKernels().extend(src + i, count - i, out + i);
}

} // namespace

const YuvWordKernels& Sse2WordKernels()
{
    static const YuvWordKernels kernels{Load, LoadWiden, LoadWidenPairs, Narrow, Extend};
    return kernels;
}

} // namespace lumo

#else

namespace lumo {

const YuvWordKernels& Sse2WordKernels()
{
    return PlainWordKernels();
}

} // namespace lumo

#endif
