#pragma once

#include <string>

namespace lumo::cli {

// A hidden temporary file beside a target path. Whatever is written goes to
// the temporary file; Commit renames it over the target, so the target either
// appears complete or not at all. Without a commit the temporary file is
// removed on destruction.
class TempOutputFile {
public:
    explicit TempOutputFile(const std::string& target);
    ~TempOutputFile();
    TempOutputFile(const TempOutputFile&) = delete;
    TempOutputFile& operator=(const TempOutputFile&) = delete;

    // Creates the temporary file; false with a message when the target's
    // folder is missing or not writable, or the target is a folder.
    bool Create(std::string& error);
    int Fd() const { return fd_; }
    const std::string& Path() const { return tempPath_; }
    // Closes the descriptor (for writers that open the path themselves).
    void CloseFd();
    // Writes all bytes at the current position; false with a message.
    bool WriteAll(const void* data, size_t size, std::string& error);
    // Flushes to disk, gives the file the usual permissions and renames it
    // over the target.
    bool Commit(std::string& error);

private:
    std::string target_;
    std::string tempPath_;
    int fd_ = -1;
    bool committed_ = false;
};

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

} // namespace lumo::cli
