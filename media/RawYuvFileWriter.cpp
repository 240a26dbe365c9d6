#include "media/RawYuvFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

namespace lumo {

namespace {

std::atomic<unsigned> g_tempCounter{0};

// Unique among threads of this process and, through the clock, among
// processes converting the same file.
std::string TempSuffix()
{
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto thread = std::hash<std::thread::id>()(std::this_thread::get_id());
    return ".part-" + std::to_string(g_tempCounter.fetch_add(1)) + "-"
        + std::to_string(static_cast<unsigned long long>(ticks) ^ thread);
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}

RawYuvFileWriter::RawYuvFileWriter(std::string target)
    : m_target(std::move(target))
{
}

RawYuvFileWriter::RawYuvFileWriter(int fd)
    : m_fd(fd)
{
}

RawYuvFileWriter::~RawYuvFileWriter()
{
    Discard();
}

bool RawYuvFileWriter::Open()
{
    if (m_fd >= 0)
        return true;
    Discard();
    // O_EXCL with O_NOFOLLOW: whatever already stands at the temporary name,
    // a planted link included, is never opened or written through.
    for (int attempt = 0; attempt < 8 && m_tempFd < 0; ++attempt) {
        m_temp = m_target + TempSuffix();
        m_tempFd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_tempFd < 0 && errno != EEXIST)
            break;
    }
    if (m_tempFd < 0)
        m_temp.clear();
    m_failed = false;
    return m_tempFd >= 0;
}

bool RawYuvFileWriter::Write(const void* data, std::size_t size)
{
    if (m_fd >= 0)
        return WriteAll(m_fd, data, size);
    if (m_tempFd < 0 || m_failed)
        return false;
    m_failed = !WriteAll(m_tempFd, data, size);
    return !m_failed;
}

bool RawYuvFileWriter::Commit()
{
    if (m_fd >= 0)
        return true;
    if (m_tempFd < 0)
        return false;
    const bool closed = ::close(m_tempFd) == 0;
    m_tempFd = -1;
    if (!closed || m_failed) {
        Discard();
        return false;
    }
    std::error_code ec;
    fs::rename(fs::u8path(m_temp), fs::u8path(m_target), ec);
    if (ec) {
        Discard();
        return false;
    }
    m_temp.clear();
    return true;
}

bool RawYuvFileWriter::SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    const bool same = fs::equivalent(fs::u8path(a), fs::u8path(b), ec);
    return !ec && same;
}

void RawYuvFileWriter::Discard()
{
    if (m_tempFd >= 0) {
        ::close(m_tempFd);
        m_tempFd = -1;
    }
    if (!m_temp.empty()) {
        std::error_code ec;
        fs::remove(fs::u8path(m_temp), ec);
        m_temp.clear();
    }
}

}
