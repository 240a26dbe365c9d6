#pragma once

#include <cstddef>
#include <cstdint>

// What the frame program draws for one sample triple of `depth` bits: the
// standard matrix of view range `colorRange` (1 to 4, lumo::MatrixFor),
// each component clamped to 0..1 and raised to `gamma`, as 8-bit R, G, B.
// The program computes in single precision and may differ by one level.
void FrameShaderRgb(int colorRange, double gamma, int depth, int y, int u, int v, int rgb[3]);

// The difference view: out = clamp(128 + gain * (b - a), 0, 255) for `n`
// samples, signed differences around mid-grey.
void DiffSamples(const uint8_t* a, const uint8_t* b, size_t n, int gain, uint8_t* out);
