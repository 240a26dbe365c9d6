#include "render/PixelValueOverlay.h"

#include "render/YUVShowView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

PixelValueOverlay::PixelValueOverlay(QWidget* view, GridFn grid, SampleFn sample)
    : QWidget(view), grid_(std::move(grid)), sample_(std::move(sample))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

void PixelValueOverlay::paintEvent(QPaintEvent*)
{
    const PixelGrid grid = grid_();
    const double scale = grid.scale;
    if (scale < YUVShowView::kValueScale)
        return;
    QPainter painter(this);
    const double left = grid.left;
    const double top = grid.top;
    const int x0 = std::max(0, static_cast<int>(std::floor(-left / scale)));
    const int y0 = std::max(0, static_cast<int>(std::floor(-top / scale)));
    const int x1 = std::min(grid.frameWidth - 1, static_cast<int>(std::floor((width() - left) / scale)));
    const int y1 = std::min(grid.frameHeight - 1, static_cast<int>(std::floor((height() - top) / scale)));
    QFont font = painter.font();
    int size = std::clamp(static_cast<int>(scale / 4.5), 9, 28);
    // The widest line of the file's depth (5 digits at 16 bits) still fits
    // inside its pixel.
    const QString widest = QStringLiteral("Y %1").arg(QString(QString::number((1 << grid.depth) - 1).size(), '8'));
    for (; size > 7; --size) {
        font.setPixelSize(size);
        if (QFontMetricsF(font).horizontalAdvance(widest) <= 0.85 * scale)
            break;
    }
    font.setPixelSize(size);
    const QFontMetricsF metrics(font);
    painter.setRenderHint(QPainter::Antialiasing);
    // Black figures in a white outline read on any colour.
    const QPen outline(Qt::white, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    static const char* const kNames[3] = {"Y", "U", "V"};
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            int yuv[3];
            if (!sample_(x, y, yuv))
                continue;
            QPainterPath path;
            const double cx = left + (x + 0.5) * scale;
            const double cy = top + (y + 0.5) * scale;
            for (int p = 0; p < 3; ++p) {
                const QString text = QStringLiteral("%1 %2").arg(QLatin1String(kNames[p])).arg(yuv[p]);
                const double tx = cx - metrics.horizontalAdvance(text) / 2.0;
                const double ty = cy + (p - 1) * metrics.height() + metrics.ascent() / 2.0 - metrics.descent() / 2.0;
                path.addText(QPointF(tx, ty), font, text);
            }
            painter.strokePath(path, outline);
            painter.fillPath(path, Qt::black);
        }
    }
}
