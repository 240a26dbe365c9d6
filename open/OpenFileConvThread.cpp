#include "open/OpenFileConvThread.h"

#include "base/DebugLog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>
#include <QVector>

#include "media/LumoReader.h"
#include "media/MediaInput.h"
#include "media/MediaLayout.h"
#include "yuv/YuvTypeTable.h"

namespace {

// Threads of conversions still running, so quitting can wait for them.
QMutex g_threadsMutex;
QVector<QThread*> g_threads;

void Forget(QThread* thread)
{
    QMutexLocker lock(&g_threadsMutex);
    g_threads.removeAll(thread);
}

} // namespace

OpenFileConvThread::OpenFileConvThread(const QString& input, const QString& output, QObject* parent)
    : QObject(parent), input_(input), output_(output)
{
}

int OpenFileConvThread::LayoutIndexForFormat(int formatCode)
{
    const std::string name = lumo::LayoutNameForMediaFormat(formatCode);
    const lumo::YuvTypeTable& table = lumo::YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        lumo::YuvTypeInfo info;
        if (table.GetByIndex(i, info) == 0 && info.name == name)
            return i;
    }
    return 0;
}

void OpenFileConvThread::Run(OpenFileConvThread* worker)
{
    static const bool hooked = [] {
        if (auto* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, &OpenFileConvThread::StopAllAndWait);
        return true;
    }();
    Q_UNUSED(hooked);

    auto* thread = new QThread;
    worker->moveToThread(thread);
    connect(thread, &QThread::started, worker, &OpenFileConvThread::start1);
    connect(worker, &OpenFileConvThread::workFinished, worker, &QObject::deleteLater);
    // Direct: quitting must not depend on the GUI thread's event loop, which
    // may be blocked waiting for this thread at exit.
    connect(worker, &OpenFileConvThread::workFinished, thread, &QThread::quit, Qt::DirectConnection);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    {
        QMutexLocker lock(&g_threadsMutex);
        g_threads.append(thread);
    }
    connect(thread, &QThread::finished, thread, [thread] { Forget(thread); }, Qt::DirectConnection);
    thread->start(QThread::InheritPriority);
}

void OpenFileConvThread::start1()
{
    qCDebug(lumoDebug) << "OpenFileConvThread::start1";
    emit workStart();
    doWork();
}

void OpenFileConvThread::doWork()
{
    lumo::LumoReader reader;
    int width = -1;
    int height = -1;
    Lumer::LumerAVPixelFormat format = Lumer::LUMER_PIX_FMT_YUV420P;
    const int result = reader.Read2File(input_.toUtf8().toStdString(), output_.toUtf8().toStdString(), width,
                                        height, format);
    const QString name = QFileInfo(input_).fileName();
    if (result == lumo::LumoReader::kErrorNamesOtherFiles)
        emit workRefused(output_, tr("%1 是列出其他文件的播放列表，未转换").arg(name));
    else if (result == lumo::LumoReader::kErrorTooLarge)
        emit workRefused(output_, tr("%1 大于 %2x%2，超过能显示的最大画面，未转换").arg(name).arg(lumo::kMaxMediaSide));
    const int index = LayoutIndexForFormat(static_cast<int>(format));
    qCDebug(lumoDebug) << "file_out:" << output_;
    emit workFinished(width, height, index);
}

int OpenFileConvThread::RunningCount()
{
    QMutexLocker lock(&g_threadsMutex);
    return g_threads.size();
}

void OpenFileConvThread::StopAllAndWait()
{
    QVector<QPointer<QThread>> threads;
    {
        QMutexLocker lock(&g_threadsMutex);
        if (g_threads.isEmpty())
            return;
        for (QThread* thread : g_threads)
            threads.append(thread);
    }
    lumo::LumoReader::RequestStopAll();
    for (const QPointer<QThread>& thread : threads) {
        if (thread)
            thread->wait();
    }
    // Later conversions (a test, or a new dialog) may run again.
    lumo::LumoReader::ClearStopRequest();
}
