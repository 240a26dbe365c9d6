#include "math/ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "math/FitSize.h"
#include "math/Mat.h"
#include "math/Mat4x4.h"
#include "math/Vec4.h"

namespace {

// float to int truncating toward zero, saturating instead of overflowing.
int TruncToInt(float v)
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<float>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<float>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

float Clamp(float v, float lo, float hi)
{
    if (v <= lo)
        return lo;
    if (v >= hi)
        return hi;
    return v; // NaN stays NaN
}

} // namespace

void ViewGeometry::FittedSize(int* outW, int* outH) const
{
    FitSize(static_cast<int>(viewW_), static_cast<int>(viewH_), frameW_, frameH_, outW, outH);
}

float ViewGeometry::MaxZoom() const
{
    // Past 2^24 screen pixels float positions lose whole pixels.
    int outW = 0;
    int outH = 0;
    FittedSize(&outW, &outH);
    const int side = std::max({outW, outH, 1});
    return std::max(1.0f, 16777216.0f / static_cast<float>(side));
}

void ViewGeometry::Fit()
{
    // Zoom 1 fits one side; a view of another aspect may still cut the other.
    int outW = 0;
    int outH = 0;
    FittedSize(&outW, &outH);
    zoom_ = 1.0f;
    if (outW > 0 && outH > 0)
        zoom_ = std::min({1.0f, viewW_ / outW, viewH_ / outH});
    panX_ = 0;
    panY_ = 0;
}

bool ViewGeometry::ZoomAbout(double factor, double x, double y)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return false;
    const float zoom = std::clamp(static_cast<float>(zoom_ * factor), kMinZoom, MaxZoom());
    const double k = static_cast<double>(zoom) / zoom_;
    const double cx = x - viewW_ / 2.0;
    const double cy = y - viewH_ / 2.0;
    panX_ = cx - (cx - panX_) * k;
    panY_ = cy - (cy - panY_) * k;
    zoom_ = zoom;
    return true;
}

ViewGeometry::Place ViewGeometry::CurrentPlace() const
{
    int outW = 0;
    int outH = 0;
    FittedSize(&outW, &outH);
    Place place;
    if (frameW_ <= 0 || frameH_ <= 0 || outW <= 0 || outH <= 0)
        return place;
    place.scale = static_cast<double>(zoom_) * outW / frameW_;
    const double scaleY = static_cast<double>(zoom_) * outH / frameH_;
    // View position of the frame's top-left corner.
    const double left = viewW_ / 2.0 + panX_ - frameW_ * place.scale / 2.0;
    const double top = viewH_ / 2.0 + panY_ - frameH_ * scaleY / 2.0;
    place.left = -left / place.scale;
    place.top = -top / scaleY;
    return place;
}

bool ViewGeometry::SetPlace(const Place& place)
{
    int outW = 0;
    int outH = 0;
    FittedSize(&outW, &outH);
    if (!(place.scale > 0) || !std::isfinite(place.left) || !std::isfinite(place.top) || outW <= 0 || outH <= 0)
        return false;
    zoom_ = std::clamp(static_cast<float>(place.scale * frameW_ / outW), kMinZoom, MaxZoom());
    const double scaleX = static_cast<double>(zoom_) * outW / frameW_;
    const double scaleY = static_cast<double>(zoom_) * outH / frameH_;
    panX_ = frameW_ * scaleX / 2.0 - viewW_ / 2.0 - place.left * scaleX;
    panY_ = frameH_ * scaleY / 2.0 - viewH_ / 2.0 - place.top * scaleY;
    return true;
}

ViewGeometry::Span ViewGeometry::Layout(float* modelOut, float* projectionOut)
{
    const float w = viewW_;
    const float h = viewH_;
    Mat4x4 projection;
    projection.SetOrthographic(-w / 2, w / 2, h / 2, -h / 2, -100, 100);
    int outW = 0;
    int outH = 0;
    FittedSize(&outW, &outH);
    Mat4x4 scale;
    scale.SetScale(zoom_ * outW * 0.5f, zoom_ * outH * 0.5f, 1.0f);
    Mat4x4 translate;
    translate.SetTranslate(static_cast<float>(panX_), static_cast<float>(-panY_), 0.0f);
    const Mat model = projection * translate * scale;
    if (modelOut)
        model.Transpose().Flatten(modelOut);
    if (projectionOut)
        projection.Transpose().Flatten(projectionOut);

    const Vec4 a(model * Vec4(-1, 1, 0, 1));
    const Vec4 b(model * Vec4(1, -1, 0, 1));
    Span span;
    span.hStart = TruncToInt(w / 2 + a.X() * w / 2);
    span.hEnd = TruncToInt(w / 2 + b.X() * w / 2);
    span.vStart = TruncToInt(h / 2 - a.Y() * h / 2);
    span.vEnd = TruncToInt(h / 2 - b.Y() * h / 2);
    extent_.left = w / 2 * a.X();
    extent_.top = h / 2 * a.Y();
    extent_.right = w / 2 * b.X();
    extent_.bottom = h / 2 * b.Y();
    return span;
}

void ViewGeometry::Normalised(int x, int y, float* nx, float* ny) const
{
    const float w = viewW_;
    const float h = viewH_;
    *nx = (static_cast<float>(x) - w / 2 - extent_.left) / std::fabs(extent_.right - extent_.left);
    *ny = (-(static_cast<float>(y) - h / 2) - extent_.top) / std::fabs(extent_.bottom - extent_.top);
}

bool ViewGeometry::PixelAt(double x, double y, int* px, int* py) const
{
    const double fw = std::fabs(extent_.right - extent_.left);
    const double fh = std::fabs(extent_.bottom - extent_.top);
    if (!(fw > 0) || !(fh > 0))
        return false;
    const double nx = (x - viewW_ / 2.0 - extent_.left) / fw;
    const double ny = (y - viewH_ / 2.0 + extent_.top) / fh; // 0 at the top edge, 1 at the bottom
    if (!(nx >= 0 && nx < 1 && ny >= 0 && ny < 1))
        return false;
    *px = std::min(frameW_ - 1, static_cast<int>(nx * frameW_));
    *py = std::min(frameH_ - 1, static_cast<int>(ny * frameH_));
    return true;
}

double ViewGeometry::PixelScale() const
{
    return frameW_ > 0 ? std::fabs(extent_.right - extent_.left) / frameW_ : 0.0;
}

FrameRect ClampFrameRect(const FrameRect& rect, const FrameRect& saved)
{
    FrameRect r = rect;
    if (!std::isfinite(r.startX) || !std::isfinite(r.startY) || !std::isfinite(r.endX) || !std::isfinite(r.endY))
        r = saved;
    r.startX = Clamp(r.startX, 0.0f, 1.0f);
    r.endX = Clamp(r.endX, 0.0f, 1.0f);
    r.startY = Clamp(r.startY, -1.0f, 0.0f);
    r.endY = Clamp(r.endY, -1.0f, 0.0f);
    return r;
}
