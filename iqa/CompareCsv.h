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
    // Means of the extra metrics (NaN where a frame had no value).
    double MeanPlaneSsim(int plane) const;
    double MeanMsSsim() const;
    double MeanPsnrYuv() const;
    // YUV-PSNR of the three PsnrOfMeanMse values.
    double PsnrYuvOfMeanMse() const;

private:
    double Mean(double sum) const;
    int frames_ = 0;
    double planeSsim_[3] = {0.0, 0.0, 0.0};
    double msSsim_ = 0.0;
    double psnrYuv_ = 0.0;
    int depth_ = 8;
    double ssim_ = 0.0;
    double mse_[3] = {0.0, 0.0, 0.0};
    double psnr_[3] = {0.0, 0.0, 0.0};
};

// The CSV form of a comparison, one function per part: the header row, one
// row per frame, then the rows "mean" and "psnr_of_mean_mse". Values are
// written to round-trip; the SSIM field is empty for rows without SSIM.
// Comparisons deeper than 8 bits end every row with a "depth" column.
// The extra metrics chosen come after the MSE/PSNR columns (and before
// "depth"): ssim_y,ssim_u,ssim_v, ms_ssim_y, psnr_yuv; a value that does
// not exist is an empty field there. MSE/PSNR fields are empty when they
// were not asked for. Every piece ends with a newline.
std::string CompareCsvHeader(int depth = 8, const ExtraMetrics& extra = ExtraMetrics());
std::string CompareCsvRow(const FrameMetrics& m);
std::string CompareCsvSummary(const CompareSummary& summary, bool withSsim, bool withPsnr = true,
                              const ExtraMetrics& extra = ExtraMetrics());
// Text of one value, round-trip by default: "nan", "inf" and "-inf" for
// those values.
std::string CompareCsvNumber(double value, int significantDigits = 17);

} // namespace lumo
