#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "yuv/YuvColorMatrix.h"
#include "yuv/YuvConvert.h"

// Every (Y, U, V) triple through every RGB path, byte for byte against the
// double formula. One frame of 256 x 256 pixels (all U, V) per Y value.
TEST(YuvRgbExact, EveryInputMatchesTheDoubleFormula)
{
    const int n = 256 * 256;
    std::vector<uint8_t> planes(3 * n), rgb(3 * n), want(3 * n);
    for (int i = 0; i < n; ++i) {
        planes[n + i] = static_cast<uint8_t>(i >> 8);
        planes[2 * n + i] = static_cast<uint8_t>(i & 0xff);
    }
    const lumo::ConvertPath paths[] = {lumo::ConvertPath::Sse2, lumo::ConvertPath::Avx2};
    for (int y = 0; y < 256; ++y) {
        std::fill(planes.begin(), planes.begin() + n, static_cast<uint8_t>(y));
        for (int i = 0; i < n; ++i)
            lumo::YuvToRgbPixel(y, planes[n + i], planes[2 * n + i], &want[3 * i]);
        for (lumo::ConvertPath path : paths) {
            lumo::Yuv444ToRgb24(planes.data(), 256, 256, rgb.data(), path);
            if (rgb != want) {
                for (int i = 0; i < n; ++i) {
                    for (int c = 0; c < 3; ++c) {
                        ASSERT_EQ(rgb[3 * i + c], want[3 * i + c])
                            << "Y " << y << " U " << (i >> 8) << " V " << (i & 0xff) << " channel " << c
                            << " path " << static_cast<int>(path);
                    }
                }
            }
        }
    }
}

// The same through the kernels that share one chroma sample between a pixel
// pair and, in 4:2:0, between two rows: I420 frames of 512 x 512 hold every
// (U, V) once, each 2 x 2 block taking the luma values 4k to 4k + 3, so 64
// frames cover every input.
TEST(YuvRgbExact, SharedChromaMatchesTheDoubleFormula)
{
    const int w = 512;
    const int n = w * w;
    std::vector<uint8_t> raw(n + n / 2), rgb(3 * n), want(3 * n);
    for (int i = 0; i < n / 4; ++i) {
        raw[n + i] = static_cast<uint8_t>(i >> 8);
        raw[n + n / 4 + i] = static_cast<uint8_t>(i & 0xff);
    }
    const lumo::ConvertPath paths[] = {lumo::ConvertPath::Sse2, lumo::ConvertPath::Avx2, lumo::ConvertPath::Auto};
    for (int k = 0; k < 64; ++k) {
        for (int i = 0; i < n; ++i) {
            const int x = i % w, y = i / w;
            raw[i] = static_cast<uint8_t>(4 * k + 2 * (y & 1) + (x & 1));
            const int c = (y / 2) * (w / 2) + x / 2;
            lumo::YuvToRgbPixel(raw[i], raw[n + c], raw[n + n / 4 + c], &want[3 * i]);
        }
        for (lumo::ConvertPath path : paths) {
            ASSERT_TRUE(lumo::ConvertRawToRgb24(raw.data(), w, w, "YUV_TYPE_I420", rgb.data(), path));
            if (rgb != want) {
                const auto at = std::mismatch(rgb.begin(), rgb.end(), want.begin()).first - rgb.begin();
                const int i = static_cast<int>(at / 3), c = (i / w / 2) * (w / 2) + i % w / 2;
                FAIL() << "Y " << int{raw[i]} << " U " << int{raw[n + c]} << " V " << int{raw[n + n / 4 + c]}
                       << " channel " << at % 3 << " path " << static_cast<int>(path);
            }
        }
    }
}

// The formula itself at the documented points, including exact integers
// that the double evaluation lands just below.
TEST(YuvRgbExact, FormulaAtKnownPoints)
{
    const struct {
        int y, u, v, r, g, b;
    } cases[] = {
        {16, 128, 128, 0, 0, 0},       {235, 128, 128, 254, 254, 254}, {255, 255, 255, 255, 125, 255},
        {0, 0, 0, 0, 135, 0},          {255, 0, 0, 73, 255, 20},       {81, 90, 240, 254, 0, 0},
        // R is exactly 3 but evaluates to 2.999999999999993.
        {46, 128, 108, 2, 51, 34},
    };
    for (const auto& c : cases) {
        uint8_t rgb[3];
        lumo::YuvToRgbPixel(c.y, c.u, c.v, rgb);
        EXPECT_EQ(rgb[0], c.r) << c.y << "," << c.u << "," << c.v;
        EXPECT_EQ(rgb[1], c.g) << c.y << "," << c.u << "," << c.v;
        EXPECT_EQ(rgb[2], c.b) << c.y << "," << c.u << "," << c.v;
    }
}

TEST(YuvColorMatrix, StandardMatricesAtKnownPoints)
{
    // Worked out from the standard formulas (see the view's colour tests);
    // FFmpeg's exact-rounding scale filter agrees.
    struct Case {
        int range, depth;
        double gamma;
        int y, u, v;
        uint8_t r, g, b;
    };
    const Case cases[] = {
        {3, 8, 1.0, 210, 16, 146, 255, 255, 0},   {4, 8, 1.0, 210, 16, 146, 235, 236, 12},
        {1, 8, 1.0, 210, 16, 146, 255, 240, 0},   {2, 8, 1.0, 210, 16, 146, 238, 223, 2},
        {3, 8, 1.0, 16, 128, 128, 0, 0, 0},       {1, 8, 1.0, 235, 128, 128, 255, 255, 255},
        {1, 8, 2.0, 120, 110, 140, 80, 55, 27},   {3, 10, 1.0, 481, 442, 561, 141, 118, 86},
        {4, 10, 1.0, 483, 442, 563, 139, 118, 90}, {3, 16, 1.0, 210 << 8, 16 << 8, 146 << 8, 255, 255, 0},
        {4, 8, 0.0, 0, 128, 128, 0, 0, 0},        {4, 8, 0.0, 1, 128, 128, 255, 255, 255}, // gamma 0: 0 stays 0
    };
    for (const Case& c : cases) {
        lumo::ColorMatrix m;
        ASSERT_TRUE(lumo::MatrixFor(c.range, c.depth, &m));
        uint8_t rgb[3];
        lumo::MatrixRgb(m, c.gamma, c.y, c.u, c.v, rgb);
        EXPECT_EQ(rgb[0], c.r) << c.range << " " << c.depth << " Y " << c.y;
        EXPECT_EQ(rgb[1], c.g) << c.range << " " << c.depth << " Y " << c.y;
        EXPECT_EQ(rgb[2], c.b) << c.range << " " << c.depth << " Y " << c.y;
    }
    lumo::ColorMatrix m;
    for (const auto& bad : {std::pair<int, int>{0, 8}, {5, 8}, {4, 7}, {4, 17}})
        EXPECT_FALSE(lumo::MatrixFor(bad.first, bad.second, &m));
}
