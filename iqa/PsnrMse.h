#pragma once

#include <cstddef>
#include <cstdint>

namespace lumo {

// Sum of squared differences of two byte arrays of n samples.
uint64_t SumSquaredDiff(const uint8_t* a, const uint8_t* b, std::size_t n);

// Sum of squared differences of two arrays of n samples of up to 16 bits.
uint64_t SumSquaredDiff(const uint16_t* a, const uint16_t* b, std::size_t n);

// PSNR in dB of a mean squared error against a peak of 255: 999.99 for an
// MSE of exactly 0, NaN for a NaN MSE.
double PsnrFromMse(double mse);
// The same against the peak (1 << depth) - 1 of samples of `depth` bits:
// 10 * log10(peak^2 / MSE). Depth 8 gives PsnrFromMse(mse) bit for bit.
double PsnrFromMse(double mse, int depth);

// Per-plane MSE and PSNR (Y, U, V) of two I420 frames of w x h. The chroma
// planes hold ceil(w/2) x ceil(h/2) samples, U at n and V at n + cw*ch
// (n = w*h); every plane of an empty or missing frame gives NaN for both
// numbers.
void I420PsnrMse(const uint8_t* reference, const uint8_t* compared, int width, int height, double* psnr, double* mse);
// The same for I420 frames of 16-bit samples of `depth` bits, on their
// native values. Depth 8 gives the 8-bit function's numbers bit for bit.
void I420PsnrMse(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth, double* psnr,
                 double* mse);

} // namespace lumo
