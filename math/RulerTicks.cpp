#include "math/RulerTicks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// From this many screen pixels per frame pixel every cell gets its own mark.
constexpr double kCellMarkScale = 8.0;
// Labels at least this far apart.
constexpr double kLabelSpacing = 40.0;

struct Span {
    int64_t pixelStart;
    int64_t pixelEnd;
    int64_t valueStart;
    int64_t valueEnd;
    int64_t visibleEnd;

    // The frame pixel whose cell holds ruler position `pos`.
    int ValueAt(int64_t pos) const
    {
        const double t = static_cast<double>(pos - pixelStart) / static_cast<double>(pixelEnd - pixelStart);
        return static_cast<int>(valueStart + static_cast<int64_t>(std::floor(t * (valueEnd - valueStart))));
    }
};

void Subdivide(const Span& s, int64_t a, int64_t b, std::vector<RulerTick>& out)
{
    if (b - a <= 6 || b < 0 || a > s.visibleEnd)
        return;
    const int64_t e = static_cast<int64_t>((b - a) * 0.5 + a);
    out.push_back({static_cast<int>(e), s.ValueAt(e), b - a > 100});
    Subdivide(s, a, e, out);
    Subdivide(s, e, b, out);
}

// Cells between labels: 1, 2, 5, 10, 20, ... whichever first keeps labels
// kLabelSpacing apart.
int64_t LabelStep(double scale)
{
    for (int64_t m = 1;; m *= 10)
        for (int64_t f : {1, 2, 5})
            if (f * m * scale >= kLabelSpacing)
                return f * m;
}

void CellMarks(const Span& s, double scale, std::vector<RulerTick>& out)
{
    const int64_t step = LabelStep(scale);
    const int64_t count = s.valueEnd - s.valueStart;
    const int64_t first = std::max<int64_t>(0, static_cast<int64_t>(std::floor(-s.pixelStart / scale)));
    const int64_t last =
        std::min<int64_t>(count - 1, static_cast<int64_t>(std::floor((s.visibleEnd - s.pixelStart) / scale)));
    for (int64_t i = first; i <= last; ++i) {
        const int64_t value = s.valueStart + i;
        const double centre = s.pixelStart + (i + 0.5) * scale;
        out.push_back({static_cast<int>(std::lround(centre)), static_cast<int>(value), value % step == 0});
    }
}

} // namespace

std::vector<RulerTick> RulerTicks(int pixelStart, int pixelEnd, int valueStart, int valueEnd, int visibleEnd)
{
    std::vector<RulerTick> out;
    const Span s{pixelStart, pixelEnd, valueStart, valueEnd, visibleEnd};
    const int64_t count = s.valueEnd - s.valueStart;
    const double scale = count > 0 ? static_cast<double>(s.pixelEnd - s.pixelStart) / count : 0.0;
    if (scale >= kCellMarkScale) {
        CellMarks(s, scale, out);
        return out;
    }
    out.push_back({pixelStart, valueStart, true});
    out.push_back({pixelEnd, valueEnd, true});
    if (count > 0)
        Subdivide(s, pixelStart, pixelEnd, out);
    return out;
}
