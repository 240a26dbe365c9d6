#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// Scratch files for the render tests, under the test's own scratch folder.
inline std::string TestPath(const std::string& name)
{
    const char* dir = std::getenv("LUMO_TEST_TMP");
    return std::string(dir ? dir : "/tmp") + "/" + name;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// One I420 frame of a single colour.
inline std::vector<uint8_t> UniformI420(int w, int h, uint8_t y, uint8_t u, uint8_t v)
{
    const size_t n = static_cast<size_t>(w) * h;
    const size_t c = static_cast<size_t>(w / 2) * (h / 2);
    std::vector<uint8_t> frame(n + 2 * c);
    std::fill(frame.begin(), frame.begin() + n, y);
    std::fill(frame.begin() + n, frame.begin() + n + c, u);
    std::fill(frame.begin() + n + c, frame.end(), v);
    return frame;
}

// One I010 frame (16-bit little-endian words) of a single colour.
inline std::vector<uint8_t> UniformI010(int w, int h, uint16_t y, uint16_t u, uint16_t v)
{
    const size_t n = static_cast<size_t>(w) * h;
    const size_t c = static_cast<size_t>(w / 2) * (h / 2);
    std::vector<uint8_t> frame(2 * (n + 2 * c));
    for (size_t i = 0; i < n + 2 * c; ++i) {
        const uint16_t s = i < n ? y : (i < n + c ? u : v);
        frame[2 * i] = static_cast<uint8_t>(s & 0xff);
        frame[2 * i + 1] = static_cast<uint8_t>(s >> 8);
    }
    return frame;
}
