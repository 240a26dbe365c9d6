#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestFrames.h"
#include "iqa/CompareEngine.h"
#include "iqa/PsnrMse.h"
#include "iqa/RedPlane.h"
#include "iqa/Ssim.h"
#include "yuv/LumoYuvReader.h"

using Words = std::vector<uint16_t>;

namespace {

Words Widened(const std::vector<uint8_t>& bytes)
{
    return Words(bytes.begin(), bytes.end());
}

Words RandomWords(std::size_t n, int depth, unsigned seed)
{
    std::mt19937 rng(seed);
    Words w(n);
    for (uint16_t& v : w)
        v = static_cast<uint16_t>(rng() & ((1u << depth) - 1));
    return w;
}

bool SameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string ScratchDir()
{
    const char* dir = std::getenv("LUMO_TEST_TMP");
    return dir && *dir ? dir : "/tmp";
}

} // namespace

// The native-depth path at depth 8, fed 8-bit frames, gives the 8-bit
// path's numbers bit for bit: MSE, PSNR, red planes and SSIM, for every
// colour range, at even, odd and tiny sizes.
TEST(NativeDepth, EightBitResultsAreBitIdentical)
{
    const struct {
        int w, h;
    } sizes[] = {{64, 48}, {37, 29}, {11, 11}, {5, 3}, {1, 1}};
    unsigned seed = 3;
    for (const auto& s : sizes) {
        const std::vector<std::vector<uint8_t>> pairs[] = {
            {frames::Scene(s.w, s.h, seed, 0, 0), frames::Scene(s.w, s.h, seed, 2, 4)},
            {frames::Random(s.w, s.h, seed + 1), frames::Random(s.w, s.h, seed + 2)},
            {frames::Filled(s.w, s.h, 0), frames::Filled(s.w, s.h, 255)},
        };
        ++seed;
        for (const auto& pair : pairs) {
            const Words a = Widened(pair[0]), b = Widened(pair[1]);
            for (int range = 0; range < 3; ++range) {
                lumo::FrameMetrics bytes, words;
                lumo::MeasureI420Pair(pair[0].data(), pair[1].data(), s.w, s.h, range, true, bytes);
                lumo::MeasureI420Pair(a.data(), b.data(), s.w, s.h, 8, range, true, words);
                EXPECT_TRUE(SameBits(bytes.ssim, words.ssim) || (std::isnan(bytes.ssim) && std::isnan(words.ssim)))
                    << s.w << "x" << s.h << " " << bytes.ssim << " " << words.ssim;
                for (int p = 0; p < 3; ++p) {
                    EXPECT_TRUE(SameBits(bytes.mse[p], words.mse[p]) || std::isnan(bytes.mse[p])) << p;
                    EXPECT_TRUE(SameBits(bytes.psnr[p], words.psnr[p]) || std::isnan(bytes.psnr[p])) << p;
                }
                std::vector<uint8_t> red8(pair[0].size());
                Words red16(pair[0].size());
                lumo::I420RedPlane(pair[0].data(), s.w, s.h, range, red8.data());
                lumo::I420RedPlane(a.data(), s.w, s.h, 8, range, red16.data());
                red16.resize(static_cast<std::size_t>(s.w) * s.h);
                red8.resize(red16.size());
                EXPECT_EQ(Widened(red8), red16);
            }
        }
    }
}

// The word sum of squares against the straightforward loop, extremes and
// tails included, from unaligned starts.
TEST(NativeDepth, SumOfSquaresMatchesTheLoop)
{
    for (int depth : {10, 12, 16}) {
        for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{17}, std::size_t{1000}, std::size_t{65537}}) {
            Words a = RandomWords(n + 1, depth, static_cast<unsigned>(n + depth));
            Words b = RandomWords(n + 1, depth, static_cast<unsigned>(n * 3 + depth));
            if (n > 4) {
                a[1] = 0;
                b[1] = static_cast<uint16_t>((1u << depth) - 1);
                a[2] = b[1];
                b[2] = 0;
            }
            uint64_t want = 0;
            for (std::size_t i = 1; i <= n; ++i) {
                const int64_t d = int64_t{a[i]} - b[i];
                want += static_cast<uint64_t>(d * d);
            }
            EXPECT_EQ(lumo::SumSquaredDiff(a.data() + 1, b.data() + 1, n), want) << depth << " " << n;
        }
    }
}

// PSNR at native depth is 10*log10(((1 << b) - 1)^2 / MSE); identical
// frames give 999.99 and SSIM 1; the red plane is centred and clamped at
// the depth.
TEST(NativeDepth, PeaksAndCentresFollowTheDepth)
{
    const int w = 32, h = 16;
    const std::size_t size = frames::I420Size(w, h);
    for (int depth : {10, 12, 16}) {
        const Words a = RandomWords(size, depth, static_cast<unsigned>(depth));
        Words b = a;
        for (int i = 0; i < w * h; ++i)
            b[static_cast<std::size_t>(i)] = static_cast<uint16_t>(a[static_cast<std::size_t>(i)] ^ 1);
        lumo::FrameMetrics same, off;
        lumo::MeasureI420Pair(a.data(), a.data(), w, h, depth, 1, true, same);
        lumo::MeasureI420Pair(a.data(), b.data(), w, h, depth, 1, true, off);
        EXPECT_EQ(same.depth, depth);
        EXPECT_NEAR(same.ssim, 1.0, 1e-6);
        EXPECT_EQ(same.psnr[0], 999.99);
        EXPECT_EQ(off.mse[0], 1.0);
        const double peak = (1 << depth) - 1;
        EXPECT_DOUBLE_EQ(off.psnr[0], 10.0 * std::log10(peak * peak));
        EXPECT_EQ(off.psnr[1], 999.99);
    }
    // 2x2 10-bit frames: Y 1000 with V 1023 clamps to 1023; Y 10 with V 0 to 0;
    // V at the centre 512 leaves Y as it is.
    const uint16_t frame[6] = {1000, 10, 300, 700, 512, 1023};
    uint16_t red[4];
    lumo::I420RedPlane(frame, 2, 2, 10, 0, red);
    EXPECT_EQ(red[0], 1023);
    const uint16_t low[6] = {10, 10, 10, 10, 512, 0};
    lumo::I420RedPlane(low, 2, 2, 10, 0, red);
    EXPECT_EQ(red[0], 0);
    const uint16_t centre[6] = {1, 2, 3, 1023, 0, 512};
    lumo::I420RedPlane(centre, 2, 2, 10, 2, red);
    EXPECT_EQ(Words(red, red + 4), Words({1, 2, 3, 1023}));
}

// A 10-bit pair written by the ffmpeg command line: per-plane MSE as
// FFmpeg's psnr filter reports it; the engine refuses to compare files of
// different depths.
TEST(NativeDepth, MseAgreesWithFfmpegPsnrFilter)
{
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no ffmpeg command";
    const std::string base = ScratchDir() + "/psnr10";
    const std::string cmd =
        "ffmpeg -v error -y -filter_complex \"testsrc2=s=96x64:d=0.12,format=yuv420p10le,split[a][b];"
        "[b]noise=alls=12:allf=t,format=yuv420p10le[n];[a]split[a1][a2];[n]split[n1][n2];[a2][n2]psnr=stats_file=" +
        base + ".log[p]\" -map [a1] -f rawvideo " + base + "_a.yuv -map [n1] -f rawvideo " + base +
        "_b.yuv -map [p] -f null -";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream log(base + ".log");
    std::string line;
    lumo::CompareEngine::Settings settings;
    settings.a = lumo::LumoYuvReader(base + "_a.yuv", 96, 64, "YUV_TYPE_I010");
    settings.b = lumo::LumoYuvReader(base + "_b.yuv", 96, 64, "YUV_TYPE_I010");
    ASSERT_EQ(settings.a.GetFrameCount(), 3);
    int frame = 0;
    while (std::getline(log, line)) {
        double mse[3] = {0, 0, 0};
        const char* keys[] = {"mse_y:", "mse_u:", "mse_v:"};
        for (int p = 0; p < 3; ++p) {
            const std::size_t at = line.find(keys[p]);
            ASSERT_NE(at, std::string::npos) << line;
            mse[p] = std::atof(line.c_str() + at + std::strlen(keys[p]));
        }
        lumo::FrameMetrics m;
        std::string error;
        ASSERT_TRUE(lumo::CompareEngine::CompareFrame(settings, frame, m, error)) << error;
        EXPECT_EQ(m.depth, 10);
        for (int p = 0; p < 3; ++p)
            EXPECT_NEAR(m.mse[p], mse[p], 0.005 + 1e-4 * mse[p]) << "frame " << frame << " plane " << p;
        EXPECT_GT(m.mse[0], 1.0); // the noise is there
        ++frame;
    }
    EXPECT_EQ(frame, 3);

    settings.b = lumo::LumoYuvReader(base + "_b.yuv", 96, 64, "YUV_TYPE_I420");
    lumo::FrameMetrics m;
    std::string error;
    EXPECT_FALSE(lumo::CompareEngine::CompareFrame(settings, 0, m, error));
    EXPECT_NE(error.find("different depths"), std::string::npos) << error;
    for (const char* ext : {".log", "_a.yuv", "_b.yuv"})
        std::remove((base + ext).c_str());
}
