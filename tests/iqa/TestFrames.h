#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

// Frames for the metric tests: I420 buffers, chroma planes of ceil(w/2) x
// ceil(h/2) samples as FFmpeg lays them out.
namespace frames {

inline std::size_t ChromaSize(int w, int h)
{
    return static_cast<std::size_t>((w + 1) / 2) * static_cast<std::size_t>((h + 1) / 2);
}

inline std::size_t I420Size(int w, int h)
{
    return static_cast<std::size_t>(w) * h + 2 * ChromaSize(w, h);
}

inline std::vector<uint8_t> Filled(int w, int h, uint8_t value)
{
    return std::vector<uint8_t>(I420Size(w, h), value);
}

inline std::vector<uint8_t> Random(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> f(I420Size(w, h));
    for (auto& s : f)
        s = static_cast<uint8_t>(rng() & 0xff);
    return f;
}

// Smooth gradients, a few discs and edges and a little grain, like a
// camera frame; `shift` moves the content and `noise` adds grain, to make a
// distorted copy of the same scene.
inline std::vector<uint8_t> Scene(int w, int h, unsigned seed, int shift = 0, int noise = 3)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double cx = unit(rng) * w, cy = unit(rng) * h, r = (0.15 + 0.3 * unit(rng)) * std::min(w, h);
    const double fx = 0.02 + 0.1 * unit(rng), fy = 0.01 + 0.08 * unit(rng);
    std::normal_distribution<double> grain(0.0, noise);
    std::vector<uint8_t> f(I420Size(w, h));
    const std::size_t n = static_cast<std::size_t>(w) * h;
    auto luma = [&](double x, double y) {
        double v = 40 + 120 * x / std::max(1, w) + 50 * y / std::max(1, h);
        v += 30 * std::sin(x * fx) * std::cos(y * fy);
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r)
            v += 60;
        if (static_cast<int>(x / 16 + y / 16) % 7 == 0)
            v -= 35;
        return v;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double v = luma(x + shift, y) + (noise ? grain(rng) : 0.0);
            f[static_cast<std::size_t>(y) * w + x] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            const double l = luma(2 * x + shift, 2 * y);
            f[n + static_cast<std::size_t>(y) * cw + x] = static_cast<uint8_t>(std::clamp(128 + (l - 128) / 3, 0.0, 255.0));
            f[n + ChromaSize(w, h) + static_cast<std::size_t>(y) * cw + x] =
                static_cast<uint8_t>(std::clamp(128 - (l - 100) / 2 + (noise ? grain(rng) : 0.0), 0.0, 255.0));
        }
    return f;
}

} // namespace frames
