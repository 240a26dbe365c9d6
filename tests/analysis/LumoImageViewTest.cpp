// The analysis window: form, colour ranges, plane and histogram switches,
// gamma, mirrored rectangles, second file and comparison results.
#include "AnalysisFixtures.h"

#include "render/ColorChart.h"
#include "analysis/LumoImageView.h"
#include "analysis/MetricPlot.h"
#include "analysis/VideoCtrBar.h"
#include "analysis/VideoTimeLine.h"
#include "iqa/CompareEngine.h"
#include "render/YUVShowView.h"
#include "render/YUVWidget.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

using namespace fixtures;

namespace {

constexpr int kW = 352;
constexpr int kH = 288;
constexpr int kFrames = 12;

const char* kAllBoxes[] = {"channel_checkbox_y",    "channel_checkbox_u",    "channel_checkbox_v",
                           "color_rect_checkbox_y", "color_rect_checkbox_r", "color_rect_checkbox_g",
                           "color_rect_checkbox_b"};

class LumoImageViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path1_ = WriteI420("first.yuv", kW, kH, kFrames, 0, 1);
        path2_ = WriteI420("second.yuv", kW, kH, kFrames, 6, 2);
        window_ = new LumoImageView(lumo::LumoYuvReader(path1_.toStdString(), kW, kH, "YUV_TYPE_I420"));
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }

    void TearDown() override
    {
        if (window_)
            window_->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window_.isNull());
    }

    template <typename T>
    T* Find(const char* name) const
    {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }

    QString MetricLabel() const { return Find<QLabel>("psnr_label")->text(); }

    bool Open2nd(const QString& path, int yuvIndex = 0, int width = kW, int height = kH)
    {
        if (!OpenThroughDialog(path, yuvIndex, width, height, [&] { Find<QPushButton>("open2")->click(); }))
            return false;
        // A view takes frame indexes once its GL is up (the first paint).
        return window_->SecondYUVWidget() &&
               QTest::qWaitFor([&] { return window_->SecondYUVWidget()->View()->isValid(); }, 5000);
    }

    void DoubleClickFrame(VideoTimeLine* line, int frame)
    {
        const QPoint at(frame * VideoTimeLine::kCellWidth - line->ScrollOffset() + 25, 40);
        QMouseEvent event(QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(line, &event);
    }

    // Waits for the comparison started by a frame selection to be shown.
    bool WaitForMetric(const QString& before)
    {
        return QTest::qWaitFor([&] { return window_->RunningMetricJobs() == 0 && MetricLabel() != before; }, 10000);
    }

    std::vector<int32_t> Histogram(ColorChart* chart) const
    {
        std::vector<int32_t> all;
        for (int s = 0; s < ColorChart::kSlots; ++s)
            all.insert(all.end(), chart->Histogram(s), chart->Histogram(s) + ColorChart::kBins);
        return all;
    }

    QString Expected(int frame, int code, const QString& other = QString()) const
    {
        return ExpectedMetricText(I420FrameFromFile(path1_, kW, kH, frame),
                                  I420FrameFromFile(other.isEmpty() ? path2_ : other, kW, kH, frame), kW, kH, code);
    }

    QString path1_;
    QString path2_;
    QPointer<LumoImageView> window_;
};

TEST_F(LumoImageViewTest, NewWindowShowsTheFirstFileWithDefaults)
{
    EXPECT_EQ(window_->objectName(), "LumoImageView");
    EXPECT_EQ(window_->windowTitle(), path1_);
    EXPECT_TRUE(window_->testAttribute(Qt::WA_DeleteOnClose));

    const struct {
        const char* name;
        const char* className;
    } named[] = {
        {"centralwidget", "QWidget"},         {"verticalLayout_3", "QVBoxLayout"},
        {"video_time_line_layout", "QVBoxLayout"}, {"horizontalLayout", "QHBoxLayout"},
        {"verticalLayout", "QVBoxLayout"},    {"label_2", "QLabel"},
        {"Bt709VideoRange", "QRadioButton"},  {"Bt601VideoRange", "QRadioButton"},
        {"Bt601FullRange", "QRadioButton"},   {"GammaOpt", "QVBoxLayout"},
        {"label", "QLabel"},                  {"gamma_spin_box", "QDoubleSpinBox"},
        {"verticalLayout_2", "QVBoxLayout"},  {"verticalLayout_4", "QVBoxLayout"},
        {"image_show_layout", "QHBoxLayout"}, {"color_chart_layout", "QHBoxLayout"},
        {"line", "QFrame"},                   {"VideoCtrBar", "VideoCtrBar"},
    };
    for (const auto& n : named) {
        QObject* object = window_->findChild<QObject*>(QString::fromLatin1(n.name));
        ASSERT_NE(object, nullptr) << n.name;
        EXPECT_STREQ(object->metaObject()->className(), n.className) << n.name;
    }
    for (const char* name : kAllBoxes) {
        ASSERT_NE(Find<QCheckBox>(name), nullptr) << name;
        EXPECT_TRUE(Find<QCheckBox>(name)->isChecked()) << name;
    }
    EXPECT_EQ(Find<QLabel>("label_2")->text(), "Range");
    EXPECT_EQ(Find<QLabel>("label")->text(), "Gamma:");
    EXPECT_EQ(Find<QVBoxLayout>("verticalLayout")->contentsMargins(), QMargins(8, 8, 8, 8));
    EXPECT_EQ(Find<QVBoxLayout>("verticalLayout_2")->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(Find<QFrame>("line")->frameShape(), QFrame::HLine);
    EXPECT_EQ(Find<QFrame>("line")->frameShadow(), QFrame::Sunken);

    auto* gamma = Find<QDoubleSpinBox>("gamma_spin_box");
    EXPECT_EQ(gamma->minimum(), 0.0);
    EXPECT_EQ(gamma->maximum(), 10.0);
    EXPECT_EQ(gamma->value(), 1.0);
    EXPECT_DOUBLE_EQ(gamma->singleStep(), 0.1);

    EXPECT_TRUE(Find<QRadioButton>("Bt601FullRange")->isChecked());
    EXPECT_EQ(window_->ColorRangeId(), 4);
    EXPECT_EQ(MetricLabel(), "【SSIM -】【MSE Y: -, U: -, V: -】【PSNR Y: -, U: -, V: -】");
    EXPECT_FALSE(Find<QPushButton>("close2")->isEnabled());
    EXPECT_EQ(window_->SecondYUVWidget(), nullptr);
    EXPECT_EQ(window_->SecondChart(), nullptr);

    // The chart holds frame 0: every pixel counted once in the luma slot.
    int64_t luma = 0;
    for (int b = 0; b < ColorChart::kBins; ++b)
        luma += window_->FirstChart()->Histogram(0)[b];
    EXPECT_EQ(luma, int64_t(kW) * kH);
    EXPECT_EQ(window_->FirstYUVWidget()->View()->FrameOffset(), 0);
    EXPECT_EQ(window_->fileDescription(),
              QStringLiteral("[read1 file=%1; size=352x288; type=YUV_TYPE_I420]").arg(path1_));
}

TEST_F(LumoImageViewTest, ColourRangesCarryTheirIdsAndMetricCodes)
{
    ASSERT_TRUE(Open2nd(path2_));
    const struct {
        const char* radio;
        const char* text;
        int id;
        int code;
        int frame;
    } ranges[] = {
        {"Bt709VideoRange", "BT709 Video", 1, 2, 2},
        {"Bt601VideoRange", "BT601 Video", 3, 0, 3},
        {"Bt601FullRange", "BT601 Full", 4, 1, 4},
    };
    for (const auto& r : ranges) {
        auto* radio = Find<QRadioButton>(r.radio);
        EXPECT_EQ(radio->text(), r.text);
        radio->click();
        EXPECT_EQ(window_->ColorRangeId(), r.id) << r.radio;
        EXPECT_EQ(LumoImageView::MetricColorRange(r.id), r.code) << r.radio;
        // The comparison uses the code of the current range.
        const QString before = MetricLabel();
        DoubleClickFrame(window_->CtrBar()->FirstTimeLine(), r.frame);
        ASSERT_TRUE(WaitForMetric(before)) << r.radio;
        EXPECT_EQ(MetricLabel(), Expected(r.frame, r.code)) << r.radio;
    }
    for (int other : {0, 2, 5, -1})
        EXPECT_EQ(LumoImageView::MetricColorRange(other), 0) << other;
}

TEST_F(LumoImageViewTest, MetricTextFormatsEachValueInItsPlace)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double v[7];
        const char* text;
    } cases[] = {
        {{1, 0, 0, 0, 999.99, 999.99, 999.99},
         "【SSIM 1】【MSE Y: 0, U: 0, V: 0】【PSNR Y: 999.99, U: 999.99, V: 999.99】"},
        {{0.912345678, 1.5, 2.25, 3.125, 46.3717, 44.6108, 43.1619},
         "【SSIM 0.912346】【MSE Y: 1.5, U: 2.25, V: 3.125】【PSNR Y: 46.3717, U: 44.6108, V: 43.1619】"},
        // A value that could not be computed (SSIM out of memory, empty
        // chroma planes) shows the dash, never a number.
        {{inf, 65025, 1234567, 0.000012345, 0, nan, nan},
         "【SSIM -】【MSE Y: 65025, U: 1.23457e+06, V: 1.2345e-05】【PSNR Y: 0, U: -, V: -】"},
        {{nan, nan, -inf, 0, inf, 1, 2}, "【SSIM -】【MSE Y: -, U: -, V: 0】【PSNR Y: -, U: 1, V: 2】"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LumoImageView::MetricText(c.v[0], c.v[1], c.v[2], c.v[3], c.v[4], c.v[5], c.v[6]),
                  QString::fromUtf8(c.text));
        // The slot shows the same text in the control bar.
        window_->workFinished(c.v[0], c.v[1], c.v[2], c.v[3], c.v[4], c.v[5], c.v[6]);
        EXPECT_EQ(MetricLabel(), QString::fromUtf8(c.text));
    }
}

TEST_F(LumoImageViewTest, ColourRectBoxesDriveBothChartsOnlyAfterAChange)
{
    auto* r = Find<QCheckBox>("color_rect_checkbox_r");
    auto* y = Find<QCheckBox>("color_rect_checkbox_y");
    ColorChart* chart1 = window_->FirstChart();
    // Construction applied the boxes: slots 1 and 2 are never drawn.
    const int initial[ColorChart::kSlots] = {2, 0, 0, 2, 2, 2};
    for (int s = 0; s < ColorChart::kSlots; ++s)
        EXPECT_EQ(chart1->Shown(s), initial[s]) << s;

    r->setChecked(false);
    EXPECT_EQ(chart1->Shown(3), 0);

    // A chart made after the change still draws every curve.
    ASSERT_TRUE(Open2nd(path2_));
    ColorChart* chart2 = window_->SecondChart();
    ASSERT_NE(chart2, nullptr);
    EXPECT_EQ(chart2->objectName(), "widgetColor2nd");
    EXPECT_EQ(chart2->styleSheet(), "#widgetColor2nd{border-left: 3px solid #000000;}");
    for (int s = 0; s < ColorChart::kSlots; ++s)
        EXPECT_EQ(chart2->Shown(s), 1) << s;

    y->setChecked(false);
    const int after[ColorChart::kSlots] = {0, 0, 0, 0, 2, 2};
    for (int s = 0; s < ColorChart::kSlots; ++s) {
        EXPECT_EQ(chart1->Shown(s), after[s]) << s;
        EXPECT_EQ(chart2->Shown(s), after[s]) << s;
    }
}

TEST_F(LumoImageViewTest, ChannelBoxesSwitchThePlaneThumbnailsOfBothViews)
{
    ASSERT_TRUE(Open2nd(path2_));
    YUVShowView* views[] = {window_->FirstYUVWidget()->View(), window_->SecondYUVWidget()->View()};
    QTest::qWait(50);
    QImage all[2];
    for (int i = 0; i < 2; ++i)
        all[i] = views[i]->grabFramebuffer();

    const char* channels[] = {"channel_checkbox_y", "channel_checkbox_u", "channel_checkbox_v"};
    for (const char* name : channels)
        Find<QCheckBox>(name)->setChecked(false);
    QImage none[2];
    for (int i = 0; i < 2; ++i) {
        none[i] = views[i]->grabFramebuffer();
        EXPECT_NE(all[i], none[i]) << "view " << i;
    }
    // Each plane alone draws something the others do not.
    for (const char* name : channels) {
        Find<QCheckBox>(name)->setChecked(true);
        for (int i = 0; i < 2; ++i) {
            const QImage one = views[i]->grabFramebuffer();
            EXPECT_NE(one, none[i]) << name << " view " << i;
            EXPECT_NE(one, all[i]) << name << " view " << i;
        }
        Find<QCheckBox>(name)->setChecked(false);
    }
}

TEST_F(LumoImageViewTest, GammaReachesTheViewsAndZeroIsAccepted)
{
    YUVShowView* view = window_->FirstYUVWidget()->View();
    QTest::qWait(50);
    const QImage atOne = view->grabFramebuffer();
    auto* gamma = Find<QDoubleSpinBox>("gamma_spin_box");
    gamma->setValue(0.0);
    EXPECT_EQ(gamma->value(), 0.0);
    const QImage atZero = view->grabFramebuffer();
    EXPECT_NE(atOne, atZero);
    gamma->setValue(1.0);
    EXPECT_EQ(view->grabFramebuffer(), atOne);
}

TEST_F(LumoImageViewTest, RectanglesAreMirroredBetweenTheViews)
{
    // Without a second view nothing is mirrored and nothing breaks.
    emit window_->FirstYUVWidget()->signalsUpdateRect(0.1f, -0.1f, 0.2f, -0.2f);

    ASSERT_TRUE(Open2nd(path2_));
    YUVShowView* first = window_->FirstYUVWidget()->View();
    YUVShowView* second = window_->SecondYUVWidget()->View();
    const struct {
        bool fromFirst;
        float r[4];
    } cases[] = {
        {true, {0.25f, -0.125f, 0.75f, -0.5f}},
        {false, {0.5f, -0.25f, 0.875f, -0.75f}},
    };
    for (const auto& c : cases) {
        YUVWidget* from = c.fromFirst ? window_->FirstYUVWidget() : window_->SecondYUVWidget();
        YUVShowView* to = c.fromFirst ? second : first;
        emit from->signalsUpdateRect(c.r[0], c.r[1], c.r[2], c.r[3]);
        EXPECT_FLOAT_EQ(to->RectStartX(), c.r[0]);
        EXPECT_FLOAT_EQ(to->RectStartY(), c.r[1]);
        EXPECT_FLOAT_EQ(to->RectEndX(), c.r[2]);
        EXPECT_FLOAT_EQ(to->RectEndY(), c.r[3]);
    }
}

TEST_F(LumoImageViewTest, DrawSwitchSetsTheModeOfBothViews)
{
    auto* draw = Find<QCheckBox>("drawCheckBox");
    draw->setChecked(true);
    EXPECT_EQ(window_->FirstYUVWidget()->GetDrawMode(), 2);
    // A second view starts in the first one's mode.
    ASSERT_TRUE(Open2nd(path2_));
    EXPECT_EQ(window_->SecondYUVWidget()->GetDrawMode(), 2);
    draw->setChecked(false);
    EXPECT_EQ(window_->FirstYUVWidget()->GetDrawMode(), 1);
    EXPECT_EQ(window_->SecondYUVWidget()->GetDrawMode(), 1);
}

TEST_F(LumoImageViewTest, WithoutASecondFileSelectingKeepsTheDashText)
{
    const QString dash = LumoImageView::DashMetricText();
    DoubleClickFrame(window_->CtrBar()->FirstTimeLine(), 5);
    QTest::qWait(50);
    EXPECT_EQ(MetricLabel(), dash);
    EXPECT_EQ(window_->RunningMetricJobs(), 0);
    EXPECT_EQ(window_->FirstYUVWidget()->View()->FrameOffset(), 5 * kW * kH * 3 / 2);

    // A cancelled dialog leaves one file and the dash text.
    OpenFileDialog::SetFileChooser([](QWidget*, const QString&, const QString&, const QString&) {
        return QStringList{};
    });
    QTimer::singleShot(50, [] {
        if (auto* dialog = qobject_cast<OpenFileDialog*>(QApplication::activeModalWidget()))
            dialog->findChild<QPushButton*>("open_file_cancel")->click();
    });
    Find<QPushButton>("open2")->click();
    OpenFileDialog::SetFileChooser({});
    EXPECT_EQ(window_->SecondYUVWidget(), nullptr);
    EXPECT_EQ(MetricLabel(), dash);
}

TEST_F(LumoImageViewTest, PlaybackTicksMoveOnlyTheViews)
{
    const std::vector<int32_t> frame0 = Histogram(window_->FirstChart());
    window_->onFrameCtrRefresh(6, 0);
    EXPECT_EQ(window_->FirstYUVWidget()->View()->FrameOffset(), 6 * kW * kH * 3 / 2);
    EXPECT_EQ(Histogram(window_->FirstChart()), frame0);

    // A selection's frame is read and counted off the GUI thread.
    window_->onFrameCtrRefresh(6, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Histogram(window_->FirstChart()) != frame0; }, 5000));
    const std::vector<int32_t> frame6 = Histogram(window_->FirstChart());

    // Past the end: the view takes the index, the chart keeps frame 6.
    window_->onFrameCtrRefresh(kFrames + 3, 1);
    QTest::qWait(100);
    EXPECT_EQ(window_->FirstYUVWidget()->View()->FrameOffset(), int64_t(kFrames + 3) * kW * kH * 3 / 2);
    EXPECT_EQ(Histogram(window_->FirstChart()), frame6);

    // A negative index (a drag past frame 0) is ignored altogether.
    window_->onFrameCtrRefresh(-2, 1);
    window_->onFrameCtrRefresh(-1, 0);
    EXPECT_EQ(window_->FirstYUVWidget()->View()->FrameOffset(), int64_t(kFrames + 3) * kW * kH * 3 / 2);
    EXPECT_EQ(Histogram(window_->FirstChart()), frame6);
}

TEST_F(LumoImageViewTest, SecondFileIsComparedAndClosingItRestoresTheDashText)
{
    ASSERT_TRUE(Open2nd(path2_));
    ASSERT_NE(window_->SecondYUVWidget(), nullptr);
    EXPECT_TRUE(Find<QPushButton>("close2")->isEnabled());
    EXPECT_NE(window_->CtrBar()->SecondTimeLine(), nullptr);
    EXPECT_EQ(Find<QHBoxLayout>("image_show_layout")->indexOf(window_->SecondYUVWidget()), 1);
    EXPECT_EQ(Find<QHBoxLayout>("color_chart_layout")->indexOf(window_->SecondChart()), 1);

    // Frames picked on either time line are compared.
    const struct {
        bool second;
        int frame;
    } picks[] = {{false, 7}, {true, 2}, {false, 0}};
    for (const auto& p : picks) {
        const QString before = MetricLabel();
        VideoTimeLine* line =
            p.second ? window_->CtrBar()->SecondTimeLine() : window_->CtrBar()->FirstTimeLine();
        DoubleClickFrame(line, p.frame);
        ASSERT_TRUE(WaitForMetric(before)) << p.frame;
        EXPECT_EQ(MetricLabel(), Expected(p.frame, 1)) << p.frame;
        EXPECT_EQ(window_->SecondYUVWidget()->View()->FrameOffset(), int64_t(p.frame) * kW * kH * 3 / 2);
    }

    Find<QPushButton>("close2")->click();
    EXPECT_EQ(MetricLabel(), LumoImageView::DashMetricText());
    EXPECT_FALSE(Find<QPushButton>("close2")->isEnabled());
    EXPECT_EQ(window_->SecondYUVWidget(), nullptr);
    EXPECT_EQ(window_->SecondChart(), nullptr);
    EXPECT_EQ(window_->CtrBar()->SecondTimeLine(), nullptr);
    EXPECT_EQ(window_->fileDescription(),
              QStringLiteral("[read1 file=%1; size=352x288; type=YUV_TYPE_I420] + "
                             "[read2 file=%2; size=352x288; type=YUV_TYPE_I420]")
                  .arg(path1_, path2_));
}

TEST_F(LumoImageViewTest, SecondFileOpensAtTheShownFrameWithItsNumbers)
{
    const int64_t frameBytes = int64_t(kW) * kH * 3 / 2;
    const QString shorter = WriteI420("shorter.yuv", kW, kH, 5, 6, 4);
    // Opened at frame 7 (through the dialog or directly, replacing another
    // second file): both views, both time lines and the numbers are of
    // frame 7; a file of 5 frames takes both views to its last frame.
    const struct {
        QString path;
        bool dialog;
        int frame;
    } cases[] = {{path2_, true, 7}, {shorter, true, 4}, {path2_, false, 7}};
    for (const auto& c : cases) {
        window_->CtrBar()->SelectFrame(7);
        if (c.dialog) {
            ASSERT_TRUE(Open2nd(c.path)) << c.frame;
        } else {
            window_->Open2ndFile(lumo::LumoYuvReader(c.path.toStdString(), kW, kH, "YUV_TYPE_I420"));
        }
        EXPECT_EQ(window_->CtrBar()->SecondTimeLine()->CurrentFrame(), c.frame);
        EXPECT_EQ(window_->CtrBar()->FirstTimeLine()->CurrentFrame(), c.frame);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window_->RunningMetricJobs() == 0; }, 10000));
        EXPECT_EQ(MetricLabel(), Expected(c.frame, 1, c.path)) << c.frame;
        for (YUVWidget* widget : {window_->FirstYUVWidget(), window_->SecondYUVWidget()}) {
            EXPECT_EQ(widget->View()->FrameOffset(), c.frame * frameBytes);
            EXPECT_TRUE(QTest::qWaitFor([&] { return widget->View()->PlanesOffset() == c.frame * frameBytes; }, 5000))
                << c.frame;
        }
    }
}

TEST_F(LumoImageViewTest, CancelledOpen2ndKeepsTheSecondFileAndStartsWithTheFirstFilesValues)
{
    ASSERT_TRUE(Open2nd(path2_));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->RunningMetricJobs() == 0; }, 10000));
    YUVWidget* second = window_->SecondYUVWidget();
    const QString text = MetricLabel();
    ASSERT_NE(text, LumoImageView::DashMetricText());
    bool keptWhileOpen = false;
    QString startValues;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<OpenFileDialog*>(QApplication::activeModalWidget())) {
            keptWhileOpen = window_->SecondYUVWidget() == second && window_->Plot()->isVisible();
            startValues = QStringLiteral("%1x%2 %3")
                              .arg(dialog->findChild<QSpinBox*>("width_spin_box")->value())
                              .arg(dialog->findChild<QSpinBox*>("height_spin_box")->value())
                              .arg(dialog->findChild<QButtonGroup*>()->checkedId());
            dialog->findChild<QPushButton*>("open_file_cancel")->click();
        }
    });
    poll.start(10);
    Find<QPushButton>("open2")->click();
    poll.stop();
    EXPECT_TRUE(keptWhileOpen);
    // The dialog starts with the first file's size and layout.
    EXPECT_EQ(startValues, "352x288 0");
    EXPECT_EQ(window_->SecondYUVWidget(), second);
    EXPECT_EQ(window_->SecondReader().Path(), path2_.toStdString());
    EXPECT_TRUE(window_->Plot()->isVisible());
    EXPECT_TRUE(Find<QPushButton>("close2")->isEnabled());
    EXPECT_EQ(MetricLabel(), text);
}

TEST_F(LumoImageViewTest, TwoFileWindowFitsA1366x768ScreenWithAPanel)
{
    ASSERT_TRUE(Open2nd(path2_));
    ASSERT_TRUE(window_->Plot()->isVisible());
    // 768 less a 40 px panel and a title bar, also with the region line a
    // rectangle brings.
    auto* region = window_->findChild<QLabel*>(QStringLiteral("region_label"));
    ASSERT_NE(region, nullptr);
    region->setText(QStringLiteral("ROI 10,10 64x64【PSNR Y: 40.1, U: 41.2, V: 42.3】【SSIM Y: 0.912345】"));
    region->show();
    EXPECT_LE(window_->minimumSizeHint().height(), 690);
    EXPECT_LE(window_->minimumSizeHint().width(), 1366);
}

TEST_F(LumoImageViewTest, FileDescriptionKeepsPercentSignsInPaths)
{
    const QString odd = WriteI420("clip%2_%1.yuv", kW, kH, 1, 0, 1);
    QPointer<LumoImageView> other = new LumoImageView(lumo::LumoYuvReader(odd.toStdString(), kW, kH, "YUV_TYPE_I420"));
    EXPECT_EQ(other->fileDescription(), "[read1 file=" + odd + "; size=352x288; type=YUV_TYPE_I420]");
    other->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(other.isNull());
}

TEST_F(LumoImageViewTest, SecondFileInAnotherLayoutIsComparedAsI420)
{
    // NV12 is index 3 in the layout table.
    const QString nv12 = WriteYuv("second.nv12", kW, kH, kFrames, "YUV_TYPE_NV12", 4, 9);
    ASSERT_TRUE(Open2nd(nv12, 3));
    EXPECT_EQ(window_->SecondReader().Type(), "YUV_TYPE_NV12");
    const QString before = MetricLabel();
    DoubleClickFrame(window_->CtrBar()->FirstTimeLine(), 4);
    ASSERT_TRUE(WaitForMetric(before));
    const lumo::LumoYuvReader reader2(nv12.toStdString(), kW, kH, "YUV_TYPE_NV12");
    EXPECT_EQ(MetricLabel(), ExpectedMetricText(I420FrameFromFile(path1_, kW, kH, 4),
                                                I420FrameThroughReader(reader2, 4), kW, kH, 1));
}

TEST_F(LumoImageViewTest, SecondFileOfAnotherSizeIsNeverCompared)
{
    const QString small = WriteI420("small.yuv", 176, 144, kFrames, 0, 3);
    ASSERT_TRUE(Open2nd(small, 0, 176, 144));
    ASSERT_NE(window_->SecondChart(), nullptr);
    const std::vector<int32_t> chart2 = Histogram(window_->SecondChart());
    for (int frame : {1, 5, 9}) {
        DoubleClickFrame(window_->CtrBar()->FirstTimeLine(), frame);
        EXPECT_EQ(window_->RunningMetricJobs(), 0);
        QTest::qWait(20);
        EXPECT_EQ(MetricLabel(), LumoImageView::DashMetricText());
        EXPECT_EQ(Histogram(window_->SecondChart()), chart2);
        EXPECT_EQ(window_->SecondYUVWidget()->View()->FrameOffset(), int64_t(frame) * 176 * 144 * 3 / 2);
    }
}

TEST_F(LumoImageViewTest, OverlappingComparisonsShowTheLastResult)
{
    ASSERT_TRUE(Open2nd(path2_));
    // Several selections in a row: every job runs on its own frames.
    for (int frame : {1, 2, 3, 4, 5})
        window_->onFrameCtrRefresh(frame, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->RunningMetricJobs() == 0; }, 20000));
    QTest::qWait(50);
    // Results arrive in any order; the text is one of the five.
    QStringList possible;
    for (int frame : {1, 2, 3, 4, 5})
        possible << Expected(frame, 1);
    EXPECT_TRUE(possible.contains(MetricLabel())) << MetricLabel().toStdString();
}

TEST_F(LumoImageViewTest, ClosingStopsEverythingAndDestroysTheWindow)
{
    const int before = ThreadCount();
    ASSERT_TRUE(Open2nd(path2_));
    QTest::qWait(100); // both time lines start their workers when painted
    Find<QPushButton>("ctr_btn")->click();
    EXPECT_TRUE(window_->CtrBar()->FrameTimer()->isActive());
    window_->onFrameCtrRefresh(3, 1);
    window_->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window_.isNull());
    EXPECT_LE(WaitForThreadCount(before, 5000), before);
}

} // namespace

// A 10-bit pair is compared at its own depth and the text says so; a second
// file of another depth is not compared: the dash.
TEST(LumoImageViewHighBit, ComparesTenBitFilesAtTheirDepth)
{
    const int w = 64, h = 48;
    const QString a = WriteYuv("a10.yuv", w, h, 3, "YUV_TYPE_I010", 0, 1);
    const QString b = WriteYuv("b10.yuv", w, h, 3, "YUV_TYPE_I010", 9, 2);
    const QString c = WriteI420("c8.yuv", w, h, 3, 0, 3);
    QPointer<LumoImageView> window = new LumoImageView(lumo::LumoYuvReader(a.toStdString(), w, h, "YUV_TYPE_I010"));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    auto label = [&] { return window->findChild<QLabel*>("psnr_label")->text(); };
    auto open2nd = [&](const QString& path, int index) {
        return OpenThroughDialog(path, index, w, h, [&] { window->findChild<QPushButton*>("open2")->click(); }) &&
               QTest::qWaitFor([&] { return window->SecondYUVWidget() && window->SecondYUVWidget()->View()->isValid(); },
                               5000);
    };
    ASSERT_TRUE(open2nd(b, 18));
    window->onFrameCtrRefresh(1, 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->RunningMetricJobs() == 0 && label() != LumoImageView::DashMetricText(); }, 10000));
    lumo::CompareEngine::Settings settings;
    settings.a = lumo::LumoYuvReader(a.toStdString(), w, h, "YUV_TYPE_I010");
    settings.b = lumo::LumoYuvReader(b.toStdString(), w, h, "YUV_TYPE_I010");
    settings.colorRangeCode = LumoImageView::MetricColorRange(4);
    lumo::FrameMetrics m;
    std::string error;
    ASSERT_TRUE(lumo::CompareEngine::CompareFrame(settings, 1, m, error)) << error;
    EXPECT_EQ(label(), LumoImageView::MetricText(m.ssim, m.mse[0], m.mse[1], m.mse[2], m.psnr[0], m.psnr[1],
                                                 m.psnr[2], 10));
    EXPECT_TRUE(label().startsWith(QString::fromUtf8("【10-bit】【SSIM "))) << label().toStdString();

    ASSERT_TRUE(open2nd(c, 0));
    window->onFrameCtrRefresh(2, 1);
    QTest::qWait(50);
    EXPECT_EQ(window->RunningMetricJobs(), 0);
    EXPECT_EQ(label(), LumoImageView::DashMetricText());
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
