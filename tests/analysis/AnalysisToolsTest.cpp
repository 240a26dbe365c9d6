// The analysis window's tools: keyboard, frame export, stale results.
#include "AnalysisFixtures.h"
#include "MessageCapture.h"
#include "../cli/CliRunner.h"

#include "analysis/LumoImageView.h"
#include "analysis/MetricPlot.h"
#include "analysis/SequenceMetrics.h"
#include "analysis/VideoCtrBar.h"
#include "analysis/VideoTimeLine.h"
#include "render/YUVShowView.h"
#include "render/YUVWidget.h"

#include <QCheckBox>
#include <QFile>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QImage>
#include <QRadioButton>
#include <QLabel>
#include <QPointer>
#include <QShortcut>
#include <QSignalSpy>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace fixtures;

namespace {

constexpr int kW = 64;
constexpr int kH = 48;
constexpr int kFrames = 25;

class AnalysisToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path1_ = WriteI420("tools1.yuv", kW, kH, kFrames, 0, 1);
        path2_ = WriteI420("tools2.yuv", kW, kH, kFrames, 5, 2);
        window_ = new LumoImageView(lumo::LumoYuvReader(path1_.toStdString(), kW, kH, "YUV_TYPE_I420"));
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }

    void TearDown() override
    {
        LumoImageView::SetSaveFileChooser({});
        if (window_)
            window_->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    bool Open2nd(const QString& path, int yuvIndex = 0)
    {
        if (!OpenThroughDialog(path, yuvIndex, kW, kH,
                               [&] { window_->findChild<QPushButton*>("open2")->click(); }))
            return false;
        // A view takes frame indexes once its GL is up (the first paint).
        return window_->SecondYUVWidget() &&
               QTest::qWaitFor([&] { return window_->SecondYUVWidget()->View()->isValid(); }, 5000);
    }

    // Presses a key of the window. Tests share one display, so the window
    // may not hold the keyboard focus: its shortcut is triggered directly.
    void Press(const QKeySequence& key)
    {
        bool found = false;
        for (QShortcut* shortcut : window_->findChildren<QShortcut*>()) {
            if (shortcut->key() == key) {
                found = true;
                emit shortcut->activated();
            }
        }
        ASSERT_TRUE(found) << key.toString().toStdString();
    }

    QString MetricLabel() const { return window_->findChild<QLabel*>("psnr_label")->text(); }

    int LayoutIndex(const char* name) const
    {
        for (int i = 0; i < lumo::YuvTypeTable::Instance().Count(); ++i) {
            lumo::YuvTypeInfo info;
            lumo::YuvTypeTable::Instance().GetByIndex(i, info);
            if (info.name == name)
                return i;
        }
        return -1;
    }

    bool WaitForSequence()
    {
        return QTest::qWaitFor([&] { return window_->Sequence()->IsFinished(); }, 20000);
    }

    QString path1_;
    QString path2_;
    QPointer<LumoImageView> window_;
};

TEST_F(AnalysisToolsTest, KeysSelectFramesAsADoubleClickDoes)
{
    ASSERT_TRUE(Open2nd(path2_));
    const int64_t frameBytes = kW * kH * 3 / 2;
    const struct {
        int key;
        int expected;
    } steps[] = {
        {Qt::Key_Right, 1}, {Qt::Key_Right, 2},     {Qt::Key_Left, 1},  {Qt::Key_PageDown, 11},
        {Qt::Key_PageDown, 21}, {Qt::Key_PageDown, 24}, {Qt::Key_Right, 24}, {Qt::Key_PageUp, 14},
        {Qt::Key_Home, 0},  {Qt::Key_Left, 0},      {Qt::Key_End, 24},
    };
    for (const auto& s : steps) {
        Press(QKeySequence(s.key));
        EXPECT_EQ(window_->CtrBar()->CurrentIndex(), s.expected) << s.key;
        EXPECT_EQ(window_->CtrBar()->FirstTimeLine()->CurrentFrame(), s.expected) << s.key;
        EXPECT_EQ(window_->SecondYUVWidget()->View()->FrameOffset(), s.expected * frameBytes) << s.key;
        // A selection compares the pair, as a double click does.
        ASSERT_TRUE(QTest::qWaitFor([&] { return window_->RunningMetricJobs() == 0; }, 5000));
        EXPECT_EQ(MetricLabel(), ExpectedMetricText(I420FrameFromFile(path1_, kW, kH, s.expected),
                                                    I420FrameFromFile(path2_, kW, kH, s.expected), kW, kH, 1))
            << s.key;
    }
    // The time line follows a frame that left its view.
    VideoTimeLine* line = window_->CtrBar()->FirstTimeLine();
    EXPECT_GE(24 * VideoTimeLine::kCellWidth - line->ScrollOffset(), 0);
    EXPECT_LE(25 * VideoTimeLine::kCellWidth - line->ScrollOffset(), line->width());

    Press(QKeySequence(Qt::Key_Space));
    EXPECT_TRUE(window_->CtrBar()->IsPlaying());
    Press(QKeySequence(Qt::Key_Space));
    EXPECT_FALSE(window_->CtrBar()->IsPlaying());

    Press(QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), MetricLabel());
}

TEST_F(AnalysisToolsTest, StatusLineShowsBothFilesAndTheirDifference)
{
    ASSERT_TRUE(Open2nd(path2_));
    window_->CtrBar()->SelectFrame(3);
    YUVShowView* second = window_->SecondYUVWidget()->View();
    const int64_t offset = 3 * kW * kH * 3 / 2;
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->PlanesOffset() == offset; }, 5000));
    EXPECT_TRUE(window_->findChild<QCheckBox*>("diff_checkbox")->isEnabled());
    int px = -1;
    int py = -1;
    const QPoint at = second->rect().center();
    ASSERT_TRUE(second->PixelAt(at.x(), at.y(), &px, &py));
    QMouseEvent hover(QEvent::MouseMove, at, second->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(second, &hover);
    const std::vector<uint8_t> a = I420FrameFromFile(path1_, kW, kH, 3);
    const std::vector<uint8_t> b = I420FrameFromFile(path2_, kW, kH, 3);
    const size_t y = size_t(py) * kW + px;
    const size_t u = size_t(kW) * kH + size_t(py / 2) * (kW / 2) + px / 2;
    const size_t v = u + size_t(kW) * kH / 4;
    const QString text = window_->findChild<QLabel*>("pixel_info_label")->text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("x %1, y %2").arg(px).arg(py))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("A: Y %1 U %2 V %3").arg(a[y]).arg(a[u]).arg(a[v])))
        << text.toStdString();
    // The window opens in BT.601 full range: R = Y + 1.402 (V - 128), ...
    auto level = [](double x) { return static_cast<int>(std::lround(std::clamp(x, 0.0, 255.0))); };
    const QString rgb = QStringLiteral("→ R %1 G %2 B %3")
                            .arg(level(a[y] + 1.402 * (a[v] - 128)))
                            .arg(level(a[y] - 0.344136 * (a[u] - 128) - 0.714136 * (a[v] - 128)))
                            .arg(level(a[y] + 1.772 * (a[u] - 128)));
    EXPECT_TRUE(text.contains(rgb)) << text.toStdString() << " wants " << rgb.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("B: Y %1 U %2 V %3").arg(b[y]).arg(b[u]).arg(b[v])))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("B−A: Y %1").arg(int(b[y]) - int(a[y]) > 0
                                                                  ? QStringLiteral("+%1").arg(int(b[y]) - int(a[y]))
                                                                  : QString::number(int(b[y]) - int(a[y])))))
        << text.toStdString();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(second, &leave);
    EXPECT_TRUE(window_->findChild<QLabel*>("pixel_info_label")->text().isEmpty());
}

// A 4:2:0 file of 16-bit words with random samples of `depth` bits at
// `shift` and every other bit of the word set: what the reader must drop.
QString WriteDeep420(const QString& name, const char* type, int frames, int shift, uint32_t seed,
                     std::vector<uint16_t>* words)
{
    const int64_t count = lumo::GetFrameSize(kW, kH, type) / 2 * frames;
    words->resize(static_cast<size_t>(count));
    const uint16_t sample = static_cast<uint16_t>(1023u << shift);
    for (uint16_t& w : *words) {
        seed = seed * 1664525u + 1013904223u;
        w = static_cast<uint16_t>((seed >> 16) | ~sample);
    }
    QFile file(TmpPath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(reinterpret_cast<const char*>(words->data()), static_cast<qint64>(words->size() * 2));
    return file.fileName();
}

// The status line's "Y … U … V …" of pixel (x, y) of frame `frame`, taken
// straight from the words of an I010 or P010 file.
QString NativeSamplesText(const std::vector<uint16_t>& words, bool semiPlanar, int frame, int x, int y)
{
    const size_t n = size_t(kW) * kH;
    const uint16_t* f = words.data() + frame * n * 3 / 2;
    const uint16_t* chroma = f + n;
    int yuv[3];
    if (semiPlanar) {
        const size_t pair = size_t(y / 2) * kW + size_t(x / 2) * 2;
        yuv[0] = f[size_t(y) * kW + x] >> 6;
        yuv[1] = chroma[pair] >> 6;
        yuv[2] = chroma[pair + 1] >> 6;
    } else {
        const size_t c = size_t(y / 2) * (kW / 2) + size_t(x / 2);
        yuv[0] = f[size_t(y) * kW + x] & 1023;
        yuv[1] = chroma[c] & 1023;
        yuv[2] = chroma[n / 4 + c] & 1023;
    }
    return QStringLiteral("Y %1 U %2 V %3").arg(yuv[0]).arg(yuv[1]).arg(yuv[2]);
}

TEST_F(AnalysisToolsTest, StatusLineShowsDeepFilesAtTheirOwnDepth)
{
    std::vector<uint16_t> i010;
    std::vector<uint16_t> p010;
    const QString pathI010 = WriteDeep420("deep_i010.yuv", "YUV_TYPE_I010", 5, 0, 11, &i010);
    const QString pathP010 = WriteDeep420("deep_p010.yuv", "YUV_TYPE_P010", 5, 6, 12, &p010);
    window_->close();
    window_ = new LumoImageView(lumo::LumoYuvReader(pathI010.toStdString(), kW, kH, "YUV_TYPE_I010"));
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    auto* label = window_->findChild<QLabel*>("pixel_info_label");
    // Shows `frame` and hovers the middle of a view: the frame pixel there.
    auto hover = [&](int frame, YUVShowView* view) {
        if (frame > 0)
            window_->CtrBar()->SelectFrame(frame);
        for (YUVWidget* widget : {window_->FirstYUVWidget(), window_->SecondYUVWidget()}) {
            YUVShowView* shown = widget->View();
            EXPECT_TRUE(QTest::qWaitFor([&] { return shown->PlanesOffset() == shown->FrameOffset(); }, 5000));
        }
        const QPoint at = view->rect().center();
        QPoint pixel;
        EXPECT_TRUE(view->PixelAt(at.x(), at.y(), &pixel.rx(), &pixel.ry()));
        QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        return pixel;
    };

    // Both 10-bit: each at its depth and their difference, in frame 0 as the
    // views read it themselves and in frame 3 as the loader read it.
    ASSERT_TRUE(Open2nd(pathP010, LayoutIndex("YUV_TYPE_P010")));
    for (int frame : {0, 3}) {
        const QPoint p = hover(frame, (frame ? window_->SecondYUVWidget() : window_->FirstYUVWidget())->View());
        const QString a = NativeSamplesText(i010, false, frame, p.x(), p.y());
        const QString b = NativeSamplesText(p010, true, frame, p.x(), p.y());
        QString difference = QStringLiteral("B−A:");
        for (int k : {1, 3, 5}) {
            const int d = b.section(' ', k, k).toInt() - a.section(' ', k, k).toInt();
            difference += QStringLiteral(" %1 %2").arg(a.section(' ', k - 1, k - 1),
                                                       d > 0 ? QStringLiteral("+%1").arg(d) : QString::number(d));
        }
        const QString text = label->text();
        EXPECT_TRUE(text.startsWith(QStringLiteral("x %1, y %2    A: %3 → R ").arg(p.x()).arg(p.y()).arg(a)))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("B: ") + b + QStringLiteral(" → R "))) << text.toStdString();
        EXPECT_TRUE(text.endsWith(difference)) << text.toStdString() << " / " << difference.toStdString();
    }

    // Files of different depths are not compared: each its own, no difference.
    ASSERT_TRUE(Open2nd(path2_));
    const QPoint p = hover(1, window_->SecondYUVWidget()->View());
    const std::vector<uint8_t> b = I420FrameFromFile(path2_, kW, kH, 1);
    const size_t u = size_t(kW) * kH + size_t(p.y() / 2) * (kW / 2) + p.x() / 2;
    const QString text = label->text();
    EXPECT_TRUE(text.contains(QStringLiteral("A: ") + NativeSamplesText(i010, false, 1, p.x(), p.y())))
        << text.toStdString();
    EXPECT_TRUE(text.contains(
        QStringLiteral("B: Y %1 U %2 V %3").arg(b[size_t(p.y()) * kW + p.x()]).arg(b[u]).arg(b[u + kW * kH / 4])))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("B−A: -"))) << text.toStdString();
}

TEST_F(AnalysisToolsTest, FitKeyShowsTheWholeFrameCentred)
{
    YUVShowView* view = window_->FirstYUVWidget()->View();
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 1200), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QMouseEvent move1(QEvent::MouseMove, QPoint(20, 20), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move2(QEvent::MouseMove, QPoint(60, 35), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move1);
    QApplication::sendEvent(view, &move2);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(60, 35));
    ASSERT_NE(view->Zoom(), 1.0f);
    ASSERT_NE(view->PanX(), 0);

    // A narrow window and a wide one: zoom 1 cuts the frame in the wide one.
    for (const QSize size : {QSize(900, 900), QSize(1900, 700)}) {
        window_->resize(size);
        QApplication::processEvents();
        QSignalSpy ruler(view, &YUVShowView::updataRuler);
        Press(QKeySequence(Qt::Key_F));
        EXPECT_LE(view->Zoom(), 1.0f);
        EXPECT_EQ(view->PanX(), 0);
        EXPECT_EQ(view->PanY(), 0);
        view->grabFramebuffer(); // paints, which reports the frame's edges
        ASSERT_FALSE(ruler.isEmpty());
        const QList<QVariant> edges = ruler.takeLast();
        const int left = edges[0].toInt();
        const int right = edges[1].toInt();
        const int top = edges[2].toInt();
        const int bottom = edges[3].toInt();
        const int w = view->width();
        const int h = view->height();
        SCOPED_TRACE(testing::Message() << "view " << w << "x" << h << ": " << left << ".." << right << ", " << top
                                        << ".." << bottom);
        EXPECT_TRUE(left >= -1 && right <= w + 1 && top >= -1 && bottom <= h + 1);
        EXPECT_TRUE(right - left >= w - 2 || bottom - top >= h - 2);
        EXPECT_NEAR(left + right, w, 2);
        EXPECT_NEAR(top + bottom, h, 2);
    }
}

TEST_F(AnalysisToolsTest, LinkedViewsKeepTheSamePixelUnderTheSamePlace)
{
    ASSERT_TRUE(Open2nd(path2_));
    YUVShowView* first = window_->FirstYUVWidget()->View();
    YUVShowView* second = window_->SecondYUVWidget()->View();
    auto* link = window_->findChild<QCheckBox*>("linkViewsCheck");
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->isChecked());
    EXPECT_TRUE(link->isEnabled());

    auto samePixels = [&] {
        first->grabFramebuffer();
        second->grabFramebuffer();
        for (const QPoint p : {QPoint(3, 3), first->rect().center(), QPoint(first->width() - 4, first->height() - 4)}) {
            int a[2] = {-1, -1};
            int b[2] = {-1, -1};
            const bool inA = first->PixelAt(p.x(), p.y(), &a[0], &a[1]);
            const bool inB = second->PixelAt(p.x(), p.y(), &b[0], &b[1]);
            if (inA != inB || a[0] != b[0] || a[1] != b[1])
                return false;
        }
        return true;
    };
    const QPoint at = first->rect().center() + QPoint(7, -5);
    QWheelEvent wheel(at, first->mapToGlobal(at), QPoint(), QPoint(0, 120 * 12), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(first, &wheel);
    EXPECT_TRUE(samePixels()) << "wheel";
    Press(QKeySequence(Qt::Key_Plus));
    EXPECT_TRUE(samePixels()) << "+";
    Press(QKeySequence(Qt::Key_1));
    EXPECT_TRUE(samePixels()) << "1";
    EXPECT_NEAR(first->PixelScale(), 1.0, 1e-3);
    EXPECT_NEAR(second->PixelScale(), 1.0, 1e-3);
    Press(QKeySequence(Qt::Key_Minus));
    EXPECT_TRUE(samePixels()) << "-";

    link->setChecked(false);
    const float zoom = second->Zoom();
    QApplication::sendEvent(first, &wheel);
    EXPECT_EQ(second->Zoom(), zoom) << "unlinked";
    link->setChecked(true);
    EXPECT_TRUE(samePixels()) << "linked again";
}

TEST_F(AnalysisToolsTest, SavedFrameIsWhatTheCommandLineExportsWithTheWindowsRangeAndGamma)
{
    // A packed 4:2:2 second file: its own layout goes into the PNG.
    const QString yuyv = WriteYuv("tools2.yuyv", kW, kH, kFrames, "YUV_TYPE_YUYV", 3, 7);
    ASSERT_TRUE(Open2nd(yuyv, LayoutIndex("YUV_TYPE_YUYV")));
    ScratchDir dir;
    QString target;
    LumoImageView::SetSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&) {
        return target;
    });
    const struct {
        bool second;
        int frame;
        QString file;
        const char* layout;
        const char* radio;
        double gamma;
        const char* range;
        const char* gammaText;
    } cases[] = {
        {false, 7, path1_, "YUV_TYPE_I420", "Bt601FullRange", 1.0, "bt601full", "1"},
        {true, 3, yuyv, "YUV_TYPE_YUYV", "Bt601VideoRange", 2.2, "bt601", "2.2"},
        {false, 5, path1_, "YUV_TYPE_I420", "Bt709VideoRange", 0.45, "bt709", "0.45"},
    };
    for (const auto& c : cases) {
        window_->CtrBar()->SelectFrame(c.frame);
        window_->findChild<QRadioButton*>(c.radio)->click();
        window_->findChild<QDoubleSpinBox*>("gamma_spin_box")->setValue(c.gamma);
        target = QString::fromStdString(dir.File(std::string("gui") + c.layout + c.range + ".png"));
        // The view under the mouse is the one saved.
        YUVShowView* view = window_->SecondYUVWidget()->View();
        const QPoint at = view->rect().center();
        QMouseEvent hover(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(view, c.second ? static_cast<QEvent*>(&hover) : &leave);
        Press(QKeySequence::Save);
        const std::string cli = dir.File(std::string("cli") + c.layout + c.range + ".png");
        const CliResult run =
            RunCli({"export", c.file.toStdString(), "--size", "64x48", "--layout", c.layout, "--frame",
                    std::to_string(c.frame), "--range", c.range, "--gamma", c.gammaText, "-o", cli});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<uint8_t> png = ReadBytes(target.toStdString());
        EXPECT_FALSE(png.empty()) << c.layout;
        EXPECT_EQ(png, ReadBytes(cli)) << c.layout << " " << c.range;
        const QImage image(target);
        EXPECT_EQ(image.size(), QSize(kW, kH)) << "one PNG pixel per frame pixel";
    }
}

TEST_F(AnalysisToolsTest, SavedFrameWithDiffOnIsTheDifferencePicture)
{
    ASSERT_TRUE(Open2nd(path2_));
    ScratchDir dir;
    const QString target = QString::fromStdString(dir.File("diff.png"));
    LumoImageView::SetSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&) {
        return target;
    });
    window_->CtrBar()->SelectFrame(4);
    YUVShowView* first = window_->FirstYUVWidget()->View();
    YUVShowView* second = window_->SecondYUVWidget()->View();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->PlanesOffset() == second->PlanesOffset() &&
                                             first->PlanesOffset() == 4LL * kW * kH * 3 / 2; }, 5000));
    window_->SetDiffShown(true, 4);
    const QPoint at = second->rect().center();
    QMouseEvent hover(QEvent::MouseMove, at, second->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(second, &hover);
    Press(QKeySequence::Save);
    const QImage image(target);
    ASSERT_EQ(image.size(), QSize(kW, kH));
    // BT.601 full range: R = Y + 1.402 (V - 128) / 255 in levels, and so
    // on, on the signed differences 128 + 4 (b - a).
    for (const QPoint p : {QPoint(0, 0), QPoint(17, 9), QPoint(63, 47)}) {
        int a[3];
        int b[3];
        ASSERT_TRUE(first->ShownSampleAt(p.x(), p.y(), a));
        ASSERT_TRUE(second->ShownSampleAt(p.x(), p.y(), b));
        double d[3];
        for (int i = 0; i < 3; ++i)
            d[i] = std::clamp(128 + 4 * (b[i] - a[i]), 0, 255);
        const double r = d[0] + 1.402 * (d[2] - 128);
        const double g = d[0] - 0.344136 * (d[1] - 128) - 0.714136 * (d[2] - 128);
        const double bl = d[0] + 1.772 * (d[1] - 128);
        const QRgb px = image.pixel(p);
        EXPECT_NEAR(qRed(px), std::clamp(r, 0.0, 255.0), 0.51) << p.x() << "," << p.y();
        EXPECT_NEAR(qGreen(px), std::clamp(g, 0.0, 255.0), 0.51) << p.x() << "," << p.y();
        EXPECT_NEAR(qBlue(px), std::clamp(bl, 0.0, 255.0), 0.51) << p.x() << "," << p.y();
    }
}

TEST_F(AnalysisToolsTest, ResultForAClosedOrReplacedSecondFileIsDropped)
{
    ASSERT_TRUE(Open2nd(path2_));
    for (bool replace : {false, true}) {
        MessageCapture capture;
        // The job starts and the second file goes before its result arrives
        // (without the plot's table, which would answer at once).
        window_->Sequence()->Cancel();
        window_->onFrameCtrRefresh(4, 1);
        if (replace)
            window_->Open2ndFile(lumo::LumoYuvReader(path1_.toStdString(), kW, kH, "YUV_TYPE_I420"));
        else
            window_->findChild<QPushButton*>("close2")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window_->RunningMetricJobs() == 0; }, 5000));
        QTest::qWait(50);
        // A replacing file is compared at the shown frame at once: the text
        // and the usage events are of the new pair only.
        const QString expected = replace ? ExpectedMetricText(I420FrameFromFile(path1_, kW, kH, 4),
                                                              I420FrameFromFile(path1_, kW, kH, 4), kW, kH, 1)
                                         : LumoImageView::DashMetricText();
        EXPECT_EQ(MetricLabel(), expected) << replace;
        const QStringList events = capture.lines().filter("LumoImageViewIQAClick");
        EXPECT_EQ(events.size(), replace ? 1 : 0);
        EXPECT_TRUE(events.filter("tools2.yuv").isEmpty()) << replace;
    }
}

TEST_F(AnalysisToolsTest, PlotCsvIsWhatTheCommandLineWrites)
{
    // A semi-planar second file one frame shorter: the common frames count.
    const QString nv21 = WriteYuv("tools2.nv21", kW, kH, kFrames - 1, "YUV_TYPE_NV21", 4, 3);
    ASSERT_TRUE(Open2nd(nv21, LayoutIndex("YUV_TYPE_NV21")));
    ASSERT_TRUE(window_->Plot()->isVisible());
    ScratchDir dir;
    QString target;
    LumoImageView::SetSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&) {
        return target;
    });
    const struct {
        const char* radio;
        const char* range;
    } ranges[] = {{nullptr, "bt601full"}, {"Bt709VideoRange", "bt709"}, {"Bt601VideoRange", "bt601"}};
    for (const auto& r : ranges) {
        // A range change compares the sequence again.
        if (r.radio)
            window_->findChild<QRadioButton*>(r.radio)->click();
        ASSERT_TRUE(WaitForSequence()) << r.range;
        EXPECT_EQ(window_->Sequence()->Results().size(), size_t(kFrames - 1));
        target = QString::fromStdString(dir.File(std::string("gui_") + r.range + ".csv"));
        auto* save = window_->findChild<QPushButton*>("plot_save_csv");
        ASSERT_TRUE(save->isEnabled());
        save->click();
        const CliResult cli = RunCli({"compare", path1_.toStdString(), nv21.toStdString(), "--size", "64x48",
                                      "--layout-b", "YUV_TYPE_NV21", "--range", r.range, "--format", "csv"});
        ASSERT_EQ(cli.status, 0) << cli.err;
        const std::vector<uint8_t> csv = ReadBytes(target.toStdString());
        EXPECT_EQ(std::string(csv.begin(), csv.end()), cli.out) << r.range;
    }
}

TEST_F(AnalysisToolsTest, SelectionTakesThePlotsNumbersOnlyForThePairAndRangeCompared)
{
    auto expected = [&](const QString& second, int frame, int range) {
        return ExpectedMetricText(I420FrameFromFile(path1_, kW, kH, frame), I420FrameFromFile(second, kW, kH, frame),
                                  kW, kH, range);
    };
    ASSERT_TRUE(Open2nd(path2_));
    ASSERT_TRUE(WaitForSequence());
    // A frame in the table needs no comparison: the text is there at once.
    window_->CtrBar()->SelectFrame(7);
    EXPECT_EQ(window_->RunningMetricJobs(), 0);
    EXPECT_EQ(MetricLabel(), expected(path2_, 7, 1));

    // Neither another range nor another second file is answered from the
    // table of the one before.
    window_->findChild<QRadioButton*>("Bt709VideoRange")->click();
    window_->CtrBar()->SelectFrame(9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->RunningMetricJobs() == 0; }, 5000));
    EXPECT_EQ(MetricLabel(), expected(path2_, 9, 2));
    const QString path3 = WriteI420("tools3.yuv", kW, kH, kFrames, 9, 4);
    ASSERT_TRUE(Open2nd(path3));
    window_->CtrBar()->SelectFrame(11);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->RunningMetricJobs() == 0; }, 5000));
    EXPECT_EQ(MetricLabel(), expected(path3, 11, 2));
}

TEST_F(AnalysisToolsTest, ViewsShowTheSelectionAlsoWhenTheSecondFileGoesMidway)
{
    ASSERT_TRUE(Open2nd(path2_));
    ASSERT_TRUE(WaitForSequence());
    const int64_t frameBytes = kW * kH * 3 / 2;
    YUVShowView* first = window_->FirstYUVWidget()->View();
    // A range change empties the plot's table: the selection is compared.
    window_->findChild<QRadioButton*>("Bt709VideoRange")->click();
    window_->CtrBar()->SelectFrame(6);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->RunningMetricJobs() == 0; }, 5000));
    EXPECT_EQ(first->PlanesOffset(), 6 * frameBytes);
    EXPECT_EQ(window_->SecondYUVWidget()->View()->PlanesOffset(), 6 * frameBytes);

    // The second file closed while a selection is read and compared: the
    // first view still comes to show the selected frame.
    window_->findChild<QRadioButton*>("Bt601VideoRange")->click();
    window_->CtrBar()->SelectFrame(8);
    window_->findChild<QPushButton*>("close2")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return first->PlanesOffset() == 8 * frameBytes; }, 5000));
}

TEST_F(AnalysisToolsTest, ClickingThePlotSelectsThatFrame)
{
    ASSERT_TRUE(Open2nd(path2_));
    ASSERT_TRUE(WaitForSequence());
    MetricPlot* plot = window_->Plot();
    QWidget* area = plot->PlotArea();
    for (int frame : {13, 0, 24}) {
        int x = 0;
        while (x < area->width() && plot->FrameAt(x) != frame)
            ++x;
        ASSERT_LT(x, area->width()) << frame;
        QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(x, area->height() / 2));
        EXPECT_EQ(window_->CtrBar()->CurrentIndex(), frame);
        EXPECT_EQ(window_->CtrBar()->FirstTimeLine()->CurrentFrame(), frame);
    }
    // The worst frame of a curve is its lowest value.
    const auto& results = window_->Sequence()->Results();
    const int worst = plot->WorstFrame(MetricPlot::PsnrY);
    ASSERT_GE(worst, 0);
    for (const auto& m : results)
        EXPECT_GE(m.psnr[0], results[size_t(worst)].psnr[0]);
}

TEST_F(AnalysisToolsTest, ClosingMidPlotLeavesNoThread)
{
    const int before = ThreadCount();
    // Enough frames that the comparison is still running when the window goes.
    const QString long1 = WriteI420("long1.yuv", 320, 240, 400, 0, 1);
    const QString long2 = WriteI420("long2.yuv", 320, 240, 400, 9, 2);
    QPointer<LumoImageView> window =
        new LumoImageView(lumo::LumoYuvReader(long1.toStdString(), 320, 240, "YUV_TYPE_I420"));
    window->show();
    ASSERT_TRUE(OpenThroughDialog(long2, 0, 320, 240, [&] { window->findChild<QPushButton*>("open2")->click(); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Sequence()->Results().empty(); }, 10000));
    ASSERT_FALSE(window->Sequence()->IsFinished());
    EXPECT_GT(window->Sequence()->RunningThreads(), 0);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_LE(WaitForThreadCount(before, 5000), before);
}

} // namespace

// The header once named no depth column while 10-bit rows carried one.
TEST(SequenceCsv, IsWhatTheCommandLineWritesAtEveryDepth)
{
    ScratchDir dir;
    for (const char* layout : {"YUV_TYPE_I420", "YUV_TYPE_I010"}) {
        SCOPED_TRACE(layout);
        const int64_t frameBytes = lumo::GetFrameSize(kW, kH, layout);
        const QString a = QString::fromStdString(dir.File(std::string("a_") + layout + ".yuv"));
        const QString b = QString::fromStdString(dir.File(std::string("b_") + layout + ".yuv"));
        for (const auto& [path, noise, seed] : {std::tuple<QString, int, uint32_t>{a, 0, 1}, {b, 6, 2}}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(PictureFrames(kW, kH, 3, frameBytes, noise, seed));
        }
        SequenceMetrics sequence;
        sequence.Start(lumo::LumoYuvReader(a.toStdString(), kW, kH, layout),
                       lumo::LumoYuvReader(b.toStdString(), kW, kH, layout), 3, 1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return sequence.IsFinished(); }, 20000));
        const CliResult cli = RunCli({"compare", a.toStdString(), b.toStdString(), "--size", "64x48", "--layout",
                                      layout, "--format", "csv"});
        ASSERT_EQ(cli.status, 0) << cli.err;
        EXPECT_EQ(sequence.Csv(), cli.out);
    }
}

TEST_F(AnalysisToolsTest, PlotCsvCarriesTheCodecMetricsShown)
{
    ASSERT_TRUE(Open2nd(path2_));
    ASSERT_TRUE(WaitForSequence());
    ScratchDir dir;
    QString target;
    LumoImageView::SetSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&) {
        return target;
    });
    const struct {
        const char* toggle;
        const char* metrics;
    } steps[] = {{"plot_ssim_y", "all,ssim"}, {"plot_psnr_yuv", "all,ssim,psnr_yuv"},
                 {"plot_ssim_y", "all,psnr_yuv"}, {"plot_ms_ssim", "all,ms_ssim,psnr_yuv"}};
    for (const auto& step : steps) {
        window_->findChild<QCheckBox*>(step.toggle)->click();
        ASSERT_TRUE(WaitForSequence()) << step.metrics;
        target = QString::fromStdString(dir.File(std::string("gui_") + step.toggle + ".csv"));
        window_->findChild<QPushButton*>("plot_save_csv")->click();
        const CliResult cli = RunCli({"compare", path1_.toStdString(), path2_.toStdString(), "--size", "64x48",
                                      "--format", "csv", "--metrics", step.metrics});
        ASSERT_EQ(cli.status, 0) << cli.err;
        const std::vector<uint8_t> csv = ReadBytes(target.toStdString());
        EXPECT_EQ(std::string(csv.begin(), csv.end()), cli.out) << step.metrics;
    }
}

TEST_F(AnalysisToolsTest, RegionLineFollowsTheRectangleAndTheFrame)
{
    ASSERT_TRUE(Open2nd(path2_));
    auto* ctrBar = window_->findChild<VideoCtrBar*>();
    ASSERT_TRUE(ctrBar);
    EXPECT_TRUE(ctrBar->regionText().isEmpty());
    // What compare --roi gives, as the line prints it (6 significant digits).
    auto expected = [&](int frame, const char* roi) {
        const CliResult cli = RunCli({"compare", path1_.toStdString(), path2_.toStdString(), "--size", "64x48",
                                      "--format", "csv", "--metrics", "psnr,ssim", "--frames", std::to_string(frame),
                                      "--roi", roi});
        const QStringList row = QString::fromStdString(cli.out).split('\n')[1].split(',');
        QString text = QStringLiteral("ROI %1 %2x%3【PSNR Y: %4, U: %5, V: %6】【SSIM Y: %7】")
                           .arg(QString(roi).section(',', 0, 1), QString(roi).section(',', 2, 2),
                                QString(roi).section(',', 3, 3));
        for (int column : {5, 6, 7, 8})
            text = text.arg(row[column].toDouble(), 0, 'g', 6);
        return text;
    };
    // Corners in the views' units: x 0..1 from the left, y 0..-1 from the top;
    // drawn from the bottom right to the top left.
    window_->onDrawRect(0.75f, -0.75f, 0.25f, -0.25f);
    const QString first = expected(0, "16,12,32,24");
    EXPECT_TRUE(QTest::qWaitFor([&] { return ctrBar->regionText() == first; }, 5000)) << ctrBar->regionText().toStdString();
    // As the rectangle grows, and on another frame.
    window_->onDrawRect2nd(0.25f, -0.25f, 0.8f, -0.9f);
    ctrBar->SelectFrame(3);
    const QString later = expected(3, "16,12,36,32");
    EXPECT_TRUE(QTest::qWaitFor([&] { return ctrBar->regionText() == later; }, 5000)) << ctrBar->regionText().toStdString();
    // A click without a drag leaves no rectangle: no line.
    window_->onDrawRect(0.5f, -0.5f, 0.5f, -0.5f);
    EXPECT_TRUE(ctrBar->regionText().isEmpty());
    window_->onDrawRect(0.0f, 0.0f, 1.0f, -1.0f);
    window_->findChild<QPushButton*>("close2")->click();
    EXPECT_TRUE(ctrBar->regionText().isEmpty());
}
