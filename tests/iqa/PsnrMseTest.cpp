#include "yuv/LumoYuvReader.h"
#include "iqa/PsnrMse.h"
#include "SsimOracle.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Result {
    double psnr[3];
    double mse[3];
};

Result Measure(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, int h)
{
    Result r{};
    const double* ret = lumo::LumoYuvReader().ComputePsnrMse(r.psnr, a.data(), b.data(), w, h, r.mse);
    EXPECT_EQ(ret, r.psnr);
    return r;
}

TEST(PsnrMse, IdenticalFrames)
{
    const auto f = frames::Random(64, 32, 1);
    const Result r = Measure(f, f, 64, 32);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(r.mse[p], 0.0);
        EXPECT_EQ(r.psnr[p], 999.99);
    }
}

TEST(PsnrMse, BlackAgainstWhite)
{
    const Result r = Measure(frames::Filled(16, 8, 0), frames::Filled(16, 8, 255), 16, 8);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(r.mse[p], 65025.0);
        EXPECT_EQ(r.psnr[p], 0.0);
    }
}

TEST(PsnrMse, DifferenceOfOneInLumaOnly)
{
    auto a = frames::Random(40, 20, 2);
    auto b = a;
    for (int i = 0; i < 40 * 20; ++i)
        b[i] = static_cast<uint8_t>(a[i] < 255 ? a[i] + 1 : a[i] - 1);
    const Result r = Measure(a, b, 40, 20);
    EXPECT_EQ(r.mse[0], 1.0);
    EXPECT_DOUBLE_EQ(r.psnr[0], 10.0 * std::log10(65025.0));
    EXPECT_NEAR(r.psnr[0], 48.1308, 1e-4);
    EXPECT_EQ(r.psnr[1], 999.99);
    EXPECT_EQ(r.psnr[2], 999.99);
}

// A width or height of 1 still has chroma planes (rounded up, as FFmpeg
// lays them out): every plane is measured.
TEST(PsnrMse, ThinFramesMeasureTheirChroma)
{
    for (const auto& s : {std::pair<int, int>{1, 9}, std::pair<int, int>{9, 1}, std::pair<int, int>{1, 1}}) {
        const auto a = frames::Random(s.first, s.second, 3);
        const auto b = frames::Random(s.first, s.second, 4);
        const Result r = Measure(a, b, s.first, s.second);
        Result o{};
        oracle::PsnrMse(a.data(), b.data(), s.first, s.second, o.psnr, o.mse);
        for (int p = 0; p < 3; ++p) {
            EXPECT_FALSE(std::isnan(r.mse[p]));
            EXPECT_EQ(r.mse[p], o.mse[p]) << s.first << "x" << s.second << " plane " << p;
        }
    }
    Result r{};
    lumo::LumoYuvReader().ComputePsnrMse(r.psnr, nullptr, nullptr, 8, 8, r.mse);
    EXPECT_TRUE(std::isnan(r.mse[0]) && std::isnan(r.psnr[2]));
}

TEST(PsnrMse, OddSizesReadVAtItsI420Offset)
{
    // Frames of exactly the I420 size each, chroma rounded up (ASan catches
    // any read past them); V differs from U so a walk that takes V at the
    // wrong place would give other numbers.
    for (int w : {3, 5, 7, 33})
        for (int h : {3, 4, 9, 17}) {
            const auto a = frames::Random(w, h, w * 100 + h);
            auto b = a;
            const int n = w * h, cn = static_cast<int>(frames::ChromaSize(w, h));
            for (int i = 0; i < cn; ++i)
                b[n + cn + i] = static_cast<uint8_t>(a[n + cn + i] ^ 0x10);
            const Result r = Measure(a, b, w, h);
            Result o{};
            oracle::PsnrMse(a.data(), b.data(), w, h, o.psnr, o.mse);
            for (int p = 0; p < 3; ++p) {
                EXPECT_EQ(r.mse[p], o.mse[p]) << w << "x" << h << " plane " << p;
                EXPECT_EQ(r.psnr[p], o.psnr[p]);
            }
            EXPECT_EQ(r.mse[1], 0.0);
            EXPECT_EQ(r.mse[2], 256.0);
        }
}

TEST(PsnrMse, MatchesDirectSumOnManyLengths)
{
    std::mt19937 rng(5);
    // Lengths around the vector widths and past the partial-sum flush.
    for (size_t n : {size_t(0), size_t(1), size_t(15), size_t(16), size_t(31), size_t(33), size_t(1000),
                     size_t(4096 * 32 + 17), size_t(3 * 4096 * 32 + 5)}) {
        std::vector<uint8_t> a(n), b(n);
        uint64_t expect = 0;
        for (size_t i = 0; i < n; ++i) {
            a[i] = static_cast<uint8_t>(rng());
            b[i] = (i % 3) ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(255 - a[i]);
            const int d = a[i] - b[i];
            expect += d * d;
        }
        EXPECT_EQ(lumo::SumSquaredDiff(a.data(), b.data(), n), expect) << n;
    }
    // Worst case for the 32-bit partial sums: every difference 255.
    std::vector<uint8_t> z(200000, 0), f(200000, 255);
    EXPECT_EQ(lumo::SumSquaredDiff(z.data(), f.data(), z.size()), 200000ull * 65025ull);
}

TEST(PsnrMse, RealLookingFramesMatchOracle)
{
    for (const auto& s : {std::pair<int, int>{352, 288}, std::pair<int, int>{177, 99}}) {
        const auto a = frames::Scene(s.first, s.second, 8, 0, 0);
        const auto b = frames::Scene(s.first, s.second, 8, 1, 5);
        const Result r = Measure(a, b, s.first, s.second);
        Result o{};
        oracle::PsnrMse(a.data(), b.data(), s.first, s.second, o.psnr, o.mse);
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(r.mse[p], o.mse[p]);
            EXPECT_EQ(r.psnr[p], o.psnr[p]);
        }
    }
}

} // namespace
