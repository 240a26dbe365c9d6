// Throughput and peak memory of `yuvlumo-cli compare`, measured beside
// ffmpeg's psnr filter on the same files in the same run.
//
//   cli_compare_bench [WORK_DIR] [FRAMES]
//
// Writes a pair of 1080p I420 files of FRAMES frames (60 by default) and two
// pairs of 2160p files of different lengths into WORK_DIR, runs each program
// as a child process and prints wall time, frames per second and the child's
// peak resident memory; then the same 1080p source against an H.264 encode of
// it, read in place, beside ffmpeg decoding that encode for its psnr filter.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct RunResult {
    bool ok = false;
    double seconds = 0.0;
    long peakKb = 0;
};

RunResult RunChild(const std::vector<std::string>& argv)
{
    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return result;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.peakKb = usage.ru_maxrss;
    return result;
}

// A moving gradient with texture; the second file adds small noise, so the
// metrics have realistic work to do.
bool WritePair(const std::string& a, const std::string& b, int width, int height, int frames)
{
    std::FILE* fa = std::fopen(a.c_str(), "wb");
    std::FILE* fb = std::fopen(b.c_str(), "wb");
    bool ok = fa && fb;
    const size_t n = static_cast<size_t>(width) * height;
    std::vector<uint8_t> fra(n * 3 / 2);
    std::vector<uint8_t> frb(fra.size());
    uint32_t seed = 12345;
    for (int f = 0; ok && f < frames; ++f) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                fra[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>((x + 2 * y + 3 * f) ^ ((x * y) >> 7));
        for (size_t i = n; i < fra.size(); ++i)
            fra[i] = static_cast<uint8_t>(96 + (i * 7 + f) % 64);
        for (size_t i = 0; i < fra.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            const int v = fra[i] + static_cast<int>((seed >> 24) % 7) - 3;
            frb[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
        ok = std::fwrite(fra.data(), 1, fra.size(), fa) == fra.size()
            && std::fwrite(frb.data(), 1, frb.size(), fb) == frb.size();
    }
    if (fa)
        ok = std::fclose(fa) == 0 && ok;
    if (fb)
        ok = std::fclose(fb) == 0 && ok;
    return ok;
}

// The run with the median wall time; a failed run counts as failed.
RunResult Median(std::vector<RunResult> runs)
{
    for (const RunResult& r : runs)
        if (!r.ok)
            return r;
    std::sort(runs.begin(), runs.end(), [](const RunResult& x, const RunResult& y) { return x.seconds < y.seconds; });
    return runs[runs.size() / 2];
}

void Report(const char* name, const RunResult& r, int frames, double referenceFps)
{
    if (!r.ok) {
        std::printf("%-40s failed\n", name);
        return;
    }
    const double fps = frames / r.seconds;
    std::printf("%-40s %8.2f s %8.2f fps %8.1f MB peak", name, r.seconds, fps, r.peakKb / 1024.0);
    if (referenceFps > 0.0)
        std::printf("   %.2fx ffmpeg", fps / referenceFps);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const int frames = argc > 2 ? std::atoi(argv[2]) : 60;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: cli_compare_bench [WORK_DIR] [FRAMES]\n");
        return 2;
    }
    const std::string cli = YUVLUMO_CLI;
    const std::string a = dir + "/cli_bench_a.yuv";
    const std::string b = dir + "/cli_bench_b.yuv";
    if (!WritePair(a, b, 1920, 1080, frames)) {
        std::fprintf(stderr, "cannot write the test files in %s\n", dir.c_str());
        return 1;
    }
    std::printf("1920x1080 I420, %d frames, %ld cores\n", frames, ::sysconf(_SC_NPROCESSORS_ONLN));
    const std::vector<std::string> ffmpeg = {"ffmpeg", "-nostdin", "-v", "error", "-s", "1920x1080", "-pix_fmt",
                                             "yuv420p", "-f", "rawvideo", "-i", a, "-s", "1920x1080", "-pix_fmt",
                                             "yuv420p", "-f", "rawvideo", "-i", b, "-lavfi", "psnr", "-f", "null",
                                             "-"};
    const std::vector<std::string> base = {cli, "compare", a, b, "--size", "1920x1080", "--format", "csv"};
    std::vector<std::string> psnr = base;
    psnr.insert(psnr.end(), {"--metrics", "psnr"});
    // The cheap runs alternate a few times and report their medians, so load
    // from elsewhere on the machine hits both sides alike.
    std::vector<RunResult> refRuns;
    std::vector<RunResult> psnrRuns;
    for (int i = 0; i < 5; ++i) {
        refRuns.push_back(RunChild(ffmpeg));
        psnrRuns.push_back(RunChild(psnr));
    }
    const RunResult ref = Median(refRuns);
    const double refFps = ref.ok ? frames / ref.seconds : 0.0;
    Report("ffmpeg -lavfi psnr (median of 5)", ref, frames, 0.0);
    Report("compare --metrics psnr (median of 5)", Median(psnrRuns), frames, refFps);
    Report("compare (all metrics)", RunChild(base), frames, refFps);
    std::vector<std::string> every = base;
    every.insert(every.end(), {"--metrics", "every"});
    Report("compare --metrics every (adds SSIM Y/U/V, MS-SSIM, YUV-PSNR)", RunChild(every), frames, refFps);
    std::vector<std::string> single = base;
    single.insert(single.end(), {"--jobs", "1"});
    Report("compare --jobs 1 (all metrics)", RunChild(single), frames, refFps);

    // An encoded side, decoded in place, against ffmpeg decoding it for its
    // psnr filter: decoding is most of both.
    const std::string enc = dir + "/cli_bench_enc.mp4";
    const std::vector<std::string> encode = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-s", "1920x1080", "-pix_fmt",
                                             "yuv420p", "-f", "rawvideo", "-i", a, "-c:v", "libx264", "-preset",
                                             "veryfast", "-bf", "2", "-g", "30", enc};
    if (RunChild(encode).ok) {
        std::printf("\n1920x1080 H.264 (libx264 veryfast), %d frames, against its raw source\n", frames);
        const std::vector<std::string> ffmpegEnc = {"ffmpeg", "-nostdin", "-v", "error", "-i", enc, "-f", "rawvideo",
                                                    "-s", "1920x1080", "-pix_fmt", "yuv420p", "-i", a, "-lavfi",
                                                    "psnr", "-f", "null", "-"};
        const std::vector<std::string> cliEnc = {cli, "compare", a, enc, "--size", "1920x1080", "--format", "csv",
                                                 "--metrics", "psnr"};
        std::vector<RunResult> refEnc;
        std::vector<RunResult> cliRuns;
        for (int i = 0; i < 5; ++i) {
            refEnc.push_back(RunChild(ffmpegEnc));
            cliRuns.push_back(RunChild(cliEnc));
        }
        const RunResult refE = Median(refEnc);
        Report("ffmpeg -i enc.mp4 ... -lavfi psnr (median of 5)", refE, frames, 0.0);
        Report("compare ref.yuv enc.mp4 --metrics psnr (median)", Median(cliRuns), frames,
               refE.ok ? frames / refE.seconds : 0.0);
    } else {
        std::printf("\nno libx264: the encoded comparison is skipped\n");
    }
    std::remove(enc.c_str());
    std::remove(a.c_str());
    std::remove(b.c_str());

    // Peak memory must not depend on the number of frames.
    const int lengths[2] = {3, 12};
    std::printf("\n3840x2160 I420, peak resident memory of compare\n");
    for (int length : lengths) {
        if (!WritePair(a, b, 3840, 2160, length)) {
            std::fprintf(stderr, "cannot write the test files in %s\n", dir.c_str());
            return 1;
        }
        std::vector<std::string> big = {cli, "compare", a, b, "--size", "3840x2160", "--format", "csv"};
        const std::string label = std::to_string(length) + " frames, all metrics";
        Report(label.c_str(), RunChild(big), length, 0.0);
        big.insert(big.end(), {"--metrics", "psnr"});
        const std::string labelPsnr = std::to_string(length) + " frames, --metrics psnr";
        Report(labelPsnr.c_str(), RunChild(big), length, 0.0);
        std::remove(a.c_str());
        std::remove(b.c_str());
    }
    return 0;
}
