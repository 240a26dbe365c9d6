#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

// Media files for the reader tests, made with the ffmpeg tool in a folder of
// their own under the test's scratch area.
class MediaDir {
public:
    MediaDir()
    {
        const char* base = std::getenv("LUMO_TEST_TMP");
        static int counter = 0;
        m_dir = std::filesystem::path(base && *base ? base : "/tmp")
            / ("media_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    ~MediaDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    MediaDir(const MediaDir&) = delete;
    MediaDir& operator=(const MediaDir&) = delete;

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    // Every file name in the folder, to catch leftovers.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        return names;
    }

private:
    std::filesystem::path m_dir;
};

inline bool RunFfmpeg(const std::string& args)
{
    const std::string cmd = "ffmpeg -hide_banner -nostdin -loglevel error -y " + args;
    return std::system(cmd.c_str()) == 0;
}

inline bool HasEncoder(const std::string& name)
{
    const std::string cmd = "ffmpeg -hide_banner -encoders 2>/dev/null | grep -qw " + name;
    return std::system(cmd.c_str()) == 0;
}

inline std::vector<std::uint8_t> NoiseBytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng() & 0xFF);
    return bytes;
}

inline bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path)
{
    return std::filesystem::exists(path);
}
