#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "yuv/LumoYuvReader.h"
#include "TempFile.h"
#include "yuv/YuvConvert.h"

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
    EXPECT_EQ(LumoYuvReader("/dev/zero", 4, 4, "YUV_TYPE_I420").GetFrameCount(), -1);
    {
        // A FIFO without a writer: refused at once instead of waiting forever.
        const std::string fifo = empty.path() + ".fifo";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        LumoYuvReader pipe(fifo, 4, 4, "YUV_TYPE_I420");
        EXPECT_EQ(pipe.GetFrameCount(), -1);
        int64_t count = 99;
        EXPECT_EQ(pipe.ReadFrameYUV444(nullptr, &count, 0), nullptr);
        ::unlink(fifo.c_str());
    }

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

    // Sizes whose plane counts pass the 64-bit range fail the same way.
    for (const char* type : {"YUV_TYPE_I444", "YUV_TYPE_I420"}) {
        LumoYuvReader widest(file.path(), INT32_MAX, INT32_MAX, type);
        count = 99;
        EXPECT_EQ(widest.ReadFrameYUV444(nullptr, &count, 0), nullptr) << type;
        EXPECT_EQ(count, 0);
        count = 99;
        EXPECT_EQ(widest.ReadFrameRGB24(nullptr, &count, 0), nullptr) << type;
        EXPECT_EQ(count, 0);
    }
    const uint8_t planes[3] = {1, 2, 3};
    EXPECT_EQ(lumo::Yuv444ToI420(planes, INT32_MAX, INT32_MAX), nullptr);
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

TEST(LumoYuvReader, DestinationBuffersAreFilledAndReturned)
{
    // Two 2x2 I420 frames.
    TempFile f(Bytes{10, 20, 30, 40, 100, 200, 50, 60, 70, 80, 1, 2});
    LumoYuvReader reader(f.path(), 2, 2, "YUV_TYPE_I420");
    EXPECT_EQ(reader.GetFrameCount(), 2);

    Bytes raw(6, 0xee);
    int64_t count = 0;
    EXPECT_EQ(reader.ReadFrameRaw(raw.data(), &count, 6), raw.data());
    EXPECT_EQ(count, 6);
    EXPECT_EQ(raw, (Bytes{50, 60, 70, 80, 1, 2}));

    Bytes planes(12, 0xee);
    EXPECT_EQ(reader.ReadFrameYUV444(planes.data(), &count, 6), planes.data());
    EXPECT_EQ(count, 12);
    EXPECT_EQ(planes, (Bytes{50, 60, 70, 80, 1, 1, 1, 1, 2, 2, 2, 2}));

    Bytes rgb(12, 0xee);
    EXPECT_EQ(reader.ReadFrameRGB24(rgb.data(), &count, 0), rgb.data());
    EXPECT_EQ(count, 12);
    Bytes want(12);
    lumo::Yuv444ToRgb24(Read444(reader).data(), 2, 2, want.data(), lumo::ConvertPath::Plain);
    EXPECT_EQ(rgb, want);

    // A failed read leaves a given buffer's count at 0 and returns none.
    count = 5;
    EXPECT_EQ(reader.ReadFrameYUV444(planes.data(), &count, 12), nullptr);
    EXPECT_EQ(count, 0);
}

TEST(LumoYuvReader, RawReadsOutsideTheFile)
{
    TempFile f(Bytes(24, 9));
    LumoYuvReader reader(f.path(), 4, 4, "YUV_TYPE_I420");
    // Past the end and before the start alike: a zero frame, nothing read.
    for (int64_t offset : {int64_t{24}, int64_t{-1}, int64_t{-100}, INT64_MAX}) {
        int64_t count = 77;
        std::unique_ptr<uint8_t[]> raw(reader.ReadFrameRaw(nullptr, &count, offset));
        ASSERT_TRUE(raw) << offset;
        EXPECT_EQ(count, 0) << offset;
        EXPECT_EQ(Bytes(raw.get(), raw.get() + 24), Bytes(24, 0)) << offset;
    }
    // No file: none, and the count is left as the caller set it.
    int64_t count = 77;
    EXPECT_EQ(LumoYuvReader("/no/such/file.yuv", 4, 4, "YUV_TYPE_I420").ReadFrameRaw(nullptr, &count, 0), nullptr);
    EXPECT_EQ(count, 77);
    EXPECT_EQ(LumoYuvReader(f.path(), 4, 4, "YUV_TYPE_IYU2").ReadFrameRaw(nullptr, &count, 0), nullptr);
    EXPECT_EQ(count, 77);
}

TEST(LumoYuvReader, FrameThatYieldsNoBytesIsNoFrame)
{
    // A kernel attribute file states a size of a page but yields a few
    // bytes, like a file cut short after its size was taken.
    const char* path = "/sys/devices/system/cpu/online";
    struct stat st {};
    std::ifstream in(path, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (::stat(path, &st) != 0 || st.st_size < 48 || content.empty() || content.size() >= 24)
        GTEST_SKIP() << "no attribute file of the expected shape";
    LumoYuvReader reader(path, 4, 4, "YUV_TYPE_I420");
    EXPECT_GT(reader.GetFrameCount(), 1);
    int64_t count = 77;
    std::unique_ptr<uint8_t[]> raw(reader.ReadFrameRaw(nullptr, &count, 24));
    ASSERT_TRUE(raw);
    EXPECT_EQ(count, 0);
    count = 77;
    EXPECT_EQ(reader.ReadFrameYUV444(nullptr, &count, 24), nullptr);
    EXPECT_EQ(count, 0);
    count = 77;
    EXPECT_EQ(reader.ReadFrameRGB24(nullptr, &count, 24), nullptr);
    EXPECT_EQ(count, 0);
    // The first frame holds what the file yields.
    std::unique_ptr<uint8_t[]> planes(reader.ReadFrameYUV444(nullptr, &count, 0));
    ASSERT_TRUE(planes);
    EXPECT_EQ(count, 48);
    EXPECT_EQ(planes[0], static_cast<uint8_t>(content[0]));
}

TEST(LumoYuvReader, ShortLastFrameConvertsWithZeroPadding)
{
    // 4x4 I420 is 24 bytes; frame 1 holds only 12 of them: the first twelve
    // luma samples. Everything else of the frame reads as 0.
    Bytes bytes(36, 0);
    for (int i = 0; i < 36; ++i)
        bytes[i] = static_cast<uint8_t>(i + 1);
    TempFile f(bytes);
    LumoYuvReader reader(f.path(), 4, 4, "YUV_TYPE_I420");
    EXPECT_EQ(reader.GetFrameCount(), 2);
    Bytes planes = Read444(reader, 24);
    ASSERT_EQ(planes.size(), 48u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(planes[i], i < 12 ? 25 + i : 0) << i;
    EXPECT_EQ(Bytes(planes.begin() + 16, planes.end()), Bytes(32, 0));
}

TEST(LumoYuvReader, ThreadsReadTheSameFileWithTheirOwnCopies)
{
    // Frames of two sizes read alternately, so each thread's scratch block
    // grows and gets reused.
    Bytes bytes(3 * 64 * 48);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 7));
    TempFile f(bytes);
    const LumoYuvReader small(f.path(), 16, 8, "YUV_TYPE_NV12");
    const LumoYuvReader large(f.path(), 64, 48, "YUV_TYPE_YUYV");
    const Bytes wantSmall = Read444(small, 5);
    const Bytes wantLarge = Read444(large, 0);
    ASSERT_FALSE(wantSmall.empty());
    ASSERT_FALSE(wantLarge.empty());
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            LumoYuvReader a = small, b = large;
            for (int k = 0; k < 50; ++k) {
                int64_t count = 0;
                std::unique_ptr<uint8_t[]> p(a.ReadFrameYUV444(nullptr, &count, 5));
                mismatches[t] += !p || Bytes(p.get(), p.get() + count) != wantSmall;
                p.reset(b.ReadFrameYUV444(nullptr, &count, 0));
                mismatches[t] += !p || Bytes(p.get(), p.get() + count) != wantLarge;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(LumoYuvReader, Yuv444ToI420OddSizes)
{
    // 3x3: chroma rounded up to 2x2, from columns and rows 0 and 2; U at 9,
    // V at 9 + 4 = 13, 17 bytes in all.
    Bytes planes(27);
    for (int i = 0; i < 27; ++i)
        planes[i] = static_cast<uint8_t>(i);
    std::unique_ptr<uint8_t[]> i420(lumo::Yuv444ToI420(planes.data(), 3, 3));
    ASSERT_TRUE(i420);
    EXPECT_EQ(Bytes(i420.get(), i420.get() + 17),
              (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 15, 17, 18, 20, 24, 26}));

    // 5x4: 3x2 chroma from columns 0, 2, 4 of rows 0, 2; U at 20, V at 26.
    planes.assign(60, 0);
    for (int i = 0; i < 20; ++i) {
        planes[20 + i] = static_cast<uint8_t>(100 + i);
        planes[40 + i] = static_cast<uint8_t>(200 + i);
    }
    i420.reset(lumo::Yuv444ToI420(planes.data(), 5, 4));
    ASSERT_TRUE(i420);
    EXPECT_EQ(Bytes(i420.get() + 20, i420.get() + 32),
              (Bytes{100, 102, 104, 110, 112, 114, 200, 202, 204, 210, 212, 214}));
}
