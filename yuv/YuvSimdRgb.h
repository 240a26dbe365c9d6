#pragma once

// RGB24 of full-size planes in 16-bit integer lanes, shared by the SSE2 and
// the AVX2 kernels (each includes it with its own vector type V).
//
// With y = Y-16, u = U-128, v = V-128 the exact value of each channel is
// K/250 with K = 291y + 399v (R), 291y - 98u - 203v (G), 291y + 504u (B)
// (the formula's coefficients times 250). Writing 291 = 250 + 41 etc.:
//   R = y + v + (41y + 149v) / 250
//   G = y - v + (41y - 98u + 47v) / 250
//   B = y + 2u + (41y + 4u) / 250
// where every numerator plus 20000 lies in [272, 48722], so the floored
// division is one unsigned 16-bit multiply-high: x / 250 = (x * 33555) >> 23
// for x < 59074. Packing with unsigned saturation then clamps to 0..255.
//
// The double formula truncates the same value, and its rounding error
// (about 1e-13) cannot cross an integer unless K/250 is itself an integer;
// only then may it land just below. Those lanes (exact quotient, result 1..255) are
// flagged and redone with the double formula itself.

#include <cstdint>
#include <cstring>

#include "yuv/YuvRgbFormula.h"

namespace lumo {
namespace {

// Multipliers kept opaque to the compiler: otherwise it turns each 16-bit
// multiply by a constant into several shifts and adds, which is slower.
template <class V>
struct RgbMultipliers {
    V k41, k149, k98, k47, k250;
    RgbMultipliers() : k41(Opaque(V::Set(41))), k149(Opaque(V::Set(149))), k98(Opaque(V::Set(98))),
                       k47(Opaque(V::Set(47))), k250(Opaque(V::Set(250))) {}
    static V Opaque(V v)
    {
        __asm__("" : "+x"(v.x));
        return v;
    }
};

// base + x / 250. Lanes where the quotient is exact keep their value in
// `exact` (a running maximum), so that the block's flagged lanes are those
// with an exact value above 0; exact values above 255 clamp to 255 either
// way and are rare enough to be redone needlessly.
template <class V>
__attribute__((always_inline)) inline V RgbChannel(V base, V x, V k250, V& exact)
{
    const V q = V::Shr7(MulHiU(x, V::Set(33555)));
    const V value = base + q;
    exact = Max(exact, CmpEq(MulLo(q, k250), x) & value);
    return value;
}

// Computes and stores one block of V::kLanes pixels (3 * kLanes bytes and
// up to 4 bytes after them); returns the flag mask, two bits per lane.
template <class V>
__attribute__((always_inline)) inline unsigned RgbBlock(const uint8_t* py, const uint8_t* pu, const uint8_t* pv,
                                                        uint8_t* out, const RgbMultipliers<V>& m)
{
    const V y = V::Load(py);
    const V u = V::Load(pu) - V::Set(128);
    const V v = V::Load(pv) - V::Set(128);
    // 41 * (Y - 16) + 20000 and (Y - 16) - 80.
    const V a = MulLo(y, m.k41) + V::Set(19344);
    const V base = y - V::Set(96);
    V exact = V::Set(0);
    const V r = RgbChannel(base + v, a + MulLo(v, m.k149), m.k250, exact);
    const V g = RgbChannel(base - v, a - MulLo(u, m.k98) + MulLo(v, m.k47), m.k250, exact);
    const V b = RgbChannel(base + u + u, a + V::Shl2(u), m.k250, exact);
    V::StoreRgb(r, g, b, out);
    return MoveMask(CmpGt(exact, V::Set(0)));
}

// Redoes the flagged lanes of the block at pixel `first`, written to `out`.
inline void RedoFlagged(const uint8_t* py, const uint8_t* pu, const uint8_t* pv, int first, unsigned mask,
                        uint8_t* out)
{
    while (mask) {
        const int k = __builtin_ctz(mask) / 2;
        RgbFormula(py[first + k], pu[first + k], pv[first + k], out + 3 * k);
        mask &= mask - 1;
        mask &= mask - 1;
    }
}

// Converts `count` pixels in blocks of V::kLanes. Flagged blocks are only
// noted in the loop and redone after each run of blocks, which keeps the
// loop free of calls and hard-to-predict branches. The last, partial block
// is computed as the whole block ending at the last pixel, in a side buffer.
template <class V>
void RgbRowT(const uint8_t* py, const uint8_t* pu, const uint8_t* pv, int count, uint8_t* out)
{
    constexpr int L = V::kLanes;
    constexpr int kRun = 256;
    const RgbMultipliers<V> m;
    int flaggedAt[kRun];
    unsigned flaggedMask[kRun];
    int i = 0;
    // A block's stores may run 4 bytes past it: the last full-speed block
    // leaves at least two pixels after it.
    for (bool more = true; more;) {
        int flagged = 0;
        int blocks = 0;
        for (; blocks < kRun && i + L + 2 <= count; ++blocks, i += L) {
            const unsigned mask = RgbBlock<V>(py + i, pu + i, pv + i, out + 3 * i, m);
            flaggedAt[flagged] = i;
            flaggedMask[flagged] = mask;
            flagged += mask != 0;
        }
        more = blocks == kRun;
        for (int f = 0; f < flagged; ++f)
            RedoFlagged(py, pu, pv, flaggedAt[f], flaggedMask[f], out + 3 * flaggedAt[f]);
    }
    if (i < count && count >= L) {
        // The loop stopped at most L + 1 pixels before the end.
        const int first = count - L;
        for (; i < first; ++i)
            RgbFormula(py[i], pu[i], pv[i], out + 3 * i);
        uint8_t side[3 * L + 4];
        RedoFlagged(py, pu, pv, first, RgbBlock<V>(py + first, pu + first, pv + first, side, m), side);
        std::memcpy(out + 3 * i, side + 3 * (i - first), static_cast<size_t>(3 * (count - i)));
        i = count;
    }
    for (; i < count; ++i)
        RgbFormula(py[i], pu[i], pv[i], out + 3 * i);
}

} // namespace
} // namespace lumo
