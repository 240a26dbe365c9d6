// MSE and PSNR of a 1080p 10-bit I420 pair at native depth, beside FFmpeg's
// psnr filter run in-process through libavfilter on the same two frames in
// the same run (buffer sources -> psnr -> buffer sink; one frame pair per
// iteration, the filter's per-frame overhead included).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "iqa/PsnrMse.h"

#ifdef LUMO_BENCH_AVFILTER
extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}
#endif

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;
constexpr int64_t kN = int64_t{kW} * kH;

struct Pair {
    std::vector<uint16_t> ref;
    std::vector<uint16_t> cmp;
    Pair() : ref(static_cast<size_t>(kN + kN / 2)), cmp(ref.size())
    {
        std::mt19937 rng(5);
        for (size_t i = 0; i < ref.size(); ++i) {
            ref[i] = static_cast<uint16_t>((i * 3 + (i % kW) / 2 + (rng() & 15)) & 1023);
            cmp[i] = static_cast<uint16_t>(std::min<unsigned>(1023, ref[i] + (rng() & 7)));
        }
    }
};

const Pair& Frames()
{
    static const Pair pair;
    return pair;
}

void BM_PsnrMse10(benchmark::State& state)
{
    const Pair& p = Frames();
    double psnr[3], mse[3];
    for (auto _ : state) {
        lumo::I420PsnrMse(p.ref.data(), p.cmp.data(), kW, kH, 10, psnr, mse);
        benchmark::DoNotOptimize(psnr);
    }
    state.counters["mse_y"] = mse[0];
}
BENCHMARK(BM_PsnrMse10)->Unit(benchmark::kMicrosecond)->UseRealTime();

#ifdef LUMO_BENCH_AVFILTER
AVFrame* MakeFrame(const std::vector<uint16_t>& i420)
{
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P10LE;
    f->width = kW;
    f->height = kH;
    if (av_frame_get_buffer(f, 0) < 0)
        return nullptr;
    const uint16_t* planes[3] = {i420.data(), i420.data() + kN, i420.data() + kN + kN / 4};
    for (int p = 0; p < 3; ++p) {
        const int w = p ? kW / 2 : kW;
        const int h = p ? kH / 2 : kH;
        for (int y = 0; y < h; ++y)
            std::memcpy(f->data[p] + y * f->linesize[p], planes[p] + int64_t{y} * w, 2 * static_cast<size_t>(w));
    }
    return f;
}

void BM_FfmpegPsnrFilter10(benchmark::State& state)
{
    const Pair& p = Frames();
    AVFilterGraph* graph = avfilter_graph_alloc();
    AVFilterContext *src0 = nullptr, *src1 = nullptr, *psnr = nullptr, *sink = nullptr;
    char args[160];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", kW, kH,
                  AV_PIX_FMT_YUV420P10LE);
    const bool built =
        avfilter_graph_create_filter(&src0, avfilter_get_by_name("buffer"), "a", args, nullptr, graph) >= 0 &&
        avfilter_graph_create_filter(&src1, avfilter_get_by_name("buffer"), "b", args, nullptr, graph) >= 0 &&
        avfilter_graph_create_filter(&psnr, avfilter_get_by_name("psnr"), "psnr", nullptr, nullptr, graph) >= 0 &&
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph) >=
            0 &&
        avfilter_link(src0, 0, psnr, 0) >= 0 && avfilter_link(src1, 0, psnr, 1) >= 0 &&
        avfilter_link(psnr, 0, sink, 0) >= 0 && avfilter_graph_config(graph, nullptr) >= 0;
    AVFrame* a = MakeFrame(p.ref);
    AVFrame* b = MakeFrame(p.cmp);
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
BENCHMARK(BM_FfmpegPsnrFilter10)->Unit(benchmark::kMicrosecond)->UseRealTime();
#endif

} // namespace

BENCHMARK_MAIN();
