#pragma once

#include <QWidget>

// A pixel ruler beside the YUV view: labels the frame's pixel coordinates
// along the part of the ruler that the frame covers on screen. Type 1 is
// horizontal (40 pixels tall), 2 vertical (40 wide), 3 the blank corner cell.
class RulerView : public QWidget {
    Q_OBJECT

public:
    RulerView(int startValue, int endValue, int type, QWidget* parent = nullptr);

    void SetPixelRange(int start, int end);
    int PixelStart() const { return pixelStart_; }
    int PixelEnd() const { return pixelEnd_; }
    int Type() const { return type_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int endValue_;
    int startValue_;
    int pixelStart_ = 0;
    int pixelEnd_ = 0;
    int type_;
};
