#pragma once

#include "math/Mat.h"

// A 2x1 column vector (x, y).
class Vec2 : public Mat {
public:
    Vec2(float x = 1.0f, float y = 0.0f);

    float X() const { return Get(0, 0); }
    float Y() const { return Get(1, 0); }
    void SetX(float x) { Set(0, 0, x); }
    void SetY(float y) { Set(1, 0, y); }
};
