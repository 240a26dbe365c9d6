#include "yuv/YuvWordKernels.h"

namespace lumo {
namespace {

// Bytes, not a uint16_t load: any alignment and any host byte order.
inline unsigned Sample(const uint8_t* src, int i, SampleBits bits)
{
    const unsigned word = src[2 * i] | (static_cast<unsigned>(src[2 * i + 1]) << 8);
    return (word >> bits.shift) & bits.mask();
}

void Load(const uint8_t* src, int count, SampleBits bits, uint16_t* out)
{
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<uint16_t>(Sample(src, i, bits));
}

void LoadWiden(const uint8_t* src, int count, SampleBits bits, uint16_t* out)
{
    for (int i = 0; i < count; ++i)
        out[2 * i] = out[2 * i + 1] = static_cast<uint16_t>(Sample(src, i, bits));
}

void LoadWidenPairs(const uint8_t* pairs, int count, SampleBits bits, uint16_t* outA, uint16_t* outB)
{
    for (int i = 0; i < count; ++i) {
        outA[2 * i] = outA[2 * i + 1] = static_cast<uint16_t>(Sample(pairs, 2 * i, bits));
        outB[2 * i] = outB[2 * i + 1] = static_cast<uint16_t>(Sample(pairs, 2 * i + 1, bits));
    }
}

void Narrow(const uint8_t* src, int count, SampleBits bits, uint8_t* out)
{
    const int drop = bits.depth - 8;
    const unsigned half = drop > 0 ? 1u << (drop - 1) : 0u;
    for (int i = 0; i < count; ++i) {
        const unsigned v = (Sample(src, i, bits) + half) >> drop;
        out[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
}

void Extend(const uint8_t* src, int count, uint16_t* out)
{
    for (int i = 0; i < count; ++i)
        out[i] = src[i];
}

} // namespace

const YuvWordKernels& PlainWordKernels()
{
    static const YuvWordKernels kernels{Load, LoadWiden, LoadWidenPairs, Narrow, Extend};
    return kernels;
}

} // namespace lumo
