#pragma once

#include "TestFrames.h"

#include <cstdint>
#include <vector>

namespace bench {

// One 1080p I420 scene and a shifted copy of it, made once per program.
constexpr int kW = 1920;
constexpr int kH = 1080;
constexpr int kN = kW * kH;

struct Pair {
    std::vector<uint8_t> ref = frames::Scene(kW, kH, 21, 0, 0);
    std::vector<uint8_t> cmp = frames::Scene(kW, kH, 21, 2, 4);
};

inline const Pair& Frames()
{
    static const Pair pair;
    return pair;
}

} // namespace bench
