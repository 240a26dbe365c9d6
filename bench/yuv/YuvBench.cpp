// 1920x1080 frames of I420, NV12, YUYV and I444: reading from a file in the
// page cache and converting in memory, with memcpy of the 6 MB result and
// libswscale's conversions as references measured in the same run. Times are
// wall-clock times, since the Auto path may use a second thread; libswscale
// runs on one, so the single-threaded Avx2, Sse2 and Plain rows are the ones
// to hold against it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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
    const char* name;
    const char* type;
};

const Layout kLayouts[] = {
    {"I420", "YUV_TYPE_I420"},
    {"NV12", "YUV_TYPE_NV12"},
    {"YUYV", "YUV_TYPE_YUYV"},
    {"I444", "YUV_TYPE_I444"},
};

// A smooth picture with some noise, like camera output.
std::vector<uint8_t> MakeRaw(const std::string& type)
{
    const int64_t size = lumo::GetFrameSize(kWidth, kHeight, type);
    std::vector<uint8_t> raw(static_cast<size_t>(size));
    std::mt19937 rng(7);
    for (int64_t i = 0; i < size; ++i)
        raw[static_cast<size_t>(i)] = static_cast<uint8_t>((i * 7 / 64 + (i % 1920) / 8 + (rng() & 15)) & 0xff);
    return raw;
}

// One frame file per layout, written once and left in the page cache.
std::string FramePath(const std::string& type)
{
    const std::string path = "/tmp/lumo_yuv_bench_" + std::to_string(::getpid()) + "_" + type + ".yuv";
    static std::vector<std::string> written;
    for (const std::string& p : written)
        if (p == path)
            return path;
    const std::vector<uint8_t> raw = MakeRaw(type);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(raw.data(), 1, raw.size(), f);
        std::fclose(f);
    }
    written.push_back(path);
    return path;
}

void RemoveFiles()
{
    for (const Layout& l : kLayouts)
        std::remove(("/tmp/lumo_yuv_bench_" + std::to_string(::getpid()) + "_" + l.type + ".yuv").c_str());
}

void SetBytes(benchmark::State& state)
{
    state.SetBytesProcessed(state.iterations() * 3 * kPixels);
}

void BM_Memcpy6MB(benchmark::State& state)
{
    std::vector<uint8_t> src(static_cast<size_t>(3 * kPixels), 1), dst(src.size(), 0);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}

void BM_ReadYuv444(benchmark::State& state, const Layout& layout, bool ownBuffer)
{
    const lumo::LumoYuvReader reader(FramePath(layout.type), kWidth, kHeight, layout.type);
    std::vector<uint8_t> dst(static_cast<size_t>(3 * kPixels));
    for (auto _ : state) {
        int64_t count = 0;
        uint8_t* out = reader.ReadFrameYUV444(ownBuffer ? nullptr : dst.data(), &count, 0);
        benchmark::DoNotOptimize(out);
        if (ownBuffer)
            delete[] out;
        if (count != 3 * kPixels)
            state.SkipWithError("read failed");
    }
    SetBytes(state);
}

void BM_ReadRgb24(benchmark::State& state, const Layout& layout)
{
    const lumo::LumoYuvReader reader(FramePath(layout.type), kWidth, kHeight, layout.type);
    std::vector<uint8_t> dst(static_cast<size_t>(3 * kPixels));
    for (auto _ : state) {
        int64_t count = 0;
        benchmark::DoNotOptimize(reader.ReadFrameRGB24(dst.data(), &count, 0));
        if (count != 3 * kPixels)
            state.SkipWithError("read failed");
    }
    SetBytes(state);
}

void BM_ConvertYuv444(benchmark::State& state, const Layout& layout, lumo::ConvertPath path)
{
    const std::vector<uint8_t> raw = MakeRaw(layout.type);
    std::vector<uint8_t> dst(static_cast<size_t>(3 * kPixels));
    for (auto _ : state) {
        lumo::ConvertRawToYuv444(raw.data(), kWidth, kHeight, layout.type, dst.data(), path);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}

void BM_ConvertRgb24(benchmark::State& state, const Layout& layout, lumo::ConvertPath path)
{
    const std::vector<uint8_t> raw = MakeRaw(layout.type);
    std::vector<uint8_t> dst(static_cast<size_t>(3 * kPixels));
    for (auto _ : state) {
        lumo::ConvertRawToRgb24(raw.data(), kWidth, kHeight, layout.type, dst.data(), path);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}

#ifdef LUMO_BENCH_SWSCALE
// Pointers and strides of a packed or planar frame of the given layout.
void FillPlanes(AVPixelFormat fmt, uint8_t* base, uint8_t* data[4], int stride[4])
{
    std::memset(data, 0, 4 * sizeof(uint8_t*));
    std::memset(stride, 0, 4 * sizeof(int));
    data[0] = base;
    switch (fmt) {
    case AV_PIX_FMT_YUV420P:
        data[1] = base + kPixels;
        data[2] = base + kPixels + kPixels / 4;
        stride[0] = kWidth;
        stride[1] = stride[2] = kWidth / 2;
        break;
    case AV_PIX_FMT_NV12:
        data[1] = base + kPixels;
        stride[0] = stride[1] = kWidth;
        break;
    case AV_PIX_FMT_YUYV422:
        stride[0] = 2 * kWidth;
        break;
    case AV_PIX_FMT_YUV444P:
        data[1] = base + kPixels;
        data[2] = base + 2 * kPixels;
        stride[0] = stride[1] = stride[2] = kWidth;
        break;
    case AV_PIX_FMT_RGB24:
        stride[0] = 3 * kWidth;
        break;
    default:
        break;
    }
}

// FFmpeg's layout of the same name as the table's.
AVPixelFormat FfmpegLayout(const Layout& layout)
{
    return av_get_pix_fmt(lumo::YuvTypeTable::Instance().Find(layout.type)->ffmpegName.c_str());
}

void BM_Swscale(benchmark::State& state, const Layout& layout, AVPixelFormat target)
{
    std::vector<uint8_t> raw = MakeRaw(layout.type);
    const AVPixelFormat source = FfmpegLayout(layout);
    std::vector<uint8_t> dst(static_cast<size_t>(3 * kPixels));
    SwsContext* ctx =
        sws_getContext(kWidth, kHeight, source, kWidth, kHeight, target, SWS_POINT, nullptr, nullptr, nullptr);
    if (!ctx) {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    uint8_t* src[4];
    uint8_t* out[4];
    int srcStride[4], outStride[4];
    FillPlanes(source, raw.data(), src, srcStride);
    FillPlanes(target, dst.data(), out, outStride);
    for (auto _ : state) {
        sws_scale(ctx, src, srcStride, 0, kHeight, out, outStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(ctx);
    SetBytes(state);
}
#endif

} // namespace

int main(int argc, char** argv)
{
    // Auto may use a second thread; the others are single-threaded.
    const struct {
        const char* name;
        lumo::ConvertPath path;
    } kPaths[] = {{"", lumo::ConvertPath::Auto},
                  {"Avx2", lumo::ConvertPath::Avx2},
                  {"Sse2", lumo::ConvertPath::Sse2},
                  {"Plain", lumo::ConvertPath::Plain}};
    benchmark::RegisterBenchmark("Memcpy6MB", BM_Memcpy6MB)->Unit(benchmark::kMicrosecond)->UseRealTime();
    for (const Layout& l : kLayouts) {
        const std::string n = l.name;
        for (const auto& p : kPaths)
            benchmark::RegisterBenchmark(("ConvertYuv444" + std::string(p.name) + "/" + n).c_str(), BM_ConvertYuv444,
                                         l, p.path)
                ->Unit(benchmark::kMicrosecond)->UseRealTime();
#ifdef LUMO_BENCH_SWSCALE
        benchmark::RegisterBenchmark(("SwscaleYuv444/" + n).c_str(), BM_Swscale, l, AV_PIX_FMT_YUV444P)
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
#endif
        benchmark::RegisterBenchmark(("ReadYuv444/" + n).c_str(), BM_ReadYuv444, l, false)
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
        benchmark::RegisterBenchmark(("ReadYuv444Alloc/" + n).c_str(), BM_ReadYuv444, l, true)
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
        for (const auto& p : kPaths)
            benchmark::RegisterBenchmark(("ConvertRgb24" + std::string(p.name) + "/" + n).c_str(), BM_ConvertRgb24, l,
                                         p.path)
                ->Unit(benchmark::kMicrosecond)->UseRealTime();
#ifdef LUMO_BENCH_SWSCALE
        benchmark::RegisterBenchmark(("SwscaleRgb24/" + n).c_str(), BM_Swscale, l, AV_PIX_FMT_RGB24)
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
#endif
        benchmark::RegisterBenchmark(("ReadRgb24/" + n).c_str(), BM_ReadRgb24, l)->Unit(benchmark::kMicrosecond)->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFiles();
    return 0;
}
