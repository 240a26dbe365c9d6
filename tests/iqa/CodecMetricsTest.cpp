// SSIM per plane and MS-SSIM against numbers computed independently with
// scikit-image 0.19 (structural_similarity, gaussian_weights=True,
// sigma=1.5, use_sample_covariance=False, data_range=2^b-1) and, for
// MS-SSIM, the same window's contrast-structure means in numpy with 2x2
// means between scales (edge row/column repeated).
#include "iqa/CodecMetrics.h"
#include "iqa/FramePair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
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

// One frame held in memory, as a file of that layout would store it.
class MemorySource : public lumo::FrameSource {
public:
    MemorySource(std::string type, int w, int h, int depth, std::vector<uint8_t> frame)
        : type_(std::move(type)), w_(w), h_(h), depth_(depth), frame_(std::move(frame))
    {
    }
    std::unique_ptr<lumo::FrameSource> Clone() const override { return std::make_unique<MemorySource>(*this); }
    const std::string& Path() const override { return path_; }
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    const std::string& Type() const override { return type_; }
    int BitDepth() const override { return depth_; }
    int64_t FrameSize() const override { return static_cast<int64_t>(frame_.size()); }
    int FrameCount() const override { return 1; }
    bool ReadFrame(int index, uint8_t* dst, const lumo::CancelToken*) override
    {
        if (index != 0)
            return false;
        std::memcpy(dst, frame_.data(), frame_.size());
        return true;
    }
    const uint8_t* Data() const { return frame_.data(); }

private:
    std::string path_ = "memory";
    std::string type_;
    int w_, h_, depth_;
    std::vector<uint8_t> frame_;
};

// A planar frame: Y, then the chroma planes in `order`, samples of
// `bytes` bytes (little-endian).
std::vector<uint8_t> PlanarFrame(const std::vector<uint16_t> planes[3], const char* order, int bytes)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < 3; ++i)
        for (uint16_t v : planes[order[i] == 'Y' ? 0 : order[i] == 'U' ? 1 : 2]) {
            out.push_back(static_cast<uint8_t>(v & 0xff));
            if (bytes == 2)
                out.push_back(static_cast<uint8_t>(v >> 8));
        }
    return out;
}

// Per-plane SSIM of 4:2:2 and 4:4:4 frames takes U and V as stored, at
// native depth; a pair of layouts takes the coarser chroma of the two; a
// region takes the stored samples it covers. MSE, PSNR and SSIM_GRAY stay
// on the I420 frame.
TEST(CodecMetrics, PlaneSsimOnStoredChroma)
{
    struct Case {
        const char* typeA;
        const char* typeB;
        int w, h, depth, bytes;
        int sxA, sxB; // chroma subsampling across of each layout (down is 1)
        lumo::Region region;
    } cases[] = {
        {"YUV_TYPE_I422", "YUV_TYPE_I422", 23, 13, 8, 1, 2, 2, {}}, // odd width: a chroma column of its own
        {"YUV_TYPE_I210", "YUV_TYPE_I210", 24, 12, 10, 2, 2, 2, {}},
        {"YUV_TYPE_YV24", "YUV_TYPE_I444", 13, 12, 8, 1, 1, 1, {}},
        {"YUV_TYPE_I422", "YUV_TYPE_I444", 22, 12, 8, 1, 2, 1, {}}, // 4:4:4 side measured at 4:2:2
        {"YUV_TYPE_I422", "YUV_TYPE_I422", 27, 15, 8, 1, 2, 2, {3, 1, 22, 13}}, // chroma columns [1, 13)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typeA) + " " + c.typeB + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
        const int peak = (1 << c.depth) - 1;
        // Chroma is measured at the coarser layout's: a finer side keeps its
        // even columns (its odd ones differ, and must not count).
        const int mx = std::max(c.sxA, c.sxB);
        const int cw = (c.w + mx - 1) / mx;
        const auto value = [&](int plane, int x, int y, bool compared) {
            const int64_t r = (x * x * 3 + y * 5 + x * y + plane * 41) % (peak + 1);
            return static_cast<uint16_t>(
                compared ? std::clamp<int64_t>(r + (x * 7 + y * 3 + plane) % 11 - 5, 0, peak) : r);
        };
        std::vector<uint16_t> stored[2][3];
        std::vector<uint16_t> planes[2][3];
        for (int side = 0; side < 2; ++side) {
            const int sx = side == 0 ? c.sxA : c.sxB;
            for (int p = 0; p < 3; ++p) {
                const int pw = p == 0 ? c.w : (c.w + sx - 1) / sx;
                const int mw = p == 0 ? c.w : cw; // measured width
                for (int y = 0; y < c.h; ++y) {
                    for (int x = 0; x < pw; ++x)
                        planes[side][p].push_back(value(p, p == 0 || sx == mx ? x : x / 2, y, side == 1) +
                                                  (p > 0 && sx < mx && x % 2 ? 1 : 0));
                    for (int x = 0; x < mw; ++x)
                        stored[side][p].push_back(value(p, x, y, side == 1));
                }
            }
        }
        MemorySource a(c.typeA, c.w, c.h, c.depth,
                       PlanarFrame(planes[0], std::strstr(c.typeA, "YV") ? "YVU" : "YUV", c.bytes));
        MemorySource b(c.typeB, c.w, c.h, c.depth,
                       PlanarFrame(planes[1], std::strstr(c.typeB, "YV") ? "YVU" : "YUV", c.bytes));
        lumo::PairOptions o;
        o.region = c.region;
        lumo::FrameMetrics plain, extras, stored2;
        std::string error;
        ASSERT_TRUE(lumo::CompareFramePair(a, 0, b, 0, o, plain, error)) << error;
        o.extra.planeSsim = true;
        ASSERT_TRUE(lumo::CompareFramePair(a, 0, b, 0, o, extras, error)) << error;
        ASSERT_TRUE(lumo::MeasureStoredPair(a, a.Data(), b, b.Data(), 0, o, stored2, error)) << error;

        const lumo::Region r = c.region.w > 0 ? c.region : lumo::Region{0, 0, c.w, c.h};
        const int x0[3] = {r.x, r.x / mx, r.x / mx};
        const int x1[3] = {r.x + r.w, (r.x + r.w + mx - 1) / mx, (r.x + r.w + mx - 1) / mx};
        for (int p = 0; p < 3; ++p) {
            const int mw = p == 0 ? c.w : cw;
            const size_t at = static_cast<size_t>(r.y) * mw + x0[p];
            const double expected = lumo::PlaneSsim(stored[0][p].data() + at, stored[1][p].data() + at,
                                                    x1[p] - x0[p], r.h, mw, c.depth);
            ASSERT_FALSE(std::isnan(expected));
            EXPECT_DOUBLE_EQ(extras.planeSsim[p], expected) << "plane " << p;
            EXPECT_DOUBLE_EQ(stored2.planeSsim[p], expected) << "plane " << p;
        }
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(extras.mse[p], plain.mse[p]);
            EXPECT_EQ(extras.psnr[p], plain.psnr[p]);
        }
        EXPECT_EQ(extras.ssim, plain.ssim);
    }
}

} // namespace

