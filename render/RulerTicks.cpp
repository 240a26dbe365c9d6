#include "render/RulerTicks.h"

#include <cstdint>

namespace {

void Subdivide(int64_t a, int64_t b, int64_t c, int64_t d, std::vector<RulerTick>& out)
{
    if (b - a <= 6)
        return;
    const int64_t e = static_cast<int64_t>((b - a) * 0.5 + a);
    const int64_t f = static_cast<int64_t>((d - c) * 0.5 + c);
    out.push_back({static_cast<int>(e), static_cast<int>(f), b - a > 100});
    Subdivide(a, e, c, f, out);
    Subdivide(e, b, f, d, out);
}

} // namespace

std::vector<RulerTick> RulerTicks(int pixelStart, int pixelEnd, int valueStart, int valueEnd)
{
    std::vector<RulerTick> out;
    out.push_back({pixelStart, valueStart, true});
    out.push_back({pixelEnd, valueEnd, true});
    Subdivide(pixelStart, pixelEnd, valueStart, valueEnd, out);
    return out;
}
