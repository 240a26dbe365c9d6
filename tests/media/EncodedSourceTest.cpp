// Encoded streams read in place against the ffmpeg tool's own full decode:
// every frame, in every access order, byte for byte, and the same count.
#include "media/EncodedSource.h"
#include "media/LumoReader.h"
#include "MediaFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <thread>

namespace {

struct Stream {
    const char* name;
    const char* encoder; // skipped when the ffmpeg build lacks it
    const char* file;
    // Encoding arguments after the test picture input.
    const char* args;
    // Further step on the encoded file ("" for none): {in} and {out}.
    const char* remux;
};

// Test picture with motion, 40 frames at 25 per second.
const char* const kInput = "-f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 40 ";

const Stream kStreams[] = {
    {"h264_mp4_bframes", "libx264", "a.mp4", "-c:v libx264 -preset veryfast -g 12 -bf 3 -pix_fmt yuv420p", ""},
    {"h264_mkv_open_gop", "libx264", "a.mkv",
        "-c:v libx264 -preset veryfast -g 12 -bf 3 -x264-params open-gop=1 -pix_fmt yuv420p", ""},
    // Cut at a non-keyframe by stream copy: an edit list hides the first
    // decoded frames.
    {"h264_mp4_edit_list", "libx264", "b.mp4", "-c:v libx264 -preset veryfast -g 12 -bf 2 -pix_fmt yuv420p",
        "-ss 0.3 -i {in} -c copy {out}"},
    // Copied from mid-GOP on: the first packets are no keyframe.
    {"h264_mkv_starts_mid_gop", "libx264", "c.mkv", "-c:v libx264 -preset veryfast -g 12 -bf 3 -pix_fmt yuv420p",
        "-i {in} -ss 0.3 -c copy -copyinkf {out}"},
    // No timestamps in the stream: frames by decoding alone.
    {"h264_raw", "libx264", "a.264", "-c:v libx264 -preset veryfast -g 12 -bf 3 -pix_fmt yuv420p -f h264", ""},
    {"hevc_10bit", "libx265", "a.mp4",
        "-c:v libx265 -preset ultrafast -x265-params keyint=12:bframes=3:log-level=none -pix_fmt yuv420p10le", ""},
    {"vp9_webm", "libvpx-vp9", "a.webm", "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 12 -pix_fmt yuv420p",
        ""},
    {"av1_ivf", "libaom-av1", "a.ivf", "-c:v libaom-av1 -cpu-used 8 -g 12 -pix_fmt yuv420p", ""},
    {"ffv1_444", "ffv1", "a.mkv", "-c:v ffv1 -pix_fmt yuv444p", ""},
    // Full-range 4:2:0, in a container without presentation times.
    {"mjpeg_avi", "mjpeg", "a.avi", "-c:v mjpeg -pix_fmt yuvj420p", ""},
};

void PrintTo(const Stream& s, std::ostream* os)
{
    *os << s.name;
}

enum class Order { Forward, Backward, Random };

struct Decoded {
    std::vector<uint8_t> bytes;
    int frames = 0;
};

class EncodedSourceTest : public ::testing::TestWithParam<Stream> {};

std::string Replace(std::string s, const std::string& from, const std::string& to)
{
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// Makes the stream; empty when its encoder is missing.
std::string Make(const MediaDir& dir, const Stream& s)
{
    if (!HasEncoder(s.encoder))
        return {};
    std::string path = dir.Path(s.file);
    if (*s.remux) {
        const std::string first = dir.Path(std::string("src_") + s.file);
        EXPECT_TRUE(RunFfmpeg(std::string(kInput) + s.args + " " + first));
        EXPECT_TRUE(RunFfmpeg(Replace(Replace(s.remux, "{in}", first), "{out}", path)));
    } else {
        EXPECT_TRUE(RunFfmpeg(std::string(kInput) + s.args + " " + path));
    }
    return path;
}

std::vector<int> Frames(Order order, int count)
{
    std::vector<int> frames(static_cast<size_t>(count));
    std::iota(frames.begin(), frames.end(), 0);
    if (order == Order::Backward)
        std::reverse(frames.begin(), frames.end());
    if (order == Order::Random)
        std::shuffle(frames.begin(), frames.end(), std::mt19937(7));
    return frames;
}

TEST_P(EncodedSourceTest, EveryFrameInEveryOrderIsFfmpegsFrame)
{
    const Stream& s = GetParam();
    MediaDir dir;
    const std::string path = Make(dir, s);
    if (path.empty())
        GTEST_SKIP() << s.encoder << " missing";

    int error = 0;
    auto probe = lumo::EncodedSource::Open(path, &error);
    ASSERT_TRUE(probe) << error;
    const lumo::EncodedStreamInfo info = probe->StreamInfo();
    EXPECT_FALSE(info.converted);
    EXPECT_EQ(info.fullRange, info.pixelFormat == "yuvj420p");
    const int64_t frameSize = probe->FrameSize();
    const int count = probe->ExactFrameCount();
    EXPECT_TRUE(probe->CountIsExact());
    probe.reset();

    const std::string ref = dir.Path("ref.yuv");
    ASSERT_TRUE(RunFfmpeg("-i " + path + " -fps_mode passthrough -f rawvideo -pix_fmt " + info.pixelFormat + " " + ref));
    const std::vector<uint8_t> expected = ReadBytes(ref);
    ASSERT_GT(count, 0);
    ASSERT_EQ(static_cast<int64_t>(expected.size()), frameSize * count) << "frame count differs from ffmpeg";

    // Without a cache every read decodes; with one, stepping reuses frames.
    for (const int64_t cacheBytes : {int64_t{0}, lumo::EncodedSource::kDefaultCacheBytes}) {
        for (const Order order : {Order::Forward, Order::Backward, Order::Random}) {
            auto source = lumo::EncodedSource::Open(path, &error, cacheBytes);
            ASSERT_TRUE(source);
            ASSERT_EQ(source->ExactFrameCount(), count);
            std::vector<uint8_t> frame(static_cast<size_t>(frameSize));
            for (const int i : Frames(order, count)) {
                ASSERT_TRUE(source->ReadFrame(i, frame.data())) << "frame " << i;
                ASSERT_EQ(0, std::memcmp(frame.data(), expected.data() + frameSize * i, frame.size()))
                    << "frame " << i << " order " << static_cast<int>(order) << " cache " << cacheBytes;
            }
            EXPECT_FALSE(source->ReadFrame(count, frame.data()));
            // Frames decoded on the way are kept: stepping either way
            // decodes each GOP about once.
            if (cacheBytes > 0 && order != Order::Random) {
                EXPECT_LE(source->FramesDecoded(), 2 * count) << "order " << static_cast<int>(order);
            }
        }
    }

    // Readers on two threads share the file's decoder: each still gets its
    // own frames, with no cache to hide a decoder left elsewhere.
    auto first = lumo::EncodedSource::Open(path, &error, 0);
    ASSERT_TRUE(first);
    std::unique_ptr<lumo::FrameSource> second = first->Clone();
    int wrong[2] = {0, 0};
    auto read = [&](lumo::FrameSource* source, Order order, int* bad) {
        std::vector<uint8_t> frame(static_cast<size_t>(frameSize));
        for (const int i : Frames(order, count))
            *bad += !source->ReadFrame(i, frame.data())
                || std::memcmp(frame.data(), expected.data() + frameSize * i, frame.size()) != 0;
    };
    std::thread other(read, second.get(), Order::Backward, &wrong[1]);
    read(first.get(), Order::Random, &wrong[0]);
    other.join();
    EXPECT_EQ(wrong[0], 0);
    EXPECT_EQ(wrong[1], 0);
}

INSTANTIATE_TEST_SUITE_P(Codecs, EncodedSourceTest, ::testing::ValuesIn(kStreams),
    [](const ::testing::TestParamInfo<Stream>& p) { return std::string(p.param.name); });

// A damaged stream gives the frames that decode, refuses the others, and
// never hangs; its clones read the same.
TEST(EncodedSourceDamage, FlippedAndTruncatedStreamsReadWhatDecodes)
{
    if (!HasEncoder("libx264"))
        GTEST_SKIP() << "libx264 missing";
    MediaDir dir;
    const std::string good = dir.Path("good.mkv");
    ASSERT_TRUE(RunFfmpeg(std::string(kInput) + "-c:v libx264 -preset veryfast -g 12 -bf 3 " + good));
    std::vector<uint8_t> bytes = ReadBytes(good);
    ASSERT_GT(bytes.size(), 4096u);

    std::vector<uint8_t> flipped = bytes;
    for (size_t i = flipped.size() / 3; i < flipped.size() / 3 + 300; ++i)
        flipped[i] ^= 0x5A;
    const std::vector<uint8_t> truncated(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * 2 / 3));
    ASSERT_TRUE(WriteBytes(dir.Path("flipped.mkv"), flipped));
    ASSERT_TRUE(WriteBytes(dir.Path("truncated.mkv"), truncated));

    for (const char* name : {"flipped.mkv", "truncated.mkv"}) {
        int error = 0;
        auto source = lumo::EncodedSource::Open(dir.Path(name), &error);
        ASSERT_TRUE(source) << name << " " << error;
        const int count = source->ExactFrameCount();
        ASSERT_GT(count, 0) << name;
        auto clone = source->Clone();
        std::vector<uint8_t> a(static_cast<size_t>(source->FrameSize()));
        std::vector<uint8_t> b(a.size());
        int read = 0;
        for (const int i : Frames(Order::Backward, count)) {
            const bool ok = source->ReadFrame(i, a.data());
            read += ok;
            ASSERT_EQ(ok, clone->ReadFrame(i, b.data())) << name << " frame " << i;
            if (ok) {
                EXPECT_EQ(a, b) << name << " frame " << i;
            }
        }
        EXPECT_GT(read, 0) << name;
        EXPECT_EQ(static_cast<size_t>(count - read), source->FailedFrames().size()) << name;
    }
}

// Formats without a layout: grey keeps its samples beside neutral chroma,
// 4:1:1 repeats each chroma sample four times, RGB is converted and says so.
TEST(EncodedSourceLayout, GreyAnd411AreKeptRgbIsConverted)
{
    MediaDir dir;
    const std::string grey = dir.Path("grey.mkv");
    const std::string rgb = dir.Path("rgb.mkv");
    const std::string c411 = dir.Path("411.mkv");
    ASSERT_TRUE(RunFfmpeg(std::string(kInput) + "-frames:v 3 -c:v ffv1 -pix_fmt gray10le " + grey));
    ASSERT_TRUE(RunFfmpeg(std::string(kInput) + "-frames:v 3 -c:v ffv1 -pix_fmt bgr0 " + rgb));
    ASSERT_TRUE(RunFfmpeg(std::string(kInput) + "-frames:v 1 -c:v ffv1 -pix_fmt yuv411p " + c411));

    auto source = lumo::EncodedSource::Open(grey);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Type(), "YUV_TYPE_I010");
    EXPECT_TRUE(source->StreamInfo().converted);
    EXPECT_FALSE(source->StreamInfo().lossy);
    ASSERT_TRUE(RunFfmpeg("-i " + grey + " -f rawvideo -pix_fmt gray10le " + dir.Path("grey.raw")));
    const std::vector<uint8_t> luma = ReadBytes(dir.Path("grey.raw"));
    const size_t lumaBytes = 96 * 64 * 2;
    ASSERT_EQ(luma.size(), lumaBytes * 3);
    std::vector<uint8_t> frame(static_cast<size_t>(source->FrameSize()));
    ASSERT_TRUE(source->ReadFrame(2, frame.data()));
    EXPECT_EQ(0, std::memcmp(frame.data(), luma.data() + 2 * lumaBytes, lumaBytes));
    EXPECT_EQ(frame[lumaBytes], 0x00);
    EXPECT_EQ(frame[lumaBytes + 1], 0x02); // 512, little-endian
    EXPECT_EQ(frame.back(), 0x02);

    source = lumo::EncodedSource::Open(c411);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Type(), "YUV_TYPE_I444");
    EXPECT_FALSE(source->StreamInfo().lossy);
    ASSERT_TRUE(RunFfmpeg("-i " + c411 + " -f rawvideo -pix_fmt yuv411p " + dir.Path("411.raw")));
    const std::vector<uint8_t> raw = ReadBytes(dir.Path("411.raw"));
    const size_t w = 96, h = 64, cw = w / 4;
    ASSERT_EQ(raw.size(), w * h + 2 * cw * h);
    frame.resize(static_cast<size_t>(source->FrameSize()));
    ASSERT_TRUE(source->ReadFrame(0, frame.data()));
    EXPECT_EQ(0, std::memcmp(frame.data(), raw.data(), w * h));
    for (size_t p = 0; p < 2; ++p)
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x)
                ASSERT_EQ(frame[w * h * (1 + p) + w * y + x], raw[w * h + cw * h * p + cw * y + x / 4]) << x << "," << y;

    source = lumo::EncodedSource::Open(rgb);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Type(), "YUV_TYPE_I444");
    EXPECT_EQ(source->StreamInfo().pixelFormat, "bgr0");
    EXPECT_TRUE(source->StreamInfo().lossy);
    frame.resize(static_cast<size_t>(source->FrameSize()));
    EXPECT_TRUE(source->ReadFrame(0, frame.data()));
}

} // namespace
