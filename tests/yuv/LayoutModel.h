#pragma once

// A per-pixel model of where the samples of every layout lie, written from
// the layout descriptions independently of the library's row kernels. The
// tests read expected planes through it and write pictures with it.

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// `size` random bytes, the same for the same seed.
inline std::vector<uint8_t> RandomBytes(int64_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> b(static_cast<size_t>(size));
    for (uint8_t& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

struct SamplePositions {
    int64_t y, u, v; // byte offsets in the raw frame
};

inline const std::vector<std::string>& AllLayouts()
{
    static const std::vector<std::string> names = {
        "YUV_TYPE_I420", "YUV_TYPE_YV12", "YUV_TYPE_NV21", "YUV_TYPE_NV12", "YUV_TYPE_I422", "YUV_TYPE_YV16",
        "YUV_TYPE_NV16", "YUV_TYPE_NV61", "YUV_TYPE_YUYV", "YUV_TYPE_YUVY", "YUV_TYPE_VYUY", "YUV_TYPE_UYVY",
        "YUV_TYPE_I444", "YUV_TYPE_YV24", "YUV_TYPE_NV24", "YUV_TYPE_NV42", "YUV_TYPE_YUV444_Packed",
        "YUV_TYPE_IYUV"};
    return names;
}

inline bool Is444(const std::string& t)
{
    return t == "YUV_TYPE_I444" || t == "YUV_TYPE_YV24" || t == "YUV_TYPE_NV24" || t == "YUV_TYPE_NV42" ||
           t == "YUV_TYPE_YUV444_Packed" || t == "YUV_TYPE_IYUV";
}

// Where pixel (x, y) finds its samples. Chroma planes are rounded up as
// FFmpeg does: ceil(w/2) samples a row, ceil(h/2) rows for 4:2:0, so the
// odd last column or row has chroma samples of its own.
inline SamplePositions Locate(const std::string& t, int w, int h, int x, int y)
{
    const int64_t n = int64_t{w} * h;
    const int64_t i = int64_t{y} * w + x;
    const int64_t cw = (w + 1) / 2;
    const int64_t ch = (h + 1) / 2;
    if (t == "YUV_TYPE_I420" || t == "YUV_TYPE_YV12") {
        const int64_t c = (y / 2) * cw + x / 2;
        const int64_t first = n + c, second = n + cw * ch + c;
        return t == "YUV_TYPE_I420" ? SamplePositions{i, first, second} : SamplePositions{i, second, first};
    }
    if (t == "YUV_TYPE_NV12" || t == "YUV_TYPE_NV21") {
        const int64_t pair = n + (y / 2) * 2 * cw + 2 * (x / 2);
        return t == "YUV_TYPE_NV12" ? SamplePositions{i, pair, pair + 1} : SamplePositions{i, pair + 1, pair};
    }
    if (t == "YUV_TYPE_I422" || t == "YUV_TYPE_YV16") {
        const int64_t c = y * cw + x / 2;
        const int64_t first = n + c, second = n + cw * h + c;
        return t == "YUV_TYPE_I422" ? SamplePositions{i, first, second} : SamplePositions{i, second, first};
    }
    if (t == "YUV_TYPE_NV16" || t == "YUV_TYPE_NV61") {
        const int64_t pair = n + y * 2 * cw + 2 * (x / 2);
        return t == "YUV_TYPE_NV16" ? SamplePositions{i, pair, pair + 1} : SamplePositions{i, pair + 1, pair};
    }
    struct Packed {
        const char* name;
        int y0, y1, u, v;
    } static const kPacked[] = {{"YUV_TYPE_YUYV", 0, 2, 1, 3},
                                {"YUV_TYPE_YUVY", 0, 3, 1, 2},
                                {"YUV_TYPE_VYUY", 1, 3, 2, 0},
                                {"YUV_TYPE_UYVY", 1, 3, 0, 2}};
    for (const Packed& p : kPacked) {
        if (t != p.name)
            continue;
        // Rows of cw whole groups; an odd width pads the last group's second luma.
        const int64_t group = y * 4 * cw + 4 * (x / 2);
        return {group + ((x & 1) ? p.y1 : p.y0), group + p.u, group + p.v};
    }
    if (t == "YUV_TYPE_I444")
        return {i, n + i, 2 * n + i};
    if (t == "YUV_TYPE_YV24")
        return {i, 2 * n + i, n + i};
    if (t == "YUV_TYPE_NV24")
        return {i, n + 2 * i, n + 2 * i + 1};
    if (t == "YUV_TYPE_NV42")
        return {i, n + 2 * i + 1, n + 2 * i};
    if (t == "YUV_TYPE_YUV444_Packed")
        return {3 * i, 3 * i + 1, 3 * i + 2};
    return {n + i, i, 2 * n + i}; // IYUV
}

// Full-size planes of a raw frame by the model.
inline std::vector<uint8_t> ModelPlanes(const std::vector<uint8_t>& raw, int w, int h, const std::string& t)
{
    const int64_t n = int64_t{w} * h;
    std::vector<uint8_t> out(static_cast<size_t>(3 * n));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const SamplePositions p = Locate(t, w, h, x, y);
            const int64_t i = int64_t{y} * w + x;
            out[i] = raw.at(p.y);
            out[n + i] = raw.at(p.u);
            out[2 * n + i] = raw.at(p.v);
        }
    }
    return out;
}

// Writes full-size planes into a raw frame of the layout (frame size bytes,
// zero where no sample goes). Subsampled layouts keep one of the chroma
// values of each block, so pictures for them hold chroma constant per block.
inline std::vector<uint8_t> WriteLayout(const std::vector<uint8_t>& planes, int w, int h, const std::string& t,
                                        int64_t frameSize)
{
    const int64_t n = int64_t{w} * h;
    std::vector<uint8_t> raw(static_cast<size_t>(frameSize), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const SamplePositions p = Locate(t, w, h, x, y);
            const int64_t i = int64_t{y} * w + x;
            raw.at(p.y) = planes[i];
            raw.at(p.u) = planes[n + i];
            raw.at(p.v) = planes[2 * n + i];
        }
    }
    return raw;
}

// The layouts with 16-bit little-endian samples: the 8-bit layout whose
// sample positions they share, and where a sample sits in its word.
struct WordLayout {
    std::string name;
    std::string like; // same positions, counted in samples
    int depth;
    int shift;
    std::string ffmpegName;
};

inline const std::vector<WordLayout>& WordLayouts()
{
    static const std::vector<WordLayout> layouts = {
        {"YUV_TYPE_I010", "YUV_TYPE_I420", 10, 0, "yuv420p10le"},
        {"YUV_TYPE_I210", "YUV_TYPE_I422", 10, 0, "yuv422p10le"},
        {"YUV_TYPE_I410", "YUV_TYPE_I444", 10, 0, "yuv444p10le"},
        {"YUV_TYPE_I012", "YUV_TYPE_I420", 12, 0, "yuv420p12le"},
        {"YUV_TYPE_I016", "YUV_TYPE_I420", 16, 0, "yuv420p16le"},
        {"YUV_TYPE_P010", "YUV_TYPE_NV12", 10, 6, "p010le"},
        {"YUV_TYPE_P016", "YUV_TYPE_NV12", 16, 0, "p016le"},
    };
    return layouts;
}

// Native planes of a raw frame of a 16-bit layout by the model.
inline std::vector<uint16_t> ModelWords(const std::vector<uint8_t>& raw, int w, int h, const WordLayout& t)
{
    const int64_t n = int64_t{w} * h;
    auto sample = [&](int64_t at) -> uint16_t {
        const unsigned word = raw.at(2 * at) | (raw.at(2 * at + 1) << 8);
        return static_cast<uint16_t>((word >> t.shift) & ((1u << t.depth) - 1));
    };
    std::vector<uint16_t> out(static_cast<size_t>(3 * n));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const SamplePositions p = Locate(t.like, w, h, x, y);
            const int64_t i = int64_t{y} * w + x;
            out[i] = sample(p.y);
            out[n + i] = sample(p.u);
            out[2 * n + i] = sample(p.v);
        }
    }
    return out;
}

// A native sample rounded to 8 bits.
inline uint8_t RoundTo8(unsigned v, int depth)
{
    const unsigned r = (v + (1u << (depth - 9))) >> (depth - 8);
    return static_cast<uint8_t>(std::min(255u, r));
}
