#include "math/LineQuad.h"

#include <cmath>

void LineQuad::SetStart(float x, float y)
{
    startX_ = x;
    startY_ = y;
}

void LineQuad::SetEnd(float x, float y)
{
    endX_ = x;
    endY_ = y;
}

void LineQuad::SetWidth(float width)
{
    width_ = width;
}

void LineQuad::ComputeCorners()
{
    const float dx = endX_ - startX_;
    const float dy = endY_ - startY_;
    // Quarter turn clockwise (y up), scaled to the band width.
    const float nx = dy;
    const float ny = -dx;
    const float len = std::sqrt(nx * nx + ny * ny);
    const float scale = 1.0f / (len / width_);
    const float ox = nx * scale;
    const float oy = ny * scale;
    corners_[0] = Vec2(startX_, startY_);
    corners_[1] = Vec2(endX_, endY_);
    corners_[2] = Vec2(startX_ + ox, startY_ + oy);
    corners_[3] = Vec2(endX_ + ox, endY_ + oy);
}

void LineQuad::WriteVertices(float* dst) const
{
    for (int i = 0; i < 4; ++i) {
        dst[i * 3 + 0] = corners_[i].X();
        dst[i * 3 + 1] = corners_[i].Y();
        dst[i * 3 + 2] = 0.0f;
    }
}

void LineQuad::WriteIndices(uint32_t* dst) const
{
    static const uint32_t kIndices[6] = {0, 2, 1, 2, 3, 1};
    for (int i = 0; i < 6; ++i)
        dst[i] = kIndices[i];
}
