#include "math/Vec2.h"

Vec2::Vec2(float x, float y) : Mat(2, 1)
{
    Set(0, 0, x);
    Set(1, 0, y);
}
