#pragma once

#include <string>

#include "iqa/CompareEngine.h"

namespace lumo {

// Running means over the frames handed in, and the PSNR of the mean MSE.
class CompareSummary {
public:
    void Add(const FrameMetrics& m);
    int Frames() const { return frames_; }
    double MeanSsim() const;
    double MeanMse(int plane) const;
    double MeanPsnr(int plane) const;
    // PSNR computed from the mean MSE of the plane (999.99 when it is 0),
    // at the depth the frames were measured at.
    double PsnrOfMeanMse(int plane) const;
    int Depth() const { return depth_; }

private:
    int frames_ = 0;
    int depth_ = 8;
    double ssim_ = 0.0;
    double mse_[3] = {0.0, 0.0, 0.0};
    double psnr_[3] = {0.0, 0.0, 0.0};
};

// The CSV form of a comparison, one function per part: the header row, one
// row per frame, then the rows "mean" and "psnr_of_mean_mse". Values are
// written to round-trip; the SSIM field is empty for rows without SSIM.
// Comparisons deeper than 8 bits end every row with a "depth" column.
// Every piece ends with a newline.
std::string CompareCsvHeader(int depth = 8);
std::string CompareCsvRow(const FrameMetrics& m);
std::string CompareCsvSummary(const CompareSummary& summary, bool withSsim);
// Text of one value, round-trip by default: "nan", "inf" and "-inf" for
// those values.
std::string CompareCsvNumber(double value, int significantDigits = 17);

} // namespace lumo
