#pragma once
#include <cstddef>
#include <string>

namespace lumo {

// Writes a converted file under a temporary name beside the target and moves
// it into place only on Commit, so a failed or stopped conversion leaves no
// partial file behind and never clobbers an earlier result. Given a
// descriptor instead, it writes straight into it and leaves everything else
// (closing, renaming, removing) to the caller.
class RawYuvFileWriter {
public:
    explicit RawYuvFileWriter(std::string target);
    explicit RawYuvFileWriter(int fd);
    ~RawYuvFileWriter();
    RawYuvFileWriter(const RawYuvFileWriter&) = delete;
    RawYuvFileWriter& operator=(const RawYuvFileWriter&) = delete;

    bool Open();
    bool Write(const void* data, std::size_t size);
    // Closes the file and renames it to the target; false if anything failed.
    bool Commit();

    // True when both UTF-8 paths name the same existing file.
    static bool SameFile(const std::string& a, const std::string& b);

private:
    void Discard();

    std::string m_target;
    std::string m_temp;
    // The temporary file, created anew (never through a link); -1 when none.
    int m_tempFd = -1;
    bool m_failed = false;
    // The caller's descriptor, or -1.
    int m_fd = -1;
};

}
