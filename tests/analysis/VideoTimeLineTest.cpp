// Time line: cell range, thumbnail placement, double-click and drag
// arithmetic, and the thumbnail cache's eviction order.
#include "analysis/SnapshotThread.h"
#include "analysis/ThumbnailCache.h"
#include "analysis/VideoTimeLine.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <set>

namespace {

QString TempRoot()
{
    const QByteArray env = qgetenv("LUMO_TEST_TMP");
    return env.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(env);
}

// `frames` I420 frames, frame f a flat grey of luma 40 + 60 * f.
QString WriteFlatI420(const QTemporaryDir& dir, const QString& name, int width, int height, int frames)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    const int luma = width * height;
    const int chroma = 2 * ((width / 2) * (height / 2));
    for (int f = 0; f < frames; ++f) {
        file.write(QByteArray(luma, char((40 + 60 * f) % 256)));
        file.write(QByteArray(chroma, char(128)));
    }
    return path;
}

lumo::LumoYuvReader Reader(const QString& path, int width, int height)
{
    return lumo::LumoYuvReader(path.toStdString(), width, height, "YUV_TYPE_I420");
}

std::set<int> CachedIndices(ThumbnailCache& cache, int upTo)
{
    std::set<int> out;
    for (int i = 0; i < upTo; ++i)
        if (cache.Peek(i, nullptr))
            out.insert(i);
    return out;
}

// Paints until the worker has nothing left to do and the cache is stable.
void PaintUntilSettled(VideoTimeLine& line, int expectedEntries)
{
    const bool settled = QTest::qWaitFor(
        [&] {
            line.grab();
            return line.Cache().Size() >= expectedEntries && line.Worker()->PendingCount() == 0;
        },
        5000);
    EXPECT_TRUE(settled);
    // A few more rounds: nothing new may be asked for.
    for (int i = 0; i < 5; ++i) {
        line.grab();
        QTest::qWait(20);
    }
}

void SendMouse(QWidget& w, QEvent::Type type, double x, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QMouseEvent event(type, QPointF(x, 40), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

class VideoTimeLineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QTemporaryDir dir_{TempRoot() + "/timeline-XXXXXX"};
};

TEST(VideoTimeLineCells, RangeOfCellsDrawn)
{
    struct Case {
        int offset, width, count, first, end;
    };
    const Case cases[] = {
        {0, 400, 3, 0, 3},      // short file: cells 0 to 2 only
        {0, 400, 100, 0, 11},   // 400 / 50 + 3
        {-50, 400, 100, 0, 11}, // negative offset starts at cell 0
        {-120, 400, 100, 0, 11},
        {125, 400, 100, 2, 13},
        {125, 420, 100, 2, 13},
        {0, 400, 0, 0, 0},      // empty file: nothing
        {0, 400, -1, 0, -1},    // unreadable file: nothing
        {5000, 400, 50, 100, 50}, // scrolled past the end: nothing
    };
    for (const Case& c : cases) {
        const auto r = VideoTimeLine::VisibleCells(c.offset, c.width, c.count);
        EXPECT_EQ(r.first, c.first) << c.offset << " " << c.width << " " << c.count;
        EXPECT_EQ(r.end, c.end) << c.offset << " " << c.width << " " << c.count;
    }
}

TEST(VideoTimeLineCells, WhichCellsAskForAThumbnail)
{
    struct Case {
        int w, h, index, x;
        bool wanted;
    };
    const int width = 400;
    const Case cases[] = {
        {1920, 1080, 5, 0, true},  {1920, 1080, 6, 0, false}, {1280, 720, 3, 0, false},
        {1280, 720, 10, 0, true},  {1279, 720, 3, 0, true},   {720, 1280, 3, 0, false},
        {1279, 1279, 7, 0, true},  {176, 144, 1, -55, true},  {176, 144, 1, -56, false},
        {176, 144, 1, 400, true},  {176, 144, 1, 401, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VideoTimeLine::WantsThumbnail(c.w, c.h, c.index, c.x, width), c.wanted)
            << c.w << "x" << c.h << " cell " << c.index << " at " << c.x;
}

TEST(VideoTimeLineCells, ThumbnailHeightIsTruncated)
{
    EXPECT_EQ(VideoTimeLine::ThumbnailHeight(176, 144), 40);
    EXPECT_EQ(VideoTimeLine::ThumbnailHeight(1920, 1080), 28);
    EXPECT_EQ(VideoTimeLine::ThumbnailHeight(100, 200), 100);
    EXPECT_EQ(VideoTimeLine::ThumbnailHeight(0, 144), 0);
    EXPECT_EQ(VideoTimeLine::ThumbnailHeight(1, std::numeric_limits<int>::max()), 1 << 30); // no overflow
}

TEST(VideoTimeLineCells, DoubleClickIndex)
{
    struct Case {
        double x;
        int offset, index;
    };
    const Case cases[] = {
        {30, 100, 2},  {300, 0, 6},  {10, -50, 0}, {1, -50, 0}, {0, -50, -1},
        {49.4, 0, 0},  {49.5, 0, 1}, {-0.5, 0, 0}, {0, -100, -2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VideoTimeLine::CellAt(c.x, c.offset), c.index) << c.x << " " << c.offset;
}

TEST_F(VideoTimeLineTest, DoubleClickEmitsFrameUnlessNegative)
{
    VideoTimeLine line(Reader(WriteFlatI420(dir_, "a.yuv", 16, 16, 3), 16, 16));
    line.resize(400, 80);
    QSignalSpy spy(&line, &VideoTimeLine::onSelectFrame);

    line.setCurrentFrame(3, 1); // offset 100
    ASSERT_EQ(line.ScrollOffset(), 100);
    SendMouse(line, QEvent::MouseButtonDblClick, 30);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 2);
    EXPECT_EQ(spy.at(0).at(1).toInt(), 1);
    EXPECT_EQ(line.CurrentFrame(), 3); // the control bar moves the mark

    line.setCurrentFrame(0, 1); // offset -50: an empty cell before frame 0
    EXPECT_EQ(line.ScrollOffset(), -50);
    SendMouse(line, QEvent::MouseButtonDblClick, 10);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 0);
    SendMouse(line, QEvent::MouseButtonDblClick, 0); // index -1: ignored
    EXPECT_EQ(spy.count(), 2);

    line.setCurrentFrame(0, 0);
    SendMouse(line, QEvent::MouseButtonDblClick, 300); // right of the last cell
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(2).at(0).toInt(), 5);
}

TEST_F(VideoTimeLineTest, DragScrollsByTheMouseTravel)
{
    VideoTimeLine line(Reader(WriteFlatI420(dir_, "a.yuv", 16, 16, 3), 16, 16));
    line.resize(400, 80);

    SendMouse(line, QEvent::MouseMove, 200, Qt::NoButton); // not pressed: ignored
    EXPECT_EQ(line.ScrollOffset(), 0);

    SendMouse(line, QEvent::MouseButtonPress, 200);
    SendMouse(line, QEvent::MouseMove, 200); // sets the anchor only
    EXPECT_EQ(line.ScrollOffset(), 0);
    SendMouse(line, QEvent::MouseMove, 150.4); // 50 to the left
    EXPECT_EQ(line.ScrollOffset(), 50);
    SendMouse(line, QEvent::MouseMove, 160);
    EXPECT_EQ(line.ScrollOffset(), 40);
    SendMouse(line, QEvent::MouseButtonRelease, 160, Qt::NoButton);

    // A new drag starts from a new anchor, to the right past frame 0.
    SendMouse(line, QEvent::MouseButtonPress, 100);
    SendMouse(line, QEvent::MouseMove, 100);
    SendMouse(line, QEvent::MouseMove, 220);
    EXPECT_EQ(line.ScrollOffset(), -80);
    SendMouse(line, QEvent::MouseButtonRelease, 220, Qt::NoButton);

    // Within 49 pixels left of frame 0 a double click selects frame 0.
    QSignalSpy spy(&line, &VideoTimeLine::onSelectFrame);
    SendMouse(line, QEvent::MouseButtonDblClick, 35);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 0);
}

TEST_F(VideoTimeLineTest, LargeFramesGetAThumbnailInEveryFifthCell)
{
    struct Case {
        int w, h;
        std::set<int> cached; // cells 0..8 lie within the 400-pixel strip
    };
    const Case cases[] = {
        {1280, 64, {0, 5}},
        {64, 1280, {0, 5}},
        {1279, 64, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString("%1x%2").arg(c.w).arg(c.h).toStdString());
        const QString path = WriteFlatI420(dir_, QString("%1x%2.yuv").arg(c.w).arg(c.h), c.w, c.h, 12);
        VideoTimeLine line(Reader(path, c.w, c.h));
        line.resize(400, 80);
        PaintUntilSettled(line, static_cast<int>(c.cached.size()));
        EXPECT_EQ(CachedIndices(line.Cache(), 12), c.cached);
        EXPECT_EQ(line.Worker()->PendingCount(), 0);
    }
}

TEST_F(VideoTimeLineTest, ThumbnailsSitOnTheBottomEdgeOfTheirCells)
{
    const QString path = WriteFlatI420(dir_, "qcif.yuv", 176, 144, 3);
    VideoTimeLine line(Reader(path, 176, 144));
    line.resize(400, 80);
    PaintUntilSettled(line, 3);
    ASSERT_EQ(CachedIndices(line.Cache(), 3), (std::set<int>{0, 1, 2}));

    const QImage shot = line.grab().toImage();
    const QRgb white = qRgb(255, 255, 255);
    for (int cell = 1; cell < 3; ++cell) {
        SCOPED_TRACE(cell);
        const int x = cell * 50 + 25;
        // The thumbnail is 40 pixels high: rows 40 to 79.
        const QRgb inside = shot.pixel(x, 79);
        EXPECT_NE(inside, white);
        EXPECT_EQ(shot.pixel(x, 40), inside);
        EXPECT_EQ(shot.pixel(x, 38), white);
    }
    EXPECT_NE(shot.pixel(75, 79), shot.pixel(125, 79)); // different frames
    // Right of the last cell the strip stays white.
    for (int x = 152; x < 400; x += 7)
        for (int y = 0; y < 80; y += 5)
            ASSERT_EQ(shot.pixel(x, y), white) << x << "," << y;
}

TEST_F(VideoTimeLineTest, UnreadableOrEmptyFileGivesAPlainWhiteStrip)
{
    const QString empty = dir_.filePath("empty.yuv");
    QFile(empty).open(QIODevice::WriteOnly);
    const lumo::LumoYuvReader readers[] = {Reader(empty, 176, 144), Reader(dir_.filePath("none.yuv"), 176, 144)};
    for (const auto& reader : readers) {
        VideoTimeLine line(reader);
        line.resize(400, 80);
        const QImage shot = line.grab().toImage();
        QTest::qWait(20);
        EXPECT_EQ(line.Worker()->PendingCount(), 0);
        EXPECT_EQ(line.Cache().Size(), 0);
        QImage white(shot.size(), shot.format());
        white.fill(Qt::white);
        EXPECT_EQ(shot, white);
    }
}

TEST_F(VideoTimeLineTest, ClearCacheStopsTheWorkerAndKeepsThumbnails)
{
    const QString path = WriteFlatI420(dir_, "a.yuv", 176, 144, 3);
    VideoTimeLine line(Reader(path, 176, 144));
    line.resize(400, 80);
    EXPECT_FALSE(line.Worker()->isRunning()); // not before the first paint
    PaintUntilSettled(line, 3);
    EXPECT_TRUE(line.Worker()->isRunning());

    line.ClearCache();
    EXPECT_FALSE(line.Worker()->isRunning());
    EXPECT_EQ(line.Cache().Size(), 3);
    line.grab();
    EXPECT_TRUE(line.Worker()->isRunning());
}

TEST(ThumbnailCacheTest, EvictsLeastRecentlyUsedThenLowestIndex)
{
    int64_t now = 1000;
    ThumbnailCache cache(100, [&] { return now; });
    QImage image(50, 40, QImage::Format_RGB888);
    image.fill(Qt::gray);

    // Inserted in reverse, all at the same time.
    for (int i = 99; i >= 0; --i)
        cache.Insert(i, image);
    EXPECT_EQ(cache.Size(), 100);

    now = 2000;
    EXPECT_TRUE(cache.Touch(0));
    EXPECT_TRUE(cache.Touch(1));
    EXPECT_TRUE(cache.Touch(1));

    now = 3000;
    // Equal last use: the lowest index among the untouched goes first.
    cache.Insert(500, image);
    EXPECT_EQ(cache.Size(), 100);
    EXPECT_FALSE(cache.Peek(2, nullptr));
    cache.Insert(501, image);
    EXPECT_FALSE(cache.Peek(3, nullptr));
    EXPECT_TRUE(cache.Peek(0, nullptr));
    EXPECT_TRUE(cache.Peek(1, nullptr));

    ThumbnailCache::Entry entry;
    ASSERT_TRUE(cache.Peek(1, &entry));
    EXPECT_EQ(entry.useCount, 2);
    EXPECT_EQ(entry.lastUse, 2000);
    ASSERT_TRUE(cache.Peek(500, &entry));
    EXPECT_EQ(entry.useCount, 0);
    EXPECT_EQ(entry.lastUse, 3000);

    // Once 4..99 are gone, the touched ones (time 2000) go before the new ones.
    for (int i = 0; i < 96; ++i)
        cache.Insert(1000 + i, image);
    EXPECT_TRUE(cache.Peek(0, nullptr));
    cache.Insert(2000, image);
    EXPECT_FALSE(cache.Peek(0, nullptr));
    EXPECT_TRUE(cache.Peek(1, nullptr));
    cache.Insert(2001, image);
    EXPECT_FALSE(cache.Peek(1, nullptr));
    EXPECT_TRUE(cache.Peek(500, nullptr));
    EXPECT_EQ(cache.Size(), 100);
}

TEST(ThumbnailCacheTest, ReinsertReplacesAndEntriesWithoutImageAreNotUsable)
{
    int64_t now = 10;
    ThumbnailCache cache(2, [&] { return now; });
    QImage image(50, 40, QImage::Format_RGB888);
    image.fill(Qt::gray);
    cache.Insert(1, image);
    cache.Insert(2, QImage());
    now = 20;
    EXPECT_FALSE(cache.Touch(2)); // touched, but nothing to draw
    EXPECT_FALSE(cache.Touch(3));
    ThumbnailCache::Entry entry;
    ASSERT_TRUE(cache.Peek(2, &entry));
    EXPECT_EQ(entry.useCount, 1);

    cache.Insert(1, image); // replaces, evicts nothing
    EXPECT_EQ(cache.Size(), 2);
    ASSERT_TRUE(cache.Peek(1, &entry));
    EXPECT_EQ(entry.useCount, 0);
    EXPECT_EQ(entry.lastUse, 20);
}

} // namespace
