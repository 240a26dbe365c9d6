#include "iqa/CompareCsv.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "iqa/PsnrMse.h"

namespace lumo {

void CompareSummary::Add(const FrameMetrics& m)
{
    ++frames_;
    depth_ = m.depth;
    ssim_ += m.ssim;
    for (int p = 0; p < 3; ++p) {
        mse_[p] += m.mse[p];
        psnr_[p] += m.psnr[p];
    }
}

double CompareSummary::MeanSsim() const
{
    return frames_ ? ssim_ / frames_ : std::numeric_limits<double>::quiet_NaN();
}

double CompareSummary::MeanMse(int plane) const
{
    return frames_ ? mse_[plane] / frames_ : std::numeric_limits<double>::quiet_NaN();
}

double CompareSummary::MeanPsnr(int plane) const
{
    return frames_ ? psnr_[plane] / frames_ : std::numeric_limits<double>::quiet_NaN();
}

double CompareSummary::PsnrOfMeanMse(int plane) const
{
    return PsnrFromMse(MeanMse(plane), depth_);
}

std::string CompareCsvNumber(double value, int significantDigits)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.*g", significantDigits, value);
    return buf;
}

namespace {

// The depth column of comparisons deeper than 8 bits.
std::string DepthField(int depth)
{
    return depth == 8 ? "" : "," + std::to_string(depth);
}

} // namespace

std::string CompareCsvHeader(int depth)
{
    return std::string("frame,ssim,mse_y,mse_u,mse_v,psnr_y,psnr_u,psnr_v") + (depth == 8 ? "" : ",depth") + "\n";
}

std::string CompareCsvRow(const FrameMetrics& m)
{
    std::string row = std::to_string(m.frame) + "," + (m.hasSsim ? CompareCsvNumber(m.ssim) : "");
    for (const double* values : {m.mse, m.psnr})
        for (int p = 0; p < 3; ++p)
            row += "," + CompareCsvNumber(values[p]);
    return row + DepthField(m.depth) + "\n";
}

std::string CompareCsvSummary(const CompareSummary& s, bool withSsim)
{
    std::string rows = "mean," + (withSsim ? CompareCsvNumber(s.MeanSsim()) : "");
    for (int p = 0; p < 3; ++p)
        rows += "," + CompareCsvNumber(s.MeanMse(p));
    for (int p = 0; p < 3; ++p)
        rows += "," + CompareCsvNumber(s.MeanPsnr(p));
    rows += DepthField(s.Depth()) + "\npsnr_of_mean_mse,,,,";
    for (int p = 0; p < 3; ++p)
        rows += "," + CompareCsvNumber(s.PsnrOfMeanMse(p));
    return rows + DepthField(s.Depth()) + "\n";
}

} // namespace lumo
