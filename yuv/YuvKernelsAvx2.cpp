// Compiled with -mavx2 on x86-64: only reached after CpuHasAvx2() said yes.
// Everything here has internal linkage apart from Avx2Kernels, so no AVX2
// code can stand in for a function the rest of the program calls.
#include "yuv/YuvKernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "yuv/YuvSimdRgb.h"

namespace lumo {
namespace {

// Storing RGB of pixel pairs (V256::StoreRgbPairs): byte k of stream s goes
// to byte 6k + s; it sits in vector s / 2 at byte 8 * (s % 2) + k.
struct PairShuffle {
    int8_t bytes[3][16];
    constexpr PairShuffle() : bytes()
    {
        for (int s = 0; s < 6; ++s)
            for (int k = 0; k < 8; ++k)
                bytes[s / 2][(6 * k + s) % 16] = static_cast<int8_t>(8 * (s % 2) + k);
    }
    constexpr const int8_t* operator[](int v) const { return bytes[v]; }
};
constexpr PairShuffle kPairShuffle{};

// Sixteen 16-bit lanes.
struct V256 {
    static constexpr int kLanes = 16;
    __m256i x;

    static V256 Set(int16_t value) { return {_mm256_set1_epi16(value)}; }
    static V256 Shr7(V256 a) { return {_mm256_srli_epi16(a.x, 7)}; }
    static V256 Shl2(V256 a) { return {_mm256_slli_epi16(a.x, 2)}; }
    static V256 Load(const uint8_t* p)
    {
        return {_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))};
    }
    // Writes 48 bytes of RGB and up to 4 bytes after them.
    static void StoreRgb(V256 r, V256 g, V256 b, uint8_t* out)
    {
        // Each 128-bit lane holds eight pixels: 0-7 and 8-15.
        const __m256i zero = _mm256_setzero_si256();
        const __m256i rg8 = _mm256_packus_epi16(r.x, g.x);
        const __m256i b8 = _mm256_packus_epi16(b.x, zero);
        const __m256i rg = _mm256_unpacklo_epi8(rg8, _mm256_srli_si256(rg8, 8));
        const __m256i bz = _mm256_unpacklo_epi8(b8, zero);
        const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, //
                                              0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
        const __m256i lo = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(rg, bz), pack); // pixels 0-3, 8-11
        const __m256i hi = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(rg, bz), pack); // pixels 4-7, 12-15
        Store(out, _mm256_castsi256_si128(lo));
        Store(out + 12, _mm256_castsi256_si128(hi));
        Store(out + 24, _mm256_extracti128_si256(lo, 1));
        Store(out + 36, _mm256_extracti128_si256(hi, 1));
    }

    // Sixteen pairs, even and odd pixels apart: exactly 96 bytes. Each
    // 128-bit lane holds eight pairs, whose 48 bytes are six streams (R, G,
    // B of the even pixels, then of the odd ones) packed two to a vector.
    // One shuffle per vector puts every byte at its place modulo 16; the
    // vectors then take turns every two bytes.
    static void StoreRgbPairs(V256 re, V256 ge, V256 be, V256 ro, V256 go, V256 bo, uint8_t* out)
    {
        const __m256i a = _mm256_shuffle_epi8(_mm256_packus_epi16(re.x, ge.x), Table(kPairShuffle[0]));
        const __m256i b = _mm256_shuffle_epi8(_mm256_packus_epi16(be.x, ro.x), Table(kPairShuffle[1]));
        const __m256i c = _mm256_shuffle_epi8(_mm256_packus_epi16(go.x, bo.x), Table(kPairShuffle[2]));
        // Word sources of the three 16-byte pieces: ABCABCAB, CABCABCA, BCABCABC.
        const __m256i p0 = _mm256_blend_epi16(_mm256_blend_epi16(a, b, 0x92), c, 0x24);
        const __m256i p1 = _mm256_blend_epi16(_mm256_blend_epi16(a, b, 0x24), c, 0x49);
        const __m256i p2 = _mm256_blend_epi16(_mm256_blend_epi16(a, b, 0x49), c, 0x92);
        // Low lanes are bytes 0-47, high lanes 48-95.
        Store(out, _mm256_castsi256_si128(p0));
        Store(out + 16, _mm256_castsi256_si128(p1));
        Store(out + 32, _mm256_castsi256_si128(p2));
        Store(out + 48, _mm256_extracti128_si256(p0, 1));
        Store(out + 64, _mm256_extracti128_si256(p1, 1));
        Store(out + 80, _mm256_extracti128_si256(p2, 1));
    }

private:
    static __m256i Table(const int8_t* row)
    {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
    }
    static void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
};

inline V256 operator+(V256 a, V256 b) { return {_mm256_add_epi16(a.x, b.x)}; }
inline V256 operator-(V256 a, V256 b) { return {_mm256_sub_epi16(a.x, b.x)}; }
inline V256 operator&(V256 a, V256 b) { return {_mm256_and_si256(a.x, b.x)}; }
inline V256 operator|(V256 a, V256 b) { return {_mm256_or_si256(a.x, b.x)}; }
inline V256 MulLo(V256 a, V256 b) { return {_mm256_mullo_epi16(a.x, b.x)}; }
inline V256 MulHiU(V256 a, V256 b) { return {_mm256_mulhi_epu16(a.x, b.x)}; }
inline V256 CmpEq(V256 a, V256 b) { return {_mm256_cmpeq_epi16(a.x, b.x)}; }
inline V256 CmpGt(V256 a, V256 b) { return {_mm256_cmpgt_epi16(a.x, b.x)}; }
inline V256 Max(V256 a, V256 b) { return {_mm256_max_epi16(a.x, b.x)}; }
inline unsigned MoveMask(V256 a) { return static_cast<unsigned>(_mm256_movemask_epi8(a.x)); }

void Rgb(const uint8_t* y, const uint8_t* u, const uint8_t* v, int count, uint8_t* out)
{
    RgbRowT<V256>(y, u, v, count, out);
}

// RGB of pixel pairs that share a chroma sample (planar 4:2:0 and 4:2:2).
// A block of 16 pairs reads 32 luma bytes as 16-bit lanes, the even pixels
// in the low bytes and the odd ones in the high bytes, so that lane k of
// either half takes chroma sample k as loaded: the chroma terms are worked
// out once per block and, in 4:2:0, once for both rows. In raw samples the
// terms of RgbBlock become
//   base = Y + {V - 224, 32 - V, 2U - 352}
//   x    = 41Y + {149V + 272, 47V - 98U + 25872, 4U + 18832}
// (every x still in [272, 48722]; intermediate wrap-around cancels).
// Where R or B is an exact integer the double formula may land just below
// it; RgbTieBits says where, by V or U alone, and those lanes take x - 1,
// which changes the quotient only where it is exact. For G it depends on U
// and V together: exact G lanes are flagged and redone with the formula.

// -1 in the 16-bit lanes whose chroma byte c has bit c set in a 256-bit
// table, 0 elsewhere; V in the low 128-bit lane with the R table, U in the
// high lane with the B table.
struct TieLookup {
    __m256i lo, hi, bits, low5, seven, plus112, minus16;

    explicit TieLookup(const RgbTies& t)
        : lo(Tables(t.r, t.b, 0)), hi(Tables(t.r, t.b, 16)),
          bits(_mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128, //
                                1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128)),
          low5(_mm256_set1_epi8(0x1f)), seven(_mm256_set1_epi8(7)), plus112(_mm256_set1_epi8(0x70)),
          minus16(_mm256_set1_epi8(16))
    {
    }
    // Byte c of each lane: bit c % 8 of table byte c / 8. A shuffle index
    // with its top bit set gives 0, which picks the right half of the table.
    __attribute__((always_inline)) __m256i operator()(__m256i c) const
    {
        const __m256i index = _mm256_and_si256(_mm256_srli_epi16(c, 3), low5);
        const __m256i byte = _mm256_or_si256(_mm256_shuffle_epi8(lo, _mm256_add_epi8(index, plus112)),
                                             _mm256_shuffle_epi8(hi, _mm256_sub_epi8(index, minus16)));
        const __m256i bit = _mm256_shuffle_epi8(bits, _mm256_and_si256(c, seven));
        return _mm256_cmpeq_epi8(_mm256_and_si256(byte, bit), bit);
    }

private:
    static __m256i Tables(const uint8_t* r, const uint8_t* b, int from)
    {
        return _mm256_setr_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r + from)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + from)));
    }
};

struct PairChroma {
    V256 baseR, baseG, baseB, xR, xG, xB;

    __attribute__((always_inline)) PairChroma(const uint8_t* pu, const uint8_t* pv, const TieLookup& ties,
                                              const RgbMultipliers<V256>& m)
    {
        const __m128i u8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pu));
        const __m128i v8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pv));
        const __m256i tie = ties(_mm256_setr_m128i(v8, u8));
        const V256 u = {_mm256_cvtepu8_epi16(u8)};
        const V256 v = {_mm256_cvtepu8_epi16(v8)};
        baseR = v - V256::Set(224);
        baseG = V256::Set(32) - v;
        baseB = u + u - V256::Set(352);
        xR = MulLo(v, m.k149) + V256::Set(272) + V256{_mm256_cvtepi8_epi16(_mm256_castsi256_si128(tie))};
        xG = MulLo(v, m.k47) - MulLo(u, m.k98) + V256::Set(25872);
        xB = V256::Shl2(u) + V256::Set(18832) + V256{_mm256_cvtepi8_epi16(_mm256_extracti128_si256(tie, 1))};
    }
};

__attribute__((always_inline)) inline V256 Quotient(V256 x)
{
    return V256::Shr7(MulHiU(x, V256::Set(33555)));
}

// One half (even or odd pixels) of a block of pairs; `flags` is above 0 in
// the lanes to redo: G exact with a value of at least 1 (black, exact at 0,
// must not be flagged).
struct PairHalf {
    V256 r, g, b, flags;

    __attribute__((always_inline)) PairHalf(V256 y, const PairChroma& c, const RgbMultipliers<V256>& m)
    {
        const V256 a = MulLo(y, m.k41);
        const V256 xG = a + c.xG;
        const V256 qG = Quotient(xG);
        r = y + c.baseR + Quotient(a + c.xR);
        g = y + c.baseG + qG;
        b = y + c.baseB + Quotient(a + c.xB);
        flags = CmpEq(MulLo(qG, m.k250), xG) & g;
    }
};

// One block of 16 pairs of one row: 96 bytes of RGB. Returns the flags, bit
// p for pixel p of the block.
__attribute__((always_inline)) inline unsigned RgbPairBlock(const uint8_t* py, const PairChroma& c, uint8_t* out,
                                                            const RgbMultipliers<V256>& m)
{
    const __m256i both = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(py));
    const PairHalf even({_mm256_and_si256(both, _mm256_set1_epi16(0xff))}, c, m);
    const PairHalf odd({_mm256_srli_epi16(both, 8)}, c, m);
    V256::StoreRgbPairs(even.r, even.g, even.b, odd.r, odd.g, odd.b, out);
    // Two mask bits per lane: the even pixel keeps the low one, the odd
    // pixel the high one.
    const V256 zero = V256::Set(0);
    return (MoveMask(CmpGt(even.flags, zero)) & 0x55555555u) | (MoveMask(CmpGt(odd.flags, zero)) & 0xaaaaaaaau);
}

// Redoes the flagged pixels of `count` noted blocks: block b starts at pixel
// first[b] of both rows; bit p of masks[r][b] flags pixel first[b] + p of
// row r. All flags are listed first, the first of each mask without a
// branch and the rare further ones in a short loop, so that the redo runs
// straight through.
template <int Rows>
void RedoPairs(const uint8_t* const ys[2], const uint8_t* pu, const uint8_t* pv, uint8_t* const outs[2],
               const int* first, const unsigned* const masks[2], int count)
{
    constexpr int kMaxBlocks = 128;
    int list[Rows * 32 * kMaxBlocks];
    int n = 0;
    for (int b = 0; b < count; ++b) {
        for (int r = 0; r < Rows; ++r) {
            unsigned mask = masks[r][b];
            const int base = 2 * first[b] + r;
            list[n] = base + 2 * __builtin_ctz(mask | 0x80000000u);
            n += mask != 0;
            for (mask &= mask - 1; mask; mask &= mask - 1)
                list[n++] = base + 2 * __builtin_ctz(mask);
        }
    }
    for (int k = 0; k < n; ++k) {
        const int r = list[k] & 1;
        const int p = list[k] >> 1;
        RgbFormula(ys[r][p], pu[p / 2], pv[p / 2], outs[r] + 3 * p);
    }
}

// `pairs` pairs of one row (rows 1) or of two rows sharing the chroma row
// pu, pv. Flagged blocks are only noted in the loop and redone after each
// run of blocks. A last block that would not fit is computed as the whole
// block ending at the last pair, in a side buffer.
template <int Rows>
void RgbPairsT(const uint8_t* const ys[2], const uint8_t* pu, const uint8_t* pv, int pairs, uint8_t* const outs[2])
{
    constexpr int L = V256::kLanes;
    constexpr int kRun = 128; // blocks per redo, at most RedoPairs' kMaxBlocks
    const RgbMultipliers<V256> m;
    const TieLookup ties(RgbTieBits());
    int first[kRun];
    unsigned masks[2][kRun];
    const unsigned* const noted[2] = {masks[0], masks[1]};
    int i = 0;
    while (i + L <= pairs) {
        int flagged = 0;
        for (int b = 0; b < kRun && i + L <= pairs; ++b, i += L) {
            const PairChroma c(pu + i, pv + i, ties, m);
            const unsigned f0 = RgbPairBlock(ys[0] + 2 * i, c, outs[0] + 6 * i, m);
            const unsigned f1 = Rows == 2 ? RgbPairBlock(ys[1] + 2 * i, c, outs[1] + 6 * i, m) : 0;
            first[flagged] = 2 * i;
            masks[0][flagged] = f0;
            masks[1][flagged] = f1;
            flagged += (f0 | f1) != 0;
        }
        RedoPairs<Rows>(ys, pu, pv, outs, first, noted, flagged);
    }
    if (i < pairs && pairs >= L) {
        const int from = pairs - L;
        const PairChroma c(pu + from, pv + from, ties, m);
        for (int r = 0; r < Rows; ++r) {
            uint8_t side[6 * L];
            const uint8_t* const sideYs[2] = {ys[r] + 2 * from, nullptr};
            uint8_t* const sideOuts[2] = {side, nullptr};
            const unsigned mask = RgbPairBlock(sideYs[0], c, side, m);
            const int zero = 0;
            const unsigned* const sideMasks[2] = {&mask, nullptr};
            RedoPairs<1>(sideYs, pu + from, pv + from, sideOuts, &zero, sideMasks, mask != 0);
            std::memcpy(outs[r] + 6 * i, side + 6 * (i - from), static_cast<size_t>(6 * (pairs - i)));
        }
        i = pairs;
    }
    for (int r = 0; r < Rows; ++r)
        for (int p = 2 * i; p < 2 * pairs; ++p)
            RgbFormula(ys[r][p], pu[p / 2], pv[p / 2], outs[r] + 3 * p);
}

void RgbPairs(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v, int pairs, uint8_t* out0,
              uint8_t* out1)
{
    const uint8_t* const ys[2] = {y0, y1};
    uint8_t* const outs[2] = {out0, out1};
    if (y1)
        RgbPairsT<2>(ys, u, v, pairs, outs);
    else
        RgbPairsT<1>(ys, u, v, pairs, outs);
}

} // namespace

const YuvKernels& Avx2Kernels()
{
    const YuvKernels& base = Sse2Kernels();
    static const YuvKernels kernels{base.widen, base.widenPairs, base.splitPairs, base.splitTriples,
                                    base.unpack422, Rgb, RgbPairs};
    return kernels;
}

} // namespace lumo

#else

namespace lumo {

const YuvKernels& Avx2Kernels()
{
    return Sse2Kernels();
}

} // namespace lumo

#endif
