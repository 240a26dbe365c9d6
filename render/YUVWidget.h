#pragma once

#include <cstdint>

#include <QWidget>

#include "yuv/LumoYuvReader.h"

class QHBoxLayout;
class QVBoxLayout;
class RulerView;
class YUVShowView;

// The YUV view framed by a horizontal ruler above it and a vertical ruler to
// its left. Turns frame indexes into byte offsets and keeps the rulers in
// step with the view after every paint.
class YUVWidget : public QWidget {
    Q_OBJECT

public:
    explicit YUVWidget(const lumo::LumoYuvReader& reader, QWidget* parent = nullptr);

    void SetFrameIndex(int index);
    void SetColorRange(int colorRange);
    void SetGamma(float gamma);
    void SetRect(float startX, float startY, float endX, float endY);
    void SetDrawMode(int mode);
    int GetDrawMode() const;

    YUVShowView* View() const { return view_; }
    RulerView* HorizontalRuler() const { return hRuler_; }
    RulerView* VerticalRuler() const { return vRuler_; }

public slots:
    int SetVisible(int y, int u, int v);
    void updataRuler(int hStart, int hEnd, int vStart, int vEnd);
    void updateRect(float rectStartX, float rectStartY, float rectEndX, float rectEndY);

signals:
    void signalsUpdateRect(float rectStartX, float rectStartY, float rectEndX, float rectEndY);

private:
    void BuildForm();

    struct Form {
        QVBoxLayout* verticalLayout_2 = nullptr;
        QHBoxLayout* horizontalLayout = nullptr;
        QVBoxLayout* cell_ruler_layout = nullptr;
        QVBoxLayout* h_ruler_layout = nullptr;
        QHBoxLayout* horizontalLayout_2 = nullptr;
        QVBoxLayout* v_ruler_layout = nullptr;
        QVBoxLayout* yuv_show_layout = nullptr;
    } ui_;
    YUVShowView* view_ = nullptr;
    RulerView* hRuler_ = nullptr;
    RulerView* vRuler_ = nullptr;
    lumo::LumoYuvReader reader_;
};
