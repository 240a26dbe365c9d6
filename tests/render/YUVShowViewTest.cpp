#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include "RenderTestUtil.h"
#include "render/YUVShowView.h"

namespace {

// A shown view of one file; Grab() paints and reads the frame buffer back.
class ViewHarness {
public:
    ViewHarness(const std::string& path, int fw, int fh, const char* type, int vw, int vh)
        : view_(std::make_unique<YUVShowView>(QString::fromStdString(path), fw, fh, QString::fromLatin1(type)))
    {
        view_->resize(vw, vh);
        view_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
    }
    YUVShowView* operator->() { return view_.get(); }
    YUVShowView* get() { return view_.get(); }
    QImage Grab() { return view_->grabFramebuffer(); }

private:
    std::unique_ptr<YUVShowView> view_;
};

void ExpectPixel(const QImage& image, int x, int y, int r, int g, int b, int tolerance, const std::string& what)
{
    const QRgb p = image.pixel(x, y);
    EXPECT_NEAR(qRed(p), r, tolerance) << what << " at " << x << "," << y;
    EXPECT_NEAR(qGreen(p), g, tolerance) << what << " at " << x << "," << y;
    EXPECT_NEAR(qBlue(p), b, tolerance) << what << " at " << x << "," << y;
}

bool IsRed(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
}

TEST(YUVShowViewTest, ColourRangesFollowTheStandardMatrices)
{
    // R G B worked out from the standard formulas: video range (Y - 16)
    // 255/219 and (C - 128) 255/224, full range as stored around 128; Kr,
    // Kb 0.2126, 0.0722 (BT.709) or 0.299, 0.114 (BT.601). FFmpeg's scale
    // filter (neighbor+accurate_rnd+full_chroma_int) gives the same bytes.
    struct Case {
        const char* type;
        int range;
        float gamma;
        uint16_t y, u, v;
        int r, g, b;
    };
    const Case cases[] = {
        {"YUV_TYPE_I420", 1, 1.0f, 210, 16, 146, 255, 240, 0}, // yellow
        {"YUV_TYPE_I420", 2, 1.0f, 210, 16, 146, 238, 223, 2},
        {"YUV_TYPE_I420", 3, 1.0f, 210, 16, 146, 255, 255, 0},
        {"YUV_TYPE_I420", 4, 1.0f, 210, 16, 146, 235, 236, 12},
        {"YUV_TYPE_I420", 1, 1.0f, 16, 128, 128, 0, 0, 0}, // video black
        {"YUV_TYPE_I420", 3, 1.0f, 16, 128, 128, 0, 0, 0},
        {"YUV_TYPE_I420", 4, 1.0f, 16, 128, 128, 16, 16, 16},
        {"YUV_TYPE_I420", 1, 1.0f, 235, 128, 128, 255, 255, 255}, // video white
        {"YUV_TYPE_I420", 3, 1.0f, 235, 128, 128, 255, 255, 255},
        {"YUV_TYPE_I420", 2, 1.0f, 235, 128, 128, 235, 235, 235},
        {"YUV_TYPE_I420", 1, 1.0f, 120, 110, 140, 143, 119, 83},
        {"YUV_TYPE_I420", 3, 1.0f, 120, 110, 140, 140, 118, 85},
        {"YUV_TYPE_I420", 4, 1.0f, 120, 110, 140, 137, 118, 88},
        {"YUV_TYPE_I420", 1, 2.0f, 120, 110, 140, 80, 55, 27},
        {"YUV_TYPE_I420", 4, 2.0f, 120, 110, 140, 73, 54, 30},
        // 10 bits: offsets and scales times 4; rounding the samples to 8
        // bits first would give 140 118 85 and 139 118 89.
        {"YUV_TYPE_I010", 3, 1.0f, 481, 442, 561, 141, 118, 86},
        {"YUV_TYPE_I010", 4, 1.0f, 483, 442, 563, 139, 118, 90},
        {"YUV_TYPE_I010", 3, 1.0f, 840, 64, 584, 255, 255, 0},
    };
    const std::string path = TestPath("ranges.yuv");
    for (const Case& c : cases) {
        const bool deep = std::string(c.type) == "YUV_TYPE_I010";
        if (deep)
            WriteBytes(path, UniformI010(16, 16, c.y, c.u, c.v));
        else
            WriteBytes(path, UniformI420(16, 16, static_cast<uint8_t>(c.y), static_cast<uint8_t>(c.u),
                                         static_cast<uint8_t>(c.v)));
        ViewHarness view(path, 16, 16, c.type, 120, 120);
        view->SetColorRange(c.range);
        view->SetGamma(c.gamma);
        ExpectPixel(view.Grab(), 60, 60, c.r, c.g, c.b, 1,
                    std::string(c.type) + " range " + std::to_string(c.range) + " gamma " + std::to_string(c.gamma) +
                        " Y " + std::to_string(c.y));
    }
}

TEST(YUVShowViewTest, Width7PlanesShowWithoutSkew)
{
    const int w = 7;
    const int h = 4;
    std::vector<uint8_t> frame(static_cast<size_t>(3 * w * h), 128);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            frame[static_cast<size_t>(r * w + c)] = static_cast<uint8_t>(20 + 30 * c + 5 * r);
    const std::string path = TestPath("width7.yuv");
    WriteBytes(path, frame);
    ViewHarness view(path, w, h, "YUV_TYPE_I444", 700, 400);
    view->SetColorRange(4);
    const QImage image = view.Grab();
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const int y = 20 + 30 * c + 5 * r;
            const int expected = y; // full range, neutral chroma: grey as stored
            const QRgb p = image.pixel(50 + 100 * c, 50 + 100 * r);
            EXPECT_NEAR(qRed(p), expected, 2) << "texel " << c << "," << r;
        }
}

TEST(YUVShowViewTest, ThumbnailsInTheirSlots)
{
    // 32x16 frame in 400x300: thumbnails 60 tall, 120 wide, at the left.
    const std::string path = TestPath("thumbs.yuv");
    WriteBytes(path, UniformI420(32, 16, 200, 100, 50));
    ViewHarness view(path, 32, 16, "YUV_TYPE_I420", 400, 300);
    view->SetColorRange(4);
    const QRgb frameColour = view.Grab().pixel(300, 150);

    view->SetVisible(2, 2, 2);
    QImage image = view.Grab();
    ExpectPixel(image, 60, 30, 200, 200, 200, 1, "Y slot");
    ExpectPixel(image, 60, 93, 100, 100, 100, 1, "U slot");
    ExpectPixel(image, 60, 156, 50, 50, 50, 1, "V slot");
    EXPECT_EQ(image.pixel(125, 93), frameColour) << "right of the thumbnails";
    EXPECT_EQ(image.pixel(60, 200), frameColour) << "below the V slot";

    view->SetVisible(2, 0, 2);
    image = view.Grab();
    ExpectPixel(image, 60, 30, 200, 200, 200, 1, "Y slot");
    EXPECT_EQ(image.pixel(60, 93), frameColour) << "empty U slot shows the frame";
    ExpectPixel(image, 60, 156, 50, 50, 50, 1, "V slot");

    // A 10-bit file's planes (drawn from its own samples) look the same.
    const std::string deepPath = TestPath("thumbs10.yuv");
    WriteBytes(deepPath, UniformI010(32, 16, 800, 400, 200));
    ViewHarness deep(deepPath, 32, 16, "YUV_TYPE_I010", 400, 300);
    deep->SetVisible(2, 2, 2);
    image = deep.Grab();
    ExpectPixel(image, 60, 30, 200, 200, 200, 1, "10-bit Y slot");
    ExpectPixel(image, 60, 93, 100, 100, 100, 1, "10-bit U slot");
    ExpectPixel(image, 60, 156, 50, 50, 50, 1, "10-bit V slot");
}

TEST(YUVShowViewTest, RectangleEdges)
{
    const std::string path = TestPath("rect.yuv");
    WriteBytes(path, UniformI420(16, 16, 128, 128, 128));
    ViewHarness view(path, 16, 16, "YUV_TYPE_I420", 200, 200);
    view->SetColorRange(4);

    QImage image = view.Grab();
    int redCount = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            redCount += IsRed(image.pixel(x, y)) ? 1 : 0;
    EXPECT_EQ(redCount, 0) << "the initial all-zero rectangle is invisible";

    // Frame fills the 200x200 view; the rectangle spans 50..150 both ways and
    // each band lies 3 pixels inside its edge.
    view->SetRect(0.25f, -0.25f, 0.75f, -0.75f);
    image = view.Grab();
    EXPECT_TRUE(IsRed(image.pixel(100, 51))) << "top";
    EXPECT_TRUE(IsRed(image.pixel(148, 100))) << "right";
    EXPECT_TRUE(IsRed(image.pixel(100, 151))) << "bottom";
    EXPECT_TRUE(IsRed(image.pixel(48, 100))) << "left";
    for (const QPoint p : {QPoint(100, 100), QPoint(100, 45), QPoint(100, 56), QPoint(143, 100), QPoint(156, 100),
                           QPoint(44, 100), QPoint(100, 157)})
        ExpectPixel(image, p.x(), p.y(), 128, 128, 128, 2, "off the bands");
}

TEST(YUVShowViewTest, RulerOfFullHdFrameIn800x600)
{
    const std::string path = TestPath("fullhd.yuv");
    WriteBytes(path, UniformI420(1920, 1080, 60, 128, 128));
    ViewHarness view(path, 1920, 1080, "YUV_TYPE_I420", 800, 600);
    QSignalSpy spy(view.get(), &YUVShowView::updataRuler);
    view.Grab();
    ASSERT_GE(spy.count(), 1);
    const QList<QVariant> args = spy.last();
    EXPECT_EQ(args.at(0).toInt(), 0);
    EXPECT_EQ(args.at(1).toInt(), 800);
    EXPECT_EQ(args.at(2).toInt(), 75);
    EXPECT_EQ(args.at(3).toInt(), 524);
}

void Wheel(QWidget* w, int delta, int x = 10, int y = 10)
{
    QWheelEvent event(QPointF(x, y), w->mapToGlobal(QPoint(x, y)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

void Mouse(QWidget* w, QEvent::Type type, int x, int y)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(x, y), w->mapToGlobal(QPoint(x, y)), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

QList<QVariant> LastRuler(ViewHarness& view)
{
    QSignalSpy spy(view.get(), &YUVShowView::updataRuler);
    view.Grab();
    return spy.isEmpty() ? QList<QVariant>() : spy.last();
}

// Frame pixel under widget position (x, y) after the last paint; (-1, -1)
// beside the frame.
QPoint PixelUnder(YUVShowView* view, double x, double y)
{
    int px = -1;
    int py = -1;
    return view->PixelAt(x, y, &px, &py) ? QPoint(px, py) : QPoint(-1, -1);
}

TEST(YUVShowViewTest, WheelZoomsGeometricallyAboutTheMouse)
{
    const std::string path = TestPath("zoom.yuv");
    WriteBytes(path, UniformI420(1920, 1080, 60, 128, 128));
    ViewHarness view(path, 1920, 1080, "YUV_TYPE_I420", 800, 600);
    view.Grab();
    const QPoint before = PixelUnder(view.get(), 10, 100);
    ASSERT_NE(before.x(), -1);
    for (int i = 0; i < 3; ++i)
        Wheel(view.get(), 120, 10, 100);
    EXPECT_NEAR(view->Zoom(), 1.953125f, 1e-5); // 1.25^3
    QList<QVariant> ruler = LastRuler(view);
    ASSERT_EQ(ruler.size(), 4);
    // Frame x 24 stays under x 10: the left edge at 10 - 24 * 0.8138.
    EXPECT_EQ(ruler.at(0).toInt(), -9);
    EXPECT_EQ(ruler.at(1).toInt(), 1552);
    EXPECT_EQ(PixelUnder(view.get(), 10, 100), before);

    // A long turn back stops at 1/64 of the fitted size.
    for (int i = 0; i < 100; ++i)
        Wheel(view.get(), -120);
    EXPECT_EQ(view->Zoom(), YUVShowView::kMinZoom);
    ruler = LastRuler(view);
    EXPECT_NEAR(ruler.at(1).toInt() - ruler.at(0).toInt(), 12.5, 1) << "800 / 64 wide";
    Wheel(view.get(), 120);
    EXPECT_NEAR(view->Zoom(), 1.25f / 64, 1e-7);
}

TEST(YUVShowViewTest, KeyZoomsKeepTheCentreAndOneToOneShowsFramePixels)
{
    const std::string path = TestPath("keys.yuv");
    WriteBytes(path, UniformI420(1920, 1080, 60, 128, 128));
    ViewHarness view(path, 1920, 1080, "YUV_TYPE_I420", 800, 600);
    view.Grab();
    const QPoint centre = PixelUnder(view.get(), 400, 300);
    view->ZoomAboutCentre(YUVShowView::kWheelStep);
    view->ShowActualPixels();
    view.Grab();
    EXPECT_NEAR(view->PixelScale(), 1.0, 1e-4);
    EXPECT_EQ(PixelUnder(view.get(), 400, 300), centre);
    // Zooming in has no limit short of 2^24 screen pixels across.
    for (int i = 0; i < 60; ++i)
        view->ZoomAboutCentre(YUVShowView::kWheelStep);
    view.Grab();
    EXPECT_GT(view->PixelScale(), 8000.0);
    EXPECT_EQ(PixelUnder(view.get(), 400, 300), centre);
}

TEST(YUVShowViewTest, AViewGivenAnothersPlaceShowsTheSamePixelsAtTheSamePlaces)
{
    const std::string path = TestPath("place.yuv");
    WriteBytes(path, UniformI420(1920, 1080, 60, 128, 128));
    ViewHarness a(path, 1920, 1080, "YUV_TYPE_I420", 800, 600);
    ViewHarness b(path, 1920, 1080, "YUV_TYPE_I420", 640, 600); // another width, another fit
    a.Grab();
    b.Grab();
    QSignalSpy placed(b.get(), &YUVShowView::placeChanged);
    a->ZoomAbout(37.0, 123, 245);
    b->SetPlace(a->CurrentPlace());
    a.Grab();
    b.Grab();
    EXPECT_EQ(placed.count(), 0) << "taking a place is not the user's move";
    EXPECT_NEAR(b->PixelScale(), a->PixelScale(), 1e-3);
    for (const QPoint p : {QPoint(5, 5), QPoint(300, 200), QPoint(600, 590)}) {
        EXPECT_NE(PixelUnder(a.get(), p.x(), p.y()).x(), -1);
        EXPECT_EQ(PixelUnder(a.get(), p.x(), p.y()), PixelUnder(b.get(), p.x(), p.y())) << p.x() << "," << p.y();
    }
}

TEST(YUVShowViewTest, ZoomUnderAStillMouseReportsTheNewPixel)
{
    const std::string path = TestPath("still.yuv");
    WriteBytes(path, UniformI420(1920, 1080, 60, 128, 128));
    ViewHarness view(path, 1920, 1080, "YUV_TYPE_I420", 800, 600);
    view.Grab();
    QSignalSpy hovered(view.get(), &YUVShowView::pixelHovered);
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 100), view->mapToGlobal(QPoint(100, 100)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &move);
    ASSERT_EQ(hovered.count(), 1);
    EXPECT_EQ(hovered.last().at(0).toInt(), 240); // 100 / 800 * 1920
    view->ZoomAboutCentre(4.0);
    view.Grab();
    ASSERT_EQ(hovered.count(), 2);
    const QPoint under = PixelUnder(view.get(), 100, 100);
    EXPECT_EQ(QPoint(hovered.last().at(0).toInt(), hovered.last().at(1).toInt()), under);
    EXPECT_EQ(under.x(), 780); // 960 - 300 * 2.4 / 4
    view.Grab();
    EXPECT_EQ(hovered.count(), 2) << "a paint that moves nothing reports nothing";
}

TEST(YUVShowViewTest, DragPansInScreenPixels)
{
    const std::string path = TestPath("pan.yuv");
    WriteBytes(path, UniformI420(1920, 1080, 60, 128, 128));
    ViewHarness view(path, 1920, 1080, "YUV_TYPE_I420", 800, 600);
    for (int delta : {120, 600}) { // the pan does not depend on the zoom
        Wheel(view.get(), delta);
        const QList<QVariant> before = LastRuler(view);
        const int panX = view->PanX();
        Mouse(view.get(), QEvent::MouseButtonPress, 100, 100);
        Mouse(view.get(), QEvent::MouseMove, 100, 100); // only records
        Mouse(view.get(), QEvent::MouseMove, 110, 103);
        Mouse(view.get(), QEvent::MouseButtonRelease, 110, 103);
        EXPECT_EQ(view->PanX(), panX + 10);
        const QList<QVariant> after = LastRuler(view);
        // Edges are truncated toward zero, so a shift may show as 9 or 11.
        EXPECT_NEAR(after.at(0).toInt() - before.at(0).toInt(), 10, 1);
        EXPECT_NEAR(after.at(1).toInt() - before.at(1).toInt(), 10, 1);
        EXPECT_NEAR(after.at(2).toInt() - before.at(2).toInt(), 3, 1);
    }
    // After a release the first move only records the position.
    const int panX = view->PanX();
    const int panY = view->PanY();
    Mouse(view.get(), QEvent::MouseMove, 300, 300);
    EXPECT_EQ(view->PanX(), panX);
    EXPECT_EQ(view->PanY(), panY);
    Mouse(view.get(), QEvent::MouseMove, 295, 310);
    EXPECT_EQ(view->PanX(), panX - 5);
    EXPECT_EQ(view->PanY(), panY + 10);
}

TEST(YUVShowViewTest, RectangleDrawingEmitsClampedValues)
{
    const std::string path = TestPath("draw.yuv");
    WriteBytes(path, UniformI420(1920, 1080, 60, 128, 128));
    ViewHarness view(path, 1920, 1080, "YUV_TYPE_I420", 800, 600);
    view.Grab();
    QSignalSpy spy(view.get(), &YUVShowView::updateRect);

    // Mode 1: a press draws nothing.
    Mouse(view.get(), QEvent::MouseButtonPress, 100, 100);
    Mouse(view.get(), QEvent::MouseButtonRelease, 100, 100);
    EXPECT_EQ(spy.count(), 0);

    view->SetDrawMode(2);
    EXPECT_EQ(view->GetDrawMode(), 2);
    // The frame covers x 0..800 and y 75..524 (449 tall).
    Mouse(view.get(), QEvent::MouseButtonPress, 0, 75);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_FLOAT_EQ(spy.last().at(0).toFloat(), 0.0f);
    EXPECT_FLOAT_EQ(spy.last().at(1).toFloat(), 0.0f);
    view.Grab();
    Mouse(view.get(), QEvent::MouseMove, 400, 300);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_NEAR(spy.last().at(2).toFloat(), 0.5f, 1e-6);
    EXPECT_NEAR(spy.last().at(3).toFloat(), -0.5f, 0.01);
    Mouse(view.get(), QEvent::MouseButtonRelease, 800, 525);
    ASSERT_EQ(spy.count(), 3);
    const QList<QVariant> end = spy.last();
    EXPECT_FLOAT_EQ(end.at(0).toFloat(), 0.0f);
    EXPECT_FLOAT_EQ(end.at(1).toFloat(), 0.0f);
    EXPECT_FLOAT_EQ(end.at(2).toFloat(), 1.0f);
    EXPECT_FLOAT_EQ(end.at(3).toFloat(), -1.0f);

    // Beyond the frame clamps to its edges; unchanged values still emit.
    Mouse(view.get(), QEvent::MouseButtonPress, 790, 10);
    Mouse(view.get(), QEvent::MouseMove, 2, 599);
    Mouse(view.get(), QEvent::MouseMove, 2, 599);
    ASSERT_EQ(spy.count(), 6);
    EXPECT_NEAR(spy.last().at(0).toFloat(), 790 / 800.0f, 1e-6);
    EXPECT_FLOAT_EQ(spy.last().at(1).toFloat(), 0.0f);
    EXPECT_NEAR(spy.last().at(2).toFloat(), 2 / 800.0f, 1e-6);
    EXPECT_FLOAT_EQ(spy.last().at(3).toFloat(), -1.0f);

    // The wheel stops at 1/64 of the fitted size (it used to reach 0, where
    // positions were not numbers): presses beside the small frame clamp to
    // its edges.
    for (int i = 0; i < 100; ++i)
        Wheel(view.get(), -120);
    ASSERT_EQ(view->Zoom(), YUVShowView::kMinZoom);
    view.Grab();
    Mouse(view.get(), QEvent::MouseButtonPress, 2, 2);
    Mouse(view.get(), QEvent::MouseButtonRelease, 700, 500);
    ASSERT_EQ(spy.count(), 8);
    EXPECT_FLOAT_EQ(spy.last().at(0).toFloat(), 0.0f);
    EXPECT_FLOAT_EQ(spy.last().at(1).toFloat(), 0.0f);
    EXPECT_FLOAT_EQ(spy.last().at(2).toFloat(), 1.0f);
    EXPECT_FLOAT_EQ(spy.last().at(3).toFloat(), -1.0f);
}

// A view added beside another (the second file of an analysis window) is
// told its frame before its GL is up: the first paint shows that frame.
TEST(YUVShowViewTest, OffsetSetBeforeShowingIsKept)
{
    const std::string path = TestPath("twoframes.yuv");
    std::vector<uint8_t> bytes = UniformI420(16, 16, 50, 128, 128);
    const std::vector<uint8_t> second = UniformI420(16, 16, 220, 128, 128);
    bytes.insert(bytes.end(), second.begin(), second.end());
    WriteBytes(path, bytes);

    auto view = std::make_unique<YUVShowView>(QString::fromStdString(path), 16, 16, QStringLiteral("YUV_TYPE_I420"));
    view->SetColorRange(4);
    view->SetFrameOffset(static_cast<int64_t>(second.size()));
    view->resize(100, 100);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    EXPECT_EQ(view->FrameOffset(), static_cast<int64_t>(second.size()));
    EXPECT_NEAR(qRed(view->grabFramebuffer().pixel(50, 50)), 220, 2);
    view->SetFrameOffset(0);
    EXPECT_NEAR(qRed(view->grabFramebuffer().pixel(50, 50)), 50, 2);
}

TEST(YUVShowViewTest, FailedReadKeepsTheLastFrameAndFileChangesAreSeen)
{
    const std::string path = TestPath("changing.yuv");
    WriteBytes(path, UniformI420(16, 16, 80, 128, 128));
    ViewHarness view(path, 16, 16, "YUV_TYPE_I420", 100, 100);
    view->SetColorRange(4);
    EXPECT_NEAR(qRed(view.Grab().pixel(50, 50)), 80, 2);

    view->SetFrameOffset(10 * 384); // past the end
    EXPECT_NEAR(qRed(view.Grab().pixel(50, 50)), 80, 2);
    std::remove(path.c_str());
    view->SetFrameOffset(0);
    EXPECT_NEAR(qRed(view.Grab().pixel(50, 50)), 80, 2) << "missing file";

    // The file comes back with other contents: shown on the next paint.
    WriteBytes(path, UniformI420(16, 16, 160, 128, 128));
    EXPECT_NEAR(qRed(view.Grab().pixel(50, 50)), 160, 2);

    // Rewritten in place with the same size and a new time.
    WriteBytes(path, UniformI420(16, 16, 30, 128, 128));
    struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_NEAR(qRed(view.Grab().pixel(50, 50)), 30, 2);
}

TEST(YUVShowViewTest, MovingToAnotherWindowKeepsDrawing)
{
    const std::string path = TestPath("moving.yuv");
    WriteBytes(path, UniformI420(16, 16, 90, 128, 128));
    QWidget first;
    QWidget second;
    auto* view = new YUVShowView(QString::fromStdString(path), 16, 16, QStringLiteral("YUV_TYPE_I420"), &first);
    view->SetColorRange(4);
    view->resize(100, 100);
    first.resize(100, 100);
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    EXPECT_NEAR(qRed(view->grabFramebuffer().pixel(50, 50)), 90, 2);

    // A new top-level window gives the view a new context.
    view->setParent(&second);
    second.resize(100, 100);
    second.show();
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    EXPECT_NEAR(qRed(view->grabFramebuffer().pixel(50, 50)), 90, 2);
}

TEST(YUVShowViewTest, UnknownLayoutAndMissingFileDrawWithoutCrashing)
{
    ViewHarness missing(TestPath("nothing-here.yuv"), 16, 16, "YUV_TYPE_I420", 100, 100);
    EXPECT_FALSE(missing.Grab().isNull());
    const std::string path = TestPath("layout.yuv");
    WriteBytes(path, UniformI420(16, 16, 80, 128, 128));
    ViewHarness unknown(path, 16, 16, "YUV_TYPE_NOPE", 100, 100);
    EXPECT_FALSE(unknown.Grab().isNull());
    ViewHarness empty(path, 0, 0, "YUV_TYPE_I420", 100, 100);
    EXPECT_FALSE(empty.Grab().isNull());
}

// Until a frame has been read the textures hold nothing: only the white
// background may show, not a frame, a plane thumbnail or the rectangle.
TEST(YUVShowViewTest, NothingButTheBackgroundBeforeTheFirstRead)
{
    const std::string empty = TestPath("empty.yuv");
    WriteBytes(empty, {});
    for (const std::string& path : {TestPath("never-there.yuv"), empty}) {
        ViewHarness view(path, 16, 16, "YUV_TYPE_I420", 100, 100);
        view->SetVisible(2, 2, 2);
        view->SetRect(0.1f, -0.1f, 0.9f, -0.9f);
        const QImage image = view.Grab();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255)) << path << " at " << x << "," << y;
    }
}

TEST(YUVShowViewTest, FrameLargerThanTheTextureLimitDrawsNothing)
{
    ViewHarness probe(TestPath("none.yuv"), 16, 16, "YUV_TYPE_I420", 50, 50);
    probe.Grab();
    probe->makeCurrent();
    GLint maxSize = 0;
    probe->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    probe->doneCurrent();
    ASSERT_GT(maxSize, 0);

    const int w = maxSize + 2;
    const int h = 2;
    const std::string path = TestPath("wide.yuv");
    WriteBytes(path, UniformI420(w, h, 30, 128, 128));
    testing::internal::CaptureStdout();
    {
        ViewHarness view(path, w, h, "YUV_TYPE_I420", 200, 100);
        view->SetVisible(2, 2, 2);
        view->SetRect(0.1f, -0.1f, 0.9f, -0.9f);
        for (int i = 0; i < 3; ++i) {
            const QImage image = view.Grab();
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255));
        }
    }
    const std::string out = testing::internal::GetCapturedStdout();
    int lines = 0;
    for (size_t p = out.find("YUVShowView"); p != std::string::npos; p = out.find("YUVShowView", p + 1))
        ++lines;
    EXPECT_EQ(lines, 1) << out;
}

} // namespace
