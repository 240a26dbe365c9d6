// The analysis window on encoded video read in place: stepping with the
// arrow keys through 1080p H.264, and the memory a 4K 10-bit HEVC stream
// takes and gives back. Needs a display and the ffmpeg tool (libx264,
// libx265); the clips are made before the measurements start.
//
//   lumo_encoded_view_bench
#include "BenchProcess.h"
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include "analysis/LumoImageView.h"
#include "base/SurfaceFormat.h"
#include "media/EncodedSource.h"
#include "render/YUVShowView.h"
#include "render/YUVWidget.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/RawFrameSource.h"

namespace {

bool Ffmpeg(const std::string& args)
{
    return std::system(("ffmpeg -hide_banner -nostdin -loglevel error -y " + args).c_str()) == 0;
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

double RssMb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// Milliseconds for each step until the view shows the frame.
std::vector<double> Steps(LumoImageView* window, int from, int delta, int count, int64_t frameSize, double* peak)
{
    std::vector<double> times;
    int frame = from;
    for (int i = 0; i < count; ++i) {
        frame += delta;
        QElapsedTimer timer;
        timer.start();
        window->StepFrames(delta);
        WaitFor([&] { return window->FirstYUVWidget()->View()->PlanesOffset() == frame * frameSize; }, 30000);
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (peak)
            *peak = std::max(*peak, RssMb());
    }
    return times;
}

double Sum(const std::vector<double>& v)
{
    double s = 0;
    for (double x : v)
        s += x;
    return s;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void CloseAndTrim(LumoImageView* window)
{
    window->close();
    delete window;
    WaitFor([] { return false; }, 300);
    malloc_trim(0);
}

} // namespace

int main(int argc, char** argv)
{
    lumo::InstallEncodedFrameSources();
    bench::SetUpLikeTheProgram();
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QTemporaryDir dir;
    const std::string hd = dir.filePath("hd.mp4").toStdString();
    const std::string uhd = dir.filePath("uhd.mkv").toStdString();
    const std::string small = dir.filePath("small_64x64.yuv").toStdString();
    if (!Ffmpeg("-f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 40 -c:v libx264 -preset veryfast -bf 2 -g 40 " +
                hd)) {
        std::fprintf(stderr, "cannot make the 1080p H.264 clip (libx264)\n");
        return 1;
    }
    Ffmpeg("-f lavfi -i testsrc2=size=64x64:rate=25 -frames:v 2 -f rawvideo -pix_fmt yuv420p " + small);

    // Stepping: → through 30 frames, then ← back through the same frames.
    {
        const int64_t frameSize = 1920LL * 1080 * 3 / 2;
        // One decode alone, for scale: frames 1..30 read in order by a
        // source of its own (closed before the window shares the file).
        double decode = 0;
        {
            auto source = lumo::OpenEncodedFrameSource(hd);
            std::vector<uint8_t> buffer(static_cast<size_t>(frameSize));
            source->ReadFrame(0, buffer.data());
            QElapsedTimer timer;
            timer.start();
            for (int i = 1; i <= 30; ++i)
                source->ReadFrame(i, buffer.data());
            decode = timer.nsecsElapsed() / 1e6 / 30;
        }
        auto* window = new LumoImageView(lumo::LumoYuvReader(hd, 1920, 1080, "YUV_TYPE_I420"), nullptr);
        window->show();
        WaitFor([&] { return window->FirstYUVWidget()->View()->PlanesOffset() == 0; }, 30000);
        const std::vector<double> forward = Steps(window, 0, 1, 30, frameSize, nullptr);
        const std::vector<double> back = Steps(window, 30, -1, 30, frameSize, nullptr);
        std::printf("1080p H.264, 30 steps: forward %.0f ms (median step %.1f ms), back %.0f ms (median step %.1f "
                    "ms), back/forward %.2f; one decode alone %.1f ms\n",
                    Sum(forward), Median(forward), Sum(back), Median(back), Sum(back) / Sum(forward), decode);
        CloseAndTrim(window);
    }

    // Memory: a window on a tiny raw file, then one on 4K 10-bit HEVC
    // stepped through, then closed.
    if (Ffmpeg("-f lavfi -i testsrc2=size=3840x2160:rate=25 -frames:v 24 -pix_fmt yuv420p10le -c:v libx265 "
               "-preset ultrafast -x265-params log-level=error:keyint=24 " + uhd)) {
        auto* empty = new LumoImageView(lumo::LumoYuvReader(small, 64, 64, "YUV_TYPE_I420"), nullptr);
        empty->show();
        WaitFor([] { return false; }, 500);
        const double base = RssMb();
        CloseAndTrim(empty);
        const int64_t frameSize = 3840LL * 2160 * 3;
        auto* window = new LumoImageView(lumo::LumoYuvReader(uhd, 3840, 2160, "YUV_TYPE_I010"), nullptr);
        window->show();
        double peak = RssMb();
        WaitFor([&] { return window->FirstYUVWidget()->View()->PlanesOffset() == 0; }, 60000);
        Steps(window, 0, 1, 20, frameSize, &peak);
        Steps(window, 20, -1, 10, frameSize, &peak);
        CloseAndTrim(window);
        lumo::ReleaseIdleEncodedSources();
        malloc_trim(0);
        std::printf("4K 10-bit HEVC window: empty window %.0f MB, peak %.0f MB (+%.0f MB), after close and "
                    "malloc_trim %.0f MB (+%.0f MB)\n",
                    base, peak, peak - base, RssMb(), RssMb() - base);
    } else {
        std::printf("no libx265: the 4K memory run is skipped\n");
    }
    return 0;
}
