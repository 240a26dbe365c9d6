#pragma once

#include <cstddef>
#include <cstdint>

// What the frame program draws for one sample triple: the colour matrix of
// `colorRange` (1 to 4), then each component raised to `gamma`, as 8-bit
// R, G, B the way the frame buffer stores them. Components below 0 show as
// 0 (GLSL leaves pow of a negative base undefined).
void FrameShaderRgb(int colorRange, float gamma, int y, int u, int v, int rgb[3]);

// The difference view: out = clamp(128 + gain * (b - a), 0, 255) for `n`
// samples, signed differences around mid-grey.
void DiffSamples(const uint8_t* a, const uint8_t* b, size_t n, int gain, uint8_t* out);
