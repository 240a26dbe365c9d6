// SSIM of Y, U and V and MS-SSIM of Y on a 1080p I420 pair, beside today's
// SSIM_GRAY (red planes and the SSIM core) at the same thread count, and
// FFmpeg's ssim filter run in-process (8x8 blocks, far cheaper; shown for
// scale only). Compare the rows of one run:
//   codec_metrics_bench --benchmark_min_time=0.5
#include "iqa/CodecMetrics.h"
#include "iqa/RedPlane.h"
#include "iqa/SsimCore.h"
#include "ScenePair.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <vector>

#ifdef LUMO_BENCH_AVFILTER
#include "FfmpegPairFilter.h"
#endif

namespace {

// yuvlumo-cli's heap settings: frame-sized buffers reuse heap memory
// instead of fresh zeroed pages each time.
const bool kHeapSet = [] {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    return true;
}();

using bench::Frames;
using bench::kH;
using bench::kN;
using bench::kW;
using bench::Pair;

void BM_SsimGray(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    const Pair& p = Frames();
    std::vector<uint8_t> ra(kN), rb(kN);
    const lumo::iqa_detail::SsimParams params = {true, 1.0f, 1.0f, 1.0f, 6.5025f, 58.5225f, 29.26125f};
    for (auto _ : state) {
        lumo::I420RedPlane(p.ref.data(), kW, kH, 0, ra.data());
        lumo::I420RedPlane(p.cmp.data(), kW, kH, 0, rb.data());
        benchmark::DoNotOptimize(lumo::iqa_detail::SsimCoreBytes(ra.data(), rb.data(), kW, kH, kW,
                                                                 &lumo::GaussianWindow(), params,
                                                                 lumo::iqa_detail::BestSimdPath(), threads));
    }
}
BENCHMARK(BM_SsimGray)->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SsimYuv(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    const Pair& p = Frames();
    double ssim[3] = {0, 0, 0};
    for (auto _ : state) {
        ssim[0] = lumo::PlaneSsim(p.ref.data(), p.cmp.data(), kW, kH, kW, 8, threads);
        for (int c = 1; c < 3; ++c) {
            const int at = kN + (c - 1) * kN / 4;
            ssim[c] = lumo::PlaneSsim(p.ref.data() + at, p.cmp.data() + at, kW / 2, kH / 2, kW / 2, 8, threads);
        }
        benchmark::DoNotOptimize(ssim);
    }
    state.counters["ssim_y"] = ssim[0];
}
BENCHMARK(BM_SsimYuv)->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SsimY(benchmark::State& state)
{
    const Pair& p = Frames();
    for (auto _ : state)
        benchmark::DoNotOptimize(lumo::PlaneSsim(p.ref.data(), p.cmp.data(), kW, kH, kW, 8, 1));
}
BENCHMARK(BM_SsimY)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MsSsimY(benchmark::State& state)
{
    const Pair& p = Frames();
    double v = 0;
    for (auto _ : state) {
        v = lumo::PlaneMsSsim(p.ref.data(), p.cmp.data(), kW, kH, kW, 8, 1);
        benchmark::DoNotOptimize(v);
    }
    state.counters["ms_ssim_y"] = v;
}
BENCHMARK(BM_MsSsimY)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef LUMO_BENCH_AVFILTER
void BM_FfmpegSsimFilter(benchmark::State& state)
{
    const Pair& p = Frames();
    bench::RunPairFilter(state, "ssim", AV_PIX_FMT_YUV420P, kW, kH, p.ref, p.cmp);
}
BENCHMARK(BM_FfmpegSsimFilter)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

} // namespace

BENCHMARK_MAIN();
