#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "LayoutModel.h"
#include "TempFile.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/YuvConvert.h"
#include "yuv/YuvTypeTable.h"

using lumo::ConvertPath;
using lumo::LumoYuvReader;
using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;

namespace {

const ConvertPath kPaths[] = {ConvertPath::Plain, ConvertPath::Sse2, ConvertPath::Avx2, ConvertPath::Auto};

Bytes Rounded(const Words& native, int depth)
{
    Bytes out(native.size());
    for (size_t i = 0; i < native.size(); ++i)
        out[i] = RoundTo8(native[i], depth);
    return out;
}

// Every conversion of `raw` on every path, into buffers prefilled with a
// byte the result must overwrite, from a source at an odd address.
void ExpectConversions(const Bytes& raw, int w, int h, const std::string& type, const Words& native,
                       const Bytes& bytes)
{
    const size_t n3 = static_cast<size_t>(3) * w * h;
    Bytes rgbWanted(n3);
    lumo::Yuv444ToRgb24(bytes.data(), w, h, rgbWanted.data(), ConvertPath::Plain);
    Bytes shifted(raw.size() + 1);
    std::copy(raw.begin(), raw.end(), shifted.begin() + 1);
    const uint8_t* odd = shifted.data() + 1;
    for (ConvertPath path : kPaths) {
        const std::string what = type + " " + std::to_string(w) + "x" + std::to_string(h) + " path " +
                                 std::to_string(static_cast<int>(path));
        Words gotNative(n3, 0xa5a5);
        Bytes gotBytes(n3, 0xa5), gotRgb(n3, 0x5a);
        ASSERT_TRUE(lumo::ConvertRawToYuv444Native(odd, w, h, type, gotNative.data(), path)) << what;
        ASSERT_TRUE(lumo::ConvertRawToYuv444(odd, w, h, type, gotBytes.data(), path)) << what;
        ASSERT_TRUE(lumo::ConvertRawToRgb24(odd, w, h, type, gotRgb.data(), path)) << what;
        EXPECT_TRUE(gotNative == native) << what;
        EXPECT_TRUE(gotBytes == bytes) << what;
        EXPECT_TRUE(gotRgb == rgbWanted) << what;
    }
}

std::string ScratchDir()
{
    const char* dir = std::getenv("LUMO_TEST_TMP");
    return dir && *dir ? dir : "/tmp";
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

// Random words, high bits included, at odd, tiny and block-tail sizes: the
// model's samples (masked to depth), their 8-bit rounding and RGB on every
// path, bit for bit.
TEST(YuvHighBit, ConversionsMatchTheModelOnEveryPath)
{
    const struct {
        int w, h;
    } sizes[] = {{1, 1}, {2, 1}, {1, 2}, {3, 3}, {2, 5}, {17, 5}, {66, 6}, {97, 13}};
    uint32_t seed = 1;
    for (const WordLayout& t : WordLayouts()) {
        for (const auto& s : sizes) {
            const Bytes raw = RandomBytes(lumo::GetFrameSize(s.w, s.h, t.name), seed++);
            const Words native = ModelWords(raw, s.w, s.h, t);
            ExpectConversions(raw, s.w, s.h, t.name, native, Rounded(native, t.depth));
        }
    }
}

// Single pixels picked by their sample offsets (thumbnails of frames too
// large to read) or as native samples (the inspector) give what the
// conversions give; a row of one line has no chroma and is longer than the
// pick's chunk.
TEST(YuvHighBit, SampleOffsetsNameTheWordsTheConversionUses)
{
    for (const auto& size : {std::make_pair(7, 5), std::make_pair(131, 1)}) {
        const int w = size.first, h = size.second;
        const int64_t n = int64_t{w} * h;
        std::vector<int> xs(static_cast<size_t>(w));
        for (int x = 0; x < w; ++x)
            xs[static_cast<size_t>(x)] = x;
        for (const WordLayout& t : WordLayouts()) {
            const Bytes raw = RandomBytes(lumo::GetFrameSize(w, h, t.name), 77);
            Bytes planes(static_cast<size_t>(3 * n));
            Words native(static_cast<size_t>(3 * n));
            ASSERT_TRUE(lumo::ConvertRawToYuv444(raw.data(), w, h, t.name, planes.data(), ConvertPath::Plain));
            ASSERT_TRUE(
                lumo::ConvertRawToYuv444Native(raw.data(), w, h, t.name, native.data(), ConvertPath::Plain));
            std::vector<int64_t> offsets(static_cast<size_t>(3 * w));
            Words picked(static_cast<size_t>(3 * w));
            for (int y = 0; y < h; ++y) {
                ASSERT_TRUE(lumo::GetRowSampleOffsets(w, h, t.name, y, xs.data(), w, offsets.data()));
                ASSERT_TRUE(lumo::GetRowNativeSamples(raw.data(), w, h, t.name, y, xs.data(), w, picked.data()));
                for (int x = 0; x < w; ++x) {
                    for (int p = 0; p < 3; ++p) {
                        const size_t i = static_cast<size_t>(p * n + int64_t{y} * w + x);
                        const size_t k = static_cast<size_t>(3 * x + p);
                        const int64_t at = offsets[k];
                        const int got =
                            at < 0 ? 128 : lumo::SampleTo8Bits(raw.at(at) | (raw.at(at + 1) << 8), t.depth, t.shift);
                        EXPECT_EQ(got, planes[i]) << t.name;
                        EXPECT_EQ(picked[k], native[i]) << t.name << " " << w << "x" << h;
                    }
                }
            }
        }
    }
}

// Frames large enough for the second thread of the Auto path, and the
// 8-bit layouts read at native depth: their bytes as 16-bit samples.
TEST(YuvHighBit, FastPathsMatchThePlainLoopsOnLargeFrames)
{
    const int w = 1283, h = 817;
    const size_t n3 = static_cast<size_t>(3) * w * h;
    uint32_t seed = 50;
    for (const WordLayout& t : WordLayouts()) {
        const Bytes raw = RandomBytes(lumo::GetFrameSize(w, h, t.name), seed++);
        Words native(n3);
        Bytes bytes(n3);
        ASSERT_TRUE(lumo::ConvertRawToYuv444Native(raw.data(), w, h, t.name, native.data(), ConvertPath::Plain));
        ASSERT_TRUE(lumo::ConvertRawToYuv444(raw.data(), w, h, t.name, bytes.data(), ConvertPath::Plain));
        EXPECT_TRUE(bytes == Rounded(native, t.depth)) << t.name;
        ExpectConversions(raw, w, h, t.name, native, bytes);
    }
    for (const std::string& type : AllLayouts()) {
        for (int width : {1, 33}) {
            const Bytes raw = RandomBytes(lumo::GetFrameSize(width, 7, type), seed++);
            const Bytes bytes = ModelPlanes(raw, width, 7, type);
            ExpectConversions(raw, width, 7, type, Words(bytes.begin(), bytes.end()), bytes);
        }
    }
}

// A short last frame that ends inside a sample reads zero-padded, the odd
// byte as the low half of its word; nothing past the file is read.
TEST(YuvHighBit, ShortLastFrameWithAnOddByteCount)
{
    const int w = 4, h = 2;
    const std::string type = "YUV_TYPE_I010";
    const int64_t frame = lumo::GetFrameSize(w, h, type);
    ASSERT_EQ(frame, 24);
    Bytes file(static_cast<size_t>(frame + 11), 0);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(0x10 + i);
    TempFile temp(file);
    const LumoYuvReader reader(temp.path(), w, h, type);
    EXPECT_EQ(reader.GetFrameCount(), 2);
    EXPECT_EQ(reader.BitDepth(), 10);

    Bytes padded(file.begin() + frame, file.end());
    padded.resize(static_cast<size_t>(frame), 0);
    const Words want = ModelWords(padded, w, h, WordLayouts()[0]);
    int64_t count = -1;
    std::unique_ptr<uint16_t[]> got(reader.ReadFrameYUV444Native(nullptr, &count, frame));
    ASSERT_TRUE(got);
    EXPECT_EQ(count, 6 * w * h);
    EXPECT_EQ(Words(got.get(), got.get() + 3 * w * h), want);
    EXPECT_EQ(got[5], 0x10 + 34); // word 5: the file's last byte, high half padded
    std::unique_ptr<uint8_t[]> bytes(reader.ReadFrameYUV444(nullptr, &count, frame));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(Bytes(bytes.get(), bytes.get() + 3 * w * h), Rounded(want, 10));
    // Planes and the bytes as stored from one read.
    Bytes planes(static_cast<size_t>(3 * w * h), 0xa5), raw(static_cast<size_t>(frame), 0x5a);
    EXPECT_EQ(reader.ReadFrameYUV444AndRaw(planes.data(), raw.data(), &count, frame), planes.data());
    EXPECT_EQ(count, 3 * w * h);
    EXPECT_EQ(planes, Rounded(want, 10));
    EXPECT_EQ(raw, padded);

    count = -1;
    EXPECT_EQ(reader.ReadFrameYUV444Native(nullptr, &count, static_cast<int64_t>(file.size())), nullptr);
    EXPECT_EQ(count, 0);
    // Past the end: the caller's buffers stay as they were.
    count = -1;
    EXPECT_EQ(reader.ReadFrameYUV444AndRaw(planes.data(), raw.data(), &count, 2 * frame), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(planes, Rounded(want, 10));
    EXPECT_EQ(raw, padded);
}

// The reader converts large frames band by band; every layout gives the
// whole-frame conversion's planes, for a last frame cut short at an odd
// byte too.
TEST(YuvHighBit, BandedReadsMatchTheWholeFrameConversion)
{
    const int w = 1283, h = 817;
    const size_t n3 = static_cast<size_t>(3) * w * h;
    const lumo::YuvTypeTable& table = lumo::YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        lumo::YuvTypeInfo info;
        ASSERT_EQ(table.GetByIndex(i, info), 0);
        const int64_t frame = lumo::GetFrameSize(w, h, info.name);
        Bytes raw = RandomBytes(frame, 900 + i);
        raw.resize(static_cast<size_t>(frame - 1001), 0);
        TempFile file(raw);
        raw.resize(static_cast<size_t>(frame), 0);
        Words native(n3);
        Bytes bytes(n3);
        ASSERT_TRUE(lumo::ConvertRawToYuv444Native(raw.data(), w, h, info.name, native.data(), ConvertPath::Plain));
        ASSERT_TRUE(lumo::ConvertRawToYuv444(raw.data(), w, h, info.name, bytes.data(), ConvertPath::Plain));
        const LumoYuvReader reader(file.path(), w, h, info.name);
        int64_t count = 0;
        std::unique_ptr<uint16_t[]> gotNative(reader.ReadFrameYUV444Native(nullptr, &count, 0));
        ASSERT_TRUE(gotNative) << info.name;
        EXPECT_TRUE(Words(gotNative.get(), gotNative.get() + n3) == native) << info.name;
        std::unique_ptr<uint8_t[]> gotBytes(reader.ReadFrameYUV444(nullptr, &count, 0));
        ASSERT_TRUE(gotBytes) << info.name;
        EXPECT_TRUE(Bytes(gotBytes.get(), gotBytes.get() + n3) == bytes) << info.name;
    }
}

// Sizes whose frames no memory can hold fail cleanly, in 64 bits.
TEST(YuvHighBit, AbsurdSizesFailWithoutReading)
{
    TempFile temp(Bytes(64, 1));
    for (const WordLayout& t : WordLayouts()) {
        for (const auto& size : {std::make_pair(2147483647, 2147483647), std::make_pair(1 << 20, 1 << 20)}) {
            const LumoYuvReader reader(temp.path(), size.first, size.second, t.name);
            EXPECT_GT(reader.GetFrameSize(), int64_t{1} << 40) << t.name;
            int64_t count = -1;
            EXPECT_EQ(reader.ReadFrameYUV444Native(nullptr, &count, 0), nullptr) << t.name;
            EXPECT_EQ(count, 0);
            EXPECT_EQ(reader.ReadFrameYUV444(nullptr, &count, 0), nullptr) << t.name;
            EXPECT_EQ(reader.ReadFrameRGB24(nullptr, &count, 0), nullptr) << t.name;
        }
    }
}

// Two frames of every layout written by the ffmpeg command line, next to
// the planes ffmpeg itself takes out of the same frames: the native read
// gives those samples, each chroma sample covering its block.
TEST(YuvHighBit, ReadsFilesWrittenByFfmpeg)
{
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no ffmpeg command";
    const int w = 66, h = 50;
    const int64_t n = int64_t{w} * h;
    for (const WordLayout& t : WordLayouts()) {
        // The planes come from the planar layout of the same depth and
        // chroma (extractplanes takes no semi-planar input).
        const std::string planar = t.like == "YUV_TYPE_NV12" ? (t.depth == 10 ? "yuv420p10le" : "yuv420p16le")
                                                             : t.ffmpegName;
        const std::string base = ScratchDir() + "/ffmpeg_" + t.ffmpegName;
        const std::string cmd =
            "ffmpeg -v error -y -filter_complex \"testsrc2=s=" + std::to_string(w) + "x" + std::to_string(h) +
            ":d=0.08,noise=alls=60:allf=u,format=" + planar + ",split[a][b];[a]format=" + t.ffmpegName +
            "[f];[b]extractplanes=y+u+v[y][u][v]\" -map [f] -f rawvideo " + base + ".yuv -map [y] -f rawvideo " +
            base + ".y -map [u] -f rawvideo " + base + ".u -map [v] -f rawvideo " + base + ".v";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const Bytes planes[3] = {ReadFile(base + ".y"), ReadFile(base + ".u"), ReadFile(base + ".v")};
        const LumoYuvReader reader(base + ".yuv", w, h, t.name);
        ASSERT_EQ(reader.GetFrameCount(), 2) << t.name;
        const int cw = t.like == "YUV_TYPE_I444" ? w : w / 2;
        const int ch = t.like == "YUV_TYPE_I444" || t.like == "YUV_TYPE_I422" ? h : h / 2;
        const int64_t planeBytes[3] = {2 * n, 2 * int64_t{cw} * ch, 2 * int64_t{cw} * ch};
        for (int f = 0; f < 2; ++f) {
            int64_t count = 0;
            std::unique_ptr<uint16_t[]> got(reader.ReadFrameYUV444Native(nullptr, &count, f * reader.GetFrameSize()));
            ASSERT_TRUE(got) << t.name;
            int mismatches = 0;
            for (int p = 0; p < 3; ++p) {
                ASSERT_EQ(static_cast<int64_t>(planes[p].size()), 2 * planeBytes[p]) << t.name;
                const uint8_t* plane = planes[p].data() + f * planeBytes[p];
                const int pw = p == 0 ? w : cw;
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        const int64_t at = p == 0 ? int64_t{y} * w + x
                                                  : int64_t{y * ch / h} * pw + x * cw / w;
                        const unsigned want = plane[2 * at] | (plane[2 * at + 1] << 8);
                        mismatches += got[p * n + int64_t{y} * w + x] != want;
                    }
                }
            }
            EXPECT_EQ(mismatches, 0) << t.name << " frame " << f;
        }
        for (const char* ext : {".yuv", ".y", ".u", ".v"})
            std::remove((base + ext).c_str());
    }
}
