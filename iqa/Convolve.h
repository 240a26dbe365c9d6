#pragma once

// Windowed convolution, decimation and boundary rule over single-precision
// images stored row-major without padding.

// Gives the sample to use for a position (x, y) outside a w x h image.
typedef float (*iqa_boundary_fn)(const float* img, int w, int h, int x, int y, float bnd_const);

struct filter_kernel {
    const float* kernel; // w*h weights, row-major
    int w;
    int h;
    int normalized;      // nonzero: weights used as they are; else scaled by 1/sum
    iqa_boundary_fn bnd_opt;
    float bnd_const;
};

// Convolution over the positions where the whole window lies inside the
// image. Writes (w-kw+1) x (h-kh+1) samples into `result`, or into `img`
// itself when `result` is null; writes nothing when that size is not
// positive. Returns the scale applied to the window sums.
float convolve_valid(float* img, int w, int h, const filter_kernel* k, float* result, int* rw, int* rh);

// The window's weighted sum centred on (x, y); near the edges every tap goes
// through the window's boundary rule. Without a window, the pixel itself.
float filter_pixel(const float* img, int w, int h, int x, int y, const filter_kernel* k, float kscale);

// Low-pass filters with `k` and keeps every `factor`-th sample of every
// `factor`-th row. The result is (w/factor + w%2) x (h/factor + h%2), written
// into `result` or, when that is null, back into `img`. Returns 0, or -1
// for a bad argument or when memory runs out (nothing is written then).
int decimate(float* img, int w, int h, int factor, const filter_kernel* k, float* result, int* rw, int* rh);

// Mirrors positions outside the image back into it (-1 -> 0, w -> w-1).
float boundary_symmetric(const float* img, int w, int h, int x, int y, float bnd_const);

namespace lumo {

// The 11x11 Gaussian window (sigma 1.5, weights rounded to six decimals).
const filter_kernel& GaussianWindow();
// The 8x8 square window of 1/64.
const filter_kernel& SquareWindow();

} // namespace lumo
