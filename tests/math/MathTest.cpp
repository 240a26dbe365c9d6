#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "math/FitSize.h"
#include "math/LineQuad.h"
#include "math/Mat.h"
#include "math/Mat4x4.h"
#include "math/Vec4.h"

namespace {

void ExpectElements(const Mat& m, int rows, int cols, std::initializer_list<float> values)
{
    ASSERT_EQ(m.Rows(), rows);
    ASSERT_EQ(m.Cols(), cols);
    auto it = values.begin();
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j, ++it)
            EXPECT_FLOAT_EQ(m.Get(i, j), *it) << "at (" << i << "," << j << ")";
}

Mat FromRows(int rows, int cols, std::initializer_list<float> values)
{
    Mat m(rows, cols);
    auto it = values.begin();
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            m.Set(i, j, *it++);
    return m;
}

TEST(MatTest, NewMatricesFollowTheIdentityRuleForAnyShape)
{
    ExpectElements(Mat(4, 1), 4, 1, {1, 0, 0, 0});
    ExpectElements(Mat(3, 2), 3, 2, {1, 0, 0, 1, 0, 0});
    ExpectElements(Vec4(), 4, 1, {1, 0, 0, 0});
    const Mat empty(0, 5);
    EXPECT_EQ(empty.ByteSize(), 0);
}

TEST(MatTest, ProductShapesAndMismatch)
{
    const Mat a = FromRows(2, 3, {1, 2, 3, 4, 5, 6});
    const Mat b = FromRows(3, 2, {7, 8, 9, 10, 11, 12});
    ExpectElements(a * b, 2, 2, {58, 64, 139, 154});

    Mat4x4 t;
    t.SetTranslate(1, 2, 3);
    ExpectElements(t * Vec4(1, 1, 1, 1), 4, 1, {2, 3, 4, 1});
    // Inner sizes differ: all zeros of shape A.rows x B.cols.
    ExpectElements(a * Mat4x4(), 2, 4, {0, 0, 0, 0, 0, 0, 0, 0});
}

TEST(MatTest, SumDifferenceScaleAndTranspose)
{
    const Mat a = FromRows(2, 2, {1, 2, 3, 4});
    const Mat b = FromRows(2, 2, {10, 20, 30, 40});
    ExpectElements(a + b, 2, 2, {11, 22, 33, 44});
    ExpectElements(b - a, 2, 2, {9, 18, 27, 36});
    ExpectElements(a * 0.5f, 2, 2, {0.5f, 1, 1.5f, 2});
    // Shapes differ: the identity of B's shape.
    ExpectElements(a + Mat(3, 2), 3, 2, {1, 0, 0, 1, 0, 0});
    ExpectElements(a - Mat(2, 3), 2, 3, {1, 0, 0, 0, 1, 0});
    ExpectElements(FromRows(2, 3, {1, 2, 3, 4, 5, 6}).Transpose(), 3, 2, {1, 4, 2, 5, 3, 6});
    // Operands are not changed.
    ExpectElements(a, 2, 2, {1, 2, 3, 4});
}

TEST(MatTest, CopiesAreDeepAndAssignmentTakesTheShape)
{
    Mat a = FromRows(2, 2, {1, 2, 3, 4});
    Mat b(a);
    b.Set(0, 0, 9);
    EXPECT_FLOAT_EQ(a.Get(0, 0), 1);
    Mat c(4, 4);
    c = a;
    ExpectElements(c, 2, 2, {1, 2, 3, 4});
}

TEST(MatTest, FlattenWritesRowByRow)
{
    const Mat m = FromRows(2, 2, {1, 2, 3, 4});
    EXPECT_EQ(m.ByteSize(), 16);
    float buffer[4] = {};
    EXPECT_EQ(m.Flatten(buffer), buffer);
    EXPECT_FLOAT_EQ(buffer[0], 1);
    EXPECT_FLOAT_EQ(buffer[1], 2);
    EXPECT_FLOAT_EQ(buffer[2], 3);
    EXPECT_FLOAT_EQ(buffer[3], 4);
    float* owned = m.Transpose().Flatten();
    ASSERT_NE(owned, nullptr);
    EXPECT_FLOAT_EQ(owned[1], 3);
    std::free(owned);
}

TEST(MatTest, PrintFormat)
{
    testing::internal::CaptureStdout();
    Mat(2, 2).Print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "output:(2,2)\n 1.00  0.00 \n 0.00  1.00 \n");
}

TEST(Mat4x4Test, OrthographicExample)
{
    Mat4x4 p;
    p.SetOrthographic(-400, 400, 300, -300, -100, 100);
    EXPECT_FLOAT_EQ(p.Get(2, 2), -0.01f);
    ExpectElements(Vec4(p * Vec4(400, 300, 0, 1)), 4, 1, {1, 1, 0, 1});
    ExpectElements(Vec4(p * Vec4(0, 0, 0, 1)), 4, 1, {0, 0, 0, 1});
    ExpectElements(Vec4(p * Vec4(-400, -300, 0, 1)), 4, 1, {-1, -1, 0, 1});
}

TEST(Mat4x4Test, BuildersLeaveOrOverwriteOtherEntries)
{
    Mat4x4 m;
    m.SetTranslate(5, 6, 7);
    m.SetScale(2, 3, 4); // keeps the translation
    ExpectElements(m, 4, 4, {2, 0, 0, 5, 0, 3, 0, 6, 0, 0, 4, 7, 0, 0, 0, 1});

    m.SetRotationZ(static_cast<float>(M_PI / 2)); // replaces everything
    const Vec4 vz(m * Vec4(1, 0, 0, 1));
    EXPECT_NEAR(vz.X(), 0, 1e-6);
    EXPECT_NEAR(vz.Y(), 1, 1e-6);
    EXPECT_NEAR(vz.W(), 1, 1e-6);
    EXPECT_NEAR(m.Get(0, 3), 0, 1e-6);

    Mat4x4 x;
    x.SetRotationX(static_cast<float>(M_PI / 2));
    const Vec4 vx(x * Vec4(0, 1, 0, 1));
    EXPECT_NEAR(vx.Y(), 0, 1e-6);
    EXPECT_NEAR(vx.Z(), 1, 1e-6);

    Mat4x4 y;
    y.SetRotationY(static_cast<float>(M_PI / 2));
    const Vec4 vy(y * Vec4(0, 0, 1, 1));
    EXPECT_NEAR(vy.X(), 1, 1e-6);
    EXPECT_NEAR(vy.Z(), 0, 1e-6);

    // The axis-angle form about z matches the z rotation.
    Mat4x4 axis;
    axis.SetRotation(0, 0, 1, 0.3f);
    Mat4x4 z;
    z.SetRotationZ(0.3f);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(axis.Get(i, j), z.Get(i, j), 1e-6);
}

TEST(Mat4x4Test, Perspective)
{
    Mat4x4 p;
    p.SetPerspective(static_cast<float>(M_PI / 2), 2.0f, 1.0f, 3.0f);
    EXPECT_NEAR(p.Get(0, 0), 0.5f, 1e-6);
    EXPECT_NEAR(p.Get(1, 1), 1.0f, 1e-6);
    EXPECT_FLOAT_EQ(p.Get(2, 2), -2.0f);
    EXPECT_FLOAT_EQ(p.Get(2, 3), -3.0f);
    EXPECT_FLOAT_EQ(p.Get(3, 2), -1.0f);
    EXPECT_FLOAT_EQ(p.Get(3, 3), 0.0f);
}

TEST(VecTest, Accessors)
{
    Vec4 v(1, 2, 3, 4);
    EXPECT_FLOAT_EQ(v.ZW().X(), 3);
    EXPECT_FLOAT_EQ(v.XY().Y(), 2);
    v.SetZW(7, 8);
    v.SetXY(5, 6);
    ExpectElements(v, 4, 1, {5, 6, 7, 8});
}

TEST(FitSizeTest, Cases)
{
    struct Case {
        int viewW, viewH, imgW, imgH, outW, outH;
    };
    const Case cases[] = {
        {800, 600, 1920, 1080, 800, 449}, // single-precision aspect, truncated
        {800, 600, 1080, 1920, 337, 600},
        {800, 600, 500, 500, 600, 600},
        {1000, 300, 1920, 1080, 1000, 562}, // taller than the view
        {800, 600, 0, 1080, 0, 0},
        {800, 600, 1920, 0, 0, 0},
    };
    for (const Case& c : cases) {
        int w = -1;
        int h = -1;
        FitSize(c.viewW, c.viewH, c.imgW, c.imgH, &w, &h);
        EXPECT_EQ(w, c.outW) << c.imgW << "x" << c.imgH << " in " << c.viewW << "x" << c.viewH;
        EXPECT_EQ(h, c.outH) << c.imgW << "x" << c.imgH << " in " << c.viewW << "x" << c.viewH;
    }
}

TEST(LineQuadTest, CornersLieOnOneSide)
{
    struct Case {
        float sx, sy, ex, ey;
        float corners[4][2];
    };
    const Case cases[] = {
        {0, 0, 10, 0, {{0, 0}, {10, 0}, {0, -3}, {10, -3}}},  // left to right: band below
        {0, 0, 0, -10, {{0, 0}, {0, -10}, {-3, 0}, {-3, -10}}}, // downwards: band to the left
        {5, 5, 5, 15, {{5, 5}, {5, 15}, {8, 5}, {8, 15}}},
    };
    for (const Case& c : cases) {
        LineQuad q;
        EXPECT_FLOAT_EQ(q.Width(), 1.0f);
        q.SetWidth(3);
        q.SetStart(c.sx, c.sy);
        q.SetEnd(c.ex, c.ey);
        q.ComputeCorners();
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(q.Corner(i).X(), c.corners[i][0], 1e-5) << "corner " << i;
            EXPECT_NEAR(q.Corner(i).Y(), c.corners[i][1], 1e-5) << "corner " << i;
        }
    }
}

TEST(LineQuadTest, VertexAndIndexData)
{
    LineQuad q;
    q.SetWidth(3);
    q.SetStart(0, 0);
    q.SetEnd(10, 0);
    q.ComputeCorners();
    EXPECT_EQ(q.VertexCount(), 4);
    EXPECT_EQ(q.IndexCount(), 6);
    float v[12];
    q.WriteVertices(v);
    const float expected[12] = {0, 0, 0, 10, 0, 0, 0, -3, 0, 10, -3, 0};
    for (int i = 0; i < 12; ++i)
        EXPECT_FLOAT_EQ(v[i], expected[i]);
    uint32_t idx[6];
    q.WriteIndices(idx);
    const uint32_t expectedIdx[6] = {0, 2, 1, 2, 3, 1};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(idx[i], expectedIdx[i]);
}

TEST(LineQuadTest, ZeroLengthGivesNaNCorners)
{
    LineQuad q;
    q.SetWidth(3);
    q.SetStart(4, 4);
    q.SetEnd(4, 4);
    q.ComputeCorners();
    EXPECT_TRUE(std::isnan(q.Corner(2).X()));
    EXPECT_TRUE(std::isnan(q.Corner(3).Y()));
}

} // namespace
