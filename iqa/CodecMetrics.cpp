#include "iqa/CodecMetrics.h"

#include "yuv/Threads.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

// The hot loops (their buffers never overlap) are built for AVX2 as well, chosen when the processor runs it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define LUMO_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LUMO_SIMD_CLONES
#endif

namespace lumo {
namespace {

constexpr int kRadius = kSsimWindow / 2;
constexpr int kChannels = 5; // mean a, mean b, mean a^2, mean b^2, mean ab
constexpr double kMsSsimWeights[5] = {0.0448, 0.2856, 0.3001, 0.2363, 0.1333};

// exp(-x^2 / (2 sigma^2)) for x in [-5, 5], sigma 1.5, summing to 1.
const double* GaussianWeights()
{
    static const std::vector<double> weights = [] {
        std::vector<double> g(kSsimWindow);
        double sum = 0.0;
        for (int i = 0; i < kSsimWindow; ++i) {
            const double x = i - kRadius;
            g[i] = std::exp(-0.5 * x * x / (1.5 * 1.5));
            sum += g[i];
        }
        for (double& v : g)
            v /= sum;
        return g;
    }();
    return weights.data();
}

template <typename Sample>
struct Plane {
    const Sample* data;
    int w;
    int h;
    std::ptrdiff_t stride;
};

// Sums over the valid positions.
struct SsimSums {
    double ssim = 0.0;
    double cs = 0.0;
};

// The symmetric window at one position: t[0..10] are the eleven samples.
#define LUMO_WINDOW_SUM(t)                                                                                    \
    (g5 * (t)[5] + g0 * ((t)[0] + (t)[10]) + g1 * ((t)[1] + (t)[9]) + g2 * ((t)[2] + (t)[8]) +                \
     g3 * ((t)[3] + (t)[7]) + g4 * ((t)[4] + (t)[6]))

// The window across one row: the five channels of `in` (kChannels rows of
// ow + 10 values) into `out` (kChannels rows of ow).
LUMO_SIMD_CLONES void FilterRow(const double* in, std::ptrdiff_t inLen, double* out, int ow, const double* g)
{
    const double g0 = g[0], g1 = g[1], g2 = g[2], g3 = g[3], g4 = g[4], g5 = g[5];
    for (int c = 0; c < kChannels; ++c) {
        const double* s = in + c * inLen;
        double* d = out + static_cast<std::ptrdiff_t>(c) * ow;
#pragma GCC ivdep
        for (int x = 0; x < ow; ++x) {
            const double* t = s + x;
            d[x] = LUMO_WINDOW_SUM(t);
        }
    }
}

// The window down the kSsimWindow filtered rows `rows`, then the SSIM and
// contrast-structure terms of each position into `ssim` and `cs`.
LUMO_SIMD_CLONES void FilterColumnsAndTerms(const double* const* rows, double* col, int ow, const double* g,
                                            double C1, double C2, double* ssim, double* cs)
{
    const double g0 = g[0], g1 = g[1], g2 = g[2], g3 = g[3], g4 = g[4], g5 = g[5];
    for (int c = 0; c < kChannels; ++c) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(c) * ow;
        const double* r[kSsimWindow];
        for (int k = 0; k < kSsimWindow; ++k)
            r[k] = rows[k] + at;
        double* d = col + at;
#pragma GCC ivdep
        for (int x = 0; x < ow; ++x) {
            const double t[kSsimWindow] = {r[0][x], r[1][x], r[2][x], r[3][x], r[4][x], r[5][x],
                                           r[6][x], r[7][x], r[8][x], r[9][x], r[10][x]};
            d[x] = LUMO_WINDOW_SUM(t);
        }
    }
    const double* ma = col;
    const double* mb = col + ow;
    const double* maa = col + 2 * static_cast<std::ptrdiff_t>(ow);
    const double* mbb = col + 3 * static_cast<std::ptrdiff_t>(ow);
    const double* mab = col + 4 * static_cast<std::ptrdiff_t>(ow);
#pragma GCC ivdep
    for (int x = 0; x < ow; ++x) {
        // Population variances: E[a^2] - E[a]^2.
        const double va = maa[x] - ma[x] * ma[x];
        const double vb = mbb[x] - mb[x] * mb[x];
        const double vab = mab[x] - ma[x] * mb[x];
        const double c = (2.0 * vab + C2) / (va + vb + C2);
        const double l = (2.0 * ma[x] * mb[x] + C1) / (ma[x] * ma[x] + mb[x] * mb[x] + C1);
        cs[x] = c;
        ssim[x] = l * c;
    }
}

// Four running sums, added in a fixed order: the same bits every run.
double OrderedSum(const double* v, int n)
{
    double s[4] = {0.0, 0.0, 0.0, 0.0};
    int i = 0;
    for (; i + 4 <= n; i += 4)
        for (int j = 0; j < 4; ++j)
            s[j] += v[i + j];
    for (; i < n; ++i)
        s[0] += v[i];
    return (s[0] + s[1]) + (s[2] + s[3]);
}

// What one block of rows works in, allocated before any thread starts.
struct Scratch {
    std::vector<double> in, ring, col, ssim, cs;
    Scratch(int w, int ow)
        : in(static_cast<std::size_t>(kChannels) * w), ring(static_cast<std::size_t>(kSsimWindow) * kChannels * ow),
          col(static_cast<std::size_t>(kChannels) * ow), ssim(ow), cs(ow)
    {
    }
};

// Output rows [oy0, oy1): every row's sums into rowSsim / rowCs.
template <typename Sample>
void SsimRows(const Plane<Sample>& a, const Plane<Sample>& b, int oy0, int oy1, double C1, double C2, Scratch& s,
              double* rowSsim, double* rowCs)
{
    const double* g = GaussianWeights();
    const int w = a.w;
    const int ow = w - kSsimWindow + 1;
    const std::size_t slot = static_cast<std::size_t>(kChannels) * ow;
    const double* rows[kSsimWindow];
    const CancelToken* cancel = CurrentCancel();
    for (int r = oy0; r < oy1 + kSsimWindow - 1; ++r) {
        if ((r - oy0) % kCancelRows == 0 && IsCancelled(cancel))
            return;
        const Sample* ra = a.data + r * a.stride;
        const Sample* rb = b.data + r * b.stride;
        double* va = s.in.data();
        double* vb = va + w;
        double* vaa = vb + w;
        double* vbb = vaa + w;
        double* vab = vbb + w;
#pragma GCC ivdep
        for (int x = 0; x < w; ++x) {
            va[x] = static_cast<double>(ra[x]);
            vb[x] = static_cast<double>(rb[x]);
            vaa[x] = va[x] * va[x];
            vbb[x] = vb[x] * vb[x];
            vab[x] = va[x] * vb[x];
        }
        FilterRow(s.in.data(), w, s.ring.data() + static_cast<std::size_t>(r % kSsimWindow) * slot, ow, g);
        const int oy = r - (kSsimWindow - 1);
        if (oy < oy0)
            continue;
        for (int k = 0; k < kSsimWindow; ++k)
            rows[k] = s.ring.data() + static_cast<std::size_t>((oy + k) % kSsimWindow) * slot;
        FilterColumnsAndTerms(rows, s.col.data(), ow, g, C1, C2, s.ssim.data(), s.cs.data());
        rowSsim[oy] = OrderedSum(s.ssim.data(), ow);
        rowCs[oy] = OrderedSum(s.cs.data(), ow);
    }
}

int ThreadsFor(int ow, int oh, int requested)
{
    int n = requested;
    if (n <= 0) {
        if (static_cast<double>(ow) * oh < 65536.0)
            return 1;
        n = std::min(std::max(static_cast<int>(std::thread::hardware_concurrency()), 1), 8);
    }
    // Each block refills a ring of kSsimWindow - 1 rows: keep blocks tall.
    return std::max(1, std::min(n, oh / 16));
}

// Means of SSIM and of contrast-structure over the valid positions; false
// when the plane is smaller than the window. Throws std::bad_alloc.
template <typename Sample>
bool SsimMeans(const Plane<Sample>& a, const Plane<Sample>& b, int depth, int threads, SsimSums& means)
{
    const int ow = a.w - kSsimWindow + 1;
    const int oh = a.h - kSsimWindow + 1;
    if (ow <= 0 || oh <= 0)
        return false;
    const double L = static_cast<double>((1u << depth) - 1u);
    const double C1 = (0.01 * L) * (0.01 * L);
    const double C2 = (0.03 * L) * (0.03 * L);
    std::vector<double> rowSsim(oh), rowCs(oh);
    const BudgetSlots helpers(ThreadsFor(ow, oh, threads) - 1);
    const int n = 1 + helpers.Count();
    const CancelToken* cancel = CurrentCancel();
    std::vector<int> bounds(n + 1);
    for (int t = 0; t <= n; ++t)
        bounds[t] = static_cast<int>(static_cast<long long>(oh) * t / n);
    std::vector<Scratch> scratch;
    scratch.reserve(n);
    for (int t = 0; t < n; ++t)
        scratch.emplace_back(a.w, ow);
    auto block = [&](int t) {
        const CancelScope scope(cancel); // helpers stop with the caller
        SsimRows(a, b, bounds[t], bounds[t + 1], C1, C2, scratch[t], rowSsim.data(), rowCs.data());
    };
    std::vector<std::thread> pool;
    int started = 1;
    for (; started < n; ++started) {
        try {
            pool.emplace_back(block, started);
        } catch (const std::system_error&) {
            break; // no thread to spare: the calling thread does the rest
        }
    }
    block(0);
    for (int t = started; t < n; ++t)
        block(t);
    for (std::thread& t : pool)
        t.join();
    if (IsCancelled(cancel))
        return false;
    const double count = static_cast<double>(ow) * oh;
    means.ssim = OrderedSum(rowSsim.data(), oh) / count;
    means.cs = OrderedSum(rowCs.data(), oh) / count;
    return true;
}

template <typename Sample>
bool Usable(const Sample* reference, const Sample* compared, int w, int h, std::ptrdiff_t stride, int depth)
{
    return reference && compared && w > 0 && h > 0 && stride >= w && depth >= 1 && depth <= 16;
}

template <typename Sample>
double PlaneSsimT(const Sample* reference, const Sample* compared, int w, int h, std::ptrdiff_t stride, int depth, int threads)
{
    if (!Usable(reference, compared, w, h, stride, depth))
        return std::numeric_limits<double>::quiet_NaN();
    try {
        SsimSums means;
        if (!SsimMeans(Plane<Sample>{reference, w, h, stride}, Plane<Sample>{compared, w, h, stride}, depth, threads, means))
            return IsCancelled(CurrentCancel()) ? std::numeric_limits<double>::infinity()
                                                : std::numeric_limits<double>::quiet_NaN();
        return means.ssim;
    } catch (const std::bad_alloc&) {
        return std::numeric_limits<double>::infinity();
    }
}

// One row of 2x2 means from rows r0 and r1 of `w` samples: `whole` pairs,
// then an odd last column paired with itself.
template <typename Sample>
LUMO_SIMD_CLONES void HalfRow(const Sample* r0, const Sample* r1, int w, double* out)
{
    const int whole = w / 2;
#pragma GCC ivdep
    for (int x = 0; x < whole; ++x)
        out[x] = (static_cast<double>(r0[2 * x]) + r0[2 * x + 1] + static_cast<double>(r1[2 * x]) + r1[2 * x + 1]) *
                 0.25;
    if (w % 2)
        out[whole] = (static_cast<double>(r0[w - 1]) + r0[w - 1] + static_cast<double>(r1[w - 1]) + r1[w - 1]) * 0.25;
}

// Each 2x2 block averaged (an odd last row or column paired with itself).
// Every value is written: no zeroing pass first. Throws std::bad_alloc.
template <typename Sample>
std::unique_ptr<double[]> HalfSize(const Plane<Sample>& p)
{
    const int w = (p.w + 1) / 2;
    const int h = (p.h + 1) / 2;
    std::unique_ptr<double[]> out(new double[static_cast<std::size_t>(w) * h]);
    for (int y = 0; y < h; ++y) {
        const Sample* r0 = p.data + static_cast<std::ptrdiff_t>(2 * y) * p.stride;
        const Sample* r1 = p.data + static_cast<std::ptrdiff_t>(std::min(2 * y + 1, p.h - 1)) * p.stride;
        HalfRow(r0, r1, p.w, out.get() + static_cast<std::size_t>(y) * w);
    }
    return out;
}

template <typename Sample>
double PlaneMsSsimT(const Sample* reference, const Sample* compared, int w, int h, std::ptrdiff_t stride, int depth,
                    int threads)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!Usable(reference, compared, w, h, stride, depth))
        return nan;
    int w5 = w, h5 = h;
    for (int s = 1; s < 5; ++s) {
        w5 = (w5 + 1) / 2;
        h5 = (h5 + 1) / 2;
    }
    if (w5 < kSsimWindow || h5 < kSsimWindow)
        return nan;
    try {
        const Plane<Sample> a{reference, w, h, stride}, b{compared, w, h, stride};
        SsimSums means;
        const double cancelled = std::numeric_limits<double>::infinity();
        if (!SsimMeans(a, b, depth, threads, means))
            return cancelled; // the size was checked: only a cancel stops it
        if (means.cs < 0.0)
            return nan;
        double product = std::pow(means.cs, kMsSsimWeights[0]);
        std::unique_ptr<double[]> da = HalfSize(a), db = HalfSize(b);
        Plane<double> pa{da.get(), (w + 1) / 2, (h + 1) / 2, (w + 1) / 2};
        for (int s = 1; s < 5; ++s) {
            Plane<double> pb{db.get(), pa.w, pa.h, pa.stride};
            if (!SsimMeans(pa, pb, depth, threads, means))
                return cancelled;
            const double value = s < 4 ? means.cs : means.ssim;
            if (value < 0.0)
                return nan;
            product *= std::pow(value, kMsSsimWeights[s]);
            if (s == 4)
                break;
            std::unique_ptr<double[]> na = HalfSize(pa), nb = HalfSize(pb);
            da = std::move(na);
            db = std::move(nb);
            pa = Plane<double>{da.get(), (pa.w + 1) / 2, (pa.h + 1) / 2, (pa.w + 1) / 2};
        }
        return product;
    } catch (const std::bad_alloc&) {
        return std::numeric_limits<double>::infinity();
    }
}

} // namespace

double PlaneSsim(const uint8_t* reference, const uint8_t* compared, int w, int h, std::ptrdiff_t stride, int depth, int threads)
{
    return PlaneSsimT(reference, compared, w, h, stride, depth, threads);
}

double PlaneSsim(const uint16_t* reference, const uint16_t* compared, int w, int h, std::ptrdiff_t stride, int depth,
                 int threads)
{
    return PlaneSsimT(reference, compared, w, h, stride, depth, threads);
}

double PlaneMsSsim(const uint8_t* reference, const uint8_t* compared, int w, int h, std::ptrdiff_t stride, int depth,
                   int threads)
{
    return PlaneMsSsimT(reference, compared, w, h, stride, depth, threads);
}

double PlaneMsSsim(const uint16_t* reference, const uint16_t* compared, int w, int h, std::ptrdiff_t stride, int depth,
                   int threads)
{
    return PlaneMsSsimT(reference, compared, w, h, stride, depth, threads);
}

double YuvPsnr(const double psnr[3])
{
    return (6.0 * psnr[0] + psnr[1] + psnr[2]) / 8.0;
}

bool RegionInside(const Region& r, int width, int height)
{
    return r.x >= 0 && r.y >= 0 && r.w > 0 && r.h > 0 && r.w <= width - r.x && r.h <= height - r.y;
}

int CoveredSpan(int start, int length, int sub, int planeSize, int& first)
{
    first = start / sub;
    const long long end = (static_cast<long long>(start) + length + sub - 1) / sub;
    return static_cast<int>(std::max<long long>(0, std::min<long long>(end, planeSize) - first));
}

} // namespace lumo
