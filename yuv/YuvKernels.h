#pragma once

#include <cstdint>

namespace lumo {

// Row kernels behind the frame conversions. Every set gives the same bytes;
// the plain set is the reference the faster ones are tested against.
struct YuvKernels {
    // out[2i] = out[2i + 1] = src[i] for i < count.
    void (*widen)(const uint8_t* src, int count, uint8_t* out);
    // `count` byte pairs (a, b): a widened into outA, b widened into outB.
    void (*widenPairs)(const uint8_t* pairs, int count, uint8_t* outA, uint8_t* outB);
    // `count` byte pairs (a, b) split into outA and outB.
    void (*splitPairs)(const uint8_t* pairs, int count, uint8_t* outA, uint8_t* outB);
    // `count` triples (a, b, c) split into three rows.
    void (*splitTriples)(const uint8_t* src, int count, uint8_t* outA, uint8_t* outB, uint8_t* outC);
    // `count` groups of four bytes of a packed 4:2:2 row; pos holds the byte
    // positions of Y0, Y1, U and V inside a group. Writes 2*count luma and
    // widened chroma samples.
    void (*unpack422)(const uint8_t* groups, int count, const int pos[4], uint8_t* y, uint8_t* u, uint8_t* v);
    // `count` pixels of full-size planes to RGB24, exactly as YuvToRgbPixel.
    void (*rgb)(const uint8_t* y, const uint8_t* u, const uint8_t* v, int count, uint8_t* out);
    // `pairs` pixel pairs of one luma row (y1 and out1 null) or of two rows
    // to RGB24, pixels 2i and 2i + 1 of each row taking u[i] and v[i]: the
    // bytes rgb gives on widened chroma.
    void (*rgbPairs)(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v, int pairs,
                     uint8_t* out0, uint8_t* out1);
};

// Where the RGB formula's value is an exact integer n (its numerator a
// multiple of 250), the double evaluation may land just below n and give
// n - 1. For R that depends on V alone and for B on U alone: bit c of `r`
// (of `b`) is set when, at V = c (U = c), it gives n - 1 for some n from 1
// to 255. Taking the quotient of the numerator minus that bit then gives
// every byte of R and B exactly (checked over all inputs by the tests).
struct RgbTies {
    uint8_t r[32];
    uint8_t b[32];
};
// Worked out from YuvToRgbPixel on first use.
const RgbTies& RgbTieBits();

const YuvKernels& PlainKernels();
// SSE2 set; the plain set on other processors.
const YuvKernels& Sse2Kernels();
// SSE2 set with AVX2 RGB; only to be used when the processor has AVX2.
const YuvKernels& Avx2Kernels();
bool CpuHasAvx2();

} // namespace lumo
