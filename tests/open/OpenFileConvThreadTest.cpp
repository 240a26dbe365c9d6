#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "MediaFixtures.h"
#include "open/OpenFileConvThread.h"

namespace {

struct Result {
    int width = 0;
    int height = 0;
    int index = 0;
};

// Converts `input` on a worker thread; spies on the worker's own signals.
Result Convert(const QString& input, int* starts = nullptr)
{
    auto* worker = new OpenFileConvThread(input, input + ".yuv");
    QSignalSpy startSpy(worker, &OpenFileConvThread::workStart);
    QSignalSpy finishSpy(worker, &OpenFileConvThread::workFinished);
    QObject receiver;
    bool done = false;
    QObject::connect(worker, &OpenFileConvThread::workFinished, &receiver, [&] { done = true; },
                     Qt::QueuedConnection);
    OpenFileConvThread::Run(worker);
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 60000));
    Result r;
    if (starts)
        *starts = startSpy.count();
    EXPECT_EQ(finishSpy.count(), 1);
    if (finishSpy.count() == 1) {
        r.width = finishSpy.at(0).at(0).toInt();
        r.height = finishSpy.at(0).at(1).toInt();
        r.index = finishSpy.at(0).at(2).toInt();
    }
    return r;
}

} // namespace

TEST(OpenFileConvThread, MapsLibraryCodesToLayoutIndexes)
{
    const int table[][2] = {{101, 0}, {102, 3}, {103, 2}, {104, 4}, {105, 8}, {106, 12}, {0, 0}, {-1, 0},
                            {107, 18}, {109, 20}, {112, 23}, {113, 24}, {114, 0}};
    for (const auto& row : table)
        EXPECT_EQ(OpenFileConvThread::LayoutIndexForFormat(row[0]), row[1]) << row[0];
}

TEST(OpenFileConvThread, ConvertsA422ClipNextToItsInput)
{
    const QString clip = MakeClip("clip422.mkv", "64x48", "yuv422p");
    int starts = 0;
    const Result r = Convert(clip, &starts);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(r.width, 64);
    EXPECT_EQ(r.height, 48);
    EXPECT_EQ(r.index, 4);
    EXPECT_EQ(QFileInfo(clip + ".yuv").size(), 3 * 64 * 48 * 2);
    EXPECT_TRUE(QTest::qWaitFor([] { return OpenFileConvThread::RunningCount() == 0; }, 5000));
}

TEST(OpenFileConvThread, ConvertsAPicture)
{
    const QString png = MakePng("still.png", 40, 30);
    const Result r = Convert(png);
    EXPECT_EQ(r.width, 40);
    EXPECT_EQ(r.height, 30);
    EXPECT_TRUE(QFileInfo::exists(png + ".yuv"));
}

TEST(OpenFileConvThread, NonMediaFileReportsNoGeometry)
{
    struct Case {
        const char* what;
        QString path;
    } cases[] = {
        {"text file", MakeTextFile("notes.txt")},
        {"missing file", QDir(TestTmp()).filePath("missing.mp4")},
    };
    for (const Case& c : cases) {
        const Result r = Convert(c.path);
        EXPECT_EQ(r.width, -1) << c.what;
        EXPECT_EQ(r.height, -1) << c.what;
        EXPECT_EQ(r.index, 0) << c.what;
        EXPECT_FALSE(QFileInfo::exists(c.path + ".yuv")) << c.what;
    }
}

// NAME.yuv is a name the program chose: a link planted there is replaced,
// never written through.
TEST(OpenFileConvThread, ReplacesALinkPlantedAtTheOutputName)
{
    const QString png = MakePng("planted.png", 16, 8);
    const QString victim = QDir(TestTmp()).filePath("victim.txt");
    QFile::remove(victim);
    QFile::remove(png + ".yuv");
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep");
    }
    ASSERT_TRUE(QFile::link(victim, png + ".yuv"));
    EXPECT_EQ(Convert(png).width, 16);
    EXPECT_FALSE(QFileInfo(png + ".yuv").isSymLink());
    EXPECT_EQ(QFileInfo(png + ".yuv").size(), 16 * 8 * 3 / 2);
    EXPECT_EQ(QFileInfo(victim).size(), 4);
}

TEST(OpenFileConvThread, TwoConversionsAtOnceEachWriteTheirOwnFile)
{
    const QString a = MakeClip("twin_a.mkv", "32x16", "yuv420p", 4);
    const QString b = MakeClip("twin_b.mkv", "48x32", "yuv444p", 2);
    struct Receiver : QObject {
        QVector<Result> results;
        void workStart() {}
        void workFinished(int w, int h, int i) { results.append({w, h, i}); }
    } receiver;
    OpenFileConvThread::Start(a, a + ".yuv", &receiver);
    OpenFileConvThread::Start(b, b + ".yuv", &receiver);
    ASSERT_TRUE(QTest::qWaitFor([&] { return receiver.results.size() == 2; }, 60000));
    EXPECT_EQ(QFileInfo(a + ".yuv").size(), 4 * 32 * 16 * 3 / 2);
    EXPECT_EQ(QFileInfo(b + ".yuv").size(), 2 * 48 * 32 * 3);
    EXPECT_TRUE(QTest::qWaitFor([] { return OpenFileConvThread::RunningCount() == 0; }, 5000));
}

TEST(OpenFileConvThread, StoppingAtQuitRemovesTheUnfinishedOutput)
{
    const QString clip = MakeClip("long.mkv", "1280x720", "yuv420p", 150);
    struct Receiver : QObject {
        bool started = false;
        QVector<Result> results;
        void workStart() { started = true; }
        void workFinished(int w, int h, int i) { results.append({w, h, i}); }
    } receiver;
    OpenFileConvThread::Start(clip, clip + ".yuv", &receiver);
    ASSERT_TRUE(QTest::qWaitFor([&] { return receiver.started; }, 10000));
    OpenFileConvThread::StopAllAndWait();
    EXPECT_EQ(OpenFileConvThread::RunningCount(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return receiver.results.size() == 1; }, 5000));
    if (receiver.results[0].width == -1) {
        // Stopped in the middle: nothing half-written is left behind.
        EXPECT_FALSE(QFileInfo::exists(clip + ".yuv"));
    } else {
        EXPECT_EQ(QFileInfo(clip + ".yuv").size(), 150LL * 1280 * 720 * 3 / 2);
    }
    // Conversions work again afterwards.
    const QString small = MakeClip("after.mkv", "16x16", "yuv420p", 1);
    EXPECT_EQ(Convert(small).width, 16);
}
