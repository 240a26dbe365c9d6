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
#include "FfmpegPairFilter.h"
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
void BM_FfmpegPsnrFilter10(benchmark::State& state)
{
    const Pair& p = Frames();
    bench::RunPairFilter(state, "psnr", AV_PIX_FMT_YUV420P10LE, kW, kH, p.ref, p.cmp);
}
BENCHMARK(BM_FfmpegPsnrFilter10)->Unit(benchmark::kMicrosecond)->UseRealTime();
#endif

} // namespace

BENCHMARK_MAIN();
