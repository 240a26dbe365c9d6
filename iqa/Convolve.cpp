#include "iqa/Convolve.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace {

// Normalised exp(-((x-5)^2 + (y-5)^2) / (2 * 1.5^2)), rounded to six decimals.
const float kGaussian11[121] = {
    0.000001f, 0.000008f, 0.000037f, 0.000112f, 0.000219f, 0.000274f, 0.000219f, 0.000112f, 0.000037f, 0.000008f, 0.000001f,
    0.000008f, 0.000058f, 0.000274f, 0.000831f, 0.001619f, 0.002021f, 0.001619f, 0.000831f, 0.000274f, 0.000058f, 0.000008f,
    0.000037f, 0.000274f, 0.001296f, 0.003937f, 0.007668f, 0.009577f, 0.007668f, 0.003937f, 0.001296f, 0.000274f, 0.000037f,
    0.000112f, 0.000831f, 0.003937f, 0.011960f, 0.023294f, 0.029091f, 0.023294f, 0.011960f, 0.003937f, 0.000831f, 0.000112f,
    0.000219f, 0.001619f, 0.007668f, 0.023294f, 0.045371f, 0.056662f, 0.045371f, 0.023294f, 0.007668f, 0.001619f, 0.000219f,
    0.000274f, 0.002021f, 0.009577f, 0.029091f, 0.056662f, 0.070762f, 0.056662f, 0.029091f, 0.009577f, 0.002021f, 0.000274f,
    0.000219f, 0.001619f, 0.007668f, 0.023294f, 0.045371f, 0.056662f, 0.045371f, 0.023294f, 0.007668f, 0.001619f, 0.000219f,
    0.000112f, 0.000831f, 0.003937f, 0.011960f, 0.023294f, 0.029091f, 0.023294f, 0.011960f, 0.003937f, 0.000831f, 0.000112f,
    0.000037f, 0.000274f, 0.001296f, 0.003937f, 0.007668f, 0.009577f, 0.007668f, 0.003937f, 0.001296f, 0.000274f, 0.000037f,
    0.000008f, 0.000058f, 0.000274f, 0.000831f, 0.001619f, 0.002021f, 0.001619f, 0.000831f, 0.000274f, 0.000058f, 0.000008f,
    0.000001f, 0.000008f, 0.000037f, 0.000112f, 0.000219f, 0.000274f, 0.000219f, 0.000112f, 0.000037f, 0.000008f, 0.000001f,
};

const float kSquare8[64] = {
    0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f,
    0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f,
    0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f,
    0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f,
    0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f,
    0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f,
    0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f,
    0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f, 0.015625f,
};

const filter_kernel kGaussianWindow = {kGaussian11, 11, 11, 1, boundary_symmetric, 0.0f};
const filter_kernel kSquareWindow = {kSquare8, 8, 8, 1, boundary_symmetric, 0.0f};

float KernelScale(const filter_kernel* k)
{
    if (k->normalized)
        return 1.0f;
    double sum = 0.0;
    for (int i = 0; i < k->w * k->h; ++i)
        sum += k->kernel[i];
    return sum != 0.0 ? static_cast<float>(1.0 / sum) : 1.0f;
}

bool ValidKernel(const filter_kernel* k)
{
    return k && k->kernel && k->w > 0 && k->h > 0;
}

float Boundary(const filter_kernel* k, const float* img, int w, int h, int x, int y)
{
    if (k->bnd_opt)
        return k->bnd_opt(img, w, h, x, y, k->bnd_const);
    if (x < 0 || y < 0 || x >= w || y >= h)
        return k->bnd_const;
    return img[static_cast<std::ptrdiff_t>(y) * w + x];
}

} // namespace

float convolve_valid(float* img, int w, int h, const filter_kernel* k, float* result, int* rw, int* rh)
{
    if (!ValidKernel(k))
        return 1.0f;
    const int kw = k->w;
    const int kh = k->h;
    const int ow = w - kw + 1;
    const int oh = h - kh + 1;
    if (rw)
        *rw = ow;
    if (rh)
        *rh = oh;
    const float scale = KernelScale(k);
    if (!img || ow <= 0 || oh <= 0)
        return scale;
    float* out = result ? result : img;
    const double dscale = scale;
    // Output (x, y) is centred on (x + kw/2, y + kh/2); its taps run over
    // rows y..y+kh-1 and columns x..x+kw-1, weights in row-major order. In
    // place is safe: output index y*ow+x never passes an input still needed.
    for (int y = 0; y < oh; ++y) {
        for (int x = 0; x < ow; ++x) {
            double sum = 0.0;
            const float* kp = k->kernel;
            for (int v = 0; v < kh; ++v) {
                const float* row = img + static_cast<std::ptrdiff_t>(y + v) * w + x;
                for (int u = 0; u < kw; ++u)
                    sum += static_cast<double>(row[u]) * static_cast<double>(*kp++);
            }
            out[static_cast<std::ptrdiff_t>(y) * ow + x] = static_cast<float>(dscale * sum);
        }
    }
    return scale;
}

float filter_pixel(const float* img, int w, int h, int x, int y, const filter_kernel* k, float kscale)
{
    if (!img || w <= 0 || h <= 0)
        return 0.0f;
    if (!ValidKernel(k)) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return 0.0f;
        return img[static_cast<std::ptrdiff_t>(y) * w + x];
    }
    const int ew = k->w / 2;
    const int eh = k->h / 2;
    const int uEnd = ew - (k->w % 2 == 0 ? 1 : 0);
    const int vEnd = eh - (k->h % 2 == 0 ? 1 : 0);
    const bool edge = x < ew || y < eh || x >= w - ew || y >= h - eh;
    double sum = 0.0;
    const float* kp = k->kernel;
    for (int v = -eh; v <= vEnd; ++v) {
        for (int u = -ew; u <= uEnd; ++u) {
            const float s = edge ? Boundary(k, img, w, h, x + u, y + v)
                                 : img[static_cast<std::ptrdiff_t>(y + v) * w + (x + u)];
            sum += static_cast<double>(s) * static_cast<double>(*kp++);
        }
    }
    return static_cast<float>(sum) * kscale;
}

int decimate(float* img, int w, int h, int factor, const filter_kernel* k, float* result, int* rw, int* rh)
{
    if (!img || w <= 0 || h <= 0 || factor < 1)
        return -1;
    const int dw = w / factor + (w & 1);
    const int dh = h / factor + (h & 1);
    const std::size_t count = static_cast<std::size_t>(dw) * static_cast<std::size_t>(dh);
    // In place goes through a scratch image: the low-pass taps of a later
    // output reach back over samples already replaced.
    float* out = result;
    if (!out) {
        if (count > static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
            return -1; // only a factor of 1 on an odd size grows the image

        out = new (std::nothrow) float[count];
        if (!out)
            return -1;
    }
    for (int y = 0; y < dh; ++y) {
        for (int x = 0; x < dw; ++x)
            out[static_cast<std::size_t>(y) * dw + x] = filter_pixel(img, w, h, x * factor, y * factor, k, 1.0f);
    }
    if (!result) {
        std::memcpy(img, out, count * sizeof(float));
        delete[] out;
    }
    if (rw)
        *rw = dw;
    if (rh)
        *rh = dh;
    return 0;
}

float boundary_symmetric(const float* img, int w, int h, int x, int y, float bnd_const)
{
    if (!img || w <= 0 || h <= 0)
        return bnd_const;
    // Mirror with period 2w (2h): equals -1-x below 0 and 2w-x-1 at or past
    // w, and stays inside the image however far out the position is.
    auto fold = [](long long p, long long n) {
        p %= 2 * n;
        if (p < 0)
            p += 2 * n;
        return p >= n ? 2 * n - 1 - p : p;
    };
    const long long fx = fold(x, w);
    const long long fy = fold(y, h);
    return img[fy * w + fx];
}

namespace lumo {

const filter_kernel& GaussianWindow()
{
    return kGaussianWindow;
}

const filter_kernel& SquareWindow()
{
    return kSquareWindow;
}

} // namespace lumo
