#include "media/EncodedLayout.h"

#include "yuv/YuvTypeTable.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace lumo {

namespace {

struct NamedLayout {
    AVPixelFormat format;
    const char* type;
};

// 8-bit layouts by FFmpeg format; the deeper ones come from the layout
// table's FFmpeg names.
constexpr NamedLayout kEightBit[] = {
    {AV_PIX_FMT_YUV420P, "YUV_TYPE_I420"}, {AV_PIX_FMT_YUVJ420P, "YUV_TYPE_I420"},
    {AV_PIX_FMT_NV12, "YUV_TYPE_NV12"},    {AV_PIX_FMT_NV21, "YUV_TYPE_NV21"},
    {AV_PIX_FMT_YUV422P, "YUV_TYPE_I422"}, {AV_PIX_FMT_YUVJ422P, "YUV_TYPE_I422"},
    {AV_PIX_FMT_NV16, "YUV_TYPE_NV16"},    {AV_PIX_FMT_YUYV422, "YUV_TYPE_YUYV"},
    {AV_PIX_FMT_UYVY422, "YUV_TYPE_UYVY"}, {AV_PIX_FMT_YUV444P, "YUV_TYPE_I444"},
    {AV_PIX_FMT_YUVJ444P, "YUV_TYPE_I444"}, {AV_PIX_FMT_NV24, "YUV_TYPE_NV24"},
    {AV_PIX_FMT_NV42, "YUV_TYPE_NV42"},
};

// The layout that stores `format` as FFmpeg lays it out; empty for none.
std::string OwnLayout(AVPixelFormat format, int width, int height)
{
    std::string type;
    for (const NamedLayout& l : kEightBit)
        if (l.format == format)
            type = l.type;
    if (type.empty()) {
        const YuvTypeTable& table = YuvTypeTable::Instance();
        YuvTypeInfo info;
        for (int i = 0; i < table.Count() && type.empty(); ++i)
            if (table.GetByIndex(i, info) == 0 && !info.ffmpegName.empty()
                && av_get_pix_fmt(info.ffmpegName.c_str()) == format)
                type = info.name;
    }
    // Both must agree on every byte (odd sizes included).
    if (!type.empty() && av_image_get_buffer_size(format, width, height, 1) != GetFrameSize(width, height, type))
        type.clear();
    return type;
}

struct Target {
    int depth;
    AVPixelFormat format;
    const char* type;
};
constexpr Target k420[] = {{8, AV_PIX_FMT_YUV420P, "YUV_TYPE_I420"}, {10, AV_PIX_FMT_YUV420P10LE, "YUV_TYPE_I010"},
    {12, AV_PIX_FMT_YUV420P12LE, "YUV_TYPE_I012"}, {16, AV_PIX_FMT_YUV420P16LE, "YUV_TYPE_I016"}};
constexpr Target k422[] = {{8, AV_PIX_FMT_YUV422P, "YUV_TYPE_I422"}, {10, AV_PIX_FMT_YUV422P10LE, "YUV_TYPE_I210"}};
constexpr Target k444[] = {{8, AV_PIX_FMT_YUV444P, "YUV_TYPE_I444"}, {10, AV_PIX_FMT_YUV444P10LE, "YUV_TYPE_I410"}};

// The shallowest target at least `depth` deep, else the deepest.
template <size_t N>
const Target& Deep(const Target (&list)[N], int depth)
{
    for (const Target& t : list)
        if (t.depth >= depth)
            return t;
    return list[N - 1];
}

bool IsFullRangeFormat(AVPixelFormat f)
{
    return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_YUVJ422P || f == AV_PIX_FMT_YUVJ444P
        || f == AV_PIX_FMT_YUVJ440P || f == AV_PIX_FMT_YUVJ411P;
}

} // namespace

OutputPlan PlanOutput(AVPixelFormat format, int width, int height)
{
    OutputPlan plan;
    plan.source = format;
    plan.fullRange = IsFullRangeFormat(format);
    const std::string own = OwnLayout(format, width, height);
    if (!own.empty()) {
        plan.kind = OutputPlan::Kind::Copy;
        plan.target = format;
        plan.type = own;
        return plan;
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (!desc) {
        plan.lossy = true;
        return plan;
    }
    const int depth = desc->comp[0].depth;
    const bool bigEndian = (desc->flags & AV_PIX_FMT_FLAG_BE) != 0;
    const bool alpha = (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    if ((desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) || desc->nb_components < 3) {
        if (desc->nb_components <= 2 && !(desc->flags & AV_PIX_FMT_FLAG_PAL)) {
            // Grey: luma as it is, neutral chroma.
            const Target& t = Deep(k420, depth);
            plan.target = t.format;
            plan.type = t.type;
            plan.lossy = depth > t.depth || alpha;
            plan.kind = !bigEndian && depth == t.depth && desc->comp[0].step == (t.depth > 8 ? 2 : 1)
                    && desc->nb_components == 1
                ? OutputPlan::Kind::Gray
                : OutputPlan::Kind::Scale;
            return plan;
        }
        const Target& t = Deep(k444, depth);
        plan.target = t.format;
        plan.type = t.type;
        plan.lossy = true;
        return plan;
    }
    if ((format == AV_PIX_FMT_YUV411P || format == AV_PIX_FMT_YUVJ411P)) {
        plan.kind = OutputPlan::Kind::Widen411;
        plan.target = AV_PIX_FMT_YUV444P;
        plan.type = "YUV_TYPE_I444";
        return plan;
    }
    const int cw = desc->log2_chroma_w;
    const int ch = desc->log2_chroma_h;
    const Target& t = cw == 1 && ch == 1 ? Deep(k420, depth)
        : cw == 1 && ch == 0             ? Deep(k422, depth)
        : cw >= 1 && ch >= 1             ? Deep(k420, depth)
                                         : Deep(k444, depth);
    plan.target = t.format;
    plan.type = t.type;
    plan.lossy = depth > t.depth || alpha;
    return plan;
}

FrameConverter::FrameConverter() = default;

FrameConverter::~FrameConverter()
{
    sws_freeContext(sws_);
    av_frame_free(&scaled_);
}

bool FrameConverter::Convert(const AVFrame& frame, const OutputPlan& plan, int width, int height, uint8_t* dst)
{
    const auto format = static_cast<AVPixelFormat>(frame.format);
    if (frame.width != width || frame.height != height || format != plan.source)
        return Scale(frame, plan, width, height, dst);
    const int64_t size = GetFrameSize(width, height, plan.type);
    switch (plan.kind) {
    case OutputPlan::Kind::Copy:
        return av_image_copy_to_buffer(dst, static_cast<int>(size), frame.data, frame.linesize, format, width, height, 1)
            >= 0;
    case OutputPlan::Kind::Gray: {
        const int bytes = av_pix_fmt_desc_get(plan.target)->comp[0].step;
        const int depth = av_pix_fmt_desc_get(plan.target)->comp[0].depth;
        const size_t row = static_cast<size_t>(width) * bytes;
        for (int y = 0; y < height; ++y)
            std::memcpy(dst + row * y, frame.data[0] + static_cast<ptrdiff_t>(frame.linesize[0]) * y, row);
        uint8_t* chroma = dst + row * height;
        const int64_t samples = (size - static_cast<int64_t>(row) * height) / bytes;
        const int neutral = 1 << (depth - 1);
        if (bytes == 1) {
            std::memset(chroma, neutral, static_cast<size_t>(samples));
        } else {
            for (int64_t i = 0; i < samples; ++i) {
                chroma[2 * i] = static_cast<uint8_t>(neutral & 0xFF);
                chroma[2 * i + 1] = static_cast<uint8_t>(neutral >> 8);
            }
        }
        return true;
    }
    case OutputPlan::Kind::Widen411: {
        const size_t plane = static_cast<size_t>(width) * height;
        for (int y = 0; y < height; ++y)
            std::memcpy(dst + static_cast<size_t>(width) * y, frame.data[0] + static_cast<ptrdiff_t>(frame.linesize[0]) * y,
                static_cast<size_t>(width));
        for (int p = 1; p <= 2; ++p) {
            uint8_t* out = dst + plane * p;
            for (int y = 0; y < height; ++y) {
                const uint8_t* in = frame.data[p] + static_cast<ptrdiff_t>(frame.linesize[p]) * y;
                for (int x = 0; x < width; ++x)
                    out[static_cast<size_t>(width) * y + x] = in[x >> 2];
            }
        }
        return true;
    }
    case OutputPlan::Kind::Scale:
        return Scale(frame, plan, width, height, dst);
    }
    return false;
}

bool FrameConverter::Scale(const AVFrame& frame, const OutputPlan& plan, int width, int height, uint8_t* dst)
{
    const auto format = static_cast<AVPixelFormat>(frame.format);
    sws_ = sws_getCachedContext(sws_, frame.width, frame.height, format, width, height, plan.target,
        SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!sws_)
        return false;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    const bool yuv = desc && !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) && desc->nb_components >= 3;
    const bool full = IsFullRangeFormat(format) || frame.color_range == AVCOL_RANGE_JPEG;
    // YUV keeps its range; RGB becomes video-range YUV.
    const int* table = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(sws_, table, yuv ? full : 1, table, yuv && full ? 1 : 0, 0, 1 << 16, 1 << 16);
    if (!scaled_ || scaled_->width != width || scaled_->height != height || scaled_->format != plan.target) {
        av_frame_free(&scaled_);
        scaled_ = av_frame_alloc();
        if (!scaled_)
            return false;
        scaled_->width = width;
        scaled_->height = height;
        scaled_->format = plan.target;
        if (av_frame_get_buffer(scaled_, 0) < 0) {
            av_frame_free(&scaled_);
            return false;
        }
    }
    if (sws_scale(sws_, frame.data, frame.linesize, 0, frame.height, scaled_->data, scaled_->linesize) <= 0)
        return false;
    const int64_t size = GetFrameSize(width, height, plan.type);
    return av_image_copy_to_buffer(dst, static_cast<int>(size), scaled_->data, scaled_->linesize, plan.target, width,
               height, 1)
        >= 0;
}

} // namespace lumo
