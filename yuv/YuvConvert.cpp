#include "yuv/YuvConvert.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "yuv/YuvKernels.h"
#include "yuv/YuvRgbFormula.h"
#include "yuv/YuvTypeTable.h"

namespace lumo {
namespace {

enum class Kind { Planar420, Semi420, Planar422, Semi422, Packed422, Planar444, Semi444, Packed444 };

// Where the samples of one layout lie. Plane offsets are codes for the
// integer rules the file format uses, see PlaneOffset.
struct Geometry {
    const char* name;
    Kind kind;
    int yPlane, uPlane, vPlane; // planar: offset codes
    bool uFirst;                // semi-planar: pair order
    int pos[4];                 // packed 4:2:2: byte positions of Y0, Y1, U, V in a group
};

// Offset codes: 0 -> 0, 4 -> n, 5 -> n + n/4, 6 -> n + n/2, 8 -> 2n.
int64_t PlaneOffset(int code, int64_t n)
{
    switch (code) {
    case 4: return n;
    case 5: return n + n / 4;
    case 6: return n + n / 2;
    case 8: return 2 * n;
    default: return 0;
    }
}

const Geometry kGeometries[] = {
    {"YUV_TYPE_I420", Kind::Planar420, 0, 4, 5, true, {}},
    {"YUV_TYPE_YV12", Kind::Planar420, 0, 5, 4, true, {}},
    {"YUV_TYPE_NV21", Kind::Semi420, 0, 0, 0, false, {}},
    {"YUV_TYPE_NV12", Kind::Semi420, 0, 0, 0, true, {}},
    {"YUV_TYPE_I422", Kind::Planar422, 0, 4, 6, true, {}},
    {"YUV_TYPE_YV16", Kind::Planar422, 0, 6, 4, true, {}},
    {"YUV_TYPE_NV16", Kind::Semi422, 0, 0, 0, true, {}},
    {"YUV_TYPE_NV61", Kind::Semi422, 0, 0, 0, false, {}},
    {"YUV_TYPE_YUYV", Kind::Packed422, 0, 0, 0, true, {0, 2, 1, 3}},
    {"YUV_TYPE_YUVY", Kind::Packed422, 0, 0, 0, true, {0, 3, 1, 2}},
    {"YUV_TYPE_VYUY", Kind::Packed422, 0, 0, 0, true, {1, 3, 2, 0}},
    {"YUV_TYPE_UYVY", Kind::Packed422, 0, 0, 0, true, {1, 3, 0, 2}},
    {"YUV_TYPE_I444", Kind::Planar444, 0, 4, 8, true, {}},
    {"YUV_TYPE_YV24", Kind::Planar444, 0, 8, 4, true, {}},
    {"YUV_TYPE_NV24", Kind::Semi444, 0, 0, 0, true, {}},
    {"YUV_TYPE_NV42", Kind::Semi444, 0, 0, 0, false, {}},
    {"YUV_TYPE_YUV444_Packed", Kind::Packed444, 0, 0, 0, true, {}},
    {"YUV_TYPE_IYUV", Kind::Planar444, 4, 0, 8, true, {}},
};

const Geometry* FindGeometry(const std::string& type)
{
    for (const Geometry& g : kGeometries)
        if (type == g.name)
            return &g;
    return nullptr;
}

bool IsPlanar(Kind k)
{
    return k == Kind::Planar420 || k == Kind::Planar422 || k == Kind::Planar444;
}

bool IsSemi(Kind k)
{
    return k == Kind::Semi420 || k == Kind::Semi422 || k == Kind::Semi444;
}

const YuvKernels& KernelsFor(ConvertPath path)
{
    switch (path) {
    case ConvertPath::Plain: return PlainKernels();
    case ConvertPath::Sse2: return Sse2Kernels();
    default: return CpuHasAvx2() ? Avx2Kernels() : Sse2Kernels();
    }
}

// Frames from this size on are split between two threads in Auto mode.
constexpr int64_t kThreadMinPixels = 1 << 20;

// Runs fn(rowBegin, rowEnd) over [0, h): in Auto mode for a large frame the
// lower half (starting on an even row) on a second thread.
template <typename Fn>
void ForRows(int h, int64_t n, ConvertPath path, const Fn& fn)
{
    if (path != ConvertPath::Auto || n < kThreadMinPixels || h < 4 || std::thread::hardware_concurrency() < 2) {
        fn(0, h);
        return;
    }
    const int mid = (h / 2) & ~1;
    std::thread worker;
    try {
        worker = std::thread([&fn, mid, h] { fn(mid, h); });
    } catch (const std::system_error&) {
        fn(0, h);
        return;
    }
    fn(0, mid);
    worker.join();
}

// Source planes of one frame: planar Y, U, V; semi-planar Y and the pair
// rows; packed the whole frame in part 0.
struct Source {
    const uint8_t* part[3];
};

// The chroma row a subsampled layout last widened, and where it went.
struct RowState {
    int chromaRow = -1;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
};

constexpr int kNoChroma = -2;

// Row y of the frame as three rows of w samples: row[] points either into
// the source (where it holds the row as it is) or into buf[], where the row
// is converted. A chroma row shared with the previous row is not converted
// again: row[1] and row[2] then point where it was written before.
void RowOf(const Geometry& g, const Source& s, int w, int h, int y, uint8_t* const buf[3], const uint8_t* row[3],
           RowState& st, const YuvKernels& k)
{
    const int64_t o = static_cast<int64_t>(y) * w;
    const int cw = w / 2;
    switch (g.kind) {
    case Kind::Planar420:
    case Kind::Planar422:
    case Kind::Semi420:
    case Kind::Semi422: {
        row[0] = s.part[0] + o;
        const bool is420 = g.kind == Kind::Planar420 || g.kind == Kind::Semi420;
        const int ch = is420 ? h / 2 : h;
        const int r = cw == 0 || ch == 0 ? kNoChroma : std::min(is420 ? y / 2 : y, ch - 1);
        if (r != st.chromaRow) {
            if (r == kNoChroma) {
                std::memset(buf[1], 128, static_cast<size_t>(w));
                std::memset(buf[2], 128, static_cast<size_t>(w));
            } else if (IsPlanar(g.kind)) {
                k.widen(s.part[1] + static_cast<int64_t>(r) * cw, cw, buf[1]);
                k.widen(s.part[2] + static_cast<int64_t>(r) * cw, cw, buf[2]);
            } else {
                uint8_t* first = g.uFirst ? buf[1] : buf[2];
                uint8_t* second = g.uFirst ? buf[2] : buf[1];
                k.widenPairs(s.part[1] + static_cast<int64_t>(r) * w, cw, first, second);
            }
            if ((w & 1) && r != kNoChroma) {
                buf[1][w - 1] = buf[1][w - 2];
                buf[2][w - 1] = buf[2][w - 2];
            }
            st = {r, buf[1], buf[2]};
        }
        row[1] = st.u;
        row[2] = st.v;
        break;
    }
    case Kind::Packed422: {
        const uint8_t* src = s.part[0] + 2 * o;
        k.unpack422(src, cw, g.pos, buf[0], buf[1], buf[2]);
        if (w & 1) {
            // The odd last pixel sits in a half group of two bytes; its luma
            // is at the first luma position of that group (always inside the
            // 2*w bytes of the row), its chroma is the last whole group's.
            buf[0][w - 1] = src[4 * cw + g.pos[0]];
            buf[1][w - 1] = cw > 0 ? buf[1][w - 2] : 128;
            buf[2][w - 1] = cw > 0 ? buf[2][w - 2] : 128;
        }
        for (int p = 0; p < 3; ++p)
            row[p] = buf[p];
        break;
    }
    case Kind::Planar444:
        for (int p = 0; p < 3; ++p)
            row[p] = s.part[p] + o;
        break;
    case Kind::Semi444:
        row[0] = s.part[0] + o;
        k.splitPairs(s.part[1] + 2 * o, w, g.uFirst ? buf[1] : buf[2], g.uFirst ? buf[2] : buf[1]);
        row[1] = buf[1];
        row[2] = buf[2];
        break;
    case Kind::Packed444:
        k.splitTriples(s.part[0] + 3 * o, w, buf[0], buf[1], buf[2]);
        for (int p = 0; p < 3; ++p)
            row[p] = buf[p];
        break;
    }
}

// Source planes from the parts of a frame.
Source SourceOf(const RawFrameParts& parts, const uint8_t* const data[3])
{
    Source s{{nullptr, nullptr, nullptr}};
    for (int i = 0; i < parts.count; ++i) {
        switch (parts.role[i]) {
        case RawFrameParts::PlaneY: s.part[0] = data[i]; break;
        case RawFrameParts::PlaneU: s.part[1] = data[i]; break;
        case RawFrameParts::PlaneV: s.part[2] = data[i]; break;
        case RawFrameParts::ChromaPairs: s.part[1] = data[i]; break;
        case RawFrameParts::Interleaved: s.part[0] = data[i]; break;
        }
    }
    return s;
}

// A per-thread scratch block, kept between calls unless it grew large.
class Scratch {
public:
    ~Scratch() { delete[] data_; }
    uint8_t* Get(size_t bytes)
    {
        if (bytes > capacity_) {
            delete[] data_;
            data_ = new (std::nothrow) uint8_t[bytes];
            capacity_ = data_ ? bytes : 0;
        }
        return data_;
    }

private:
    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
};

} // namespace

bool GetRawFrameParts(int width, int height, const std::string& type, RawFrameParts* parts)
{
    const Geometry* g = FindGeometry(type);
    if (!g || width <= 0 || height <= 0 || !parts)
        return false;
    const int64_t n = static_cast<int64_t>(width) * height;
    const int64_t frameSize = GetFrameSize(width, height, type);
    RawFrameParts p;
    auto add = [&p](int64_t begin, RawFrameParts::Role role, bool direct) {
        p.begin[p.count] = begin;
        p.role[p.count] = role;
        p.direct[p.count] = direct;
        ++p.count;
    };
    if (IsPlanar(g->kind)) {
        struct Plane {
            int64_t offset;
            RawFrameParts::Role role;
        } planes[3] = {{PlaneOffset(g->yPlane, n), RawFrameParts::PlaneY},
                       {PlaneOffset(g->uPlane, n), RawFrameParts::PlaneU},
                       {PlaneOffset(g->vPlane, n), RawFrameParts::PlaneV}};
        std::stable_sort(planes, planes + 3, [](const Plane& a, const Plane& b) { return a.offset < b.offset; });
        for (const Plane& pl : planes)
            add(pl.offset, pl.role, g->kind == Kind::Planar444 || pl.role == RawFrameParts::PlaneY);
    } else if (IsSemi(g->kind)) {
        add(0, RawFrameParts::PlaneY, true);
        add(n, RawFrameParts::ChromaPairs, false);
    } else {
        add(0, RawFrameParts::Interleaved, false);
    }
    for (int i = 0; i < p.count; ++i)
        p.size[i] = (i + 1 < p.count ? p.begin[i + 1] : frameSize) - p.begin[i];
    *parts = p;
    return true;
}

bool ConvertPartsToYuv444(const uint8_t* const data[3], int width, int height, const std::string& type,
                          uint8_t* dst, ConvertPath path)
{
    const Geometry* g = FindGeometry(type);
    RawFrameParts parts;
    if (!g || !dst || !GetRawFrameParts(width, height, type, &parts))
        return false;
    for (int i = 0; i < parts.count; ++i)
        if (!data[i])
            return false;
    const Source s = SourceOf(parts, data);
    const int64_t n = static_cast<int64_t>(width) * height;
    const YuvKernels& k = KernelsFor(path);
    ForRows(height, n, path, [&](int r0, int r1) {
        if (g->kind == Kind::Planar444) {
            // Whole runs of rows: one copy per plane (none for a plane that
            // was read into place).
            const int64_t o = static_cast<int64_t>(r0) * width;
            const size_t bytes = static_cast<size_t>(r1 - r0) * static_cast<size_t>(width);
            for (int p = 0; p < 3; ++p)
                if (s.part[p] + o != dst + p * n + o)
                    std::memcpy(dst + p * n + o, s.part[p] + o, bytes);
            return;
        }
        RowState st;
        for (int y = r0; y < r1; ++y) {
            const int64_t o = static_cast<int64_t>(y) * width;
            uint8_t* const out[3] = {dst + o, dst + n + o, dst + 2 * n + o};
            const uint8_t* row[3];
            RowOf(*g, s, width, height, y, out, row, st, k);
            for (int p = 0; p < 3; ++p)
                if (row[p] != out[p])
                    std::memcpy(out[p], row[p], static_cast<size_t>(width));
        }
    });
    return true;
}

bool ConvertRawToYuv444(const uint8_t* raw, int width, int height, const std::string& type, uint8_t* dst,
                        ConvertPath path)
{
    RawFrameParts parts;
    if (!raw || !GetRawFrameParts(width, height, type, &parts))
        return false;
    const uint8_t* data[3] = {raw + parts.begin[0], raw + parts.begin[1], raw + parts.begin[2]};
    return ConvertPartsToYuv444(data, width, height, type, dst, path);
}

bool ConvertRawToRgb24(const uint8_t* raw, int width, int height, const std::string& type, uint8_t* dst,
                       ConvertPath path)
{
    const Geometry* g = FindGeometry(type);
    RawFrameParts parts;
    if (!raw || !dst || !g || !GetRawFrameParts(width, height, type, &parts))
        return false;
    const uint8_t* data[3] = {raw + parts.begin[0], raw + parts.begin[1], raw + parts.begin[2]};
    const Source s = SourceOf(parts, data);
    const int64_t n = static_cast<int64_t>(width) * height;
    const YuvKernels& k = KernelsFor(path);
    std::atomic<bool> ok{true};
    ForRows(height, n, path, [&](int r0, int r1) {
        static thread_local Scratch scratch;
        uint8_t* rows = scratch.Get(3 * static_cast<size_t>(width));
        if (!rows) {
            ok = false;
            return;
        }
        uint8_t* const buf[3] = {rows, rows + width, rows + 2 * width};
        RowState st;
        for (int y = r0; y < r1; ++y) {
            const uint8_t* row[3];
            RowOf(*g, s, width, height, y, buf, row, st, k);
            k.rgb(row[0], row[1], row[2], width, dst + 3 * static_cast<int64_t>(y) * width);
        }
    });
    return ok;
}

bool GetRowSampleOffsets(int width, int height, const std::string& type, int y, const int* xs, int count,
                         int64_t* out)
{
    const Geometry* g = FindGeometry(type);
    if (!g || width <= 0 || height <= 0 || y < 0 || y >= height || count < 0 || (count > 0 && (!xs || !out)))
        return false;
    for (int i = 0; i < count; ++i)
        if (xs[i] < 0 || xs[i] >= width)
            return false;
    // The same rules as RowOf, one pixel at a time.
    const int64_t n = static_cast<int64_t>(width) * height;
    const int64_t row = static_cast<int64_t>(y) * width;
    const int cw = width / 2;
    for (int i = 0; i < count; ++i) {
        const int x = xs[i];
        int64_t* o = out + 3 * static_cast<int64_t>(i);
        switch (g->kind) {
        case Kind::Planar420:
        case Kind::Planar422:
        case Kind::Semi420:
        case Kind::Semi422: {
            const bool is420 = g->kind == Kind::Planar420 || g->kind == Kind::Semi420;
            const int ch = is420 ? height / 2 : height;
            o[0] = row + x;
            if (cw == 0 || ch == 0) {
                o[1] = o[2] = -1;
                break;
            }
            const int64_t r = std::min(is420 ? y / 2 : y, ch - 1);
            const int64_t c = std::min(x / 2, cw - 1);
            if (IsPlanar(g->kind)) {
                o[1] = PlaneOffset(g->uPlane, n) + r * cw + c;
                o[2] = PlaneOffset(g->vPlane, n) + r * cw + c;
            } else {
                const int64_t first = n + r * width + 2 * c;
                o[1] = g->uFirst ? first : first + 1;
                o[2] = g->uFirst ? first + 1 : first;
            }
            break;
        }
        case Kind::Packed422: {
            const int64_t rowStart = 2 * row;
            if (x < 2 * cw) {
                const int64_t group = rowStart + 4 * static_cast<int64_t>(x / 2);
                o[0] = group + g->pos[x & 1];
                o[1] = group + g->pos[2];
                o[2] = group + g->pos[3];
            } else {
                // The odd last pixel: luma in its half group, chroma from
                // the last whole group.
                o[0] = rowStart + 4 * static_cast<int64_t>(cw) + g->pos[0];
                const int64_t group = rowStart + 4 * static_cast<int64_t>(cw - 1);
                o[1] = cw > 0 ? group + g->pos[2] : -1;
                o[2] = cw > 0 ? group + g->pos[3] : -1;
            }
            break;
        }
        case Kind::Planar444:
            o[0] = PlaneOffset(g->yPlane, n) + row + x;
            o[1] = PlaneOffset(g->uPlane, n) + row + x;
            o[2] = PlaneOffset(g->vPlane, n) + row + x;
            break;
        case Kind::Semi444: {
            const int64_t first = n + 2 * (row + x);
            o[0] = row + x;
            o[1] = g->uFirst ? first : first + 1;
            o[2] = g->uFirst ? first + 1 : first;
            break;
        }
        case Kind::Packed444:
            o[0] = 3 * (row + x);
            o[1] = o[0] + 1;
            o[2] = o[0] + 2;
            break;
        }
    }
    return true;
}

void YuvToRgbPixel(int y, int u, int v, uint8_t* rgb)
{
    RgbFormula(y, u, v, rgb);
}

void Yuv444ToRgb24(const uint8_t* planes, int width, int height, uint8_t* dst, ConvertPath path)
{
    if (!planes || !dst || width <= 0 || height <= 0)
        return;
    const int64_t n = static_cast<int64_t>(width) * height;
    const YuvKernels& k = KernelsFor(path);
    ForRows(height, n, path, [&](int r0, int r1) {
        // Rows are contiguous: convert runs of whole rows of up to about a
        // million pixels per kernel call.
        const int rowsPerRun = std::max(1, (1 << 20) / width);
        for (int r = r0; r < r1; r += rowsPerRun) {
            const int64_t o = static_cast<int64_t>(r) * width;
            const int count = std::min(rowsPerRun, r1 - r) * width;
            k.rgb(planes + o, planes + n + o, planes + 2 * n + o, count, dst + 3 * o);
        }
    });
}

} // namespace lumo
