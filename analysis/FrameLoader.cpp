#include "analysis/FrameLoader.h"

#include "iqa/FramePair.h"
#include "yuv/RawFrameSource.h"
#include "yuv/YuvConvert.h"

#include <future>
#include <new>

namespace {

// A measurement that ran but could not compute a metric (memory ran out):
// its numbers go out, the failed one as +infinity.
bool MetricNotComputedIn(const lumo::FrameMetrics& m)
{
    return lumo::MetricNotComputed(m.ssim);
}

std::shared_ptr<uint8_t> Allocate(int64_t bytes)
{
    if (bytes <= 0)
        return nullptr;
    return std::shared_ptr<uint8_t>(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)],
                                    std::default_delete<uint8_t[]>());
}

// The frame's bytes as stored and its planes, from one read through the
// file's frame source. No planes when it cannot be read.
struct ReadResult {
    FrameLoader::Frame frame; // what the views get
    FrameLoader::Planes stored; // the bytes, for the comparison
};

ReadResult ReadFrame(const lumo::LumoYuvReader& reader, int frame)
{
    lumo::RawFrameSource source(reader);
    const int64_t frameSize = source.FrameSize();
    if (frame < 0 || frameSize <= 0)
        return {};
    std::shared_ptr<uint8_t> stored = Allocate(frameSize);
    std::shared_ptr<uint8_t> planes = Allocate(3 * static_cast<int64_t>(source.Width()) * source.Height());
    // The same one read as a view's plane cache (yuv/FramePlaneCache).
    if (!stored || !planes || !source.ReadFrameAndPlanes(frame, stored.get(), planes.get()))
        return {};
    // The inspector reads the stored samples of deeper layouts only.
    return {{planes, source.BitDepth() == 8 ? nullptr : stored}, stored};
}

} // namespace

FrameLoader::FrameLoader(QObject* parent) : QObject(parent)
{
    static const int registered = [] {
        qRegisterMetaType<FrameLoader::Planes>("FrameLoader::Planes");
        qRegisterMetaType<FrameLoader::Frame>("FrameLoader::Frame");
        qRegisterMetaType<std::shared_ptr<const FrameLoader::Histograms>>(
            "std::shared_ptr<const FrameLoader::Histograms>");
        return 0;
    }();
    (void)registered;
}

FrameLoader::~FrameLoader()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        if (measuring_)
            measuring_->Cancel();
    }
    wake_.notify_all();
    if (reader_.joinable())
        reader_.join();
    if (metric_.joinable())
        metric_.join();
}

void FrameLoader::Load(const Request& request)
{
    int replaced = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Threads start with the first request: a window that never selects
        // holds none.
        if (!reader_.joinable()) {
            reader_ = std::thread(&FrameLoader::ReadLoop, this);
            metric_ = std::thread(&FrameLoader::MetricLoop, this);
        }
        if (hasRequest_ && request_.compare)
            replaced = request_.token;
        request_ = request;
        hasRequest_ = true;
    }
    wake_.notify_all();
    if (replaced)
        emit compareSkipped(replaced);
}

void FrameLoader::ReadLoop()
{
    for (;;) {
        Request request;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || hasRequest_; });
            if (stop_)
                return;
            request = request_;
            hasRequest_ = false;
        }
        Process(request);
    }
}

void FrameLoader::Process(const Request& request)
{
    // The two files are read at the same time.
    std::future<ReadResult> pending;
    if (request.withSecond)
        pending = std::async(std::launch::async, [&request] { return ReadFrame(request.second, request.frame); });
    const ReadResult firstRead = ReadFrame(request.first, request.frame);
    const ReadResult secondRead = pending.valid() ? pending.get() : ReadResult();
    const Frame& firstFrame = firstRead.frame;
    const Frame& secondFrame = secondRead.frame;
    const Planes& first = firstFrame.planes;
    const Planes& second = secondFrame.planes;
    if (!first) {
        emit loadFailed(request.token);
        return;
    }

    bool queuedCompare = false;
    if (request.compare && second) {
        // Read, converted and measured as the plot and the command line do,
        // from the bytes already read.
        MetricJob job;
        job.token = request.token;
        job.frame = request.frame;
        job.colorRangeCode = request.colorRangeCode;
        // Shared with the views: a view never refills a buffer it adopted.
        job.stored[0] = firstRead.stored;
        job.stored[1] = secondRead.stored;
        job.planes[0] = first;
        job.planes[1] = second;
        job.readers[0] = request.first;
        job.readers[1] = request.second;
        job.cancel = std::make_shared<lumo::CancelToken>();
        int replaced = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (hasJob_)
                replaced = job_.token;
            job_ = std::move(job);
            hasJob_ = true;
        }
        queuedCompare = true;
        wake_.notify_all();
        if (replaced)
            emit compareSkipped(replaced);
    } else if (request.compare) {
        emit compareSkipped(request.token);
    }
    // The comparison, the longest stage, is under way before the views
    // start repainting.
    emit planesReady(request.token, firstFrame, secondFrame);

    // With a comparison the histograms are counted after it, on its thread:
    // the result is what the user waits for.
    if (!queuedCompare)
        CountAndSend(request.token, first, request.first, second, request.second);
}

void FrameLoader::CountAndSend(int token, const Planes& first, const lumo::LumoYuvReader& firstReader,
                               const Planes& second, const lumo::LumoYuvReader& secondReader)
{
    auto histograms = std::make_shared<Histograms>();
    auto count = [](const Planes& planes, const lumo::LumoYuvReader& reader, ColorChart::Counts& out) {
        const int64_t n = static_cast<int64_t>(reader.Width()) * reader.Height();
        ColorChart::CountHistograms(reader.Width(), reader.Height(), planes.get(), planes.get() + n,
                                    planes.get() + 2 * n, out);
    };
    count(first, firstReader, histograms->first);
    if (second) {
        count(second, secondReader, histograms->second);
        histograms->hasSecond = true;
    }
    emit histogramsReady(token, histograms);
}

void FrameLoader::MetricLoop()
{
    for (;;) {
        MetricJob job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || hasJob_; });
            if (stop_)
                return;
            job = std::move(job_);
            job_ = MetricJob();
            hasJob_ = false;
            measuring_ = job.cancel;
        }
        RunMetric(job);
    }
}

void FrameLoader::RunMetric(MetricJob& job)
{
    const int token = job.token;
    emit compareStarted();
    const lumo::RawFrameSource first(job.readers[0]);
    const lumo::RawFrameSource second(job.readers[1]);
    lumo::PairOptions options;
    options.range = static_cast<lumo::MetricRange>(job.colorRangeCode);
    lumo::FrameMetrics m;
    std::string error;
    const bool ok = lumo::MeasureStoredPair(first, job.stored[0].get(), second, job.stored[1].get(), job.frame,
                                            options, m, error, job.cancel.get());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        measuring_.reset();
    }
    if (job.cancel->Cancelled())
        return;
    // The frames' bytes go now, before the result leaves.
    job.stored[0].reset();
    job.stored[1].reset();
    if (ok || MetricNotComputedIn(m))
        emit compared(token, m.ssim, m.mse[0], m.mse[1], m.mse[2], m.psnr[0], m.psnr[1], m.psnr[2]);
    else
        emit compareSkipped(token);
    CountAndSend(token, job.planes[0], job.readers[0], job.planes[1], job.readers[1]);
}
