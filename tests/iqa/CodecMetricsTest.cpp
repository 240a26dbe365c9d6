// SSIM per plane and MS-SSIM against numbers computed independently with
// scikit-image 0.19 (structural_similarity, gaussian_weights=True,
// sigma=1.5, use_sample_covariance=False, data_range=2^b-1) and, for
// MS-SSIM, the same window's contrast-structure means in numpy with 2x2
// means between scales (edge row/column repeated).
#include "iqa/CodecMetrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

struct Planes {
    std::vector<uint16_t> ref, cmp;
};

// The planes the reference numbers were made from.
Planes Make(char kind, int w, int h)
{
    Planes p;
    for (int64_t y = 0; y < h; ++y) {
        for (int64_t x = 0; x < w; ++x) {
            int64_t r = 0, c = 0;
            if (kind == 'a') {
                r = (x * x * 3 + y * 5 + x * y) % 256;
                c = std::clamp<int64_t>(r + (x * 7 + y * 3) % 11 - 5, 0, 255);
            } else if (kind == 'b') {
                r = (x * 37 + y * y * 11 + x * y * 3) % 1024;
                c = std::clamp<int64_t>(r + (x * 5 + y * 13) % 41 - 20, 0, 1023);
            } else {
                r = ((x / 4) * (y / 4) * 7 + x + 2 * y) % 256;
                c = std::clamp<int64_t>(r + (x * 7 + y * 3) % (kind == 'c' ? 11 : 61) - (kind == 'c' ? 5 : 30), 0,
                                        255);
            }
            p.ref.push_back(static_cast<uint16_t>(r));
            p.cmp.push_back(static_cast<uint16_t>(c));
        }
    }
    return p;
}

std::vector<uint8_t> Bytes(const std::vector<uint16_t>& v)
{
    return std::vector<uint8_t>(v.begin(), v.end());
}

TEST(CodecMetrics, SsimAndMsSsimMatchIndependentNumbers)
{
    const double none = -1.0;
    struct Case {
        char kind;
        int w, h, depth;
        double ssim, msSsim;
    } cases[] = {
        {'a', 32, 24, 8, 0.9990863627378085, none},
        {'b', 40, 17, 10, 0.9991751295590655, none},
        {'a', 11, 11, 8, 0.9981283282741171, none}, // one window position
        {'c', 176, 180, 8, 0.9953692358649853, 0.9997289272335019},
        {'c', 171, 190, 8, 0.9954633804534532, 0.9997341947674905}, // odd sizes at several scales
        {'d', 200, 176, 8, 0.9189520453650263, 0.9850092437281728},
        {'d', 64, 48, 8, 0.8928084980136466, none}, // too small for five scales
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.kind) + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
        const Planes p = Make(c.kind, c.w, c.h);
        for (int threads : {1, 3}) {
            EXPECT_NEAR(lumo::PlaneSsim(p.ref.data(), p.cmp.data(), c.w, c.h, c.w, c.depth, threads), c.ssim, 1e-9);
            const double ms = lumo::PlaneMsSsim(p.ref.data(), p.cmp.data(), c.w, c.h, c.w, c.depth, threads);
            if (c.msSsim == none)
                EXPECT_TRUE(std::isnan(ms));
            else
                EXPECT_NEAR(ms, c.msSsim, 1e-9);
        }
        if (c.depth == 8) {
            // Bytes, and a plane inside a wider buffer, give the same.
            const std::vector<uint8_t> r = Bytes(p.ref), m = Bytes(p.cmp);
            EXPECT_EQ(lumo::PlaneSsim(r.data(), m.data(), c.w, c.h, c.w, 8),
                      lumo::PlaneSsim(p.ref.data(), p.cmp.data(), c.w, c.h, c.w, 8));
            std::vector<uint8_t> wideR(static_cast<size_t>(c.w + 7) * c.h, 77), wideM(wideR.size(), 200);
            for (int y = 0; y < c.h; ++y) {
                std::copy_n(r.begin() + y * c.w, c.w, wideR.begin() + y * (c.w + 7));
                std::copy_n(m.begin() + y * c.w, c.w, wideM.begin() + y * (c.w + 7));
            }
            EXPECT_EQ(lumo::PlaneSsim(wideR.data(), wideM.data(), c.w, c.h, c.w + 7, 8),
                      lumo::PlaneSsim(r.data(), m.data(), c.w, c.h, c.w, 8));
        }
    }
}

TEST(CodecMetrics, NoValueWhereTheDefinitionsGiveNone)
{
    const Planes small = Make('a', 10, 30);
    EXPECT_TRUE(std::isnan(lumo::PlaneSsim(small.ref.data(), small.cmp.data(), 10, 30, 10, 8)));
    EXPECT_TRUE(std::isnan(lumo::PlaneSsim(small.ref.data(), small.cmp.data(), 30, 10, 30, 8)));
    EXPECT_TRUE(std::isnan(lumo::PlaneSsim(static_cast<const uint16_t*>(nullptr), small.cmp.data(), 10, 30, 10, 8)));
    // 161 halves to 81, 41, 21, 11: five scales; 160 ends at 10.
    const Planes edge = Make('c', 161, 161), under = Make('c', 160, 200);
    EXPECT_FALSE(std::isnan(lumo::PlaneMsSsim(edge.ref.data(), edge.cmp.data(), 161, 161, 161, 8)));
    EXPECT_TRUE(std::isnan(lumo::PlaneMsSsim(under.ref.data(), under.cmp.data(), 160, 200, 160, 8)));
    // An inverted picture: negative contrast-structure at the first scale.
    std::vector<uint16_t> inverted(edge.ref.size());
    std::transform(edge.ref.begin(), edge.ref.end(), inverted.begin(), [](uint16_t v) { return 255 - v; });
    EXPECT_TRUE(std::isnan(lumo::PlaneMsSsim(edge.ref.data(), inverted.data(), 161, 161, 161, 8)));
    // Identical planes: exactly 1 at any depth.
    EXPECT_DOUBLE_EQ(lumo::PlaneSsim(edge.ref.data(), edge.ref.data(), 161, 161, 161, 12), 1.0);
    EXPECT_DOUBLE_EQ(lumo::PlaneMsSsim(edge.ref.data(), edge.ref.data(), 161, 161, 161, 8), 1.0);
}

TEST(CodecMetrics, YuvPsnrAndCoveredChroma)
{
    const double lossless[3] = {40.0, 999.99, 999.99};
    EXPECT_DOUBLE_EQ(lumo::YuvPsnr(lossless), (6 * 40.0 + 2 * 999.99) / 8);
    const double p[3] = {36.0, 44.0, 28.0};
    EXPECT_DOUBLE_EQ(lumo::YuvPsnr(p), 36.0);
    const double missing[3] = {36.0, NAN, 28.0};
    EXPECT_TRUE(std::isnan(lumo::YuvPsnr(missing)));

    struct Span {
        int start, length, sub, plane, first, count;
    } spans[] = {
        {0, 16, 2, 8, 0, 8}, {1, 2, 2, 8, 0, 2}, // [floor(1/2), ceil(3/2)) = [0, 2)
        {3, 4, 2, 8, 1, 3}, {5, 1, 1, 8, 5, 1}, // no subsampling
        {14, 3, 2, 8, 7, 1},                    // cut at the plane (odd width, floor-sized chroma)
    };
    for (const Span& s : spans) {
        int first = -1;
        EXPECT_EQ(lumo::CoveredSpan(s.start, s.length, s.sub, s.plane, first), s.count) << s.start;
        EXPECT_EQ(first, s.first) << s.start;
    }
    EXPECT_TRUE(lumo::RegionInside({0, 0, 16, 8}, 16, 8));
    for (const lumo::Region& r : {lumo::Region{1, 0, 16, 8}, lumo::Region{0, 0, 0, 8}, lumo::Region{-1, 0, 4, 4},
                                  lumo::Region{0, 5, 4, 4}})
        EXPECT_FALSE(lumo::RegionInside(r, 16, 8)) << r.x << "," << r.y << "," << r.w << "," << r.h;
}

} // namespace
