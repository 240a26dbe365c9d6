#include "render/YUVWidget.h"

#include <QBoxLayout>
#include <QFile>

#include "render/RulerView.h"
#include "render/YUVShowView.h"

YUVWidget::YUVWidget(const lumo::LumoYuvReader& reader, QWidget* parent) : QWidget(parent), reader_(reader)
{
    BuildForm();

    const QString path = reader_.HasPath() ? QFile::decodeName(reader_.Path().c_str()) : QString();
    view_ = new YUVShowView(path, reader_.Width(), reader_.Height(), QString::fromUtf8(reader_.Type().c_str()), this);
    ui_.yuv_show_layout->addWidget(view_);

    hRuler_ = new RulerView(0, reader_.Width(), 1, this);
    ui_.h_ruler_layout->addWidget(hRuler_);
    vRuler_ = new RulerView(0, reader_.Height(), 2, this);
    ui_.v_ruler_layout->addWidget(vRuler_);
    auto* corner = new RulerView(0, 0, 3, this);
    ui_.cell_ruler_layout->addWidget(corner);

    connect(view_, &YUVShowView::updataRuler, this, &YUVWidget::updataRuler, Qt::DirectConnection);
    connect(view_, &YUVShowView::updateRect, this, &YUVWidget::updateRect, Qt::DirectConnection);
}

void YUVWidget::BuildForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("YUVWidget"));
    resize(1058, 636);

    auto named = [](auto* layout, const char* name, int spacing) {
        layout->setObjectName(QString::fromLatin1(name));
        if (spacing >= 0)
            layout->setSpacing(spacing);
        return layout;
    };
    ui_.verticalLayout_2 = named(new QVBoxLayout(this), "verticalLayout_2", 0);
    ui_.verticalLayout_2->setContentsMargins(0, 0, 0, 0);

    ui_.horizontalLayout = named(new QHBoxLayout(), "horizontalLayout", 0);
    ui_.cell_ruler_layout = named(new QVBoxLayout(), "cell_ruler_layout", -1);
    ui_.h_ruler_layout = named(new QVBoxLayout(), "h_ruler_layout", -1);
    ui_.horizontalLayout->addLayout(ui_.cell_ruler_layout);
    ui_.horizontalLayout->addLayout(ui_.h_ruler_layout);
    ui_.verticalLayout_2->addLayout(ui_.horizontalLayout);

    ui_.horizontalLayout_2 = named(new QHBoxLayout(), "horizontalLayout_2", 0);
    ui_.v_ruler_layout = named(new QVBoxLayout(), "v_ruler_layout", 0);
    ui_.yuv_show_layout = named(new QVBoxLayout(), "yuv_show_layout", 0);
    ui_.horizontalLayout_2->addLayout(ui_.v_ruler_layout);
    ui_.horizontalLayout_2->addLayout(ui_.yuv_show_layout);
    ui_.verticalLayout_2->addLayout(ui_.horizontalLayout_2);

    setWindowTitle(QStringLiteral("Form"));
    QMetaObject::connectSlotsByName(this);
}

void YUVWidget::SetFrameIndex(int index)
{
    view_->SetFrameOffset(static_cast<int64_t>(index) * reader_.GetFrameSize());
}

void YUVWidget::SetColorRange(int colorRange)
{
    view_->SetColorRange(colorRange);
}

void YUVWidget::SetGamma(float gamma)
{
    view_->SetGamma(gamma);
}

void YUVWidget::SetRect(float startX, float startY, float endX, float endY)
{
    view_->SetRect(startX, startY, endX, endY);
}

void YUVWidget::SetDrawMode(int mode)
{
    view_->SetDrawMode(mode);
}

int YUVWidget::GetDrawMode() const
{
    return view_->GetDrawMode();
}

int YUVWidget::SetVisible(int y, int u, int v)
{
    return view_->SetVisible(y, u, v);
}

void YUVWidget::updataRuler(int hStart, int hEnd, int vStart, int vEnd)
{
    hRuler_->SetPixelRange(hStart, hEnd);
    vRuler_->SetPixelRange(vStart, vEnd);
}

void YUVWidget::updateRect(float rectStartX, float rectStartY, float rectEndX, float rectEndY)
{
    emit signalsUpdateRect(rectStartX, rectStartY, rectEndX, rectEndY);
}
