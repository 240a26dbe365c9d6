// Converting a 1080p H.264 clip to raw I420 with LumoReader, against the
// ffmpeg tool writing the same raw video, measured in the same run. The clip
// is made with the ffmpeg tool before the benchmarks start.
#include "media/LumoReader.h"
#include "MedianReporter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 100; // 4 s at 25 frames per second
constexpr double kFrameBytes = 1920.0 * 1080.0 * 1.5;

fs::path g_dir;
std::string g_clip;
std::string g_encoder;

bool Run(const std::string& cmd)
{
    return std::system(cmd.c_str()) == 0;
}

bool MakeClip()
{
    const char* base = std::getenv("TMPDIR");
    g_dir = fs::path(base && *base ? base : "/tmp") / ("lumo_media_bench_" + std::to_string(::getpid()));
    fs::create_directories(g_dir);
    g_clip = (g_dir / "clip.mp4").string();
    // libx264 when the ffmpeg build has it; the built-in MPEG-4 Part 2 encoder otherwise.
    g_encoder = Run("ffmpeg -hide_banner -encoders 2>/dev/null | grep -qw libx264") ? "libx264" : "mpeg4";
    const std::string codecArgs = g_encoder == "libx264" ? "-c:v libx264 -preset veryfast" : "-c:v mpeg4 -q:v 3";
    return Run("ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -t 4 "
        + codecArgs + " -pix_fmt yuv420p " + g_clip);
}

void CheckOutput(benchmark::State& state, const fs::path& out)
{
    std::error_code ec;
    const auto size = fs::file_size(out, ec);
    if (ec || static_cast<double>(size) != kFrameBytes * kFrames)
        state.SkipWithError("output does not hold every frame");
    fs::remove(out, ec);
}

void BM_LumoReader(benchmark::State& state)
{
    const fs::path out = g_dir / "lumo.yuv";
    for (auto _ : state) {
        lumo::LumoReader reader;
        int width = -1, height = -1;
        Lumer::LumerAVPixelFormat format = Lumer::LUMER_PIX_FMT_YUV420P;
        if (reader.Read2File(g_clip, out.string(), width, height, format) != 0) {
            state.SkipWithError("conversion failed");
            break;
        }
        state.PauseTiming();
        CheckOutput(state, out);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrames * kFrameBytes));
}

void BM_FfmpegCli(benchmark::State& state)
{
    const fs::path out = g_dir / "cli.yuv";
    const std::string cmd = "ffmpeg -hide_banner -nostdin -loglevel error -y -i " + g_clip
        + " -f rawvideo -pix_fmt yuv420p " + out.string();
    for (auto _ : state) {
        if (!Run(cmd)) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
        state.PauseTiming();
        CheckOutput(state, out);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrames * kFrameBytes));
}

// Both sides run in child or worker threads, so only wall time means
// anything. Repetitions are interleaved at random (see main) so that load
// from elsewhere on the machine hits both sides alike.
BENCHMARK(BM_LumoReader)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);
BENCHMARK(BM_FfmpegCli)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);

}

int main(int argc, char** argv)
{
    if (!InitialiseInterleaved(argc, argv))
        return 1;
    if (!MakeClip()) {
        std::cerr << "could not make the test clip with the ffmpeg tool\n";
        return 1;
    }
    std::cout << "clip: 1920x1080, " << kFrames << " frames, encoder " << g_encoder << "\n";
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double lumo = reporter.Median("BM_LumoReader");
    const double cli = reporter.Median("BM_FfmpegCli");
    if (lumo > 0 && cli > 0) {
        std::printf("median ms per clip: LumoReader %.0f, ffmpeg tool %.0f\n", lumo, cli);
        std::printf("LumoReader throughput / ffmpeg tool throughput: %.2f\n", cli / lumo);
    }
    std::error_code ec;
    fs::remove_all(g_dir, ec);
    benchmark::Shutdown();
    return 0;
}
