#include "SsimOracle.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace oracle {

void ConvolveValid(const float* img, int w, int h, const filter_kernel& k, float* out)
{
    const int ow = w - k.w + 1;
    const int oh = h - k.h + 1;
    double scale = 1.0;
    if (!k.normalized) {
        double s = 0.0;
        for (int i = 0; i < k.w * k.h; ++i)
            s += k.kernel[i];
        scale = s != 0.0 ? static_cast<float>(1.0 / s) : 1.0f;
    }
    for (int y = 0; y < oh; ++y) {
        for (int x = 0; x < ow; ++x) {
            double sum = 0.0;
            int t = 0;
            for (int v = 0; v < k.h; ++v)
                for (int u = 0; u < k.w; ++u)
                    sum += static_cast<double>(img[(y + v) * w + x + u]) * static_cast<double>(k.kernel[t++]);
            out[y * ow + x] = static_cast<float>(scale * sum);
        }
    }
}

float SsimCore(const float* a, const float* b, int w, int h, const filter_kernel& k, const ssim_options* opts,
               double* termSum)
{
    const float alpha = opts ? opts->alpha : 1.0f;
    const float beta = opts ? opts->beta : 1.0f;
    const float gamma = opts ? opts->gamma : 1.0f;
    const int L = opts ? opts->L : 255;
    const float K1 = opts ? opts->K1 : 0.01f;
    const float K2 = opts ? opts->K2 : 0.03f;
    const float C1 = (K1 * L) * (K1 * L);
    const float C2 = (K2 * L) * (K2 * L);
    const float C3 = C2 / 2.0f;

    const std::size_t n = static_cast<std::size_t>(w) * h;
    std::vector<float> muA(n), muB(n), sA(n), sB(n), sAB(n);
    ConvolveValid(a, w, h, k, muA.data());
    ConvolveValid(b, w, h, k, muB.data());
    for (std::size_t i = 0; i < n; ++i) {
        sA[i] = a[i] * a[i];
        sB[i] = b[i] * b[i];
        sAB[i] = a[i] * b[i];
    }
    std::vector<float> tmp(n);
    ConvolveValid(sA.data(), w, h, k, tmp.data());
    sA = tmp;
    ConvolveValid(sB.data(), w, h, k, tmp.data());
    sB = tmp;
    ConvolveValid(sAB.data(), w, h, k, tmp.data());
    sAB = tmp;
    const int ow = w - k.w + 1;
    const int oh = h - k.h + 1;
    if (ow <= 0 || oh <= 0)
        return std::numeric_limits<float>::quiet_NaN();

    double sum = 0.0;
    for (int i = 0; i < ow * oh; ++i) {
        const float ma = muA[i];
        const float mb = muB[i];
        float va = sA[i] - ma * ma;
        float vb = sB[i] - mb * mb;
        const float cov = sAB[i] - ma * mb;
        if (!opts) {
            sum += ((2.0f * ma * mb + C1) * (2.0f * cov + C2)) / ((ma * ma + mb * mb + C1) * (va + vb + C2));
            continue;
        }
        if (va < 0)
            va = 0;
        if (vb < 0)
            vb = 0;
        const double da = ma;
        const double db = mb;
        const double root = std::sqrt(static_cast<double>(va) * vb);
        double l = (C1 == 0 && da * da == 0 && db * db == 0) ? 1.0
                                                                : (2.0 * da * db + C1) / (da * da + db * db + C1);
        double c = (C2 == 0 && static_cast<double>(va) + vb == 0)
                       ? 1.0
                       : (2.0 * root + C2) / (static_cast<double>(va) + static_cast<double>(vb) + C2);
        double t;
        if (C3 == 0 && root == 0)
            t = (va == 0 && vb == 0) ? 1.0 : 0.0;
        else
            t = (static_cast<double>(cov) + C3) / (root + C3);
        if (alpha != 1.0f)
            l = (l < 0 ? -1.0 : 1.0) * std::pow(std::fabs(l), static_cast<double>(alpha));
        if (beta != 1.0f)
            c = (c < 0 ? -1.0 : 1.0) * std::pow(std::fabs(c), static_cast<double>(beta));
        if (gamma != 1.0f)
            t = (t < 0 ? -1.0 : 1.0) * std::pow(std::fabs(t), static_cast<double>(gamma));
        sum += l * c * t;
    }
    if (termSum)
        *termSum = sum;
    return static_cast<float>(sum / (static_cast<double>(ow) * oh));
}

float SsimIndex(const uint8_t* ref, const uint8_t* cmp, int w, int h, int stride, int gaussian,
                const ssim_options* opts)
{
    int scale = _max(1, _round(static_cast<float>(_min(w, h)) / 256.0f));
    if (opts && opts->f != 0)
        scale = opts->f;
    std::vector<float> a(static_cast<std::size_t>(w) * h), b(a.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            a[y * w + x] = ref[y * stride + x];
            b[y * w + x] = cmp[y * stride + x];
        }
    if (scale > 1) {
        std::vector<float> low(scale * scale, 1.0f / static_cast<float>(scale * scale));
        const filter_kernel k = {low.data(), scale, scale, 0, boundary_symmetric, 0.0f};
        int dw = 0, dh = 0;
        decimate(a.data(), w, h, scale, &k, nullptr, nullptr, nullptr);
        decimate(b.data(), w, h, scale, &k, nullptr, &dw, &dh);
        w = dw;
        h = dh;
    }
    return SsimCore(a.data(), b.data(), w, h, gaussian ? lumo::GaussianWindow() : lumo::SquareWindow(), opts);
}

void RedPlane(const uint8_t* frame, int w, int h, int code, uint8_t* dst)
{
    const double k = code == 1 ? 1.4022 : (code == 2 ? 1.793 : 1.596);
    const int n = w * h;
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int v = frame[n + cw * ch + (y / 2) * cw + x / 2];
            int r = static_cast<int>(frame[y * w + x] + k * (v - 128));
            dst[y * w + x] = static_cast<uint8_t>(std::clamp(r, 0, 255));
        }
    }
}

double SsimGray(const uint8_t* ref, const uint8_t* cmp, int w, int h, int code)
{
    std::vector<uint8_t> ra(static_cast<std::size_t>(w) * h), rb(ra.size());
    RedPlane(ref, w, h, code, ra.data());
    RedPlane(cmp, w, h, code, rb.data());
    const ssim_options opts = {1.0f, 1.0f, 1.0f, 255, 0.01f, 0.03f, 1};
    return SsimIndex(ra.data(), rb.data(), w, h, w, 1, &opts);
}

void PsnrMse(const uint8_t* ref, const uint8_t* cmp, int w, int h, double* psnr, double* mse)
{
    const int n = w * h;
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    const int offset[3] = {0, n, n + cw * ch};
    for (int p = 0; p < 3; ++p) {
        const int pw = p ? cw : w;
        const int ph = p ? ch : h;
        double sum = 0.0;
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x) {
                const int d = ref[offset[p] + y * pw + x] - cmp[offset[p] + y * pw + x];
                sum += static_cast<double>(d) * d;
            }
        mse[p] = sum / (static_cast<double>(pw) * ph);
        psnr[p] = mse[p] == 0.0 ? 999.99 : 10.0 * std::log10(65025.0 / mse[p]);
    }
}

} // namespace oracle
