#include "analysis/IQAThread.h"

#include "base/DebugLog.h"

#include "iqa/CompareEngine.h"

#include <QDebug>

IQAThread::IQAThread(QObject* parent)
    : QObject(parent)
{
}

IQAThread::~IQAThread() = default;

void IQAThread::setFrames(std::unique_ptr<uint8_t[]> reference, std::unique_ptr<uint8_t[]> compared, int width,
                          int height, int metricRange)
{
    reference_ = std::move(reference);
    compared_ = std::move(compared);
    width_ = width;
    height_ = height;
    metricRange_ = metricRange;
}

void IQAThread::setNativeFrames(std::unique_ptr<uint16_t[]> reference, std::unique_ptr<uint16_t[]> compared,
                                int width, int height, int depth, int metricRange)
{
    nativeReference_ = std::move(reference);
    nativeCompared_ = std::move(compared);
    width_ = width;
    height_ = height;
    depth_ = depth;
    metricRange_ = metricRange;
}

void IQAThread::start1()
{
    qCDebug(lumoDebug) << "IQAThread::start1";
    emit workStart();
    doWork();
}

void IQAThread::doWork()
{
    if (!hasFrames()) {
        qCDebug(lumoDebug) << "---------->m_yuv is nullptr";
        return;
    }
    lumo::FrameMetrics m;
    if (reference_)
        lumo::MeasureI420Pair(reference_.get(), compared_.get(), width_, height_, metricRange_, true, m);
    else
        lumo::MeasureI420Pair(nativeReference_.get(), nativeCompared_.get(), width_, height_, depth_,
                              metricRange_, true, m);
    qCDebug(lumoDebug) << "Y-PSNR :" << m.psnr[0] << ", U-PSNR :" << m.psnr[1] << ", V-PSNR : " << m.psnr[2];
    qCDebug(lumoDebug) << "Y-MSE :" << m.mse[0] << ", U-MSE :" << m.mse[1] << ", V-MSE : " << m.mse[2];
    qCDebug(lumoDebug) << "SSIM_GRAY :" << m.ssim;
    // The job is over: its frames go now, before the result leaves.
    reference_.reset();
    compared_.reset();
    nativeReference_.reset();
    nativeCompared_.reset();
    emit workFinished(m.ssim, m.mse[0], m.mse[1], m.mse[2], m.psnr[0], m.psnr[1], m.psnr[2]);
}
