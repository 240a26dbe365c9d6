#pragma once

#include "render/ColorChart.h"
#include "yuv/Cancel.h"
#include "yuv/LumoYuvReader.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// Reads the frames of a selection off the GUI thread: the planes of both
// files (for the views), their histograms (for the charts) and the I420
// pair of the comparison, which it measures on a second thread through
// lumo::MeasureStoredPair, as the plot and the command line do. Each stage holds only the newest request: one that arrives
// while an older one waits replaces it, so a held arrow key never builds a
// backlog. Results come back by queued signals tagged with the request's
// token; the receiver drops those of requests it has superseded.
class FrameLoader : public QObject {
    Q_OBJECT
public:
    using Planes = std::shared_ptr<const uint8_t>;
    // One file's frame: the 8-bit planes the views draw and, for layouts
    // deeper than 8 bits, the frame's bytes as stored (null otherwise),
    // where the inspector finds the file's own samples.
    struct Frame {
        Planes planes;
        Planes stored;
    };

    struct Request {
        int token = 0;
        int frame = 0;
        lumo::LumoYuvReader first;
        lumo::LumoYuvReader second;
        bool withSecond = false; // read the second file too (same size)
        bool compare = false;    // and compare the pair
        int colorRangeCode = 1;  // metric colour-range code
        int depth = 8;           // both files' depth; deeper ones compare natively
    };

    struct Histograms {
        ColorChart::Counts first;
        ColorChart::Counts second;
        bool hasSecond = false;
    };

    explicit FrameLoader(QObject* parent = nullptr);
    // Stops both threads; a comparison under way stops within a band of
    // SSIM rows.
    ~FrameLoader() override;

    void Load(const Request& request);

signals:
    // The frames of both files (the second's planes may be null).
    void planesReady(int token, FrameLoader::Frame first, FrameLoader::Frame second);
    void histogramsReady(int token, std::shared_ptr<const FrameLoader::Histograms> histograms);
    // The first file's frame could not be read: nothing else comes.
    void loadFailed(int token);
    // No comparison result will come for this request.
    void compareSkipped(int token);
    void compareStarted();
    // A comparison result (a metric that could not be computed is
    // +infinity), in IQAThread's argument order.
    void compared(int token, double ssim, double mse_y, double mse_u, double mse_v, double psnr_y, double psnr_u,
                  double psnr_v);

private:
    // A frame pair to measure, from the bytes read for the views.
    struct MetricJob {
        int token = 0;
        int frame = 0;
        Planes stored[2];
        // The full-size planes, for the histograms counted afterwards.
        Planes planes[2];
        lumo::LumoYuvReader readers[2];
        int colorRangeCode = 1;
        std::shared_ptr<lumo::CancelToken> cancel;
    };

    void ReadLoop();
    void MetricLoop();
    void Process(const Request& request);
    void RunMetric(MetricJob& job);
    void CountAndSend(int token, const Planes& first, const lumo::LumoYuvReader& firstReader, const Planes& second,
                      const lumo::LumoYuvReader& secondReader);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool hasRequest_ = false;
    Request request_;
    bool hasJob_ = false;
    MetricJob job_;
    // The token of the measurement under way; the destructor fires it.
    std::shared_ptr<lumo::CancelToken> measuring_;
    std::thread reader_;
    std::thread metric_;
};

Q_DECLARE_METATYPE(FrameLoader::Planes)
Q_DECLARE_METATYPE(FrameLoader::Frame)
Q_DECLARE_METATYPE(std::shared_ptr<const FrameLoader::Histograms>)
