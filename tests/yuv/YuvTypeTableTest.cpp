#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "yuv/YuvTypeTable.h"

using lumo::YuvTypeInfo;
using lumo::YuvTypeTable;

TEST(YuvTypeTable, HoldsTheEightBitLayoutsThenTheDeepOnes)
{
    const YuvTypeTable& table = YuvTypeTable::Instance();
    EXPECT_EQ(&table, &YuvTypeTable::Instance());
    ASSERT_EQ(table.Count(), 25);
    YuvTypeInfo info;
    ASSERT_EQ(table.GetByIndex(0, info), 0);
    EXPECT_EQ(info.name, "YUV_TYPE_I420");
    EXPECT_EQ(info.description, "I420 (YUV 420 Planar)");
    ASSERT_EQ(table.GetByIndex(17, info), 0);
    EXPECT_EQ(info.name, "YUV_TYPE_IYUV");
    EXPECT_EQ(info.description, "IYUV (YUV 444 Packed)");
    EXPECT_FLOAT_EQ(info.bytesPerPixel, 3.0f);

    const struct {
        const char* name;
        const char* description;
        const char* ffmpegName;
        int depth;
        float bytesPerPixel;
    } deep[] = {
        {"YUV_TYPE_I010", "I010 (YUV 420 Planar 10-bit)", "yuv420p10le", 10, 3.0f},
        {"YUV_TYPE_I210", "I210 (YUV 422 Planar 10-bit)", "yuv422p10le", 10, 4.0f},
        {"YUV_TYPE_I410", "I410 (YUV 444 Planar 10-bit)", "yuv444p10le", 10, 6.0f},
        {"YUV_TYPE_I012", "I012 (YUV 420 Planar 12-bit)", "yuv420p12le", 12, 3.0f},
        {"YUV_TYPE_I016", "I016 (YUV 420 Planar 16-bit)", "yuv420p16le", 16, 3.0f},
        {"YUV_TYPE_P010", "P010 (YUV 420 Semi-Planar 10-bit)", "p010le", 10, 3.0f},
        {"YUV_TYPE_P016", "P016 (YUV 420 Semi-Planar 16-bit)", "p016le", 16, 3.0f},
    };
    for (int i = 0; i < 7; ++i) {
        ASSERT_EQ(table.GetByIndex(18 + i, info), 0);
        EXPECT_EQ(info.name, deep[i].name);
        EXPECT_EQ(info.description, deep[i].description);
        EXPECT_EQ(info.ffmpegName, deep[i].ffmpegName);
        EXPECT_EQ(info.bitDepth, deep[i].depth);
        EXPECT_EQ(info.sampleBytes, 2);
        EXPECT_FLOAT_EQ(info.bytesPerPixel, deep[i].bytesPerPixel);
    }

    std::set<std::string> names;
    for (int i = 0; i < table.Count(); ++i) {
        ASSERT_EQ(table.GetByIndex(i, info), 0);
        EXPECT_EQ(info.bitDepth > 8, i >= 18) << info.name;
        names.insert(info.name);
    }
    EXPECT_EQ(names.size(), 25u);
}

TEST(YuvTypeTable, FindByNameIsExact)
{
    const YuvTypeTable& table = YuvTypeTable::Instance();
    YuvTypeInfo info;
    ASSERT_EQ(table.FindByName("YUV_TYPE_I420", info), 0);
    EXPECT_FLOAT_EQ(info.bytesPerPixel, 1.5f);

    YuvTypeInfo untouched;
    untouched.name = "keep";
    untouched.bytesPerPixel = 7.0f;
    for (const char* name : {"yuv_type_i420", "", "YUV_TYPE_IYU2", "UNKNOW"}) {
        EXPECT_EQ(table.FindByName(name, untouched), -1) << name;
        EXPECT_EQ(untouched.name, "keep");
        EXPECT_FLOAT_EQ(untouched.bytesPerPixel, 7.0f);
    }
    EXPECT_EQ(table.GetByIndex(25, untouched), -1);
    EXPECT_EQ(table.GetByIndex(-1, untouched), -1);
}

TEST(YuvTypeTable, FrameSizes)
{
    struct Case {
        int w, h;
        const char* type;
        int64_t size;
    } cases[] = {
        {352, 288, "YUV_TYPE_I420", 152064},
        {352, 288, "YUV_TYPE_YUYV", 202752},
        {352, 288, "YUV_TYPE_IYUV", 304128},
        {1920, 1080, "YUV_TYPE_NV12", 3110400},
        // Odd sizes round chroma up, as FFmpeg does.
        {3, 3, "YUV_TYPE_I420", 17},
        {3, 3, "YUV_TYPE_NV21", 17},
        {1, 1, "YUV_TYPE_YV12", 3},
        {33, 17, "YUV_TYPE_YUYV", 1156},
        {33, 17, "YUV_TYPE_I422", 1139},
        {33, 17, "YUV_TYPE_I444", 1683},
        {0, 288, "YUV_TYPE_I420", 0},
        {-2, 2, "YUV_TYPE_I444", -12},
        {352, 288, "UNKNOW", -1},
        {352, 288, "YUV_TYPE_IYU2", -1},
        // 64-bit arithmetic: no wrap for frames of 2^31 bytes and more.
        {100000, 100000, "YUV_TYPE_I420", 15000000000LL},
        {2147483647, 2147483647, "YUV_TYPE_I444", INT64_MAX}, // saturates
        // 16-bit samples: whole samples, as many as in the 8-bit layout.
        {1920, 1080, "YUV_TYPE_I010", 6220800},
        {1920, 1080, "YUV_TYPE_P010", 6220800},
        {1920, 1080, "YUV_TYPE_I210", 8294400},
        {1920, 1080, "YUV_TYPE_I410", 12441600},
        {3, 3, "YUV_TYPE_I012", 34},
        {3, 3, "YUV_TYPE_P016", 34},
        {-2, 2, "YUV_TYPE_I410", -24},
        {100000, 100000, "YUV_TYPE_I016", 30000000000LL},
        {2147483647, 2147483647, "YUV_TYPE_I410", INT64_MAX},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lumo::GetFrameSize(c.w, c.h, c.type), c.size) << c.w << "x" << c.h << " " << c.type;
}

TEST(YuvTypeTable, LegacyCodes)
{
    const char* expected[] = {"YUV_TYPE_I420", "YUV_TYPE_YV12", "YUV_TYPE_NV21", "YUV_TYPE_NV12", "YUV_TYPE_I444",
                              "YUV_TYPE_I422", "YUV_TYPE_UYVY", "YUV_TYPE_YUYV", "YUV_TYPE_IYU2"};
    for (int code = 0; code < 9; ++code)
        EXPECT_EQ(lumo::LegacyTypeName(code), expected[code]);
    EXPECT_EQ(lumo::LegacyTypeName(9), "UNKNOW");
    EXPECT_EQ(lumo::LegacyTypeName(-1), "UNKNOW");
    EXPECT_EQ(lumo::GetFrameSize(2, 2, lumo::LegacyTypeName(8)), -1);
}

TEST(YuvTypeTable, FirstUseFromManyThreads)
{
    std::vector<std::thread> threads;
    std::vector<const YuvTypeTable*> seen(8);
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&seen, i] { seen[i] = &YuvTypeTable::Instance(); });
    for (auto& t : threads)
        t.join();
    for (const YuvTypeTable* t : seen)
        EXPECT_EQ(t, &YuvTypeTable::Instance());
}

// Every FFmpeg name of the table is one that `ffmpeg -pix_fmts` lists, with
// the same depth and bits per pixel; names and indexes look up both ways.
TEST(YuvTypeTable, DescriptorsAgreeWithFfmpeg)
{
    const YuvTypeTable& table = YuvTypeTable::Instance();
    std::map<std::string, std::pair<int, int>> listed; // name -> bits per pixel, depth
    if (FILE* pipe = ::popen("ffmpeg -hide_banner -pix_fmts 2>/dev/null", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, pipe)) {
            char flags[16], name[64];
            int components = 0, bpp = 0, depth = 0;
            if (std::sscanf(line, "%15s %63s %d %d %d", flags, name, &components, &bpp, &depth) == 5)
                listed[name] = {bpp, depth};
        }
        ::pclose(pipe);
    }
    if (listed.empty())
        GTEST_SKIP() << "ffmpeg is not available";
    int named = 0;
    for (int i = 0; i < table.Count(); ++i) {
        const YuvTypeInfo& info = *table.At(i);
        EXPECT_EQ(info.index, i);
        EXPECT_EQ(table.IndexOf(info.name), i);
        EXPECT_EQ("YUV_TYPE_" + info.shortName, info.name);
        EXPECT_FALSE(info.bigEndian);
        if (info.ffmpegName.empty())
            continue;
        ++named;
        EXPECT_EQ(table.FindByFfmpegName(info.ffmpegName), &info);
        const auto it = listed.find(info.ffmpegName);
        ASSERT_NE(it, listed.end()) << info.ffmpegName;
        EXPECT_EQ(it->second.second, info.bitDepth) << info.ffmpegName;
        const double bpp = info.bytesPerPixel / info.sampleBytes * info.bitDepth;
        EXPECT_DOUBLE_EQ(it->second.first, bpp) << info.ffmpegName;
    }
    EXPECT_EQ(named, 17);
    EXPECT_EQ(table.IndexOf("yuv_type_i420"), -1);
    EXPECT_EQ(table.At(25), nullptr);
    EXPECT_EQ(table.FindByFfmpegName("yuv420p10be"), nullptr);
}
