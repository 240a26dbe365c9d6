// compare's --metrics and --roi: the columns each choice adds, their values
// against the library on the same planes, a region against the cropped files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "iqa/CodecMetrics.h"

namespace {

constexpr int kW = 176, kH = 176; // the smallest even size with five MS-SSIM scales

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line + ",");
    for (std::string f; std::getline(in, f, ',');)
        fields.push_back(f);
    return fields;
}

// Frames of an I420 pair: smooth content, B with small errors.
struct Files {
    ScratchDir dir;
    std::string a = dir.File("a.yuv"), b = dir.File("b.yuv");
    std::vector<uint8_t> bytesA, bytesB;
    Files(int w, int h, int frames)
    {
        bytesA = PatternBytes(static_cast<int64_t>(w) * h * 3 / 2, frames, 1);
        bytesB = bytesA;
        for (size_t i = 0; i < bytesB.size(); i += 5)
            bytesB[i] = static_cast<uint8_t>(std::min(255, bytesB[i] + 6));
        EXPECT_TRUE(WriteBytes(a, bytesA) && WriteBytes(b, bytesB));
    }
};

// The I420 planes of `frame` cut to a rectangle of luma (chroma by the same
// rule the region uses), as a new I420-like file body.
std::vector<uint8_t> Crop(const std::vector<uint8_t>& bytes, int w, int h, int frames, int x, int y, int cw, int ch)
{
    std::vector<uint8_t> out;
    const size_t frameSize = static_cast<size_t>(w) * h * 3 / 2;
    for (int f = 0; f < frames; ++f) {
        const uint8_t* base = bytes.data() + f * frameSize;
        for (int r = 0; r < ch; ++r)
            out.insert(out.end(), base + (y + r) * w + x, base + (y + r) * w + x + cw);
        for (int p = 0; p < 2; ++p) {
            const uint8_t* plane = base + w * h + p * (w / 2) * (h / 2);
            for (int r = 0; r < ch / 2; ++r)
                out.insert(out.end(), plane + (y / 2 + r) * (w / 2) + x / 2, plane + (y / 2 + r) * (w / 2) + x / 2 + cw / 2);
        }
    }
    return out;
}

} // namespace

TEST(CliMetrics, ColumnsOfEachChoice)
{
    Files files(32, 16, 2);
    const std::string base = "frame,ssim,mse_y,mse_u,mse_v,psnr_y,psnr_u,psnr_v";
    struct Case {
        const char* metrics;
        std::string header;
    } cases[] = {
        {"all", base},
        {"psnr", base},
        {"ssim", base + ",ssim_y,ssim_u,ssim_v"},
        {"psnr_yuv,ms_ssim", base + ",ms_ssim_y,psnr_yuv"},
        {"EVERY", base + ",ssim_y,ssim_u,ssim_v,ms_ssim_y,psnr_yuv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.metrics);
        const CliResult r =
            RunCli({"compare", files.a, files.b, "--size", "32x16", "--format", "csv", "--metrics", c.metrics});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[0], c.header);
        const size_t columns = Fields(c.header).size();
        for (const std::string& line : lines)
            EXPECT_EQ(Fields(line).size(), columns) << line;
        // Without psnr its columns stay, empty; SSIM_GRAY likewise.
        const std::vector<std::string> row = Fields(lines[1]);
        const bool psnr = std::string(c.metrics) == "all" || std::string(c.metrics) == "psnr" ||
                          std::string(c.metrics) == "EVERY";
        EXPECT_EQ(row[2].empty(), !psnr);
        EXPECT_EQ(Fields(lines[4])[5].empty(), !psnr);
    }
    // 16 rows: no MS-SSIM (empty in CSV, null in JSON, - in the table).
    const CliResult csv = RunCli({"compare", files.a, files.b, "--size", "32x16", "--format", "csv", "--metrics",
                                  "ms_ssim", "--frames", "0"});
    EXPECT_EQ(Lines(csv.out)[1], "0,,,,,,,,");
    const CliResult json = RunCli({"compare", files.a, files.b, "--size", "32x16", "--format", "json", "--metrics",
                                   "ms_ssim", "--frames", "0"});
    EXPECT_NE(json.out.find("\"ms_ssim_y\": null"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"metrics\": \"ms_ssim\""), std::string::npos) << json.out;
    const CliResult table =
        RunCli({"compare", files.a, files.b, "--size", "32x16", "--metrics", "ms_ssim", "--frames", "0"});
    EXPECT_NE(table.out.find("MS-SSIM-Y"), std::string::npos) << table.out;
    EXPECT_NE(Lines(table.out).back().find(" -"), std::string::npos) << table.out;
}

TEST(CliMetrics, ValuesEqualTheLibraryOnTheSamePlanes)
{
    Files files(kW, kH, 2);
    const CliResult r = RunCli(
        {"compare", files.a, files.b, "--size", "176x176", "--format", "csv", "--metrics", "every"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 5u);
    const size_t n = static_cast<size_t>(kW) * kH;
    double sumYuv = 0;
    for (int f = 0; f < 2; ++f) {
        const std::vector<std::string> row = Fields(lines[1 + f]);
        const uint8_t* a = files.bytesA.data() + f * n * 3 / 2;
        const uint8_t* b = files.bytesB.data() + f * n * 3 / 2;
        EXPECT_DOUBLE_EQ(std::stod(row[8]), lumo::PlaneSsim(a, b, kW, kH, kW, 8));
        EXPECT_DOUBLE_EQ(std::stod(row[9]), lumo::PlaneSsim(a + n, b + n, kW / 2, kH / 2, kW / 2, 8));
        EXPECT_DOUBLE_EQ(std::stod(row[10]), lumo::PlaneSsim(a + n * 5 / 4, b + n * 5 / 4, kW / 2, kH / 2, kW / 2, 8));
        EXPECT_DOUBLE_EQ(std::stod(row[11]), lumo::PlaneMsSsim(a, b, kW, kH, kW, 8));
        const double psnr[3] = {std::stod(row[5]), std::stod(row[6]), std::stod(row[7])};
        EXPECT_DOUBLE_EQ(std::stod(row[12]), lumo::YuvPsnr(psnr));
        sumYuv += std::stod(row[12]);
    }
    const std::vector<std::string> mean = Fields(lines[3]);
    EXPECT_DOUBLE_EQ(std::stod(mean[12]), sumYuv / 2);
    // The PSNR-of-mean-MSE row: only psnr_yuv, from its own PSNRs.
    const std::vector<std::string> ofMean = Fields(lines[4]);
    const double own[3] = {std::stod(ofMean[5]), std::stod(ofMean[6]), std::stod(ofMean[7])};
    EXPECT_TRUE(ofMean[8].empty() && ofMean[9].empty() && ofMean[10].empty() && ofMean[11].empty());
    EXPECT_DOUBLE_EQ(std::stod(ofMean[12]), lumo::YuvPsnr(own));
}

TEST(CliMetrics, RegionEqualsTheCroppedFiles)
{
    Files files(48, 32, 2);
    ScratchDir dir;
    const std::string ca = dir.File("ca.yuv"), cb = dir.File("cb.yuv");
    ASSERT_TRUE(WriteBytes(ca, Crop(files.bytesA, 48, 32, 2, 8, 4, 24, 22)));
    ASSERT_TRUE(WriteBytes(cb, Crop(files.bytesB, 48, 32, 2, 8, 4, 24, 22)));
    const CliResult region = RunCli({"compare", files.a, files.b, "--size", "48x32", "--format", "csv",
                                     "--metrics", "every", "--roi", "8,4,24,22"});
    const CliResult cropped =
        RunCli({"compare", ca, cb, "--size", "24x22", "--format", "csv", "--metrics", "every"});
    ASSERT_EQ(region.status, 0) << region.err;
    EXPECT_EQ(region.out, cropped.out);
    // The whole frame as a region is the whole frame.
    const std::vector<std::string> whole = {"compare", files.a, files.b, "--size", "48x32", "--metrics", "every"};
    std::vector<std::string> asRegion = whole;
    asRegion.insert(asRegion.end(), {"--format", "csv", "--roi", "0,0,48,32"});
    std::vector<std::string> plain = whole;
    plain.insert(plain.end(), {"--format", "csv"});
    EXPECT_EQ(RunCli(asRegion).out, RunCli(plain).out);

    // Odd edges: chroma columns [1, 5) and rows [0, 2) for 3,1,6,2.
    const CliResult odd = RunCli({"compare", files.a, files.b, "--size", "48x32", "--format", "csv", "--frames",
                                  "0", "--roi", "3,1,6,2"});
    ASSERT_EQ(odd.status, 0) << odd.err;
    double sse = 0;
    for (int y = 0; y < 2; ++y)
        for (int x = 1; x < 5; ++x) {
            const size_t at = 48 * 32 + y * 24 + x;
            sse += std::pow(files.bytesA[at] - files.bytesB[at], 2);
        }
    EXPECT_DOUBLE_EQ(std::stod(Fields(Lines(odd.out)[1])[3]), sse / 8);

    for (const char* roi : {"40,0,9,4", "0,30,4,3", "0,0,0,4", "1,2,3", "a,b,c,d"})
        ExpectRefused(RunCli({"compare", files.a, files.b, "--size", "48x32", "--roi", roi}), "--roi");
}

TEST(CliMetrics, RdRowsAreCompareMeansAndBdRateReadsThem)
{
    Files files(32, 16, 2);
    ScratchDir dir;
    // Four encodes of rising quality: B with ever fewer errors.
    std::vector<std::string> encodes;
    for (int q = 0; q < 4; ++q) {
        std::vector<uint8_t> bytes = files.bytesA;
        for (size_t i = 0; i < bytes.size(); i += 3 + q * 4)
            bytes[i] = static_cast<uint8_t>(std::min(255, bytes[i] + 9));
        encodes.push_back(dir.File("enc" + std::to_string(q) + ".yuv"));
        ASSERT_TRUE(WriteBytes(encodes.back(), bytes));
    }
    std::vector<std::string> rd = {"rd", files.a};
    rd.insert(rd.end(), encodes.begin(), encodes.end());
    rd.insert(rd.end(), {"--size", "32x16", "--metrics", "every"});
    std::vector<std::string> anchorArgs = rd, testArgs = rd;
    const std::string anchor = dir.File("anchor.csv"), test = dir.File("test.csv");
    anchorArgs.insert(anchorArgs.end(), {"--bitrates", "400,800,1600,3200", "-o", anchor});
    testArgs.insert(testArgs.end(), {"--bitrates", "200,400,800,1600", "-o", test});
    const CliResult a = RunCli(anchorArgs);
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(RunCli(testArgs).status, 0);
    const std::vector<uint8_t> anchorBytes = ReadBytes(anchor);
    const std::vector<std::string> rows = Lines(std::string(anchorBytes.begin(), anchorBytes.end()));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], "file,bitrate,frames,ssim,mse_y,mse_u,mse_v,psnr_y,psnr_u,psnr_v,ssim_y,ssim_u,ssim_v,"
                       "ms_ssim_y,psnr_yuv");
    const CliResult compare =
        RunCli({"compare", files.a, encodes[1], "--size", "32x16", "--format", "csv", "--metrics", "every"});
    const std::vector<std::string> mean = Fields(Lines(compare.out)[3]);
    const std::vector<std::string> row = Fields(rows[2]);
    EXPECT_EQ(row[0], encodes[1]);
    EXPECT_EQ(row[1], "800");
    EXPECT_EQ(row[2], "2");
    EXPECT_EQ(std::vector<std::string>(row.begin() + 3, row.end()), std::vector<std::string>(mean.begin() + 1, mean.end()));

    const CliResult table = RunCli({"bdrate", anchor, test});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("BD-rate:   -50 %"), std::string::npos) << table.out;
    const CliResult json = RunCli({"bdrate", anchor, test, "--metric", "psnr_yuv", "--method", "poly", "--format",
                                   "json"});
    EXPECT_EQ(json.out.find("{\"bdRate\":-"), 0u) << json.out;
    for (const char* key : {"\"bdMetric\":", "\"metric\":\"psnr_yuv\"", "\"method\":\"poly\""})
        EXPECT_NE(json.out.find(key), std::string::npos) << json.out;

    // Refusals: one line, status 2.
    const std::string few = dir.File("few.csv"), flat = dir.File("flat.csv"), narrow = dir.File("narrow.csv");
    const std::string head = "file,bitrate,psnr_y\n";
    ASSERT_TRUE(WriteBytes(few, std::vector<uint8_t>(head.begin(), head.end())));
    const std::string flatText = head + "a,1,30\nb,2,31\nc,3,31\nd,4,33\n";
    ASSERT_TRUE(WriteBytes(flat, std::vector<uint8_t>(flatText.begin(), flatText.end())));
    ExpectRefused(RunCli({"bdrate", anchor, few}), "at least 4");
    ExpectRefused(RunCli({"bdrate", flat, anchor}), "rise strictly");
    ExpectRefused(RunCli({"bdrate", anchor, test, "--metric", "vmaf"}), "no column 'vmaf'");
    ExpectRefused(RunCli({"rd", files.a, encodes[0], "--size", "32x16"}), "--bitrates");
    ExpectRefused(RunCli({"rd", files.a, encodes[0], "--size", "32x16", "--bitrates", "1,2"}), "2 rates for 1");
    ExpectRefused(RunCli({"rd", files.a, dir.File("x.mkv"), "--size", "32x16", "--bitrates", "5"}), "cannot open");
    // A curve overlapping a small part of the other: measured, and said.
    const std::string narrowText = head + "a,100,30\nb,200,31\nc,300,32\nd,400,60\n";
    ASSERT_TRUE(WriteBytes(narrow, std::vector<uint8_t>(narrowText.begin(), narrowText.end())));
    const CliResult partial = RunCli({"bdrate", narrow, test});
    EXPECT_EQ(partial.status, 0) << partial.err;
    EXPECT_NE(partial.err.find("less than half"), std::string::npos) << partial.err;
}
