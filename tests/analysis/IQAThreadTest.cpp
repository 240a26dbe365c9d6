#include "analysis/IQAThread.h"
#include "yuv/LumoYuvReader.h"

#include <QMetaMethod>
#include <QLoggingCategory>
#include <QMutex>
#include <QPointer>
#include <QSignalSpy>
#include <QStringList>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

// Collects debug-channel lines from every thread.
QMutex g_logMutex;
QStringList g_log;
void CollectLog(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    QMutexLocker lock(&g_logMutex);
    g_log << msg;
}

struct LogCapture {
    LogCapture()
    {
        QMutexLocker lock(&g_logMutex);
        g_log.clear();
        // The program's debug lines are off unless turned on.
        QLoggingCategory::setFilterRules(QStringLiteral("lumo.debug=true"));
        previous = qInstallMessageHandler(CollectLog);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    }
    QStringList lines() const
    {
        QMutexLocker lock(&g_logMutex);
        return g_log;
    }
    QtMessageHandler previous;
};

// Runs the event loop (deferred deletions included) until `done` holds.
// QSignalSpy::wait() is not used for workers on other threads: a signal sent
// before the wait begins would be missed and the wait would time out.
template <class F> bool WaitFor(F done, int ms = 5000)
{
    for (int waited = 0; !done() && waited < ms; waited += 10)
        QTest::qWait(10);
    return done();
}

std::unique_ptr<uint8_t[]> Frame(int w, int h, uint8_t y, uint8_t u, uint8_t v, unsigned seed = 0)
{
    const size_t n = size_t(w) * h;
    std::unique_ptr<uint8_t[]> f(new uint8_t[(3 * n) / 2]);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < n; ++i)
        f[i] = seed ? static_cast<uint8_t>(rng() % 200) : y;
    std::memset(f.get() + n, u, n / 4);
    std::memset(f.get() + n + n / 4, v, n / 4);
    return f;
}

// Runs a worker as the analysis window does: on its own QThread, deleted
// with its thread once it reports.
struct Job {
    explicit Job(IQAThread* w)
        : worker(w)
        , thread(new QThread)
        , finished(w, &IQAThread::workFinished)
        , started(w, &IQAThread::workStart)
    {
        worker->moveToThread(thread);
        QObject::connect(thread, &QThread::started, worker, &IQAThread::start1);
        QObject::connect(worker, &IQAThread::workFinished, worker, &QObject::deleteLater);
        QObject::connect(worker, &IQAThread::workFinished, thread, &QThread::quit);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    }
    void start() { thread->start(); }
    QPointer<IQAThread> worker;
    QPointer<QThread> thread;
    QSignalSpy finished;
    QSignalSpy started;
};

TEST(IQAThread, MetaObjectOrder)
{
    IQAThread w;
    const QMetaObject* mo = w.metaObject();
    const char* expected[] = {"workFinished(double,double,double,double,double,double,double)", "workStart()",
                              "start1()", "doWork()"};
    const QMetaMethod::MethodType kinds[] = {QMetaMethod::Signal, QMetaMethod::Signal, QMetaMethod::Slot,
                                             QMetaMethod::Slot};
    ASSERT_EQ(mo->methodCount() - mo->methodOffset(), 4);
    for (int i = 0; i < 4; ++i) {
        const QMetaMethod m = mo->method(mo->methodOffset() + i);
        EXPECT_EQ(m.methodSignature(), QByteArray(expected[i]));
        EXPECT_EQ(m.methodType(), kinds[i]);
    }
}

TEST(IQAThread, IdenticalFramesOnAThread)
{
    LogCapture log;
    auto* worker = new IQAThread;
    worker->setFrames(Frame(64, 32, 0, 90, 160, 7), Frame(64, 32, 0, 90, 160, 7), 64, 32, 1);
    Job job(worker);
    // A receiver on the GUI thread, as the window is: queued signals.
    QObject receiver;
    QStringList order;
    QObject::connect(worker, &IQAThread::workStart, &receiver, [&] { order << "start"; });
    QObject::connect(worker, &IQAThread::workFinished, &receiver, [&] { order << "finished"; });
    job.start();
    ASSERT_TRUE(WaitFor([&] { return !job.finished.isEmpty(); }, 10000));
    EXPECT_TRUE(WaitFor([&] { return order.size() == 2; }));
    EXPECT_EQ(order.join(","), QString("start,finished"));
    const QList<QVariant> args = job.finished.takeFirst();
    ASSERT_EQ(args.size(), 7);
    EXPECT_NEAR(args[0].toDouble(), 1.0, 1e-6);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(args[i].toDouble(), 0.0);
    for (int i = 4; i <= 6; ++i)
        EXPECT_EQ(args[i].toDouble(), 999.99);
    // Worker and thread go away after the one run.
    EXPECT_TRUE(WaitFor([&] { return job.worker.isNull() && job.thread.isNull(); }));
    const QStringList lines = log.lines();
    EXPECT_TRUE(lines.contains("IQAThread::start1"));
    EXPECT_TRUE(lines.contains("Y-PSNR : 999.99 , U-PSNR : 999.99 , V-PSNR :  999.99")) << lines.join("\n").toStdString();
    EXPECT_TRUE(lines.contains("Y-MSE : 0 , U-MSE : 0 , V-MSE :  0"));
    EXPECT_TRUE(lines.filter(QRegularExpression("^SSIM_GRAY : 1$|^SSIM_GRAY : 0\\.99999")).size() == 1);
}

TEST(IQAThread, WorkFinishedArgumentOrder)
{
    const int w = 48, h = 40;
    // Y differs by 1, U by 2, V by 3: MSE 1, 4, 9, each PSNR its own.
    auto ref = Frame(w, h, 100, 100, 100);
    auto cmp = Frame(w, h, 101, 102, 103);
    for (int i = 0; i < w * h; ++i) {
        ref[i] = static_cast<uint8_t>(60 + (i * 7) % 120);
        cmp[i] = static_cast<uint8_t>(ref[i] + 1);
    }
    const double ssim = lumo::LumoYuvReader().ComputeSsimGray(ref.get(), cmp.get(), w, h, 2);
    auto* worker = new IQAThread;
    worker->setFrames(std::move(ref), std::move(cmp), w, h, 2);
    Job job(worker);
    job.start();
    ASSERT_TRUE(WaitFor([&] { return !job.finished.isEmpty(); }, 10000));
    const QList<QVariant> a = job.finished.takeFirst();
    ASSERT_EQ(a.size(), 7);
    const QString text = QString::fromUtf8("【SSIM %1】【MSE Y: %2, U: %3, V: %4】【PSNR Y: %5, U: %6, V: %7】")
                             .arg(a[0].toDouble())
                             .arg(a[1].toDouble())
                             .arg(a[2].toDouble())
                             .arg(a[3].toDouble())
                             .arg(a[4].toDouble())
                             .arg(a[5].toDouble())
                             .arg(a[6].toDouble());
    const QString expect = QString::fromUtf8("【SSIM %1】【MSE Y: 1, U: 4, V: 9】【PSNR Y: %2, U: %3, V: %4】")
                               .arg(ssim)
                               .arg(10 * std::log10(65025.0))
                               .arg(10 * std::log10(65025.0 / 4))
                               .arg(10 * std::log10(65025.0 / 9));
    EXPECT_EQ(text.toStdString(), expect.toStdString());
    EXPECT_EQ(a[0].toDouble(), ssim);
    EXPECT_LT(ssim, 1.0);
    EXPECT_EQ(job.started.count(), 1);
}

TEST(IQAThread, WithoutFramesStartsButNeverFinishes)
{
    LogCapture log;
    for (bool oneFrame : {false, true}) {
        auto* worker = new IQAThread;
        if (oneFrame)
            worker->setFrames(Frame(16, 16, 1, 2, 3), nullptr, 16, 16, 0);
        Job job(worker);
        job.start();
        ASSERT_TRUE(WaitFor([&] { return job.started.count() == 1; }, 10000));
        EXPECT_FALSE(job.finished.wait(300));
        EXPECT_EQ(job.finished.count(), 0);
        // The worker stays with its thread; end both here.
        job.thread->quit();
        job.thread->wait();
        EXPECT_TRUE(WaitFor([&] { return job.thread.isNull(); }));
        delete job.worker.data();
    }
    EXPECT_EQ(log.lines().count("---------->m_yuv is nullptr"), 2);
}

TEST(IQAThread, OverlappingJobsEachKeepTheirFrames)
{
    const int w = 320, h = 180;
    std::vector<std::unique_ptr<Job>> jobs;
    std::vector<double> expectMseU;
    for (int i = 0; i < 4; ++i) {
        auto* worker = new IQAThread;
        worker->setFrames(Frame(w, h, 0, 50, 60, 1 + i), Frame(w, h, 0, uint8_t(50 + i), 60, 1 + i), w, h, i % 3);
        EXPECT_TRUE(worker->hasFrames());
        expectMseU.push_back(double(i * i));
        jobs.push_back(std::make_unique<Job>(worker));
    }
    for (auto& j : jobs)
        j->start();
    for (size_t i = 0; i < jobs.size(); ++i) {
        ASSERT_TRUE(WaitFor([&] { return !jobs[i]->finished.isEmpty(); }, 20000));
        const QList<QVariant> a = jobs[i]->finished.takeFirst();
        EXPECT_NEAR(a[0].toDouble(), 1.0, 1e-6); // same luma
        EXPECT_EQ(a[1].toDouble(), 0.0);
        EXPECT_EQ(a[2].toDouble(), expectMseU[i]);
        EXPECT_EQ(a[3].toDouble(), 0.0);
    }
    for (auto& j : jobs)
        EXPECT_TRUE(WaitFor([&] { return j->worker.isNull() && j->thread.isNull(); }));
}

TEST(IQAThread, FramesAreReleasedWhenTheRunEnds)
{
    IQAThread worker;
    worker.setFrames(Frame(16, 16, 5, 5, 5), Frame(16, 16, 5, 5, 5), 16, 16, 0);
    QSignalSpy finished(&worker, &IQAThread::workFinished);
    worker.doWork();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(worker.hasFrames());
    // A second run has nothing left to measure.
    worker.doWork();
    EXPECT_EQ(finished.count(), 1);
}

} // namespace
