#include "analysis/FrameLoader.h"

#include "analysis/IQAThread.h"
#include "yuv/YuvConvert.h"

#include <future>
#include <new>

namespace {

std::shared_ptr<uint8_t> Allocate(int64_t bytes)
{
    if (bytes <= 0)
        return nullptr;
    return std::shared_ptr<uint8_t>(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)],
                                    std::default_delete<uint8_t[]>());
}

// The frame's planes; a deeper layout's bytes as stored too, from the same
// read. No planes when it cannot be read.
FrameLoader::Frame ReadFrame(const lumo::LumoYuvReader& reader, int frame)
{
    const int64_t frameSize = reader.GetFrameSize();
    if (frame < 0 || frameSize <= 0)
        return {};
    const int64_t offset = static_cast<int64_t>(frame) * frameSize;
    int64_t got = 0;
    if (reader.BitDepth() == 8) {
        std::shared_ptr<uint8_t> planes(reader.ReadFrameYUV444(nullptr, &got, offset),
                                        std::default_delete<uint8_t[]>());
        if (!planes || got <= 0)
            return {};
        return {planes, nullptr};
    }
    std::shared_ptr<uint8_t> planes = Allocate(3 * static_cast<int64_t>(reader.Width()) * reader.Height());
    std::shared_ptr<uint8_t> stored = Allocate(frameSize);
    if (!planes || !stored || !reader.ReadFrameYUV444AndRaw(planes.get(), stored.get(), &got, offset) || got <= 0)
        return {};
    return {planes, stored};
}

// The comparison's native-depth I420 frame, from the bytes already read.
std::unique_ptr<uint16_t[]> NativeI420(const lumo::LumoYuvReader& reader, const FrameLoader::Planes& stored)
{
    const int w = reader.Width();
    const int h = reader.Height();
    std::unique_ptr<uint16_t[]> planes(new (std::nothrow) uint16_t[3 * static_cast<size_t>(w) * h]);
    if (!stored || !planes || !lumo::ConvertRawToYuv444Native(stored.get(), w, h, reader.Type(), planes.get(),
                                                                lumo::ConvertPath::Avx2))
        return nullptr;
    return std::unique_ptr<uint16_t[]>(lumo::Yuv444ToI420(planes.get(), w, h));
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
    std::future<Frame> pending;
    if (request.withSecond)
        pending = std::async(std::launch::async, [&request] { return ReadFrame(request.second, request.frame); });
    const Frame firstFrame = ReadFrame(request.first, request.frame);
    const Frame secondFrame = pending.valid() ? pending.get() : Frame();
    const Planes& first = firstFrame.planes;
    const Planes& second = secondFrame.planes;
    if (!first) {
        emit loadFailed(request.token);
        return;
    }

    const int width = request.first.Width();
    const int height = request.first.Height();
    bool queuedCompare = false;
    if (request.compare && second) {
        MetricJob job;
        job.token = request.token;
        job.width = width;
        job.height = height;
        job.colorRangeCode = request.colorRangeCode;
        job.depth = request.depth;
        job.planes[0] = first;
        job.planes[1] = second;
        job.readers[0] = request.first;
        job.readers[1] = request.second;
        // Both frames are converted at the same time.
        if (request.depth == 8) {
            auto converted = std::async(std::launch::async,
                                        [&] { return lumo::Yuv444ToI420(second.get(), width, height); });
            job.first.reset(lumo::Yuv444ToI420(first.get(), width, height));
            job.second.reset(converted.get());
        } else {
            // Deeper files are compared at their own depth, from the bytes
            // read for the views.
            auto converted = std::async(std::launch::async,
                                        [&] { return NativeI420(request.second, secondFrame.stored); });
            job.nativeFirst = NativeI420(request.first, firstFrame.stored);
            job.nativeSecond = converted.get();
        }
        if ((job.first && job.second) || (job.nativeFirst && job.nativeSecond)) {
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
        } else {
            emit compareSkipped(request.token);
        }
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
        }
        RunMetric(job);
    }
}

void FrameLoader::RunMetric(MetricJob& job)
{
    // The comparison itself is the metric worker's, run on this thread.
    IQAThread worker;
    if (job.first)
        worker.setFrames(std::move(job.first), std::move(job.second), job.width, job.height, job.colorRangeCode);
    else
        worker.setNativeFrames(std::move(job.nativeFirst), std::move(job.nativeSecond), job.width, job.height,
                               job.depth, job.colorRangeCode);
    const int token = job.token;
    connect(&worker, &IQAThread::workStart, this, &FrameLoader::compareStarted, Qt::DirectConnection);
    connect(&worker, &IQAThread::workFinished, this,
            [this, token](double ssim, double mse_y, double mse_u, double mse_v, double psnr_y, double psnr_u,
                          double psnr_v) { emit compared(token, ssim, mse_y, mse_u, mse_v, psnr_y, psnr_u, psnr_v); },
            Qt::DirectConnection);
    worker.start1();
    CountAndSend(token, job.planes[0], job.readers[0], job.planes[1], job.readers[1]);
}
