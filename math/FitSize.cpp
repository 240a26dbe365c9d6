#include "math/FitSize.h"

void FitSize(int viewW, int viewH, int imgW, int imgH, int* outW, int* outH)
{
    int w = 0;
    int h = 0;
    if (imgW > 0 && imgH > 0) {
        // The aspect is rounded to single precision first; 1920x1080 in 800
        // wide gives 449, not 450.
        const float aspect = static_cast<float>(static_cast<double>(imgW) / imgH);
        if (aspect > 1.0f) {
            w = viewW;
            h = static_cast<int>(viewW * (1.0 / static_cast<double>(aspect)));
        } else {
            h = viewH;
            w = static_cast<int>(viewH * static_cast<double>(aspect));
        }
    }
    if (outW)
        *outW = w;
    if (outH)
        *outH = h;
}
