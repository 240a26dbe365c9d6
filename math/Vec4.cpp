#include "math/Vec4.h"

Vec4::Vec4(float x, float y, float z, float w) : Mat(4, 1)
{
    SetX(x);
    SetY(y);
    SetZ(z);
    SetW(w);
}

Vec4::Vec4(const Mat& column) : Mat(4, 1)
{
    for (int i = 0; i < 4; ++i)
        Set(i, 0, (i < column.Rows() && column.Cols() > 0) ? column.Get(i, 0) : 0.0f);
}

void Vec4::SetXY(float x, float y)
{
    SetX(x);
    SetY(y);
}

void Vec4::SetZW(float z, float w)
{
    SetZ(z);
    SetW(w);
}
