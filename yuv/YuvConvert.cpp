#include "YuvConvert.h"

#include <algorithm>
#include <cstring>

namespace lumo {
namespace {

enum class Kind { Planar420, Semi420, Planar422, Semi422, Packed422, Planar444, Semi444, Packed444 };

// Where the samples of one layout lie. Plane offsets are in units of n/4
// (quarter planes) so that one table covers 4:2:0, 4:2:2 and 4:4:4: the
// offset of a plane is computed as n * quarters / 4 with the integer rules
// the file format uses (n + n/4, n + n/2, 2n).
struct Geometry {
    const char* name;
    Kind kind;
    int yPlane, uPlane, vPlane; // planar: offset codes, see PlaneOffset
    bool uFirst;                // semi-planar: pair order
    int y0, y1, u, v;           // packed: byte positions inside a group
};

// Offset codes: 0 -> 0, 4 -> n, 5 -> n + n/4, 6 -> n + n/2, 8 -> 2n.
int64_t PlaneOffset(int code, int64_t n)
{
    switch (code) {
    case 0: return 0;
    case 4: return n;
    case 5: return n + n / 4;
    case 6: return n + n / 2;
    case 8: return 2 * n;
    default: return 0;
    }
}

const Geometry kGeometries[] = {
    {"YUV_TYPE_I420", Kind::Planar420, 0, 4, 5, true, 0, 0, 0, 0},
    {"YUV_TYPE_YV12", Kind::Planar420, 0, 5, 4, true, 0, 0, 0, 0},
    {"YUV_TYPE_NV21", Kind::Semi420, 0, 4, 4, false, 0, 0, 0, 0},
    {"YUV_TYPE_NV12", Kind::Semi420, 0, 4, 4, true, 0, 0, 0, 0},
    {"YUV_TYPE_I422", Kind::Planar422, 0, 4, 6, true, 0, 0, 0, 0},
    {"YUV_TYPE_YV16", Kind::Planar422, 0, 6, 4, true, 0, 0, 0, 0},
    {"YUV_TYPE_NV16", Kind::Semi422, 0, 4, 4, true, 0, 0, 0, 0},
    {"YUV_TYPE_NV61", Kind::Semi422, 0, 4, 4, false, 0, 0, 0, 0},
    {"YUV_TYPE_YUYV", Kind::Packed422, 0, 0, 0, true, 0, 2, 1, 3},
    {"YUV_TYPE_YUVY", Kind::Packed422, 0, 0, 0, true, 0, 3, 1, 2},
    {"YUV_TYPE_VYUY", Kind::Packed422, 0, 0, 0, true, 1, 3, 2, 0},
    {"YUV_TYPE_UYVY", Kind::Packed422, 0, 0, 0, true, 1, 3, 0, 2},
    {"YUV_TYPE_I444", Kind::Planar444, 0, 4, 8, true, 0, 0, 0, 0},
    {"YUV_TYPE_YV24", Kind::Planar444, 0, 8, 4, true, 0, 0, 0, 0},
    {"YUV_TYPE_NV24", Kind::Semi444, 0, 4, 4, true, 0, 0, 0, 0},
    {"YUV_TYPE_NV42", Kind::Semi444, 0, 4, 4, false, 0, 0, 0, 0},
    {"YUV_TYPE_YUV444_Packed", Kind::Packed444, 0, 0, 0, true, 0, 0, 1, 2},
    {"YUV_TYPE_IYUV", Kind::Planar444, 4, 0, 8, true, 0, 0, 0, 0},
};

const Geometry* FindGeometry(const std::string& type)
{
    for (const Geometry& g : kGeometries)
        if (type == g.name)
            return &g;
    return nullptr;
}

// Widens one chroma row to w samples: sample c covers columns 2c and 2c+1;
// columns past the last whole pair take the last sample (or 128 when the row
// has none). `step` is 1 for a plane row, 2 for one half of a pair row.
void WidenRow(const uint8_t* src, int step, int chromaWidth, int w, uint8_t* out)
{
    int x = 0;
    for (int c = 0; c < chromaWidth && x + 1 < w; ++c, x += 2) {
        const uint8_t s = src[static_cast<size_t>(c) * step];
        out[x] = s;
        out[x + 1] = s;
    }
    const uint8_t last = chromaWidth > 0 ? src[static_cast<size_t>(chromaWidth - 1) * step] : 128;
    for (; x < w; ++x)
        out[x] = last;
}

void FillPlane(uint8_t* plane, int64_t n, uint8_t value)
{
    std::memset(plane, value, static_cast<size_t>(n));
}

} // namespace

bool ConvertRawToYuv444(const uint8_t* raw, int width, int height, const std::string& type, uint8_t* dst)
{
    const Geometry* g = FindGeometry(type);
    if (!g || width <= 0 || height <= 0 || !raw || !dst)
        return false;

    const int w = width;
    const int h = height;
    const size_t sw = static_cast<size_t>(w);
    const int64_t n = static_cast<int64_t>(w) * h;
    uint8_t* Y = dst;
    uint8_t* U = dst + n;
    uint8_t* V = dst + 2 * n;
    const int cw = w / 2; // whole chroma columns of the subsampled layouts

    switch (g->kind) {
    case Kind::Planar420:
    case Kind::Planar422: {
        std::memcpy(Y, raw, static_cast<size_t>(n));
        const bool is420 = g->kind == Kind::Planar420;
        const int ch = is420 ? h / 2 : h;
        if (cw == 0 || ch == 0) {
            FillPlane(U, n, 128);
            FillPlane(V, n, 128);
            break;
        }
        const uint8_t* up = raw + PlaneOffset(g->uPlane, n);
        const uint8_t* vp = raw + PlaneOffset(g->vPlane, n);
        for (int y = 0; y < h; ++y) {
            const int r = std::min(is420 ? y / 2 : y, ch - 1);
            uint8_t* uo = U + static_cast<int64_t>(y) * w;
            uint8_t* vo = V + static_cast<int64_t>(y) * w;
            if (is420 && (y & 1) && y / 2 == r) {
                // Second row of a 2x2 block: same chroma as the row above.
                std::memcpy(uo, uo - w, sw);
                std::memcpy(vo, vo - w, sw);
                continue;
            }
            WidenRow(up + static_cast<int64_t>(r) * cw, 1, cw, w, uo);
            WidenRow(vp + static_cast<int64_t>(r) * cw, 1, cw, w, vo);
        }
        break;
    }
    case Kind::Semi420:
    case Kind::Semi422: {
        std::memcpy(Y, raw, static_cast<size_t>(n));
        const bool is420 = g->kind == Kind::Semi420;
        const int ch = is420 ? h / 2 : h;
        if (cw == 0 || ch == 0) {
            FillPlane(U, n, 128);
            FillPlane(V, n, 128);
            break;
        }
        const uint8_t* chroma = raw + n;
        const int uOff = g->uFirst ? 0 : 1;
        for (int y = 0; y < h; ++y) {
            const int r = std::min(is420 ? y / 2 : y, ch - 1);
            uint8_t* uo = U + static_cast<int64_t>(y) * w;
            uint8_t* vo = V + static_cast<int64_t>(y) * w;
            if (is420 && (y & 1) && y / 2 == r) {
                std::memcpy(uo, uo - w, sw);
                std::memcpy(vo, vo - w, sw);
                continue;
            }
            const uint8_t* row = chroma + static_cast<int64_t>(r) * w;
            WidenRow(row + uOff, 2, cw, w, uo);
            WidenRow(row + (1 - uOff), 2, cw, w, vo);
        }
        break;
    }
    case Kind::Packed422: {
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = raw + static_cast<int64_t>(y) * 2 * w;
            uint8_t* yo = Y + static_cast<int64_t>(y) * w;
            uint8_t* uo = U + static_cast<int64_t>(y) * w;
            uint8_t* vo = V + static_cast<int64_t>(y) * w;
            for (int c = 0; c < cw; ++c) {
                const uint8_t* grp = row + 4 * c;
                yo[2 * c] = grp[g->y0];
                yo[2 * c + 1] = grp[g->y1];
                uo[2 * c] = uo[2 * c + 1] = grp[g->u];
                vo[2 * c] = vo[2 * c + 1] = grp[g->v];
            }
            if (w & 1) {
                // The odd last pixel sits in a half group of two bytes; its
                // luma is at the first luma position of that group (always
                // inside the 2*w bytes of the row), its chroma is the last
                // whole group's.
                const uint8_t* grp = row + 4 * cw;
                yo[w - 1] = grp[g->y0];
                uo[w - 1] = cw > 0 ? uo[w - 2] : 128;
                vo[w - 1] = cw > 0 ? vo[w - 2] : 128;
            }
        }
        break;
    }
    case Kind::Planar444:
        std::memcpy(Y, raw + PlaneOffset(g->yPlane, n), static_cast<size_t>(n));
        std::memcpy(U, raw + PlaneOffset(g->uPlane, n), static_cast<size_t>(n));
        std::memcpy(V, raw + PlaneOffset(g->vPlane, n), static_cast<size_t>(n));
        break;
    case Kind::Semi444: {
        std::memcpy(Y, raw, static_cast<size_t>(n));
        const uint8_t* pairs = raw + n;
        const int uOff = g->uFirst ? 0 : 1;
        for (int64_t i = 0; i < n; ++i) {
            U[i] = pairs[2 * i + uOff];
            V[i] = pairs[2 * i + 1 - uOff];
        }
        break;
    }
    case Kind::Packed444:
        for (int64_t i = 0; i < n; ++i) {
            Y[i] = raw[3 * i + g->y0];
            U[i] = raw[3 * i + g->u];
            V[i] = raw[3 * i + g->v];
        }
        break;
    }
    return true;
}

void YuvToRgbPixel(int y, int u, int v, uint8_t* rgb)
{
    const double c = 1.164 * (y - 16);
    const double r = c + 1.596 * (v - 128);
    const double g = c - 0.392 * (u - 128) - 0.812 * (v - 128);
    const double b = c + 2.016 * (u - 128);
    auto clip = [](double x) -> uint8_t {
        if (x < 0.0)
            return 0;
        if (x > 255.0)
            return 255;
        return static_cast<uint8_t>(static_cast<int>(x));
    };
    rgb[0] = clip(r);
    rgb[1] = clip(g);
    rgb[2] = clip(b);
}

void Yuv444ToRgb24(const uint8_t* planes, int width, int height, uint8_t* dst)
{
    const int64_t n = static_cast<int64_t>(width) * height;
    const uint8_t* Y = planes;
    const uint8_t* U = planes + n;
    const uint8_t* V = planes + 2 * n;
    for (int64_t i = 0; i < n; ++i)
        YuvToRgbPixel(Y[i], U[i], V[i], dst + 3 * i);
}

} // namespace lumo
