#pragma once

#include "iqa/Ssim.h"

#include <cstdint>

// Straightforward implementations of the metrics: direct loops, five
// separate convolutions. The fast routines must match them bit for bit.
namespace oracle {

// Direct valid convolution: double products summed in row-major tap order.
void ConvolveValid(const float* img, int w, int h, const filter_kernel& k, float* out);

// `termSum`, when given, receives the double sum of the per-position terms.
float SsimCore(const float* a, const float* b, int w, int h, const filter_kernel& k, const ssim_options* opts,
               double* termSum = nullptr);
float SsimIndex(const uint8_t* ref, const uint8_t* cmp, int w, int h, int stride, int gaussian,
                const ssim_options* opts);
// Red plane of an I420 frame, pixel by pixel in double.
void RedPlane(const uint8_t* frame, int w, int h, int code, uint8_t* dst);
double SsimGray(const uint8_t* ref, const uint8_t* cmp, int w, int h, int code);
void PsnrMse(const uint8_t* ref, const uint8_t* cmp, int w, int h, double* psnr, double* mse);

} // namespace oracle
