#include "analysis/MetricPlot.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QColor kColours[MetricPlot::SeriesCount] = {QColor(200, 30, 30), QColor(30, 120, 200), QColor(200, 140, 0),
                                                  QColor(20, 150, 60),  QColor(120, 60, 170), QColor(0, 150, 150),
                                                  QColor(110, 80, 40)};
const char* const kNames[MetricPlot::SeriesCount] = {"PSNR Y", "PSNR U", "PSNR V", "SSIM",
                                                     "SSIM Y", "MS-SSIM", "YUV-PSNR"};
const char* const kObjectNames[MetricPlot::SeriesCount] = {"plot_psnr_y", "plot_psnr_u", "plot_psnr_v",
                                                           "plot_ssim",   "plot_ssim_y", "plot_ms_ssim",
                                                           "plot_psnr_yuv"};
constexpr double kIdenticalPsnr = 999.0; // 999.99 marks identical planes
constexpr int kMarginLeft = 60;
constexpr int kMarginRight = 52;
constexpr int kMarginTop = 6;
constexpr int kMarginBottom = 16;

// SSIM-like series share the right-hand scale.
bool OnSsimScale(int series)
{
    return series == MetricPlot::Ssim || series == MetricPlot::SsimY || series == MetricPlot::MsSsim;
}

double Value(const lumo::FrameMetrics& m, int series)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    switch (series) {
    case MetricPlot::Ssim: return m.ssim;
    case MetricPlot::SsimY: return m.extra.planeSsim ? m.planeSsim[0] : none;
    case MetricPlot::MsSsim: return m.extra.msSsim ? m.msSsim : none;
    case MetricPlot::PsnrYuv: return m.extra.psnrYuv ? m.psnrYuv : none;
    default: return m.psnr[series];
    }
}

QString Number(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 6) : QStringLiteral("-");
}

} // namespace

// The drawing surface; everything it shows belongs to the plot.
class MetricPlotArea : public QWidget {
public:
    explicit MetricPlotArea(MetricPlot* plot) : QWidget(plot), plot_(plot)
    {
        setObjectName(QStringLiteral("plot_area"));
        setMouseTracking(true);
        setMinimumHeight(90);
    }

protected:
    void paintEvent(QPaintEvent*) override { plot_->PaintArea(this); }
    void mouseMoveEvent(QMouseEvent* event) override { plot_->Hover(plot_->FrameAt(event->localPos().x())); }
    void leaveEvent(QEvent*) override { plot_->Hover(-1); }
    void mousePressEvent(QMouseEvent* event) override
    {
        const int frame = plot_->FrameAt(event->localPos().x());
        if (event->button() == Qt::LeftButton && frame >= 0)
            emit plot_->frameClicked(frame);
    }

private:
    MetricPlot* plot_;
};

MetricPlot::MetricPlot(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("metric_plot"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* bar = new QHBoxLayout();
    for (int s = 0; s < SeriesCount; ++s) {
        boxes_[s] = new QCheckBox(QString::fromLatin1(kNames[s]), this);
        boxes_[s]->setObjectName(QString::fromLatin1(kObjectNames[s]));
        boxes_[s]->setChecked(s == PsnrY || s == Ssim);
        boxes_[s]->setStyleSheet(QStringLiteral("QCheckBox { color: %1; }").arg(kColours[s].name()));
        connect(boxes_[s], &QCheckBox::toggled, this, [this] {
            area_->update();
            emit seriesChanged();
        });
        bar->addWidget(boxes_[s]);
    }
    hover_ = new QLabel(this);
    hover_->setObjectName(QStringLiteral("plot_hover_label"));
    bar->addWidget(hover_, 1);
    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("plot_progress_label"));
    bar->addWidget(progress_);
    save_ = new QPushButton(QStringLiteral("Save CSV"), this);
    save_->setObjectName(QStringLiteral("plot_save_csv"));
    save_->setEnabled(false);
    connect(save_, &QPushButton::clicked, this, &MetricPlot::saveCsvClicked);
    bar->addWidget(save_);
    layout->addLayout(bar);
    area_ = new MetricPlotArea(this);
    layout->addWidget(area_, 1);
}

void MetricPlot::Reset(int total)
{
    total_ = total;
    results_ = nullptr;
    hover_->clear();
    SetProgress(0, total, true, QString());
}

void MetricPlot::SetResults(const std::vector<lumo::FrameMetrics>* results)
{
    results_ = results;
    area_->update();
}

void MetricPlot::SetProgress(int done, int total, bool running, const QString& error)
{
    total_ = total;
    if (!error.isEmpty())
        progress_->setText(QStringLiteral("Error: %1").arg(error));
    else if (running)
        progress_->setText(QStringLiteral("%1 / %2 (%3%)").arg(done).arg(total).arg(total ? 100LL * done / total : 0));
    else
        progress_->setText(QStringLiteral("%1 frames").arg(done));
    save_->setEnabled(!running && error.isEmpty() && done > 0 && done == total);
    area_->update();
}

void MetricPlot::SetCurrentFrame(int frame)
{
    if (frame == current_)
        return;
    current_ = frame;
    area_->update();
}

bool MetricPlot::IsShown(Series series) const
{
    return boxes_[series]->isChecked();
}

lumo::ExtraMetrics MetricPlot::ShownExtras() const
{
    lumo::ExtraMetrics extra;
    extra.planeSsim = IsShown(SsimY);
    extra.msSsim = IsShown(MsSsim);
    extra.psnrYuv = IsShown(PsnrYuv);
    return extra;
}

int MetricPlot::WorstFrame(Series series) const
{
    if (!results_)
        return -1;
    int worst = -1;
    double lowest = std::numeric_limits<double>::infinity();
    for (const lumo::FrameMetrics& m : *results_) {
        const double v = Value(m, series);
        if (std::isfinite(v) && v < lowest && (OnSsimScale(series) || v < kIdenticalPsnr)) {
            lowest = v;
            worst = m.frame;
        }
    }
    return worst;
}

int MetricPlot::FrameAt(double x) const
{
    const double w = area_->width() - kMarginLeft - kMarginRight;
    if (total_ <= 0 || w <= 0)
        return -1;
    const int frame = static_cast<int>(std::floor((x - kMarginLeft) / w * total_));
    return frame >= 0 && frame < total_ ? frame : -1;
}

void MetricPlot::Hover(int frame)
{
    if (!results_ || frame < 0 || frame >= static_cast<int>(results_->size())) {
        hover_->clear();
        return;
    }
    const lumo::FrameMetrics& m = (*results_)[static_cast<size_t>(frame)];
    QString text = QStringLiteral("#%1  SSIM %2  PSNR %3 / %4 / %5  MSE %6 / %7 / %8")
                       .arg(m.frame)
                       .arg(Number(m.ssim), Number(m.psnr[0]), Number(m.psnr[1]), Number(m.psnr[2]),
                            Number(m.mse[0]), Number(m.mse[1]), Number(m.mse[2]));
    for (int s = SsimY; s < SeriesCount; ++s)
        if (IsShown(static_cast<Series>(s)))
            text += QStringLiteral("  %1 %2").arg(QString::fromLatin1(kNames[s]), Number(Value(m, s)));
    hover_->setText(text);
}

void MetricPlot::PaintArea(QWidget* area)
{
    QPainter painter(area);
    painter.fillRect(area->rect(), Qt::white);
    const QRectF plot(kMarginLeft, kMarginTop, area->width() - kMarginLeft - kMarginRight,
                      area->height() - kMarginTop - kMarginBottom);
    painter.setPen(QColor(190, 190, 190));
    painter.drawRect(plot);
    if (total_ <= 0 || plot.width() <= 0 || plot.height() <= 0)
        return;
    const double step = plot.width() / total_;
    auto xOf = [&](int frame) { return plot.left() + (frame + 0.5) * step; };

    // One scale for the PSNR curves, one for SSIM, each from the results.
    double psnrLo = std::numeric_limits<double>::infinity(), psnrHi = -psnrLo;
    double ssimLo = psnrLo, ssimHi = -psnrLo;
    if (results_) {
        for (const lumo::FrameMetrics& m : *results_) {
            for (int s = 0; s < SeriesCount; ++s) {
                const double v = Value(m, s);
                // SSIM_GRAY sets the right-hand scale even when hidden, as it always has.
                if (!std::isfinite(v) || (s != Ssim && !IsShown(static_cast<Series>(s))))
                    continue;
                if (OnSsimScale(s)) {
                    ssimLo = std::min(ssimLo, v);
                    ssimHi = std::max(ssimHi, v);
                } else if (v < kIdenticalPsnr) {
                    psnrLo = std::min(psnrLo, v);
                    psnrHi = std::max(psnrHi, v);
                }
            }
        }
    }
    auto pad = [](double& lo, double& hi, double fallbackLo, double fallbackHi) {
        if (!(lo <= hi)) {
            lo = fallbackLo;
            hi = fallbackHi;
        }
        const double margin = std::max(1e-6, (hi - lo) * 0.08);
        lo -= margin;
        hi += margin;
    };
    pad(psnrLo, psnrHi, 20.0, 50.0);
    pad(ssimLo, ssimHi, 0.0, 1.0);
    auto yOf = [&](int series, double v) {
        const bool ssim = OnSsimScale(series);
        const double lo = ssim ? ssimLo : psnrLo;
        const double hi = ssim ? ssimHi : psnrHi;
        if (!ssim && v >= kIdenticalPsnr)
            return plot.top(); // identical planes sit on the top edge
        return plot.bottom() - (std::clamp(v, lo, hi) - lo) / (hi - lo) * plot.height();
    };

    painter.setPen(Qt::black);
    QFont font = painter.font();
    font.setPointSize(7);
    painter.setFont(font);
    const QRectF leftScale(0, plot.top() - 2, kMarginLeft - 4, plot.height() + 4);
    const QRectF rightScale(plot.right() + 4, plot.top() - 2, kMarginRight - 4, plot.height() + 4);
    // Enough decimals that the two ends of a narrow range read differently.
    auto decimals = [](double lo, double hi, int least, int most) {
        const int needed = static_cast<int>(std::ceil(-std::log10(hi - lo))) + 1;
        return std::clamp(needed, least, most);
    };
    const int psnrDecimals = decimals(psnrLo, psnrHi, 1, 3);
    const int ssimDecimals = decimals(ssimLo, ssimHi, 4, 6);
    painter.drawText(leftScale, Qt::AlignRight | Qt::AlignTop, QString::number(psnrHi, 'f', psnrDecimals) + " dB");
    painter.drawText(leftScale, Qt::AlignRight | Qt::AlignBottom, QString::number(psnrLo, 'f', psnrDecimals));
    painter.drawText(rightScale, Qt::AlignLeft | Qt::AlignTop, QString::number(ssimHi, 'f', ssimDecimals));
    painter.drawText(rightScale, Qt::AlignLeft | Qt::AlignBottom, QString::number(ssimLo, 'f', ssimDecimals));
    painter.drawText(QRectF(plot.left(), plot.bottom(), plot.width(), kMarginBottom), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("0"));
    painter.drawText(QRectF(plot.left(), plot.bottom(), plot.width(), kMarginBottom),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(total_ - 1));

    if (current_ >= 0 && current_ < total_) {
        painter.setPen(QPen(QColor(255, 160, 90), 2));
        painter.drawLine(QPointF(xOf(current_), plot.top()), QPointF(xOf(current_), plot.bottom()));
    }
    if (!results_ || results_->empty())
        return;

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(plot.adjusted(-4, -4, 4, 4));
    for (int s = 0; s < SeriesCount; ++s) {
        if (!IsShown(static_cast<Series>(s)))
            continue;
        QPainterPath path;
        bool open = false;
        for (const lumo::FrameMetrics& m : *results_) {
            const double v = Value(m, s);
            if (!std::isfinite(v)) {
                open = false;
                continue;
            }
            const QPointF p(xOf(m.frame), yOf(s, v));
            if (open)
                path.lineTo(p);
            else
                path.moveTo(p);
            open = true;
        }
        painter.setPen(QPen(kColours[s], 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);

        const int worst = WorstFrame(static_cast<Series>(s));
        if (worst >= 0) {
            const QPointF p(xOf(worst), yOf(s, Value((*results_)[static_cast<size_t>(worst)], s)));
            painter.setBrush(kColours[s]);
            painter.drawEllipse(p, 4, 4);
            painter.setPen(kColours[s].darker(130));
            const QString text = QStringLiteral("#%1").arg(worst);
            const bool right = p.x() < plot.center().x();
            painter.drawText(QRectF(right ? p.x() + 6 : p.x() - 66, p.y() - 14, 60, 12),
                             (right ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, text);
        }
    }
}
