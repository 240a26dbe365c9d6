#include "render/PixelMath.h"

#include <algorithm>
#include <cmath>

void FrameShaderRgb(int colorRange, float gamma, int y, int u, int v, int rgb[3])
{
    // Columns Y, U, V of the shader's matrices, per colour range.
    static const float kMatrices[4][9] = {
        {1.164f, 1.164f, 1.164f, 0.0f, -0.213f, 2.112f, 1.793f, -0.533f, 0.0f},
        {1.164f, 1.164f, 1.164f, 0.0f, -0.213f, 2.112f, 1.793f, -0.533f, 0.0f},
        {1.164f, 1.164f, 1.164f, 0.0f, -0.392f, 2.017f, 1.596f, -0.813f, 0.0f},
        {1.0f, 1.0f, 1.0f, 0.0f, -0.343f, 1.765f, 1.4f, -0.711f, 0.0f},
    };
    if (colorRange < 1 || colorRange > 4) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    const float* m = kMatrices[colorRange - 1];
    const float yf = y / 255.0f;
    const float uf = u / 255.0f - 0.5f;
    const float vf = v / 255.0f - 0.5f;
    for (int c = 0; c < 3; ++c) {
        float value = m[c] * yf + m[3 + c] * uf + m[6 + c] * vf;
        value = value <= 0.0f ? 0.0f : std::pow(value, gamma);
        rgb[c] = static_cast<int>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
    }
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
