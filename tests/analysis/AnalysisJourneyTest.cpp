// The analysis window as a user reaches it from the main window, and its
// lifetime: closing gives back threads and memory.
#include "AnalysisFixtures.h"

#include "base/AppSettings.h"
#include "analysis/LumoImageView.h"
#include "app/MainWindow.h"
#include "analysis/VideoCtrBar.h"
#include "analysis/VideoTimeLine.h"
#include "app/YUVListItem.h"
#include "render/YUVShowView.h"
#include "render/YUVWidget.h"

#include <QLabel>
#include <QMouseEvent>
#include <QOpenGLWidget>
#include <QPointer>
#include <QSettings>

#include <gtest/gtest.h>

#include <malloc.h>

using namespace fixtures;

namespace {

QLabel* MetricLabel(LumoImageView* window)
{
    return window->findChild<QLabel*>(QStringLiteral("psnr_label"));
}

void DoubleClickFrame(VideoTimeLine* line, int frame)
{
    const QPoint at(frame * VideoTimeLine::kCellWidth - line->ScrollOffset() + 25, 40);
    QMouseEvent event(QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(line, &event);
}

QList<LumoImageView*> AnalysisWindows()
{
    QList<LumoImageView*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* view = qobject_cast<LumoImageView*>(widget))
            windows.append(view);
    }
    return windows;
}

bool Open2nd(LumoImageView* window, const QString& path, int width, int height)
{
    auto* open2 = window->findChild<QPushButton*>(QStringLiteral("open2"));
    if (!OpenThroughDialog(path, 0, width, height, [&] { open2->click(); }) || !window->SecondYUVWidget())
        return false;
    return QTest::qWaitFor([&] { return window->SecondYUVWidget()->View()->isValid(); }, 5000);
}

// The GL driver starts its own threads with the first context of the
// process and keeps them; start them before counting.
bool WarmUpGl()
{
    QOpenGLWidget widget;
    widget.resize(64, 64);
    widget.show();
    return QTest::qWaitForWindowExposed(&widget) && QTest::qWaitFor([&] { return widget.isValid(); }, 5000);
}

// The program's arena limit (app/main.cpp), set before any thread starts:
// comparison workers come and go with every window.
const int kArenaLimit = mallopt(M_ARENA_MAX, 2);

int64_t TrimmedRss()
{
    malloc_trim(0);
    return RssBytes();
}

TEST(AnalysisJourney, CompareTwoFilesFromTheMainWindow)
{
    constexpr int kW = 352;
    constexpr int kH = 288;
    const QString first = WriteI420("journey-a.yuv", kW, kH, 10, 0, 11);
    const QString second = WriteI420("journey-b.yuv", kW, kH, 10, 5, 12);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());

    // (1) The stored list of opened files holds both.
    const QString record = QStringLiteral(R"({"height":%1,"path":"%2","type_str":"YUV_TYPE_I420","width":%3})");
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication)
        .setValue(AppSettings::kKeyYuvParse,
                  "[" + record.arg(kH).arg(first).arg(kW) + "," + record.arg(kH).arg(second).arg(kW) + "]");

    // (2) The main window shows one row per file.
    MainWindow main;
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_EQ(main.rows().size(), 2);
    EXPECT_EQ(QString::fromStdString(main.rows()[0]->reader()->Path()), first);
    EXPECT_EQ(QString::fromStdString(main.rows()[1]->reader()->Path()), second);
    ASSERT_TRUE(WarmUpGl());
    QTest::qWait(200);
    const int threadsBefore = ThreadCount();

    // (3) "播放分析" on the first row opens the analysis window.
    auto* detail = main.rows()[0]->findChild<QPushButton*>(QStringLiteral("show_detail_btn"));
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->text(), QStringLiteral("播放分析"));
    detail->click();
    ASSERT_EQ(AnalysisWindows().size(), 1);
    QPointer<LumoImageView> window = AnalysisWindows().first();
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_EQ(window->windowTitle(), first);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(MetricLabel(window)->text(), LumoImageView::DashMetricText());

    // (4) "Open 2nd YUV" through the open-file dialog.
    ASSERT_TRUE(Open2nd(window, second, kW, kH));
    EXPECT_TRUE(window->findChild<QPushButton*>(QStringLiteral("close2"))->isEnabled());

    // (5) A double click on frame 7 of the time line.
    DoubleClickFrame(window->CtrBar()->FirstTimeLine(), 7);
    EXPECT_EQ(window->FirstYUVWidget()->View()->FrameOffset(), 7LL * kW * kH * 3 / 2);
    EXPECT_EQ(window->SecondYUVWidget()->View()->FrameOffset(), 7LL * kW * kH * 3 / 2);

    // (6) The comparison of frame 7 appears.
    const QString expected = ExpectedMetricText(I420FrameFromFile(first, kW, kH, 7),
                                                I420FrameFromFile(second, kW, kH, 7), kW, kH, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return MetricLabel(window)->text() == expected; }, 10000))
        << MetricLabel(window)->text().toStdString() << "\n" << expected.toStdString();

    // (7) "Close 2nd YUV" brings back the dash text.
    window->findChild<QPushButton*>(QStringLiteral("close2"))->click();
    EXPECT_EQ(MetricLabel(window)->text(), LumoImageView::DashMetricText());
    EXPECT_EQ(window->SecondYUVWidget(), nullptr);

    // (8) Closing the window ends its threads and the window itself.
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(AnalysisWindows().isEmpty());
    EXPECT_EQ(WaitForThreadCount(threadsBefore, 5000), threadsBefore);
}

TEST(AnalysisJourney, OpeningAndClosingFiftyTimesStaysFlat)
{
    constexpr int kW = 640;
    constexpr int kH = 480;
    const QString first = WriteI420("flat-a.yuv", kW, kH, 8, 0, 21);
    const QString second = WriteI420("flat-b.yuv", kW, kH, 8, 4, 22);
    const lumo::LumoYuvReader reader(first.toStdString(), kW, kH, "YUV_TYPE_I420");

    int threadsAt = 0;
    int64_t rssAt = 0;
    constexpr int kWarmUp = 10;
    for (int round = 0; round < 50; ++round) {
        if (round == kWarmUp) {
            threadsAt = WaitForThreadCount(0, 300);
            rssAt = TrimmedRss();
        }
        QPointer<LumoImageView> window = new LumoImageView(reader);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->FirstYUVWidget()->View()->isValid(); }, 5000));
        if (round % 2 == 0) {
            // Every other round compares a frame and plays a little.
            ASSERT_TRUE(Open2nd(window, second, kW, kH)) << round;
            const QString before = MetricLabel(window)->text();
            DoubleClickFrame(window->CtrBar()->FirstTimeLine(), 3);
            ASSERT_TRUE(QTest::qWaitFor([&] { return MetricLabel(window)->text() != before; }, 10000)) << round;
            window->findChild<QPushButton*>(QStringLiteral("ctr_btn"))->click();
        }
        QTest::qWait(60);
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(window.isNull()) << round;
    }
    const int threadsAfter = WaitForThreadCount(threadsAt, 5000);
    const int64_t rssAfter = TrimmedRss();
    EXPECT_EQ(threadsAfter, threadsAt);
    // 40 leaked windows of this size would hold far more than this.
    EXPECT_LT(rssAfter - rssAt, 12LL << 20) << "RSS " << rssAt << " -> " << rssAfter;
    std::printf("threads %d -> %d, RSS %.1f MB -> %.1f MB\n", threadsAt, threadsAfter, rssAt / 1048576.0,
                rssAfter / 1048576.0);
}

} // namespace
