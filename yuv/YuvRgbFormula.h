#pragma once

#include <cstdint>

namespace lumo {
namespace {

// The fixed video-range BT.601 formula in double precision: below 0 gives
// 0, above 255 gives 255, otherwise the fraction is dropped. Internal
// linkage on purpose: the AVX2 kernels inline their own copy, which must
// never replace the one the rest of the program calls.
inline void RgbFormula(int y, int u, int v, uint8_t* rgb)
{
    const double c = 1.164 * (y - 16);
    const double r = c + 1.596 * (v - 128);
    const double g = c - 0.392 * (u - 128) - 0.812 * (v - 128);
    const double b = c + 2.016 * (u - 128);
    // Truncating first and clamping the integer gives the same bytes as
    // clamping the double (|x| stays far below the int range) and compiles
    // without branches.
    auto clip = [](double x) {
        const int i = static_cast<int>(x);
        return static_cast<uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
    };
    rgb[0] = clip(r);
    rgb[1] = clip(g);
    rgb[2] = clip(b);
}

} // namespace
} // namespace lumo
