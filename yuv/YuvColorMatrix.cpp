#include "yuv/YuvColorMatrix.h"

#include <cmath>

namespace lumo {

bool MatrixFor(int range, int depth, ColorMatrix* out)
{
    if (range < 1 || range > 4 || depth < 8 || depth > 16)
        return false;
    const bool bt709 = range <= 2;
    const bool video = range == 1 || range == 3;
    const double kr = bt709 ? 0.2126 : 0.299;
    const double kb = bt709 ? 0.0722 : 0.114;
    const double kg = 1.0 - kr - kb;
    const double unit = static_cast<double>(1 << (depth - 8));
    ColorMatrix m;
    m.yOffset = (video ? 16.0 : 0.0) * unit;
    m.yScale = (video ? 219.0 : 255.0) * unit;
    m.cOffset = 128.0 * unit;
    m.cScale = (video ? 224.0 : 255.0) * unit;
    m.rv = 2.0 * (1.0 - kr);
    m.gu = -2.0 * kb * (1.0 - kb) / kg;
    m.gv = -2.0 * kr * (1.0 - kr) / kg;
    m.bu = 2.0 * (1.0 - kb);
    *out = m;
    return true;
}

void MatrixRgb(const ColorMatrix& m, double gamma, int y, int u, int v, uint8_t rgb[3])
{
    const double yf = (y - m.yOffset) / m.yScale;
    const double pb = (u - m.cOffset) / m.cScale;
    const double pr = (v - m.cOffset) / m.cScale;
    const double c[3] = {yf + m.rv * pr, yf + m.gu * pb + m.gv * pr, yf + m.bu * pb};
    for (int i = 0; i < 3; ++i) {
        double x = c[i] < 0.0 ? 0.0 : (c[i] > 1.0 ? 1.0 : c[i]);
        // 0 stays 0 at any gamma, as in the frame shader (0^0 is 1).
        if (gamma != 1.0 && x > 0.0)
            x = std::pow(x, gamma);
        rgb[i] = static_cast<uint8_t>(x * 255.0 + 0.5);
    }
}

void Yuv444ToRgbMatrix(const uint16_t* planes, int width, int height, const ColorMatrix& m, double gamma,
                       uint8_t* rgb)
{
    if (!planes || !rgb || width <= 0 || height <= 0)
        return;
    const int64_t n = static_cast<int64_t>(width) * height;
    for (int64_t i = 0; i < n; ++i)
        MatrixRgb(m, gamma, planes[i], planes[n + i], planes[2 * n + i], rgb + 3 * i);
}

} // namespace lumo
