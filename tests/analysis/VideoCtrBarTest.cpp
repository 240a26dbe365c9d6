// Control bar: form, playback order through the frame timer (wrapping at the
// shorter file), frame selection, second time line and usage events.
#include "online/RecordLog.h"
#include "MessageCapture.h"
#include "analysis/SnapshotThread.h"
#include "analysis/VideoCtrBar.h"
#include "analysis/VideoTimeLine.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

QString TempRoot()
{
    const QByteArray env = qgetenv("LUMO_TEST_TMP");
    return env.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(env);
}

// `frames` flat grey 16x16 I420 frames.
QString WriteI420(const QTemporaryDir& dir, const QString& name, int frames)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    for (int f = 0; f < frames; ++f)
        file.write(QByteArray(16 * 16 * 3 / 2, char(16 + f)));
    return path;
}

lumo::LumoYuvReader Reader(const QString& path)
{
    return lumo::LumoYuvReader(path.toStdString(), 16, 16, "YUV_TYPE_I420");
}

// The usage-event bodies the reporter prints while alive.
class EventCapture {
public:
    QStringList events() const { return capture_.lines().filter("record log post_data="); }

private:
    MessageCapture capture_;
};

QString Body(const char* action, const QString& info)
{
    return QString::fromLatin1(
        RecordLog::EventBody("INFO", "YUVLumo", "LumoImageView", "LumoImageViewBlock", action, info));
}

std::vector<int> Frames(const QSignalSpy& spy, int select)
{
    std::vector<int> out;
    for (const auto& args : spy)
        if (args.at(1).toInt() == select)
            out.push_back(args.at(0).toInt());
    return out;
}

// Plays at 99 frames per second until `ticks` refreshes were emitted.
std::vector<int> Play(VideoCtrBar& bar, QSignalSpy& spy, int ticks)
{
    bar.findChild<QSpinBox*>("ctr_fps_spin")->setValue(99);
    bar.findChild<QPushButton*>("ctr_btn")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() >= ticks; }, 5000));
    bar.stopPlay();
    std::vector<int> frames = Frames(spy, 0);
    frames.resize(ticks);
    return frames;
}

class VideoCtrBarTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QTemporaryDir dir_{TempRoot() + "/ctrbar-XXXXXX"};
};

TEST_F(VideoCtrBarTest, FormStartsStopped)
{
    VideoCtrBar bar(Reader(WriteI420(dir_, "a.yuv", 3)));
    EXPECT_EQ(bar.objectName(), "VideoCtrBar");
    struct Button {
        const char* name;
        const char* text;
        bool enabled;
    };
    for (const Button& b : {Button{"open2", "Open 2nd YUV", true}, Button{"close2", "Close 2nd YUV", false},
                            Button{"ctr_btn", "Play", true}}) {
        auto* button = bar.findChild<QPushButton*>(b.name);
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), b.text);
        EXPECT_EQ(button->isEnabled(), b.enabled) << b.name;
    }
    auto* draw = bar.findChild<QCheckBox*>("drawCheckBox");
    ASSERT_NE(draw, nullptr);
    EXPECT_FALSE(draw->isChecked());
    auto* fps = bar.findChild<QSpinBox*>("ctr_fps_spin");
    ASSERT_NE(fps, nullptr);
    EXPECT_EQ(fps->value(), 25);
    EXPECT_EQ(fps->minimum(), 0);
    EXPECT_EQ(fps->maximum(), 99);
    for (const char* name : {"ssim_label", "psnr_label"}) {
        auto* label = bar.findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), "-");
    }
    auto* timeLines = bar.findChild<QHBoxLayout*>("time_line_layout");
    ASSERT_NE(timeLines, nullptr);
    ASSERT_EQ(timeLines->count(), 1);
    EXPECT_EQ(timeLines->itemAt(0)->widget(), bar.FirstTimeLine());
    EXPECT_EQ(bar.FrameTimer()->interval(), 40);
    EXPECT_FALSE(bar.FrameTimer()->isActive());

    bar.setMetricText("【SSIM 1】");
    EXPECT_EQ(bar.findChild<QLabel*>("psnr_label")->text(), "【SSIM 1】");
    EXPECT_EQ(bar.findChild<QLabel*>("ssim_label")->text(), "-");
}

TEST_F(VideoCtrBarTest, PlaybackOrderWrapsAtTheShorterFile)
{
    struct Case {
        const char* name;
        int frames1st;
        int frames2nd; // -2: no second file, -1: second file missing
        std::vector<int> order;
    };
    const std::vector<Case> cases = {
        {"one file of 3 frames", 3, -2, {0, 1, 2, 0, 1, 2, 0}},
        {"10 frames with a second of 4", 10, 4, {0, 1, 2, 3, 0, 1, 2, 3, 0}},
        {"4 frames with a second of 10", 4, 10, {0, 1, 2, 3, 0, 1, 2}},
        {"second file of 0 frames", 10, 0, {0, 0, 0, 0}},
        {"second file missing", 10, -1, {0, 0, 0, 0}},
        {"first file missing", -1, -2, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString first =
            c.frames1st < 0 ? dir_.filePath("missing1.yuv") : WriteI420(dir_, QString("first%1.yuv").arg(c.frames1st), c.frames1st);
        VideoCtrBar bar(Reader(first));
        if (c.frames2nd >= -1) {
            const QString second = c.frames2nd < 0 ? dir_.filePath("missing2.yuv")
                                                   : WriteI420(dir_, QString("second%1.yuv").arg(c.frames2nd), c.frames2nd);
            bar.Add2ndTimeLine(Reader(second));
        }
        QSignalSpy spy(&bar, &VideoCtrBar::onFrameCtrRefresh);
        EXPECT_EQ(Play(bar, spy, static_cast<int>(c.order.size())), c.order);
        // Every tick moves the time lines along with the frame as second cell.
        const int last = c.order.back();
        EXPECT_EQ(bar.FirstTimeLine()->CurrentFrame(), last);
        EXPECT_EQ(bar.FirstTimeLine()->ScrollOffset(), (last - 1) * 50);
        if (bar.SecondTimeLine()) {
            EXPECT_EQ(bar.SecondTimeLine()->CurrentFrame(), last);
        }
    }
}

TEST_F(VideoCtrBarTest, FrameRateSetsTheTimerIntervalAtStart)
{
    struct Case {
        int fps, interval;
    };
    for (const Case& c : {Case{25, 40}, Case{7, 142}, Case{30, 33}, Case{99, 10}, Case{1, 1000}}) {
        VideoCtrBar bar(Reader(WriteI420(dir_, "a.yuv", 3)));
        auto* fps = bar.findChild<QSpinBox*>("ctr_fps_spin");
        auto* button = bar.findChild<QPushButton*>("ctr_btn");
        fps->setValue(c.fps);
        button->click();
        EXPECT_TRUE(bar.FrameTimer()->isActive());
        EXPECT_EQ(bar.FrameTimer()->interval(), c.interval) << c.fps;
        EXPECT_EQ(button->text(), "Pause");
        fps->setValue(50); // read only when playback starts
        EXPECT_EQ(bar.FrameTimer()->interval(), c.interval);
        button->click();
        EXPECT_FALSE(bar.FrameTimer()->isActive());
        EXPECT_EQ(button->text(), "Play");
    }
}

// The rate a file states fills the box when the bar is built, rounded into
// its range; a second file leaves it alone.
TEST_F(VideoCtrBarTest, FileRateFillsTheBoxOnce)
{
    const struct {
        const char* name;
        const char* y4mHeader; // null: a raw file
        int box;
    } cases[] = {
        {"a_16x16.yuv", nullptr, 25},
        {"park_joy_1080p50.yuv", nullptr, 50},
        {"720p5994_parkrun_ter.yuv", nullptr, 60},
        {"a_16x16_23.976fps.yuv", nullptr, 24},
        {"a_240fps.yuv", nullptr, 99},
        {"a_1000fps_x.y4m", "YUV4MPEG2 W16 H16 F1:4 C420\n", 1},
        {"a_60fps.y4m", "YUV4MPEG2 W16 H16 F30000:1001 C420\n", 30},
        {"b_60fps.y4m", "YUV4MPEG2 W16 H16 C420\n", 60},
    };
    for (const auto& c : cases) {
        QString path = WriteI420(dir_, c.name, 1);
        if (c.y4mHeader) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(c.y4mHeader) + "FRAME\n" + QByteArray(16 * 16 * 3 / 2, char(16)));
        }
        VideoCtrBar bar(Reader(path));
        auto* fps = bar.findChild<QSpinBox*>("ctr_fps_spin");
        EXPECT_EQ(fps->value(), c.box) << c.name;
        fps->setValue(7);
        bar.Add2ndTimeLine(Reader(WriteI420(dir_, "second_50fps.yuv", 1)));
        EXPECT_EQ(fps->value(), 7) << c.name;
        bar.Remove2ndTimeLine();
    }
}

TEST_F(VideoCtrBarTest, PlayPauseSendUsageEventsAndRateZeroDoesNothing)
{
    const QString path = WriteI420(dir_, "a.yuv", 3);
    VideoCtrBar bar(Reader(path));
    auto* fps = bar.findChild<QSpinBox*>("ctr_fps_spin");
    auto* button = bar.findChild<QPushButton*>("ctr_btn");
    const QString description = QString("[read1 file=%1; size=16x16; type=YUV_TYPE_I420]").arg(path);
    EXPECT_EQ(bar.fileDescription(), description);

    EventCapture capture;
    fps->setValue(0);
    button->click();
    EXPECT_FALSE(bar.FrameTimer()->isActive());
    EXPECT_EQ(button->text(), "Play");
    EXPECT_TRUE(capture.events().isEmpty());

    fps->setValue(25);
    button->click();
    button->click();
    button->click();
    bar.stopPlay(); // the window closing: no event
    EXPECT_FALSE(bar.FrameTimer()->isActive());
    EXPECT_EQ(button->text(), "Play");

    const QStringList events = capture.events();
    ASSERT_EQ(events.size(), 3);
    EXPECT_TRUE(events[0].contains(Body("LumoImageViewPlayStartClick", description + " + [fps:25]")));
    EXPECT_TRUE(events[1].contains(Body("LumoImageViewPlayStopClick", "file:" + description)));
    EXPECT_TRUE(events[2].contains(Body("LumoImageViewPlayStartClick", description + " + [fps:25]")));
}

TEST_F(VideoCtrBarTest, SecondTimeLineComesAndGoes)
{
    const QString first = WriteI420(dir_, "a.yuv", 10);
    const QString second = WriteI420(dir_, "b 100%1.yuv", 4);
    VideoCtrBar bar(Reader(first));
    auto* timeLines = bar.findChild<QHBoxLayout*>("time_line_layout");
    const QString description = QString("[read1 file=%1; size=16x16; type=YUV_TYPE_I420] + "
                                        "[read2 file=%2; size=16x16; type=YUV_TYPE_I420]")
                                    .arg(first, second);
    {
        EventCapture capture;
        bar.Add2ndTimeLine(Reader(second));
        const QStringList events = capture.events();
        ASSERT_EQ(events.size(), 1);
        EXPECT_TRUE(events[0].contains(Body("LumoImageViewOpen2ndClick", description)));
    }
    EXPECT_EQ(bar.fileDescription(), description);
    ASSERT_NE(bar.SecondTimeLine(), nullptr);
    ASSERT_EQ(timeLines->count(), 2);
    EXPECT_EQ(timeLines->itemAt(1)->widget(), bar.SecondTimeLine());

    // A double click on the second time line moves both.
    QSignalSpy spy(&bar, &VideoCtrBar::onFrameCtrRefresh);
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(160, 40), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar.SecondTimeLine(), &click);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 3);
    EXPECT_EQ(spy.at(0).at(1).toInt(), 1);
    EXPECT_EQ(bar.FirstTimeLine()->CurrentFrame(), 3);
    EXPECT_EQ(bar.SecondTimeLine()->CurrentFrame(), 3);

    // Removal stops the worker and destroys the time line; the second
    // reader stays in the description.
    bar.SecondTimeLine()->grab(); // a paint starts its worker
    QPointer<VideoTimeLine> removed = bar.SecondTimeLine();
    ASSERT_TRUE(removed->Worker()->isRunning());
    bar.Remove2ndTimeLine();
    EXPECT_TRUE(removed.isNull());
    EXPECT_EQ(bar.SecondTimeLine(), nullptr);
    EXPECT_EQ(timeLines->count(), 1);
    EXPECT_EQ(bar.fileDescription(), description);
    bar.Remove2ndTimeLine(); // nothing to do

    // Without the second file playback no longer wraps at 4.
    bar.onSelectFrame(5, 1);
    spy.clear();
    EXPECT_EQ(Play(bar, spy, 3), (std::vector<int>{5, 6, 7}));
}

TEST_F(VideoCtrBarTest, SelectionMovesPlaybackAndMarksOnlyExistingFrames)
{
    VideoCtrBar bar(Reader(WriteI420(dir_, "a.yuv", 10)));
    QSignalSpy spy(&bar, &VideoCtrBar::onFrameCtrRefresh);

    // A shorter second file opened while the index lies beyond its end: the
    // next tick still shows that index, then playback wraps.
    bar.onSelectFrame(7, 1);
    bar.Add2ndTimeLine(Reader(WriteI420(dir_, "b.yuv", 4)));
    EXPECT_EQ(bar.FirstTimeLine()->CurrentFrame(), 7);
    EXPECT_EQ(bar.FirstTimeLine()->ScrollOffset(), 0); // no scrolling on selection
    bar.onSelectFrame(8, 1);
    EXPECT_EQ(bar.FirstTimeLine()->CurrentFrame(), 8);
    EXPECT_EQ(bar.SecondTimeLine()->CurrentFrame(), 0); // 8 is past its end
    bar.onSelectFrame(12, 1);                           // past both ends
    EXPECT_EQ(bar.FirstTimeLine()->CurrentFrame(), 8);
    EXPECT_EQ(bar.CurrentIndex(), 12);
    bar.onSelectFrame(-1, 1); // not a frame
    EXPECT_EQ(bar.CurrentIndex(), 12);
    EXPECT_EQ(Frames(spy, 1), (std::vector<int>{7, 8, 12}));

    spy.clear();
    bar.onSelectFrame(7, 1);
    spy.clear();
    EXPECT_EQ(Play(bar, spy, 3), (std::vector<int>{7, 0, 1}));

    // A selection while playing shows the frame twice: now, and at the next tick.
    spy.clear();
    bar.findChild<QPushButton*>("ctr_btn")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 1; }, 5000));
    bar.onSelectFrame(2, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Frames(spy, 0).size() >= 4; }, 5000));
    bar.stopPlay();
    const auto selected = std::find_if(spy.begin(), spy.end(), [](const QList<QVariant>& a) { return a.at(1).toInt() == 1; });
    ASSERT_NE(selected, spy.end());
    const int at = static_cast<int>(selected - spy.begin());
    ASSERT_LT(at + 2, spy.count());
    EXPECT_EQ(spy.at(at + 1).at(0).toInt(), 2);
    EXPECT_EQ(spy.at(at + 1).at(1).toInt(), 0);
    EXPECT_EQ(spy.at(at + 2).at(0).toInt(), 3);
}

TEST_F(VideoCtrBarTest, ButtonsAndDrawSwitchEmitTheirSignals)
{
    VideoCtrBar bar(Reader(WriteI420(dir_, "a.yuv", 3)));
    QSignalSpy open(&bar, &VideoCtrBar::onOpen2ndFile);
    QSignalSpy close(&bar, &VideoCtrBar::onClose2ndFile);
    QSignalSpy draw(&bar, &VideoCtrBar::onDrawCheckBoxChange);

    bar.findChild<QPushButton*>("open2")->click();
    EXPECT_EQ(open.count(), 1);
    bar.findChild<QPushButton*>("close2")->click(); // disabled
    EXPECT_EQ(close.count(), 0);
    bar.setClose2ndEnabled(true);
    bar.findChild<QPushButton*>("close2")->click();
    EXPECT_EQ(close.count(), 1);

    auto* box = bar.findChild<QCheckBox*>("drawCheckBox");
    box->click();
    box->click();
    ASSERT_EQ(draw.count(), 2);
    EXPECT_EQ(draw.at(0).at(0).toInt(), 2);
    EXPECT_EQ(draw.at(1).at(0).toInt(), 0);
}

TEST_F(VideoCtrBarTest, StopSnapshotStopsOnlyTheFirstWorker)
{
    VideoCtrBar bar(Reader(WriteI420(dir_, "a.yuv", 3)));
    bar.Add2ndTimeLine(Reader(WriteI420(dir_, "b.yuv", 3)));
    bar.FirstTimeLine()->grab();
    bar.SecondTimeLine()->grab();
    ASSERT_TRUE(bar.FirstTimeLine()->Worker()->isRunning());
    bar.stopSnapshot();
    EXPECT_FALSE(bar.FirstTimeLine()->Worker()->isRunning());
    EXPECT_TRUE(bar.SecondTimeLine()->Worker()->isRunning());
    // Destroying the bar stops the second worker too.
}

} // namespace
