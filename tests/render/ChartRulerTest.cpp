#include <map>
#include <vector>

#include <QImage>

#include <gtest/gtest.h>

#include "render/ColorChart.h"
#include "render/RulerTicks.h"

namespace {

TEST(RulerTicksTest, LabelsOf1920WideFrameIn800Pixels)
{
    const std::vector<RulerTick> ticks = RulerTicks(0, 800, 0, 1920);
    ASSERT_GE(ticks.size(), 2u);
    std::map<int, RulerTick> byPos;
    for (const RulerTick& t : ticks)
        byPos.emplace(t.pos, t);
    EXPECT_EQ(ticks.size(), byPos.size()) << "no position is marked twice";

    struct Expect {
        int pos, value;
        bool labelled;
    };
    const Expect expected[] = {
        {0, 0, true},       {800, 1920, true}, {400, 960, true}, {200, 480, true}, {600, 1440, true},
        {100, 240, true},   {300, 720, true},  {700, 1680, true}, {50, 120, false}, {25, 60, false},
        {12, 28, false},    {6, 14, false},    {18, 43, false}, // the pixel under each mark
    };
    for (const Expect& e : expected) {
        auto it = byPos.find(e.pos);
        ASSERT_NE(it, byPos.end()) << "pos " << e.pos;
        EXPECT_EQ(it->second.value, e.value) << "pos " << e.pos;
        EXPECT_EQ(it->second.labelled, e.labelled) << "pos " << e.pos;
    }
    // Spans of 6 pixels or less are not split: (0, 6) and (6, 12) have no
    // midpoint.
    EXPECT_EQ(byPos.count(3), 0u);
    EXPECT_EQ(byPos.count(9), 0u);
    EXPECT_EQ(ticks.size() - 2, 159u);
    int labelled = 0;
    for (const RulerTick& t : ticks)
        labelled += t.labelled ? 1 : 0;
    EXPECT_EQ(labelled, 2 + 7); // ends, 400, 200, 600, 100, 300, 500, 700
}

TEST(RulerTicksTest, SpanThresholds)
{
    struct Case {
        int a, b;
        bool labelled;
        size_t count;
    };
    const Case cases[] = {
        {0, 100, false, 0}, {0, 101, true, 0}, {10, 16, false, 2}, {10, 17, false, 3}, {0, 32000, true, 8193},
    };
    for (const Case& c : cases) {
        const std::vector<RulerTick> ticks = RulerTicks(c.a, c.b, 0, 16384);
        if (c.count) {
            EXPECT_EQ(ticks.size(), c.count) << c.a << ".." << c.b;
        }
        if (ticks.size() > 2 && c.b - c.a >= 100) {
            EXPECT_EQ(ticks[2].labelled, c.labelled) << c.a << ".." << c.b;
        }
    }
    // Zoom 0: both ends on one point, nothing between.
    const std::vector<RulerTick> collapsed = RulerTicks(400, 400, 0, 1920);
    ASSERT_EQ(collapsed.size(), 2u);
    EXPECT_EQ(collapsed[0].pos, collapsed[1].pos);
}

TEST(RulerTicksTest, AtHighZoomEveryLabelNamesThePixelItsMarkSitsIn)
{
    // Worked by hand: 48 screen pixels per frame pixel, pixel 960 of a 1920
    // wide frame starting at x 400 of an 800 wide ruler, so the visible
    // cells are 951 (-32..16) to 968 (784..832), each marked at its centre;
    // and the row the inspector calls 539 (60 per pixel, starting at 300).
    const struct {
        int pixelStart, pixelEnd, values, visible;
        int first, last, scale, firstCentre;
    } cases[] = {
        {400 - 960 * 48, 400 + 960 * 48, 1920, 800, 951, 968, 48, -8},
        {300 - 539 * 60, 300 + 541 * 60, 1080, 600, 534, 544, 60, 30},
    };
    for (const auto& c : cases) {
        const std::vector<RulerTick> ticks = RulerTicks(c.pixelStart, c.pixelEnd, 0, c.values, c.visible);
        ASSERT_EQ(static_cast<int>(ticks.size()), c.last - c.first + 1);
        for (size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_EQ(ticks[i].value, c.first + static_cast<int>(i));
            EXPECT_EQ(ticks[i].pos, c.firstCentre + static_cast<int>(i) * c.scale);
            EXPECT_TRUE(ticks[i].labelled);
        }
    }
    // Row 539 spans 300..360: its label sits at 330.
    const std::vector<RulerTick> rows = RulerTicks(300 - 539 * 60, 300 + 541 * 60, 0, 1080, 600);
    EXPECT_EQ(rows[539 - 534].pos, 330);
    EXPECT_EQ(rows[539 - 534].value, 539);

    // 10 per pixel: labels every 5 cells (1, 2 would crowd them).
    const std::vector<RulerTick> sparse = RulerTicks(0, 19200, 0, 1920, 800);
    ASSERT_EQ(sparse.size(), 81u);
    for (const RulerTick& t : sparse)
        EXPECT_EQ(t.labelled, t.value % 5 == 0) << t.value;
}

struct HistCase {
    uint8_t y, u, v;
    int red, green, blue, lumaBin;
};

TEST(ColorChartTest, UniformFramesLandInTheirBins)
{
    const HistCase cases[] = {
        {128, 128, 128, 130, 128, 130, 42}, // L = 128
        {16, 128, 128, 0, 0, 0, 0},         // video-range black: clamped, not wrapped
        {235, 128, 128, 255, 253, 255, 84}, // L = 253
        {255, 128, 128, 255, 255, 255, 85}, // above white clamps to 255
        {0, 0, 0, 0, 135, 0, 26},           // G = 135, L = 79
    };
    for (const HistCase& c : cases) {
        ColorChart chart;
        const int w = 4;
        const int h = 3;
        std::vector<uint8_t> y(w * h, c.y), u(w * h, c.u), v(w * h, c.v);
        chart.UpdateHistogram(w, h, y.data(), w * h, u.data(), w * h, v.data(), w * h);
        EXPECT_EQ(chart.Histogram(3)[c.red], w * h) << int(c.y);
        EXPECT_EQ(chart.Histogram(4)[c.green], w * h) << int(c.y);
        EXPECT_EQ(chart.Histogram(5)[c.blue], w * h) << int(c.y);
        EXPECT_EQ(chart.Histogram(0)[c.lumaBin], w * h) << int(c.y);
        for (int slot : {1, 2})
            for (int bin = 0; bin < ColorChart::kBins; ++bin)
                EXPECT_EQ(chart.Histogram(slot)[bin], 0);
        EXPECT_EQ(chart.MaxCount(), w * h);
    }
}

TEST(ColorChartTest, MaximumOnlyGrowsAndBinsAreRecounted)
{
    ColorChart chart;
    std::vector<uint8_t> big(1920 * 1080, 128);
    chart.UpdateHistogram(1920, 1080, big.data(), 0, big.data(), 0, big.data(), 0);
    EXPECT_EQ(chart.MaxCount(), 1920 * 1080);
    std::vector<uint8_t> small(4, 128);
    chart.UpdateHistogram(2, 2, small.data(), 4, small.data(), 4, small.data(), 4);
    EXPECT_EQ(chart.MaxCount(), 1920 * 1080);
    EXPECT_EQ(chart.Histogram(3)[130], 4);
    // Missing planes count nothing and do not crash.
    chart.UpdateHistogram(2, 2, nullptr, 0, small.data(), 4, small.data(), 4);
    EXPECT_EQ(chart.Histogram(3)[130], 0);
}

bool AllPixels(const QImage& image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != colour)
                return false;
    return true;
}

TEST(ColorChartTest, DrawsOnlyBackgroundWhenEmptyOrAllSwitchedOff)
{
    ColorChart chart;
    chart.resize(256, 100);
    chart.setAutoFillBackground(true);
    QPalette palette = chart.palette();
    palette.setColor(QPalette::Window, Qt::white);
    chart.setPalette(palette);
    EXPECT_TRUE(AllPixels(chart.grab().toImage(), qRgb(255, 255, 255))) << "nothing counted yet";

    std::vector<uint8_t> plane(64 * 64, 128);
    chart.UpdateHistogram(64, 64, plane.data(), 0, plane.data(), 0, plane.data(), 0);
    EXPECT_FALSE(AllPixels(chart.grab().toImage(), qRgb(255, 255, 255)));

    chart.SetShow(0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(AllPixels(chart.grab().toImage(), qRgb(255, 255, 255)));

    // Only red: the tallest bin reaches 10 pixels below the top edge.
    chart.SetShow(0, 0, 0, 2, 0, 0);
    const QImage image = chart.grab().toImage();
    int top = image.height();
    int topX = -1;
    for (int y = 0; y < image.height() && topX < 0; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                top = y;
                topX = x;
                break;
            }
    EXPECT_GE(top, 8);
    EXPECT_LE(top, 11);
    EXPECT_NEAR(topX, 130, 2);
    const QRgb apex = image.pixel(topX, top);
    EXPECT_GT(qRed(apex), qGreen(apex));
    EXPECT_GT(qRed(apex), qBlue(apex));
}

} // namespace
