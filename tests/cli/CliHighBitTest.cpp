#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "CliRunner.h"
#include "iqa/CompareEngine.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/YuvConvert.h"
#include "yuv/YuvTypeTable.h"

namespace {

const int kW = 24, kH = 12;

// Two 10-bit I010 files of three frames each, samples spread over the
// whole 10-bit range.
struct Pair {
    ScratchDir dir;
    std::string a = dir.File("a.yuv");
    std::string b = dir.File("b.yuv");
    Pair()
    {
        const int64_t frame = lumo::GetFrameSize(kW, kH, "YUV_TYPE_I010");
        std::vector<uint8_t> bytesA = PatternBytes(frame, 3, 1), bytesB = PatternBytes(frame, 3, 2);
        for (size_t i = 1; i < bytesA.size(); i += 2) {
            bytesA[i] &= 3;
            bytesB[i] &= 3;
        }
        WriteBytes(a, bytesA);
        WriteBytes(b, bytesB);
    }
};

} // namespace

// The deep layouts go by either name; info states the depth, and says
// nothing of it for 8-bit files.
TEST(CliHighBit, InfoStatesTheDepth)
{
    Pair p;
    for (const char* name : {"yuv420p10le", "YUV_TYPE_I010", "i010"}) {
        const CliResult r = RunCli({"info", p.a, "--size", "24x12", "--layout", name});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("layout:     YUV_TYPE_I010"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("depth:      10 bits"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("frames:     3\n"), std::string::npos) << r.out;
    }
    const CliResult eight = RunCli({"info", p.a, "--size", "24x12", "--layout", "nv12"});
    ASSERT_EQ(eight.status, 0) << eight.err;
    EXPECT_EQ(eight.out.find("depth"), std::string::npos) << eight.out;
}

// Compare measures at native depth and says so in CSV and JSON; files of
// different depths are refused.
TEST(CliHighBit, CompareWorksAtNativeDepth)
{
    Pair p;
    const lumo::LumoYuvReader ra(p.a, kW, kH, "YUV_TYPE_I010"), rb(p.b, kW, kH, "YUV_TYPE_I010");
    const CliResult csv = RunCli({"compare", p.a, p.b, "--size", "24x12", "--layout", "yuv420p10le", "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const QStringList lines = QString::fromStdString(csv.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "frame,ssim,mse_y,mse_u,mse_v,psnr_y,psnr_u,psnr_v,depth");
    for (int f = 0; f < 3; ++f) {
        lumo::CompareEngine::Settings s;
        s.a = ra;
        s.b = rb;
        lumo::FrameMetrics want;
        std::string error;
        ASSERT_TRUE(lumo::CompareEngine::CompareFrame(s, f, want, error)) << error;
        const QStringList fields = lines[1 + f].split(',');
        ASSERT_EQ(fields.size(), 9);
        EXPECT_EQ(fields[8], "10");
        EXPECT_DOUBLE_EQ(fields[2].toDouble(), want.mse[0]);
        EXPECT_DOUBLE_EQ(fields[5].toDouble(), want.psnr[0]);
        EXPECT_DOUBLE_EQ(fields[1].toDouble(), want.ssim);
        EXPECT_GT(want.mse[0], 1000.0); // native values, not 8-bit ones
    }
    const CliResult json = RunCli({"compare", p.a, p.b, "--size", "24x12", "--layout", "p010", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object().value("depth").toInt(), 10);

    const CliResult mixed = RunCli({"compare", p.a, p.b, "--size", "24x12", "--layout", "I010", "--layout-b", "I420"});
    EXPECT_EQ(mixed.status, 2);
    EXPECT_NE(mixed.err.find("different depths"), std::string::npos) << mixed.err;
}

// Export writes 8 bits per channel by default (the reader's RGB24) and
// 16 with --png16 (the native-depth conversion).
TEST(CliHighBit, ExportsEightOrSixteenBitPng)
{
    Pair p;
    const lumo::LumoYuvReader reader(p.a, kW, kH, "YUV_TYPE_I010");
    const int64_t offset = 2 * reader.GetFrameSize();
    const std::string png8 = p.dir.File("f8.png"), png16 = p.dir.File("f16.png");
    ASSERT_EQ(RunCli({"export", p.a, "--size", "24x12", "--layout", "i010", "--frame", "2", "-o", png8}).status, 0);
    ASSERT_EQ(RunCli({"export", p.a, "--size", "24x12", "--layout", "i010", "--frame", "2", "--png16", "-o", png16})
                  .status,
              0);
    int w = 0, h = 0, channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> image8(stbi_load(png8.c_str(), &w, &h, &channels, 3), stbi_image_free);
    ASSERT_TRUE(image8 && w == kW && h == kH);
    EXPECT_FALSE(stbi_is_16_bit(png8.c_str()));
    int64_t got = 0;
    std::unique_ptr<uint8_t[]> rgb(reader.ReadFrameRGB24(nullptr, &got, offset));
    EXPECT_EQ(std::vector<uint8_t>(image8.get(), image8.get() + got), std::vector<uint8_t>(rgb.get(), rgb.get() + got));

    ASSERT_TRUE(stbi_is_16_bit(png16.c_str()));
    std::unique_ptr<stbi_us, void (*)(void*)> image16(stbi_load_16(png16.c_str(), &w, &h, &channels, 3),
                                                      stbi_image_free);
    ASSERT_TRUE(image16 && w == kW && h == kH);
    std::unique_ptr<uint16_t[]> planes(reader.ReadFrameYUV444Native(nullptr, &got, offset));
    std::vector<uint16_t> want(3 * kW * kH);
    lumo::Yuv444ToRgb48(planes.get(), kW, kH, 10, want.data());
    EXPECT_EQ(std::vector<uint16_t>(image16.get(), image16.get() + want.size()), want);
    // Not just the 8-bit picture stretched: some channel falls between steps of 257.
    bool between = false;
    for (uint16_t v : want)
        between |= v % 257 != 0;
    EXPECT_TRUE(between);
}
