#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "LayoutModel.h"
#include "yuv/LumoYuvReader.h"
#include "TempFile.h"
#include "yuv/YuvConvert.h"
#include "yuv/YuvTypeTable.h"

using lumo::LumoYuvReader;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes ReadPlanes(const std::string& path, int w, int h, const std::string& type)
{
    LumoYuvReader reader(path, w, h, type);
    int64_t count = 0;
    std::unique_ptr<uint8_t[]> planes(reader.ReadFrameYUV444(nullptr, &count, 0));
    if (!planes)
        return {};
    EXPECT_EQ(count, 3LL * w * h);
    return Bytes(planes.get(), planes.get() + count);
}

// Distinct patterns in Y, U and V. With perPixelChroma false, chroma is
// constant over every 2x2 block so that each layout can hold it exactly.
Bytes Picture(int w, int h, bool perPixelChroma)
{
    const int64_t n = int64_t{w} * h;
    Bytes p(static_cast<size_t>(3 * n));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int64_t i = int64_t{y} * w + x;
            const int cx = perPixelChroma ? x : x / 2;
            const int cy = perPixelChroma ? y : y / 2;
            p[i] = static_cast<uint8_t>(3 * x + 5 * y + 1);
            p[n + i] = static_cast<uint8_t>(16 + 7 * cx + 11 * cy);
            p[2 * n + i] = static_cast<uint8_t>(240 - 13 * cx + 3 * cy);
        }
    }
    return p;
}

const lumo::ConvertPath kFastPaths[] = {lumo::ConvertPath::Sse2, lumo::ConvertPath::Avx2, lumo::ConvertPath::Auto};

} // namespace

TEST(YuvLayouts, EveryLayoutHoldsTheSamePicture)
{
    const int w = 64, h = 48;
    const Bytes picture = Picture(w, h, false);
    TempFile i420(WriteLayout(picture, w, h, "YUV_TYPE_I420", lumo::GetFrameSize(w, h, "YUV_TYPE_I420")));
    const Bytes reference = ReadPlanes(i420.path(), w, h, "YUV_TYPE_I420");
    ASSERT_EQ(reference, picture);
    for (const std::string& type : AllLayouts()) {
        TempFile file(WriteLayout(picture, w, h, type, lumo::GetFrameSize(w, h, type)));
        EXPECT_EQ(ReadPlanes(file.path(), w, h, type), reference) << type;
    }
}

TEST(YuvLayouts, FullChromaLayoutsKeepEveryPixel)
{
    const int w = 36, h = 22;
    const Bytes picture = Picture(w, h, true);
    for (const std::string& type : AllLayouts()) {
        if (!Is444(type))
            continue;
        TempFile file(WriteLayout(picture, w, h, type, lumo::GetFrameSize(w, h, type)));
        EXPECT_EQ(ReadPlanes(file.path(), w, h, type), picture) << type;
    }
}

// Odd and degenerate sizes: every layout reads inside its frame, and the
// last odd column or row takes its own chroma sample (planes rounded up as
// FFmpeg does). Buffers are exactly as large as the data, so a stray
// access shows under the address sanitizer.
TEST(YuvLayouts, OddSizesTakeTheirOwnChromaSample)
{
    const struct {
        int w, h;
    } sizes[] = {{1, 1}, {3, 3}, {351, 287}, {1, 9}, {9, 1}, {2, 1}, {1, 2}, {5, 2}, {2, 5}, {4, 4}};
    uint32_t seed = 1;
    for (const auto& s : sizes) {
        for (const std::string& type : AllLayouts()) {
            const int64_t frameSize = lumo::GetFrameSize(s.w, s.h, type);
            const Bytes raw = RandomBytes(frameSize, seed++);
            const Bytes expected = ModelPlanes(raw, s.w, s.h, type);
            TempFile file(raw);
            EXPECT_EQ(ReadPlanes(file.path(), s.w, s.h, type), expected) << type << " " << s.w << "x" << s.h;
            Bytes want(expected.size());
            lumo::Yuv444ToRgb24(expected.data(), s.w, s.h, want.data(), lumo::ConvertPath::Plain);
            {
                int64_t count = 0;
                std::unique_ptr<uint8_t[]> rgb(LumoYuvReader(file.path(), s.w, s.h, type).ReadFrameRGB24(nullptr, &count, 0));
                ASSERT_TRUE(rgb);
                EXPECT_EQ(Bytes(rgb.get(), rgb.get() + count), want) << type << " " << s.w << "x" << s.h;
            }

            for (lumo::ConvertPath path : {lumo::ConvertPath::Plain, lumo::ConvertPath::Sse2,
                                           lumo::ConvertPath::Avx2, lumo::ConvertPath::Auto}) {
                std::unique_ptr<uint8_t[]> exactRaw(new uint8_t[static_cast<size_t>(frameSize)]);
                std::copy(raw.begin(), raw.end(), exactRaw.get());
                std::unique_ptr<uint8_t[]> planes(new uint8_t[expected.size()]);
                ASSERT_TRUE(lumo::ConvertRawToYuv444(exactRaw.get(), s.w, s.h, type, planes.get(), path));
                EXPECT_EQ(Bytes(planes.get(), planes.get() + expected.size()), expected)
                    << type << " " << s.w << "x" << s.h << " path " << static_cast<int>(path);
                std::unique_ptr<uint8_t[]> rgb(new uint8_t[expected.size()]);
                ASSERT_TRUE(lumo::ConvertRawToRgb24(exactRaw.get(), s.w, s.h, type, rgb.get(), path));
                EXPECT_EQ(Bytes(rgb.get(), rgb.get() + expected.size()), want)
                    << type << " " << s.w << "x" << s.h << " path " << static_cast<int>(path);
            }
        }
    }
}

// The SIMD kernels and the two-thread split give the plain loops' bytes on
// random frames of many widths (block tails) and heights, up to sizes that
// take the threaded path.
TEST(YuvLayouts, FastPathsMatchThePlainLoops)
{
    const struct {
        int w, h;
    } sizes[] = {{16, 2}, {17, 3}, {18, 4}, {31, 7}, {50, 6}, {97, 13}, {640, 6}, {1283, 817}};
    uint32_t seed = 100;
    for (const auto& s : sizes) {
        const int64_t n = int64_t{s.w} * s.h;
        for (const std::string& type : AllLayouts()) {
            const Bytes raw = RandomBytes(lumo::GetFrameSize(s.w, s.h, type), seed++);
            Bytes plain(static_cast<size_t>(3 * n)), plainRgb(plain.size());
            ASSERT_TRUE(lumo::ConvertRawToYuv444(raw.data(), s.w, s.h, type, plain.data(), lumo::ConvertPath::Plain));
            lumo::Yuv444ToRgb24(plain.data(), s.w, s.h, plainRgb.data(), lumo::ConvertPath::Plain);
            for (lumo::ConvertPath path : kFastPaths) {
                // Filled first, so that bytes a fast path leaves unwritten show.
                Bytes planes(plain.size(), 0xa5), rgb(plain.size(), 0xa5), rgbOfPlanes(plain.size(), 0xa5);
                ASSERT_TRUE(lumo::ConvertRawToYuv444(raw.data(), s.w, s.h, type, planes.data(), path));
                ASSERT_TRUE(lumo::ConvertRawToRgb24(raw.data(), s.w, s.h, type, rgb.data(), path));
                lumo::Yuv444ToRgb24(plain.data(), s.w, s.h, rgbOfPlanes.data(), path);
                const int p = static_cast<int>(path);
                EXPECT_TRUE(planes == plain) << type << " " << s.w << "x" << s.h << " path " << p;
                EXPECT_TRUE(rgb == plainRgb) << type << " " << s.w << "x" << s.h << " path " << p;
                EXPECT_TRUE(rgbOfPlanes == plainRgb) << type << " " << s.w << "x" << s.h << " path " << p;
            }
        }
    }
}

TEST(YuvLayouts, FramePartsCoverTheFrame)
{
    for (const std::string& type : AllLayouts()) {
        for (int w : {1, 3, 64}) {
            lumo::RawFrameParts parts;
            ASSERT_TRUE(lumo::GetRawFrameParts(w, 5, type, &parts)) << type;
            int64_t next = 0;
            for (int i = 0; i < parts.count; ++i) {
                EXPECT_EQ(parts.begin[i], next) << type;
                EXPECT_GE(parts.size[i], 0) << type;
                if (parts.direct[i]) {
                    EXPECT_EQ(parts.size[i], 5 * w) << type;
                }
                next += parts.size[i];
            }
            EXPECT_EQ(next, lumo::GetFrameSize(w, 5, type)) << type;
        }
        lumo::RawFrameParts parts;
        EXPECT_FALSE(lumo::GetRawFrameParts(0, 5, type, &parts));
    }
    lumo::RawFrameParts parts;
    EXPECT_FALSE(lumo::GetRawFrameParts(4, 4, "YUV_TYPE_IYU2", &parts));
    Bytes out(48);
    EXPECT_FALSE(lumo::ConvertRawToYuv444(out.data(), 4, 4, "UNKNOW", out.data()));
    EXPECT_FALSE(lumo::ConvertRawToRgb24(out.data(), -4, 4, "YUV_TYPE_I420", out.data()));
}

// Each pixel's sample offsets name exactly the raw bytes the conversion took
// for it, odd sizes and frames without chroma included.
TEST(YuvLayouts, SampleOffsetsNameTheBytesTheConversionUses)
{
    for (const std::string& type : AllLayouts()) {
        for (const auto& size : {std::pair<int, int>{1, 1}, {2, 2}, {3, 5}, {7, 4}, {6, 3}, {1, 6}, {5, 1}, {16, 8}}) {
            const int w = size.first, h = size.second;
            const int64_t n = int64_t{w} * h;
            const Bytes raw = RandomBytes(lumo::GetFrameSize(w, h, type), 7);
            Bytes planes(static_cast<size_t>(3 * n));
            ASSERT_TRUE(lumo::ConvertRawToYuv444(raw.data(), w, h, type, planes.data(), lumo::ConvertPath::Plain));
            std::vector<int> xs(static_cast<size_t>(w));
            for (int x = 0; x < w; ++x)
                xs[static_cast<size_t>(x)] = w - 1 - x; // any order
            std::vector<int64_t> offsets(static_cast<size_t>(3 * w));
            for (int y = 0; y < h; ++y) {
                ASSERT_TRUE(lumo::GetRowSampleOffsets(w, h, type, y, xs.data(), w, offsets.data()));
                for (int i = 0; i < w; ++i)
                    for (int p = 0; p < 3; ++p) {
                        const int64_t at = offsets[static_cast<size_t>(3 * i + p)];
                        ASSERT_LT(at, static_cast<int64_t>(raw.size())) << type;
                        const int got = at < 0 ? 128 : raw[static_cast<size_t>(at)];
                        ASSERT_EQ(got, planes[static_cast<size_t>(p * n + int64_t{y} * w + xs[static_cast<size_t>(i)])])
                            << type << " " << w << "x" << h << " pixel " << xs[static_cast<size_t>(i)] << "," << y
                            << " plane " << p;
                    }
            }
        }
    }
    int64_t out[3];
    const int x = 4;
    EXPECT_FALSE(lumo::GetRowSampleOffsets(4, 4, "UNKNOW", 0, &x, 1, out));
    EXPECT_FALSE(lumo::GetRowSampleOffsets(4, 4, "YUV_TYPE_I420", 0, &x, 1, out)); // x outside
    EXPECT_FALSE(lumo::GetRowSampleOffsets(4, 4, "YUV_TYPE_I420", 4, &x, 0, out)); // y outside
}

// Every layout's parts at an even and an odd size, against the golden table
// beside this file: a changed offset or size shows as a line of the diff.
TEST(YuvLayouts, PartsMatchTheGoldenTable)
{
    static const char* const kRoles[] = {"Y", "U", "V", "pairs", "all"};
    std::string actual;
    const lumo::YuvTypeTable& table = lumo::YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        lumo::YuvTypeInfo info;
        ASSERT_EQ(table.GetByIndex(i, info), 0);
        char head[96];
        std::snprintf(head, sizeof head, "%-23s %2d bit >>%d", info.name.c_str(), info.bitDepth, info.bitShift);
        actual += head;
        for (const auto& size : {std::make_pair(6, 4), std::make_pair(5, 3)}) {
            lumo::RawFrameParts parts;
            ASSERT_TRUE(lumo::GetRawFrameParts(size.first, size.second, info.name, &parts));
            actual += " | " + std::to_string(size.first) + "x" + std::to_string(size.second) + " " +
                      std::to_string(lumo::GetFrameSize(size.first, size.second, info.name)) + ":";
            for (int p = 0; p < parts.count; ++p)
                actual += std::string(" ") + kRoles[parts.role[p]] + "@" + std::to_string(parts.begin[p]) + "+" +
                          std::to_string(parts.size[p]);
        }
        actual += "\n";
    }
    std::ifstream golden(LUMO_YUV_GOLDEN);
    ASSERT_TRUE(golden.good()) << LUMO_YUV_GOLDEN;
    const std::string expected((std::istreambuf_iterator<char>(golden)), std::istreambuf_iterator<char>());
    EXPECT_EQ(actual, expected);
}
