// Compiled with -mavx2 on x86-64: only reached after CpuHasAvx2() said yes.
// Everything here has internal linkage apart from Avx2WordKernels.
#include "yuv/YuvWordKernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace lumo {
namespace {

inline __m256i LoadU(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

inline void StoreU(void* p, __m256i x)
{
    _mm256_storeu_si256(static_cast<__m256i*>(p), x);
}

// Sixteen samples of sixteen words, or eight of eight.
struct Unpacker {
    explicit Unpacker(SampleBits bits)
        : shift(_mm_cvtsi32_si128(bits.shift)), mask(_mm256_set1_epi16(static_cast<int16_t>(bits.mask())))
    {
    }
    __m256i operator()(const uint8_t* words) const
    {
        return _mm256_and_si256(_mm256_srl_epi16(LoadU(words), shift), mask);
    }
    __m128i Half(const uint8_t* words) const
    {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
        return _mm_and_si128(_mm_srl_epi16(x, shift), _mm256_castsi256_si128(mask));
    }
    __m128i shift;
    __m256i mask;
};

void Load(const uint8_t* src, int count, SampleBits bits, uint16_t* out)
{
    const Unpacker sample(bits);
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i a = sample(src + 2 * i);
        const __m256i b = sample(src + 2 * i + 32);
        StoreU(out + i, a);
        StoreU(out + i + 16, b);
    }
    PlainWordKernels().load(src + 2 * i, count - i, bits, out + i);
}

void LoadWiden(const uint8_t* src, int count, SampleBits bits, uint16_t* out)
{
    const Unpacker sample(bits);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i a = _mm256_cvtepu16_epi32(sample.Half(src + 2 * i));
        const __m256i b = _mm256_cvtepu16_epi32(sample.Half(src + 2 * i + 16));
        StoreU(out + 2 * i, _mm256_or_si256(a, _mm256_slli_epi32(a, 16)));
        StoreU(out + 2 * i + 16, _mm256_or_si256(b, _mm256_slli_epi32(b, 16)));
    }
    PlainWordKernels().loadWiden(src + 2 * i, count - i, bits, out + 2 * i);
}

void LoadWidenPairs(const uint8_t* pairs, int count, SampleBits bits, uint16_t* outA, uint16_t* outB)
{
    const Unpacker sample(bits);
    const __m256i low = _mm256_set1_epi32(0xffff);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = sample(pairs + 4 * i); // per 32-bit lane: a | b << 16
        const __m256i a = _mm256_and_si256(s, low);
        const __m256i b = _mm256_srli_epi32(s, 16);
        StoreU(outA + 2 * i, _mm256_or_si256(a, _mm256_slli_epi32(a, 16)));
        StoreU(outB + 2 * i, _mm256_or_si256(b, _mm256_slli_epi32(b, 16)));
    }
    PlainWordKernels().loadWidenPairs(pairs + 4 * i, count - i, bits, outA + 2 * i, outB + 2 * i);
}

void Narrow(const uint8_t* src, int count, SampleBits bits, uint8_t* out)
{
    const Unpacker sample(bits);
    // As in the SSE2 kernel: (s >> drop) + bit drop-1 of s, saturated by the pack.
    const __m128i drop = _mm_cvtsi32_si128(bits.depth - 8);
    const __m128i dropLess1 = _mm_cvtsi32_si128(bits.depth - 9);
    const __m256i one = _mm256_set1_epi16(1);
    auto round = [&](__m256i s) {
        return _mm256_add_epi16(_mm256_srl_epi16(s, drop), _mm256_and_si256(_mm256_srl_epi16(s, dropLess1), one));
    };
    int i = 0;
    if (bits.depth > 8) {
        for (; i + 32 <= count; i += 32) {
            // The pack works per 128-bit lane; the permute puts the quarters in order.
            const __m256i packed = _mm256_packus_epi16(round(sample(src + 2 * i)), round(sample(src + 2 * i + 32)));
            StoreU(out + i, _mm256_permute4x64_epi64(packed, 0xd8));
        }
    }
    PlainWordKernels().narrow(src + 2 * i, count - i, bits, out + i);
}

void Extend(const uint8_t* src, int count, uint16_t* out)
{
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        StoreU(out + i, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i))));
        StoreU(out + i + 16, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16))));
    }
    PlainWordKernels().extend(src + i, count - i, out + i);
}

} // namespace

const YuvWordKernels& Avx2WordKernels()
{
    static const YuvWordKernels kernels{Load, LoadWiden, LoadWidenPairs, Narrow, Extend};
    return kernels;
}

} // namespace lumo

#else

namespace lumo {

const YuvWordKernels& Avx2WordKernels()
{
    return Sse2WordKernels();
}

} // namespace lumo

#endif
