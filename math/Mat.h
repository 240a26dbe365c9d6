#pragma once

#include <vector>

// A single-precision matrix of any shape, stored row by row. Vectors are
// columns and a transform applies as M*v, so products compose right to left.
// A new matrix holds 1.0 where the row index equals the column index and 0.0
// elsewhere, for any shape.
class Mat {
public:
    Mat();
    Mat(int rows, int cols);
    Mat(const Mat& other) = default;
    Mat& operator=(const Mat& other) = default;
    virtual ~Mat() = default;

    int Rows() const { return rows_; }
    int Cols() const { return cols_; }
    float Get(int row, int col) const { return data_[row][col]; }
    void Set(int row, int col, float value) { data_[row][col] = value; }

    // All zeros when the inner sizes differ.
    Mat operator*(const Mat& b) const;
    // Shape of b; the identity of that shape when the shapes differ.
    Mat operator+(const Mat& b) const;
    Mat operator-(const Mat& b) const;
    Mat operator*(float s) const;
    Mat Transpose() const;

    // Writes rows*cols floats row by row into `dst`; with no `dst`, returns a
    // malloc'd buffer that the caller frees.
    float* Flatten(float* dst = nullptr) const;
    int ByteSize() const { return rows_ * cols_ * 4; }
    // Writes the shape and the elements to standard output.
    void Print() const;

protected:
    int rows_ = 0;
    int cols_ = 0;
    std::vector<std::vector<float>> data_;
};
