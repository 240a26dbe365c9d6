#pragma once

// Files, dialog driving, independent metric values and process figures for
// the analysis window tests.
#include "yuv/LumoYuvReader.h"
#include "open/OpenFileDialog.h"
#include "yuv/YuvTypeTable.h"

#include <QApplication>
#include <QButtonGroup>
#include <QAbstractButton>
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QString>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <unistd.h>
#include <vector>

namespace fixtures {

inline QString TmpPath(const QString& name)
{
    return QDir(qEnvironmentVariable("LUMO_TEST_TMP")).filePath(name);
}

// Bytes of `frames` frames of size frameBytes with a smooth picture that
// moves from frame to frame, plus noise of amplitude `noise` (seeded).
inline QByteArray PictureFrames(int width, int height, int frames, int64_t frameBytes, int noise, uint32_t seed)
{
    QByteArray all(static_cast<int>(frameBytes * frames), Qt::Uninitialized);
    uint32_t state = seed * 2654435761u + 1;
    for (int f = 0; f < frames; ++f) {
        auto* out = reinterpret_cast<uint8_t*>(all.data()) + f * frameBytes;
        for (int64_t i = 0; i < frameBytes; ++i) {
            const int x = static_cast<int>(i % width);
            const int y = static_cast<int>((i / width) % height);
            int v = (x * 3 + y * 2 + f * 11) % 256;
            if (noise > 0) {
                state = state * 1664525u + 1013904223u;
                v += static_cast<int>((state >> 24) % (2 * noise + 1)) - noise;
            }
            out[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
    return all;
}

inline QString WriteYuv(const QString& name, int width, int height, int frames, const char* type, int noise,
                        uint32_t seed)
{
    const int64_t frameBytes = lumo::GetFrameSize(width, height, type);
    const QString path = TmpPath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(PictureFrames(width, height, frames, frameBytes, noise, seed));
    return path;
}

inline QString WriteI420(const QString& name, int width, int height, int frames, int noise, uint32_t seed)
{
    return WriteYuv(name, width, height, frames, "YUV_TYPE_I420", noise, seed);
}

// The I420 bytes of one frame as stored in an I420 file.
inline std::vector<uint8_t> I420FrameFromFile(const QString& path, int width, int height, int index)
{
    const int64_t size = static_cast<int64_t>(width) * height * 3 / 2;
    std::vector<uint8_t> frame(static_cast<size_t>(size));
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.seek(size * index))
        file.read(reinterpret_cast<char*>(frame.data()), size);
    return frame;
}

// One frame of any layout taken to I420 through the reader.
inline std::vector<uint8_t> I420FrameThroughReader(const lumo::LumoYuvReader& reader, int index)
{
    int64_t got = 0;
    uint8_t* planes = reader.ReadFrameYUV444(nullptr, &got, index * reader.GetFrameSize());
    uint8_t* i420 = lumo::Yuv444ToI420(planes, reader.Width(), reader.Height());
    std::vector<uint8_t> frame(i420, i420 + static_cast<int64_t>(reader.Width()) * reader.Height() * 3 / 2);
    delete[] planes;
    delete[] i420;
    return frame;
}

// The metric text the window should show for two I420 frames of even size.
// MSE and PSNR are computed here by hand; SSIM through the metric library.
inline QString ExpectedMetricText(const std::vector<uint8_t>& ref, const std::vector<uint8_t>& cmp, int width,
                                  int height, int colorRangeCode)
{
    const int64_t n = static_cast<int64_t>(width) * height;
    const int64_t offsets[3] = {0, n, n + n / 4};
    const int64_t counts[3] = {n, n / 4, n / 4};
    double mse[3];
    double psnr[3];
    for (int p = 0; p < 3; ++p) {
        double sum = 0;
        for (int64_t i = 0; i < counts[p]; ++i) {
            const double d = double(ref[offsets[p] + i]) - double(cmp[offsets[p] + i]);
            sum += d * d;
        }
        mse[p] = sum / counts[p];
        psnr[p] = mse[p] == 0 ? 999.99 : 10.0 * std::log10(255.0 * 255.0 / mse[p]);
    }
    const double ssim = lumo::LumoYuvReader().ComputeSsimGray(ref.data(), cmp.data(), width, height, colorRangeCode);
    auto g = [](double v) { return QString::number(v, 'g', 6); };
    return QStringLiteral("【SSIM ") + g(ssim) + "】【MSE Y: " + g(mse[0]) + ", U: " + g(mse[1]) + ", V: " + g(mse[2]) +
           "】【PSNR Y: " + g(psnr[0]) + ", U: " + g(psnr[1]) + ", V: " + g(psnr[2]) + "】";
}

// Answers the next open-file dialog with one raw file of the given layout
// index and size; `trigger` opens the dialog (and returns when it closed).
template <typename Trigger>
bool OpenThroughDialog(const QString& path, int yuvIndex, int width, int height, Trigger trigger)
{
    OpenFileDialog::SetFileChooser(
        [path](QWidget*, const QString&, const QString&, const QString&) { return QStringList{path}; });
    bool answered = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<OpenFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || answered)
            return;
        answered = true;
        dialog->findChild<QPushButton*>("open_file_btn")->click();
        dialog->findChild<QButtonGroup*>()->button(yuvIndex)->setChecked(true);
        dialog->findChild<QSpinBox*>("width_spin_box")->setValue(width);
        dialog->findChild<QSpinBox*>("height_spin_box")->setValue(height);
        dialog->findChild<QPushButton*>("open_file_ok")->click();
    });
    poll.start();
    trigger();
    poll.stop();
    OpenFileDialog::SetFileChooser({});
    return answered;
}

inline int ThreadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

inline int64_t RssBytes()
{
    QFile file(QStringLiteral("/proc/self/statm"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

// Waits until the thread count falls to `count` or `ms` pass.
inline int WaitForThreadCount(int count, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (ThreadCount() > count && timer.elapsed() < ms) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::qWait(10);
    }
    return ThreadCount();
}

} // namespace fixtures
