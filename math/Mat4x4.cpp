#include "math/Mat4x4.h"

#include <cmath>

Mat4x4::Mat4x4() : Mat(4, 4) {}

void Mat4x4::Clear()
{
    for (auto& row : data_)
        for (float& v : row)
            v = 0.0f;
}

void Mat4x4::SetScale(float x, float y, float z)
{
    data_[0][0] = x;
    data_[1][1] = y;
    data_[2][2] = z;
    data_[3][3] = 1.0f;
}

void Mat4x4::SetTranslate(float x, float y, float z)
{
    data_[0][3] = x;
    data_[1][3] = y;
    data_[2][3] = z;
}

void Mat4x4::SetOrthographic(float l, float r, float t, float b, float n, float f)
{
    Clear();
    data_[0][0] = 2.0f / (r - l);
    data_[0][3] = -(r + l) / (r - l);
    data_[1][1] = 2.0f / (t - b);
    data_[1][3] = -(t + b) / (t - b);
    data_[2][2] = -2.0f / (f - n);
    data_[2][3] = -(f + n) / (f - n);
    data_[3][3] = 1.0f;
}

void Mat4x4::SetPerspective(float fov, float aspect, float n, float f)
{
    Clear();
    const float c = static_cast<float>(std::tan(M_PI / 2.0 - static_cast<double>(fov) / 2.0));
    data_[0][0] = c / aspect;
    data_[1][1] = c;
    data_[2][2] = -(f + n) / (f - n);
    data_[2][3] = -(2.0f * f * n) / (f - n);
    data_[3][2] = -1.0f;
}

void Mat4x4::SetRotationX(float theta)
{
    Clear();
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    data_[0][0] = 1.0f;
    data_[1][1] = c;
    data_[1][2] = -s;
    data_[2][1] = s;
    data_[2][2] = c;
    data_[3][3] = 1.0f;
}

void Mat4x4::SetRotationY(float theta)
{
    Clear();
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    data_[0][0] = c;
    data_[0][2] = s;
    data_[1][1] = 1.0f;
    data_[2][0] = -s;
    data_[2][2] = c;
    data_[3][3] = 1.0f;
}

void Mat4x4::SetRotationZ(float theta)
{
    Clear();
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    data_[0][0] = c;
    data_[0][1] = -s;
    data_[1][0] = s;
    data_[1][1] = c;
    data_[2][2] = 1.0f;
    data_[3][3] = 1.0f;
}

void Mat4x4::SetRotation(float x, float y, float z, float theta)
{
    Clear();
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    const float t = 1.0f - c;
    data_[0][0] = t * x * x + c;
    data_[0][1] = t * x * y - s * z;
    data_[0][2] = t * x * z + s * y;
    data_[1][0] = t * x * y + s * z;
    data_[1][1] = t * y * y + c;
    data_[1][2] = t * y * z - s * x;
    data_[2][0] = t * x * z - s * y;
    data_[2][1] = t * y * z + s * x;
    data_[2][2] = t * z * z + c;
    data_[3][3] = 1.0f;
}
