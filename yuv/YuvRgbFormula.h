#pragma once

#include <algorithm>
#include <cstdint>

namespace lumo {
namespace {

// The fixed video-range BT.601 formula in double precision, truncated;
// below 0 gives 0, above 255 gives 255. Internal linkage on purpose: the
// AVX2 kernels inline their own copy, which must never replace the one the
// rest of the program calls.
inline void RgbFormula(int y, int u, int v, uint8_t* rgb)
{
    const double c = 1.164 * (y - 16);
    const double r = c + 1.596 * (v - 128);
    const double g = c - 0.392 * (u - 128) - 0.812 * (v - 128);
    const double b = c + 2.016 * (u - 128);
    auto clip = [](double x) { return static_cast<uint8_t>(static_cast<int>(std::min(std::max(x, 0.0), 255.0))); };
    rgb[0] = clip(r);
    rgb[1] = clip(g);
    rgb[2] = clip(b);
}

} // namespace
} // namespace lumo
