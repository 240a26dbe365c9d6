#include "yuv/YuvConvert.h"
#include "yuv/YuvKernels.h"

namespace lumo {
namespace {

void Widen(const uint8_t* src, int count, uint8_t* out)
{
    for (int i = 0; i < count; ++i)
        out[2 * i] = out[2 * i + 1] = src[i];
}

void WidenPairs(const uint8_t* pairs, int count, uint8_t* outA, uint8_t* outB)
{
    for (int i = 0; i < count; ++i) {
        outA[2 * i] = outA[2 * i + 1] = pairs[2 * i];
        outB[2 * i] = outB[2 * i + 1] = pairs[2 * i + 1];
    }
}

void SplitPairs(const uint8_t* pairs, int count, uint8_t* outA, uint8_t* outB)
{
    for (int i = 0; i < count; ++i) {
        outA[i] = pairs[2 * i];
        outB[i] = pairs[2 * i + 1];
    }
}

void SplitTriples(const uint8_t* src, int count, uint8_t* outA, uint8_t* outB, uint8_t* outC)
{
    for (int i = 0; i < count; ++i) {
        outA[i] = src[3 * i];
        outB[i] = src[3 * i + 1];
        outC[i] = src[3 * i + 2];
    }
}

void Unpack422(const uint8_t* groups, int count, const int pos[4], uint8_t* y, uint8_t* u, uint8_t* v)
{
    for (int i = 0; i < count; ++i) {
        const uint8_t* g = groups + 4 * i;
        y[2 * i] = g[pos[0]];
        y[2 * i + 1] = g[pos[1]];
        u[2 * i] = u[2 * i + 1] = g[pos[2]];
        v[2 * i] = v[2 * i + 1] = g[pos[3]];
    }
}

void Rgb(const uint8_t* y, const uint8_t* u, const uint8_t* v, int count, uint8_t* out)
{
    for (int i = 0; i < count; ++i)
        YuvToRgbPixel(y[i], u[i], v[i], out + 3 * i);
}

} // namespace

const YuvKernels& PlainKernels()
{
    static const YuvKernels kernels{Widen, WidenPairs, SplitPairs, SplitTriples, Unpack422, Rgb};
    return kernels;
}

} // namespace lumo
