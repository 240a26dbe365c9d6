#include <cstdint>
#include <vector>

#include <QImage>

#include <gtest/gtest.h>

#include "render/ColorChart.h"

namespace {

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
