// 1920x1080 frames of the 10-bit layouts I010 and P010: reading from a file
// in the page cache to native planar 4:4:4 and to 8-bit planes (keeping the
// frame as stored too, or not), and the
// conversions alone, with memcpy of the frame's bytes and libswscale doing
// the same conversions as references measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "yuv/LumoYuvReader.h"
#include "yuv/YuvConvert.h"
#include "yuv/YuvTypeTable.h"

#ifdef LUMO_BENCH_SWSCALE
extern "C" {
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#endif

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int64_t kPixels = int64_t{kWidth} * kHeight;

struct Layout {
    const char* label;
    const char* type;
    int shift; // where the 10 bits sit in the word, from the table
};

Layout Described(const char* label, const char* type)
{
    return {label, type, lumo::YuvTypeTable::Instance().Find(type)->bitShift};
}

const Layout kLayouts[] = {Described("I010", "YUV_TYPE_I010"), Described("P010", "YUV_TYPE_P010")};

// A smooth picture with some noise, 10-bit samples in their words.
std::vector<uint8_t> MakeRaw(const Layout& layout)
{
    const int64_t samples = lumo::GetFrameSize(kWidth, kHeight, layout.type) / 2;
    std::vector<uint8_t> raw(static_cast<size_t>(2 * samples));
    std::mt19937 rng(7);
    for (int64_t i = 0; i < samples; ++i) {
        const unsigned v = ((i * 7 / 16 + (i % 1920) * 2 + (rng() & 63)) & 1023) << layout.shift;
        raw[static_cast<size_t>(2 * i)] = static_cast<uint8_t>(v);
        raw[static_cast<size_t>(2 * i + 1)] = static_cast<uint8_t>(v >> 8);
    }
    return raw;
}

std::string FramePath(const Layout& layout)
{
    return "/tmp/lumo_highbit_bench_" + std::to_string(::getpid()) + "_" + layout.label + ".yuv";
}

void WriteFiles()
{
    for (const Layout& l : kLayouts) {
        const std::vector<uint8_t> raw = MakeRaw(l);
        FILE* f = std::fopen(FramePath(l).c_str(), "wb");
        if (f) {
            std::fwrite(raw.data(), 1, raw.size(), f);
            std::fclose(f);
        }
    }
}

void RemoveFiles()
{
    for (const Layout& l : kLayouts)
        std::remove(FramePath(l).c_str());
}

// Bytes of the frame as stored: what the memcpy reference copies.
int64_t FrameBytes()
{
    return lumo::GetFrameSize(kWidth, kHeight, "YUV_TYPE_I010");
}

void BM_MemcpyFrame(benchmark::State& state)
{
    std::vector<uint8_t> src(static_cast<size_t>(FrameBytes()), 1), dst(src.size(), 0);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * FrameBytes());
}

void BM_ReadNative(benchmark::State& state, const Layout& layout)
{
    const lumo::LumoYuvReader reader(FramePath(layout), kWidth, kHeight, layout.type);
    std::vector<uint16_t> dst(static_cast<size_t>(3 * kPixels));
    for (auto _ : state) {
        int64_t count = 0;
        benchmark::DoNotOptimize(reader.ReadFrameYUV444Native(dst.data(), &count, 0));
        if (count != 6 * kPixels)
            state.SkipWithError("read failed");
    }
    state.SetBytesProcessed(state.iterations() * FrameBytes());
}

void BM_Read8(benchmark::State& state, const Layout& layout)
{
    const lumo::LumoYuvReader reader(FramePath(layout), kWidth, kHeight, layout.type);
    std::vector<uint8_t> dst(static_cast<size_t>(3 * kPixels));
    for (auto _ : state) {
        int64_t count = 0;
        benchmark::DoNotOptimize(reader.ReadFrameYUV444(dst.data(), &count, 0));
        if (count != 3 * kPixels)
            state.SkipWithError("read failed");
    }
    state.SetBytesProcessed(state.iterations() * FrameBytes());
}

// Read8 that keeps the frame as stored too (the view of a deep file, for
// its pixel inspector).
void BM_Read8AndRaw(benchmark::State& state, const Layout& layout)
{
    const lumo::LumoYuvReader reader(FramePath(layout), kWidth, kHeight, layout.type);
    std::vector<uint8_t> dst(static_cast<size_t>(3 * kPixels));
    std::vector<uint8_t> raw(static_cast<size_t>(FrameBytes()));
    for (auto _ : state) {
        int64_t count = 0;
        benchmark::DoNotOptimize(reader.ReadFrameYUV444AndRaw(dst.data(), raw.data(), &count, 0));
        if (count != 3 * kPixels)
            state.SkipWithError("read failed");
    }
    state.SetBytesProcessed(state.iterations() * FrameBytes());
}

void BM_ConvertNative(benchmark::State& state, const Layout& layout, lumo::ConvertPath path)
{
    const std::vector<uint8_t> raw = MakeRaw(layout);
    std::vector<uint16_t> dst(static_cast<size_t>(3 * kPixels));
    for (auto _ : state) {
        lumo::ConvertRawToYuv444Native(raw.data(), kWidth, kHeight, layout.type, dst.data(), path);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * FrameBytes());
}

void BM_Convert8(benchmark::State& state, const Layout& layout, lumo::ConvertPath path)
{
    const std::vector<uint8_t> raw = MakeRaw(layout);
    std::vector<uint8_t> dst(static_cast<size_t>(3 * kPixels));
    for (auto _ : state) {
        lumo::ConvertRawToYuv444(raw.data(), kWidth, kHeight, layout.type, dst.data(), path);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * FrameBytes());
}

#ifdef LUMO_BENCH_SWSCALE
// libswscale from the raw frame in memory to planar 4:4:4 of `target`,
// nearest-sample chroma as the reader does.
void BM_Swscale(benchmark::State& state, const Layout& layout, AVPixelFormat target)
{
    std::vector<uint8_t> raw = MakeRaw(layout);
    const int outSample = target == AV_PIX_FMT_YUV444P ? 1 : 2;
    std::vector<uint8_t> dst(static_cast<size_t>(3 * kPixels * outSample));
    const AVPixelFormat source = av_get_pix_fmt(lumo::YuvTypeTable::Instance().Find(layout.type)->ffmpegName.c_str());
    SwsContext* ctx =
        sws_getContext(kWidth, kHeight, source, kWidth, kHeight, target, SWS_POINT, nullptr, nullptr, nullptr);
    if (!ctx) {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    uint8_t* base = raw.data();
    const uint8_t* src[4] = {base, base + 2 * kPixels, base + 2 * kPixels + kPixels / 2, nullptr};
    int srcStride[4] = {2 * kWidth, kWidth, kWidth, 0};
    if (layout.shift) {
        src[2] = nullptr;
        srcStride[1] = 2 * kWidth;
        srcStride[2] = 0;
    }
    uint8_t* out[4] = {dst.data(), dst.data() + kPixels * outSample, dst.data() + 2 * kPixels * outSample, nullptr};
    const int outStride[4] = {kWidth * outSample, kWidth * outSample, kWidth * outSample, 0};
    for (auto _ : state) {
        sws_scale(ctx, src, srcStride, 0, kHeight, out, outStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(ctx);
    state.SetBytesProcessed(state.iterations() * FrameBytes());
}
#endif

} // namespace

int main(int argc, char** argv)
{
    WriteFiles();
    const struct {
        const char* name;
        lumo::ConvertPath path;
    } kPaths[] = {{"Avx2", lumo::ConvertPath::Avx2}, {"Sse2", lumo::ConvertPath::Sse2}, {"Plain", lumo::ConvertPath::Plain}};
    benchmark::RegisterBenchmark("MemcpyFrame", BM_MemcpyFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();
    for (const Layout& l : kLayouts) {
        const std::string n = l.label;
        benchmark::RegisterBenchmark(("ReadNative/" + n).c_str(), BM_ReadNative, l)
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
        benchmark::RegisterBenchmark(("Read8/" + n).c_str(), BM_Read8, l)->Unit(benchmark::kMicrosecond)->UseRealTime();
        benchmark::RegisterBenchmark(("Read8AndRaw/" + n).c_str(), BM_Read8AndRaw, l)
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
        for (const auto& p : kPaths) {
            benchmark::RegisterBenchmark(("ConvertNative" + std::string(p.name) + "/" + n).c_str(), BM_ConvertNative,
                                         l, p.path)
                ->Unit(benchmark::kMicrosecond)->UseRealTime();
            benchmark::RegisterBenchmark(("Convert8" + std::string(p.name) + "/" + n).c_str(), BM_Convert8, l,
                                         p.path)
                ->Unit(benchmark::kMicrosecond)->UseRealTime();
        }
#ifdef LUMO_BENCH_SWSCALE
        benchmark::RegisterBenchmark(("SwscaleTo444p/" + n).c_str(), BM_Swscale, l, AV_PIX_FMT_YUV444P)
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
        benchmark::RegisterBenchmark(("SwscaleTo444p10/" + n).c_str(), BM_Swscale, l, AV_PIX_FMT_YUV444P10LE)
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
#endif
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFiles();
    return 0;
}
