#pragma once

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
struct SwsContext;

namespace lumo {

// How frames of a decoder's pixel format become frames of a layout.
struct OutputPlan {
    enum class Kind {
        Copy,     // the format is the layout: planes copied as they are
        Gray,     // grey: luma copied, chroma neutral (4:2:0 of the same depth)
        Widen411, // 4:1:1: each chroma sample repeated four times (4:4:4)
        Scale,    // anything else: libswscale to the nearest layout
    };
    Kind kind = Kind::Scale;
    AVPixelFormat source = AV_PIX_FMT_NONE;
    AVPixelFormat target = AV_PIX_FMT_YUV420P; // FFmpeg's name of the layout
    std::string type = "YUV_TYPE_I420";
    bool lossy = false;
    bool fullRange = false; // a full-range (JPEG) YUV format
};

// The layout for frames of `format` at width x height: the format's own
// when the layout table has it, else the nearest one, keeping chroma and
// depth where a layout can hold them.
OutputPlan PlanOutput(AVPixelFormat format, int width, int height);

// Turns decoded frames into the bytes of their layout. A frame whose size
// or format differs from the plan's (a stream that changes mid-way) is
// scaled to the plan's.
class FrameConverter {
public:
    FrameConverter();
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    bool Convert(const AVFrame& frame, const OutputPlan& plan, int width, int height, uint8_t* dst);

private:
    bool Scale(const AVFrame& frame, const OutputPlan& plan, int width, int height, uint8_t* dst);

    SwsContext* sws_ = nullptr;
    AVFrame* scaled_ = nullptr;
};

} // namespace lumo
