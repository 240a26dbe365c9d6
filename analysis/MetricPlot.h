#pragma once

#include "iqa/CompareEngine.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;

// The strip under the metric text that plots the comparison of every common
// frame: PSNR of the chosen planes (left scale, dB) and SSIM (right scale),
// the worst frame of each curve marked, the shown frame as a line. Hovering
// tells a frame's values; a click asks for that frame to be selected.
class MetricPlot : public QWidget {
    Q_OBJECT
public:
    // SsimY, MsSsim and PsnrYuv are the codec metrics: shown only when the
    // results carry them.
    enum Series { PsnrY, PsnrU, PsnrV, Ssim, SsimY, MsSsim, PsnrYuv, SeriesCount };

    explicit MetricPlot(QWidget* parent = nullptr);

    // Starts over with `total` frames to come.
    void Reset(int total);
    // The results so far, frame 0 first.
    void SetResults(const std::vector<lumo::FrameMetrics>* results);
    void SetProgress(int done, int total, bool running, const QString& error);
    void SetCurrentFrame(int frame);
    bool IsShown(Series series) const;
    // The codec metrics of the series shown.
    lumo::ExtraMetrics ShownExtras() const;
    // The frame of the lowest value of a curve among the results, -1 when
    // there are none. PSNR of identical planes (999.99) is never the worst.
    int WorstFrame(Series series) const;
    // Frame under x in the plot area, -1 outside the frames.
    int FrameAt(double x) const;
    QWidget* PlotArea() const { return area_; }

signals:
    void frameClicked(int frame);
    void saveCsvClicked();
    // A series was switched on or off.
    void seriesChanged();

private:
    friend class MetricPlotArea;
    void PaintArea(QWidget* area);
    void Hover(int frame);

    const std::vector<lumo::FrameMetrics>* results_ = nullptr;
    int total_ = 0;
    int current_ = -1;
    QCheckBox* boxes_[SeriesCount] = {};
    QLabel* progress_ = nullptr;
    QLabel* hover_ = nullptr;
    QPushButton* save_ = nullptr;
    QWidget* area_ = nullptr;
};
