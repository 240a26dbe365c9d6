#pragma once

#include <cstdint>

namespace lumo {

// The view's colour range ids. The numbers are what the analysis window and
// its settings pass around; the command line names them bt709 (1),
// bt601 (3) and bt601full (4). 2 is not offered in the window.
enum class ViewRange : int { Bt709Video = 1, Bt709Full = 2, Bt601Video = 3, Bt601Full = 4 };

// A standard YUV to RGB conversion for samples of one depth: RGB in 0..1 is
//   Y' = (Y - yOffset) / yScale, Pb = (U - cOffset) / cScale, Pr likewise,
//   R = Y' + rv Pr, G = Y' + gu Pb + gv Pr, B = Y' + bu Pb.
// Video range: yOffset 16, yScale 219, cScale 224; full range: yOffset 0,
// scales 255; cOffset 128; all of them times 2^(depth - 8).
struct ColorMatrix {
    double yOffset = 0;
    double yScale = 255;
    double cOffset = 128;
    double cScale = 255;
    double rv = 0;
    double gu = 0;
    double gv = 0;
    double bu = 0;
};

// The matrix of view range `range` (1 to 4) for `depth`-bit samples (8 to
// 16); false for any other range or depth.
bool MatrixFor(int range, int depth, ColorMatrix* out);

// One pixel: the matrix, each component clamped to 0..1 and raised to
// `gamma` (0 stays 0), times 255, rounded to the nearest level.
void MatrixRgb(const ColorMatrix& m, double gamma, int y, int u, int v, uint8_t rgb[3]);

// Planar 4:4:4 samples (Y, U, V planes of w*h, as the reader's native read
// gives them) to packed 8-bit RGB, each pixel through MatrixRgb. `rgb`
// holds 3*w*h bytes.
void Yuv444ToRgbMatrix(const uint16_t* planes, int width, int height, const ColorMatrix& m, double gamma,
                       uint8_t* rgb);

} // namespace lumo
