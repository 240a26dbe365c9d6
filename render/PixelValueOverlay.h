#pragma once

#include <QWidget>

#include <functional>

// Where a view's frame pixels lie: the widget position of the frame's
// top-left corner, view pixels per frame pixel (0: nothing to write), the
// frame's size and its samples' depth.
struct PixelGrid {
    double left = 0;
    double top = 0;
    double scale = 0;
    int frameWidth = 0;
    int frameHeight = 0;
    int depth = 8;
};

// Transparent layer over a view that writes the sample values into the
// frame pixels at high zoom (from YUVShowView::kValueScale view pixels per
// frame pixel). The view places and shows it.
class PixelValueOverlay : public QWidget {
public:
    using GridFn = std::function<PixelGrid()>;
    // The samples of frame pixel (x, y); false when there are none.
    using SampleFn = std::function<bool(int x, int y, int yuv[3])>;

    PixelValueOverlay(QWidget* view, GridFn grid, SampleFn sample);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    GridFn grid_;
    SampleFn sample_;
};
