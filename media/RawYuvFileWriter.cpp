#include "media/RawYuvFileWriter.h"

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
    m_temp = m_target + TempSuffix();
    m_file.open(fs::u8path(m_temp), std::ios::binary | std::ios::out | std::ios::trunc);
    m_open = m_file.is_open();
    if (!m_open)
        m_temp.clear();
    return m_open;
}

bool RawYuvFileWriter::Write(const void* data, std::size_t size)
{
    if (m_fd >= 0) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(m_fd, p, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    if (!m_open)
        return false;
    m_file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return m_file.good();
}

bool RawYuvFileWriter::Commit()
{
    if (m_fd >= 0)
        return true;
    if (!m_open)
        return false;
    m_file.close();
    m_open = false;
    if (m_file.fail()) {
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
    if (m_open) {
        m_file.close();
        m_open = false;
    }
    if (!m_temp.empty()) {
        std::error_code ec;
        fs::remove(fs::u8path(m_temp), ec);
        m_temp.clear();
    }
}

}
