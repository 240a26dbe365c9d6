#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "yuv/LumoYuvReader.h"
#include "yuv/RawFrameSource.h"
#include "yuv/YuvGuess.h"
#include "yuv/YuvTypeTable.h"

using lumo::LumoYuvReader;
using lumo::Y4mStatus;
using Bytes = std::vector<uint8_t>;

namespace {

std::string TmpPath(const std::string& name)
{
    const char* dir = std::getenv("LUMO_TEST_TMP");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + name;
}

Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Append(Bytes& bytes, const std::string& text)
{
    bytes.insert(bytes.end(), text.begin(), text.end());
}

bool Ffmpeg(const std::string& args)
{
    return std::system(("ffmpeg -hide_banner -nostdin -loglevel error -y " + args).c_str()) == 0;
}

Bytes Raw(const LumoYuvReader& reader, int frame)
{
    int64_t got = 0;
    std::unique_ptr<uint8_t[]> raw(reader.ReadFrameRaw(nullptr, &got, frame * reader.GetFrameSize()));
    return raw ? Bytes(raw.get(), raw.get() + reader.GetFrameSize()) : Bytes();
}

Bytes Native(const LumoYuvReader& reader, int frame)
{
    int64_t got = 0;
    std::unique_ptr<uint16_t[]> planes(reader.ReadFrameYUV444Native(nullptr, &got, frame * reader.GetFrameSize()));
    if (!planes)
        return {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(planes.get());
    return Bytes(bytes, bytes + got);
}

Bytes Rgb(const LumoYuvReader& reader, int frame)
{
    int64_t got = 0;
    std::unique_ptr<uint8_t[]> rgb(reader.ReadFrameRGB24(nullptr, &got, frame * reader.GetFrameSize()));
    return rgb ? Bytes(rgb.get(), rgb.get() + got) : Bytes();
}

// A Y4M stream: the header line, then each frame behind "FRAME" and its
// parameters.
Bytes MakeY4m(const std::string& header, const Bytes& frames, int64_t frameSize,
              const std::vector<std::string>& params)
{
    Bytes out;
    Append(out, header + "\n");
    for (size_t i = 0; i * frameSize < frames.size(); ++i) {
        Append(out, "FRAME" + params[i % params.size()] + "\n");
        const auto begin = frames.begin() + static_cast<int64_t>(i) * frameSize;
        out.insert(out.end(), begin, begin + std::min<int64_t>(frameSize, frames.end() - begin));
    }
    return out;
}

} // namespace

// Every supported colour tag, written by ffmpeg next to the same frames as
// raw video: the Y4M file reads exactly like its raw twin.
TEST(Y4m, FfmpegFilesReadSampleForSampleLikeTheirRawTwins)
{
    const struct {
        const char* pixFmt;
        const char* type;
    } formats[] = {
        {"yuv420p", "YUV_TYPE_I420"},     {"yuv422p", "YUV_TYPE_I422"},     {"yuv444p", "YUV_TYPE_I444"},
        {"yuv420p10le", "YUV_TYPE_I010"}, {"yuv422p10le", "YUV_TYPE_I210"}, {"yuv444p10le", "YUV_TYPE_I410"},
        {"yuv420p12le", "YUV_TYPE_I012"}, {"yuv420p16le", "YUV_TYPE_I016"},
    };
    // Odd sizes too: FFmpeg rounds chroma planes up, and so does the reader.
    const struct {
        int w, h;
    } sizes[] = {{50, 34}, {33, 17}, {34, 17}, {1, 1}};
    for (const auto& size : sizes)
    for (const auto& format : formats) {
        SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h));
        // FFmpeg 5.1's Y4M muxer writes each chroma row of 16-bit samples
        // one byte short at odd widths (33 bytes for 17 samples); its own
        // demuxer cannot read such a file back either.
        if ((size.w & 1) && std::string(format.pixFmt).find("p1") != std::string::npos)
            continue;
        const std::string y4m = TmpPath(std::string("ff_") + format.pixFmt + ".y4m");
        const std::string raw = TmpPath(std::string("ff_") + format.pixFmt + ".yuv");
        // (testsrc2 cuts odd sizes down to even ones; testsrc keeps them.)
        const std::string pattern = (size.w | size.h) & 1 ? "testsrc" : "testsrc2";
        const std::string source = "-f lavfi -i " + pattern + "=size=" + std::to_string(size.w) + "x" +
                                   std::to_string(size.h) + ":rate=5 -frames:v 4 -pix_fmt " +
                                   std::string(format.pixFmt) + " -strict -1 ";
        ASSERT_TRUE(Ffmpeg(source + "-f yuv4mpegpipe " + y4m)) << format.pixFmt;
        ASSERT_TRUE(Ffmpeg(source + "-f rawvideo " + raw)) << format.pixFmt;

        const lumo::YuvGuess guess = lumo::GuessFile(y4m);
        ASSERT_TRUE(guess.isY4m) << format.pixFmt;
        EXPECT_EQ(guess.y4m.status, Y4mStatus::Ok) << format.pixFmt;
        EXPECT_EQ(guess.sizeFrom, lumo::GuessSource::Header);
        EXPECT_EQ(guess.width, size.w);
        EXPECT_EQ(guess.height, size.h);
        EXPECT_EQ(guess.type, format.type);

        const LumoYuvReader fromY4m(y4m, size.w, size.h, format.type);
        const LumoYuvReader fromRaw(raw, size.w, size.h, format.type);
        EXPECT_EQ(static_cast<int64_t>(ReadAll(raw).size()), 4 * fromRaw.GetFrameSize()) << format.pixFmt;
        ASSERT_EQ(fromY4m.GetFrameCount(), 4) << format.pixFmt;
        EXPECT_EQ(fromY4m.GetDataSize(), 4 * fromY4m.GetFrameSize());
        const Bytes rawBytes = ReadAll(raw);
        for (int f = 0; f < 4; ++f) {
            const auto begin = rawBytes.begin() + f * fromRaw.GetFrameSize();
            EXPECT_EQ(Raw(fromY4m, f), Bytes(begin, begin + fromRaw.GetFrameSize())) << format.pixFmt << f;
            EXPECT_EQ(Native(fromY4m, f), Native(fromRaw, f)) << format.pixFmt << f;
            EXPECT_EQ(Rgb(fromY4m, f), Rgb(fromRaw, f)) << format.pixFmt << f;
        }
        // A reader that states another geometry gets nothing from the file.
        const LumoYuvReader wrong(y4m, size.h, size.w + 1, format.type);
        EXPECT_EQ(wrong.GetFrameCount(), -1);
        EXPECT_TRUE(Raw(wrong, 0).empty());
    }
}

// Raw frames of odd size in each layout FFmpeg writes: FFmpeg's frame size,
// and at every pixel the reader's samples are those of FFmpeg's own planes
// (extractplanes), chroma sample (x/2, y/2) of planes rounded up (x/2 and y
// for 4:2:2). FFmpeg's scaler is no reference here: at odd sizes its
// nearest-neighbour chroma follows the ratio of the plane widths (17 to 33),
// not the pixel pairs.
TEST(FfmpegLayouts, OddSizesReadAsFfmpegsOwnPlanes)
{
    const struct {
        const char* pixFmt;
        const char* type;
    } formats[] = {
        {"yuv420p", "YUV_TYPE_I420"},     {"nv12", "YUV_TYPE_NV12"},        {"nv21", "YUV_TYPE_NV21"},
        {"yuv422p", "YUV_TYPE_I422"},     {"yuyv422", "YUV_TYPE_YUYV"},     {"uyvy422", "YUV_TYPE_UYVY"},
        {"yuv444p", "YUV_TYPE_I444"},     {"nv24", "YUV_TYPE_NV24"},        {"nv42", "YUV_TYPE_NV42"},
        {"yuv420p10le", "YUV_TYPE_I010"}, {"yuv422p10le", "YUV_TYPE_I210"}, {"yuv444p10le", "YUV_TYPE_I410"},
        {"yuv420p12le", "YUV_TYPE_I012"}, {"yuv420p16le", "YUV_TYPE_I016"}, {"p010le", "YUV_TYPE_P010"},
        {"p016le", "YUV_TYPE_P016"},
    };
    const struct {
        int w, h;
    } sizes[] = {{33, 17}, {1, 1}};
    const int frames = 2;
    const std::string raw = TmpPath("odd_ff.yuv");
    const std::string plane[3] = {TmpPath("odd_ff_y.raw"), TmpPath("odd_ff_u.raw"), TmpPath("odd_ff_v.raw")};
    for (const auto& size : sizes) {
        const std::string dims = std::to_string(size.w) + "x" + std::to_string(size.h);
        for (const auto& format : formats) {
            SCOPED_TRACE(dims + " " + format.pixFmt);
            ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=" + dims + " -pix_fmt " + format.pixFmt + " -frames " +
                               std::to_string(frames) + " -f rawvideo " + raw));
            ASSERT_TRUE(Ffmpeg("-f rawvideo -pix_fmt " + std::string(format.pixFmt) + " -s " + dims + " -i " + raw +
                               " -filter_complex extractplanes=y+u+v[y][u][v] -map [y] -f rawvideo " + plane[0] +
                               " -map [u] -f rawvideo " + plane[1] + " -map [v] -f rawvideo " + plane[2]));
            const lumo::YuvTypeInfo* info = lumo::YuvTypeTable::Instance().Find(format.type);
            ASSERT_TRUE(info);
            const LumoYuvReader reader(raw, size.w, size.h, format.type);
            EXPECT_EQ(static_cast<int64_t>(ReadAll(raw).size()), frames * reader.GetFrameSize());
            EXPECT_EQ(reader.GetFrameCount(), frames);

            // FFmpeg's plane sizes are the rounded-up ones.
            const int cw = lumo::ChromaWidth(info->chroma, size.w);
            const int ch = lumo::ChromaHeight(info->chroma, size.h);
            const int64_t n = int64_t{size.w} * size.h;
            const int64_t planeSamples[3] = {n, int64_t{cw} * ch, int64_t{cw} * ch};
            Bytes planes[3];
            for (int p = 0; p < 3; ++p) {
                planes[p] = ReadAll(plane[p]);
                ASSERT_EQ(static_cast<int64_t>(planes[p].size()), frames * planeSamples[p] * info->sampleBytes)
                    << "plane " << p;
            }
            const int sx = info->chroma == lumo::YuvChroma::C444 ? 0 : 1;
            const int sy = info->chroma == lumo::YuvChroma::C420 ? 1 : 0;
            // FFmpeg's sample as stored: P010 keeps its bits high in the word.
            auto sample = [&](int p, int64_t at) {
                const Bytes& b = planes[p];
                const unsigned word = info->sampleBytes == 1 ? b[at] : b[2 * at] | (b[2 * at + 1] << 8);
                return (word >> info->bitShift) & ((1u << info->bitDepth) - 1);
            };
            for (int f = 0; f < frames; ++f) {
                int64_t got = 0;
                std::unique_ptr<uint16_t[]> native(
                    reader.ReadFrameYUV444Native(nullptr, &got, f * reader.GetFrameSize()));
                ASSERT_TRUE(native);
                int mismatches = 0;
                for (int y = 0; y < size.h; ++y)
                    for (int x = 0; x < size.w; ++x) {
                        const int64_t i = int64_t{y} * size.w + x;
                        const int64_t c = int64_t{y >> sy} * cw + (x >> sx);
                        mismatches += native[i] != sample(0, f * n + i);
                        mismatches += native[n + i] != sample(1, f * planeSamples[1] + c);
                        mismatches += native[2 * n + i] != sample(2, f * planeSamples[2] + c);
                    }
                EXPECT_EQ(mismatches, 0) << "frame " << f;
            }
        }
    }
}

// FRAME headers with parameters of different lengths, a truncated last
// frame, a file rewritten under the same name, and several threads reading
// the same file with their own reader copies.
TEST(Y4m, FrameParametersTruncationRewritesAndThreads)
{
    const std::string raw = TmpPath("params.yuv");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=32x18:rate=5 -frames:v 6 -pix_fmt yuv420p -f rawvideo " + raw));
    const Bytes frames = ReadAll(raw);
    const int64_t frameSize = 32 * 18 * 3 / 2;
    ASSERT_EQ(frames.size(), 6u * frameSize);

    const std::string path = TmpPath("params.y4m");
    const std::string header = "YUV4MPEG2 W32 H18 F25:1 Ip A1:1 XCOMMENT=hand-made";
    Bytes file = MakeY4m(header, frames, frameSize, {" Ip XA=1", "", " Ib X" + std::string(300, 'z'), " It"});
    // The last frame loses 100 bytes: counted, read padded with zeros.
    file.resize(file.size() - 100);
    WriteAll(path, file);
    Bytes expected(frames.begin(), frames.end() - 100);
    expected.resize(frames.size(), 0);

    const LumoYuvReader reader(path, 32, 18, "YUV_TYPE_I420");
    ASSERT_EQ(reader.GetFrameCount(), 6);
    EXPECT_EQ(reader.GetDataSize(), 6 * frameSize - 100);
    const LumoYuvReader twin(raw, 32, 18, "YUV_TYPE_I420");
    lumo::RawFrameSource source(reader);
    Bytes read(static_cast<size_t>(frameSize));
    EXPECT_FALSE(source.ReadFrame(6, read.data())); // past the end
    for (int f = 0; f < 6; ++f) {
        const auto begin = expected.begin() + f * frameSize;
        EXPECT_EQ(Raw(reader, f), Bytes(begin, begin + frameSize)) << f;
        ASSERT_TRUE(source.ReadFrame(f, read.data())) << f;
        EXPECT_EQ(read, Bytes(begin, begin + frameSize)) << f;
        if (f < 5) {
            EXPECT_EQ(Rgb(reader, f), Rgb(twin, f)) << f;
        }
    }
    int64_t got = -1;
    EXPECT_EQ(reader.ReadFrameYUV444(nullptr, &got, 6 * frameSize), nullptr);
    EXPECT_EQ(got, 0);

    // Cut inside a FRAME header: that frame does not exist.
    const std::string cut = TmpPath("cut.y4m");
    Bytes cutFile = MakeY4m(header, Bytes(frames.begin(), frames.begin() + 2 * frameSize), frameSize, {""});
    Append(cutFile, "FRA");
    WriteAll(cut, cutFile);
    EXPECT_EQ(LumoYuvReader(cut, 32, 18, "YUV_TYPE_I420").GetFrameCount(), 2);

    // Same path, new content: the index follows the file.
    WriteAll(path, MakeY4m(header, Bytes(frames.begin(), frames.begin() + 3 * frameSize), frameSize, {" Ib", ""}));
    ASSERT_EQ(reader.GetFrameCount(), 3);
    EXPECT_EQ(Raw(reader, 2), Bytes(frames.begin() + 2 * frameSize, frames.begin() + 3 * frameSize));

    // A fresh file read by four threads at once, each with its own copy.
    const std::string shared = TmpPath("shared.y4m");
    WriteAll(shared, MakeY4m(header, frames, frameSize, {"", " Ip", " XYZ=12345"}));
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const LumoYuvReader copy(shared, 32, 18, "YUV_TYPE_I420");
            for (int round = 0; round < 20; ++round) {
                const int f = (round + t) % 6;
                const auto begin = frames.begin() + f * frameSize;
                mismatches[t] += Raw(copy, f) != Bytes(begin, begin + frameSize);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// More frames than the index keeps places for, with FRAME headers of two
// lengths: the index thins its places and walks the headers between them.
TEST(Y4m, IrregularFileWithMillionsOfFrames)
{
    const int frames = (1 << 21) + 7;
    Bytes file;
    file.reserve(static_cast<size_t>(frames) * 14 + 64);
    Append(file, "YUV4MPEG2 W2 H2 C420\n");
    for (int f = 0; f < frames; ++f) {
        Append(file, f % 3 == 0 ? "FRAME I\n" : "FRAME\n");
        for (int b = 0; b < 6; ++b)
            file.push_back(static_cast<uint8_t>((f >> (b * 4)) & 0xff));
    }
    const std::string path = TmpPath("million.y4m");
    WriteAll(path, file);
    const LumoYuvReader reader(path, 2, 2, "YUV_TYPE_I420");
    ASSERT_EQ(reader.GetFrameCount(), frames);
    for (int f : {0, 1, 2, 3, 1 << 20, (1 << 20) + 1, (1 << 21) - 1, frames - 2, frames - 1}) {
        Bytes expected;
        for (int b = 0; b < 6; ++b)
            expected.push_back(static_cast<uint8_t>((f >> (b * 4)) & 0xff));
        EXPECT_EQ(Raw(reader, f), expected) << f;
    }
    std::remove(path.c_str());
}

// Damaged files: a clear status, no geometry, and readers get nothing.
TEST(Y4m, DamagedFilesAreRefusedWithAReason)
{
    const Bytes frame(6 * 4 * 3 / 2, 0x55);
    auto withFrame = [&](const std::string& header) {
        Bytes bytes;
        Append(bytes, header);
        Append(bytes, "FRAME\n");
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        return bytes;
    };
    Bytes binary;
    Append(binary, "YUV4MPEG2 W6 H4 \x01\x02\x7f C420\n");
    Bytes badSecond = withFrame("YUV4MPEG2 W6 H4\n");
    Append(badSecond, "FRAMX\n");
    badSecond.insert(badSecond.end(), frame.begin(), frame.end());
    Bytes longFrameHeader;
    Append(longFrameHeader, "YUV4MPEG2 W6 H4\nFRAME " + std::string(5000, 'p') + "\n");

    const struct {
        const char* what;
        Bytes bytes;
        Y4mStatus status;
    } cases[] = {
        {"no end of line", Bytes{'Y', 'U', 'V', '4', 'M', 'P', 'E', 'G', '2', ' ', 'W', '6'}, Y4mStatus::Unterminated},
        {"very long", withFrame("YUV4MPEG2 W6 H4 X" + std::string(5000, 'a') + "\n"), Y4mStatus::HeaderTooLong},
        {"binary", binary, Y4mStatus::BinaryHeader},
        {"no width", withFrame("YUV4MPEG2 H4\n"), Y4mStatus::MissingSize},
        {"zero height", withFrame("YUV4MPEG2 W6 H0\n"), Y4mStatus::MissingSize},
        {"width not a number", withFrame("YUV4MPEG2 W6a H4\n"), Y4mStatus::BadSize},
        {"width too large", withFrame("YUV4MPEG2 W16386 H4\n"), Y4mStatus::BadSize},
        {"mono", withFrame("YUV4MPEG2 W6 H4 Cmono\n"), Y4mStatus::UnsupportedColour},
        {"alpha", withFrame("YUV4MPEG2 W6 H4 C444alpha\n"), Y4mStatus::UnsupportedColour},
        {"9 bits", withFrame("YUV4MPEG2 W6 H4 C420p9\n"), Y4mStatus::UnsupportedColour},
        {"second FRAME damaged", badSecond, Y4mStatus::BadFrameHeader},
        {"FRAME header too long", longFrameHeader, Y4mStatus::BadFrameHeader},
        {"larger than the file", withFrame("YUV4MPEG2 W16000 H16000\n"), Y4mStatus::FrameLargerThanFile},
        {"sound", withFrame("YUV4MPEG2 W6 H4 F30000:1001 Ip A0:0 C420mpeg2 XYSCSS=420MPEG2\n"), Y4mStatus::Ok},
        {"header only", Bytes{'Y', 'U', 'V', '4', 'M', 'P', 'E', 'G', '2', ' ', 'W', '6', ' ', 'H', '4', '\n'},
         Y4mStatus::Ok},
    };
    for (const auto& c : cases) {
        const std::string path = TmpPath("damaged.y4m");
        WriteAll(path, c.bytes);
        lumo::YuvGuess guess = lumo::GuessFile(path);
        ASSERT_TRUE(guess.isY4m) << c.what;
        EXPECT_EQ(guess.y4m.status, c.status) << c.what << ": " << lumo::Y4mStatusText(guess.y4m);
        EXPECT_EQ(guess.Complete(), c.status == Y4mStatus::Ok) << c.what;
        EXPECT_FALSE(lumo::Y4mStatusText(guess.y4m).empty());
        if (c.status != Y4mStatus::Ok) {
            EXPECT_EQ(guess.width, 0) << c.what;
            EXPECT_EQ(LumoYuvReader(path, 6, 4, "YUV_TYPE_I420").GetFrameCount(), -1) << c.what;
        }
    }
    EXPECT_EQ(lumo::Y4mStatusText(lumo::GuessFile(TmpPath("damaged.y4m")).y4m), "a sound Y4M file");
}

// The F tag gives the rate; a header without a usable one leaves the rate to
// the name, and a bad tag never refuses the file.
TEST(Y4m, RateFromTheFTagElseTheName)
{
    const struct {
        const char* tag;
        const char* name;
        double fps; // 0: none
        lumo::GuessSource from;
    } cases[] = {
        {" F30000:1001", "a_50fps.y4m", 30000.0 / 1001, lumo::GuessSource::Header},
        {" F25:1", "a.y4m", 25, lumo::GuessSource::Header},
        {" F1:2", "a.y4m", 0.5, lumo::GuessSource::Header},
        {"", "park_joy_1080p50.y4m", 50, lumo::GuessSource::Name},
        {" F0:1", "a_50fps.y4m", 50, lumo::GuessSource::Name},
        {" F25:0", "a.y4m", 0, lumo::GuessSource::None},
        {" F25", "a.y4m", 0, lumo::GuessSource::None},
        {" F-25:1", "a.y4m", 0, lumo::GuessSource::None},
        {" F999999999:1", "a.y4m", 0, lumo::GuessSource::None},
    };
    for (const auto& c : cases) {
        Bytes bytes;
        Append(bytes, std::string("YUV4MPEG2 W6 H4") + c.tag + " C420\nFRAME\n");
        bytes.resize(bytes.size() + 6 * 4 * 3 / 2, 0x40);
        const std::string path = TmpPath(c.name);
        WriteAll(path, bytes);
        const lumo::YuvGuess guess = lumo::GuessFile(path);
        EXPECT_EQ(guess.y4m.status, Y4mStatus::Ok) << c.tag;
        EXPECT_NEAR(guess.fps, c.fps, 1e-9) << c.tag;
        EXPECT_EQ(guess.fpsFrom, c.from) << c.tag;
        // The frame source states the header's rate only.
        EXPECT_NEAR(lumo::RawFrameSource(path, 6, 4, "YUV_TYPE_I420").FrameRate(),
                    c.from == lumo::GuessSource::Header ? c.fps : 0.0, 1e-9)
            << c.tag;
        std::remove(path.c_str());
    }
}
