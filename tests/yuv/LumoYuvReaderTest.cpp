#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "LumoYuvReader.h"
#include "TempFile.h"

using lumo::LumoYuvReader;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Read444(const LumoYuvReader& reader, int64_t offset = 0)
{
    int64_t count = -5;
    std::unique_ptr<uint8_t[]> planes(reader.ReadFrameYUV444(nullptr, &count, offset));
    if (!planes)
        return {};
    EXPECT_EQ(count, 3LL * reader.Width() * reader.Height());
    return Bytes(planes.get(), planes.get() + count);
}

} // namespace

TEST(LumoYuvReader, DefaultReader)
{
    LumoYuvReader reader;
    EXPECT_EQ(reader.Width(), 0);
    EXPECT_EQ(reader.Height(), 0);
    EXPECT_EQ(reader.Type(), "YUV_TYPE_I420");
    EXPECT_FALSE(reader.HasPath());
    EXPECT_EQ(reader.GetFrameCount(), -1);
    int64_t count = 0;
    EXPECT_EQ(reader.ReadFrameYUV444(nullptr, &count, 0), nullptr);
}

TEST(LumoYuvReader, FrameCountCountsShortLastFrame)
{
    // 2.5 frames of 4x4 I420 (24 bytes each).
    TempFile file(Bytes(60, 7));
    LumoYuvReader reader(file.path(), 4, 4, "YUV_TYPE_I420");
    EXPECT_EQ(reader.GetFrameSize(), 24);
    EXPECT_EQ(reader.GetFrameCount(), 3);

    // Frame 2 is half there; the rest reads as zero bytes.
    int64_t count = 0;
    std::unique_ptr<uint8_t[]> raw(reader.ReadFrameRaw(nullptr, &count, 48));
    ASSERT_TRUE(raw);
    EXPECT_EQ(count, 12);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(raw[i], i < 12 ? 7 : 0) << i;

    // In RGB24 a pixel whose Y, U and V are all 0 comes out 0, 135, 0.
    std::unique_ptr<uint8_t[]> rgb(reader.ReadFrameRGB24(nullptr, &count, 48));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(count, 48);
    EXPECT_EQ(rgb[3 * 15 + 0], 0);
    EXPECT_EQ(rgb[3 * 15 + 1], 135);
    EXPECT_EQ(rgb[3 * 15 + 2], 0);
}

TEST(LumoYuvReader, FailuresAreReturnValues)
{
    TempFile empty(Bytes{});
    EXPECT_EQ(LumoYuvReader(empty.path(), 4, 4, "YUV_TYPE_I420").GetFrameCount(), 0);
    EXPECT_EQ(LumoYuvReader("/no/such/file.yuv", 4, 4, "YUV_TYPE_I420").GetFrameCount(), -1);
    EXPECT_EQ(LumoYuvReader("/tmp", 4, 4, "YUV_TYPE_I420").GetFrameCount(), -1); // a directory

    TempFile file(Bytes(24, 1));
    EXPECT_EQ(LumoYuvReader(file.path(), 4, 4, "UNKNOW").GetFrameCount(), -1);
    EXPECT_EQ(LumoYuvReader(file.path(), 0, 4, "YUV_TYPE_I420").GetFrameCount(), -1);

    LumoYuvReader reader(file.path(), 4, 4, "YUV_TYPE_I420");
    for (int64_t offset : {int64_t{24}, int64_t{1000}, int64_t{-1}, int64_t{-24}}) {
        int64_t count = 99;
        EXPECT_EQ(reader.ReadFrameYUV444(nullptr, &count, offset), nullptr) << offset;
        EXPECT_EQ(count, 0);
        count = 99;
        EXPECT_EQ(reader.ReadFrameRGB24(nullptr, &count, offset), nullptr) << offset;
        EXPECT_EQ(count, 0);
    }

    // Tens of gigabytes stated for a small file: the allocation fails cleanly.
    LumoYuvReader huge(file.path(), 100000, 100000, "YUV_TYPE_I420");
    EXPECT_EQ(huge.GetFrameCount(), 1);
    int64_t count = 99;
    uint8_t* frame = huge.ReadFrameYUV444(nullptr, &count, 0);
    EXPECT_EQ(frame, nullptr);
    EXPECT_EQ(count, 0);
    delete[] frame;
}

TEST(LumoYuvReader, SmallFramesOfTheReferenceExamples)
{
    {
        TempFile f(Bytes{10, 20, 30, 40, 100, 200});
        EXPECT_EQ(Read444(LumoYuvReader(f.path(), 2, 2, "YUV_TYPE_I420")),
                  (Bytes{10, 20, 30, 40, 100, 100, 100, 100, 200, 200, 200, 200}));
    }
    {
        TempFile f(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9, 9, 9, 9, 9});
        Bytes p = Read444(LumoYuvReader(f.path(), 4, 2, "YUV_TYPE_YUYV"));
        ASSERT_EQ(p.size(), 24u);
        EXPECT_EQ(Bytes(p.begin(), p.begin() + 4), (Bytes{1, 3, 5, 7}));
        EXPECT_EQ(Bytes(p.begin() + 8, p.begin() + 12), (Bytes{2, 2, 6, 6}));
        EXPECT_EQ(Bytes(p.begin() + 16, p.begin() + 20), (Bytes{4, 4, 8, 8}));
    }
    {
        TempFile f(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 11, 12, 21, 22});
        Bytes p = Read444(LumoYuvReader(f.path(), 2, 4, "YUV_TYPE_NV12"));
        ASSERT_EQ(p.size(), 24u);
        EXPECT_EQ(Bytes(p.begin() + 8, p.begin() + 16), (Bytes{11, 11, 11, 11, 21, 21, 21, 21}));
        EXPECT_EQ(Bytes(p.begin() + 16, p.begin() + 24), (Bytes{12, 12, 12, 12, 22, 22, 22, 22}));
    }
    {
        // 2x2 NV24: each pixel its own pair, chroma rows 4 bytes apart.
        TempFile f(Bytes{1, 2, 3, 4, 10, 20, 11, 21, 12, 22, 13, 23});
        EXPECT_EQ(Read444(LumoYuvReader(f.path(), 2, 2, "YUV_TYPE_NV24")),
                  (Bytes{1, 2, 3, 4, 10, 11, 12, 13, 20, 21, 22, 23}));
    }
}

TEST(LumoYuvReader, Rgb24OfKnownColours)
{
    struct Case {
        uint8_t y, u, v, r, g, b;
    } cases[] = {
        {16, 128, 128, 0, 0, 0},
        {235, 128, 128, 254, 254, 254},
        {255, 255, 255, 255, 125, 255},
        {0, 0, 0, 0, 135, 0},
    };
    for (const Case& c : cases) {
        TempFile f(Bytes{c.y, c.u, c.v});
        LumoYuvReader reader(f.path(), 1, 1, "YUV_TYPE_YUV444_Packed");
        int64_t count = 0;
        std::unique_ptr<uint8_t[]> rgb(reader.ReadFrameRGB24(nullptr, &count, 0));
        ASSERT_TRUE(rgb);
        EXPECT_EQ(count, 3);
        EXPECT_EQ((Bytes{rgb[0], rgb[1], rgb[2]}), (Bytes{c.r, c.g, c.b})) << int(c.y) << "," << int(c.u) << ","
                                                                               << int(c.v);
    }
}

TEST(LumoYuvReader, CopiesOutliveTheSource)
{
    TempFile f(Bytes(24, 3));
    LumoYuvReader copy;
    {
        auto source = std::make_unique<LumoYuvReader>(f.path(), 4, 4, "YUV_TYPE_I420");
        copy = *source;
        LumoYuvReader constructed(*source);
        source.reset();
        EXPECT_EQ(constructed.GetFrameCount(), 1);
    }
    EXPECT_EQ(copy.GetFrameCount(), 1);
    EXPECT_EQ(Read444(copy).size(), 48u);
}

TEST(LumoYuvReader, Yuv444ToI420KeepsTopLeftSamples)
{
    // 2x2: Y 10,20,30,40; U 1,2,3,4; V 5,6,7,8 -> U 1, V 5.
    const Bytes planes{10, 20, 30, 40, 1, 2, 3, 4, 5, 6, 7, 8};
    std::unique_ptr<uint8_t[]> i420(lumo::Yuv444ToI420(planes.data(), 2, 2));
    ASSERT_TRUE(i420);
    EXPECT_EQ(Bytes(i420.get(), i420.get() + 6), (Bytes{10, 20, 30, 40, 1, 5}));
    EXPECT_EQ(lumo::Yuv444ToI420(planes.data(), 0, 2), nullptr);
}
