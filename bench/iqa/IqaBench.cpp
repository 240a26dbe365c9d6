// Metric timings at 1080p against the straightforward implementations,
// measured in the same run:
//   iqa_bench --benchmark_filter=.  (see the report for figures)
#include "yuv/LumoYuvReader.h"
#include "iqa/PsnrMse.h"
#include "iqa/RedPlane.h"
#include "iqa/SsimCore.h"
#include "SsimOracle.h"
#include "ScenePair.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace {

using bench::Frames;
using bench::kH;
using bench::kN;
using bench::kW;
using bench::Pair;

void BM_SsimGrayFast(benchmark::State& state)
{
    const Pair& p = Frames();
    const lumo::LumoYuvReader reader;
    double ssim = 0;
    for (auto _ : state) {
        ssim = reader.ComputeSsimGray(p.ref.data(), p.cmp.data(), kW, kH, 0);
        benchmark::DoNotOptimize(ssim);
    }
    const double direct = oracle::SsimGray(p.ref.data(), p.cmp.data(), kW, kH, 0);
    const float a = static_cast<float>(ssim), b = static_cast<float>(direct);
    state.counters["ssim"] = ssim;
    state.counters["equal_bits"] = std::memcmp(&a, &b, sizeof a) == 0 ? 1 : 0;
}
BENCHMARK(BM_SsimGrayFast)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SsimGrayDirect(benchmark::State& state)
{
    const Pair& p = Frames();
    for (auto _ : state)
        benchmark::DoNotOptimize(oracle::SsimGray(p.ref.data(), p.cmp.data(), kW, kH, 0));
}
BENCHMARK(BM_SsimGrayDirect)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The core alone on the red planes: instruction-set path x threads.
void BM_SsimCore(benchmark::State& state)
{
    using lumo::iqa_detail::SimdPath;
    const auto path = static_cast<SimdPath>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    if (!lumo::iqa_detail::SimdPathAvailable(path)) {
        state.SkipWithError("path not available on this processor");
        return;
    }
    const Pair& p = Frames();
    std::vector<uint8_t> ra(kW * kH), rb(kW * kH);
    lumo::I420RedPlane(p.ref.data(), kW, kH, 0, ra.data());
    lumo::I420RedPlane(p.cmp.data(), kW, kH, 0, rb.data());
    lumo::iqa_detail::SsimParams params = {true, 1.0f, 1.0f, 1.0f, 6.5025f, 58.5225f, 29.26125f};
    for (auto _ : state)
        benchmark::DoNotOptimize(lumo::iqa_detail::SsimCoreBytes(ra.data(), rb.data(), kW, kH, kW,
                                                                 &lumo::GaussianWindow(), params, path, threads));
}
BENCHMARK(BM_SsimCore)
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->ArgNames({"path", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_RedPlanes(benchmark::State& state)
{
    const Pair& p = Frames();
    std::vector<uint8_t> ra(kW * kH), rb(kW * kH);
    for (auto _ : state) {
        lumo::I420RedPlane(p.ref.data(), kW, kH, 0, ra.data());
        lumo::I420RedPlane(p.cmp.data(), kW, kH, 0, rb.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RedPlanes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PsnrMseFast(benchmark::State& state)
{
    const Pair& p = Frames();
    const lumo::LumoYuvReader reader;
    double psnr[3], mse[3];
    for (auto _ : state) {
        reader.ComputePsnrMse(psnr, p.ref.data(), p.cmp.data(), kW, kH, mse);
        benchmark::DoNotOptimize(psnr);
    }
    double opsnr[3], omse[3];
    oracle::PsnrMse(p.ref.data(), p.cmp.data(), kW, kH, opsnr, omse);
    state.counters["psnr_y"] = psnr[0];
    state.counters["equal"] = std::memcmp(psnr, opsnr, sizeof psnr) == 0 && std::memcmp(mse, omse, sizeof mse) == 0;
}
BENCHMARK(BM_PsnrMseFast)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PsnrMseDirect(benchmark::State& state)
{
    const Pair& p = Frames();
    double psnr[3], mse[3];
    for (auto _ : state) {
        oracle::PsnrMse(p.ref.data(), p.cmp.data(), kW, kH, psnr, mse);
        benchmark::DoNotOptimize(psnr);
    }
}
BENCHMARK(BM_PsnrMseDirect)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A whole metric job: read both frames as full-size planes, convert both
// to I420, MSE/PSNR and SSIM.
void BM_MetricJob(benchmark::State& state)
{
    const Pair& p = Frames();
    const auto dir = std::filesystem::temp_directory_path() / "lumo_iqa_bench";
    std::filesystem::create_directories(dir);
    const std::string fa = (dir / "a.yuv").string(), fb = (dir / "b.yuv").string();
    std::ofstream(fa, std::ios::binary).write(reinterpret_cast<const char*>(p.ref.data()), p.ref.size());
    std::ofstream(fb, std::ios::binary).write(reinterpret_cast<const char*>(p.cmp.data()), p.cmp.size());
    const lumo::LumoYuvReader ra(fa, kW, kH, "YUV_TYPE_I420"), rb(fb, kW, kH, "YUV_TYPE_I420");
    for (auto _ : state) {
        int64_t na = 0, nb = 0;
        std::unique_ptr<uint8_t[]> pa(ra.ReadFrameYUV444(nullptr, &na, 0));
        std::unique_ptr<uint8_t[]> pb(rb.ReadFrameYUV444(nullptr, &nb, 0));
        std::unique_ptr<uint8_t[]> ia(lumo::Yuv444ToI420(pa.get(), kW, kH));
        std::unique_ptr<uint8_t[]> ib(lumo::Yuv444ToI420(pb.get(), kW, kH));
        double psnr[3], mse[3];
        lumo::LumoYuvReader().ComputePsnrMse(psnr, ia.get(), ib.get(), kW, kH, mse);
        benchmark::DoNotOptimize(lumo::LumoYuvReader().ComputeSsimGray(ia.get(), ib.get(), kW, kH, 0));
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_MetricJob)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
