#include "math/Mat.h"

#include <cstdio>
#include <cstdlib>

Mat::Mat() = default;

Mat::Mat(int rows, int cols)
{
    if (rows <= 0 || cols <= 0)
        return;
    rows_ = rows;
    cols_ = cols;
    data_.assign(static_cast<size_t>(rows), std::vector<float>(static_cast<size_t>(cols), 0.0f));
    for (int i = 0; i < rows && i < cols; ++i)
        data_[i][i] = 1.0f;
}

Mat Mat::operator*(const Mat& b) const
{
    Mat out(rows_, b.cols_);
    for (auto& row : out.data_)
        for (float& v : row)
            v = 0.0f;
    if (b.rows_ != cols_)
        return out;
    for (int i = 0; i < rows_; ++i) {
        for (int j = 0; j < b.cols_; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < cols_; ++k)
                sum += data_[i][k] * b.data_[k][j];
            out.data_[i][j] = sum;
        }
    }
    return out;
}

Mat Mat::operator+(const Mat& b) const
{
    Mat out(b.rows_, b.cols_);
    if (rows_ != b.rows_ || cols_ != b.cols_)
        return out;
    for (int i = 0; i < rows_; ++i)
        for (int j = 0; j < cols_; ++j)
            out.data_[i][j] = data_[i][j] + b.data_[i][j];
    return out;
}

Mat Mat::operator-(const Mat& b) const
{
    Mat out(b.rows_, b.cols_);
    if (rows_ != b.rows_ || cols_ != b.cols_)
        return out;
    for (int i = 0; i < rows_; ++i)
        for (int j = 0; j < cols_; ++j)
            out.data_[i][j] = data_[i][j] - b.data_[i][j];
    return out;
}

Mat Mat::operator*(float s) const
{
    Mat out(*this);
    for (auto& row : out.data_)
        for (float& v : row)
            v *= s;
    return out;
}

Mat Mat::Transpose() const
{
    Mat out(cols_, rows_);
    for (int i = 0; i < cols_; ++i)
        for (int j = 0; j < rows_; ++j)
            out.data_[i][j] = data_[j][i];
    return out;
}

float* Mat::Flatten(float* dst) const
{
    float* out = dst;
    if (!out) {
        out = static_cast<float*>(std::malloc(static_cast<size_t>(ByteSize() > 0 ? ByteSize() : 1)));
        if (!out)
            return nullptr;
    }
    float* p = out;
    for (const auto& row : data_)
        for (float v : row)
            *p++ = v;
    return out;
}

void Mat::Print() const
{
    std::printf("output:(%d,%d)\n", rows_, cols_);
    for (const auto& row : data_) {
        for (float v : row)
            std::printf(" %.2f ", v);
        std::printf("\n");
    }
}
