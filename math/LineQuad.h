#pragma once

#include <cstdint>

#include "math/Vec2.h"

// A straight segment drawn as a band of a given width. The band lies wholly
// on one side of the segment: for a segment running left to right (y up) it
// extends downward by the width.
class LineQuad {
public:
    LineQuad() = default;

    void SetStart(float x, float y);
    void SetEnd(float x, float y);
    void SetWidth(float width);
    float Width() const { return width_; }

    // Corners: 0 start, 1 end, 2 start + offset, 3 end + offset.
    void ComputeCorners();
    const Vec2& Corner(int i) const { return corners_[i]; }

    int VertexCount() const { return 4; }
    int IndexCount() const { return 6; }
    // Four corners as (x, y, 0): 12 floats.
    void WriteVertices(float* dst) const;
    // Two triangles: 0 2 1, 2 3 1.
    void WriteIndices(uint32_t* dst) const;

private:
    float startX_ = 0.0f;
    float startY_ = 0.0f;
    float endX_ = 0.0f;
    float endY_ = 0.0f;
    float width_ = 1.0f;
    Vec2 corners_[4];
};
