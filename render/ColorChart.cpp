#include "render/ColorChart.h"

#include <cstring>

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kSlotColours[ColorChart::kSlots] = {
    QColor(0, 0, 0), QColor(0, 0, 127), QColor(127, 0, 0), QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255),
};

// Components outside 0..255 are clamped: wrapping would count white as dark
// red and video-range black as bright green.
inline int32_t ClampByte(int32_t v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

} // namespace

ColorChart::ColorChart(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(100);
    setMaximumHeight(100);
}

void ColorChart::SetShow(int s0, int s1, int s2, int s3, int s4, int s5)
{
    const int values[kSlots] = {s0, s1, s2, s3, s4, s5};
    std::memcpy(show_, values, sizeof(show_));
    update();
}

void ColorChart::UpdateHistogram(int width, int height, const uint8_t* y, int, const uint8_t* u, int,
                                 const uint8_t* v, int)
{
    Counts counts;
    CountHistograms(width, height, y, u, v, counts);
    SetHistograms(counts);
}

void ColorChart::CountHistograms(int width, int height, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                 Counts& out)
{
    std::memset(out.bins, 0, sizeof(out.bins));
    if (!y || !u || !v || width <= 0 || height <= 0)
        return;
    int32_t* luma = out.bins[0];
    int32_t* red = out.bins[3];
    int32_t* green = out.bins[4];
    int32_t* blue = out.bins[5];
    const int64_t count = static_cast<int64_t>(width) * height;
    for (int64_t i = 0; i < count; ++i) {
        const int32_t Y = y[i];
        const int32_t U = u[i];
        const int32_t V = v[i];
        const int32_t r = ClampByte((298 * Y + 411 * V - 57344) >> 8);
        const int32_t g = ClampByte((298 * Y - 101 * U - 211 * V + 34739) >> 8);
        const int32_t b = ClampByte((298 * Y + 519 * U - 71117) >> 8);
        const int32_t l = static_cast<int32_t>(r * 0.299 + g * 0.587 + b * 0.114) & 0xff;
        ++luma[l / 3];
        ++red[r];
        ++green[g];
        ++blue[b];
    }
}

void ColorChart::SetHistograms(const Counts& counts)
{
    std::memcpy(histograms_, counts.bins, sizeof(histograms_));
    for (int bin = 0; bin < kBins; ++bin)
        for (int slot = 0; slot < kSlots; ++slot)
            if (histograms_[slot][bin] > maxCount_)
                maxCount_ = histograms_[slot][bin];
    update();
}

void ColorChart::paintEvent(QPaintEvent*)
{
    // Nothing counted yet: no scale, only the background.
    if (maxCount_ <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const int w = width();
    const int h = height();
    const float sx = static_cast<float>(w) * (1.0f / 256.0f);
    const float sy = static_cast<float>(h - 10) / static_cast<float>(maxCount_);
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!show_[slot])
            continue;
        const QColor colour = kSlotColours[slot];
        QColor fill = colour;
        fill.setAlpha(50);
        painter.setPen(QPen(colour));
        painter.setBrush(QBrush(fill, Qt::SolidPattern));
        const int32_t* n = histograms_[slot];
        QPainterPath path(QPointF(0, h));
        for (int i = 0; i < kBins; ++i)
            path.lineTo(QPointF(static_cast<int>(i * sx), h - n[i] * sy));
        path.lineTo(QPointF(w, h - n[255] * sy));
        path.lineTo(QPointF(w, h));
        path.lineTo(QPointF(0, h));
        painter.drawPath(path);
    }
}
