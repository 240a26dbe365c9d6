#include "cli/TempOutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lumo::cli {

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
        && sa.st_ino == sb.st_ino;
}

TempOutputFile::TempOutputFile(const std::string& target) : target_(target) {}

TempOutputFile::~TempOutputFile()
{
    CloseFd();
    if (!committed_ && !tempPath_.empty())
        ::unlink(tempPath_.c_str());
}

bool TempOutputFile::Create(std::string& error)
{
    if (target_.empty()) {
        error = "empty output path";
        return false;
    }
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = "cannot write " + target_ + ": it is a folder";
        return false;
    }
    const size_t slash = target_.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty()) {
        error = "cannot write " + target_ + ": no file name";
        return false;
    }
    std::string pattern = dir + "." + base + ".part-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    fd_ = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot write " + target_ + ": " + std::strerror(errno);
        return false;
    }
    tempPath_ = buf.data();
    return true;
}

void TempOutputFile::CloseFd()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool TempOutputFile::WriteAll(const void* data, size_t size, std::string& error)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = "cannot write " + target_ + ": " + std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool TempOutputFile::Commit(std::string& error)
{
    if (tempPath_.empty()) {
        error = "cannot write " + target_;
        return false;
    }
    // mkstemp makes the file private; give it what a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = 0666 & ~mask;
    int fd = fd_;
    if (fd < 0)
        fd = ::open(tempPath_.c_str(), O_RDWR | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    if (fd != fd_ && fd >= 0)
        ::close(fd);
    CloseFd();
    if (!synced) {
        error = "cannot write " + target_ + ": " + std::strerror(savedErrno);
        return false;
    }
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        error = "cannot write " + target_ + ": " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

} // namespace lumo::cli
