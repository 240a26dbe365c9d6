#pragma once

// Small numeric helpers of the image-quality routines. They keep C linkage
// and the executable exports them by name.
extern "C" {

// Rounds half away from zero for positive values; negative values truncate.
int _round(float a);
int _max(int x, int y);
int _min(int x, int y);
// 1 when a and b differ once rounded to `digits` decimal places, else 0.
int _cmp_float(float a, float b, int digits);
// 1 at the first of w*h pairs for which _cmp_float gives 1, else 0.
int _matrix_cmp(const float* a, const float* b, int w, int h, int digits);

}
