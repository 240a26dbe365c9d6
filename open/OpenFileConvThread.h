#pragma once

#include <QObject>
#include <QString>

#include <type_traits>

class QThread;

// Converts one media file into a raw YUV file through the media library.
// Lives on a thread of its own (see Start); reports the frame size and the
// layout index of what it wrote.
class OpenFileConvThread : public QObject {
    Q_OBJECT
public:
    OpenFileConvThread(const QString& input, const QString& output, QObject* parent = nullptr);

    // Creates a worker on a new thread, wires it as described below and
    // starts the thread. `receiver` gets workStart, workFinished and, when
    // it has a slot of that name, workRefused queued (through its slots of
    // the same names); pass nullptr for none. The worker deletes itself and
    // its thread when done. Returns the worker.
    template <typename Receiver>
    static OpenFileConvThread* Start(const QString& input, const QString& output, Receiver* receiver)
    {
        auto* worker = new OpenFileConvThread(input, output);
        if (receiver) {
            connect(worker, &OpenFileConvThread::workStart, receiver, &Receiver::workStart, Qt::QueuedConnection);
            connect(worker, &OpenFileConvThread::workFinished, receiver, &Receiver::workFinished,
                    Qt::QueuedConnection);
            if constexpr (HasWorkRefused<Receiver>::value)
                connect(worker, &OpenFileConvThread::workRefused, receiver, &Receiver::workRefused,
                        Qt::QueuedConnection);
        }
        Run(worker);
        return worker;
    }
    // Moves a parentless worker onto a new thread and starts it; the worker
    // deletes itself and its thread when done.
    static void Run(OpenFileConvThread* worker);

    // Layout-table index for a media library pixel-format code.
    static int LayoutIndexForFormat(int formatCode);

    // Stops every running conversion (their unfinished output is removed)
    // and waits for their threads. Runs by itself when the application is
    // about to quit.
    static void StopAllAndWait();
    // Conversions started and not yet finished.
    static int RunningCount();

    const QString& input() const { return input_; }
    const QString& output() const { return output_; }

signals:
    void workStart();
    // Sent before workFinished when the input is refused unread (a playlist
    // naming other files, a picture over the largest size), with the
    // message for the user; nothing is written to `output`.
    void workRefused(const QString& output, const QString& message);
    void workFinished(int width, int height, int yuv_index);

public slots:
    void start1();
    void doWork();

private:
    template <typename R, typename = void>
    struct HasWorkRefused : std::false_type {};
    template <typename R>
    struct HasWorkRefused<R, std::void_t<decltype(&R::workRefused)>> : std::true_type {};

    QString input_;
    QString output_;
};
