#include "iqa/RedPlane.h"

#include <cstddef>

#include "yuv/YuvTypeTable.h"

namespace lumo {

double RedCrCoefficient(int metricRange)
{
    switch (metricRange) {
    case 1:
        return 1.4022;
    case 2:
        return 1.793;
    default:
        return 1.596;
    }
}

void I420RedPlane(const uint8_t* frame, int width, int height, int metricRange, uint8_t* dst)
{
    if (!frame || !dst || width <= 0 || height <= 0)
        return;
    const double k = RedCrCoefficient(metricRange);
    // The value depends on (Y, V) only: a table of the 256 x 256 results.
    uint8_t table[256 * 256];
    for (int v = 0; v < 256; ++v) {
        const double cr = k * (v - 128);
        for (int y = 0; y < 256; ++y) {
            const int r = static_cast<int>(y + cr);
            table[v * 256 + y] = static_cast<uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r));
        }
    }
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const int cw = ChromaWidth(YuvChroma::C420, width);
    const int ch = ChromaHeight(YuvChroma::C420, height);
    const uint8_t* vplane = frame + n + static_cast<std::size_t>(cw) * ch;
    for (int y = 0; y < height; ++y) {
        const uint8_t* ly = frame + static_cast<std::size_t>(y) * width;
        uint8_t* out = dst + static_cast<std::size_t>(y) * width;
        const uint8_t* vrow = vplane + static_cast<std::size_t>(y / 2) * cw;
        int x = 0;
        for (int c = 0; c < width / 2; ++c, x += 2) {
            const uint8_t* t = table + vrow[c] * 256;
            out[x] = t[ly[x]];
            out[x + 1] = t[ly[x + 1]];
        }
        if (x < width)
            out[x] = table[vrow[cw - 1] * 256 + ly[x]];
    }
}

void I420RedPlane(const uint16_t* frame, int width, int height, int depth, int metricRange, uint16_t* dst)
{
    if (!frame || !dst || width <= 0 || height <= 0 || depth < 1 || depth > 16)
        return;
    const double k = RedCrCoefficient(metricRange);
    const int half = 1 << (depth - 1);
    const int top = (1 << depth) - 1;
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const int cw = ChromaWidth(YuvChroma::C420, width);
    const int ch = ChromaHeight(YuvChroma::C420, height);
    const uint16_t* vplane = frame + n + static_cast<std::size_t>(cw) * ch;
    for (int y = 0; y < height; ++y) {
        const uint16_t* ly = frame + static_cast<std::size_t>(y) * width;
        uint16_t* out = dst + static_cast<std::size_t>(y) * width;
        const uint16_t* vrow = vplane + static_cast<std::size_t>(y / 2) * cw;
        for (int x = 0; x < width; ++x) {
            const int v = vrow[x / 2];
            const int r = static_cast<int>(ly[x] + k * (v - half));
            out[x] = static_cast<uint16_t>(r < 0 ? 0 : (r > top ? top : r));
        }
    }
}

} // namespace lumo
