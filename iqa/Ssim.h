#pragma once

#include <cstdint>

#include "iqa/Convolve.h"
#include "iqa/IqaMath.h"

// Options of ssim_index.
struct ssim_options {
    float alpha; // exponent of the luminance term
    float beta;  // exponent of the contrast term
    float gamma; // exponent of the structure term
    int L;       // dynamic range of the samples
    float K1;
    float K2;
    int f;       // scale factor; 0 chooses it from the image size
};

// Mean SSIM of two 8-bit planes of w x h samples (rows `stride` bytes
// apart), with the 11x11 Gaussian window when `gaussian` is nonzero, else
// the 8x8 square window. Without options the plain SSIM formula is used.
// The scale comes from an option `f` other than 0 (below 2, negative too,
// means full size), else from the image size. NaN when the (scaled) image
// is smaller than the window or the arguments are unusable (no plane, no
// size, stride below w); +infinity when memory runs out.
float ssim_index(const unsigned char* ref, const unsigned char* cmp, int w, int h, int stride, int gaussian,
                 const ssim_options* opts);
// The same on planes of 16-bit samples (rows `stride` samples apart); set
// the options' L to the samples' range.
float ssim_index16(const uint16_t* ref, const uint16_t* cmp, int w, int h, int stride, int gaussian,
                   const ssim_options* opts);
