// Thumbnail worker: request queue bound, serving into the cache, read
// failures, row layout of odd-length rows, stopping with queued work.
#include "analysis/SnapshotThread.h"
#include "analysis/ThumbnailCache.h"
#include "analysis/FrameThumbnail.h"
#include "yuv/RawFrameSource.h"

#include "MessageCapture.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

QString TempRoot()
{
    const QByteArray env = qgetenv("LUMO_TEST_TMP");
    return env.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(env);
}

// Writes `frames` I420 frames; luma sample (x, y) of frame f is lumaOf(f, x, y),
// chroma is neutral grey.
QString WriteI420(const QTemporaryDir& dir, const QString& name, int width, int height, int frames,
                  const std::function<int(int, int, int)>& lumaOf)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    const int chroma = 2 * ((width / 2) * (height / 2));
    for (int f = 0; f < frames; ++f) {
        QByteArray frame(width * height + chroma, char(128));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                frame[y * width + x] = char(lumaOf(f, x, y));
        file.write(frame);
    }
    return path;
}

lumo::LumoYuvReader Reader(const QString& path, int width, int height)
{
    return lumo::LumoYuvReader(path.toStdString(), width, height, "YUV_TYPE_I420");
}


// Counts GetImageSuccess on the test's thread, as the time line receives it
// (queued), so the count is never read while the worker writes it.
class SignalCounter {
public:
    explicit SignalCounter(SnapshotThread* worker)
    {
        QObject::connect(worker, &SnapshotThread::GetImageSuccess, &receiver_, [this] { ++count_; });
    }
    int count() const { return count_; }

private:
    QObject receiver_;
    int count_ = 0;
};

// The worker may emit before the test starts waiting: count, don't wait for
// a fresh emission.
bool WaitForSignals(const SignalCounter& spy, int count)
{
    return QTest::qWaitFor([&] { return spy.count() >= count; }, 5000);
}

class SnapshotThreadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // Serves one frame through a worker of its own and returns the cached
    // thumbnail (a null image when none was made).
    static QImage ServeOneFrame(const lumo::LumoYuvReader& reader, int frame)
    {
        ThumbnailCache cache;
        SnapshotThread worker(&cache, reader, 50);
        SignalCounter spy(&worker);
        worker.start();
        EXPECT_EQ(worker.addRequest(frame), 0);
        EXPECT_TRUE(WaitForSignals(spy, 1));
        worker.stopWork();
        ThumbnailCache::Entry entry;
        return cache.Peek(frame, &entry) ? entry.thumbnail : QImage();
    }

    QTemporaryDir dir_{TempRoot() + "/snapshot-XXXXXX"};
};

TEST_F(SnapshotThreadTest, QueueAcceptsFiveAndRefusesTheSixth)
{
    ThumbnailCache cache;
    SnapshotThread worker(&cache, lumo::LumoYuvReader(), 50);
    // Duplicates count like any other request.
    const int requests[] = {3, 3, 0, 7, 1, 2, 9};
    const int expected[] = {0, 0, 0, 0, 0, -1, -1};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(worker.addRequest(requests[i]), expected[i]) << "request " << i;
    EXPECT_EQ(worker.PendingCount(), 5);
}

TEST_F(SnapshotThreadTest, ServedFrameLandsInCacheScaledToCellWidth)
{
    const QString path = WriteI420(dir_, "a.yuv", 176, 144, 3, [](int f, int x, int) { return 40 + 60 * f + x % 7; });
    const lumo::LumoYuvReader reader = Reader(path, 176, 144);
    ThumbnailCache cache;
    SnapshotThread worker(&cache, reader, 50);
    SignalCounter spy(&worker);
    worker.start();
    ASSERT_EQ(worker.addRequest(1), 0);
    ASSERT_TRUE(WaitForSignals(spy, 1));

    ThumbnailCache::Entry entry;
    ASSERT_TRUE(cache.Peek(1, &entry));
    EXPECT_EQ(entry.useCount, 0);
    EXPECT_EQ(entry.thumbnail.width(), 50);
    EXPECT_EQ(entry.thumbnail.height(), 41); // 144 * 50 / 176 = 40.9
    EXPECT_FALSE(cache.Peek(0, nullptr));

    // Nearest-pixel scaling: every thumbnail pixel is one of the frame's.
    int64_t bytes = 0;
    std::unique_ptr<uint8_t[]> rgb(reader.ReadFrameRGB24(nullptr, &bytes, 176 * 144 * 3 / 2));
    ASSERT_TRUE(rgb);
    const QImage full(rgb.get(), 176, 144, 176 * 3, QImage::Format_RGB888);
    const QImage reference = full.scaled(50, 41, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    EXPECT_EQ(entry.thumbnail.convertToFormat(QImage::Format_RGB888), reference);
    worker.stopWork();
}

TEST_F(SnapshotThreadTest, FrameOfCellWidthGetsItsOwnPixels)
{
    // No scaling needed: the thumbnail must not point into the released
    // read buffer.
    const QString path = WriteI420(dir_, "w50.yuv", 50, 40, 1, [](int, int x, int y) { return (x * 5 + y * 3) % 256; });
    const lumo::LumoYuvReader reader = Reader(path, 50, 40);
    const QImage thumbnail = ServeOneFrame(reader, 0);
    ASSERT_FALSE(thumbnail.isNull());

    int64_t bytes = 0;
    std::unique_ptr<uint8_t[]> rgb(reader.ReadFrameRGB24(nullptr, &bytes, 0));
    ASSERT_TRUE(rgb);
    const QImage reference = QImage(rgb.get(), 50, 40, 150, QImage::Format_RGB888).copy();
    EXPECT_EQ(thumbnail.convertToFormat(QImage::Format_RGB888), reference);
}

TEST_F(SnapshotThreadTest, FrameAlreadyCachedIsTouchedNotReadAgain)
{
    const QString path = WriteI420(dir_, "b.yuv", 64, 48, 3, [](int f, int, int) { return 20 * f; });
    ThumbnailCache cache;
    QImage marker(50, 37, QImage::Format_RGB888);
    marker.fill(Qt::red);
    cache.Insert(2, marker);

    SnapshotThread worker(&cache, Reader(path, 64, 48), 50);
    SignalCounter spy(&worker);
    worker.start();
    ASSERT_EQ(worker.addRequest(2), 0);
    ASSERT_EQ(worker.addRequest(0), 0);
    ASSERT_TRUE(WaitForSignals(spy, 1));
    worker.stopWork();

    QTest::qWait(20); // deliver anything still queued
    EXPECT_EQ(spy.count(), 1); // only frame 0 was made
    ThumbnailCache::Entry entry;
    ASSERT_TRUE(cache.Peek(2, &entry));
    EXPECT_EQ(entry.useCount, 1);
    EXPECT_EQ(entry.thumbnail, marker);
    EXPECT_TRUE(cache.Peek(0, nullptr));
}

TEST_F(SnapshotThreadTest, UnreadableFramesReportFailureAndMakeNoEntry)
{
    const QString path = WriteI420(dir_, "c.yuv", 32, 32, 3, [](int, int, int) { return 90; });
    struct Case {
        const char* name;
        lumo::LumoYuvReader reader;
        int index;
    };
    const Case cases[] = {
        {"past the last frame", Reader(path, 32, 32), 3},
        {"negative index", Reader(path, 32, 32), -1},
        {"missing file", Reader(dir_.filePath("none.yuv"), 32, 32), 0},
        {"unknown layout", lumo::LumoYuvReader(path.toStdString(), 32, 32, "YUV_TYPE_NONE"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ThumbnailCache cache;
        SnapshotThread worker(&cache, c.reader, 50);
        SignalCounter spy(&worker);
        QStringList lines;
        {
            MessageCapture capture;
            worker.start();
            ASSERT_EQ(worker.addRequest(c.index), 0);
            ASSERT_TRUE(WaitForSignals(spy, 1));
            worker.stopWork();
            lines = capture.lines();
        }
        EXPECT_EQ(lines, QStringList({"ReadFrameRGB24 Fail", "Send", "End Send"}));
        EXPECT_EQ(cache.Size(), 0);
    }
}

TEST_F(SnapshotThreadTest, OddLengthRowsGiveAnUndistortedThumbnail)
{
    // 1366 * 3 = 4098 bytes per row, not a multiple of four. The luma depends
    // on x only, so every thumbnail row must be the same.
    const QString path = WriteI420(dir_, "d.yuv", 1366, 400, 1, [](int, int x, int) { return (x * 7) % 256; });
    const QImage thumb = ServeOneFrame(Reader(path, 1366, 400), 0).convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(thumb.width(), 50);
    ASSERT_EQ(thumb.height(), 15);
    bool columnsDiffer = false;
    for (int x = 1; x < 50; ++x)
        columnsDiffer |= thumb.pixel(x, 0) != thumb.pixel(0, 0);
    EXPECT_TRUE(columnsDiffer);
    for (int y = 1; y < thumb.height(); ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(thumb.pixel(x, y), thumb.pixel(x, 0)) << x << "," << y;
}

TEST_F(SnapshotThreadTest, TallFrameThumbnailHeightIsCapped)
{
    // 2 x 200000: scaled to the cell width the thumbnail would be 5,000,000
    // rows (750 MB per cache entry).
    const QString path = WriteI420(dir_, "tall.yuv", 2, 200000, 1, [](int, int, int y) { return y % 256; });
    const QImage thumb = ServeOneFrame(Reader(path, 2, 200000), 0);
    EXPECT_EQ(thumb.width(), 50);
    EXPECT_EQ(thumb.height(), 4096);
}

TEST_F(SnapshotThreadTest, StopKeepsQueuedIndicesForTheNextStart)
{
    const QString path = WriteI420(dir_, "e.yuv", 640, 480, 4, [](int f, int, int) { return 30 * f; });
    ThumbnailCache cache;
    SnapshotThread worker(&cache, Reader(path, 640, 480), 50);
    SignalCounter spy(&worker);

    // Stopping a worker that never ran returns at once and keeps the queue.
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(worker.addRequest(i), 0);
    worker.stopWork();
    EXPECT_EQ(worker.PendingCount(), 4);

    // Stopping a running worker: whatever it has not served stays queued.
    worker.start();
    worker.stopWork();
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(cache.Size() + worker.PendingCount(), 4);

    // The next start serves the rest.
    worker.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return cache.Size() == 4; }, 5000));
    EXPECT_EQ(worker.PendingCount(), 0);

    // An idle worker (empty queue) stops promptly too, and can start again.
    worker.stopWork();
    EXPECT_FALSE(worker.isRunning());
    worker.start();
    const int before = spy.count();
    ASSERT_EQ(worker.addRequest(7), 0); // past the end: served as a failure
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() > before; }, 5000));
    worker.stopWork();
}

TEST_F(SnapshotThreadTest, DestroyingARunningWorkerStopsItFirst)
{
    ThumbnailCache cache;
    auto worker = std::make_unique<SnapshotThread>(&cache, lumo::LumoYuvReader(), 50);
    worker->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker->isRunning(); }, 5000));
    worker.reset(); // must neither hang nor abort
    SUCCEED();
}

} // namespace

namespace {

// A source that is not a file: the frames of a raw file, read through the
// plain interface only.
class WrappedSource : public lumo::FrameSource {
public:
    explicit WrappedSource(const lumo::RawFrameSource& raw) : raw_(raw) {}
    std::unique_ptr<lumo::FrameSource> Clone() const override { return std::make_unique<WrappedSource>(raw_); }
    const std::string& Path() const override { return raw_.Path(); }
    int Width() const override { return raw_.Width(); }
    int Height() const override { return raw_.Height(); }
    const std::string& Type() const override { return raw_.Type(); }
    int BitDepth() const override { return raw_.BitDepth(); }
    int64_t FrameSize() const override { return raw_.FrameSize(); }
    int FrameCount() const override { return raw_.FrameCount(); }
    bool ReadFrame(int index, uint8_t* dst, const lumo::CancelToken* cancel) override
    {
        return raw_.ReadFrame(index, dst, cancel);
    }

private:
    lumo::RawFrameSource raw_;
};

} // namespace

// Any frame source gives the thumbnail a raw file sampled in place gives.
TEST_F(SnapshotThreadTest, AnySourceGivesTheSampledThumbnail)
{
    const QString path =
        WriteI420(dir_, "any.yuv", 96, 64, 2, [](int f, int x, int y) { return (f * 50 + x * 2 + y) & 255; });
    lumo::RawFrameSource raw(path.toStdString(), 96, 64, "YUV_TYPE_I420");
    WrappedSource wrapped(raw);
    for (ThumbnailFilter filter : {ThumbnailFilter::Nearest, ThumbnailFilter::Smooth}) {
        for (int frame : {0, 1}) {
            const QImage sampled = MakeFrameThumbnail(raw, frame, QSize(30, 20), filter);
            ASSERT_FALSE(sampled.isNull());
            EXPECT_EQ(MakeFrameThumbnail(wrapped, frame, QSize(30, 20), filter), sampled) << frame;
        }
    }
    EXPECT_TRUE(MakeFrameThumbnail(wrapped, 2, QSize(30, 20), ThumbnailFilter::Nearest).isNull()); // past the end
}
