#include "render/RulerView.h"

#include <QFont>
#include <QPainter>

#include <algorithm>

#include "math/RulerTicks.h"

RulerView::RulerView(int startValue, int endValue, int type, QWidget* parent)
    : QWidget(parent), endValue_(endValue), startValue_(startValue), type_(type)
{
    if (type_ == 1)
        setFixedHeight(40);
    else if (type_ == 2)
        setFixedWidth(40);
    else if (type_ == 3)
        setFixedSize(40, 40);
    pixelStart_ = 0;
    pixelEnd_ = type_ == 1 ? width() : (type_ == 2 ? height() : 0);
}

void RulerView::SetPixelRange(int start, int end)
{
    // The view reports its extent after every paint; repainting an unchanged
    // ruler would cost a second composition of the whole window.
    if (start == pixelStart_ && end == pixelEnd_)
        return;
    pixelStart_ = start;
    pixelEnd_ = end;
    update();
}

void RulerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(rect(), QColor(255, 255, 255));
    if (type_ != 1 && type_ != 2)
        return;

    const QFont font(QStringLiteral("宋体"), 7, 0, false);
    const bool horizontal = type_ == 1;
    for (const RulerTick& tick : RulerTicks(pixelStart_, pixelEnd_, startValue_, endValue_, horizontal ? width() : height())) {
        painter.setFont(font);
        const int p = tick.pos;
        const int inner = tick.labelled ? 20 : 25;
        if (tick.labelled) {
            if (horizontal)
                painter.drawText(QPoint(p, 10), QString::number(tick.value));
            else
                painter.drawText(QPoint(0, p + 2), QString::number(tick.value));
        }
        if (horizontal)
            painter.drawLine(p, 40, p, inner);
        else
            painter.drawLine(40, p, inner, p);
    }
}
