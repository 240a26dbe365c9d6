#include "yuv/LumoYuvReader.h"
#include "iqa/RedPlane.h"
#include "iqa/Ssim.h"
#include "iqa/SsimCore.h"
#include "SsimOracle.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using lumo::iqa_detail::SimdPath;

uint32_t Bits(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

uint64_t DoubleBits(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

double Ssim(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, int h, int code = 0)
{
    return lumo::LumoYuvReader().ComputeSsimGray(a.data(), b.data(), w, h, code);
}

const ssim_options kMetricOptions = {1.0f, 1.0f, 1.0f, 255, 0.01f, 0.03f, 1};
const lumo::iqa_detail::SsimParams kMetricParams = {true, 1.0f, 1.0f, 1.0f, (0.01f * 255) * (0.01f * 255),
                                                    (0.03f * 255) * (0.03f * 255),
                                                    (0.03f * 255) * (0.03f * 255) / 2.0f};

TEST(SsimGray, IdenticalFramesGiveOne)
{
    for (int code : {0, 1, 2}) {
        const auto f = frames::Scene(64, 48, 3);
        EXPECT_NEAR(Ssim(f, f, 64, 48, code), 1.0, 1e-6);
    }
}

TEST(SsimGray, TooSmallForTheWindowIsNaN)
{
    const struct {
        int w, h;
    } sizes[] = {{10, 10}, {10, 40}, {40, 10}, {1, 1}, {1, 30}, {30, 1}};
    for (const auto& s : sizes) {
        const auto a = frames::Random(s.w, s.h, 1);
        const auto b = frames::Random(s.w, s.h, 2);
        EXPECT_TRUE(std::isnan(Ssim(a, b, s.w, s.h))) << s.w << "x" << s.h;
    }
    EXPECT_TRUE(std::isnan(ssim_index(nullptr, nullptr, 20, 20, 20, 1, nullptr)));
    std::vector<uint8_t> plane(7 * 7, 9);
    EXPECT_TRUE(std::isnan(ssim_index(plane.data(), plane.data(), 7, 7, 7, 0, nullptr)));
}

TEST(SsimGray, ElevenByElevenIsTheSingleWindowPosition)
{
    const auto a = frames::Random(11, 11, 5);
    const auto b = frames::Random(11, 11, 6);
    // The one position's term, from the Gaussian-weighted statistics.
    std::vector<uint8_t> ra(121), rb(121);
    lumo::I420RedPlane(a.data(), 11, 11, 0, ra.data());
    lumo::I420RedPlane(b.data(), 11, 11, 0, rb.data());
    const float* g = lumo::GaussianWindow().kernel;
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int i = 0; i < 121; ++i) {
        sa += double(ra[i]) * g[i];
        sb += double(rb[i]) * g[i];
        saa += double(float(ra[i]) * float(ra[i])) * g[i];
        sbb += double(float(rb[i]) * float(rb[i])) * g[i];
        sab += double(float(ra[i]) * float(rb[i])) * g[i];
    }
    const double ma = float(sa), mb = float(sb);
    const double va = float(float(saa) - float(ma * ma)), vb = float(float(sbb) - float(mb * mb));
    const double cov = float(float(sab) - float(ma * mb));
    const double c1 = 6.5025f, c2 = 58.5225f, c3 = 29.26125f;
    const double root = std::sqrt(std::max(va, 0.0) * std::max(vb, 0.0));
    const double expect = (2 * ma * mb + c1) / (ma * ma + mb * mb + c1) * ((2 * root + c2) / (va + vb + c2)) *
                          ((cov + c3) / (root + c3));
    EXPECT_NEAR(Ssim(a, b, 11, 11), expect, 1e-6);
    EXPECT_EQ(Bits(static_cast<float>(Ssim(a, b, 11, 11))), Bits(static_cast<float>(oracle::SsimGray(a.data(), b.data(), 11, 11, 0))));
}

TEST(SsimGray, MatchesOracleBitForBit)
{
    struct Pair {
        int w, h;
        bool scene;
    };
    std::vector<Pair> pairs;
    for (int w : {11, 12, 13, 14, 16, 17, 19, 21, 24, 33})
        for (int h : {11, 12, 13, 15, 20})
            pairs.push_back({w, h, false});
    for (const auto& s : std::vector<Pair>{{64, 48, true}, {97, 61, true}, {176, 144, true}, {352, 288, true},
                                           {353, 289, true}, {300, 11, true}, {11, 300, false}, {255, 257, false}})
        pairs.push_back(s);
    unsigned seed = 1;
    for (const auto& p : pairs) {
        for (int code : {0, 1, 2}) {
            // Large frames once each, with a code that varies between them.
            if (p.w * p.h > 20000 && code != static_cast<int>(seed % 3))
                continue;
            std::vector<uint8_t> a, b;
            if (p.scene) {
                a = frames::Scene(p.w, p.h, seed, 0, 0);
                b = frames::Scene(p.w, p.h, seed, 1 + code, 4);
            } else {
                a = frames::Random(p.w, p.h, seed);
                b = frames::Random(p.w, p.h, seed + 1000);
            }
            ++seed;
            const float fast = static_cast<float>(Ssim(a, b, p.w, p.h, code));
            const float slow = static_cast<float>(oracle::SsimGray(a.data(), b.data(), p.w, p.h, code));
            ASSERT_EQ(Bits(fast), Bits(slow)) << p.w << "x" << p.h << " code " << code << ": " << fast << " vs "
                                              << slow;
            EXPECT_GT(fast, -1.0f);
            EXPECT_LE(fast, 1.0f);

            // And the double sum of the terms, which the float result rounds away.
            std::vector<uint8_t> ra(p.w * p.h), rb(p.w * p.h);
            lumo::I420RedPlane(a.data(), p.w, p.h, code, ra.data());
            lumo::I420RedPlane(b.data(), p.w, p.h, code, rb.data());
            std::vector<float> fa(ra.begin(), ra.end()), fb(rb.begin(), rb.end());
            double fastSum = -1, slowSum = -2;
            lumo::iqa_detail::SsimCoreBytes(ra.data(), rb.data(), p.w, p.h, p.w, &lumo::GaussianWindow(),
                                            kMetricParams, lumo::iqa_detail::BestSimdPath(), 0, &fastSum);
            oracle::SsimCore(fa.data(), fb.data(), p.w, p.h, lumo::GaussianWindow(), &kMetricOptions, &slowSum);
            ASSERT_EQ(DoubleBits(fastSum), DoubleBits(slowSum)) << p.w << "x" << p.h << " code " << code;
        }
    }
}

TEST(SsimCore, EveryPathAndThreadCountGivesTheSameBits)
{
    const struct {
        int w, h;
    } sizes[] = {{11, 11}, {13, 40}, {45, 27}, {130, 77}, {64, 30}};
    for (const auto& s : sizes) {
        // Real-looking and random pairs.
        const bool random = s.w % 2 == 1;
        const auto fa = random ? frames::Random(s.w, s.h, 12) : frames::Scene(s.w, s.h, 11, 0, 0);
        const auto fb = random ? frames::Random(s.w, s.h, 13) : frames::Scene(s.w, s.h, 11, 2, 6);
        std::vector<float> a(s.w * s.h), b(s.w * s.h);
        for (int i = 0; i < s.w * s.h; ++i) {
            a[i] = fa[i];
            b[i] = fb[i];
        }
        for (int gaussian : {1, 0}) {
            const filter_kernel& k = gaussian ? lumo::GaussianWindow() : lumo::SquareWindow();
            for (const ssim_options* opts : {&kMetricOptions, static_cast<const ssim_options*>(nullptr)}) {
                double expectSum = 0;
                const float expect = oracle::SsimCore(a.data(), b.data(), s.w, s.h, k, opts, &expectSum);
                lumo::iqa_detail::SsimParams p;
                p.withOptions = opts != nullptr;
                p.alpha = p.beta = p.gamma = 1.0f;
                p.C1 = (0.01f * 255) * (0.01f * 255);
                p.C2 = (0.03f * 255) * (0.03f * 255);
                p.C3 = p.C2 / 2.0f;
                for (SimdPath path : {SimdPath::Generic, SimdPath::Avx2, SimdPath::Avx512}) {
                    if (!lumo::iqa_detail::SimdPathAvailable(path))
                        continue;
                    for (int threads : {1, 2, 7}) {
                        // The double sum of the terms too: the float result alone would hide
                        // differences in the last bits of the terms.
                        double sum = -1, bytesSum = -1;
                        const float got =
                            lumo::iqa_detail::SsimCore(a.data(), b.data(), s.w, s.h, &k, p, path, threads, &sum);
                        ASSERT_EQ(Bits(got), Bits(expect))
                            << s.w << "x" << s.h << " gaussian " << gaussian << " opts " << (opts != nullptr)
                            << " path " << int(path) << " threads " << threads;
                        ASSERT_EQ(DoubleBits(sum), DoubleBits(expectSum)) << sum << " vs " << expectSum;
                        const float bytes = lumo::iqa_detail::SsimCoreBytes(fa.data(), fb.data(), s.w, s.h, s.w, &k,
                                                                            p, path, threads, &bytesSum);
                        ASSERT_EQ(Bits(bytes), Bits(expect)) << "bytes " << s.w << "x" << s.h;
                        ASSERT_EQ(DoubleBits(bytesSum), DoubleBits(expectSum));
                    }
                }
            }
        }
    }
}

TEST(SsimIndex, OptionsScalesAndStridesMatchOracle)
{
    std::mt19937 rng(3);
    const ssim_options shaped = {0.5f, 2.0f, 1.5f, 255, 0.01f, 0.03f, 1};
    const ssim_options noC = {1.0f, 1.0f, 1.0f, 255, 0.0f, 0.0f, 1};
    const ssim_options scale3 = {1.0f, 1.0f, 1.0f, 255, 0.01f, 0.03f, 3};
    const struct {
        int w, h, stride, gaussian;
        const ssim_options* opts;
    } cases[] = {
        {40, 30, 40, 1, &shaped},   {40, 30, 45, 0, &shaped},  {33, 29, 33, 1, &noC},
        {64, 64, 70, 1, &scale3},   {65, 50, 65, 0, &scale3},  {600, 390, 600, 1, nullptr}, // automatic scale 2
        {385, 500, 390, 0, nullptr}, {100, 90, 100, 1, nullptr},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> a(c.stride * c.h), b(c.stride * c.h);
        for (size_t i = 0; i < a.size(); ++i) {
            a[i] = static_cast<uint8_t>(128 + 60 * std::sin(i * 0.01) + rng() % 16);
            b[i] = static_cast<uint8_t>(a[i] ^ (rng() % 8));
        }
        // Flat patches make variances of exactly 0 (the special cases).
        std::fill(a.begin(), a.begin() + c.stride * 12, 77);
        std::fill(b.begin(), b.begin() + c.stride * 12, 77);
        const float fast = ssim_index(a.data(), b.data(), c.w, c.h, c.stride, c.gaussian, c.opts);
        const float slow = oracle::SsimIndex(a.data(), b.data(), c.w, c.h, c.stride, c.gaussian, c.opts);
        EXPECT_EQ(Bits(fast), Bits(slow)) << c.w << "x" << c.h << " " << fast << " vs " << slow;
        EXPECT_FALSE(std::isnan(fast));
    }
}

TEST(SsimIndex, GivenFactorIsTakenAsItIs)
{
    // 400 x 400 would be decimated by 2 automatically; a factor below 2,
    // negative ones too, keeps the full size; only 0 asks for the automatic one.
    const int w = 400, h = 400;
    std::mt19937 rng(21);
    std::vector<uint8_t> a(w * h), b(w * h);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = static_cast<uint8_t>(128 + 90 * std::sin(i * 0.37) + rng() % 32);
        b[i] = static_cast<uint8_t>(a[i] ^ (rng() % 64));
    }
    auto with = [&](int f) {
        const ssim_options o = {1.0f, 1.0f, 1.0f, 255, 0.01f, 0.03f, f};
        return ssim_index(a.data(), b.data(), w, h, w, 1, &o);
    };
    const float full = with(1);
    const float automatic = with(0);
    EXPECT_NE(Bits(full), Bits(automatic));
    EXPECT_EQ(Bits(automatic), Bits(with(2)));
    for (int f : {-1, -2, -1000})
        EXPECT_EQ(Bits(with(f)), Bits(full)) << f;
}

TEST(RedPlane, FormulaAndClamping)
{
    // 2x2 frame: one chroma sample.
    const struct {
        int code;
        uint8_t y, v, red;
    } cases[] = {
        {0, 100, 228, 255}, // 259.6 clamped
        {0, 10, 0, 0},      // below 0
        {0, 100, 130, 103}, // 100 + 3.192
        {1, 100, 130, 102}, // 100 + 2.8044
        {2, 100, 130, 103}, // 100 + 3.586
        {2, 100, 126, 96},  // 100 - 3.586 = 96.4
        {0, 200, 100, 155}, // 200 - 44.688 = 155.3
        {7, 100, 130, 103}, // unknown code: BT.601 video
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> f = {c.y, c.y, c.y, c.y, 50, c.v};
        uint8_t out[4] = {};
        lumo::I420RedPlane(f.data(), 2, 2, c.code, out);
        for (uint8_t r : out)
            EXPECT_EQ(r, c.red) << "code " << c.code << " y " << int(c.y) << " v " << int(c.v);
    }
}

TEST(RedPlane, NeutralChromaGivesLuma)
{
    for (int code : {0, 1, 2}) {
        auto f = frames::Random(31, 17, 9);
        const size_t n = 31 * 17;
        std::fill(f.begin() + n, f.end(), 128);
        std::vector<uint8_t> red(n);
        lumo::I420RedPlane(f.data(), 31, 17, code, red.data());
        EXPECT_TRUE(std::equal(red.begin(), red.end(), f.begin()));
    }
}

TEST(RedPlane, OddSizesTakeTheirOwnChromaSample)
{
    // 5x3: chroma 3x2 (rounded up), U at 15, V at 21. Column 4 and row 2
    // have chroma samples of their own.
    const int w = 5, h = 3, n = w * h;
    ASSERT_EQ(frames::I420Size(w, h), 27u);
    std::vector<uint8_t> f(frames::I420Size(w, h), 1); // U 1
    std::fill(f.begin(), f.begin() + n, 100);
    const uint8_t v[6] = {140, 100, 128, 160, 160, 160};
    std::copy(v, v + 6, f.begin() + 21);
    std::vector<uint8_t> red(n);
    lumo::I420RedPlane(f.data(), w, h, 0, red.data());
    // 100 + 1.596 * (V - 128), truncated: 140 -> 119, 100 -> 55, 128 -> 100, 160 -> 151.
    const uint8_t expect[3][5] = {{119, 119, 55, 55, 100}, {119, 119, 55, 55, 100}, {151, 151, 151, 151, 151}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(red[y * w + x], expect[y][x]) << x << "," << y;
    // 1x1: one sample of each plane, Y 100, U 1, V 140.
    const uint8_t one[3] = {100, 1, 140};
    uint8_t r = 0;
    lumo::I420RedPlane(one, 1, 1, 0, &r);
    EXPECT_EQ(r, 119);
    // Every odd size agrees with the pixel-by-pixel form.
    for (int ww : {1, 2, 3, 7, 12})
        for (int hh : {1, 2, 5, 6}) {
            const auto q = frames::Random(ww, hh, ww * 31 + hh);
            std::vector<uint8_t> r1(ww * hh), r2(ww * hh);
            lumo::I420RedPlane(q.data(), ww, hh, 1, r1.data());
            oracle::RedPlane(q.data(), ww, hh, 1, r2.data());
            EXPECT_EQ(r1, r2) << ww << "x" << hh;
        }
}

} // namespace
