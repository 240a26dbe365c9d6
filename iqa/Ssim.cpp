#include "iqa/Ssim.h"

#include "iqa/SsimCore.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <new>

namespace {

float SsimCoreOf(const unsigned char* a, const unsigned char* b, int w, int h, int stride, const filter_kernel* k,
                 const lumo::iqa_detail::SsimParams& p, lumo::iqa_detail::SimdPath path)
{
    return lumo::iqa_detail::SsimCoreBytes(a, b, w, h, stride, k, p, path, 0);
}

float SsimCoreOf(const uint16_t* a, const uint16_t* b, int w, int h, int stride, const filter_kernel* k,
                 const lumo::iqa_detail::SsimParams& p, lumo::iqa_detail::SimdPath path)
{
    return lumo::iqa_detail::SsimCoreWords(a, b, w, h, stride, k, p, path, 0);
}

template <typename Sample>
float SsimIndex(const Sample* ref, const Sample* cmp, int w, int h, int stride, int gaussian,
                const ssim_options* opts)
{
    using lumo::iqa_detail::SsimParams;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    if (!ref || !cmp || w <= 0 || h <= 0 || stride < w)
        return nan;

    int scale = _max(1, _round(static_cast<float>(_min(w, h)) / 256.0f));
    // A given factor is taken as it is; one below 2 (negative too) means
    // no decimation.
    if (opts && opts->f != 0)
        scale = opts->f;
    // Past the smaller side the decimated image is at most 1 sample wide.
    if (scale > _min(w, h))
        return nan;
    const filter_kernel& window = gaussian ? lumo::GaussianWindow() : lumo::SquareWindow();

    SsimParams p;
    p.withOptions = opts != nullptr;
    p.alpha = opts ? opts->alpha : 1.0f;
    p.beta = opts ? opts->beta : 1.0f;
    p.gamma = opts ? opts->gamma : 1.0f;
    const int L = opts ? opts->L : 255;
    const float K1 = opts ? opts->K1 : 0.01f;
    const float K2 = opts ? opts->K2 : 0.03f;
    p.C1 = (K1 * L) * (K1 * L);
    p.C2 = (K2 * L) * (K2 * L);
    p.C3 = p.C2 / 2.0f;
    const auto path = lumo::iqa_detail::BestSimdPath();
    // Without decimation the single-precision copies would hold the samples
    // exactly: the core reads the samples themselves.
    if (scale <= 1)
        return SsimCoreOf(ref, cmp, w, h, stride, &window, p, path);

    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::unique_ptr<float[]> a(new (std::nothrow) float[count]);
    std::unique_ptr<float[]> b(new (std::nothrow) float[count]);
    if (!a || !b)
        return inf;
    for (int y = 0; y < h; ++y) {
        const Sample* ra = ref + static_cast<std::size_t>(y) * stride;
        const Sample* rb = cmp + static_cast<std::size_t>(y) * stride;
        float* da = a.get() + static_cast<std::size_t>(y) * w;
        float* db = b.get() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            da[x] = ra[x];
            db[x] = rb[x];
        }
    }

    const std::size_t taps = static_cast<std::size_t>(scale) * static_cast<std::size_t>(scale);
    std::unique_ptr<float[]> lowpass(new (std::nothrow) float[taps]);
    if (!lowpass)
        return inf;
    const float weight = 1.0f / static_cast<float>(taps);
    for (std::size_t i = 0; i < taps; ++i)
        lowpass[i] = weight;
    const filter_kernel low = {lowpass.get(), scale, scale, 0, boundary_symmetric, 0.0f};
    int dw = 0;
    int dh = 0;
    if (decimate(a.get(), w, h, scale, &low, nullptr, nullptr, nullptr) != 0 ||
        decimate(b.get(), w, h, scale, &low, nullptr, &dw, &dh) != 0)
        return inf;
    w = dw;
    h = dh;

    return lumo::iqa_detail::SsimCore(a.get(), b.get(), w, h, &window, p, path, 0);
}

} // namespace

float ssim_index(const unsigned char* ref, const unsigned char* cmp, int w, int h, int stride, int gaussian,
                 const ssim_options* opts)
{
    return SsimIndex(ref, cmp, w, h, stride, gaussian, opts);
}

float ssim_index16(const uint16_t* ref, const uint16_t* cmp, int w, int h, int stride, int gaussian,
                   const ssim_options* opts)
{
    return SsimIndex(ref, cmp, w, h, stride, gaussian, opts);
}
