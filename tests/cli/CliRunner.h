#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Runs yuvlumo-cli as a child process and collects what it printed.
struct CliResult {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

CliResult RunCli(const std::vector<std::string>& args);

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
