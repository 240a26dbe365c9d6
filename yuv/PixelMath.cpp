#include "yuv/PixelMath.h"

#include "yuv/YuvColorMatrix.h"

void FrameShaderRgb(int colorRange, double gamma, int depth, int y, int u, int v, int rgb[3])
{
    lumo::ColorMatrix m;
    if (!lumo::MatrixFor(colorRange, depth, &m)) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    uint8_t out[3];
    lumo::MatrixRgb(m, gamma, y, u, v, out);
    for (int c = 0; c < 3; ++c)
        rgb[c] = out[c];
}

void DiffSamples(const uint8_t* a, const uint8_t* b, size_t n, int gain, uint8_t* out)
{
    // 16-bit lanes: |gain * (b - a)| stays below 2^13 for gains up to 16.
    const int16_t g = static_cast<int16_t>(gain);
    for (size_t i = 0; i < n; ++i) {
        const int16_t d = static_cast<int16_t>(128 + g * static_cast<int16_t>(b[i] - a[i]));
        out[i] = static_cast<uint8_t>(d < 0 ? 0 : (d > 255 ? 255 : d));
    }
}
