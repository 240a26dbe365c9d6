// The SSIM core. Each output position needs five window sums (A, B, A^2,
// B^2, A*B). They are computed in one pass per pair of output rows from a
// ring of the last kh + 1 input rows held in double precision; the output
// positions of a row go across vector lanes, and every lane repeats the
// scalar sequence exactly (double products and sums, taps in row-major
// order, no fused multiply-add), so every path and any number of threads
// give the same bits as five direct convolutions. The per-position terms
// are summed in one row-major sequence at the end.
#include "iqa/SsimCore.h"

#include "yuv/Threads.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace lumo {
namespace iqa_detail {
namespace {

typedef double D2 __attribute__((vector_size(16)));
typedef double D4 __attribute__((vector_size(32)));
typedef double D8 __attribute__((vector_size(64)));
typedef float F2 __attribute__((vector_size(8)));
typedef float F4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));

template <int W> struct Vec;
template <> struct Vec<2> { typedef D2 D; typedef F2 F; };
template <> struct Vec<4> { typedef D4 D; typedef F4 F; };
template <> struct Vec<8> { typedef D8 D; typedef F8 F; };

constexpr int kChannels = 5; // A, B, A^2, B^2, A*B
constexpr int kMaxBlock = 16; // widest W * K of any path

struct Job {
    const float* a;   // float samples, rows w apart
    const float* b;
    const uint8_t* a8; // or byte samples, rows stride apart
    const uint8_t* b8;
    const uint16_t* a16; // or 16-bit samples, rows stride apart
    const uint16_t* b16;
    int stride;
    int w;
    int h;
    const filter_kernel* k;
    double scale;
    SsimParams p;
    int ow;
    int oh;
    bool vectorTerms;
    const lumo::CancelToken* cancel; // polled every kCancelRows rows
};

struct Scratch {
    std::unique_ptr<double[]> ring;  // kh + 1 slots x 5 channel rows of rowLen
    std::unique_ptr<float[]> maps;   // 2 x 5 rows of mapLen: muA, muB, varA, varB, covAB
    float* mapRows[2][kChannels] = {};
    std::unique_ptr<double[]> terms; // one row of terms
    std::unique_ptr<double[]> weights; // the window in double, row-major
    std::unique_ptr<const double*[]> rowAt; // ring rows of the rows being summed
    std::size_t rowLen = 0;
    std::size_t mapLen = 0;
};

// One position's term; the definition every path follows.
double TermWithOptions(float ma, float mb, float va, float vb, float cov, const SsimParams& p)
{
    if (va < 0)
        va = 0;
    if (vb < 0)
        vb = 0;
    const double da = ma;
    const double db = mb;
    const double root = std::sqrt(static_cast<double>(va) * static_cast<double>(vb));
    double l;
    double c;
    double t;
    if (p.C1 == 0 && da * da == 0 && db * db == 0)
        l = 1.0;
    else
        l = (2.0 * da * db + p.C1) / (da * da + db * db + p.C1);
    if (p.C2 == 0 && static_cast<double>(va) + static_cast<double>(vb) == 0)
        c = 1.0;
    else
        c = (2.0 * root + p.C2) / (static_cast<double>(va) + static_cast<double>(vb) + p.C2);
    if (p.C3 == 0 && root == 0)
        t = (va == 0 && vb == 0) ? 1.0 : 0.0;
    else
        t = (static_cast<double>(cov) + p.C3) / (root + p.C3);
    auto power = [](double term, float e) {
        if (e == 1.0f)
            return term;
        return (term < 0 ? -1.0 : 1.0) * std::pow(std::fabs(term), static_cast<double>(e));
    };
    l = power(l, p.alpha);
    c = power(c, p.beta);
    t = power(t, p.gamma);
    return l * c * t;
}

double TermPlain(float ma, float mb, float va, float vb, float cov, const SsimParams& p)
{
    const float num = (2.0f * ma * mb + p.C1) * (2.0f * cov + p.C2);
    const float den = (ma * ma + mb * mb + p.C1) * (va + vb + p.C2);
    return num / den;
}

void ScalarTerms(const Job& j, const float* const* m, double* terms)
{
    for (int x = 0; x < j.ow; ++x) {
        terms[x] = j.p.withOptions ? TermWithOptions(m[0][x], m[1][x], m[2][x], m[3][x], m[4][x], j.p)
                                   : TermPlain(m[0][x], m[1][x], m[2][x], m[3][x], m[4][x], j.p);
    }
}

// One input row as the five channels in double; the products are taken in
// single precision, as the float images of the plain path do.
template <typename T>
__attribute__((always_inline)) inline void FillChannels(const T* __restrict ra, const T* __restrict rb, int w,
                                                         double* __restrict ca, double* __restrict cb,
                                                         double* __restrict caa, double* __restrict cbb,
                                                         double* __restrict cab)
{
    for (int x = 0; x < w; ++x) {
        const float a = ra[x];
        const float b = rb[x];
        ca[x] = a;
        cb[x] = b;
        caa[x] = a * a;
        cbb[x] = b * b;
        cab[x] = a * b;
    }
}

// Input row `row` into its ring slot, as the five channels in double.
__attribute__((always_inline)) inline void FillRing(const Job& j, Scratch& s, int row)
{
    const int kh = j.k->h;
    double* base = s.ring.get() + static_cast<std::size_t>(row % (kh + 1)) * kChannels * s.rowLen;
    double* ca = base;
    double* cb = base + s.rowLen;
    double* caa = base + 2 * s.rowLen;
    double* cbb = base + 3 * s.rowLen;
    double* cab = base + 4 * s.rowLen;
    if (j.a8) {
        const std::size_t at = static_cast<std::size_t>(row) * j.stride;
        FillChannels(j.a8 + at, j.b8 + at, j.w, ca, cb, caa, cbb, cab);
    } else if (j.a16) {
        const std::size_t at = static_cast<std::size_t>(row) * j.stride;
        FillChannels(j.a16 + at, j.b16 + at, j.w, ca, cb, caa, cbb, cab);
    } else {
        const std::size_t at = static_cast<std::size_t>(row) * j.w;
        FillChannels(j.a + at, j.b + at, j.w, ca, cb, caa, cbb, cab);
    }
}

// Window sums of output rows y .. y+R-1 into their statistics maps. Input
// rows are visited in order and each loaded vector serves every output row
// whose window covers it, so each output still takes its taps in row-major
// order.
template <int W, int K, int R>
__attribute__((always_inline)) inline void WindowRowsT(const Job& j, Scratch& s, int y)
{
    typedef typename Vec<W>::D D;
    typedef typename Vec<W>::F F;
    const int kw = j.k->w;
    const int kh = j.k->h;
    const int ow = j.ow;
    const int slots = kh + 1;
    const std::size_t L = s.rowLen;
    const double* weights = s.weights.get();
    // Ring rows of input rows y .. y+kh (slot arithmetic kept out of the loops).
    const double** rowAt = s.rowAt.get();
    for (int r = 0; r < kh + R - 1; ++r)
        rowAt[r] = s.ring.get() + static_cast<std::size_t>((y + r) % slots) * kChannels * L;
    for (int x0 = 0; x0 < ow; x0 += W * K) {
        D acc[R][kChannels][K];
#pragma GCC unroll 8
        for (int rr = 0; rr < R; ++rr)
#pragma GCC unroll 8
            for (int c = 0; c < kChannels; ++c)
#pragma GCC unroll 8
                for (int q = 0; q < K; ++q)
                    acc[rr][c][q] = D{};
        for (int r = 0; r < kh + R - 1; ++r) {
            const double* src = rowAt[r] + x0;
            if (R == 2 && r > 0 && r < kh) {
                // Window row r of output y and row r-1 of output y+1.
                const double* w0 = weights + static_cast<std::size_t>(r) * kw;
                const double* w1 = weights + static_cast<std::size_t>(r - 1) * kw;
                for (int u = 0; u < kw; ++u) {
                    const double wt0 = w0[u];
                    const double wt1 = w1[u];
#pragma GCC unroll 8
                    for (int c = 0; c < kChannels; ++c) {
#pragma GCC unroll 8
                        for (int q = 0; q < K; ++q) {
                            D in;
                            std::memcpy(&in, src + c * L + u + q * W, sizeof in);
#if defined(__x86_64__) || defined(__i386__)
                            // One load for both rows, not one folded into each multiply.
                            __asm__("" : "+v"(in));
#endif
                            acc[0][c][q] += in * wt0;
                            acc[R - 1][c][q] += in * wt1;
                        }
                    }
                }
            } else {
                // Only one output row's window holds this input row.
                const bool first = r < kh;
                const double* wr = weights + static_cast<std::size_t>(first ? r : r - (R - 1)) * kw;
                for (int u = 0; u < kw; ++u) {
                    const double wt = wr[u];
                    if (first) {
#pragma GCC unroll 8
                        for (int c = 0; c < kChannels; ++c) {
#pragma GCC unroll 8
                            for (int q = 0; q < K; ++q) {
                                D in;
                                std::memcpy(&in, src + c * L + u + q * W, sizeof in);
                                acc[0][c][q] += in * wt;
                            }
                        }
                    } else {
#pragma GCC unroll 8
                        for (int c = 0; c < kChannels; ++c) {
#pragma GCC unroll 8
                            for (int q = 0; q < K; ++q) {
                                D in;
                                std::memcpy(&in, src + c * L + u + q * W, sizeof in);
                                acc[R - 1][c][q] += in * wt;
                            }
                        }
                    }
                }
            }
        }
#pragma GCC unroll 8
        for (int rr = 0; rr < R; ++rr) {
            float* const* maps = s.mapRows[rr];
#pragma GCC unroll 8
            for (int q = 0; q < K; ++q) {
                const F ma = __builtin_convertvector(acc[rr][0][q] * j.scale, F);
                const F mb = __builtin_convertvector(acc[rr][1][q] * j.scale, F);
                F va = __builtin_convertvector(acc[rr][2][q] * j.scale, F);
                F vb = __builtin_convertvector(acc[rr][3][q] * j.scale, F);
                F cov = __builtin_convertvector(acc[rr][4][q] * j.scale, F);
                va -= ma * ma;
                vb -= mb * mb;
                cov -= ma * mb;
                const int x = x0 + q * W;
                std::memcpy(maps[0] + x, &ma, sizeof ma);
                std::memcpy(maps[1] + x, &mb, sizeof mb);
                std::memcpy(maps[2] + x, &va, sizeof va);
                std::memcpy(maps[3] + x, &vb, sizeof vb);
                std::memcpy(maps[4] + x, &cov, sizeof cov);
            }
        }
    }
}

// Terms of one row from its statistics maps.
template <int W>
__attribute__((always_inline)) inline void RowTermsT(const Job& j, float* const* maps, double* terms)
{
    typedef typename Vec<W>::D D;
    typedef typename Vec<W>::F F;
    if (!j.vectorTerms) {
        ScalarTerms(j, maps, terms);
        return;
    }
    const double c1 = j.p.C1;
    const double c2 = j.p.C2;
    const double c3 = j.p.C3;
    for (int x = 0; x < j.ow; x += W) {
        F fa, fb, fva, fvb, fcov;
        std::memcpy(&fa, maps[0] + x, sizeof fa);
        std::memcpy(&fb, maps[1] + x, sizeof fb);
        std::memcpy(&fva, maps[2] + x, sizeof fva);
        std::memcpy(&fvb, maps[3] + x, sizeof fvb);
        std::memcpy(&fcov, maps[4] + x, sizeof fcov);
        fva = fva < F{} ? F{} : fva;
        fvb = fvb < F{} ? F{} : fvb;
        const D da = __builtin_convertvector(fa, D);
        const D db = __builtin_convertvector(fb, D);
        const D dva = __builtin_convertvector(fva, D);
        const D dvb = __builtin_convertvector(fvb, D);
        const D dcov = __builtin_convertvector(fcov, D);
        D root = dva * dvb;
        for (int i = 0; i < W; ++i)
            root[i] = std::sqrt(root[i]);
        const D l = (2.0 * da * db + c1) / (da * da + db * db + c1);
        const D c = (2.0 * root + c2) / (dva + dvb + c2);
        const D t = (dcov + c3) / (root + c3);
        const D term = l * c * t;
        std::memcpy(terms + x, &term, sizeof term);
    }
}

// Output rows [y0, y1): window sums, local statistics and terms, two rows
// at a time. The first block of rows adds its terms straight into *sum;
// the others store them for the ordered sum.
template <int W, int K>
__attribute__((always_inline)) inline void RowsT(const Job& j, Scratch& s, int y0, int y1, double* sum,
                                                 double* termsOut)
{
    const int kh = j.k->h;
    const int ow = j.ow;
    double* terms = s.terms.get();
    for (int r = y0; r < y0 + kh - 1; ++r)
        FillRing(j, s, r);
    for (int y = y0; y < y1;) {
        if ((y - y0) % kCancelRows == 0 && IsCancelled(j.cancel))
            return;
        const int rows = y + 1 < y1 ? 2 : 1;
        for (int r = 0; r < rows; ++r)
            FillRing(j, s, y + kh - 1 + r);
        if (rows == 2)
            WindowRowsT<W, K, 2>(j, s, y);
        else
            WindowRowsT<W, K, 1>(j, s, y);
        for (int rr = 0; rr < rows; ++rr, ++y) {
            RowTermsT<W>(j, s.mapRows[rr], terms);
            if (termsOut) {
                std::memcpy(termsOut + static_cast<std::size_t>(y - y0) * ow, terms, sizeof(double) * ow);
            } else {
                double acc = *sum;
                for (int x = 0; x < ow; ++x)
                    acc += terms[x];
                *sum = acc;
            }
        }
    }
}

void RowsGeneric(const Job& j, Scratch& s, int y0, int y1, double* sum, double* termsOut)
{
    RowsT<2, 1>(j, s, y0, y1, sum, termsOut);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LUMO_IQA_X86 1
__attribute__((target("avx2"))) void RowsAvx2(const Job& j, Scratch& s, int y0, int y1, double* sum,
                                              double* termsOut)
{
    RowsT<4, 1>(j, s, y0, y1, sum, termsOut);
}

__attribute__((target("avx512f"))) void RowsAvx512(const Job& j, Scratch& s, int y0, int y1, double* sum,
                                                   double* termsOut)
{
    RowsT<8, 2>(j, s, y0, y1, sum, termsOut);
}
#endif

typedef void (*RowsFn)(const Job&, Scratch&, int, int, double*, double*);

RowsFn RowsFor(SimdPath path)
{
#ifdef LUMO_IQA_X86
    if (path == SimdPath::Avx512)
        return RowsAvx512;
    if (path == SimdPath::Avx2)
        return RowsAvx2;
#else
    (void)path;
#endif
    return RowsGeneric;
}

bool AllocScratch(Scratch& s, const Job& j)
{
    s.rowLen = static_cast<std::size_t>(j.w) + kMaxBlock + 16;
    s.mapLen = static_cast<std::size_t>(j.ow) + kMaxBlock;
    const std::size_t ringCount = static_cast<std::size_t>(j.k->h + 1) * kChannels * s.rowLen;
    s.ring.reset(new (std::nothrow) double[ringCount]());
    s.maps.reset(new (std::nothrow) float[2 * kChannels * s.mapLen]());
    s.terms.reset(new (std::nothrow) double[s.mapLen]());
    const std::size_t taps = static_cast<std::size_t>(j.k->w) * static_cast<std::size_t>(j.k->h);
    s.weights.reset(new (std::nothrow) double[taps]);
    s.rowAt.reset(new (std::nothrow) const double*[j.k->h + 1]);
    if (!s.ring || !s.maps || !s.terms || !s.weights || !s.rowAt)
        return false;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < kChannels; ++c)
            s.mapRows[r][c] = s.maps.get() + (r * kChannels + c) * s.mapLen;
    for (std::size_t i = 0; i < taps; ++i)
        s.weights[i] = j.k->kernel[i];
    return true;
}

int ThreadCount(const Job& j, int requested)
{
    int n = requested;
    if (n <= 0) {
        const double positions = static_cast<double>(j.ow) * j.oh;
        if (positions < 65536.0)
            return 1;
        n = static_cast<int>(std::thread::hardware_concurrency());
        n = std::min(std::max(n, 1), 8);
    }
    // Every block of rows refills kh - 1 rows of its ring; keep blocks tall.
    return std::max(1, std::min(n, j.oh / 16));
}

} // namespace

bool SimdPathAvailable(SimdPath path)
{
#ifdef LUMO_IQA_X86
    __builtin_cpu_init(); // safe even before static constructors have run
#endif
    switch (path) {
    case SimdPath::Generic:
        return true;
#ifdef LUMO_IQA_X86
    case SimdPath::Avx2:
        return __builtin_cpu_supports("avx2");
    case SimdPath::Avx512:
        return __builtin_cpu_supports("avx512f");
#endif
    default:
        return false;
    }
}

SimdPath BestSimdPath()
{
    if (SimdPathAvailable(SimdPath::Avx512))
        return SimdPath::Avx512;
    if (SimdPathAvailable(SimdPath::Avx2))
        return SimdPath::Avx2;
    return SimdPath::Generic;
}

namespace {

float RunCore(Job& j, int w, int h, const filter_kernel* k, const SsimParams& p, SimdPath path, int threads,
              double* termSum)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    if (!k || !k->kernel || k->w <= 0 || k->h <= 0 || w <= 0 || h <= 0)
        return nan;
    j.w = w;
    j.h = h;
    j.k = k;
    j.p = p;
    j.ow = w - k->w + 1;
    j.oh = h - k->h + 1;
    if (j.ow <= 0 || j.oh <= 0)
        return nan;
    j.scale = convolve_valid(nullptr, w, h, k, nullptr, nullptr, nullptr);
    j.vectorTerms = p.withOptions && p.alpha == 1.0f && p.beta == 1.0f && p.gamma == 1.0f && p.C1 != 0 &&
                    p.C2 != 0 && p.C3 != 0;
    while (!SimdPathAvailable(path))
        path = path == SimdPath::Avx512 ? SimdPath::Avx2 : SimdPath::Generic;
    const RowsFn rows = RowsFor(path);
    const float inf = std::numeric_limits<float>::infinity();

    j.cancel = CurrentCancel();
    // Helpers only as far as the process's budget lets.
    const int wanted = ThreadCount(j, threads);
    const BudgetSlots helpers(wanted - 1);
    const int n = 1 + helpers.Count();
    std::vector<int> bounds(n + 1);
    for (int t = 0; t <= n; ++t)
        bounds[t] = static_cast<int>(static_cast<long long>(j.oh) * t / n);
    std::vector<Scratch> scratch(n);
    for (auto& s : scratch) {
        if (!AllocScratch(s, j))
            return inf;
    }
    // Terms of every block but the first wait here for the ordered sum.
    std::unique_ptr<double[]> later;
    if (n > 1) {
        const std::size_t count = static_cast<std::size_t>(j.oh - bounds[1]) * j.ow;
        later.reset(new (std::nothrow) double[count]);
        if (!later)
            return inf;
    }
    auto termsOf = [&](int t) {
        return later.get() + static_cast<std::size_t>(bounds[t] - bounds[1]) * j.ow;
    };

    double sum = 0.0;
    std::vector<std::thread> pool;
    std::vector<int> inline_blocks;
    for (int t = 1; t < n; ++t) {
        try {
            pool.emplace_back(rows, std::cref(j), std::ref(scratch[t]), bounds[t], bounds[t + 1], nullptr,
                              termsOf(t));
        } catch (...) {
            inline_blocks.push_back(t);
        }
    }
    rows(j, scratch[0], bounds[0], bounds[1], &sum, nullptr);
    for (int t : inline_blocks)
        rows(j, scratch[t], bounds[t], bounds[t + 1], nullptr, termsOf(t));
    for (auto& th : pool)
        th.join();
    if (IsCancelled(j.cancel))
        return inf;
    if (n > 1) {
        const std::size_t count = static_cast<std::size_t>(j.oh - bounds[1]) * j.ow;
        const double* tp = later.get();
        for (std::size_t i = 0; i < count; ++i)
            sum += tp[i];
    }
    if (termSum)
        *termSum = sum;
    return static_cast<float>(sum / (static_cast<double>(j.ow) * j.oh));
}

} // namespace

float SsimCore(const float* a, const float* b, int w, int h, const filter_kernel* k, const SsimParams& p,
               SimdPath path, int threads, double* termSum)
{
    if (!a || !b)
        return std::numeric_limits<float>::quiet_NaN();
    Job j{};
    j.a = a;
    j.b = b;
    return RunCore(j, w, h, k, p, path, threads, termSum);
}

float SsimCoreBytes(const uint8_t* a, const uint8_t* b, int w, int h, int stride, const filter_kernel* k,
                    const SsimParams& p, SimdPath path, int threads, double* termSum)
{
    if (!a || !b || stride < w)
        return std::numeric_limits<float>::quiet_NaN();
    Job j{};
    j.a8 = a;
    j.b8 = b;
    j.stride = stride;
    return RunCore(j, w, h, k, p, path, threads, termSum);
}

float SsimCoreWords(const uint16_t* a, const uint16_t* b, int w, int h, int stride, const filter_kernel* k,
                    const SsimParams& p, SimdPath path, int threads, double* termSum)
{
    if (!a || !b || stride < w)
        return std::numeric_limits<float>::quiet_NaN();
    Job j{};
    j.a16 = a;
    j.b16 = b;
    j.stride = stride;
    return RunCore(j, w, h, k, p, path, threads, termSum);
}

} // namespace iqa_detail
} // namespace lumo
