#pragma once

#include <cstdint>

namespace lumo {

// Cr coefficient of a metric colour-range code: 0 BT.601 video (1.596),
// 1 BT.601 full (1.4022), 2 BT.709 video (1.793); other codes use code 0's.
double RedCrCoefficient(int colorRange);

// The red plane Y + k*(V-128) of an I420 frame, truncated and clamped to
// 0..255, into `dst` (w*h bytes). The chroma planes hold floor(w/2) x
// floor(h/2) samples (U at n, V at n + n/4, n = w*h); pixels past the last
// chroma row or column take the last one, and V is 128 when the frame has
// no chroma sample at all.
void I420RedPlane(const uint8_t* frame, int width, int height, int colorRange, uint8_t* dst);
// The same at native depth for I420 frames of 16-bit samples of `depth`
// bits: Y + k*(V - (1 << (depth-1))), truncated and clamped to
// 0..(1 << depth) - 1. Depth 8 gives the 8-bit function's values.
void I420RedPlane(const uint16_t* frame, int width, int height, int depth, int colorRange, uint16_t* dst);

} // namespace lumo
