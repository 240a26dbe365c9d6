// The reader's metric members: thin entries into the quality routines.
#include "yuv/LumoYuvReader.h"

#include "iqa/PsnrMse.h"
#include "iqa/RedPlane.h"
#include "iqa/Ssim.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <new>

namespace lumo {

double* LumoYuvReader::ComputePsnrMse(double* psnr, const uint8_t* ref, const uint8_t* cmp, int width, int height,
                                      double* mse) const
{
    I420PsnrMse(ref, cmp, width, height, psnr, mse);
    return psnr;
}

double LumoYuvReader::ComputeSsimGray(const uint8_t* ref, const uint8_t* cmp, int width, int height,
                                      int colorRange) const
{
    if (!ref || !cmp || width <= 0 || height <= 0)
        return std::numeric_limits<double>::quiet_NaN();
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::unique_ptr<uint8_t[]> redRef(new (std::nothrow) uint8_t[n]);
    std::unique_ptr<uint8_t[]> redCmp(new (std::nothrow) uint8_t[n]);
    if (!redRef || !redCmp)
        return std::numeric_limits<double>::infinity();
    I420RedPlane(ref, width, height, colorRange, redRef.get());
    I420RedPlane(cmp, width, height, colorRange, redCmp.get());
    const ssim_options options = {1.0f, 1.0f, 1.0f, 255, 0.01f, 0.03f, 1};
    return ssim_index(redRef.get(), redCmp.get(), width, height, width, 1, &options);
}

} // namespace lumo
