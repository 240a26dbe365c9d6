#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CliRunner.h"

namespace {

bool Ffmpeg(const std::string& args)
{
    return std::system(("ffmpeg -hide_banner -nostdin -loglevel error -y " + args).c_str()) == 0;
}

std::string Line(const std::string& out, const std::string& key)
{
    const size_t at = out.find("\n" + key);
    return at == std::string::npos ? std::string() : out.substr(at + 1, out.find('\n', at + 1) - at - 1);
}

} // namespace

// An encoded file is read decoded in place by info, compare, export and rd:
// every number equals the one its raw decode by FFmpeg gives.
TEST(CliEncoded, ReadInPlaceAsItsRawDecode)
{
    ScratchDir dir;
    const std::string ref = dir.File("ref_96x64.yuv");
    const std::string enc = dir.File("enc.mp4");
    const std::string dec = dir.File("dec_96x64.yuv");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 12 -pix_fmt yuv420p -f rawvideo " + ref));
    if (!Ffmpeg("-f rawvideo -s 96x64 -pix_fmt yuv420p -r 25 -i " + ref +
                " -c:v libx264 -bf 2 -g 5 -crf 35 " + enc))
        GTEST_SKIP() << "no libx264 encoder";
    ASSERT_TRUE(Ffmpeg("-i " + enc + " -fps_mode passthrough -f rawvideo " + dec));

    const CliResult info = RunCli({"info", enc});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(Line(info.out, "size:"), "size:       96x64, from the video stream");
    EXPECT_EQ(Line(info.out, "frames:"), "frames:     12");
    EXPECT_EQ(Line(info.out, "codec:"), "codec:      h264");
    EXPECT_EQ(Line(info.out, "fps:"), "fps:        25");
    EXPECT_EQ(Line(info.out, "pixels:"), "pixels:     yuv420p");
    EXPECT_NE(Line(info.out, "container:").find("mp4"), std::string::npos) << info.out;
    // Bytes x 8 / (12 / 25 s) / 1000, as FFprobe counts the packets.
    EXPECT_NE(Line(info.out, "bitrate:").find(" kbit/s"), std::string::npos) << info.out;

    // Either side encoded, or both: the report of the raw decode.
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> twin;
    } pairs[] = {
        {{"compare", ref, enc}, {"compare", ref, dec}},
        {{"compare", enc, ref}, {"compare", dec, ref}},
        {{"compare", enc, enc}, {"compare", dec, dec}},
    };
    for (const auto& pair : pairs) {
        std::vector<std::string> args = pair.args, twin = pair.twin;
        for (auto* list : {&args, &twin})
            list->insert(list->end(), {"--format", "csv"});
        const CliResult got = RunCli(args), want = RunCli(twin);
        ASSERT_EQ(got.status, 0) << got.err;
        EXPECT_EQ(got.out, want.out);
    }
    // Options that contradict the stream are refused.
    ExpectRefused(RunCli({"compare", ref, enc, "--size-b", "32x32"}), "video stream");

    const CliResult png = RunCli({"export", enc, "--frame", "7", "-o", dir.File("a.png")});
    ASSERT_EQ(png.status, 0) << png.err;
    ASSERT_EQ(RunCli({"export", dec, "--frame", "7", "-o", dir.File("b.png")}).status, 0);
    EXPECT_EQ(ReadBytes(dir.File("a.png")), ReadBytes(dir.File("b.png")));
    ExpectRefused(RunCli({"export", enc, "--frame", "12", "-o", dir.File("c.png")}), "past the end");

    // rd takes the encode's bitrate from its stream.
    const CliResult rd = RunCli({"rd", ref, enc, "--metrics", "psnr"});
    ASSERT_EQ(rd.status, 0) << rd.err;
    const std::string rate = Line(info.out, "bitrate:").substr(12);
    EXPECT_NE(rd.out.find("," + rate.substr(0, rate.find('.')) ), std::string::npos) << rd.out << rate;

    // Not decodable: refused, not read as raw samples.
    ASSERT_TRUE(WriteBytes(dir.File("junk.mkv"), PatternBytes(4096, 1, 5)));
    ExpectRefused(RunCli({"info", dir.File("junk.mkv")}), "cannot decode");
    ExpectRefused(RunCli({"compare", ref, dir.File("junk.mkv")}), "cannot decode");
}
