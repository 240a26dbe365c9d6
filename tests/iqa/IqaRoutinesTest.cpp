#include "iqa/Convolve.h"
#include "iqa/IqaMath.h"
#include "SsimOracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

TEST(IqaMath, RoundHalfUpAndNegativesTruncate)
{
    const struct {
        float in;
        int out;
    } cases[] = {{2.5f, 3}, {2.4f, 2}, {-2.5f, -2}, {-2.6f, -2}, {0.5f, 1}, {0.0f, 0}, {7.0f, 7}, {1e12f, 2147483647}};
    for (const auto& c : cases)
        EXPECT_EQ(_round(c.in), c.out) << c.in;
}

TEST(IqaMath, MaxMin)
{
    EXPECT_EQ(_max(3, -4), 3);
    EXPECT_EQ(_max(-5, -4), -4);
    EXPECT_EQ(_min(3, -4), -4);
    EXPECT_EQ(_min(2, 2), 2);
}

TEST(IqaMath, CmpFloatAtDecimalPlaces)
{
    const struct {
        float a, b;
        int digits;
        int differ;
    } cases[] = {
        {1.231f, 1.234f, 2, 0}, {1.231f, 1.234f, 3, 1}, {1.0f, 1.0f, 6, 0},
        {1.25f, 1.24f, 1, 1},   // 12.5 rounds up to 13, 12.4 down to 12
        {-1.25f, -1.24f, 1, 0}, // negative values truncate: both -12
        {0.4f, 0.6f, 0, 1},     {1e30f, 1e30f, 6, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(_cmp_float(c.a, c.b, c.digits), c.differ) << c.a << " " << c.b << " " << c.digits;
}

TEST(IqaMath, MatrixCmpStopsAtFirstDifference)
{
    std::vector<float> a = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f};
    std::vector<float> b = a;
    EXPECT_EQ(_matrix_cmp(a.data(), b.data(), 3, 2, 3), 0);
    b[5] = 6.001f;
    EXPECT_EQ(_matrix_cmp(a.data(), b.data(), 3, 2, 2), 0);
    EXPECT_EQ(_matrix_cmp(a.data(), b.data(), 3, 2, 3), 1);
    EXPECT_EQ(_matrix_cmp(a.data(), b.data(), 3, 1, 3), 0); // only the first row compared
}

TEST(IqaWindows, GaussianWeights)
{
    const filter_kernel& g = lumo::GaussianWindow();
    ASSERT_EQ(g.w, 11);
    ASSERT_EQ(g.h, 11);
    EXPECT_TRUE(g.normalized);
    EXPECT_EQ(g.bnd_opt, &boundary_symmetric);
    const float centreRow[11] = {0.000274f, 0.002021f, 0.009577f, 0.029091f, 0.056662f, 0.070762f,
                                 0.056662f, 0.029091f, 0.009577f, 0.002021f, 0.000274f};
    double sum = 0.0;
    double expSum = 0.0;
    for (int i = 0; i < 121; ++i)
        expSum += std::exp(-((i % 11 - 5) * (i % 11 - 5) + (i / 11 - 5) * (i / 11 - 5)) / (2 * 1.5 * 1.5));
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 11; ++x) {
            const float wgt = g.kernel[y * 11 + x];
            sum += wgt;
            const double exact = std::exp(-((x - 5) * (x - 5) + (y - 5) * (y - 5)) / (2 * 1.5 * 1.5)) / expSum;
            EXPECT_EQ(wgt, static_cast<float>(std::round(exact * 1e6) / 1e6)) << x << "," << y;
            EXPECT_EQ(wgt, g.kernel[x * 11 + y]);
        }
    for (int x = 0; x < 11; ++x)
        EXPECT_EQ(g.kernel[5 * 11 + x], centreRow[x]);
    EXPECT_EQ(g.kernel[0], 0.000001f);
    EXPECT_NEAR(sum, 0.999998, 1e-7);
}

TEST(IqaWindows, SquareWindow)
{
    const filter_kernel& s = lumo::SquareWindow();
    ASSERT_EQ(s.w, 8);
    ASSERT_EQ(s.h, 8);
    EXPECT_TRUE(s.normalized);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(s.kernel[i], 0.015625f);
}

TEST(IqaConvolve, MatchesDirectLoopAndHandlesEveryWindowShape)
{
    std::mt19937 rng(7);
    const float odd[6] = {1, 2, 3, 4, 5, 6}; // 3x2, not normalised: scaled by 1/21
    const filter_kernel shapes[] = {
        lumo::GaussianWindow(),
        lumo::SquareWindow(),
        {odd, 3, 2, 0, boundary_symmetric, 0.0f},
    };
    for (const auto& k : shapes) {
        for (int w : {k.w, k.w + 1, 23}) {
            for (int h : {k.h, 17}) {
                std::vector<float> img(w * h);
                for (auto& v : img)
                    v = static_cast<float>(rng() % 256);
                const int ow = w - k.w + 1, oh = h - k.h + 1;
                std::vector<float> expect(ow * oh), out(ow * oh, -1.0f);
                oracle::ConvolveValid(img.data(), w, h, k, expect.data());
                int rw = 0, rh = 0;
                const float scale = convolve_valid(img.data(), w, h, &k, out.data(), &rw, &rh);
                EXPECT_EQ(rw, ow);
                EXPECT_EQ(rh, oh);
                EXPECT_EQ(scale, k.normalized ? 1.0f : static_cast<float>(1.0 / 21.0));
                EXPECT_EQ(out, expect);
                // In place gives the same samples at the front of the image.
                convolve_valid(img.data(), w, h, &k, nullptr, nullptr, nullptr);
                EXPECT_EQ(std::vector<float>(img.begin(), img.begin() + ow * oh), expect);
            }
        }
    }
}

TEST(IqaConvolve, ImageSmallerThanWindowWritesNothing)
{
    std::vector<float> img(10 * 30, 5.0f), out(300, -1.0f);
    int rw = 99, rh = 99;
    convolve_valid(img.data(), 10, 30, &lumo::GaussianWindow(), out.data(), &rw, &rh);
    EXPECT_EQ(rw, 0);
    EXPECT_EQ(rh, 20);
    EXPECT_EQ(out, std::vector<float>(300, -1.0f));
    convolve_valid(img.data(), 3, 3, &lumo::GaussianWindow(), nullptr, &rw, &rh);
    EXPECT_EQ(rw, -7);
    EXPECT_EQ(img, std::vector<float>(300, 5.0f));
}

TEST(IqaBoundary, SymmetricMirrorsAndStaysInside)
{
    // 3x2 image: row 0 = 0 1 2, row 1 = 10 11 12.
    const float img[6] = {0, 1, 2, 10, 11, 12};
    const struct {
        int x, y;
        float v;
    } cases[] = {{-1, 0, 0}, {-2, 0, 1}, {3, 0, 2}, {4, 0, 1}, {0, -1, 0}, {0, 2, 10}, {0, -2, 10},
                 {1, 3, 1},  {-3, 0, 2}, {-4, 0, 2}, {6, 0, 0}, {-7, -5, 0}, {100, 1, 11}};
    for (const auto& c : cases)
        EXPECT_EQ(boundary_symmetric(img, 3, 2, c.x, c.y, 99.0f), c.v) << c.x << "," << c.y;
}

TEST(IqaFilterPixel, EdgesUseBoundaryRule)
{
    std::vector<float> img(5 * 5);
    for (int i = 0; i < 25; ++i)
        img[i] = static_cast<float>(i);
    const float box[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const filter_kernel k = {box, 3, 3, 0, boundary_symmetric, 0.0f};
    // Centre: plain sum of the 3x3 block around (2, 2).
    EXPECT_EQ(filter_pixel(img.data(), 5, 5, 2, 2, &k, 1.0f), 6 + 7 + 8 + 11 + 12 + 13 + 16 + 17 + 18);
    // Corner (0, 0): mirrored rows/columns -1 -> 0.
    EXPECT_EQ(filter_pixel(img.data(), 5, 5, 0, 0, &k, 0.5f), 0.5f * (0 + 0 + 1 + 0 + 0 + 1 + 5 + 5 + 6));
    EXPECT_EQ(filter_pixel(img.data(), 5, 5, 3, 4, nullptr, 1.0f), 23.0f);
}

TEST(IqaDecimate, SizesAndSamples)
{
    const struct {
        int w, h, f, dw, dh;
    } cases[] = {{1001, 600, 4, 251, 150}, {640, 480, 2, 320, 240}, {9, 9, 3, 4, 4}, {1, 1, 4, 1, 1}};
    for (const auto& c : cases) {
        std::vector<float> img(c.w * c.h);
        for (int i = 0; i < c.w * c.h; ++i)
            img[i] = static_cast<float>(i % 251);
        std::vector<float> low(c.f * c.f, 1.0f / (c.f * c.f));
        const filter_kernel k = {low.data(), c.f, c.f, 0, boundary_symmetric, 0.0f};
        std::vector<float> out(c.dw * c.dh);
        int dw = 0, dh = 0;
        ASSERT_EQ(decimate(img.data(), c.w, c.h, c.f, &k, out.data(), &dw, &dh), 0);
        EXPECT_EQ(dw, c.dw);
        EXPECT_EQ(dh, c.dh);
        for (int y = 0; y < c.dh; ++y)
            for (int x = 0; x < c.dw; ++x)
                ASSERT_EQ(out[y * c.dw + x], filter_pixel(img.data(), c.w, c.h, x * c.f, y * c.f, &k, 1.0f));
        // In place leaves the same samples at the front.
        ASSERT_EQ(decimate(img.data(), c.w, c.h, c.f, &k, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(std::vector<float>(img.begin(), img.begin() + c.dw * c.dh), out);
    }
}

TEST(IqaDecimate, RejectsBadFactorAndGrowingInPlace)
{
    std::vector<float> img(9, 1.0f);
    const float one = 1.0f;
    const filter_kernel k = {&one, 1, 1, 0, boundary_symmetric, 0.0f};
    EXPECT_EQ(decimate(img.data(), 3, 3, 0, &k, nullptr, nullptr, nullptr), -1);
    // Factor 1 on an odd size would give 4x4 samples from a 3x3 image.
    EXPECT_EQ(decimate(img.data(), 3, 3, 1, &k, nullptr, nullptr, nullptr), -1);
}

} // namespace
