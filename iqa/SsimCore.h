#pragma once

#include "iqa/Convolve.h"

#include <cstdint>

// Internal: the SSIM core over two single-precision images, shared by
// ssim_index and the tests that pin its instruction-set paths.
namespace lumo {
namespace iqa_detail {

enum class SimdPath { Generic, Avx2, Avx512 };

// The widest path this processor runs.
SimdPath BestSimdPath();
bool SimdPathAvailable(SimdPath path);

struct SsimParams {
    bool withOptions; // clamped variances and separate l, c, t terms
    float alpha, beta, gamma;
    float C1, C2, C3;
};

// Mean SSIM over the valid positions of window `k` on the w x h images a
// and b. NaN when there is no valid position, +infinity when memory runs
// out. The result does not depend on `path` or `threads` (0 = automatic).
// `termSum`, when given, receives the double sum of the per-position terms.
float SsimCore(const float* a, const float* b, int w, int h, const filter_kernel* k, const SsimParams& p,
               SimdPath path, int threads, double* termSum = nullptr);
// The same on 8-bit planes whose rows are `stride` bytes apart; the same
// bits as SsimCore on their single-precision copies.
float SsimCoreBytes(const uint8_t* a, const uint8_t* b, int w, int h, int stride, const filter_kernel* k,
                    const SsimParams& p, SimdPath path, int threads, double* termSum = nullptr);

// The same on 16-bit planes (rows `stride` samples apart).
float SsimCoreWords(const uint16_t* a, const uint16_t* b, int w, int h, int stride, const filter_kernel* k,
                    const SsimParams& p, SimdPath path, int threads, double* termSum = nullptr);

} // namespace iqa_detail
} // namespace lumo
