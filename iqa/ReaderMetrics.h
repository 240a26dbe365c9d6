#pragma once

#include <cstdint>

#include "iqa/CodecMetrics.h"

// The metrics of the analysis window's selection, as free functions; the
// reader's members of the same names call them.
namespace lumo {

// Per-plane MSE and PSNR of two I420 frames; fills both arrays (Y, U, V)
// and returns `psnr`.
double* ComputePsnrMse(double* psnr, const uint8_t* reference, const uint8_t* compared, int width, int height,
                       double* mse);
// Gaussian SSIM of the red planes of two I420 frames for a metric colour
// range code (0 BT.601 video, 1 BT.601 full, 2 BT.709 video).
double ComputeSsimGray(const uint8_t* reference, const uint8_t* compared, int width, int height, int metricRange);

// SSIM_GRAY: the red planes of two I420 frames (bytes, or 16-bit samples of
// `depth` bits with L = 2^depth - 1), measured inside `region` (null: the
// whole frame). NaN for no frame or no size, +infinity when memory runs out
// or the calling thread's token fires (CancelScope).
double RedPlaneSsim(const uint8_t* reference, const uint8_t* compared, int width, int height, int metricRange,
                    const Region* region = nullptr);
double RedPlaneSsim(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth,
                    int metricRange, const Region* region = nullptr);

} // namespace lumo
