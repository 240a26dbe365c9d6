#include "analysis/IQAThread.h"

#include "yuv/LumoYuvReader.h"

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

void IQAThread::start1()
{
    qDebug() << "IQAThread::start1";
    emit workStart();
    doWork();
}

void IQAThread::doWork()
{
    double psnr[3] = {0, 0, 0};
    double mse[3] = {0, 0, 0};
    const lumo::LumoYuvReader reader;
    if (!m_reference || !m_compared) {
        qDebug() << "---------->m_yuv is nullptr";
        return;
    }
    reader.ComputePsnrMse(psnr, m_reference.get(), m_compared.get(), m_width, m_height, mse);
    const double ssim = reader.ComputeSsimGray(m_reference.get(), m_compared.get(), m_width, m_height, m_colorRange);
    qDebug() << "Y-PSNR :" << psnr[0] << ", U-PSNR :" << psnr[1] << ", V-PSNR : " << psnr[2];
    qDebug() << "Y-MSE :" << mse[0] << ", U-MSE :" << mse[1] << ", V-MSE : " << mse[2];
    qDebug() << "SSIM_GRAY :" << ssim;
    // The job is over: its frames go now, before the result leaves.
    m_reference.reset();
    m_compared.reset();
    emit workFinished(ssim, mse[0], mse[1], mse[2], psnr[0], psnr[1], psnr[2]);
}
