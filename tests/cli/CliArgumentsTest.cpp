#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRunner.h"
#include "yuv/YuvTypeTable.h"

// How arguments are read where an option library could read them otherwise:
// files named like commands or options, "--", repeated options, an option
// cut off at the end.
TEST(CliArguments, FilesOptionsAndTheirEdges)
{
    ScratchDir dir;
    const std::vector<uint8_t> frames = PatternBytes(lumo::GetFrameSize(16, 16, "YUV_TYPE_I420"), 2, 4);
    for (const char* name : {"info", "export", "-dash.yuv"})
        ASSERT_TRUE(WriteBytes(dir.File(name), frames));
    struct Case {
        std::vector<std::string> args;
        const char* refusal; // nullptr: runs, and standard output holds `out`
        const char* out;
    };
    const Case cases[] = {
        {{"compare", "info", "export", "--size", "16x16", "--format", "csv"}, nullptr, "frame,ssim"},
        {{"info", "--size=16x16", "--", "-dash.yuv"}, nullptr, "file:       -dash.yuv"},
        {{"info", "info", "--size", "8x8", "--size", "16x16"}, nullptr, "size:       16x16, from --size"},
        {{"info", "--help"}, nullptr, "--layout L"},
        {{"compare", "info", "export", "--", "--size", "16x16"}, "compare needs exactly two files", nullptr},
        {{"info", "--", "info", "export"}, "info needs exactly one file", nullptr},
        {{"export", "info", "--size", "16x16", "--frame", "0", "-o"}, "option '-o' needs a value", nullptr},
        {{"export", "info", "--size", "16x16", "--png16", "--frame"}, "option '--frame' needs a value", nullptr},
        {{"--bogus", "info", "info"}, "unknown option '--bogus'", nullptr},
        {{"info", "info", "--size", "16x16", "-x"}, "unknown option '-x'", nullptr},
    };
    CliRun inDir;
    inDir.cwd = dir.Path();
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args)
            joined += arg + " ";
        SCOPED_TRACE(joined);
        const CliResult r = RunCli(c.args, inDir);
        if (c.refusal) {
            ExpectRefused(r, c.refusal);
            EXPECT_TRUE(r.out.empty());
            continue;
        }
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    }
    // The help of one command holds its options only; the whole help every one.
    EXPECT_EQ(RunCli({"info", "--help"}).out.find("--frames"), std::string::npos);
    const std::string all = RunCli({"--help"}).out;
    for (const char* option : {"--size-b", "--frames", "--jobs", "--png16", "--frame N", "--output", "--version"})
        EXPECT_NE(all.find(option), std::string::npos) << option;
}
