#pragma once

#include <cstdint>

namespace lumo {

// Cr coefficient of a metric colour-range code: 0 BT.601 video (1.596),
// 1 BT.601 full (1.4022), 2 BT.709 video (1.793); other codes use code 0's.
double RedCrCoefficient(int metricRange);

// The red plane Y + k*(V-128) of an I420 frame, truncated and clamped to
// 0..255, into `dst` (w*h bytes). The chroma planes hold ceil(w/2) x
// ceil(h/2) samples: the V sample of pixel (x, y) is at
// n + cw*ch + (y/2)*cw + x/2 (n = w*h, cw = ceil(w/2), ch = ceil(h/2)).
void I420RedPlane(const uint8_t* frame, int width, int height, int metricRange, uint8_t* dst);
// The same at native depth for I420 frames of 16-bit samples of `depth`
// bits: Y + k*(V - (1 << (depth-1))), truncated and clamped to
// 0..(1 << depth) - 1. Depth 8 gives the 8-bit function's values.
void I420RedPlane(const uint16_t* frame, int width, int height, int depth, int metricRange, uint16_t* dst);

} // namespace lumo
