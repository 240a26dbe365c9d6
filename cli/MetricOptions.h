#pragma once

// --metrics and --roi of compare and rd.

#include <string>

#include "cli/RawInput.h"
#include "iqa/CompareEngine.h"

namespace lumo::cli {

struct MetricChoice {
    bool psnr = true;     // MSE and PSNR per plane
    bool ssimGray = true; // SSIM_GRAY
    ExtraMetrics extra;
    // The choice as the JSON report names it: "all" for today's default set,
    // else the metrics in column order, comma-separated.
    std::string name = "all";
};

// A comma-separated list of psnr, ssim_gray, ssim, ms_ssim, psnr_yuv, all
// (psnr and ssim_gray) and every (all five), any case; throws CliError.
MetricChoice ParseMetricList(const std::string& text);

// "X,Y,W,H" in luma samples, W and H at least 1; throws CliError. Whether it
// fits the frame is checked once the frame size is known (RequireRegionInside).
Region ParseRegion(const std::string& text);
// Throws CliError unless `region` lies wholly inside a width x height frame.
void RequireRegionInside(const Region& region, int width, int height);

// Whether the chosen metrics need SSIM's working memory.
inline bool NeedsSsimMemory(const MetricChoice& metrics)
{
    return metrics.ssimGray || metrics.extra.planeSsim || metrics.extra.msSsim;
}

// The engine settings of one run of `reference` against `compared` over
// frames first..last, with workers for `jobs` (0: one per core) within the
// memory budget. Also limits the process's thread budget to the workers and
// one helper: --jobs N runs at most N + 2 threads.
CompareEngine::Settings EngineSettings(const RawInput& reference, const RawInput& compared, int first, int last,
                                       int metricRange, const MetricChoice& metrics, const Region& region, int jobs);

} // namespace lumo::cli
