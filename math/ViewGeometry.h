#pragma once

// Where a frame lies in a view: zoom, pan, fit, and the mapping between
// view positions and frame positions. Positions are in view pixels with
// (0, 0) at the view's top-left corner.
class ViewGeometry {
public:
    // Each wheel notch multiplies the zoom by kWheelStep. The zoom stays
    // between kMinZoom (of the fitted size) and where the frame would span
    // 2^24 screen pixels.
    static constexpr double kWheelStep = 1.25;
    static constexpr float kMinZoom = 1.0f / 64.0f;

    // Screen pixels per frame pixel across, and the frame position (in frame
    // pixels) under the view's top-left corner. Two views given one place
    // show the same frame pixel under the same view position.
    struct Place {
        double scale = 0;
        double left = 0;
        double top = 0;
    };

    // The frame's placed corners relative to the view's centre, x right and
    // y up, as of the last Layout.
    struct Extent {
        float left = 0;
        float top = 0;
        float right = 0;
        float bottom = 0;
    };

    // The frame's rectangle in whole view pixels, for the rulers.
    struct Span {
        int hStart = 0;
        int hEnd = 0;
        int vStart = 0;
        int vEnd = 0;
    };

    ViewGeometry(int frameWidth, int frameHeight) : frameW_(frameWidth), frameH_(frameHeight) {}

    void SetViewSize(float w, float h)
    {
        viewW_ = w;
        viewH_ = h;
    }
    float ViewWidth() const { return viewW_; }
    float ViewHeight() const { return viewH_; }

    // The frame's size in view pixels at zoom 1.
    void FittedSize(int* outW, int* outH) const;
    float MaxZoom() const;

    // The whole frame visible and centred: zoom 1, or less where zoom 1
    // would cut the frame, and no pan.
    void Fit();
    // Multiplies the zoom by `factor`, keeping the frame point under view
    // position (x, y) where it is. False (and nothing changed) for a factor
    // that is not a positive finite number.
    bool ZoomAbout(double factor, double x, double y);
    bool ZoomAboutCentre(double factor) { return ZoomAbout(factor, viewW_ / 2.0, viewH_ / 2.0); }
    void PanBy(double dx, double dy)
    {
        panX_ += dx;
        panY_ += dy;
    }

    Place CurrentPlace() const;
    // False (and nothing changed) for a place that cannot be taken.
    bool SetPlace(const Place& place);

    // Places the frame for drawing: fills the extent and, when given, the
    // model and the projection matrices' 16 values each, as the shaders take
    // them.
    Span Layout(float* model = nullptr, float* projection = nullptr);
    const Extent& LastExtent() const { return extent_; }

    // Position in the frame, 0..1 across and 0..-1 down, of view position
    // (x, y) as of the last Layout; may lie outside or be infinite.
    void Normalised(int x, int y, float* nx, float* ny) const;
    // Frame pixel under view position (x, y) as of the last Layout; false
    // when the position is beside the frame.
    bool PixelAt(double x, double y, int* px, int* py) const;
    // View pixels per frame pixel as of the last Layout.
    double PixelScale() const;
    // View position of the frame's top-left corner as of the last Layout.
    double FrameLeft() const { return viewW_ / 2.0 + extent_.left; }
    double FrameTop() const { return viewH_ / 2.0 - extent_.top; }

    float Zoom() const { return zoom_; }
    double PanX() const { return panX_; }
    double PanY() const { return panY_; }

private:
    int frameW_;
    int frameH_;
    float viewW_ = 0.0f;
    float viewH_ = 0.0f;
    float zoom_ = 1.0f;
    // Screen pixels from the view's centre to the frame's, down and right.
    double panX_ = 0;
    double panY_ = 0;
    Extent extent_;
};

// A rectangle in normalised frame positions (x 0..1, y 0..-1), clamped into
// the frame. Where a corner is infinite or not a number (at zoom 0 the frame
// has no extent), the whole rectangle takes `saved` first.
struct FrameRect {
    float startX = 0;
    float startY = 0;
    float endX = 0;
    float endY = 0;
};
FrameRect ClampFrameRect(const FrameRect& rect, const FrameRect& saved);
