#pragma once

#include <optional>
#include <string>

namespace lumo::cli {

// The value of -o (or --output), `fallback` when it was not given. An empty
// value throws CliError: "-" is the way to say standard output.
std::string OutputPath(const std::optional<std::string>& given, const std::string& fallback);

// Whether the user typed the output name or the program made it up (the
// input's name plus ".yuv").
enum class OutputName { kTyped, kDefault };

// Where a command writes its result. "-" is standard output. For a typed
// name, an existing path that is not a regular file (a device, a FIFO) is
// written in place, and a symbolic link is followed to what it names. A
// default name is never followed or written through: whatever sits there (a
// link planted beside the input, a FIFO) is replaced by the new file, as the
// desktop program does with its NAME.yuv. Anything else is written to a
// hidden temporary file beside the target; Commit renames it over the
// target, so the target either appears complete or not at all. Without a
// commit, or when INT, TERM or HUP ends the program, the temporary file is
// removed.
class OutputFile {
public:
    explicit OutputFile(const std::string& path, OutputName name = OutputName::kTyped);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the output; false with a message when the target is a folder or
    // its folder is missing or not writable. Opening a FIFO waits for its
    // reader, as a shell redirection does.
    bool Open(std::string& error);
    int Fd() const { return fd_; }
    bool IsStandardOutput() const { return path_ == "-"; }
    // "standard output" or the path as given, for messages.
    std::string Name() const;
    // Writes all bytes at the current position; false with a message.
    bool WriteAll(const void* data, size_t size, std::string& error);
    // Finishes the output: a temporary file is flushed to disk, given the
    // usual permissions and renamed over the target.
    bool Commit(std::string& error);

private:
    void CloseFd();

    std::string path_;
    OutputName name_;
    std::string target_;   // path_ with symbolic links followed
    std::string tempPath_; // empty when written in place
    int fd_ = -1;
    int ticket_ = -1;
    bool committed_ = false;
};

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

} // namespace lumo::cli
