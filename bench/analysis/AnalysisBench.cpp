// Timed runs of the analysis window: frames shown per second during
// playback, idle load, double click to metric text, and the memory a large
// window takes and gives back. Run under a display (xvfb-run).
//
//   lumo_analysis_bench [seconds-per-run [playback | compare]]
//     (playback: only the single-file playback runs; compare: only the runs
//     with two files and the memory check)
//   lumo_analysis_bench --show FIRST SECOND WIDTH HEIGHT FRAME [OUT.png [OPTION...]]
//     opens a 1284 x 900 window comparing two I420 files at FRAME and keeps it open
//     (or grabs it into OUT.png and quits). Options: diff=GAIN shows the
//     difference view, zoom=FACTOR zooms both views onto the point
//     hover=X,Y (frame pixel) names, which the mouse then rests on,
//     type=LAYOUT opens both files in that layout instead of I420.
#include "BenchProcess.h"
#include "base/SurfaceFormat.h"
#include "analysis/LumoImageView.h"
#include "analysis/SequenceMetrics.h"
#include "open/OpenFileDialog.h"
#include "analysis/VideoCtrBar.h"
#include "analysis/VideoTimeLine.h"
#include "render/YUVShowView.h"
#include "render/YUVWidget.h"

#include "i18n/Translation.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/YuvTypeTable.h"

#include <QApplication>
#include <QButtonGroup>
#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <ctime>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// Counts paint events per widget class while installed on the application.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++counts[QString::fromLatin1(object->metaObject()->className())];
        return false;
    }
    QString Summary() const
    {
        QStringList parts;
        for (auto it = counts.begin(); it != counts.end(); ++it)
            parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
    }
    QMap<QString, int> counts;
};

// The longest stall of the GUI thread's event loop: a 2 ms timer that
// should fire on time, and the largest gap between two of its ticks.
class StallProbe : public QObject {
public:
    StallProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(2);
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (last_.isValid())
                longest = std::max(longest, last_.nsecsElapsed() / 1e6);
            last_.start();
        });
        timer_.start();
    }
    void Reset()
    {
        longest = 0;
        last_.invalidate();
    }
    double longest = 0;

private:
    QTimer timer_;
    QElapsedTimer last_;
};

// CPU time of the calling thread.
double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Runs the event loop for `ms` without spinning.
void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds (checked every millisecond) or
// `ms` have passed. It sleeps between checks: a spinning wait would take a
// core from the threads being measured.
bool WaitFor(const std::function<bool()>& done, int ms)
{
    if (done())
        return true;
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || timer.elapsed() > ms)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double RssMb()
{
    malloc_trim(0);
    QFile file(QStringLiteral("/proc/self/statm"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) / 1048576.0 : -1;
}

// A moving gradient with some texture, `frames` frames of I420.
QString WriteI420(const QString& path, int width, int height, int frames, int shift)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    const int64_t n = int64_t(width) * height;
    std::vector<uint8_t> frame(static_cast<size_t>(n * 3 / 2));
    for (int f = 0; f < frames; ++f) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                frame[size_t(int64_t(y) * width + x)] = uint8_t((x + y + f * 8 + shift * ((x ^ y) & 7)) & 255);
        for (int64_t i = 0; i < n / 2; ++i)
            frame[size_t(n + i)] = uint8_t(96 + (i + f * 3) % 64);
        file.write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
    }
    return path;
}

// The same picture at 10 bits in I010: each sample times 4 plus two low
// bits that vary, so the rounding to 8 bits has work to do.
QString WriteI010(const QString& path, int width, int height, int frames)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    const int64_t n = int64_t(width) * height;
    std::vector<uint16_t> frame(static_cast<size_t>(n * 3 / 2));
    for (int f = 0; f < frames; ++f) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                frame[size_t(int64_t(y) * width + x)] = uint16_t(((x + y + f * 8) & 255) * 4 + ((x ^ y) & 3));
        for (int64_t i = 0; i < n / 2; ++i)
            frame[size_t(n + i)] = uint16_t((96 + (i + f * 3) % 64) * 4 + (i & 3));
        file.write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size() * 2));
    }
    return path;
}

void Open2nd(LumoImageView* window, const QString& path, int width, int height, int layoutIndex = 0)
{
    OpenFileDialog::SetFileChooser(
        [path](QWidget*, const QString&, const QString&, const QString&) { return QStringList{path}; });
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<OpenFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        dialog->findChild<QPushButton*>("open_file_btn")->click();
        dialog->findChild<QButtonGroup*>()->button(layoutIndex)->setChecked(true);
        dialog->findChild<QSpinBox*>("width_spin_box")->setValue(width);
        dialog->findChild<QSpinBox*>("height_spin_box")->setValue(height);
        dialog->findChild<QPushButton*>("open_file_ok")->click();
    });
    poll.start();
    window->findChild<QPushButton*>("open2")->click();
    OpenFileDialog::SetFileChooser({});
    if (window->SecondYUVWidget())
        WaitFor([&] { return window->SecondYUVWidget()->View()->isValid(); }, 5000);
}

LumoImageView* OpenWindow(const QString& path, int width, int height, const char* type = "YUV_TYPE_I420")
{
    auto* window = new LumoImageView(lumo::LumoYuvReader(path.toStdString(), width, height, type));
    window->show();
    WaitFor([&] { return window->FirstYUVWidget()->View()->isValid(); }, 10000);
    Wait(300);
    return window;
}

void CloseWindow(LumoImageView* window)
{
    QPointer<LumoImageView> guard = window;
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Wait(100);
}

void DoubleClickFrame(VideoTimeLine* line, int frame)
{
    const QPoint at(frame * VideoTimeLine::kCellWidth - line->ScrollOffset() + 25, 40);
    QMouseEvent event(QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(line, &event);
}

struct Playback {
    double shownPerSecond = 0; // slowest view
    double swapsPerShown = 0;  // window compositions per frame shown (1 is the least)
    double cpuMsPerShown = 0;  // process CPU, all threads (GL rasteriser included)
};

// Distinct frames that reached the screen in every view while playing at
// `fps` for `seconds`; the slowest view counts. Swaps and CPU per shown
// frame depend less on what else the machine is doing than the rate does.
Playback Play(LumoImageView* window, int fps, double seconds)
{
    std::vector<YUVShowView*> views{window->FirstYUVWidget()->View()};
    if (window->SecondYUVWidget())
        views.push_back(window->SecondYUVWidget()->View());
    std::vector<int> shown(views.size(), 0);
    std::vector<int> swaps(views.size(), 0);
    std::vector<int64_t> last(views.size(), -1);
    std::vector<QMetaObject::Connection> links;
    for (size_t i = 0; i < views.size(); ++i) {
        links.push_back(QObject::connect(views[i], &QOpenGLWidget::frameSwapped, [&, i] {
            ++swaps[i];
            const int64_t offset = views[i]->FrameOffset();
            if (offset != last[i]) {
                last[i] = offset;
                ++shown[i];
            }
        }));
    }
    window->findChild<QSpinBox*>("ctr_fps_spin")->setValue(fps);
    auto* play = window->findChild<QPushButton*>("ctr_btn");
    play->click();
    Wait(500); // settle
    std::fill(shown.begin(), shown.end(), 0);
    std::fill(swaps.begin(), swaps.end(), 0);
    const double cpu0 = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    Wait(int(seconds * 1000));
    const double elapsed = timer.elapsed() / 1000.0;
    const double cpu = CpuSeconds() - cpu0;
    const int slowest = *std::min_element(shown.begin(), shown.end());
    play->click();
    for (auto& link : links)
        QObject::disconnect(link);
    Playback result;
    result.shownPerSecond = slowest / elapsed;
    if (slowest > 0) {
        result.swapsPerShown = double(swaps[0]) / shown[0];
        result.cpuMsPerShown = cpu * 1000 / slowest;
    }
    return result;
}

// Reference: a window of the same size whose only content is a GL widget
// that clears itself, repainted by a timer at `fps`. Swaps per second show
// what the display path alone allows on this machine.
double ReferenceSwapsPerSecond(int fps, double seconds, int glWidgets, double* cpuMsPerSwap = nullptr)
{
    class Clearing : public QOpenGLWidget {
    public:
        using QOpenGLWidget::QOpenGLWidget;
        int frame = 0;

    protected:
        void paintGL() override
        {
            auto* f = context()->functions();
            f->glClearColor((frame++ % 255) / 255.0f, 0.3f, 0.6f, 1.0f);
            f->glClear(GL_COLOR_BUFFER_BIT);
        }
    };
    QWidget window;
    window.resize(1284, 659);
    auto* layout = new QHBoxLayout(&window);
    std::vector<Clearing*> views;
    for (int i = 0; i < glWidgets; ++i) {
        views.push_back(new Clearing(&window));
        layout->addWidget(views.back());
    }
    window.show();
    WaitFor([&] { return views.front()->isValid(); }, 10000);
    int swaps = 0;
    QObject::connect(views.front(), &QOpenGLWidget::frameSwapped, [&] { ++swaps; });
    QTimer timer;
    timer.setInterval(1000 / fps);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (Clearing* view : views)
            view->update();
    });
    timer.start();
    Wait(500);
    swaps = 0;
    const double cpu0 = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    Wait(int(seconds * 1000));
    if (cpuMsPerSwap)
        *cpuMsPerSwap = swaps > 0 ? (CpuSeconds() - cpu0) * 1000 / swaps : 0;
    return swaps / (clock.elapsed() / 1000.0);
}

int Show(const QStringList& args)
{
    if (args.size() < 7)
        return 2;
    // The window in the user's language, as the program shows it.
    lumo::InstallTranslation(*qApp);
    const int width = args[4].toInt();
    const int height = args[5].toInt();
    const int frame = args[6].toInt();
    QByteArray type = "YUV_TYPE_I420";
    for (int i = 8; i < args.size(); ++i)
        if (args[i].startsWith(QLatin1String("type=")))
            type = args[i].section('=', 1).toLatin1();
    int layoutIndex = 0;
    lumo::YuvTypeInfo info;
    for (int i = 0; lumo::YuvTypeTable::Instance().GetByIndex(i, info) == 0; ++i)
        if (info.name == type.toStdString())
            layoutIndex = i;
    LumoImageView* window = OpenWindow(args[2], width, height, type.constData());
    window->resize(1284, 900); // room for whole frames side by side
    Open2nd(window, args[3], width, height, layoutIndex);
    Wait(500);
    auto* label = window->findChild<QLabel*>("psnr_label");
    const QString before = label->text();
    DoubleClickFrame(window->CtrBar()->FirstTimeLine(), frame);
    WaitFor([&] { return label->text() != before; }, 20000);
    Wait(1500); // thumbnails
    WaitFor([&] { return window->Sequence()->IsFinished(); }, 120000);
    QPoint hover(-1, -1);
    for (int i = 8; i < args.size(); ++i) {
        const QString key = args[i].section('=', 0, 0);
        const QString value = args[i].section('=', 1);
        if (key == "diff")
            window->SetDiffShown(true, value.toInt());
        if (key == "hover")
            hover = QPoint(value.section(',', 0, 0).toInt(), value.section(',', 1, 1).toInt());
        if (key == "zoom") {
            // The views are linked: the second follows the first.
            for (YUVWidget* widget : {window->FirstYUVWidget()}) {
                YUVShowView* view = widget->View();
                view->ZoomAboutCentre(value.toDouble());
                view->grabFramebuffer(); // lay out the frame at the new zoom
                // Pan so that the hovered pixel sits in the middle of the view.
                if (hover.x() >= 0) {
                    const double scale = view->PixelScale();
                    int px = 0, py = 0;
                    view->PixelAt(view->width() / 2.0, view->height() / 2.0, &px, &py);
                    const QPoint drag((px - hover.x()) * scale, (py - hover.y()) * scale);
                    QMouseEvent press(QEvent::MouseButtonPress, QPoint(50, 50), Qt::LeftButton, Qt::LeftButton,
                                      Qt::NoModifier);
                    QMouseEvent m1(QEvent::MouseMove, QPoint(50, 50), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                    QMouseEvent m2(QEvent::MouseMove, QPoint(50, 50) + drag, Qt::LeftButton, Qt::LeftButton,
                                   Qt::NoModifier);
                    QMouseEvent release(QEvent::MouseButtonRelease, QPoint(50, 50) + drag, Qt::LeftButton,
                                        Qt::NoButton, Qt::NoModifier);
                    for (QMouseEvent* e : {&press, &m1, &m2, &release})
                        QApplication::sendEvent(view, e);
                    view->grabFramebuffer();
                }
            }
        }
    }
    if (hover.x() >= 0) {
        YUVShowView* view = window->FirstYUVWidget()->View();
        view->grabFramebuffer();
        // The widget position of the pixel's centre.
        QPoint at;
        for (int x = 0; x < view->width(); ++x)
            for (int y = 0; y < view->height(); ++y) {
                int px = 0, py = 0;
                if (view->PixelAt(x, y, &px, &py) && px == hover.x() && py == hover.y())
                    at = QPoint(x, y);
            }
        QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        std::printf("inspector: %s\n", qPrintable(window->PixelInfoText()));
    }
    Wait(500);
    if (args.size() > 7) {
        const bool saved = window->grab().save(args[7]);
        CloseWindow(window);
        return saved ? 0 : 1;
    }
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    bench::SetUpLikeTheProgram();
    QApplication app(argc, argv);
    qSetMessagePattern(QStringLiteral("%{if-debug}%{endif}%{message}"));
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1 && args[1] == QLatin1String("--show"))
        return Show(args);
    const double seconds = args.size() > 1 ? args[1].toDouble() : 5.0;
    const QString part = args.size() > 2 ? args[2] : QString();
    const bool playbackOnly = part == QLatin1String("playback");
    const bool compareOnly = part == QLatin1String("compare");

    QTemporaryDir dir;
    const QString hd1 = WriteI420(dir.filePath("hd1.yuv"), 1920, 1080, 40, 0);
    const QString hd2 = WriteI420(dir.filePath("hd2.yuv"), 1920, 1080, 40, 3);
    const QString uhd = WriteI420(dir.filePath("uhd.yuv"), 3840, 2160, 16, 0);
    const QString small = WriteI420(dir.filePath("small.yuv"), 352, 288, 10, 0);
    const QString hd10 = WriteI010(dir.filePath("hd10.yuv"), 1920, 1080, 20);
    std::printf("files written; %.1f s per playback run\n", seconds);

    // GL driver start-up belongs to no window.
    CloseWindow(OpenWindow(small, 352, 288));

    double refCpu60 = 0;
    const double ref60 = ReferenceSwapsPerSecond(60, seconds, 1, &refCpu60);
    const double ref30 = ReferenceSwapsPerSecond(30, seconds, 1);
    const double ref30x2 = ReferenceSwapsPerSecond(30, seconds, 2);
    std::printf("reference GL window (clear only): %.1f swaps/s asked 60, %.1f asked 30, %.1f asked 30 with two "
                "views; %.1f ms CPU per swap asked 60\n",
                ref60, ref30, ref30x2, refCpu60);
    if (!compareOnly) {
        LumoImageView* window = OpenWindow(hd1, 1920, 1080);
        const Playback run = Play(window, 60, seconds);
        const double fps = run.shownPerSecond;
        std::printf("1080p alone, asked 60 fps: %.1f shown/s (ratio to asked %.2f, to reference %.2f); %.2f swaps "
                    "and %.1f ms CPU per shown frame\n",
                    fps, fps / 60, fps / ref60, run.swapsPerShown, run.cpuMsPerShown);
        CloseWindow(window);
        // The same at 10 bits (I010), against the 8-bit run just before it;
        // then with the mouse resting on the view (the inspector shown).
        window = OpenWindow(hd10, 1920, 1080, "YUV_TYPE_I010");
        const Playback deep = Play(window, 60, seconds);
        YUVShowView* view = window->FirstYUVWidget()->View();
        const QPoint at = view->rect().center();
        QMouseEvent hover(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &hover);
        const Playback inspected = Play(window, 60, seconds);
        std::printf("1080p I010 alone, asked 60 fps: %.1f shown/s (ratio to 8-bit %.2f), %.1f ms CPU per shown "
                    "frame (8-bit %.1f); with the inspector %.1f shown/s, %.1f ms CPU per shown frame\n",
                    deep.shownPerSecond, deep.shownPerSecond / fps, deep.cpuMsPerShown, run.cpuMsPerShown,
                    inspected.shownPerSecond, inspected.cpuMsPerShown);
        CloseWindow(window);
    }
    if (playbackOnly)
        return 0;
    if (!compareOnly) {
        LumoImageView* window = OpenWindow(uhd, 3840, 2160);
        const Playback run = Play(window, 30, seconds);
        const double fps = run.shownPerSecond;
        std::printf("2160p alone, asked 30 fps: %.1f shown/s (ratio to asked %.2f, to reference %.2f); %.2f swaps "
                    "and %.1f ms CPU per shown frame\n",
                    fps, fps / 30, fps / ref30, run.swapsPerShown, run.cpuMsPerShown);
        CloseWindow(window);
    }
    {
        LumoImageView* window = OpenWindow(hd1, 1920, 1080);
        Open2nd(window, hd2, 1920, 1080);
        WaitFor([&] { return window->Sequence()->IsFinished(); }, 120000);
        Wait(300);
        const Playback run = Play(window, 30, seconds);
        const double fps = run.shownPerSecond;
        std::printf("two 1080p side by side, asked 30 fps: %.1f shown/s in each (ratio to asked %.2f, to "
                    "reference %.2f); %.2f swaps and %.1f ms CPU per shown frame\n",
                    fps, fps / 30, fps / ref30x2, run.swapsPerShown, run.cpuMsPerShown);

        // Double click to metric text, against the bare comparison. A frame
        // in the plot's table needs no comparison: first the frames of a
        // table that was dropped, then those of a full table.
        auto* label = window->findChild<QLabel*>("psnr_label");
        // Sorted times until the text changes, and until both views show the frame.
        struct ClickTimes {
            std::vector<double> text;
            std::vector<double> views;
        };
        auto clickTimes = [&](std::initializer_list<int> frames) {
            ClickTimes times;
            for (int frame : frames) {
                // One double click at a time: the last one's repaints and
                // histograms are done, as they are between a user's clicks.
                Wait(100);
                const QString before = label->text();
                const int64_t offset = int64_t(frame) * 1920 * 1080 * 3 / 2;
                QElapsedTimer timer;
                timer.start();
                double viewsAt = -1;
                auto views = [&] {
                    if (viewsAt < 0 && window->FirstYUVWidget()->View()->PlanesOffset() == offset &&
                        window->SecondYUVWidget()->View()->PlanesOffset() == offset)
                        viewsAt = timer.nsecsElapsed() / 1e6;
                    return viewsAt >= 0;
                };
                DoubleClickFrame(window->CtrBar()->FirstTimeLine(), frame);
                WaitFor([&] {
                    views();
                    return label->text() != before;
                }, 20000);
                times.text.push_back(timer.nsecsElapsed() / 1e6);
                WaitFor(views, 20000);
                times.views.push_back(viewsAt);
            }
            std::sort(times.text.begin(), times.text.end());
            std::sort(times.views.begin(), times.views.end());
            return times;
        };
        const std::vector<double> tabled = clickTimes({2, 4, 6, 8, 10}).text;
        window->Sequence()->Cancel();
        const ClickTimes compared = clickTimes({3, 5, 7, 9, 11});
        const std::vector<double>& clicks = compared.text;
        const std::vector<double>& clickViews = compared.views;
        // Everything a selection costs the GUI thread: the handler, then the
        // planes, histograms and result arriving, and the repaints, until
        // the views show the frame and the text is there.
        std::vector<double> gui;
        std::vector<double> handlers;
        for (int frame : {4, 6, 8, 10, 12}) {
            const QString before = label->text();
            const int64_t offset = int64_t(frame) * 1920 * 1080 * 3 / 2;
            Wait(100);
            const double cpu0 = ThreadCpuMs();
            QElapsedTimer timer;
            timer.start();
            window->CtrBar()->SelectFrame(frame);
            handlers.push_back(timer.nsecsElapsed() / 1e6);
            WaitFor([&] {
                return label->text() != before && window->FirstYUVWidget()->View()->PlanesOffset() == offset &&
                       window->SecondYUVWidget()->View()->PlanesOffset() == offset;
            }, 20000);
            Wait(100); // the last repaints
            gui.push_back(ThreadCpuMs() - cpu0);
        }
        std::sort(gui.begin(), gui.end());
        std::sort(handlers.begin(), handlers.end());
        const lumo::LumoYuvReader r1(hd1.toStdString(), 1920, 1080, "YUV_TYPE_I420");
        const lumo::LumoYuvReader r2(hd2.toStdString(), 1920, 1080, "YUV_TYPE_I420");
        std::vector<double> bare;
        for (int frame : {3, 5, 7, 9, 11}) {
            QElapsedTimer timer;
            timer.start();
            int64_t got = 0;
            uint8_t* p1 = r1.ReadFrameYUV444(nullptr, &got, frame * r1.GetFrameSize());
            uint8_t* p2 = r2.ReadFrameYUV444(nullptr, &got, frame * r2.GetFrameSize());
            uint8_t* f1 = lumo::Yuv444ToI420(p1, 1920, 1080);
            uint8_t* f2 = lumo::Yuv444ToI420(p2, 1920, 1080);
            double psnr[3];
            double mse[3];
            r1.ComputePsnrMse(psnr, f1, f2, 1920, 1080, mse);
            volatile double ssim = r1.ComputeSsimGray(f1, f2, 1920, 1080, 1);
            (void)ssim;
            delete[] p1;
            delete[] p2;
            delete[] f1;
            delete[] f2;
            bare.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::sort(bare.begin(), bare.end());
        std::printf("1080p double click to metric text: median %.1f ms (max %.1f); bare read+convert+metrics "
                    "%.1f ms (ratio %.2f); frame in the plot's table %.1f ms (max %.1f); both views show the "
                    "frame after %.1f ms (max %.1f)\n",
                    clicks[2], clicks.back(), bare[2], clicks[2] / bare[2], tabled[2], tabled.back(), clickViews[2],
                    clickViews.back());
        std::printf("1080p selection on the GUI thread: handler median %.2f ms (max %.2f); all GUI-thread CPU "
                    "until both views show it and the text is there (repaints, charts, result) median %.1f ms "
                    "(max %.1f)\n",
                    handlers[2], handlers.back(), gui[2], gui.back());

        // A held arrow key: 30 steps 33 ms apart (key repeat). Newer steps
        // supersede older ones, so the last one shows soon after the last
        // press instead of after a queue of comparisons.
        {
            StallProbe meter;
            const int start = 0;
            window->CtrBar()->SelectFrame(start);
            WaitFor([&] { return window->RunningMetricJobs() == 0; }, 20000);
            meter.Reset();
            for (int i = 1; i <= 30; ++i) {
                window->StepFrames(1);
                Wait(33);
            }
            QElapsedTimer timer;
            timer.start();
            WaitFor([&] { return window->RunningMetricJobs() == 0; }, 20000);
            std::printf("held arrow key, 30 steps at 30/s: last result %.1f ms after the last step; longest GUI "
                        "stall %.1f ms\n",
                        timer.nsecsElapsed() / 1e6, meter.longest);
        }

        // Whole-sequence plot against the command line on the same pair.
        std::vector<double> cliFps;
        std::vector<double> plotFps;
        const int frames = window->Sequence()->Total();
        auto* bt709 = window->findChild<QAbstractButton*>("Bt709VideoRange");
        auto* bt601 = window->findChild<QAbstractButton*>("Bt601FullRange");
        bool on709 = false;
        auto restartPlot = [&] {
            on709 = !on709;
            (on709 ? bt709 : bt601)->click();
        };
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer timer;
            timer.start();
            QProcess cli;
            cli.start(QStringLiteral(YUVLUMO_CLI),
                      {"compare", hd1, hd2, "--size", "1920x1080", "--range", "bt601full", "--format", "csv", "-o",
                       "/dev/null"});
            cli.waitForFinished(-1);
            cliFps.push_back(frames / (timer.nsecsElapsed() / 1e9));
            timer.restart();
            restartPlot();
            WaitFor([&] { return window->Sequence()->IsFinished(); }, 120000);
            plotFps.push_back(frames / (timer.nsecsElapsed() / 1e9));
        }
        std::sort(cliFps.begin(), cliFps.end());
        std::sort(plotFps.begin(), plotFps.end());
        std::printf("whole-sequence plot, %d frames of 1080p: %.1f frames/s; yuvlumo-cli compare %.1f frames/s "
                    "(ratio %.2f, medians of 3)\n",
                    frames, plotFps[1], cliFps[1], plotFps[1] / cliFps[1]);

        // Playback of both files with and without the plot running; the
        // plot restarts whenever it ends, so it runs throughout.
        {
            Wait(300);
            StallProbe stalls;
            const Playback quiet = Play(window, 30, seconds);
            const double quietStall = stalls.longest;
            auto keepRunning = QObject::connect(window->Sequence(), &SequenceMetrics::finished, restartPlot);
            restartPlot();
            Wait(200);
            stalls.Reset();
            const Playback busy = Play(window, 30, seconds);
            const double stall = stalls.longest;
            QObject::disconnect(keepRunning);
            WaitFor([&] { return window->Sequence()->IsFinished(); }, 120000);
            std::printf("two 1080p playing, asked 30 fps: %.1f shown/s without the plot, %.1f while it runs "
                        "(ratio %.2f); longest GUI stall %.1f ms without the plot, %.1f ms while it runs\n",
                        quiet.shownPerSecond, busy.shownPerSecond, busy.shownPerSecond / quiet.shownPerSecond,
                        quietStall, stall);
        }

        // Inspector (mouse resting on the first view) and difference view.
        {
            Wait(300);
            const Playback plain = Play(window, 30, seconds);
            YUVShowView* view = window->FirstYUVWidget()->View();
            const QPoint at = view->rect().center();
            QMouseEvent hover(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(view, &hover);
            window->SetDiffShown(true, 4);
            Wait(300);
            const Playback tools = Play(window, 30, seconds);
            window->SetDiffShown(false, 4);
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(view, &leave);
            std::printf("two 1080p playing, asked 30 fps: %.1f shown/s plain, %.1f with inspector and difference "
                        "view (ratio %.2f; %.1f and %.1f ms CPU per shown frame)\n",
                        plain.shownPerSecond, tools.shownPerSecond, tools.shownPerSecond / plain.shownPerSecond,
                        plain.cpuMsPerShown, tools.cpuMsPerShown);
        }

        // Zoom on two linked views: a fast wheel turn (60 notches a second,
        // 24 in and 24 out, up to 70 screen pixels per frame pixel, where
        // the values are drawn) against the reference window asked for 60.
        {
            Wait(300);
            YUVShowView* first = window->FirstYUVWidget()->View();
            YUVShowView* second = window->SecondYUVWidget()->View();
            int swaps[2] = {0, 0};
            const QMetaObject::Connection c0 =
                QObject::connect(first, &QOpenGLWidget::frameSwapped, [&] { ++swaps[0]; });
            const QMetaObject::Connection c1 =
                QObject::connect(second, &QOpenGLWidget::frameSwapped, [&] { ++swaps[1]; });
            int notch = 0;
            QTimer wheel;
            wheel.setInterval(1000 / 60);
            QObject::connect(&wheel, &QTimer::timeout, [&] {
                const QPointF at(first->width() / 2.0, first->height() / 2.0);
                const int delta = (notch++ / 24) % 2 == 0 ? 120 : -120;
                QWheelEvent event(at, first->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, delta), Qt::NoButton,
                                  Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(first, &event);
            });
            wheel.start();
            Wait(500);
            swaps[0] = swaps[1] = 0;
            const double cpu0 = CpuSeconds();
            QElapsedTimer clock;
            clock.start();
            Wait(int(seconds * 1000));
            const double elapsed = clock.elapsed() / 1000.0;
            const double cpu = CpuSeconds() - cpu0;
            wheel.stop();
            QObject::disconnect(c0);
            QObject::disconnect(c1);
            const int slowest = std::min(swaps[0], swaps[1]);
            const double rate = slowest / elapsed;
            std::printf("two linked 1080p views, wheel at 60 notches/s: %.1f paints/s in the slower view (ratio to "
                        "reference %.2f); %.1f ms CPU per paint of both\n",
                        rate, rate / ref60, slowest > 0 ? cpu * 1000 / slowest : 0.0);
            window->FitViews();
        }

        // Idle: nothing plays, nothing is asked.
        Wait(1000);
        PaintCounter paints;
        qApp->installEventFilter(&paints);
        const double cpu0 = CpuSeconds();
        QElapsedTimer timer;
        timer.start();
        Wait(int(seconds * 1000));
        const double idle = (CpuSeconds() - cpu0) / (timer.elapsed() / 1000.0) * 100;
        qApp->removeEventFilter(&paints);
        std::printf("idle window with two 1080p files: %.2f %% of a core (paints: %s)\n", idle,
                    qPrintable(paints.Summary()));
        CloseWindow(window);
    }
    // Twice: what the first window leaves behind beyond the second one's is
    // kept by the driver or the allocator for the process.
    for (int cycle = 1; cycle <= 2; ++cycle) {
        Wait(500);
        const double before = RssMb();
        LumoImageView* window = OpenWindow(uhd, 3840, 2160);
        window->CtrBar()->onSelectFrame(2, 1);
        Wait(2000); // thumbnails and a frame selection
        const double open = RssMb();
        CloseWindow(window);
        Wait(500);
        const double after = RssMb();
        const double added = open - before;
        std::printf("2160p window %d: RSS %.1f -> %.1f MB open (+%.1f MB) -> %.1f MB closed (%.0f %% given back)\n",
                    cycle, before, open, added, after, added > 0 ? (open - after) / added * 100 : 100.0);
    }
    return 0;
}
