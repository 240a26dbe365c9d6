#pragma once

// FFmpeg's two-input metric filters (psnr, ssim) run in-process through
// libavfilter on one frame pair per iteration, the filter's per-frame
// overhead included: buffer sources -> filter -> buffer sink.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace bench {

// An I420 frame of w x h samples (bytes or 16-bit words) as an AVFrame.
template <typename Sample>
AVFrame* MakeI420Frame(const std::vector<Sample>& i420, AVPixelFormat format, int w, int h)
{
    AVFrame* f = av_frame_alloc();
    f->format = format;
    f->width = w;
    f->height = h;
    if (av_frame_get_buffer(f, 0) < 0) {
        av_frame_free(&f);
        return nullptr;
    }
    const int64_t n = int64_t{w} * h;
    const Sample* planes[3] = {i420.data(), i420.data() + n, i420.data() + n + n / 4};
    for (int p = 0; p < 3; ++p) {
        const int pw = p ? w / 2 : w;
        for (int y = 0; y < (p ? h / 2 : h); ++y)
            std::memcpy(f->data[p] + y * f->linesize[p], planes[p] + int64_t{y} * pw, sizeof(Sample) * pw);
    }
    return f;
}

template <typename Sample>
void RunPairFilter(benchmark::State& state, const char* filter, AVPixelFormat format, int w, int h,
                   const std::vector<Sample>& ref, const std::vector<Sample>& cmp)
{
    AVFilterGraph* graph = avfilter_graph_alloc();
    AVFilterContext *src0 = nullptr, *src1 = nullptr, *metric = nullptr, *sink = nullptr;
    char args[160];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", w, h, format);
    const bool built =
        avfilter_graph_create_filter(&src0, avfilter_get_by_name("buffer"), "a", args, nullptr, graph) >= 0 &&
        avfilter_graph_create_filter(&src1, avfilter_get_by_name("buffer"), "b", args, nullptr, graph) >= 0 &&
        avfilter_graph_create_filter(&metric, avfilter_get_by_name(filter), filter, nullptr, nullptr, graph) >= 0 &&
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph) >=
            0 &&
        avfilter_link(src0, 0, metric, 0) >= 0 && avfilter_link(src1, 0, metric, 1) >= 0 &&
        avfilter_link(metric, 0, sink, 0) >= 0 && avfilter_graph_config(graph, nullptr) >= 0;
    AVFrame* a = MakeI420Frame(ref, format, w, h);
    AVFrame* b = MakeI420Frame(cmp, format, w, h);
    AVFrame* out = av_frame_alloc();
    if (!built || !a || !b) {
        state.SkipWithError("filter graph failed");
    } else {
        int64_t pts = 0;
        for (auto _ : state) {
            a->pts = b->pts = pts++;
            if (av_buffersrc_add_frame_flags(src0, a, AV_BUFFERSRC_FLAG_KEEP_REF) < 0 ||
                av_buffersrc_add_frame_flags(src1, b, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
                state.SkipWithError("adding frames failed");
                break;
            }
            while (av_buffersink_get_frame(sink, out) >= 0)
                av_frame_unref(out);
        }
    }
    av_frame_free(&a);
    av_frame_free(&b);
    av_frame_free(&out);
    avfilter_graph_free(&graph);
}

} // namespace bench
