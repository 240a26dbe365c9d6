#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Runs yuvlumo-cli as a child process and collects what it printed.
struct CliResult {
    int status = -1; // exit status, -1 when it did not exit normally
    int signal = 0;  // the signal that ended it, if one did
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct CliRun {
    std::string cwd;           // empty: the test's own
    std::string stdoutPath;    // empty: captured into CliResult::out
    long long addressSpace = 0; // RLIMIT_AS in bytes, 0 for none
    int timeoutSeconds = 120;  // then the child is killed
    // Called with the child's pid once it runs, before waiting for it.
    std::function<void(int pid)> whileRunning;
};

CliResult RunCli(const std::vector<std::string>& args, const CliRun& how = CliRun());

// Status 2 and one line on standard error, "yuvlumo-cli: ..." holding
// `needle`: how every refusal looks.
void ExpectRefused(const CliResult& r, const std::string& needle);

// A private folder under the test's scratch folder, removed with its files.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Names of the files in the folder, sorted.
    std::vector<std::string> List() const;

private:
    std::string path_;
};

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
bool Exists(const std::string& path);

// Deterministic frame content: `frames` frames of `frameBytes` each.
std::vector<uint8_t> PatternBytes(int64_t frameBytes, int frames, uint32_t seed);
