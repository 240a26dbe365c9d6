#include "cli/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "cli/CliError.h"
#include "cli/SignalCleanup.h"

namespace lumo::cli {
namespace {

std::string Folder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// `path` with every symbolic link of its last component followed, also to a
// target that does not exist yet. Loops end after the kernel's own limit.
std::string FollowLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::vector<char> buf(PATH_MAX + 1);
        const ssize_t n = ::readlink(path.c_str(), buf.data(), PATH_MAX);
        if (n <= 0)
            return path;
        const std::string link(buf.data(), static_cast<size_t>(n));
        path = link[0] == '/' ? link : Folder(path) + link;
    }
    return path;
}

} // namespace

std::string OutputPath(const std::optional<std::string>& given, const std::string& fallback)
{
    if (!given)
        return fallback;
    if (given->empty())
        throw CliError("empty file name for -o/--output (use - for standard output)");
    return *given;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
        && sa.st_ino == sb.st_ino;
}

OutputFile::OutputFile(const std::string& path, OutputName name) : path_(path), name_(name) {}

OutputFile::~OutputFile()
{
    if (!IsStandardOutput())
        CloseFd();
    if (!committed_ && !tempPath_.empty())
        ::unlink(tempPath_.c_str());
    UnregisterTempFile(ticket_);
}

std::string OutputFile::Name() const
{
    return IsStandardOutput() ? "standard output" : path_;
}

bool OutputFile::Open(std::string& error)
{
    if (IsStandardOutput()) {
        fd_ = STDOUT_FILENO;
        return true;
    }
    if (path_.empty()) {
        error = "empty output path";
        return false;
    }
    const bool typed = name_ == OutputName::kTyped;
    target_ = typed ? FollowLinks(path_) : path_;
    struct stat st {};
    if ((typed ? ::stat(target_.c_str(), &st) : ::lstat(target_.c_str(), &st)) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error = "cannot write " + path_ + ": it is a folder";
            return false;
        }
        // A device or a FIFO is the destination itself: replacing it by a
        // file would break it (think of /dev/null).
        if (typed && !S_ISREG(st.st_mode)) {
            fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd_ < 0) {
                error = "cannot write " + path_ + ": " + std::strerror(errno);
                return false;
            }
            return true;
        }
    }
    const size_t slash = target_.rfind('/');
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty()) {
        error = "cannot write " + path_ + ": no file name";
        return false;
    }
    // The name is registered for removal before the file exists, so a
    // signal can never find it created but unknown.
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = Folder(target_) + "." + base + ".part-";
        for (int i = 0; i < 6; ++i)
            name += kChars[random() % (sizeof kChars - 1)];
        ticket_ = RegisterTempFile(name);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            tempPath_ = name;
            return true;
        }
        const int savedErrno = errno;
        UnregisterTempFile(ticket_);
        ticket_ = -1;
        if (savedErrno != EEXIST) {
            error = "cannot write " + path_ + ": " + std::strerror(savedErrno);
            return false;
        }
    }
    error = "cannot write " + path_ + ": no free temporary name";
    return false;
}

void OutputFile::CloseFd()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool OutputFile::WriteAll(const void* data, size_t size, std::string& error)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = "cannot write " + Name() + ": " + std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::Commit(std::string& error)
{
    if (fd_ < 0) {
        error = "cannot write " + Name();
        return false;
    }
    if (IsStandardOutput())
        return true;
    if (tempPath_.empty()) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            error = "cannot write " + path_ + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    // mkstemp makes the file private; give it what a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const bool synced = ::fchmod(fd_, 0666 & ~mask) == 0 && ::fsync(fd_) == 0;
    const int savedErrno = errno;
    CloseFd();
    if (!synced) {
        error = "cannot write " + path_ + ": " + std::strerror(savedErrno);
        return false;
    }
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        error = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

} // namespace lumo::cli
