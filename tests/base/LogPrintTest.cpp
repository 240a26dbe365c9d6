#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/LogPrint.h"

namespace {

// Runs `body` with standard output sent to a file and returns what it wrote.
template <typename F>
std::string CaptureStdout(F body)
{
    std::fflush(stdout);
    char path[] = "/tmp/logprint_XXXXXX";
    const int fd = ::mkstemp(path);
    const int saved = ::dup(1);
    ::dup2(fd, 1);
    body();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    ::close(fd);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path);
    return text.str();
}

const char* kStamp = R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\]\[\d+\])";

} // namespace

TEST(LogPrint, LevelPrefixesShareOneWidth)
{
    const std::string info = CaptureStdout([] {
        LogPrint("..\\OrnGL\\GLTexture\\GLTexture", "LoadImageW", 41, LOG_LEVEL_INFO, "width:%d\n", 640);
    });
    EXPECT_TRUE(std::regex_match(info, std::regex(std::string(R"(\[ INFO  \])") + kStamp +
                                                  R"(\.\.\\OrnGL\\GLTexture\\GLTexture \(41\) width:640\n)")))
        << info;

    const std::string error = CaptureStdout([] { LogPrint("f", "fn", 1, LOG_LEVEL_ERROR, "x"); });
    EXPECT_TRUE(std::regex_match(error, std::regex(std::string(R"(\[ ERROR \])") + kStamp + R"(f \(1\) x)"))) << error;
    const std::string warning = CaptureStdout([] { LogPrint("f", "fn", 2, LOG_LEVEL_WARNING, "y"); });
    EXPECT_TRUE(std::regex_match(warning, std::regex(std::string(R"(\[WARNING\])") + kStamp + R"(f \(2\) y)")))
        << warning;
}

TEST(LogPrint, OtherLevelsWriteNoPrefix)
{
    EXPECT_EQ(CaptureStdout([] { LogPrint("src", "fn", 7, 0, "plain"); }), "src (7) plain");
    EXPECT_EQ(CaptureStdout([] { LogPrint("src", "fn", 8, 4, "plain"); }), "src (8) plain");
}

TEST(LogPrint, Conversions)
{
    const std::string out = CaptureStdout([] {
        LogPrint("s", "fn", 1, 0, "%d|%ld|%lld|%f|%s|%%|%x|%q", -5, 1234567890123L, -9000000000LL, 1.5, "text");
    });
    EXPECT_EQ(out, "s (1) -5|1234567890123|-9000000000|1.500000|text|%|x|q");
}

TEST(LogPrint, ConcurrentMessagesStayWhole)
{
    const std::string out = CaptureStdout([] {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < 200; ++i)
                    LogPrint("thread", "fn", t, LOG_LEVEL_INFO, "%s %d %s\n", "begin", i, "end");
            });
        for (auto& th : threads)
            th.join();
    });
    std::istringstream lines(out);
    std::string line;
    int count = 0;
    const std::regex whole(std::string(R"(\[ INFO  \])") + kStamp + R"(thread \([0-3]\) begin \d+ end)");
    while (std::getline(lines, line)) {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
        ++count;
    }
    EXPECT_EQ(count, 800);
}
