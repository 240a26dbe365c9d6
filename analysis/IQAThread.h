#pragma once

#include <QObject>

#include <cstdint>
#include <memory>

// Computes the comparison of one frame pair off the GUI thread: per-plane
// MSE and PSNR and the SSIM of the red planes. A plain worker: give it its
// frames, move it to a new QThread, connect the thread's started signal to
// start1(); it runs once and reports with workFinished.
class IQAThread : public QObject {
    Q_OBJECT
public:
    explicit IQAThread(QObject* parent = nullptr);
    ~IQAThread() override;

    // Hands the worker the two I420 frames (Yuv444ToI420)
    // (new[]-allocated); the worker owns them from here on and releases them
    // when its computation ends or when it is destroyed. metricRange is the
    // metric colour-range code (0 BT.601 video, 1 BT.601 full, 2 BT.709 video).
    void setFrames(std::unique_ptr<uint8_t[]> reference, std::unique_ptr<uint8_t[]> compared, int width,
                   int height, int metricRange);
    // The same for two I420 frames of 16-bit samples of `depth` bits, measured
    // at that depth.
    void setNativeFrames(std::unique_ptr<uint16_t[]> reference, std::unique_ptr<uint16_t[]> compared, int width,
                         int height, int depth, int metricRange);

    bool hasFrames() const { return (reference_ && compared_) || (nativeReference_ && nativeCompared_); }

signals:
    // A metric that could not be computed (memory ran out) comes as
    // +infinity; see lumo::MetricNotComputed.
    void workFinished(double ssim, double mse_y, double mse_u, double mse_v, double psnr_y, double psnr_u,
                      double psnr_v);
    void workStart();

public slots:
    void start1();
    void doWork();

private:
    std::unique_ptr<uint8_t[]> reference_;
    std::unique_ptr<uint8_t[]> compared_;
    std::unique_ptr<uint16_t[]> nativeReference_;
    std::unique_ptr<uint16_t[]> nativeCompared_;
    int depth_ = 8;
    int width_ = 0;
    int height_ = 0;
    int metricRange_ = 0;
};
