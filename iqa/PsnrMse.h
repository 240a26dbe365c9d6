#pragma once

#include <cstddef>
#include <cstdint>

namespace lumo {

// Sum of squared differences of two byte arrays of n samples.
uint64_t SumSquaredDiff(const uint8_t* a, const uint8_t* b, std::size_t n);

// PSNR in dB of a mean squared error against a peak of 255: 999.99 for an
// MSE of exactly 0, NaN for a NaN MSE.
double PsnrFromMse(double mse);

// Per-plane MSE and PSNR (Y, U, V) of two I420 frames of w x h. The chroma
// planes hold floor(w/2) x floor(h/2) samples, U at n and V at n + n/4
// (n = w*h); an empty plane gives NaN for both numbers, and so does every
// plane of an empty or missing frame.
void I420PsnrMse(const uint8_t* ref, const uint8_t* cmp, int width, int height, double* psnr, double* mse);

} // namespace lumo
