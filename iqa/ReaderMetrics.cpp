#include "iqa/ReaderMetrics.h"

#include "iqa/PsnrMse.h"
#include "iqa/RedPlane.h"
#include "iqa/Ssim.h"
#include "yuv/LumoYuvReader.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <new>

namespace lumo {
namespace {

void RedPlaneOf(const uint8_t* frame, int width, int height, int, int metricRange, uint8_t* dst)
{
    I420RedPlane(frame, width, height, metricRange, dst);
}

void RedPlaneOf(const uint16_t* frame, int width, int height, int depth, int metricRange, uint16_t* dst)
{
    I420RedPlane(frame, width, height, depth, metricRange, dst);
}

float SsimOf(const uint8_t* a, const uint8_t* b, int w, int h, int stride, int)
{
    const ssim_options options = {1.0f, 1.0f, 1.0f, 255, 0.01f, 0.03f, 1};
    return ssim_index(a, b, w, h, stride, 1, &options);
}

float SsimOf(const uint16_t* a, const uint16_t* b, int w, int h, int stride, int depth)
{
    const ssim_options options = {1.0f, 1.0f, 1.0f, (1 << depth) - 1, 0.01f, 0.03f, 1};
    return ssim_index16(a, b, w, h, stride, 1, &options);
}

// The one body of SSIM_GRAY: both red planes, then SSIM of the part inside
// the region.
template <typename Sample>
double RedPlaneSsimT(const Sample* reference, const Sample* compared, int width, int height, int depth,
                     int metricRange, const Region* region)
{
    if (!reference || !compared || width <= 0 || height <= 0)
        return std::numeric_limits<double>::quiet_NaN();
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::unique_ptr<Sample[]> redReference(new (std::nothrow) Sample[n]);
    std::unique_ptr<Sample[]> redCompared(new (std::nothrow) Sample[n]);
    if (!redReference || !redCompared)
        return std::numeric_limits<double>::infinity();
    RedPlaneOf(reference, width, height, depth, metricRange, redReference.get());
    RedPlaneOf(compared, width, height, depth, metricRange, redCompared.get());
    const Region r = region ? *region : Region{0, 0, width, height};
    const std::size_t at = static_cast<std::size_t>(r.y) * width + r.x;
    return SsimOf(redReference.get() + at, redCompared.get() + at, r.w, r.h, width, depth);
}

} // namespace

double* ComputePsnrMse(double* psnr, const uint8_t* reference, const uint8_t* compared, int width, int height,
                       double* mse)
{
    I420PsnrMse(reference, compared, width, height, psnr, mse);
    return psnr;
}

double ComputeSsimGray(const uint8_t* reference, const uint8_t* compared, int width, int height, int metricRange)
{
    return RedPlaneSsim(reference, compared, width, height, metricRange);
}

double RedPlaneSsim(const uint8_t* reference, const uint8_t* compared, int width, int height, int metricRange,
                    const Region* region)
{
    return RedPlaneSsimT(reference, compared, width, height, 8, metricRange, region);
}

double RedPlaneSsim(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth,
                    int metricRange, const Region* region)
{
    return RedPlaneSsimT(reference, compared, width, height, depth, metricRange, region);
}

// The reader's members, which the product names: they use none of the
// reader's fields.
double* LumoYuvReader::ComputePsnrMse(double* psnr, const uint8_t* ref, const uint8_t* cmp, int width, int height,
                                      double* mse) const
{
    return lumo::ComputePsnrMse(psnr, ref, cmp, width, height, mse);
}

double LumoYuvReader::ComputeSsimGray(const uint8_t* ref, const uint8_t* cmp, int width, int height,
                                      int metricRange) const
{
    return lumo::ComputeSsimGray(ref, cmp, width, height, metricRange);
}

} // namespace lumo
