#include <cmath>

#include <gtest/gtest.h>

#include "math/ViewGeometry.h"

namespace {

struct Case {
    float viewW, viewH;
    int frameW, frameH;
    double factor, x, y; // a zoom about (x, y) before the checks
};

const Case kCases[] = {
    {800, 600, 1920, 1080, 1.25, 100, 50},  {800, 600, 352, 288, 4.0, 700, 590},
    {640, 480, 7, 5, 1e9, 320, 1},          {300, 900, 1920, 1080, 1e-9, 0, 899}, // the ceiling, the floor
    {1000, 1000, 16, 4096, 1.0 / 1.25, 999, 0},
};

// View pixels per frame pixel down, as of the last Layout.
double ScaleY(const ViewGeometry& g, int frameH)
{
    return std::fabs(g.LastExtent().bottom - g.LastExtent().top) / frameH;
}

// Frame position (in frame pixels) under view position (x, y).
void FrameAt(ViewGeometry& g, int frameH, double x, double y, double* fx, double* fy)
{
    g.Layout();
    *fx = (x - g.FrameLeft()) / g.PixelScale();
    *fy = (y - g.FrameTop()) / ScaleY(g, frameH);
}

TEST(ViewGeometryTest, ZoomKeepsThePointUnderItAndPixelsMapBothWays)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(::testing::Message() << c.frameW << "x" << c.frameH << " factor " << c.factor);
        ViewGeometry g(c.frameW, c.frameH);
        g.SetViewSize(c.viewW, c.viewH);
        g.Fit();
        g.PanBy(13, -7);
        double fx0 = 0, fy0 = 0, fx1 = 0, fy1 = 0;
        FrameAt(g, c.frameH, c.x, c.y, &fx0, &fy0);
        ASSERT_TRUE(g.ZoomAbout(c.factor, c.x, c.y));
        EXPECT_GE(g.Zoom(), ViewGeometry::kMinZoom);
        EXPECT_LE(g.Zoom(), g.MaxZoom());
        FrameAt(g, c.frameH, c.x, c.y, &fx1, &fy1);
        EXPECT_NEAR(fx0, fx1, 1e-3 * std::max(1.0, std::fabs(fx0)));
        EXPECT_NEAR(fy0, fy1, 1e-3 * std::max(1.0, std::fabs(fy0)));

        // Each pixel's centre maps back to that pixel; just beside the frame maps to none.
        g.Layout();
        const double s = g.PixelScale();
        const double sy = ScaleY(g, c.frameH);
        ASSERT_GT(s, 0);
        const int pixels[][2] = {{0, 0}, {c.frameW - 1, c.frameH - 1}, {c.frameW / 2, c.frameH / 3}};
        for (const auto& px : pixels) {
            const double x = g.FrameLeft() + (px[0] + 0.5) * s;
            const double y = g.FrameTop() + (px[1] + 0.5) * sy;
            if (std::fabs(x) > 1e6 || std::fabs(y) > 1e6)
                continue; // float extents are coarse this far out
            int qx = -1, qy = -1;
            ASSERT_TRUE(g.PixelAt(x, y, &qx, &qy)) << px[0] << "," << px[1];
            EXPECT_EQ(qx, px[0]);
            EXPECT_EQ(qy, px[1]);
        }
        int qx = -1, qy = -1;
        EXPECT_FALSE(g.PixelAt(g.FrameLeft() - 1, g.FrameTop() + sy / 2, &qx, &qy));
        EXPECT_FALSE(g.PixelAt(g.FrameLeft() + s / 2, g.FrameTop() + c.frameH * sy + 1, &qx, &qy));
    }
}

TEST(ViewGeometryTest, LinkedViewsOfOtherSizesShowOnePixelUnderOnePosition)
{
    ViewGeometry a(1920, 1080);
    a.SetViewSize(800, 600);
    a.Fit();
    a.ZoomAbout(3.7, 250, 410);
    a.PanBy(-31, 17);
    ViewGeometry b(1920, 1080);
    b.SetViewSize(517, 933);
    ASSERT_TRUE(b.SetPlace(a.CurrentPlace()));
    a.Layout();
    b.Layout();
    for (double x = 0.5; x < 517; x += 37.25) {
        for (double y = 0.5; y < 600; y += 41.5) {
            int ax = -1, ay = -1, bx = -1, by = -1;
            const bool inA = a.PixelAt(x, y, &ax, &ay);
            ASSERT_EQ(inA, b.PixelAt(x, y, &bx, &by)) << x << "," << y;
            if (inA) {
                EXPECT_EQ(ax, bx) << x << "," << y;
                EXPECT_EQ(ay, by) << x << "," << y;
            }
        }
    }
    EXPECT_FALSE(b.SetPlace({0, 0, 0}));
}

} // namespace
