#include "CliRunner.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

std::string ReadText(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

CliResult RunCli(const std::vector<std::string>& args, const CliRun& how)
{
    CliResult result;
    const char* tmp = std::getenv("LUMO_TEST_TMP");
    const std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/cli_run_" + std::to_string(::getpid());
    const std::string outPath = how.stdoutPath.empty() ? base + ".out" : how.stdoutPath;
    const std::string errPath = base + ".err";
    const pid_t pid = ::fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || (!how.cwd.empty() && ::chdir(how.cwd.c_str()) != 0))
            ::_exit(126);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (how.addressSpace > 0) {
            const rlimit limit{static_cast<rlim_t>(how.addressSpace), static_cast<rlim_t>(how.addressSpace)};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        std::vector<char*> argv;
        std::string program = YUVLUMO_CLI;
        argv.push_back(program.data());
        std::vector<std::string> copies(args);
        for (std::string& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (how.whileRunning)
        how.whileRunning(pid);
    int status = 0;
    for (int waited = 0;; waited += 5) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0)
            return result;
        if (waited >= how.timeoutSeconds * 1000) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        ::usleep(5000);
    }
    if (!result.timedOut && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    if (!result.timedOut && WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    if (how.stdoutPath.empty()) {
        result.out = ReadText(outPath);
        std::remove(outPath.c_str());
    }
    result.err = ReadText(errPath);
    std::remove(errPath.c_str());
    return result;
}

void ExpectRefused(const CliResult& r, const std::string& needle)
{
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("yuvlumo-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(needle), std::string::npos) << "expected '" << needle << "' in: " << r.err;
}

ScratchDir::ScratchDir()
{
    const char* tmp = std::getenv("LUMO_TEST_TMP");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/cli_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()))
        path_ = buf.data();
}

ScratchDir::~ScratchDir()
{
    for (const std::string& name : List())
        std::remove(File(name).c_str());
    ::chmod(path_.c_str(), 0755);
    ::rmdir(path_.c_str());
}

std::vector<std::string> ScratchDir::List() const
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(path_.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    uint8_t buf[65536];
    size_t got = 0;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + got);
    std::fclose(f);
    return bytes;
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<uint8_t> PatternBytes(int64_t frameBytes, int frames, uint32_t seed)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(frameBytes * frames));
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < bytes.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        // Smooth content plus a little noise, so SSIM is neither 0 nor 1.
        bytes[i] = static_cast<uint8_t>((i * 3 / 7 + seed * 17) % 200 + (state >> 28));
    }
    return bytes;
}
