#pragma once

#include "math/Mat.h"

// A 4x4 transform, the identity when built. Each builder writes the entries
// it is responsible for and leaves the others unchanged; the ones that fill
// the whole matrix say so. Angles are radians.
class Mat4x4 : public Mat {
public:
    Mat4x4();

    // (0,0)=x, (1,1)=y, (2,2)=z, (3,3)=1.
    void SetScale(float x, float y, float z);
    // (0,3)=x, (1,3)=y, (2,3)=z.
    void SetTranslate(float x, float y, float z);
    // Whole matrix: maps [l,r] x [b,t] x [-n,-f] onto the unit cube.
    void SetOrthographic(float l, float r, float t, float b, float n, float f);
    // Whole matrix.
    void SetPerspective(float fov, float aspect, float n, float f);
    // Whole matrix, each.
    void SetRotationX(float theta);
    void SetRotationY(float theta);
    void SetRotationZ(float theta);
    // Whole matrix; the axis is used as given, not normalised.
    void SetRotation(float x, float y, float z, float theta);

private:
    void Clear();
};
