#pragma once

#include "math/Mat.h"
#include "math/Vec2.h"

// A 4x1 column vector (x, y, z, w).
class Vec4 : public Mat {
public:
    Vec4(float x = 1.0f, float y = 0.0f, float z = 0.0f, float w = 0.0f);
    // Takes the first column of a product such as M*v.
    explicit Vec4(const Mat& column);

    float X() const { return Get(0, 0); }
    float Y() const { return Get(1, 0); }
    float Z() const { return Get(2, 0); }
    float W() const { return Get(3, 0); }
    Vec2 XY() const { return Vec2(X(), Y()); }
    Vec2 ZW() const { return Vec2(Z(), W()); }
    void SetX(float x) { Set(0, 0, x); }
    void SetY(float y) { Set(1, 0, y); }
    void SetZ(float z) { Set(2, 0, z); }
    void SetW(float w) { Set(3, 0, w); }
    void SetXY(float x, float y);
    void SetZW(float z, float w);
};
