#include <cstdint>

#include <gtest/gtest.h>

#include "yuv/PixelMath.h"

namespace {

TEST(PixelMathTest, DiffSamplesCentreOnGreyAndClamp)
{
    struct Case {
        uint8_t a, b;
        int gain;
        uint8_t out;
    };
    const Case cases[] = {
        {7, 7, 16, 128},   {0, 10, 1, 138},  {10, 0, 1, 118}, {0, 255, 16, 255},
        {255, 0, 16, 0},   {100, 108, 16, 255}, {108, 100, 16, 0}, {100, 107, 16, 240},
    };
    for (const Case& c : cases) {
        uint8_t out = 1;
        DiffSamples(&c.a, &c.b, 1, c.gain, &out);
        EXPECT_EQ(out, c.out) << int(c.a) << " " << int(c.b) << " x" << c.gain;
    }
}

TEST(PixelMathTest, FrameShaderRgbOfGreysAndUnknownRange)
{
    int rgb[3] = {1, 1, 1};
    FrameShaderRgb(0, 1.0, 8, 128, 128, 128, rgb);
    EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0) << "an unknown range draws black";
    for (int range = 1; range <= 4; ++range) {
        FrameShaderRgb(range, 1.0, 8, 235, 128, 128, rgb);
        EXPECT_EQ(rgb[0], rgb[1]) << range;
        EXPECT_EQ(rgb[1], rgb[2]) << range;
        FrameShaderRgb(range, 1.0, 10, 1023, 512, 512, rgb);
        EXPECT_EQ(rgb[0], 255) << "10-bit full scale, range " << range;
    }
}

} // namespace
