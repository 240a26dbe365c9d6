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

void RgbPairs(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v, int pairs, uint8_t* out0,
              uint8_t* out1)
{
    for (int p = 0; p < 2 * pairs; ++p) {
        YuvToRgbPixel(y0[p], u[p / 2], v[p / 2], out0 + 3 * p);
        if (y1)
            YuvToRgbPixel(y1[p], u[p / 2], v[p / 2], out1 + 3 * p);
    }
}

RgbTies FindTies()
{
    RgbTies ties{};
    for (int c = 0; c < 256; ++c) {
        for (int y = 0; y < 256; ++y) {
            uint8_t rgb[3];
            YuvToRgbPixel(y, c, c, rgb);
            const int r = 291 * (y - 16) + 399 * (c - 128);
            const int b = 291 * (y - 16) + 504 * (c - 128);
            if (r % 250 == 0 && r / 250 >= 1 && r / 250 <= 255 && rgb[0] == r / 250 - 1)
                ties.r[c / 8] |= static_cast<uint8_t>(1 << (c % 8));
            if (b % 250 == 0 && b / 250 >= 1 && b / 250 <= 255 && rgb[2] == b / 250 - 1)
                ties.b[c / 8] |= static_cast<uint8_t>(1 << (c % 8));
        }
    }
    return ties;
}

} // namespace

const RgbTies& RgbTieBits()
{
    static const RgbTies ties = FindTies();
    return ties;
}

const YuvKernels& PlainKernels()
{
    static const YuvKernels kernels{Widen, WidenPairs, SplitPairs, SplitTriples, Unpack422, Rgb, RgbPairs};
    return kernels;
}

} // namespace lumo
