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

double Clamp01(double v)
{
    return std::min(1.0, std::max(0.0, v));
}

// The frame program's arithmetic on bytes, as 0..255 outputs.
void ExpectedRgb(int range, double gamma, int yb, int ub, int vb, int out[3])
{
    const double y = yb / 255.0;
    const double u = ub / 255.0 - 0.5;
    const double v = vb / 255.0 - 0.5;
    double r = 0, g = 0, b = 0;
    switch (range) {
    case 1:
    case 2:
        r = 1.164 * y + 1.793 * v;
        g = 1.164 * y - 0.213 * u - 0.533 * v;
        b = 1.164 * y + 2.112 * u;
        break;
    case 3:
        r = 1.164 * y + 1.596 * v;
        g = 1.164 * y - 0.392 * u - 0.813 * v;
        b = 1.164 * y + 2.017 * u;
        break;
    default:
        r = y + 1.4 * v;
        g = y - 0.343 * u - 0.711 * v;
        b = y + 1.765 * u;
        break;
    }
    const double rgb[3] = {r, g, b};
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<int>(std::lround(Clamp01(std::pow(rgb[i], gamma)) * 255.0));
}

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

TEST(YUVShowViewTest, ColourRangesAndGamma)
{
    struct Case {
        int range;
        float gamma;
        uint8_t y, u, v;
    };
    const Case cases[] = {
        {1, 1.0f, 120, 110, 140}, {2, 1.0f, 120, 110, 140}, {3, 1.0f, 120, 110, 140}, {4, 1.0f, 120, 110, 140},
        {1, 2.0f, 120, 110, 140}, {2, 2.0f, 120, 110, 140}, {3, 2.0f, 120, 110, 140}, {4, 2.0f, 120, 110, 140},
        {4, 2.0f, 128, 128, 128}, {4, 1.0f, 255, 128, 128},
        {1, 1.0f, 16, 128, 128},  // video-range black shows dark grey, not black
        {1, 1.0f, 255, 128, 128}, // 1.164 clamps to white
    };
    const std::string path = TestPath("ranges.yuv");
    for (const Case& c : cases) {
        WriteBytes(path, UniformI420(16, 16, c.y, c.u, c.v));
        ViewHarness view(path, 16, 16, "YUV_TYPE_I420", 120, 120);
        view->SetColorRange(c.range);
        view->SetGamma(c.gamma);
        int rgb[3];
        ExpectedRgb(c.range, c.gamma, c.y, c.u, c.v, rgb);
        ExpectPixel(view.Grab(), 60, 60, rgb[0], rgb[1], rgb[2], 2,
                    "range " + std::to_string(c.range) + " gamma " + std::to_string(c.gamma));
    }
    // The two reference points: 0.25 grey at gamma 2 and 0.073 grey for black.
    int grey[3];
    ExpectedRgb(4, 2.0, 128, 128, 128, grey);
    EXPECT_NEAR(grey[0], 64, 1);
    ExpectedRgb(1, 1.0, 16, 128, 128, grey);
    EXPECT_NEAR(grey[1], 19, 1);
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
            const int expected = static_cast<int>(std::lround((y / 255.0 + 1.4 * (128 / 255.0 - 0.5)) * 255));
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

void Wheel(QWidget* w, int delta)
{
    QWheelEvent event(QPointF(10, 10), w->mapToGlobal(QPoint(10, 10)), QPoint(), QPoint(0, delta), Qt::NoButton,
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

TEST(YUVShowViewTest, WheelZoom)
{
    const std::string path = TestPath("zoom.yuv");
    WriteBytes(path, UniformI420(1920, 1080, 60, 128, 128));
    ViewHarness view(path, 1920, 1080, "YUV_TYPE_I420", 800, 600);
    view.Grab();
    for (int i = 0; i < 3; ++i)
        Wheel(view.get(), 120);
    EXPECT_NEAR(view->Zoom(), 1.036f, 1e-5);
    QList<QVariant> ruler = LastRuler(view);
    ASSERT_EQ(ruler.size(), 4);
    EXPECT_EQ(ruler.at(0).toInt(), -14); // 800 * 1.036 wide, centred
    EXPECT_EQ(ruler.at(1).toInt(), 814);

    for (int i = 0; i < 100; ++i)
        Wheel(view.get(), -120);
    EXPECT_EQ(view->Zoom(), 0.0f);
    ruler = LastRuler(view);
    EXPECT_EQ(ruler.at(0).toInt(), ruler.at(1).toInt()) << "collapsed to a point";
    Wheel(view.get(), 120);
    EXPECT_NEAR(view->Zoom(), 0.012f, 1e-6);
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

    // Zoom 0: positions are not numbers; the rectangle keeps its values.
    for (int i = 0; i < 100; ++i)
        Wheel(view.get(), -120);
    ASSERT_EQ(view->Zoom(), 0.0f);
    view.Grab();
    Mouse(view.get(), QEvent::MouseButtonPress, 400, 300);
    ASSERT_EQ(spy.count(), 7);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(std::isnan(spy.last().at(i).toFloat()));
    EXPECT_NEAR(view->RectEndX(), 2 / 800.0f, 1e-6);
    // Off the centre the positions are infinite: still no snapping to the
    // frame's edges.
    Mouse(view.get(), QEvent::MouseButtonPress, 10, 10);
    Mouse(view.get(), QEvent::MouseButtonRelease, 700, 500);
    ASSERT_EQ(spy.count(), 9);
    EXPECT_NEAR(spy.last().at(0).toFloat(), 790 / 800.0f, 1e-6);
    EXPECT_FLOAT_EQ(spy.last().at(1).toFloat(), 0.0f);
    EXPECT_NEAR(spy.last().at(2).toFloat(), 2 / 800.0f, 1e-6);
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
