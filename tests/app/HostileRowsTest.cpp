// Stored rows a hostile or careless user leaves behind: a FIFO, absurd
// geometries, hundreds of rows. None may hold up the main window or cost
// more than a small file does.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>

#include "analysis/LumoImageView.h"
#include "app/LoadingWindow.h"
#include "app/MainWindow.h"
#include "app/RowThumbnailer.h"
#include "base/AppSettings.h"
#include "YuvFiles.h"

namespace {

void Store(const QStringList& records)
{
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication)
        .setValue(AppSettings::kKeyYuvParse, "[" + records.join(",") + "]");
}

QString Record(const QString& path, int width, int height)
{
    return QStringLiteral(R"({"height":%1,"path":"%2","type_str":"YUV_TYPE_I420","width":%3})")
        .arg(height)
        .arg(path)
        .arg(width);
}

long StatusKb(const char* key)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return -1;
}

QList<LumoImageView*> AnalysisWindows()
{
    QList<LumoImageView*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* view = qobject_cast<LumoImageView*>(widget))
            windows.append(view);
    return windows;
}

void CloseAnalysisWindows()
{
    for (LumoImageView* window : AnalysisWindows())
        window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

// Opening a FIFO for reading waits for a writer: a stored row pointing at
// one kept the program at the splash on every start.
TEST(HostileRows, StoredFifoRowNeitherBlocksTheStartNorItsWindow)
{
    const QString fifo = TestTmpPath("pipe.yuv");
    ::unlink(fifo.toLocal8Bit().constData());
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    Store({Record(fifo, 352, 288)});
    ::alarm(60); // a hang ends the test instead of waiting for the CTest timeout

    LoadingWindow splash;
    splash.timeoutSig();
    auto* main = qobject_cast<MainWindow*>(splash.mainWindow());
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->isVisible());
    ASSERT_EQ(main->rows().size(), 1);
    YUVListItem* row = main->rows()[0];
    // It says why it shows no frames (it once read "-1帧").
    EXPECT_EQ(row->text(), "I420 (YUV 420 Planar)        无法读取：是命名管道（FIFO）        " + fifo);
    ASSERT_TRUE(WaitForThumbnails(*row));
    EXPECT_EQ(row->thumbnailCount(), 0);

    // Its analysis window draws, plays and picks frames without reading.
    QTest::mouseClick(row->findChild<QPushButton*>("show_detail_btn"), Qt::LeftButton);
    ASSERT_EQ(AnalysisWindows().size(), 1);
    LumoImageView* window = AnalysisWindows()[0];
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->onFrameCtrRefresh(0, 1);
    QTest::qWait(50);
    CloseAnalysisWindows();
    ::alarm(0);
    main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ::unlink(fifo.toLocal8Bit().constData());
}

// A stated size that cannot be shown, or whose thumbnail would be huge,
// must not allocate for it: the rows' thumbnails and the analysis windows of
// all of them together stay far below one such frame.
TEST(HostileRows, AbsurdGeometriesCostLittle)
{
    const QString small = WriteFile("small.yuv", I420Frames(256, 128, 4, 64)); // 196 KB
    const struct {
        int width, height;
        bool openWindow; // 16384 x 16384 can be shown, and then costs what it must
    } rows[] = {{40000, 40000, true}, {1, 2147483647, true}, {2147483647, 1, true},
                {16384, 16384, false}, {1920, 1, true},       {20000, 2, true}};
    QStringList records;
    for (const auto& r : rows)
        records.append(Record(small, r.width, r.height));
    Store(records);

    const long rssBefore = StatusKb("VmRSS:");
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5"; // the peak starts again from the current size
    }
    MainWindow main;
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_EQ(main.rows().size(), 6);
    for (int i = 0; i < main.rows().size(); ++i) {
        YUVListItem* row = main.rows()[i];
        ASSERT_TRUE(WaitForThumbnails(*row)) << i;
        EXPECT_GE(row->thumbnailCount(), 1) << i;
        for (QLabel* label : row->findChild<QWidget*>("scrollAreaWidgetContents")->findChildren<QLabel*>()) {
            const QSize size = label->pixmap(Qt::ReturnByValue).size();
            EXPECT_LE(size.width(), YUVListItem::kMaxThumbnailWidth) << i;
            EXPECT_LE(size.height(), YUVListItem::kThumbnailHeight) << i;
        }
        if (!rows[i].openWindow)
            continue;
        QTest::mouseClick(row->findChild<QPushButton*>("show_detail_btn"), Qt::LeftButton);
        ASSERT_EQ(AnalysisWindows().size(), 1) << i;
        LumoImageView* window = AnalysisWindows()[0];
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window)) << i;
        window->onFrameCtrRefresh(0, 1);
        QTest::qWait(100); // the time line's thumbnails
        CloseAnalysisWindows();
    }
    const long growthMb = (StatusKb("VmHWM:") - rssBefore) / 1024;
    EXPECT_LT(growthMb, 200);
    std::printf("peak growth with every absurd row and its window: %ld MB\n", growthMb);
}

// The stored list's length must not hold up the window: every row shows
// its text at once and its thumbnails follow, the rows on screen first.
// Closing rows and quitting while thumbnails are made is safe.
TEST(HostileRows, LongListShowsAtOnceAndFillsTheVisibleRowsFirst)
{
    const QString file = WriteFile("list.yuv", I420Frames(640, 360, 10, 320));
    QStringList records;
    for (int i = 0; i < 60; ++i)
        records.append(Record(file, 640, 360));
    Store(records);

    MainWindow main;
    ASSERT_EQ(main.rows().size(), 60);
    for (YUVListItem* row : main.rows()) {
        ASSERT_TRUE(row->text().startsWith("I420 (YUV 420 Planar)        10帧"));
        ASSERT_EQ(row->thumbnailCount(), 0); // none made before the window is up
    }
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    auto* bar = main.findChild<QScrollArea*>("scrollArea")->verticalScrollBar();
    bar->setValue(bar->maximum());
    YUVListItem* last = main.rows().last();
    ASSERT_TRUE(WaitForThumbnails(*last));
    EXPECT_EQ(last->thumbnailCount(), 10);
    int pending = 0;
    for (YUVListItem* row : main.rows())
        pending += row->thumbnailsPending() ? 1 : 0;
    EXPECT_GT(pending, 30) << "rows off screen came first";

    // Rows closed with thumbnails under way get none afterwards.
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(main.rows()[10]->findChild<QPushButton*>("close_yuv_btn"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(main.rows().size(), 55);
    QTest::qWait(100);

    // Quitting stops the worker at once, with rows still waiting.
    ASSERT_NE(RowThumbnailer::Existing(), nullptr);
    EXPECT_GT(RowThumbnailer::Existing()->PendingRequests(), 0);
    delete RowThumbnailer::Existing();
    EXPECT_EQ(RowThumbnailer::Existing(), nullptr);
}
