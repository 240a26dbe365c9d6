#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "MediaFixture.h"
#include "media/LumoReader.h"
#include "media/MediaLayout.h"
#include "yuv/LumoYuvReader.h"

namespace {

// Little-endian 16-bit noise of `depth` bits, `count` samples.
std::vector<std::uint8_t> DeepNoise(std::size_t count, int depth, unsigned seed)
{
    std::vector<std::uint8_t> bytes = NoiseBytes(2 * count, seed);
    for (std::size_t i = 1; i < bytes.size(); i += 2)
        bytes[i] &= static_cast<std::uint8_t>((1u << (depth - 8)) - 1);
    return bytes;
}

struct DeepCase {
    const char* source;   // pixel format the file is written in
    const char* codecArgs;
    const char* extension;
    int depth;
    int samplesPerPixelTimes2; // 3 for 4:2:0, 4 for 4:2:2, 6 for 4:4:4
    int expectedCode;
    const char* layout;
};

} // namespace

// 10-, 12- and 16-bit video (lossless FFV1, raw big-endian words too)
// converts to the matching deep layout, every bit kept.
TEST(HighBitMedia, DeepSourcesConvertWithoutLoss)
{
    const DeepCase cases[] = {
        {"yuv420p10le", "-c:v ffv1", "mkv", 10, 3, 107, "YUV_TYPE_I010"},
        {"yuv422p10le", "-c:v ffv1", "mkv", 10, 4, 108, "YUV_TYPE_I210"},
        {"yuv444p10le", "-c:v ffv1", "mkv", 10, 6, 109, "YUV_TYPE_I410"},
        {"yuv420p12le", "-c:v ffv1", "mkv", 12, 3, 110, "YUV_TYPE_I012"},
        {"yuv420p16le", "-c:v ffv1", "mkv", 16, 3, 111, "YUV_TYPE_I016"},
        {"yuv420p10le", "-c:v rawvideo -pix_fmt yuv420p10be", "nut", 10, 3, 107, "YUV_TYPE_I010"},
    };
    const int w = 64, h = 48, frames = 3;
    for (const DeepCase& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + c.codecArgs);
        MediaDir dir;
        const std::size_t samples = static_cast<std::size_t>(w) * h * c.samplesPerPixelTimes2 / 2 * frames;
        const auto source = DeepNoise(samples, c.depth, 5);
        ASSERT_TRUE(WriteBytes(dir.Path("source.raw"), source));
        const std::string media = dir.Path(std::string("clip.") + c.extension);
        ASSERT_TRUE(RunFfmpeg(std::string("-f rawvideo -pix_fmt ") + c.source + " -s 64x48 -r 25 -i " +
                              dir.Path("source.raw") + " " + c.codecArgs + " " + media));
        int width = -1, height = -1;
        Lumer::LumerAVPixelFormat format = Lumer::LUMER_PIX_FMT_YUV420P;
        lumo::LumoReader reader;
        ASSERT_EQ(reader.Read2File(media, media + ".yuv", width, height, format), 0);
        EXPECT_EQ(width, w);
        EXPECT_EQ(height, h);
        EXPECT_EQ(format, c.expectedCode);
        EXPECT_EQ(lumo::LayoutNameForMediaFormat(format), c.layout);
        EXPECT_TRUE(ReadBytes(media + ".yuv") == source);
        EXPECT_EQ(lumo::LumoYuvReader(media + ".yuv", w, h, c.layout).GetFrameCount(), frames);
    }
}

// Odd-sized 10-bit 4:2:0 keeps its layout, chroma planes rounded up as
// FFmpeg lays them out: word for word.
TEST(HighBitMedia, OddSizedTenBitVideoKeepsItsLayoutWordForWord)
{
    MediaDir dir;
    const int w = 33, h = 17;
    const std::size_t luma = static_cast<std::size_t>(w) * h;
    const std::size_t chroma = static_cast<std::size_t>((w + 1) / 2) * ((h + 1) / 2);
    const auto source = DeepNoise(luma + 2 * chroma, 10, 9);
    ASSERT_TRUE(WriteBytes(dir.Path("odd.raw"), source));
    ASSERT_TRUE(RunFfmpeg("-f rawvideo -pix_fmt yuv420p10le -s 33x17 -r 25 -i " + dir.Path("odd.raw") +
                          " -c:v ffv1 " + dir.Path("odd.mkv")));
    int width = -1, height = -1;
    Lumer::LumerAVPixelFormat format = Lumer::LUMER_PIX_FMT_YUV420P;
    lumo::LumoReader reader;
    ASSERT_EQ(reader.Read2File(dir.Path("odd.mkv"), dir.Path("odd.yuv"), width, height, format), 0);
    EXPECT_EQ(format, Lumer::LUMER_PIX_FMT_YUV420P10LE);
    EXPECT_TRUE(ReadBytes(dir.Path("odd.yuv")) == source);
    EXPECT_EQ(lumo::LumoYuvReader(dir.Path("odd.yuv"), w, h, "YUV_TYPE_I010").GetFrameCount(), 1);
}
