#include "analysis/PixelInspector.h"

#include "render/YUVShowView.h"
#include "yuv/PixelMath.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>

#include <algorithm>
#include <array>

PixelInspector::PixelInspector(QLabel* label, const QDoubleSpinBox* gamma, const QComboBox* diffGain,
                               std::function<std::vector<YUVShowView*>()> views, QObject* parent)
    : QObject(parent), label_(label), gamma_(gamma), diffGain_(diffGain), views_(std::move(views))
{
    timer_.setSingleShot(true);
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &PixelInspector::Update);
}

void PixelInspector::Watch(YUVShowView* view, int index)
{
    connect(view, &YUVShowView::pixelHovered, this, [this, index](int x, int y) {
        hovered_ = index;
        x_ = x;
        y_ = y;
        Update();
    });
    connect(view, &YUVShowView::mouseLeft, this, [this, index] {
        if (hovered_ != index)
            return;
        hovered_ = -1;
        x_ = y_ = -1;
        Update();
    });
    // The values follow the frame while the mouse rests, a few times a
    // second at most during playback.
    auto follow = [this] {
        if (x_ >= 0 && !timer_.isActive())
            timer_.start();
    };
    connect(view, &YUVShowView::planesChanged, this, follow);
    connect(view, &QOpenGLWidget::frameSwapped, this, follow);
}

void PixelInspector::Forget(int index)
{
    if (hovered_ == index)
        hovered_ = -1;
}

void PixelInspector::Clear()
{
    x_ = y_ = -1;
    Update();
}

void PixelInspector::Update()
{
    label_->setText(Text());
}

QString PixelInspector::Text() const
{
    if (x_ < 0 || y_ < 0)
        return QString();
    const std::vector<YUVShowView*> views = views_();
    const size_t n = views.size();
    // The file's own samples, at its depth, and the 8-bit ones the view
    // draws (the same for 8-bit files).
    std::vector<std::array<int, 3>> samples(n), drawn(n);
    std::vector<bool> has(n, false);
    for (size_t i = 0; i < n; ++i)
        has[i] = views[i]->SampleAt(x_, y_, samples[i].data()) && views[i]->ShownSampleAt(x_, y_, drawn[i].data());
    QString text = QStringLiteral("x %1, y %2").arg(x_).arg(y_);
    for (size_t i = 0; i < n; ++i) {
        if (!has[i])
            continue;
        // What the view draws there: the samples at their depth, or the
        // 8-bit difference in a difference view.
        int rgb[3];
        if (views[i]->ShowsDiff() && has[0]) {
            const int gain = diffGain_->currentData().toInt();
            int shown[3];
            for (int p = 0; p < 3; ++p)
                shown[p] = std::clamp(128 + gain * (drawn[i][p] - drawn[0][p]), 0, 255);
            FrameShaderRgb(views[i]->ColorRange(), gamma_->value(), 8, shown[0], shown[1], shown[2], rgb);
        } else {
            FrameShaderRgb(views[i]->ColorRange(), gamma_->value(), views[i]->BitDepth(), samples[i][0],
                           samples[i][1], samples[i][2], rgb);
        }
        text += QStringLiteral("    %1Y %2 U %3 V %4 → R %5 G %6 B %7")
                    .arg(n > 1 ? (i == 0 ? QStringLiteral("A: ") : QStringLiteral("B: ")) : QString())
                    .arg(samples[i][0])
                    .arg(samples[i][1])
                    .arg(samples[i][2])
                    .arg(rgb[0])
                    .arg(rgb[1])
                    .arg(rgb[2]);
    }
    // Files of different depths are not compared.
    if (n > 1 && has[0] && has[1] && views[0]->BitDepth() != views[1]->BitDepth()) {
        text += QStringLiteral("    B−A: -");
    } else if (n > 1 && has[0] && has[1]) {
        auto signedText = [](int d) { return d > 0 ? QStringLiteral("+%1").arg(d) : QString::number(d); };
        text += QStringLiteral("    B−A: Y %1 U %2 V %3")
                    .arg(signedText(samples[1][0] - samples[0][0]), signedText(samples[1][1] - samples[0][1]),
                         signedText(samples[1][2] - samples[0][2]));
    }
    return text;
}
