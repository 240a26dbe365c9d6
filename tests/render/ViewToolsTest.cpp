// The view's tools: the samples under the mouse, the values drawn at high
// zoom and the difference of two views, read back from the framebuffer.
#include "RenderTestUtil.h"

#include "render/YUVShowView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

constexpr int kW = 8;
constexpr int kH = 6;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

std::unique_ptr<YUVShowView> ShowView(const std::string& path, const char* type, int vw = 80, int vh = 60)
{
    auto view = std::make_unique<YUVShowView>(QString::fromStdString(path), kW, kH, QString::fromLatin1(type));
    view->resize(vw, vh);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->grabFramebuffer();
    return view;
}

TEST(ViewTools, InspectorGivesTheFileBytesOfEachPixel)
{
    // Where the file keeps the samples of pixel (x, y), written out per
    // layout from the layouts' definitions.
    using Offsets = std::function<void(int x, int y, size_t out[3])>;
    const size_t n = kW * kH;
    const struct {
        const char* type;
        size_t frameBytes;
        Offsets at;
    } layouts[] = {
        {"YUV_TYPE_I420", n * 3 / 2,
         [&](int x, int y, size_t o[3]) {
             o[0] = y * kW + x;
             o[1] = n + (y / 2) * (kW / 2) + x / 2;
             o[2] = n + n / 4 + (y / 2) * (kW / 2) + x / 2;
         }},
        {"YUV_TYPE_I422", n * 2,
         [&](int x, int y, size_t o[3]) {
             o[0] = y * kW + x;
             o[1] = n + y * (kW / 2) + x / 2;
             o[2] = n + n / 2 + y * (kW / 2) + x / 2;
         }},
        {"YUV_TYPE_NV21", n * 3 / 2,
         [&](int x, int y, size_t o[3]) {
             o[0] = y * kW + x;
             o[2] = n + (y / 2) * kW + (x / 2) * 2;
             o[1] = o[2] + 1;
         }},
        {"YUV_TYPE_UYVY", n * 2,
         [&](int x, int y, size_t o[3]) {
             const size_t group = (y * kW + (x & ~1)) * 2; // U Y0 V Y1
             o[0] = group + 1 + (x & 1) * 2;
             o[1] = group;
             o[2] = group + 2;
         }},
    };
    for (const auto& l : layouts) {
        const std::string path = TestPath(std::string("inspect_") + l.type + ".yuv");
        const std::vector<uint8_t> bytes = RandomBytes(l.frameBytes, 7);
        WriteBytes(path, bytes);
        auto view = ShowView(path, l.type);
        QSignalSpy hovered(view.get(), &YUVShowView::pixelHovered);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                size_t o[3];
                l.at(x, y, o);
                int yuv[3];
                ASSERT_TRUE(view->SampleAt(x, y, yuv)) << l.type;
                for (int p = 0; p < 3; ++p)
                    EXPECT_EQ(yuv[p], bytes[o[p]]) << l.type << " (" << x << ", " << y << ") plane " << p;
                // The frame fills the 80 x 60 view: 10 screen pixels each.
                const QPointF at(x * 10 + 5, y * 10 + 5);
                QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at.toPoint()), Qt::NoButton,
                                 Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(view.get(), &move);
                ASSERT_FALSE(hovered.isEmpty());
                EXPECT_EQ(hovered.last().at(0).toInt(), x);
                EXPECT_EQ(hovered.last().at(1).toInt(), y);
            }
        }
        int yuv[3];
        EXPECT_FALSE(view->SampleAt(kW, 0, yuv));
        EXPECT_FALSE(view->SampleAt(0, -1, yuv));
    }
}

TEST(ViewTools, DiffViewDrawsTheSignedDifferenceAroundMidGrey)
{
    const std::string pathA = TestPath("diff_a.yuv");
    const std::string pathB = TestPath("diff_b.yuv");
    const std::vector<uint8_t> a = RandomBytes(kW * kH * 3 / 2, 3);
    std::vector<uint8_t> b = a;
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(std::clamp(int(a[i]) + int(i % 13) - 6, 0, 255));
    WriteBytes(pathA, a);
    WriteBytes(pathB, b);
    auto viewA = ShowView(pathA, "YUV_TYPE_I420", 88, 66);
    auto viewB = ShowView(pathB, "YUV_TYPE_I420", 88, 66);
    // The rectangle and zoom keep working over the difference.
    viewB->SetRect(0.0f, 0.0f, 0.5f, -0.5f);
    const QImage plain = viewB->grabFramebuffer();
    for (int gain : {1, 4, 16}) {
        // The same picture as a file of its own, computed here: 128 + gain *
        // (B - A) per sample, clamped.
        std::vector<uint8_t> expected(a.size());
        for (size_t i = 0; i < a.size(); ++i)
            expected[i] = static_cast<uint8_t>(std::clamp(128 + gain * (int(b[i]) - int(a[i])), 0, 255));
        const std::string pathE = TestPath("diff_expected.yuv");
        WriteBytes(pathE, expected);
        auto viewE = ShowView(pathE, "YUV_TYPE_I420", 88, 66);
        viewE->SetRect(0.0f, 0.0f, 0.5f, -0.5f);

        viewB->SetDiffReference(viewA.get(), gain);
        EXPECT_EQ(viewB->grabFramebuffer(), viewE->grabFramebuffer()) << gain;
        // The file's own samples stay what the inspector reports.
        int sb[3];
        ASSERT_TRUE(viewB->SampleAt(1, 1, sb));
        EXPECT_EQ(sb[0], b[1 * kW + 1]);
    }
    viewB->SetDiffReference(nullptr, 1);
    EXPECT_EQ(viewB->grabFramebuffer(), plain);
}

TEST(ViewTools, ValuesAreWrittenIntoPixelsOnlyAtHighZoom)
{
    const std::string path = TestPath("values.yuv");
    WriteBytes(path, UniformI420(kW, kH, 200, 128, 128));
    auto view = ShowView(path, "YUV_TYPE_I420", 80, 60);
    QWidget* overlay = view->findChild<QWidget*>();
    ASSERT_NE(overlay, nullptr);
    EXPECT_FALSE(overlay->isVisible());
    // Eight notches: 10 * 1.25^8, about 60 screen pixels per frame pixel.
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 960), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.get(), &wheel);
    view->grabFramebuffer();
    EXPECT_GE(view->PixelScale(), YUVShowView::kValueScale);
    EXPECT_TRUE(overlay->isVisible());
    const QImage large = view->grab().toImage();
    // Black figures appear over the bright frame.
    int dark = 0;
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x)
            dark += qGray(large.pixel(x, y)) < 60;
    EXPECT_GT(dark, 20);
}

} // namespace
