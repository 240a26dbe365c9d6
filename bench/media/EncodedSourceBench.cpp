// Reading encoded frames in place against bare libavcodec decoding the
// same frames, measured in the same run:
//  - frame 200 of a stream with a keyframe every 250 frames, from a fresh
//    source (index built, then decoded from the keyframe), against
//    decoding the first 201 frames;
//  - 60 frames of 1080p H.264 read one after the other, against decoding
//    them.
// The clips are made with the ffmpeg tool before the benchmarks start.
#include "media/EncodedSource.h"
#include "MedianReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

namespace fs = std::filesystem;

fs::path g_dir;
std::string g_longGop; // 640x360, 260 frames, keyframe every 250
std::string g_hd;      // 1920x1080, 60 frames

bool Run(const std::string& cmd)
{
    return std::system(cmd.c_str()) == 0;
}

bool MakeClips()
{
    const char* base = std::getenv("TMPDIR");
    g_dir = fs::path(base && *base ? base : "/tmp") / ("lumo_encoded_bench_" + std::to_string(::getpid()));
    fs::create_directories(g_dir);
    g_longGop = (g_dir / "gop250.mp4").string();
    g_hd = (g_dir / "hd.mp4").string();
    const std::string ffmpeg = "ffmpeg -hide_banner -nostdin -loglevel error -y ";
    return Run(ffmpeg + "-f lavfi -i testsrc2=size=640x360:rate=25 -frames:v 260 -c:v libx264 -preset veryfast "
               "-g 250 -bf 3 -pix_fmt yuv420p " + g_longGop)
        && Run(ffmpeg + "-f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 60 -c:v libx264 -preset veryfast "
               "-bf 3 -pix_fmt yuv420p " + g_hd);
}

// Decodes the first `frames` frames with libavformat and libavcodec alone,
// with as many threads as the source uses.
bool BareDecode(const std::string& path, int frames)
{
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return false;
    bool ok = false;
    AVCodecContext* ctx = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const int stream = avformat_find_stream_info(fmt, nullptr) >= 0
        ? av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
        : -1;
    if (stream >= 0) {
        const AVCodec* codec = avcodec_find_decoder(fmt->streams[stream]->codecpar->codec_id);
        ctx = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(ctx, fmt->streams[stream]->codecpar);
        ctx->thread_count = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        int got = 0;
        if (avcodec_open2(ctx, codec, nullptr) >= 0) {
            bool end = false;
            while (got < frames) {
                const int r = avcodec_receive_frame(ctx, frame);
                if (r == 0) {
                    ++got;
                    benchmark::DoNotOptimize(frame->data[0][0]);
                    av_frame_unref(frame);
                    continue;
                }
                if (r != AVERROR(EAGAIN) || end)
                    break;
                if (av_read_frame(fmt, pkt) < 0) {
                    avcodec_send_packet(ctx, nullptr);
                    end = true;
                    continue;
                }
                if (pkt->stream_index == stream)
                    avcodec_send_packet(ctx, pkt);
                av_packet_unref(pkt);
            }
        }
        ok = got == frames;
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    avformat_close_input(&fmt);
    return ok;
}

bool ReadFrames(const std::string& path, int first, int last)
{
    auto source = lumo::EncodedSource::Open(path);
    if (!source)
        return false;
    std::vector<uint8_t> frame(static_cast<size_t>(source->FrameSize()));
    for (int i = first; i <= last; ++i)
        if (!source->ReadFrame(i, frame.data()))
            return false;
    return true;
}

void BM_SourceFrame200(benchmark::State& state)
{
    for (auto _ : state)
        if (!ReadFrames(g_longGop, 200, 200))
            state.SkipWithError("frame 200 not read");
}

void BM_BareDecode201(benchmark::State& state)
{
    for (auto _ : state)
        if (!BareDecode(g_longGop, 201))
            state.SkipWithError("decode failed");
}

void BM_SourceSequential60Hd(benchmark::State& state)
{
    for (auto _ : state)
        if (!ReadFrames(g_hd, 0, 59))
            state.SkipWithError("frames not read");
}

void BM_BareDecode60Hd(benchmark::State& state)
{
    for (auto _ : state)
        if (!BareDecode(g_hd, 60))
            state.SkipWithError("decode failed");
}

// Repetitions are interleaved at random (see main) so that load from
// elsewhere on the machine hits both sides alike.
BENCHMARK(BM_SourceFrame200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_BareDecode201)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_SourceSequential60Hd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_BareDecode60Hd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

} // namespace

int main(int argc, char** argv)
{
    if (!InitialiseInterleaved(argc, argv))
        return 1;
    if (!MakeClips()) {
        std::cerr << "could not make the clips with the ffmpeg tool (libx264)\n";
        return 1;
    }
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto ratio = [&](const char* ours, const char* bare) {
        const double a = reporter.Median(ours);
        const double b = reporter.Median(bare);
        if (a > 0 && b > 0)
            std::printf("%s / %s (median): %.2f\n", ours, bare, a / b);
    };
    ratio("BM_SourceFrame200", "BM_BareDecode201");
    ratio("BM_SourceSequential60Hd", "BM_BareDecode60Hd");
    std::error_code ec;
    fs::remove_all(g_dir, ec);
    benchmark::Shutdown();
    return 0;
}
