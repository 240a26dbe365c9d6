#pragma once

#include <cstdint>

namespace lumo {

// Where a sample sits in its 16-bit little-endian word: (word >> shift) &
// mask, mask holding the low `depth` bits.
struct SampleBits {
    int shift = 0;
    int depth = 16;
    uint16_t mask() const { return static_cast<uint16_t>((1u << depth) - 1u); }
};

// Row kernels of the layouts with 16-bit samples. Sources are words as
// stored, at any byte alignment. Every set gives the same results; the
// plain set is the reference the faster ones are tested against.
struct YuvWordKernels {
    // out[i] = sample of word i, for `count` words. src may be out itself.
    void (*load)(const uint8_t* src, int count, SampleBits bits, uint16_t* out);
    // out[2i] = out[2i + 1] = sample of word i.
    void (*loadWiden)(const uint8_t* src, int count, SampleBits bits, uint16_t* out);
    // `count` word pairs (a, b): the samples of a widened into outA, of b
    // into outB.
    void (*loadWidenPairs)(const uint8_t* pairs, int count, SampleBits bits, uint16_t* outA, uint16_t* outB);
    // out[i] = min(255, (s + (1 << (depth - 9))) >> (depth - 8)), s the
    // sample of word i: rounded to 8 bits.
    void (*narrow)(const uint8_t* src, int count, SampleBits bits, uint8_t* out);
    // out[i] = src[i]: 8-bit samples as 16-bit ones.
    void (*extend)(const uint8_t* src, int count, uint16_t* out);
};

const YuvWordKernels& PlainWordKernels();
// SSE2 set; the plain set on other processors.
const YuvWordKernels& Sse2WordKernels();
// AVX2 set; only to be used when the processor has AVX2.
const YuvWordKernels& Avx2WordKernels();

} // namespace lumo
