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
                          int height, int colorRange)
{
    m_reference = std::move(reference);
    m_compared = std::move(compared);
    m_width = width;
    m_height = height;
    m_colorRange = colorRange;
}

void IQAThread::setNativeFrames(std::unique_ptr<uint16_t[]> reference, std::unique_ptr<uint16_t[]> compared,
                                int width, int height, int depth, int colorRange)
{
    m_nativeReference = std::move(reference);
    m_nativeCompared = std::move(compared);
    m_width = width;
    m_height = height;
    m_depth = depth;
    m_colorRange = colorRange;
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
    if (m_reference)
        lumo::MeasureI420Pair(m_reference.get(), m_compared.get(), m_width, m_height, m_colorRange, true, m);
    else
        lumo::MeasureI420Pair(m_nativeReference.get(), m_nativeCompared.get(), m_width, m_height, m_depth,
                              m_colorRange, true, m);
    qCDebug(lumoDebug) << "Y-PSNR :" << m.psnr[0] << ", U-PSNR :" << m.psnr[1] << ", V-PSNR : " << m.psnr[2];
    qCDebug(lumoDebug) << "Y-MSE :" << m.mse[0] << ", U-MSE :" << m.mse[1] << ", V-MSE : " << m.mse[2];
    qCDebug(lumoDebug) << "SSIM_GRAY :" << m.ssim;
    // The job is over: its frames go now, before the result leaves.
    m_reference.reset();
    m_compared.reset();
    m_nativeReference.reset();
    m_nativeCompared.reset();
    emit workFinished(m.ssim, m.mse[0], m.mse[1], m.mse[2], m.psnr[0], m.psnr[1], m.psnr[2]);
}
