#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <memory>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "CliRunner.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/YuvTypeTable.h"


TEST(CliHelp, ListsEveryLayoutWithItsDescription)
{
    const CliResult r = RunCli({"--help"});
    ASSERT_EQ(r.status, 0);
    const lumo::YuvTypeTable& table = lumo::YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        lumo::YuvTypeInfo info;
        ASSERT_EQ(table.GetByIndex(i, info), 0);
        EXPECT_NE(r.out.find(info.name), std::string::npos) << info.name;
        EXPECT_NE(r.out.find(info.description), std::string::npos) << info.description;
    }
    for (const char* command : {"info", "compare", "export", "convert"})
        EXPECT_NE(r.out.find(command), std::string::npos);
    // Help after a subcommand, and no arguments at all.
    EXPECT_EQ(RunCli({"compare", "--help"}).status, 0);
    const CliResult none = RunCli({});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.out.empty());
    EXPECT_EQ(none.err, "yuvlumo-cli: no command given (try yuvlumo-cli --help)\n");
}

TEST(CliInfo, ReportsLayoutFrameSizeAndCount)
{
    ScratchDir dir;
    struct Case {
        const char* layoutArg;
        const char* layout;
        int width, height;
        double frames; // file length in frames
        const char* frameBytes;
        const char* count;
        bool partial;
    };
    const Case cases[] = {
        {"I420", "YUV_TYPE_I420", 352, 288, 2.5, "152064 bytes", "frames:     3 (", true},
        {"YUV_TYPE_I420", "YUV_TYPE_I420", 352, 288, 3, "152064 bytes", "frames:     3\n", false},
        {"yuyv", "YUV_TYPE_YUYV", 352, 288, 1, "202752 bytes", "frames:     1\n", false},
        {"IyUv", "YUV_TYPE_IYUV", 352, 288, 2, "304128 bytes", "frames:     2\n", false},
        {"yuv444_packed", "YUV_TYPE_YUV444_Packed", 4, 2, 1, "24 bytes", "frames:     1\n", false},
        {"nv12", "YUV_TYPE_NV12", 3, 3, 2, "17 bytes", "frames:     2\n", false}, // chroma rounded up
        {"nv21", "YUV_TYPE_NV21", 16, 16, 0, "384 bytes", "frames:     0\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layoutArg);
        const int64_t frameBytes = lumo::GetFrameSize(c.width, c.height, c.layout);
        const std::string path = dir.File("info.yuv");
        ASSERT_TRUE(WriteBytes(path, std::vector<uint8_t>(static_cast<size_t>(frameBytes * c.frames), 7)));
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        const CliResult r = RunCli({"info", path, "--size", size, "--layout", c.layoutArg});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.err.empty());
        EXPECT_NE(r.out.find(std::string("layout:     ") + c.layout + " ("), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.frameBytes), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.count), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("partial") != std::string::npos, c.partial) << r.out;
        const lumo::LumoYuvReader reader(path, c.width, c.height, c.layout);
        EXPECT_NE(r.out.find("frames:     " + std::to_string(reader.GetFrameCount())), std::string::npos);
    }
}

TEST(CliErrors, BadInputGivesOneLineAndStatusTwo)
{
    ScratchDir dir;
    const std::string a = dir.File("a.yuv");
    const std::string small = dir.File("small.yuv");
    const std::string empty = dir.File("empty.yuv");
    const std::string text = dir.File("notes.txt");
    ASSERT_TRUE(WriteBytes(a, PatternBytes(lumo::GetFrameSize(16, 16, "YUV_TYPE_I420"), 2, 1)));
    ASSERT_TRUE(WriteBytes(small, PatternBytes(lumo::GetFrameSize(8, 8, "YUV_TYPE_I420"), 2, 1)));
    ASSERT_TRUE(WriteBytes(empty, {}));
    ASSERT_TRUE(WriteBytes(text, {'h', 'e', 'l', 'l', 'o', '\n'}));
    const std::string missing = dir.File("missing.yuv");
    const std::string png = dir.File("x.png");
    struct Case {
        std::vector<std::string> args;
        const char* needle;
    };
    const Case cases[] = {
        {{"frobnicate"}, "unknown command"},
        {{"info", a, "--size", "16x16", "--layout", "YUV_TYPE_FOO"}, "unknown layout 'YUV_TYPE_FOO'"},
        {{"info", a, "--size", "16x16", "--layout", "yuv_type_iyu2"}, "unknown layout"},
        {{"info", a, "--size", "0x16"}, "at least 1"},
        {{"info", a, "--size", "16x0"}, "at least 1"},
        {{"info", a, "--size", "99999x16"}, "bad size"},
        {{"info", a, "--size", "16"}, "bad size"},
        {{"info", a, "--size", "-16x16"}, "bad size"},
        {{"info", a, "--size", "16x16x1"}, "bad size"},
        {{"info", a, "--size", "4294967312x16"}, "bad size"},
        {{"info", a}, "missing option '--size'"},
        {{"info", a, "--size"}, "needs a value"},
        {{"info", a, "--size", "16x16", "--bogus", "1"}, "unknown option '--bogus'"},
        {{"info", a, a, "--size", "16x16"}, "exactly one file"},
        {{"info", missing, "--size", "16x16"}, "cannot open"},
        {{"info", dir.Path(), "--size", "16x16"}, "not a regular file"},
        {{"compare", a, small, "--size", "16x16", "--size-b", "8x8"}, "same width and height"},
        {{"compare", a, missing, "--size", "16x16"}, "cannot open B"},
        {{"compare", a, empty, "--size", "16x16"}, "B has no frames"},
        {{"compare", a, a, "--size", "16x16", "--frames", "2"}, "past the end"},
        {{"compare", a, a, "--size", "16x16", "--frames", "1:5"}, "past the end"},
        {{"compare", a, a, "--size", "16x16", "--frames", "1:0"}, "comes before"},
        {{"compare", a, a, "--size", "16x16", "--frames", "x"}, "bad value"},
        {{"compare", a, a, "--size", "16x16", "--range", "bt2020"}, "unknown range"},
        {{"compare", a, a, "--size", "16x16", "--metrics", "vmaf"}, "unknown metrics"},
        {{"compare", a, a, "--size", "16x16", "--format", "xml"}, "unknown format"},
        {{"compare", a, "--size", "16x16"}, "exactly two files"},
        {{"compare", a, small, "--size", "16x16", "-o", small}, "is one of the compared files"},
        {{"compare", a, a, "--size", "16x16", "-o", dir.File("no/such/dir/r.csv")}, "cannot write"},
        {{"export", a, "--size", "16x16", "--frame", "0", "-o", a}, "is the input file itself"},
        {{"export", a, "--size", "16x16", "--frame", "2", "-o", png}, "past the end"},
        {{"export", empty, "--size", "16x16", "--frame", "0", "-o", png}, "past the end"},
        {{"export", a, "--size", "16x16", "--frame", "0", "-o", dir.File("no/such/dir/x.png")}, "cannot write"},
        {{"export", a, "--size", "16x16", "--frame", "0", "-o", dir.Path()}, "it is a folder"},
        {{"export", a, "--size", "16x16", "--frame", "0"}, "missing option '-o'"},
        {{"export", a, "--size", "16x16", "--frame", "0", "--range", "bt2020", "-o", png}, "unknown range"},
        {{"export", a, "--size", "16x16", "--frame", "0", "--gamma", "-1", "-o", png}, "bad value"},
        {{"export", a, "--size", "16x16", "--frame", "0", "--gamma", "nan", "-o", png}, "bad value"},
        {{"export", a, "--size", "16x16", "--frame", "0", "--gamma", "10.5", "-o", png}, "bad value"},
        {{"export", a, "--size", "16x16", "--frame", "0", "--png16", "--range", "bt601", "-o", png}, "takes neither"},
        {{"convert", missing}, "cannot open"},
        {{"convert", text, "-o", dir.File("notes.yuv")}, "cannot convert"},
        {{"convert", text, "-o", text}, "is the input file itself"},
    };
    const std::vector<std::string> before = dir.List();
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args)
            joined += arg + " ";
        SCOPED_TRACE(joined);
        const CliResult r = RunCli(c.args);
        ExpectRefused(r, c.needle);
        // Nothing new in the folder: no partial output, no temporary file.
        EXPECT_EQ(dir.List(), before);
    }
    EXPECT_EQ(ReadBytes(text).size(), 6u);
}

TEST(CliExport, WritesTheRgbConversionOfTheFrame)
{
    ScratchDir dir;
    struct Case {
        const char* layout;
        int width, height, frame;
    };
    const Case cases[] = {
        {"YUV_TYPE_I420", 32, 16, 1},
        {"YUV_TYPE_UYVY", 20, 10, 0},
        {"YUV_TYPE_I444", 7, 5, 2},
        {"YUV_TYPE_NV12", 9, 7, 2}, // odd size, partial last frame
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        const int64_t frameBytes = lumo::GetFrameSize(c.width, c.height, c.layout);
        const std::string path = dir.File("in.yuv");
        std::vector<uint8_t> bytes = PatternBytes(frameBytes, 3, 5);
        bytes.resize(bytes.size() - static_cast<size_t>(frameBytes / 2));
        ASSERT_TRUE(WriteBytes(path, bytes));
        const std::string out = dir.File("frame.png");
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        const CliResult r =
            RunCli({"export", path, "--size", size, "--layout", c.layout, "--frame", std::to_string(c.frame), "-o", out});
        ASSERT_EQ(r.status, 0) << r.err;

        int w = 0, h = 0, channels = 0;
        std::unique_ptr<unsigned char, void (*)(void*)> image(stbi_load(out.c_str(), &w, &h, &channels, 3),
                                                              stbi_image_free);
        ASSERT_TRUE(image) << stbi_failure_reason();
        ASSERT_EQ(w, c.width);
        ASSERT_EQ(h, c.height);
        const lumo::LumoYuvReader reader(path, c.width, c.height, c.layout);
        int64_t got = 0;
        std::unique_ptr<uint8_t[]> rgb(reader.ReadFrameRGB24(nullptr, &got, c.frame * frameBytes));
        ASSERT_TRUE(rgb);
        EXPECT_EQ(std::vector<uint8_t>(image.get(), image.get() + got), std::vector<uint8_t>(rgb.get(), rgb.get() + got));
        // A plain new file's permissions, not a private temporary's.
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_NE(st.st_mode & 0044, 0u);
        EXPECT_EQ(dir.List(), (std::vector<std::string>{"frame.png", "in.yuv"}));
        std::remove(out.c_str());
    }
}

TEST(CliExport, RangeGivesFfmpegsStandardMatrices)
{
    // FFmpeg's scale filter with exact rounding converts by the standard
    // matrices; it differs only where the exact value lies within its
    // fixed-point error of a half level, by one.
    ScratchDir dir;
    const struct {
        const char* layout;
        const char* pixFmt;
        int bytesPerSample;
        const char* range;
        const char* ffmpegRange;
        const char* matrix;
    } cases[] = {
        {"i420", "yuv420p", 1, "bt601", "tv", "bt601"},
        {"i420", "yuv420p", 1, "bt709", "tv", "bt709"},
        {"i420", "yuv420p", 1, "bt601full", "pc", "bt601"},
        {"i010", "yuv420p10le", 2, "bt601", "tv", "bt601"},
        {"i010", "yuv420p10le", 2, "bt601full", "pc", "bt601"},
    };
    const int w = 32;
    const int h = 16;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " " + c.range);
        // Samples inside the colour cube's neighbourhood: FFmpeg wraps
        // around for far-out ones.
        const int shift = c.bytesPerSample == 2 ? 2 : 0;
        std::vector<uint8_t> bytes;
        uint32_t seed = 7;
        for (int i = 0; i < w * h * 3 / 2; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const int lo = i < w * h ? 32 : 80;
            const int sample = (lo + static_cast<int>((seed >> 16) % static_cast<uint32_t>(256 - 2 * lo))) << shift;
            bytes.push_back(static_cast<uint8_t>(sample & 0xff));
            if (c.bytesPerSample == 2)
                bytes.push_back(static_cast<uint8_t>(sample >> 8));
        }
        const std::string path = dir.File("in.yuv");
        ASSERT_TRUE(WriteBytes(path, bytes));
        const std::string png = dir.File("out.png");
        const CliResult r = RunCli({"export", path, "--size", "32x16", "--layout", c.layout, "--frame", "0", "--range",
                                    c.range, "-o", png});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string rgb = dir.File("ffmpeg.rgb");
        ASSERT_EQ(std::system(("ffmpeg -hide_banner -nostdin -loglevel error -y -f rawvideo -pix_fmt " +
                               std::string(c.pixFmt) + " -s 32x16 -i " + path + " -vf scale=in_range=" +
                               c.ffmpegRange + ":in_color_matrix=" + c.matrix +
                               ":out_range=pc:flags=neighbor+accurate_rnd+full_chroma_int,format=rgb24 -f rawvideo " +
                               rgb)
                                  .c_str()),
                  0);
        int pw = 0, ph = 0, channels = 0;
        std::unique_ptr<unsigned char, void (*)(void*)> image(stbi_load(png.c_str(), &pw, &ph, &channels, 3),
                                                              stbi_image_free);
        ASSERT_TRUE(image);
        const std::vector<uint8_t> reference = ReadBytes(rgb);
        ASSERT_EQ(reference.size(), static_cast<size_t>(w * h * 3));
        int off = 0;
        for (size_t i = 0; i < reference.size(); ++i) {
            ASSERT_NEAR(image.get()[i], reference[i], 1) << "byte " << i;
            off += image.get()[i] != reference[i];
        }
        EXPECT_LT(off, w * h * 3 / 50) << "off by one only at near-ties";
    }
    // Without --range and --gamma the fixed formula stays; with --gamma
    // alone the range is BT.601 full.
    const std::string plain = dir.File("plain.png");
    const std::string full = dir.File("full.png");
    const std::string gamma1 = dir.File("gamma1.png");
    const std::string in = dir.File("in.yuv");
    ASSERT_EQ(RunCli({"export", in, "--size", "32x16", "--layout", "i010", "--frame", "0", "-o", plain}).status, 0);
    ASSERT_EQ(RunCli({"export", in, "--size", "32x16", "--layout", "i010", "--frame", "0", "--range", "bt601full",
                      "-o", full})
                  .status,
              0);
    ASSERT_EQ(
        RunCli({"export", in, "--size", "32x16", "--layout", "i010", "--frame", "0", "--gamma", "1", "-o", gamma1})
            .status,
        0);
    EXPECT_NE(ReadBytes(plain), ReadBytes(full));
    EXPECT_EQ(ReadBytes(gamma1), ReadBytes(full));
}

TEST(CliExport, FailureLeavesAnExistingOutputAlone)
{
    ScratchDir dir;
    const std::string path = dir.File("in.yuv");
    ASSERT_TRUE(WriteBytes(path, PatternBytes(lumo::GetFrameSize(8, 8, "YUV_TYPE_I420"), 1, 2)));
    const std::string out = dir.File("keep.png");
    ASSERT_TRUE(WriteBytes(out, {1, 2, 3}));
    const CliResult r = RunCli({"export", path, "--size", "8x8", "--frame", "1", "-o", out});
    ExpectRefused(r, "past the end");
    EXPECT_EQ(ReadBytes(out), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(CliConvert, WritesBesideTheInputOrToTheGivenPath)
{
    ScratchDir dir;
    // A PNG made by export is the media file.
    const std::string raw = dir.File("src.yuv");
    ASSERT_TRUE(WriteBytes(raw, PatternBytes(lumo::GetFrameSize(64, 48, "YUV_TYPE_I420"), 1, 9)));
    const std::string png = dir.File("pic.png");
    ASSERT_EQ(RunCli({"export", raw, "--size", "64x48", "--frame", "0", "-o", png}).status, 0);

    const std::string given = dir.File("given.yuv");
    for (const std::string& out : {png + ".yuv", given}) {
        SCOPED_TRACE(out);
        std::vector<std::string> args = {"convert", png};
        if (out == given)
            args.insert(args.end(), {"-o", given});
        const CliResult r = RunCli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("width:  64\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("height: 48\n"), std::string::npos) << r.out;
        const size_t at = r.out.find("layout: ");
        ASSERT_NE(at, std::string::npos);
        const std::string layout = r.out.substr(at + 8, r.out.find('\n', at) - at - 8);
        lumo::YuvTypeInfo info;
        ASSERT_EQ(lumo::YuvTypeTable::Instance().FindByName(layout, info), 0) << layout;
        // One frame of the reported geometry, and no temporary left over.
        EXPECT_EQ(static_cast<int64_t>(ReadBytes(out).size()), lumo::GetFrameSize(64, 48, layout));
        for (const std::string& name : dir.List())
            EXPECT_EQ(name.find(".part-"), std::string::npos) << name;
    }
}

// Opening a FIFO for reading waits for a writer; every command must refuse
// it (and any other file that is not a regular one) at once, saying what it is.
TEST(CliInputs, AnythingButARegularFileIsRefusedAtOnce)
{
    ScratchDir dir;
    const std::string a = dir.File("a.yuv");
    ASSERT_TRUE(WriteBytes(a, PatternBytes(lumo::GetFrameSize(16, 16, "YUV_TYPE_I420"), 1, 1)));
    const std::string fifo = dir.File("p.yuv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.File("d.mp4");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    struct Special {
        std::string path;
        const char* kind;
    };
    const Special specials[] = {{fifo, "named pipe"}, {folder, "folder"}, {"/dev/zero", "device"}};
    for (const Special& s : specials) {
        const std::vector<std::string> commands[] = {
            {"info", s.path, "--size", "16x16"},
            {"export", s.path, "--size", "16x16", "--frame", "0", "-o", dir.File("x.png")},
            {"compare", s.path, a, "--size", "16x16"},
            {"compare", a, s.path, "--size", "16x16"},
            {"convert", s.path, "-o", dir.File("x.yuv")},
        };
        for (const auto& args : commands) {
            SCOPED_TRACE(args[0] + " " + s.path);
            CliRun quick;
            quick.timeoutSeconds = 10;
            const CliResult r = RunCli(args, quick);
            ASSERT_FALSE(r.timedOut);
            ExpectRefused(r, s.kind);
            EXPECT_EQ(r.err.find("no such file"), std::string::npos) << r.err;
        }
    }
    ::rmdir(folder.c_str());
}

// Local names are files whatever they look like, and the media library's
// own messages stay off standard error.
TEST(CliConvert, LocalNamesAreFilesAndFfmpegStaysQuiet)
{
    ScratchDir dir;
    const std::string raw = dir.File("src.yuv");
    ASSERT_TRUE(WriteBytes(raw, PatternBytes(lumo::GetFrameSize(32, 16, "YUV_TYPE_I420"), 1, 3)));
    for (const char* name : {"pipe:0", "take1:final.png"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(RunCli({"export", raw, "--size", "32x16", "--frame", "0", "-o", dir.File(name)}).status, 0);
        CliRun inDir;
        inDir.cwd = dir.Path();
        const CliResult r = RunCli({"convert", name, "-o", "out.yuv"}, inDir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("width:  32\n"), std::string::npos) << r.out;
        EXPECT_EQ(ReadBytes(dir.File("out.yuv")).size(), 32u * 16 * 3 / 2);
        std::remove(dir.File("out.yuv").c_str());
    }

    // An MP4 cut before its index makes the demuxer complain loudly.
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=25 "
                           "-frames:v 5 -c:v mpeg4 " + dir.File("whole.mp4")).c_str()), 0);
    std::vector<uint8_t> mp4 = ReadBytes(dir.File("whole.mp4"));
    mp4.resize(mp4.size() / 2);
    ASSERT_TRUE(WriteBytes(dir.File("cut.mp4"), mp4));
    ExpectRefused(RunCli({"convert", dir.File("cut.mp4"), "-o", dir.File("cut.yuv")}), "cannot convert");
}

// A playlist disguised as a clip names another local file, and a Y4M header
// states a frame wider than 16384: both are refused with status 2, and no
// output appears, neither the default one nor -o's.
TEST(CliConvert, PlaylistsAndOversizedMediaAreRefused)
{
    ScratchDir dir;
    const std::string clip = dir.File("other.ts");
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i testsrc=size=32x16:rate=25 "
                           "-frames:v 2 -c:v mpeg2video " + clip).c_str()), 0);
    const std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10.0,\n" + clip + "\n#EXT-X-ENDLIST\n";
    const std::string y4m = "YUV4MPEG2 W16400 H2 F25:1 C420jpeg\nFRAME\n";
    ASSERT_TRUE(WriteBytes(dir.File("holiday.mp4"), std::vector<uint8_t>(playlist.begin(), playlist.end())));
    ASSERT_TRUE(WriteBytes(dir.File("wide.y4m"), std::vector<uint8_t>(y4m.begin(), y4m.end())));
    const std::vector<std::string> inputs = {"holiday.mp4", "other.ts", "wide.y4m"};
    const std::pair<std::string, std::string> cases[] = {
        {"holiday.mp4", "holiday.mp4 is a playlist that names other files; not converted"},
        {"wide.y4m", "wide.y4m is larger than 16384x16384, the largest frame shown; not converted"},
    };
    for (const auto& [name, message] : cases) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"convert", dir.File(name)},
              {"convert", dir.File(name), "-o", dir.File("given.yuv")}}) {
            ExpectRefused(RunCli(args), message);
            EXPECT_EQ(dir.List(), inputs);
        }
    }
}
