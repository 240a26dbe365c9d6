#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "CliRunner.h"
#include "yuv/YuvTypeTable.h"

namespace {

mode_t TypeOf(const std::string& path, bool followLinks)
{
    struct stat st {};
    const int ok = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    return ok == 0 ? (st.st_mode & S_IFMT) : 0;
}

bool HasTemporaryFile(const ScratchDir& dir)
{
    for (const std::string& name : dir.List())
        if (name.find(".part-") != std::string::npos)
            return true;
    return false;
}

// One small input for every command, and the output each writes to a file.
class CliOutputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        yuv_ = dir_.File("in.yuv");
        ASSERT_TRUE(WriteBytes(yuv_, PatternBytes(lumo::GetFrameSize(32, 16, "YUV_TYPE_I420"), 2, 4)));
        png_ = dir_.File("in.png");
        ASSERT_EQ(RunCli({"export", yuv_, "--size", "32x16", "--frame", "1", "-o", png_}).status, 0);
    }
    // The command with "-o OUT" at the end.
    std::vector<std::string> Command(const std::string& name, const std::string& out) const
    {
        if (name == "compare")
            return {"compare", yuv_, yuv_, "--size", "32x16", "--format", "csv", "-o", out};
        if (name == "export")
            return {"export", yuv_, "--size", "32x16", "--frame", "0", "-o", out};
        return {"convert", png_, "-o", out};
    }
    std::string Expected(const std::string& name)
    {
        const std::string out = dir_.File("expected.out");
        EXPECT_EQ(RunCli(Command(name, out)).status, 0);
        const std::vector<uint8_t> bytes = ReadBytes(out);
        std::remove(out.c_str());
        return std::string(bytes.begin(), bytes.end());
    }

    ScratchDir dir_;
    std::string yuv_, png_;
};

} // namespace

// A device, a FIFO or a symbolic link at -o is where the output goes, not
// something to replace by a new file; "-" is standard output; "" is refused.
TEST_F(CliOutputs, GoIntoDevicesFifosAndLinkTargets)
{
    const std::string real = dir_.File("real.out");
    const std::string dangling = dir_.File("later.out");
    const std::string fifo = dir_.File("fifo.out");
    ASSERT_EQ(::symlink("/dev/null", dir_.File("mynull").c_str()), 0);
    ASSERT_EQ(::symlink("real.out", dir_.File("link.out").c_str()), 0);
    ASSERT_EQ(::symlink("later.out", dir_.File("dangling.out").c_str()), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string command : {"compare", "export", "convert"}) {
        SCOPED_TRACE(command);
        const std::string expected = Expected(command);
        ASSERT_FALSE(expected.empty());

        ASSERT_TRUE(WriteBytes(real, {1, 2, 3}));
        EXPECT_EQ(RunCli(Command(command, dir_.File("mynull"))).status, 0);
        EXPECT_EQ(RunCli(Command(command, dir_.File("link.out"))).status, 0);
        EXPECT_EQ(RunCli(Command(command, dir_.File("dangling.out"))).status, 0);
        EXPECT_EQ(TypeOf(dir_.File("mynull"), false), S_IFLNK);
        EXPECT_EQ(TypeOf("/dev/null", false), S_IFCHR);
        EXPECT_EQ(TypeOf(dir_.File("link.out"), false), S_IFLNK);
        EXPECT_EQ(TypeOf(dir_.File("dangling.out"), false), S_IFLNK);
        const std::vector<uint8_t> viaLink = ReadBytes(real);
        const std::vector<uint8_t> viaDangling = ReadBytes(dangling);
        EXPECT_EQ(std::string(viaLink.begin(), viaLink.end()), expected);
        EXPECT_EQ(std::string(viaDangling.begin(), viaDangling.end()), expected);
        std::remove(dangling.c_str());

        // The reader is there before the writer; small outputs fit the pipe.
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        CliRun quick;
        quick.timeoutSeconds = 20;
        EXPECT_EQ(RunCli(Command(command, fifo), quick).status, 0);
        std::string piped;
        char buf[4096];
        for (ssize_t n; (n = ::read(reader, buf, sizeof buf)) > 0;)
            piped.append(buf, static_cast<size_t>(n));
        ::close(reader);
        EXPECT_EQ(piped, expected);
        EXPECT_EQ(TypeOf(fifo, false), S_IFIFO);

        const CliResult toStdout = RunCli(Command(command, "-"));
        EXPECT_EQ(toStdout.status, 0) << toStdout.err;
        EXPECT_EQ(toStdout.out, expected);

        for (const char* empty : {"-o", "--output="}) {
            std::vector<std::string> args = Command(command, "");
            if (empty[1] == '-') {
                args.pop_back();
                args.back() = empty;
            }
            const CliResult refused = RunCli(args);
            ExpectRefused(refused, "empty file name");
            EXPECT_TRUE(refused.out.empty());
        }
        EXPECT_FALSE(HasTemporaryFile(dir_));
    }
}

// The name convert makes up (IN.yuv) is never written through: a link
// planted there, existing or dangling, is replaced by the output itself,
// while -o still follows its link (above).
TEST_F(CliOutputs, DefaultConvertNameReplacesAPlantedLink)
{
    const std::string expected = Expected("convert");
    const std::string victim = dir_.File("victim");
    const std::string later = dir_.File("later");
    const std::string planted = png_ + ".yuv";
    for (const std::string& target : {victim, later}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(WriteBytes(victim, {7, 7, 7}));
        std::remove(planted.c_str());
        ASSERT_EQ(::symlink(target.c_str(), planted.c_str()), 0);
        const CliResult r = RunCli({"convert", png_});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(TypeOf(planted, false), S_IFREG);
        const std::vector<uint8_t> written = ReadBytes(planted);
        EXPECT_EQ(std::string(written.begin(), written.end()), expected);
        EXPECT_EQ(ReadBytes(victim), (std::vector<uint8_t>{7, 7, 7}));
        EXPECT_FALSE(Exists(later));
    }
    EXPECT_FALSE(HasTemporaryFile(dir_));
}

// INT, TERM and HUP end a command as they always do, without leaving its
// hidden temporary file behind. The inputs are big enough (sparse files,
// a long clip) for the signal to arrive in the middle of the work.
TEST_F(CliOutputs, SignalsLeaveNoTemporaryFile)
{
    const std::string frames = dir_.File("frames.yuv");
    ASSERT_TRUE(WriteBytes(frames, {}));
    ASSERT_EQ(::truncate(frames.c_str(), 400LL * 1920 * 1080 * 3 / 2), 0);
    const std::string clip = dir_.File("clip.mp4");
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i "
                           "testsrc=size=1280x720:rate=25 -frames:v 100 -c:v mpeg4 -q:v 31 " + clip).c_str()), 0);
    struct Case {
        std::vector<std::string> args;
        int signal;
    };
    const Case cases[] = {
        {{"compare", frames, frames, "--size", "1920x1080", "-o", dir_.File("r.csv")}, SIGINT},
        {{"export", frames, "--size", "4096x4096", "--frame", "0", "-o", dir_.File("x.png")}, SIGTERM},
        {{"convert", clip, "-o", dir_.File("clip.yuv")}, SIGHUP},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        bool sent = false;
        CliRun run;
        run.whileRunning = [&](int pid) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!HasTemporaryFile(dir_) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            sent = ::kill(pid, c.signal) == 0;
        };
        const CliResult r = RunCli(c.args, run);
        ASSERT_TRUE(sent);
        EXPECT_EQ(r.signal, c.signal) << "status " << r.status << ": " << r.err;
        EXPECT_EQ(dir_.List(), (std::vector<std::string>{"clip.mp4", "frames.yuv", "in.png", "in.yuv"}));
    }
}

// A full disk behind standard output is a failure, whatever the command.
TEST_F(CliOutputs, FailedWritesToStandardOutputExitTwo)
{
    const std::vector<std::string> commands[] = {
        {"info", yuv_, "--size", "32x16"},
        {"compare", yuv_, yuv_, "--size", "32x16"},
        Command("export", "-"),
        Command("convert", "-"),
        {"--help"},
        {"--version"},
    };
    CliRun full;
    full.stdoutPath = "/dev/full";
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        ExpectRefused(RunCli(args, full), "standard output");
    }
}
