#include "iqa/FramePair.h"

#include "iqa/PsnrMse.h"
#include "iqa/ReaderMetrics.h"
#include "yuv/Threads.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/YuvConvert.h"
#include "yuv/YuvTypeTable.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <utility>

namespace lumo {
namespace {

double SsimGray(const uint8_t* reference, const uint8_t* compared, int width, int height, int, int metricRange,
                const Region* region)
{
    return RedPlaneSsim(reference, compared, width, height, metricRange, region);
}

double SsimGray(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth, int metricRange,
                const Region* region)
{
    return RedPlaneSsim(reference, compared, width, height, depth, metricRange, region);
}

// The part of one plane of an I420 frame a region covers.
struct PlaneRect {
    std::size_t offset;
    int w;
    int h;
    int stride;
};

// The samples of a w x h plane, subsampled by sx x sy, that the luma
// rectangle `r` covers.
PlaneRect CoveredRect(const Region& r, int sx, int sy, int w, int h, int stride)
{
    int cx = 0, cy = 0;
    const int cw = CoveredSpan(r.x, r.w, sx, w, cx);
    const int ch = CoveredSpan(r.y, r.h, sy, h, cy);
    return {static_cast<std::size_t>(cy) * static_cast<std::size_t>(stride) + cx, cw, ch, stride};
}

Region WholeOr(const Region& region, int width, int height)
{
    return region.w > 0 ? region : Region{0, 0, width, height};
}

// Y, U and V of a width x height I420 frame cut to `region` (zero width:
// the whole frame); chroma takes the samples the region covers.
void I420Rects(int width, int height, const Region& region, PlaneRect rects[3])
{
    const Region r = WholeOr(region, width, height);
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    rects[0] = CoveredRect(r, 1, 1, width, height, width);
    const int cw = (width + 1) / 2;
    const int ch = (height + 1) / 2;
    const std::size_t chromaSamples = static_cast<std::size_t>(cw) * static_cast<std::size_t>(ch);
    for (int p = 1; p < 3; ++p) {
        rects[p] = CoveredRect(r, 2, 2, cw, ch, cw);
        rects[p].offset += p == 1 ? n : n + chromaSamples;
    }
}

// U and V of both frames at the pair's stored chroma resolution, when that
// is finer than I420's: planes of w x h samples, rows `stride` apart, one
// per sx x sy block of luma.
template <typename Sample>
struct StoredChroma {
    const Sample* reference[2] = {nullptr, nullptr};
    const Sample* compared[2] = {nullptr, nullptr};
    int w = 0;
    int h = 0;
    int stride = 0;
    int sx = 2;
    int sy = 2;
};

// SSIM of U and V take `chroma` when given, the I420 chroma otherwise.
template <typename Sample>
bool ExtrasT(const Sample* reference, const Sample* compared, int width, int height, int depth, const Region& region,
             const ExtraMetrics& extra, FrameMetrics& out, const StoredChroma<Sample>* chroma = nullptr)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    out.extra = extra;
    out.planeSsim[0] = out.planeSsim[1] = out.planeSsim[2] = nan;
    out.msSsim = nan;
    out.psnrYuv = extra.psnrYuv ? YuvPsnr(out.psnr) : nan;
    if (!reference || !compared || width <= 0 || height <= 0)
        return true;
    PlaneRect rects[3];
    I420Rects(width, height, region, rects);
    bool ok = true;
    for (int p = 0; p < 3 && extra.planeSsim; ++p) {
        const Sample* a = reference;
        const Sample* b = compared;
        PlaneRect r = rects[p];
        if (p > 0 && chroma) {
            a = chroma->reference[p - 1];
            b = chroma->compared[p - 1];
            r = CoveredRect(WholeOr(region, width, height), chroma->sx, chroma->sy, chroma->w, chroma->h,
                            chroma->stride);
        }
        out.planeSsim[p] = PlaneSsim(a + r.offset, b + r.offset, r.w, r.h, r.stride, depth);
        ok = ok && !MetricNotComputed(out.planeSsim[p]);
    }
    if (extra.msSsim) {
        const PlaneRect& r = rects[0];
        out.msSsim = PlaneMsSsim(reference + r.offset, compared + r.offset, r.w, r.h, r.stride, depth);
        ok = ok && !MetricNotComputed(out.msSsim);
    }
    return ok;
}

template <typename Sample>
void RegionPsnrMse(const Sample* reference, const Sample* compared, const PlaneRect rects[3], int depth, FrameMetrics& out)
{
    for (int p = 0; p < 3; ++p) {
        const PlaneRect& r = rects[p];
        uint64_t sse = 0;
        for (int y = 0; y < r.h; ++y) {
            const std::size_t at = r.offset + static_cast<std::size_t>(y) * r.stride;
            sse += SumSquaredDiff(reference + at, compared + at, static_cast<std::size_t>(r.w));
        }
        out.mse[p] = static_cast<double>(sse) / (static_cast<double>(r.w) * r.h);
        out.psnr[p] = PsnrFromMse(out.mse[p], depth);
    }
}

template <typename Sample>
bool RegionT(const Sample* reference, const Sample* compared, int width, int height, int depth, const Region& region,
             int metricRange, bool withSsim, FrameMetrics& out)
{
    out.depth = depth;
    out.hasSsim = withSsim;
    out.ssim = 0.0;
    if (!reference || !compared || !RegionInside(region, width, height)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (int p = 0; p < 3; ++p)
            out.mse[p] = out.psnr[p] = nan;
        out.ssim = withSsim ? nan : 0.0;
        return true;
    }
    PlaneRect rects[3];
    I420Rects(width, height, region, rects);
    RegionPsnrMse(reference, compared, rects, depth, out);
    if (!withSsim)
        return true;
    out.ssim = SsimGray(reference, compared, width, height, depth, metricRange, &region);
    return !MetricNotComputed(out.ssim);
}

// The whole-frame measurement: the 8-bit one knows its depth.
bool MeasureWhole(const uint8_t* a, const uint8_t* b, int width, int height, int, int metricRange, bool withSsim,
                  FrameMetrics& out)
{
    return MeasureI420Pair(a, b, width, height, metricRange, withSsim, out);
}

bool MeasureWhole(const uint16_t* a, const uint16_t* b, int width, int height, int depth, int metricRange,
                  bool withSsim, FrameMetrics& out)
{
    return MeasureI420Pair(a, b, width, height, depth, metricRange, withSsim, out);
}

// Full-size planes of a stored frame, 8-bit or at native depth. Conversion
// stays on the calling thread (it runs inside workers).
bool ToPlanes(const uint8_t* raw, int width, int height, const std::string& type, uint8_t* planes)
{
    return ConvertRawToYuv444(raw, width, height, type, planes, ConvertPath::Best);
}

bool ToPlanes(const uint8_t* raw, int width, int height, const std::string& type, uint16_t* planes)
{
    return ConvertRawToYuv444Native(raw, width, height, type, planes, ConvertPath::Best);
}

// How the pair's U and V reach per-plane SSIM: at the chroma resolution
// both layouts store (per direction the coarser of the two), or, for
// 4:2:0, as the I420 chroma.
struct ChromaPlan {
    bool stored = false; // keep the full-size planes for it
    int sx = 2;
    int sy = 2;
};

ChromaPlan PlanChroma(const FrameSource& reference, const FrameSource& compared, const PairOptions& o)
{
    ChromaPlan plan;
    plan.sx = plan.sy = 1;
    for (const FrameSource* source : {&reference, &compared}) {
        const YuvTypeInfo* info = YuvTypeTable::Instance().Find(source->Type());
        const YuvChroma chroma = info ? info->chroma : YuvChroma::C420;
        if (chroma != YuvChroma::C444)
            plan.sx = 2;
        if (chroma == YuvChroma::C420)
            plan.sy = 2;
    }
    plan.stored = o.extra.planeSsim && (plan.sx == 1 || plan.sy == 1);
    return plan;
}

// Full-size U and V repeat each stored sample over its sx x sy block: keeps
// the top-left one of each block, packed in place, rows ceil(w/sx) apart.
template <typename Sample>
void PackChroma(Sample* planes, int width, int height, int sx, int sy)
{
    if (sx == 1 && sy == 1)
        return;
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const int cw = (width + sx - 1) / sx;
    const int ch = (height + sy - 1) / sy;
    for (int p = 1; p < 3; ++p) {
        Sample* plane = planes + p * n;
        for (int y = 0; y < ch; ++y) {
            const Sample* from = plane + static_cast<std::size_t>(y) * sy * width;
            Sample* to = plane + static_cast<std::size_t>(y) * cw;
            for (int x = 0; x < cw; ++x)
                to[x] = from[static_cast<std::size_t>(x) * sx];
        }
    }
}

// One side of the pair: its I420 frame, and its planes when the plan keeps
// them.
template <typename Sample>
struct PairFrame {
    std::unique_ptr<Sample[]> i420;
    std::unique_ptr<Sample[]> planes;
};

// Turns full-size planes into the side's frame; false when memory runs out.
template <typename Sample>
bool ToPairFrame(std::unique_ptr<Sample[]> planes, int width, int height, const ChromaPlan& plan,
                 PairFrame<Sample>& side)
{
    side.i420.reset(Yuv444ToI420(planes.get(), width, height));
    if (!side.i420)
        return false;
    if (plan.stored) {
        PackChroma(planes.get(), width, height, plan.sx, plan.sy);
        side.planes = std::move(planes);
    }
    return true;
}

template <typename Sample>
StoredChroma<Sample> ChromaOf(const PairFrame<Sample>& a, const PairFrame<Sample>& b, int width, int height,
                              const ChromaPlan& plan)
{
    StoredChroma<Sample> c;
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (int p = 0; p < 2; ++p) {
        c.reference[p] = a.planes.get() + (p + 1) * n;
        c.compared[p] = b.planes.get() + (p + 1) * n;
    }
    c.sx = plan.sx;
    c.sy = plan.sy;
    c.w = (width + plan.sx - 1) / plan.sx;
    c.h = (height + plan.sy - 1) / plan.sy;
    c.stride = c.w;
    return c;
}


bool Failed(std::string& error, const std::string& text)
{
    error = text;
    return false;
}

// SSIM is the one metric that needs memory of its own.
bool NotComputed(int frame, std::string& error, const char* metric = "SSIM_GRAY")
{
    return Failed(error, std::string("cannot compute ") + metric + " of frame " + std::to_string(frame) +
                             ": out of memory");
}

std::string ProblemText(PairProblem problem, const FrameSource& reference, const FrameSource& compared)
{
    if (problem == PairProblem::DepthDiffers)
        return "A is " + std::to_string(reference.BitDepth()) + "-bit and B is " +
               std::to_string(compared.BitDepth()) + "-bit: files of different depths are not compared";
    return "A is " + std::to_string(reference.Width()) + "x" + std::to_string(reference.Height()) + " and B is " +
           std::to_string(compared.Width()) + "x" + std::to_string(compared.Height()) +
           ": files of different sizes are not compared";
}

template <typename Sample>
bool MeasureI420T(const PairFrame<Sample>& a, const PairFrame<Sample>& b, int width, int height, int frame,
                  int depth, const PairOptions& o, const ChromaPlan& plan, FrameMetrics& out, std::string& error,
                  const CancelToken* cancel)
{
    if (IsCancelled(cancel))
        return Failed(error, "cancelled");
    const int range = static_cast<int>(o.range);
    const CancelScope scope(cancel);
    const Sample* ra = a.i420.get();
    const Sample* rb = b.i420.get();
    const bool measured = o.region.w > 0 ? RegionT(ra, rb, width, height, depth, o.region, range, o.withSsim, out)
                                         : MeasureWhole(ra, rb, width, height, depth, range, o.withSsim, out);
    if (IsCancelled(cancel))
        return Failed(error, "cancelled");
    if (!measured)
        return NotComputed(frame, error);
    out.hasPsnr = o.withPsnr;
    if (!o.extra.Any())
        return true;
    StoredChroma<Sample> chroma;
    if (plan.stored)
        chroma = ChromaOf(a, b, width, height, plan);
    if (!ExtrasT(ra, rb, width, height, depth, o.region, o.extra, out, plan.stored ? &chroma : nullptr))
        return IsCancelled(cancel) ? Failed(error, "cancelled") : NotComputed(frame, error, "SSIM");
    return true;
}

// One side of the pair from a frame as stored.
template <typename Sample>
bool ConvertOrFail(const FrameSource& source, const uint8_t* raw, int frame, const char* which,
                   const ChromaPlan& plan, PairFrame<Sample>& side, std::string& error)
{
    const int w = source.Width(), h = source.Height();
    std::unique_ptr<Sample[]> planes(new (std::nothrow) Sample[3 * static_cast<std::size_t>(w) * h]);
    if (planes && ToPlanes(raw, w, h, source.Type(), planes.get()) &&
        ToPairFrame(std::move(planes), w, h, plan, side))
        return true;
    error = "out of memory converting frame " + std::to_string(frame) + " of " + which;
    return false;
}

template <typename Sample>
bool MeasureStoredT(const FrameSource& reference, const uint8_t* referenceRaw, const FrameSource& compared,
                    const uint8_t* comparedRaw, int frame, const PairOptions& o, FrameMetrics& out,
                    std::string& error, const CancelToken* cancel)
{
    const ChromaPlan plan = PlanChroma(reference, compared, o);
    PairFrame<Sample> a, b;
    if (!ConvertOrFail(reference, referenceRaw, frame, "A", plan, a, error) ||
        !ConvertOrFail(compared, comparedRaw, frame, "B", plan, b, error))
        return false;
    return MeasureI420T(a, b, reference.Width(), reference.Height(), frame, reference.BitDepth(), o, plan, out,
                        error, cancel);
}

// Reads one side of the pair as full-size planes and turns it into I420.
template <typename Sample>
bool ReadSide(FrameSource& source, int frame, const char* which, const ChromaPlan& plan, PairFrame<Sample>& side,
              std::string& error, const CancelToken* cancel)
{
    const int w = source.Width(), h = source.Height();
    std::unique_ptr<Sample[]> planes(w > 0 && h > 0 ? new (std::nothrow) Sample[3 * static_cast<std::size_t>(w) * h]
                                                    : nullptr);
    if (!planes || !source.ReadPlanes(frame, planes.get(), cancel)) {
        error = IsCancelled(cancel) ? std::string("cancelled")
                                    : "cannot read frame " + std::to_string(frame) + " of " + which + " (" +
                                          source.Path() + ")";
        return false;
    }
    if (ToPairFrame(std::move(planes), w, h, plan, side))
        return true;
    error = "out of memory converting frame " + std::to_string(frame) + " of " + which;
    return false;
}

template <typename Sample>
bool CompareT(FrameSource& reference, int referenceFrame, FrameSource& compared, int comparedFrame,
              const PairOptions& o, FrameMetrics& out, std::string& error, const CancelToken* cancel)
{
    const ChromaPlan plan = PlanChroma(reference, compared, o);
    PairFrame<Sample> a, b;
    if (!ReadSide(reference, referenceFrame, "A", plan, a, error, cancel) ||
        !ReadSide(compared, comparedFrame, "B", plan, b, error, cancel))
        return false;
    return MeasureI420T(a, b, reference.Width(), reference.Height(), referenceFrame, reference.BitDepth(), o, plan,
                        out, error, cancel);
}


} // namespace

bool MeasureI420Pair(const uint8_t* reference, const uint8_t* compared, int width, int height, int metricRange, bool withSsim,
                     FrameMetrics& out)
{
    ComputePsnrMse(out.psnr, reference, compared, width, height, out.mse);
    out.hasSsim = withSsim;
    out.ssim = withSsim ? ComputeSsimGray(reference, compared, width, height, metricRange) : 0.0;
    return !MetricNotComputed(out.ssim);
}

bool MeasureI420Pair(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth, int metricRange,
                     bool withSsim, FrameMetrics& out)
{
    out.depth = depth;
    I420PsnrMse(reference, compared, width, height, depth, out.psnr, out.mse);
    out.hasSsim = withSsim;
    out.ssim = withSsim ? RedPlaneSsim(reference, compared, width, height, depth, metricRange) : 0.0;
    return !MetricNotComputed(out.ssim);
}

bool MeasureI420Extras(const uint8_t* reference, const uint8_t* compared, int width, int height, const Region& region,
                       const ExtraMetrics& extra, FrameMetrics& out)
{
    return ExtrasT(reference, compared, width, height, 8, region, extra, out);
}

bool MeasureI420Extras(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth,
                       const Region& region, const ExtraMetrics& extra, FrameMetrics& out)
{
    return ExtrasT(reference, compared, width, height, depth, region, extra, out);
}

bool MeasureI420Region(const uint8_t* reference, const uint8_t* compared, int width, int height, const Region& region,
                       int metricRange, bool withSsim, FrameMetrics& out)
{
    return RegionT(reference, compared, width, height, 8, region, metricRange, withSsim, out);
}

bool MeasureI420Region(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth,
                       const Region& region, int metricRange, bool withSsim, FrameMetrics& out)
{
    return RegionT(reference, compared, width, height, depth, region, metricRange, withSsim, out);
}

PairProblem CheckComparable(int referenceWidth, int referenceHeight, int referenceDepth, int comparedWidth,
                            int comparedHeight, int comparedDepth)
{
    if (referenceWidth != comparedWidth || referenceHeight != comparedHeight)
        return PairProblem::SizeDiffers;
    return referenceDepth == comparedDepth ? PairProblem::None : PairProblem::DepthDiffers;
}

PairProblem CheckComparable(const FrameSource& reference, const FrameSource& compared)
{
    return CheckComparable(reference.Width(), reference.Height(), reference.BitDepth(), compared.Width(),
                           compared.Height(), compared.BitDepth());
}

bool MeasureStoredPair(const FrameSource& reference, const uint8_t* referenceRaw, const FrameSource& compared,
                       const uint8_t* comparedRaw, int frame, const PairOptions& options, FrameMetrics& out,
                       std::string& error, const CancelToken* cancel)
{
    const PairProblem problem = CheckComparable(reference, compared);
    if (problem != PairProblem::None)
        return Failed(error, ProblemText(problem, reference, compared));
    if (!referenceRaw || !comparedRaw)
        return Failed(error, "no frame to compare");
    out = FrameMetrics();
    out.frame = frame;
    return reference.BitDepth() == 8
        ? MeasureStoredT<uint8_t>(reference, referenceRaw, compared, comparedRaw, frame, options, out, error, cancel)
        : MeasureStoredT<uint16_t>(reference, referenceRaw, compared, comparedRaw, frame, options, out, error,
                                   cancel);
}

bool CompareFramePair(FrameSource& reference, int referenceFrame, FrameSource& compared, int comparedFrame,
                      const PairOptions& options, FrameMetrics& out, std::string& error, const CancelToken* cancel)
{
    const PairProblem problem = CheckComparable(reference, compared);
    if (problem != PairProblem::None)
        return Failed(error, ProblemText(problem, reference, compared));
    out = FrameMetrics();
    out.frame = referenceFrame;
    return reference.BitDepth() == 8
        ? CompareT<uint8_t>(reference, referenceFrame, compared, comparedFrame, options, out, error, cancel)
        : CompareT<uint16_t>(reference, referenceFrame, compared, comparedFrame, options, out, error, cancel);
}

} // namespace lumo
