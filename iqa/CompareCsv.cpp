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
        planeSsim_[p] += m.planeSsim[p];
    }
    msSsim_ += m.msSsim;
    psnrYuv_ += m.psnrYuv;
}

double CompareSummary::Mean(double sum) const
{
    return frames_ ? sum / frames_ : std::numeric_limits<double>::quiet_NaN();
}

double CompareSummary::MeanPlaneSsim(int plane) const
{
    return Mean(planeSsim_[plane]);
}

double CompareSummary::MeanMsSsim() const
{
    return Mean(msSsim_);
}

double CompareSummary::MeanPsnrYuv() const
{
    return Mean(psnrYuv_);
}

double CompareSummary::PsnrYuvOfMeanMse() const
{
    const double psnr[3] = {PsnrOfMeanMse(0), PsnrOfMeanMse(1), PsnrOfMeanMse(2)};
    return YuvPsnr(psnr);
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

// A field of today's columns: empty when its metric was not asked for.
std::string Field(bool chosen, double value)
{
    return "," + (chosen ? CompareCsvNumber(value) : std::string());
}

// A field of the extra columns: empty where the value does not exist.
std::string ExtraField(double value)
{
    return "," + (std::isnan(value) ? std::string() : CompareCsvNumber(value));
}

// The extra columns of one row, in header order.
std::string ExtraFields(const ExtraMetrics& extra, const double planeSsim[3], double msSsim, double psnrYuv)
{
    std::string fields;
    for (int p = 0; p < 3 && extra.planeSsim; ++p)
        fields += ExtraField(planeSsim[p]);
    if (extra.msSsim)
        fields += ExtraField(msSsim);
    if (extra.psnrYuv)
        fields += ExtraField(psnrYuv);
    return fields;
}

} // namespace

std::string CompareCsvHeader(int depth, const ExtraMetrics& extra)
{
    return std::string("frame,ssim,mse_y,mse_u,mse_v,psnr_y,psnr_u,psnr_v") +
           (extra.planeSsim ? ",ssim_y,ssim_u,ssim_v" : "") + (extra.msSsim ? ",ms_ssim_y" : "") +
           (extra.psnrYuv ? ",psnr_yuv" : "") + (depth == 8 ? "" : ",depth") + "\n";
}

std::string CompareCsvRow(const FrameMetrics& m)
{
    std::string row = std::to_string(m.frame) + "," + (m.hasSsim ? CompareCsvNumber(m.ssim) : "");
    for (const double* values : {m.mse, m.psnr})
        for (int p = 0; p < 3; ++p)
            row += Field(m.hasPsnr, values[p]);
    return row + ExtraFields(m.extra, m.planeSsim, m.msSsim, m.psnrYuv) + DepthField(m.depth) + "\n";
}

std::string CompareCsvSummary(const CompareSummary& s, bool withSsim, bool withPsnr, const ExtraMetrics& extra)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::string rows = "mean," + (withSsim ? CompareCsvNumber(s.MeanSsim()) : "");
    for (int p = 0; p < 3; ++p)
        rows += Field(withPsnr, s.MeanMse(p));
    for (int p = 0; p < 3; ++p)
        rows += Field(withPsnr, s.MeanPsnr(p));
    const double meanSsim[3] = {s.MeanPlaneSsim(0), s.MeanPlaneSsim(1), s.MeanPlaneSsim(2)};
    rows += ExtraFields(extra, meanSsim, s.MeanMsSsim(), s.MeanPsnrYuv());
    rows += DepthField(s.Depth()) + "\npsnr_of_mean_mse,,,,";
    for (int p = 0; p < 3; ++p)
        rows += Field(withPsnr, s.PsnrOfMeanMse(p));
    const double none[3] = {nan, nan, nan};
    rows += ExtraFields(extra, none, nan, s.PsnrYuvOfMeanMse());
    return rows + DepthField(s.Depth()) + "\n";
}

} // namespace lumo
