#include "media/LumoReader.h"
#include "media/MediaConversion.h"
#include "MediaFixture.h"
#include "yuv/LumoYuvReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Lumer::LumerAVPixelFormat;

// What a caller sees after one conversion.
struct Converted {
    int ret = 0;
    int width = -1;
    int height = -1;
    LumerAVPixelFormat format = Lumer::LUMER_PIX_FMT_YUV420P;
};

// The format starts at a value no success path would leave for these inputs,
// so "untouched" is visible.
Converted Convert(const std::string& input, const std::string& output)
{
    Converted c;
    c.format = static_cast<LumerAVPixelFormat>(0);
    lumo::LumoReader reader;
    c.ret = reader.Read2File(input, output, c.width, c.height, c.format);
    return c;
}

bool OnlyFiles(const MediaDir& dir, std::vector<std::string> expected)
{
    auto names = dir.Names();
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    return names == expected;
}

// Raw source -> lossless file with the ffmpeg tool -> reader: the output must
// be the source byte for byte, in the layout the decoder hands out.
struct LosslessCase {
    const char* name;
    const char* pixFmt;
    const char* codecArgs;
    const char* extension;
    int width;
    int height;
    int frames;
    std::size_t frameBytes;
    int expectedCode;
};

class LosslessTest : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(LosslessTest, OutputEqualsSourceSampleForSample)
{
    const LosslessCase& c = GetParam();
    MediaDir dir;
    const auto source = NoiseBytes(c.frameBytes * c.frames, 7);
    const std::string raw = dir.Path("source.raw");
    const std::string media = dir.Path(std::string("clip.") + c.extension);
    ASSERT_TRUE(WriteBytes(raw, source));
    ASSERT_TRUE(RunFfmpeg("-f rawvideo -pix_fmt " + std::string(c.pixFmt) + " -s "
        + std::to_string(c.width) + "x" + std::to_string(c.height) + " -r 25 -i " + raw + " "
        + c.codecArgs + " " + media));

    const std::string out = media + ".yuv";
    const Converted r = Convert(media, out);
    ASSERT_EQ(r.ret, 0);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(r.format, c.expectedCode);
    const auto written = ReadBytes(out);
    ASSERT_EQ(written.size(), source.size());
    EXPECT_TRUE(written == source);
    EXPECT_TRUE(OnlyFiles(dir, {"source.raw", std::string("clip.") + c.extension, std::string("clip.") + c.extension + ".yuv"}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, LosslessTest,
    ::testing::Values(
        LosslessCase{"ffv1_i420", "yuv420p", "-c:v ffv1", "mkv", 64, 48, 5, 64 * 48 * 3 / 2, 101},
        LosslessCase{"ffv1_i422", "yuv422p", "-c:v ffv1", "mkv", 64, 48, 5, 64 * 48 * 2, 104},
        LosslessCase{"ffv1_i444", "yuv444p", "-c:v ffv1", "mkv", 64, 48, 3, 64 * 48 * 3, 106},
        LosslessCase{"ffv1_i444_odd", "yuv444p", "-c:v ffv1", "mkv", 33, 17, 3, 33 * 17 * 3, 106},
        LosslessCase{"raw_nv12", "nv12", "-c:v rawvideo", "nut", 64, 48, 3, 64 * 48 * 3 / 2, 102},
        LosslessCase{"raw_nv21", "nv21", "-c:v rawvideo", "nut", 64, 48, 3, 64 * 48 * 3 / 2, 103},
        LosslessCase{"raw_yuyv", "yuyv422", "-c:v rawvideo", "nut", 64, 48, 3, 64 * 48 * 2, 105},
        // Full-range 4:2:0 is the same layout; its samples pass unchanged.
        LosslessCase{"raw_yuvj420", "yuvj420p", "-c:v rawvideo", "nut", 64, 48, 2, 64 * 48 * 3 / 2, 101},
        LosslessCase{"raw_yuvj422", "yuvj422p", "-c:v rawvideo", "nut", 64, 48, 2, 64 * 48 * 2, 104}),
    [](const ::testing::TestParamInfo<LosslessCase>& info) { return std::string(info.param.name); });

// Odd sizes keep their 4:2:0 layout as FFmpeg lays it out (chroma planes
// rounded up): the frames pass byte for byte, and the raw reader counts them.
TEST(LumoReaderTest, OddSized420VideoKeepsItsLayoutByteForByte)
{
    MediaDir dir;
    const int w = 33, h = 17, frames = 3;
    const std::size_t lumaBytes = w * h;
    const std::size_t chromaBytes = ((w + 1) / 2) * ((h + 1) / 2);
    const std::size_t frameBytes = lumaBytes + 2 * chromaBytes;
    const auto source = NoiseBytes(frameBytes * frames, 11);
    ASSERT_TRUE(WriteBytes(dir.Path("odd.raw"), source));
    ASSERT_TRUE(RunFfmpeg("-f rawvideo -pix_fmt yuv420p -s 33x17 -r 25 -i " + dir.Path("odd.raw")
        + " -c:v ffv1 " + dir.Path("odd.mkv")));

    const Converted r = Convert(dir.Path("odd.mkv"), dir.Path("odd.yuv"));
    ASSERT_EQ(r.ret, 0);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
    EXPECT_EQ(r.format, Lumer::LUMER_PIX_FMT_YUV420P);
    EXPECT_TRUE(ReadBytes(dir.Path("odd.yuv")) == source);
    EXPECT_EQ(lumo::LumoYuvReader(dir.Path("odd.yuv"), w, h, "YUV_TYPE_I420").GetFrameCount(), frames);
}

// Still images: one frame in the reported layout, with the colour of the
// picture. The references are BT.601 values for the image's own range.
struct ImageCase {
    const char* name;
    const char* file;
    const char* source; // lavfi colour source and the format it is drawn in
    const char* extraArgs;
    int width;
    int height;
    int expectedCode;
    int y, u, v;
};

constexpr const char* kRed = "color=c=0xFF0000:s=SIZE,format=yuv444p";

class ImageTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ImageTest, SingleFrameOfTheRightColour)
{
    const ImageCase& c = GetParam();
    MediaDir dir;
    const std::string image = dir.Path(c.file);
    // The colour source is drawn unsubsampled so that odd sizes survive it.
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i " + std::string(c.source).replace(std::string(c.source).find("SIZE"), 4, size)
        + " -frames:v 1 " + c.extraArgs + " " + image));

    const Converted r = Convert(image, image + ".yuv");
    ASSERT_EQ(r.ret, 0);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    ASSERT_EQ(r.format, c.expectedCode);

    const std::size_t n = static_cast<std::size_t>(c.width) * c.height;
    // Chroma planes of odd sizes are rounded up.
    const std::size_t chroma = c.expectedCode == 106 ? n : static_cast<std::size_t>((c.width + 1) / 2) * ((c.height + 1) / 2);
    const auto written = ReadBytes(image + ".yuv");
    ASSERT_EQ(written.size(), n + 2 * chroma);
    // Check the middle of each plane, away from any edge filtering.
    const auto near = [](int actual, int expected) { return std::abs(actual - expected) <= 3; };
    EXPECT_PRED2(near, written[n / 2 + c.width / 2], c.y);
    EXPECT_PRED2(near, written[n + chroma / 2], c.u);
    EXPECT_PRED2(near, written[n + chroma + chroma / 2], c.v);
}

INSTANTIATE_TEST_SUITE_P(Images, ImageTest,
    ::testing::Values(
        // RGB and grey pictures become video-range YUV.
        ImageCase{"png_rgb", "red.png", kRed, "", 64, 48, 101, 81, 90, 240},
        ImageCase{"bmp_bgr", "red.bmp", kRed, "", 64, 48, 101, 81, 90, 240},
        ImageCase{"gif", "red.gif", kRed, "", 64, 48, 101, 81, 90, 240},
        ImageCase{"png_grey", "white.png", "nullsrc=s=SIZE,format=gray,geq=lum=255", "", 64, 48, 101, 235, 128, 128},
        ImageCase{"png_odd", "red_odd.png", kRed, "", 33, 17, 101, 81, 90, 240},
        // JPEG keeps its full-range samples.
        ImageCase{"jpeg_420", "red.jpg", kRed, "-pix_fmt yuvj420p -q:v 1", 64, 48, 101, 76, 85, 255},
        ImageCase{"jpeg_444", "red444.jpg", kRed, "-pix_fmt yuvj444p -q:v 1", 64, 48, 106, 76, 85, 255},
        ImageCase{"jpeg_odd", "red_odd.jpg", kRed, "-pix_fmt yuvj420p -q:v 1", 33, 17, 101, 76, 85, 255}),
    [](const ::testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.name); });

// Files that are not decodable video: nothing is reported and nothing is
// left behind.
struct NotMediaCase {
    const char* name;
    const char* file;
    std::string (*make)(const MediaDir&, const std::string& path);
};

std::string MakeNothing(const MediaDir&, const std::string&) { return {}; }
std::string MakeEmpty(const MediaDir&, const std::string& path)
{
    WriteBytes(path, {});
    return path;
}
std::string MakeShortText(const MediaDir&, const std::string& path)
{
    const std::string text = "hello\nthis is not a video\n";
    WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
    return path;
}
// Long text is what FFmpeg's text-art demuxer claims as video.
std::string MakeLongText(const MediaDir&, const std::string& path)
{
    std::string text;
    for (int i = 0; i < 4000; ++i)
        text += std::to_string(i) + " lorem ipsum\n";
    WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
    return path;
}
std::string MakeAudio(const MediaDir&, const std::string& path)
{
    RunFfmpeg("-f lavfi -i sine=frequency=440:duration=0.5 " + path);
    return path;
}
std::string MakeTruncatedVideo(const MediaDir& dir, const std::string& path)
{
    RunFfmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -t 0.2 -c:v ffv1 " + dir.Path("whole.mkv"));
    auto bytes = ReadBytes(dir.Path("whole.mkv"));
    bytes.resize(std::min<std::size_t>(bytes.size(), 64));
    std::remove(dir.Path("whole.mkv").c_str());
    WriteBytes(path, bytes);
    return path;
}

class NotMediaTest : public ::testing::TestWithParam<NotMediaCase> {};

TEST_P(NotMediaTest, FailsWithValuesUntouchedAndNoOutput)
{
    const NotMediaCase& c = GetParam();
    MediaDir dir;
    const std::string input = dir.Path(c.file);
    const std::string made = c.make(dir, input);
    const std::string out = input + ".yuv";

    const Converted r = Convert(input, out);
    EXPECT_LT(r.ret, 0);
    EXPECT_EQ(r.width, -1);
    EXPECT_EQ(r.height, -1);
    EXPECT_EQ(r.format, 0);
    EXPECT_FALSE(Exists(out));
    if (made.empty())
        EXPECT_TRUE(dir.Names().empty());
    else
        EXPECT_TRUE(OnlyFiles(dir, {c.file}));
}

INSTANTIATE_TEST_SUITE_P(Inputs, NotMediaTest,
    ::testing::Values(
        NotMediaCase{"missing", "missing.mp4", &MakeNothing},
        NotMediaCase{"empty", "empty.mp4", &MakeEmpty},
        NotMediaCase{"short_text", "note.txt", &MakeShortText},
        NotMediaCase{"long_text", "long.txt", &MakeLongText},
        NotMediaCase{"audio_only", "tone.wav", &MakeAudio},
        NotMediaCase{"truncated_header", "cut.mkv", &MakeTruncatedVideo}),
    [](const ::testing::TestParamInfo<NotMediaCase>& info) { return std::string(info.param.name); });

TEST(LumoReaderTest, FailedConversionKeepsAnEarlierResult)
{
    MediaDir dir;
    MakeShortText(dir, dir.Path("note.txt"));
    const std::vector<std::uint8_t> earlier{1, 2, 3, 4};
    WriteBytes(dir.Path("note.txt.yuv"), earlier);
    EXPECT_LT(Convert(dir.Path("note.txt"), dir.Path("note.txt.yuv")).ret, 0);
    EXPECT_EQ(ReadBytes(dir.Path("note.txt.yuv")), earlier);
}

TEST(LumoReaderTest, OutputInAMissingFolderFails)
{
    MediaDir dir;
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -t 0.2 -c:v ffv1 " + dir.Path("a.mkv")));
    const Converted r = Convert(dir.Path("a.mkv"), dir.Path("no/such/dir/a.yuv"));
    EXPECT_LT(r.ret, 0);
    EXPECT_EQ(r.width, -1);
    EXPECT_TRUE(OnlyFiles(dir, {"a.mkv"}));
}

// A stream whose size changes midway is written at the first frame's size.
TEST(LumoReaderTest, SizeChangeIsScaledToTheFirstFrameSize)
{
    if (!HasEncoder("libx264"))
        GTEST_SKIP() << "libx264 not available";
    MediaDir dir;
    const int w = 64, h = 48, firstFrames = 3;
    const std::size_t frameBytes = w * h * 3 / 2;
    const auto first = NoiseBytes(frameBytes * firstFrames, 5);
    ASSERT_TRUE(WriteBytes(dir.Path("first.raw"), first));
    // Lossless H.264 elementary streams can simply be concatenated.
    ASSERT_TRUE(RunFfmpeg("-f rawvideo -pix_fmt yuv420p -s 64x48 -r 25 -i " + dir.Path("first.raw")
        + " -c:v libx264 -qp 0 -pix_fmt yuv420p -f h264 " + dir.Path("a.h264")));
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i color=c=gray:s=32x24:rate=25 -frames:v 2 -c:v libx264 -qp 0 "
        "-pix_fmt yuv420p -f h264 " + dir.Path("b.h264")));
    auto joined = ReadBytes(dir.Path("a.h264"));
    const auto second = ReadBytes(dir.Path("b.h264"));
    joined.insert(joined.end(), second.begin(), second.end());
    ASSERT_TRUE(WriteBytes(dir.Path("joined.h264"), joined));

    const Converted r = Convert(dir.Path("joined.h264"), dir.Path("joined.yuv"));
    ASSERT_EQ(r.ret, 0);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
    EXPECT_EQ(r.format, Lumer::LUMER_PIX_FMT_YUV420P);
    const auto written = ReadBytes(dir.Path("joined.yuv"));
    ASSERT_EQ(written.size(), frameBytes * (firstFrames + 2));
    EXPECT_TRUE(std::equal(first.begin(), first.end(), written.begin()));
    // The small grey frames fill the whole first-frame geometry.
    const auto tail = written.begin() + static_cast<std::ptrdiff_t>(first.size());
    const auto [lo, hi] = std::minmax_element(tail, written.end());
    EXPECT_LE(*hi - *lo, 2);
}

// Two conversions at once on two threads, each into its own file.
TEST(LumoReaderTest, ConcurrentConversionsEachWriteTheirOwnOutput)
{
    MediaDir dir;
    const std::size_t frameBytes = 96 * 64 * 3 / 2;
    const int frames = 40;
    const auto a = NoiseBytes(frameBytes * frames, 1);
    const auto b = NoiseBytes(frameBytes * frames, 2);
    ASSERT_TRUE(WriteBytes(dir.Path("a.raw"), a));
    ASSERT_TRUE(WriteBytes(dir.Path("b.raw"), b));
    for (const char* name : {"a", "b"}) {
        ASSERT_TRUE(RunFfmpeg("-f rawvideo -pix_fmt yuv420p -s 96x64 -r 25 -i " + dir.Path(std::string(name) + ".raw")
            + " -c:v ffv1 " + dir.Path(std::string(name) + ".mkv")));
    }

    auto first = std::async(std::launch::async, [&] { return Convert(dir.Path("a.mkv"), dir.Path("a.mkv.yuv")); });
    auto second = std::async(std::launch::async, [&] { return Convert(dir.Path("b.mkv"), dir.Path("b.mkv.yuv")); });
    const Converted ra = first.get();
    const Converted rb = second.get();
    ASSERT_EQ(ra.ret, 0);
    ASSERT_EQ(rb.ret, 0);
    EXPECT_TRUE(ReadBytes(dir.Path("a.mkv.yuv")) == a);
    EXPECT_TRUE(ReadBytes(dir.Path("b.mkv.yuv")) == b);
}

// The stop request comes as soon as the output appears, long before the
// clip's last frame.
TEST(LumoReaderTest, StopRequestRemovesThePartialOutput)
{
    MediaDir dir;
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 20 -c:v ffv1 -f nut " + dir.Path("clip.nut")));
    const std::string out = dir.Path("clip.nut.yuv");

    auto conversion = std::async(std::launch::async, [&] { return Convert(dir.Path("clip.nut"), out); });

    // Wait until the reader writes frames, i.e. some file besides the input.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline) {
        for (const auto& name : dir.Names())
            writing = writing || name != "clip.nut";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(writing);

    lumo::LumoReader::RequestStopAll();
    struct ClearOnExit {
        ~ClearOnExit() { lumo::LumoReader::ClearStopRequest(); }
    } clearOnExit;

    const Converted r = conversion.get();
    EXPECT_EQ(r.ret, lumo::LumoReader::kErrorStopped);
    EXPECT_EQ(r.width, -1);
    EXPECT_EQ(r.height, -1);
    EXPECT_FALSE(Exists(out));
    EXPECT_TRUE(OnlyFiles(dir, {"clip.nut"}));

    // The request holds for calls that start later, until it is cleared.
    EXPECT_EQ(Convert(dir.Path("clip.nut"), out).ret, lumo::LumoReader::kErrorStopped);
    EXPECT_FALSE(Exists(out));
    lumo::LumoReader::ClearStopRequest();
    const Converted again = Convert(dir.Path("clip.nut"), out);
    EXPECT_EQ(again.ret, 0);
    EXPECT_EQ(again.width, 160);
    EXPECT_TRUE(Exists(out));
}

// Writing over the input would destroy it while it is being read.
TEST(LumoReaderTest, OutputOntoTheInputIsRefused)
{
    MediaDir dir;
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -t 0.2 -c:v ffv1 " + dir.Path("a.mkv")));
    const auto before = ReadBytes(dir.Path("a.mkv"));
    const Converted r = Convert(dir.Path("a.mkv"), dir.Path("./a.mkv"));
    EXPECT_LT(r.ret, 0);
    EXPECT_EQ(r.width, -1);
    EXPECT_EQ(ReadBytes(dir.Path("a.mkv")), before);
    EXPECT_TRUE(OnlyFiles(dir, {"a.mkv"}));
}

} // namespace

namespace {

// Byte offset and size of every packet of the first video stream.
std::vector<std::pair<long, long>> PacketSpans(const std::string& path)
{
    std::vector<std::pair<long, long>> spans;
    const std::string cmd = "ffprobe -v quiet -select_streams v:0 -show_entries packet=pos,size -of csv=p=0 " + path;
    std::FILE* in = ::popen(cmd.c_str(), "r");
    if (!in)
        return spans;
    long pos = 0, size = 0;
    // ffprobe prints the fields in its own order: size first.
    while (std::fscanf(in, "%ld,%ld", &size, &pos) == 2)
        spans.emplace_back(pos, size);
    ::pclose(in);
    return spans;
}

} // namespace

// A FIFO has no writer here: opening it as media would wait forever.
TEST(LumoReaderTest, AnythingButARegularFileIsRefusedAtOnce)
{
    MediaDir dir;
    const std::string fifo = dir.Path("pipe.mp4");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::mkdir(dir.Path("folder.mp4").c_str(), 0700);
    for (const std::string& input : {fifo, dir.Path("folder.mp4"), std::string("/dev/zero")}) {
        SCOPED_TRACE(input);
        const std::string out = dir.Path("out.yuv");
        auto conversion = std::async(std::launch::async, [&] { return Convert(input, out); });
        if (conversion.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "still waiting";
            // A writer that comes and goes releases a reader stuck in open().
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        }
        const Converted r = conversion.get();
        EXPECT_EQ(r.ret, lumo::LumoReader::kErrorOpen);
        EXPECT_EQ(r.width, -1);
        EXPECT_TRUE(OnlyFiles(dir, {"pipe.mp4", "folder.mp4"}));
    }
}

// FFmpeg reads "pipe:0" as standard input and "take1:final.png" as an
// address with an unknown protocol; here both are names of files.
TEST(LumoReaderTest, NamesThatLookLikeAddressesAreLocalFiles)
{
    MediaDir dir;
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i color=c=red:s=64x48 -frames:v 1 -f image2 -c:v png " + dir.Path("pipe:0")));
    std::filesystem::copy_file(dir.Path("pipe:0"), dir.Path("take1:final.png"));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path(""));
    const Converted pipe = Convert("pipe:0", "pipe.yuv");
    const Converted take = Convert("take1:final.png", "take1:final.yuv");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(pipe.ret, 0);
    EXPECT_EQ(pipe.width, 64);
    EXPECT_EQ(take.ret, 0);
    EXPECT_EQ(take.height, 48);
    EXPECT_EQ(ReadBytes(dir.Path("pipe.yuv")).size(), 64u * 48 * 3 / 2);
    EXPECT_EQ(ReadBytes(dir.Path("take1:final.yuv")), ReadBytes(dir.Path("pipe.yuv")));
}

// Key frames every 4 frames; the key frame at 8 is damaged. After reporting
// the damage the decoder refuses the next packets with EAGAIN until its
// frames are taken: the group from frame 12 on must still come out, as it
// does from the undamaged clip.
TEST(LumoReaderTest, FramesAfterADamagedKeyFrameAreStillWritten)
{
    if (!HasEncoder("libaom-av1"))
        GTEST_SKIP() << "libaom-av1 not available";
    MediaDir dir;
    const std::string clean = dir.Path("clean.mkv");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc=size=192x144:rate=25 -frames:v 16 -pix_fmt yuv420p "
        "-c:v libaom-av1 -cpu-used 8 -g 4 -b:v 200k " + clean));
    const auto spans = PacketSpans(clean);
    ASSERT_EQ(spans.size(), 16u);
    auto bytes = ReadBytes(clean);
    const std::size_t at = static_cast<std::size_t>(spans[8].first + spans[8].second / 10);
    ASSERT_LE(at + 16, bytes.size());
    for (std::size_t i = at; i < at + 16; ++i)
        bytes[i] = static_cast<std::uint8_t>(bytes[i] * 7 + 13);
    ASSERT_TRUE(WriteBytes(dir.Path("damaged.mkv"), bytes));

    ASSERT_EQ(Convert(clean, dir.Path("clean.yuv")).ret, 0);
    ASSERT_EQ(Convert(dir.Path("damaged.mkv"), dir.Path("damaged.yuv")).ret, 0);
    const std::size_t frameBytes = 192 * 144 * 3 / 2;
    const auto whole = ReadBytes(dir.Path("clean.yuv"));
    const auto damaged = ReadBytes(dir.Path("damaged.yuv"));
    ASSERT_EQ(whole.size(), 16 * frameBytes);
    ASSERT_GE(damaged.size(), 4 * frameBytes);
    EXPECT_TRUE(std::equal(whole.end() - 4 * frameBytes, whole.end(), damaged.end() - 4 * frameBytes))
        << damaged.size() / frameBytes << " frames written";
}

// Files that name other files are refused before anything is read from
// those, whatever their own name says; a plain clip beside them converts,
// and a picture whose name looks like a sequence pattern is just that file.
TEST(LumoReaderTest, ListsOfOtherFilesAreRefused)
{
    MediaDir dir;
    const std::string clip = dir.Path("other.ts");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 -c:v mpeg2video " + clip));
    std::filesystem::copy_file(clip, dir.Path("sibling.mp4"));
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i color=c=red:s=32x16 -frames:v 1 -c:v png " + dir.Path("img001.png")));
    std::filesystem::copy_file(dir.Path("img001.png"), dir.Path("img002.png"));
    std::filesystem::copy_file(dir.Path("img001.png"), dir.Path("img%03d.png"));
    const std::string hls = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\n#EXT-X-MEDIA-SEQUENCE:0\n"
                            "#EXTINF:10.0,\n" + clip + "\n#EXT-X-ENDLIST\n";
    const std::string concat = "ffconcat version 1.0\nfile 'sibling.mp4'\n";
    ASSERT_TRUE(WriteBytes(dir.Path("holiday.mp4"), std::vector<std::uint8_t>(hls.begin(), hls.end())));
    ASSERT_TRUE(WriteBytes(dir.Path("film.avi"), std::vector<std::uint8_t>(concat.begin(), concat.end())));
    ASSERT_TRUE(WriteBytes(dir.Path("list.ffconcat"), std::vector<std::uint8_t>(concat.begin(), concat.end())));

    struct Case {
        const char* file;
        int ret;
        std::size_t bytes;
    } cases[] = {
        {"holiday.mp4", lumo::LumoReader::kErrorNamesOtherFiles, 0},
        {"film.avi", lumo::LumoReader::kErrorNamesOtherFiles, 0},
        {"list.ffconcat", lumo::LumoReader::kErrorNamesOtherFiles, 0},
        {"other.ts", 0, 3 * 64 * 48 * 3 / 2},
        {"img%03d.png", 0, 32 * 16 * 3 / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string out = dir.Path(std::string(c.file) + ".yuv");
        const Converted r = Convert(dir.Path(c.file), out);
        EXPECT_EQ(r.ret, c.ret);
        EXPECT_EQ(Exists(out), c.bytes > 0);
        EXPECT_EQ(ReadBytes(out).size(), c.bytes);
    }
}

// Sizes over the largest frame are refused from what the file states, before
// a frame is decoded; so is a PNG too short for the picture it claims.
TEST(LumoReaderTest, OversizedPicturesAreRefusedBeforeDecoding)
{
    MediaDir dir;
    auto png = [](uint32_t w, uint32_t h) {
        std::vector<std::uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
        for (uint32_t v : {w, h})
            for (int s = 24; s >= 0; s -= 8)
                b.push_back(static_cast<std::uint8_t>(v >> s));
        // 8-bit RGB, CRCs left zero, then the end chunk: no picture data.
        const std::vector<std::uint8_t> rest = {8, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0, 0, 0, 0};
        b.insert(b.end(), rest.begin(), rest.end());
        return b;
    };
    const std::string y4m = "YUV4MPEG2 W16385 H16 F25:1 C420jpeg\nFRAME\n";
    ASSERT_TRUE(WriteBytes(dir.Path("wide.png"), png(20000, 10)));
    ASSERT_TRUE(WriteBytes(dir.Path("claims.png"), png(16000, 16000)));
    ASSERT_TRUE(WriteBytes(dir.Path("wide.y4m"), std::vector<std::uint8_t>(y4m.begin(), y4m.end())));
    struct Case {
        const char* file;
        int ret;
    } cases[] = {
        {"wide.png", lumo::LumoReader::kErrorTooLarge},
        {"wide.y4m", lumo::LumoReader::kErrorTooLarge},
        {"claims.png", lumo::LumoReader::kErrorDecode},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Converted r = Convert(dir.Path(c.file), dir.Path(std::string(c.file) + ".yuv"));
        EXPECT_EQ(r.ret, c.ret);
        EXPECT_FALSE(Exists(dir.Path(std::string(c.file) + ".yuv")));
    }
}

// Huge frames are converted in bands of rows; the bands must give the bytes
// of a whole-frame conversion, for subsampled, odd-size, deep, grey and
// paletted inputs (a small band budget makes small frames take that path).
TEST(LumoReaderTest, ConversionInBandsEqualsWholeFrames)
{
    MediaDir dir;
    struct Case {
        const char* file;
        const char* args;
    } cases[] = {
        {"rgb.png", "-f lavfi -i testsrc2=size=96x200 -frames:v 1 -pix_fmt rgb24"},
        {"odd.mkv", "-f lavfi -i testsrc2=size=33x171 -frames:v 2 -pix_fmt yuv420p -c:v ffv1"},
        {"deep.nut", "-f lavfi -i testsrc2=size=64x130 -frames:v 2 -pix_fmt yuv420p10be -c:v rawvideo"},
        {"grey.png", "-f lavfi -i testsrc2=size=64x150 -frames:v 1 -pix_fmt gray16be"},
        {"pal.png", "-f lavfi -i testsrc2=size=48x120 -frames:v 1 -pix_fmt pal8"},
        {"full.mkv", "-f lavfi -i testsrc2=size=40x100 -frames:v 1 -pix_fmt yuvj440p -c:v ffv1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string input = dir.Path(c.file);
        ASSERT_TRUE(RunFfmpeg(std::string(c.args) + " " + input));
        lumo::MediaConversion whole(input, input + ".whole");
        lumo::MediaConversion banded(input, input + ".bands", 1);
        ASSERT_EQ(whole.Run(), 0);
        ASSERT_EQ(banded.Run(), 0);
        EXPECT_EQ(banded.Code(), whole.Code());
        const auto expected = ReadBytes(input + ".whole");
        EXPECT_FALSE(expected.empty());
        EXPECT_TRUE(ReadBytes(input + ".bands") == expected);
    }
}
