// Reading 1080p frames from a Y4M file against reading the same frames from
// a raw file in the same run: the Y4M file with plain FRAME headers (its
// frames' places are computed) and with FRAME parameters of varying length
// (its frames' places come from the index). Files sit in the page cache;
// frames are read in turn, as playback does.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "yuv/LumoYuvReader.h"
#include "yuv/YuvTypeTable.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 8;

enum class Kind { Raw, Y4m, Y4mParams };

std::string PathFor(const std::string& type, Kind kind)
{
    static const char* const kSuffix[] = {".yuv", ".y4m", "_params.y4m"};
    return "/tmp/lumo_y4m_bench_" + std::to_string(::getpid()) + "_" + type + kSuffix[static_cast<int>(kind)];
}

// Writes the three files of a layout once.
void WriteFiles(const std::string& type, const std::string& colourTag)
{
    const int64_t frameSize = lumo::GetFrameSize(kWidth, kHeight, type);
    std::vector<uint8_t> frames(static_cast<size_t>(frameSize * kFrames));
    std::mt19937 rng(5);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = static_cast<uint8_t>((i / 7 + (rng() & 31)) & (type == "YUV_TYPE_I010" && i % 2 ? 0x03 : 0xff));
    for (Kind kind : {Kind::Raw, Kind::Y4m, Kind::Y4mParams}) {
        FILE* f = std::fopen(PathFor(type, kind).c_str(), "wb");
        if (!f)
            continue;
        if (kind != Kind::Raw)
            std::fprintf(f, "YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C%s\n", kWidth, kHeight, colourTag.c_str());
        for (int i = 0; i < kFrames; ++i) {
            if (kind == Kind::Y4m)
                std::fputs("FRAME\n", f);
            else if (kind == Kind::Y4mParams)
                std::fprintf(f, "FRAME Ip X%s\n", std::string(static_cast<size_t>(i) * 3, 'z').c_str());
            std::fwrite(frames.data() + i * frameSize, 1, static_cast<size_t>(frameSize), f);
        }
        std::fclose(f);
    }
}

void BM_ReadYuv444(benchmark::State& state, const std::string& type, Kind kind)
{
    const lumo::LumoYuvReader reader(PathFor(type, kind), kWidth, kHeight, type);
    const int64_t frameSize = reader.GetFrameSize();
    std::vector<uint8_t> dst(static_cast<size_t>(3 * int64_t{kWidth} * kHeight));
    int frame = 0;
    for (auto _ : state) {
        int64_t count = 0;
        benchmark::DoNotOptimize(reader.ReadFrameYUV444(dst.data(), &count, frame * frameSize));
        if (count != static_cast<int64_t>(dst.size()))
            state.SkipWithError("read failed");
        frame = (frame + 1) % kFrames;
    }
    state.SetBytesProcessed(state.iterations() * frameSize);
}

void BM_ReadRaw(benchmark::State& state, const std::string& type, Kind kind)
{
    const lumo::LumoYuvReader reader(PathFor(type, kind), kWidth, kHeight, type);
    const int64_t frameSize = reader.GetFrameSize();
    std::vector<uint8_t> dst(static_cast<size_t>(frameSize));
    int frame = 0;
    for (auto _ : state) {
        int64_t count = 0;
        benchmark::DoNotOptimize(reader.ReadFrameRaw(dst.data(), &count, frame * frameSize));
        if (count != frameSize)
            state.SkipWithError("read failed");
        frame = (frame + 1) % kFrames;
    }
    state.SetBytesProcessed(state.iterations() * frameSize);
}

double ThreadCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// The same frame from the raw file and from a Y4M file, one right after
// the other, so that both see the same load on a busy machine; the counters
// give the Y4M read's time over the raw read's, in wall time and CPU time.
void BM_Y4mOverRaw(benchmark::State& state, const std::string& type, Kind kind)
{
    const lumo::LumoYuvReader raw(PathFor(type, Kind::Raw), kWidth, kHeight, type);
    const lumo::LumoYuvReader y4m(PathFor(type, kind), kWidth, kHeight, type);
    const int64_t frameSize = raw.GetFrameSize();
    std::vector<uint8_t> dst(static_cast<size_t>(3 * int64_t{kWidth} * kHeight));
    using Clock = std::chrono::steady_clock;
    double rawWall = 0, y4mWall = 0, rawCpu = 0, y4mCpu = 0;
    int frame = 0;
    bool rawFirst = true;
    for (auto _ : state) {
        int64_t count = 0;
        // Which file goes first alternates: the second read of a frame
        // finds the destination already warm.
        const lumo::LumoYuvReader& first = rawFirst ? raw : y4m;
        const lumo::LumoYuvReader& second = rawFirst ? y4m : raw;
        const auto t0 = Clock::now();
        const double c0 = ThreadCpuSeconds();
        benchmark::DoNotOptimize(first.ReadFrameYUV444(dst.data(), &count, frame * frameSize));
        const auto t1 = Clock::now();
        const double c1 = ThreadCpuSeconds();
        benchmark::DoNotOptimize(second.ReadFrameYUV444(dst.data(), &count, frame * frameSize));
        const auto t2 = Clock::now();
        const double c2 = ThreadCpuSeconds();
        if (count != static_cast<int64_t>(dst.size()))
            state.SkipWithError("read failed");
        const double firstWall = std::chrono::duration<double>(t1 - t0).count();
        const double secondWall = std::chrono::duration<double>(t2 - t1).count();
        rawWall += rawFirst ? firstWall : secondWall;
        y4mWall += rawFirst ? secondWall : firstWall;
        rawCpu += rawFirst ? c1 - c0 : c2 - c1;
        y4mCpu += rawFirst ? c2 - c1 : c1 - c0;
        rawFirst = !rawFirst;
        frame = (frame + 1) % kFrames;
    }
    state.counters["wall_ratio"] = rawWall > 0 ? y4mWall / rawWall : 0;
    state.counters["cpu_ratio"] = rawCpu > 0 ? y4mCpu / rawCpu : 0;
}

} // namespace

int main(int argc, char** argv)
{
    const struct {
        const char* label;
        const char* type;
        const char* tag;
    } layouts[] = {{"I420", "YUV_TYPE_I420", "420jpeg"}, {"I010", "YUV_TYPE_I010", "420p10"}};
    const struct {
        const char* label;
        Kind kind;
    } kinds[] = {{"Raw", Kind::Raw}, {"Y4m", Kind::Y4m}, {"Y4mParams", Kind::Y4mParams}};
    for (const auto& l : layouts) {
        WriteFiles(l.type, l.tag);
        for (const auto& k : kinds) {
            benchmark::RegisterBenchmark((std::string("ReadYuv444/") + l.label + "/" + k.label).c_str(), BM_ReadYuv444,
                                         std::string(l.type), k.kind)
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        }
        for (Kind kind : {Kind::Y4m, Kind::Y4mParams}) {
            benchmark::RegisterBenchmark(
                (std::string("Y4mOverRaw/") + l.label + (kind == Kind::Y4m ? "/Y4m" : "/Y4mParams")).c_str(),
                BM_Y4mOverRaw, std::string(l.type), kind)
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        }
        for (const auto& k : kinds) {
            benchmark::RegisterBenchmark((std::string("ReadRaw/") + l.label + "/" + k.label).c_str(), BM_ReadRaw,
                                         std::string(l.type), k.kind)
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& l : layouts)
        for (const auto& k : kinds)
            std::remove(PathFor(l.type, k.kind).c_str());
    return 0;
}
