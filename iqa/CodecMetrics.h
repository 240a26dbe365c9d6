#pragma once

#include <cstddef>
#include <cstdint>

// The metrics codec papers report: SSIM per plane (Wang et al. 2004),
// MS-SSIM (Wang, Simoncelli and Bovik 2003) and the weighted YUV-PSNR,
// all in double precision at the samples' own depth. Unlike SSIM_GRAY they
// use the exact Gaussian window and no decimation, so they agree with
// other tools (scikit-image's structural_similarity with
// gaussian_weights=True, sigma=1.5, use_sample_covariance=False).
namespace lumo {

// Side of the SSIM window; a smaller plane has no SSIM.
constexpr int kSsimWindow = 11;

// Mean SSIM of two w x h planes (rows `stride` samples apart) of samples of
// `depth` bits (L = 2^depth - 1), over the positions where the whole window
// fits. NaN when a side is below kSsimWindow or an argument is unusable;
// +infinity when memory runs out. `threads` 0 chooses by size; the result
// does not depend on it.
double PlaneSsim(const uint8_t* reference, const uint8_t* compared, int w, int h, std::ptrdiff_t stride, int depth,
                 int threads = 0);
double PlaneSsim(const uint16_t* reference, const uint16_t* compared, int w, int h, std::ptrdiff_t stride, int depth,
                 int threads = 0);

// Five-scale MS-SSIM of two planes, as PlaneSsim takes them. NaN when the
// fifth scale is below kSsimWindow on a side, or when a scale's
// contrast-structure mean (or the last scale's SSIM) is negative.
double PlaneMsSsim(const uint8_t* reference, const uint8_t* compared, int w, int h, std::ptrdiff_t stride, int depth,
                   int threads = 0);
double PlaneMsSsim(const uint16_t* reference, const uint16_t* compared, int w, int h, std::ptrdiff_t stride, int depth,
                   int threads = 0);

// (6 * Y + U + V) / 8 of per-plane PSNRs (a lossless plane counts 999.99);
// NaN when one of them is NaN.
double YuvPsnr(const double psnr[3]);

// A rectangle in luma samples.
struct Region {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
};

// True when `r` is non-empty and wholly inside a width x height frame.
bool RegionInside(const Region& r, int width, int height);

// The samples of a plane subsampled by `sub` that luma samples
// [start, start + length) cover: [floor(start / sub), ceil((start + length) / sub)),
// cut at the plane's `planeSize`. Returns the count; `first` gets the start.
int CoveredSpan(int start, int length, int sub, int planeSize, int& first);

} // namespace lumo
