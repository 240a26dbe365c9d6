#include "yuv/YuvConvert.h"

#include "yuv/Threads.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "yuv/YuvKernels.h"
#include "yuv/YuvWordKernels.h"
#include "yuv/YuvRgbFormula.h"
#include "yuv/YuvTypeTable.h"

namespace lumo {
namespace {

enum class Kind { Planar420, Semi420, Planar422, Semi422, Packed422, Planar444, Semi444, Packed444 };

// Where the samples of one layout lie, in the form the row walk wants it;
// taken from the layout's descriptor.
struct Geometry {
    Kind kind = Kind::Planar420;
    int planeRole[3] = {0, 1, 2}; // planar: the planes in file order (0 Y, 1 U, 2 V)
    bool uFirst = true;           // semi-planar: pair order
    int pos[4] = {0, 0, 0, 0};    // packed 4:2:2: positions of Y0, Y1, U, V in a group
    int tripleRole[3] = {0, 1, 2}; // packed 4:4:4: the samples of a triple
    bool words = false;           // 16-bit little-endian samples
    SampleBits bits;
};

int RoleOf(char c)
{
    return c == 'Y' ? 0 : c == 'U' ? 1 : c == 'V' ? 2 : -1;
}

bool OrderIsPermutation(const std::string& order, int length)
{
    if (static_cast<int>(order.size()) != length)
        return false;
    int seen = 0;
    for (char c : order) {
        if (RoleOf(c) < 0)
            return false;
        seen |= 1 << RoleOf(c);
    }
    return seen == 7;
}

// False for an unknown layout, and for a descriptor the walk does not
// cover (16-bit samples come planar, or semi-planar with subsampled chroma).
bool GeometryOf(const std::string& type, Geometry* g)
{
    const YuvTypeInfo* info = YuvTypeTable::Instance().Find(type);
    if (!info)
        return false;
    const YuvChroma c = info->chroma;
    const std::string& order = info->order;
    g->words = info->sampleBytes == 2;
    g->bits.shift = info->bitShift;
    g->bits.depth = info->bitDepth;
    switch (info->arrangement) {
    case YuvArrangement::Planar:
        g->kind = c == YuvChroma::C420 ? Kind::Planar420 : c == YuvChroma::C422 ? Kind::Planar422 : Kind::Planar444;
        if (!OrderIsPermutation(order, 3))
            return false;
        for (int i = 0; i < 3; ++i)
            g->planeRole[i] = RoleOf(order[i]);
        return true;
    case YuvArrangement::SemiPlanar:
        g->kind = c == YuvChroma::C420 ? Kind::Semi420 : c == YuvChroma::C422 ? Kind::Semi422 : Kind::Semi444;
        g->uFirst = order == "YUV";
        return (order == "YUV" || order == "YVU") && !(g->words && c == YuvChroma::C444);
    case YuvArrangement::Packed:
        if (g->words || c == YuvChroma::C420)
            return false;
        if (c == YuvChroma::C444) {
            g->kind = Kind::Packed444;
            if (!OrderIsPermutation(order, 3))
                return false;
            for (int i = 0; i < 3; ++i)
                g->tripleRole[i] = RoleOf(order[i]);
            return true;
        }
        g->kind = Kind::Packed422;
        if (order.size() != 4)
            return false;
        {
            // Slots 0 and 1 take the first and second Y, 2 and 3 U and V.
            int lumas = 0;
            bool seen[4] = {false, false, false, false};
            for (int i = 0; i < 4; ++i) {
                const int role = RoleOf(order[static_cast<size_t>(i)]);
                const int slot = role == 0 ? lumas++ : role + 1;
                if (role < 0 || slot > 3 || seen[slot])
                    return false;
                seen[slot] = true;
                g->pos[slot] = i;
            }
            return lumas == 2;
        }
    }
    return false;
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

const YuvWordKernels& WordKernelsFor(ConvertPath path)
{
    switch (path) {
    case ConvertPath::Plain: return PlainWordKernels();
    case ConvertPath::Sse2: return Sse2WordKernels();
    default: return CpuHasAvx2() ? Avx2WordKernels() : Sse2WordKernels();
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
    const BudgetSlots helper(1);
    if (helper.Count() == 0) {
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
// rows; packed the whole frame in part 0. Part p is present from its byte
// from[p] on (a band of rows), at part[p].
struct Source {
    const uint8_t* part[3] = {nullptr, nullptr, nullptr};
    int64_t from[3] = {0, 0, 0};
};

// Chroma row of pixel row y (every frame of at least one pixel has one:
// chroma planes are rounded up).
int ChromaRowOf(Kind kind, int y)
{
    return kind == Kind::Planar420 || kind == Kind::Semi420 ? y / 2 : y;
}

// Samples per row of source slot p (0 luma or packed rows, 1 and 2 chroma).
int64_t SlotRowSamples(const YuvFrameGeometry& fg, int p)
{
    return p == 0 ? fg.lumaRow : fg.chromaRow;
}

// Walks the rows of one frame. One walker per thread: it remembers the
// chroma row it widened last, so that rows sharing it (4:2:0) take it
// from where it was written instead of converting it again.
class RowWalker {
public:
    // `narrowRow` holds 2*w bytes; needed for 16-bit layouts only.
    RowWalker(const Geometry& g, const YuvFrameGeometry& fg, const Source& s, int w, const YuvKernels& k,
              const YuvWordKernels& kw, uint8_t* narrowRow)
        : g_(g), fg_(fg), s_(s), w_(w), k_(k), kw_(kw), narrow_(narrowRow)
    {
    }

    // Row y as three rows of w 8-bit samples: row[] points either into the
    // source (where it holds the row as it is) or into buf[], where the row
    // is converted, or where an earlier row put the chroma it shares.
    void Bytes(int y, uint8_t* const buf[3], const uint8_t* row[3]);
    // Row y as three rows of w samples at native depth into out[]; `bytes`
    // holds 3*w bytes of scratch for the 8-bit layouts.
    void Words(int y, uint16_t* const out[3], uint8_t* bytes);

private:
    int ChromaRow(int y) const { return ChromaRowOf(g_.kind, y); }
    // Byte address of sample `index` of source slot p.
    const uint8_t* At(int p, int64_t index) const
    {
        return s_.part[p] + ((g_.words ? 2 * index : index) - s_.from[p]);
    }
    // `count` samples at `src` as 8-bit samples: the source itself, or
    // rounded into the narrow row.
    const uint8_t* Narrowed(const uint8_t* src, int count, uint8_t* into)
    {
        if (!g_.words)
            return src;
        kw_.narrow(src, count, g_.bits, into);
        return into;
    }

    const Geometry& g_;
    const YuvFrameGeometry& fg_;
    const Source& s_;
    int w_;
    const YuvKernels& k_;
    const YuvWordKernels& kw_;
    uint8_t* narrow_;
    int chromaRow_ = -1;
    const void* lastU_ = nullptr;
    const void* lastV_ = nullptr;
};

void RowWalker::Bytes(int y, uint8_t* const buf[3], const uint8_t* row[3])
{
    const int w = w_;
    const int64_t o = static_cast<int64_t>(y) * w;
    // Whole pixel pairs; an odd last pixel has a chroma sample of its own.
    const int pairs = w / 2;
    const int cw = fg_.chromaWidth;
    switch (g_.kind) {
    case Kind::Planar420:
    case Kind::Planar422:
    case Kind::Semi420:
    case Kind::Semi422: {
        row[0] = Narrowed(At(0, o), w, buf[0]);
        const int r = ChromaRow(y);
        if (r != chromaRow_) {
            const int64_t start = static_cast<int64_t>(r) * fg_.chromaRow;
            if (IsPlanar(g_.kind)) {
                for (int p = 1; p < 3; ++p) {
                    const uint8_t* c = Narrowed(At(p, start), cw, narrow_);
                    k_.widen(c, pairs, buf[p]);
                    buf[p][w - 1] = c[cw - 1];
                }
            } else {
                uint8_t* first = g_.uFirst ? buf[1] : buf[2];
                uint8_t* second = g_.uFirst ? buf[2] : buf[1];
                const uint8_t* c = Narrowed(At(1, start), 2 * cw, narrow_);
                k_.widenPairs(c, pairs, first, second);
                first[w - 1] = c[2 * cw - 2];
                second[w - 1] = c[2 * cw - 1];
            }
            chromaRow_ = r;
            lastU_ = buf[1];
            lastV_ = buf[2];
        }
        row[1] = static_cast<const uint8_t*>(lastU_);
        row[2] = static_cast<const uint8_t*>(lastV_);
        break;
    }
    case Kind::Packed422: {
        const uint8_t* src = At(0, y * fg_.lumaRow);
        k_.unpack422(src, pairs, g_.pos, buf[0], buf[1], buf[2]);
        if (w & 1) {
            // The odd last pixel is the first of a whole last group, whose
            // second luma is padding.
            const uint8_t* group = src + 4 * pairs;
            buf[0][w - 1] = group[g_.pos[0]];
            buf[1][w - 1] = group[g_.pos[2]];
            buf[2][w - 1] = group[g_.pos[3]];
        }
        for (int p = 0; p < 3; ++p)
            row[p] = buf[p];
        break;
    }
    case Kind::Planar444:
        for (int p = 0; p < 3; ++p)
            row[p] = Narrowed(At(p, o), w, buf[p]);
        break;
    case Kind::Semi444:
        row[0] = At(0, o);
        k_.splitPairs(At(1, 2 * o), w, g_.uFirst ? buf[1] : buf[2], g_.uFirst ? buf[2] : buf[1]);
        row[1] = buf[1];
        row[2] = buf[2];
        break;
    case Kind::Packed444:
        k_.splitTriples(At(0, 3 * o), w, buf[g_.tripleRole[0]], buf[g_.tripleRole[1]], buf[g_.tripleRole[2]]);
        for (int p = 0; p < 3; ++p)
            row[p] = buf[p];
        break;
    }
}

void RowWalker::Words(int y, uint16_t* const out[3], uint8_t* bytes)
{
    const int w = w_;
    if (!g_.words) {
        uint8_t* const buf[3] = {bytes, bytes + w, bytes + 2 * w};
        const uint8_t* row[3];
        Bytes(y, buf, row);
        for (int p = 0; p < 3; ++p)
            kw_.extend(row[p], w, out[p]);
        return;
    }
    const int64_t o = static_cast<int64_t>(y) * w;
    const int pairs = w / 2;
    const int cw = fg_.chromaWidth;
    // Planes read straight into place still need their samples masked,
    // unless every bit of the word is the sample.
    const bool identity = g_.bits.shift == 0 && g_.bits.depth == 16;
    auto load = [&](int p, int64_t index, int count, uint16_t* into) {
        const uint8_t* src = At(p, index);
        if (!identity || src != reinterpret_cast<const uint8_t*>(into))
            kw_.load(src, count, g_.bits, into);
    };
    if (g_.kind == Kind::Planar444) {
        for (int p = 0; p < 3; ++p)
            load(p, o, w, out[p]);
        return;
    }
    load(0, o, w, out[0]);
    const int r = ChromaRow(y);
    if (r == chromaRow_ && lastU_) {
        std::memcpy(out[1], lastU_, sizeof(uint16_t) * static_cast<size_t>(w));
        std::memcpy(out[2], lastV_, sizeof(uint16_t) * static_cast<size_t>(w));
        return;
    }
    const int64_t start = static_cast<int64_t>(r) * fg_.chromaRow;
    if (IsPlanar(g_.kind)) {
        for (int p = 1; p < 3; ++p) {
            kw_.loadWiden(At(p, start), pairs, g_.bits, out[p]);
            kw_.load(At(p, start + cw - 1), 1, g_.bits, out[p] + w - 1);
        }
    } else {
        uint16_t* first = g_.uFirst ? out[1] : out[2];
        uint16_t* second = g_.uFirst ? out[2] : out[1];
        kw_.loadWidenPairs(At(1, start), pairs, g_.bits, first, second);
        kw_.load(At(1, start + 2 * cw - 2), 1, g_.bits, first + w - 1);
        kw_.load(At(1, start + 2 * cw - 1), 1, g_.bits, second + w - 1);
    }
    chromaRow_ = r;
    lastU_ = out[1];
    lastV_ = out[2];
}

int SlotOf(RawFrameParts::Role role)
{
    return role == RawFrameParts::ChromaPairs ? 1 : role == RawFrameParts::Interleaved ? 0 : static_cast<int>(role);
}

// Source planes from a band of the parts of a frame.
Source SourceOf(const RawFrameParts& parts, const RawFrameBand& band)
{
    Source s;
    for (int i = 0; i < parts.count; ++i) {
        const int slot = SlotOf(parts.role[i]);
        s.part[slot] = band.data[i];
        s.from[slot] = band.from[i];
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

// Per-thread scratch of `bytes`, nullptr when memory runs out.
uint8_t* ThreadScratch(size_t bytes)
{
    static thread_local Scratch scratch;
    return scratch.Get(std::max<size_t>(bytes, 1));
}

// What a conversion starts from: the walk's geometry and source planes.
struct Frame {
    Geometry g;
    YuvFrameGeometry fg;
    Source s;
    int rowBegin = 0;
    int rowEnd = 0;
};

bool FrameOf(const RawFrameBand& band, int width, int height, const std::string& type, PlaneForm form, Frame* f)
{
    RawFrameParts parts;
    if (!GeometryOf(type, &f->g) || !GetFrameGeometry(width, height, type, &f->fg) ||
        !GetRawFrameParts(width, height, type, &parts, form))
        return false;
    if (band.rowBegin < 0 || band.rowEnd > height || band.rowBegin > band.rowEnd)
        return false;
    for (int i = 0; i < parts.count; ++i)
        if (!band.data[i])
            return false;
    f->s = SourceOf(parts, band);
    f->rowBegin = band.rowBegin;
    f->rowEnd = band.rowEnd;
    return true;
}

RawFrameBand WholeFrame(const uint8_t* raw, const RawFrameParts& parts, int height)
{
    RawFrameBand band;
    for (int i = 0; i < parts.count; ++i)
        band.data[i] = raw + parts.begin[i];
    band.rowEnd = height;
    return band;
}

// 8-bit planar 4:2:0 or 4:2:2: RGB24 takes the pair kernel
// (PlanarSubsampledToRgb).
bool TakesChromaPairs(const Geometry& g)
{
    return !g.words && (g.kind == Kind::Planar420 || g.kind == Kind::Planar422);
}

// Rows [r0, r1) straight to RGB24: each pixel pair shares its chroma
// sample, and in 4:2:0 each row pair its chroma row, so chroma is never
// widened.
void PlanarSubsampledToRgb(const Frame& f, int w, int r0, int r1, uint8_t* dst, const YuvKernels& k)
{
    const int cw = f.fg.chromaWidth;
    auto at = [&f](int p, int64_t index) { return f.s.part[p] + (index - f.s.from[p]); };
    for (int y = r0; y < r1;) {
        const int r = ChromaRowOf(f.g.kind, y);
        const int rows = y + 1 < r1 && ChromaRowOf(f.g.kind, y + 1) == r ? 2 : 1;
        const uint8_t* u = at(1, static_cast<int64_t>(r) * cw);
        const uint8_t* v = at(2, static_cast<int64_t>(r) * cw);
        const uint8_t* luma[2] = {at(0, static_cast<int64_t>(y) * w), at(0, static_cast<int64_t>(y + rows - 1) * w)};
        uint8_t* out[2] = {dst + 3 * static_cast<int64_t>(y) * w, dst + 3 * static_cast<int64_t>(y + rows - 1) * w};
        k.rgbPairs(luma[0], rows == 2 ? luma[1] : nullptr, u, v, w / 2, out[0], rows == 2 ? out[1] : nullptr);
        if (w & 1) {
            // The odd last pixel has the last chroma sample to itself.
            for (int i = 0; i < rows; ++i)
                YuvToRgbPixel(luma[i][w - 1], u[cw - 1], v[cw - 1], out[i] + 3 * (w - 1));
        }
        y += rows;
    }
}

// Runs fn(rowBegin, rowEnd) over the band's rows as ForRows does over a frame.
template <typename Fn>
void ForBandRows(const Frame& f, int64_t n, ConvertPath path, const Fn& fn)
{
    ForRows(f.rowEnd - f.rowBegin, n, path, [&](int r0, int r1) { fn(f.rowBegin + r0, f.rowBegin + r1); });
}

// The rows of a band through rows(frame, kernels, wordKernels, r0, r1),
// which returns false when memory runs out; ForRows' split in Auto mode.
template <typename Sample, typename Rows>
bool ConvertBand(const RawFrameBand& band, int width, int height, const std::string& type, PlaneForm form,
                 Sample* dst, ConvertPath path, const Rows& rows)
{
    Frame f;
    if (!dst || !FrameOf(band, width, height, type, form, &f))
        return false;
    const YuvKernels& k = KernelsFor(path);
    const YuvWordKernels& kw = WordKernelsFor(path);
    std::atomic<bool> ok{true};
    ForBandRows(f, static_cast<int64_t>(width) * height, path, [&](int r0, int r1) {
        if (!rows(f, k, kw, r0, r1))
            ok = false;
    });
    return ok;
}

} // namespace

bool GetRawFrameParts(int width, int height, const std::string& type, RawFrameParts* parts, PlaneForm form)
{
    Geometry g;
    YuvFrameGeometry fg;
    if (!GeometryOf(type, &g) || !GetFrameGeometry(width, height, type, &fg) || width <= 0 || height <= 0 ||
        !parts)
        return false;
    const int64_t n = static_cast<int64_t>(width) * height;
    // No frame of 2^60 samples exists; past that the offsets could overflow.
    if (n > INT64_MAX / 8)
        return false;
    const int64_t frameSize = fg.frameSize;
    const int sampleBytes = g.words ? 2 : 1;
    // Whole planes whose samples the conversion copies unchanged.
    const bool copies = form == PlaneForm::Bytes8 ? !g.words
                                                  : g.words && g.bits.shift == 0 && g.bits.depth == 16;
    RawFrameParts p;
    auto add = [&](int64_t beginSamples, RawFrameParts::Role role, bool direct) {
        p.begin[p.count] = beginSamples * sampleBytes;
        p.role[p.count] = role;
        p.direct[p.count] = direct && copies;
        ++p.count;
    };
    if (IsPlanar(g.kind)) {
        int64_t at = 0;
        for (int role : g.planeRole) {
            add(at, static_cast<RawFrameParts::Role>(role), g.kind == Kind::Planar444 || role == 0);
            at += role == 0 ? n : fg.chromaSamples;
        }
    } else if (IsSemi(g.kind)) {
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

bool GetBandRanges(int width, int height, const std::string& type, int rowBegin, int rowEnd, int64_t from[3],
                   int64_t to[3])
{
    Geometry g;
    YuvFrameGeometry fg;
    RawFrameParts parts;
    if (!GeometryOf(type, &g) || !GetFrameGeometry(width, height, type, &fg) ||
        !GetRawFrameParts(width, height, type, &parts) || rowBegin < 0 || rowEnd > height || rowBegin >= rowEnd)
        return false;
    const int sampleBytes = g.words ? 2 : 1;
    for (int i = 0; i < 3; ++i)
        from[i] = to[i] = 0;
    for (int i = 0; i < parts.count; ++i) {
        const int slot = SlotOf(parts.role[i]);
        const int first = slot == 0 ? rowBegin : ChromaRowOf(g.kind, rowBegin);
        const int last = slot == 0 ? rowEnd - 1 : ChromaRowOf(g.kind, rowEnd - 1);
        const int64_t rowBytes = SlotRowSamples(fg, slot) * sampleBytes;
        from[i] = first * rowBytes;
        to[i] = (static_cast<int64_t>(last) + 1) * rowBytes;
    }
    return true;
}

bool ConvertBandToYuv444(const RawFrameBand& band, int width, int height, const std::string& type, uint8_t* dst,
                         ConvertPath path)
{
    return ConvertBand(band, width, height, type, PlaneForm::Bytes8, dst, path,
                       [&](const Frame& f, const YuvKernels& k, const YuvWordKernels& kw, int r0, int r1) {
        const int64_t n = static_cast<int64_t>(width) * height;
        if (f.g.kind == Kind::Planar444 && !f.g.words) {
            // Whole runs of rows: one copy per plane (none for a plane that
            // was read into place).
            const int64_t o = static_cast<int64_t>(r0) * width;
            const size_t bytes = static_cast<size_t>(r1 - r0) * static_cast<size_t>(width);
            for (int p = 0; p < 3; ++p) {
                const uint8_t* src = f.s.part[p] + (o - f.s.from[p]);
                if (src != dst + p * n + o)
                    std::memcpy(dst + p * n + o, src, bytes);
            }
            return true;
        }
        uint8_t* narrow = f.g.words ? ThreadScratch(2 * static_cast<size_t>(width)) : nullptr;
        if (f.g.words && !narrow)
            return false;
        RowWalker walk(f.g, f.fg, f.s, width, k, kw, narrow);
        for (int y = r0; y < r1; ++y) {
            const int64_t o = static_cast<int64_t>(y) * width;
            uint8_t* const out[3] = {dst + o, dst + n + o, dst + 2 * n + o};
            const uint8_t* row[3];
            walk.Bytes(y, out, row);
            for (int p = 0; p < 3; ++p)
                if (row[p] != out[p])
                    std::memcpy(out[p], row[p], static_cast<size_t>(width));
        }
        return true;
    });
}

bool ConvertBandToYuv444Native(const RawFrameBand& band, int width, int height, const std::string& type,
                               uint16_t* dst, ConvertPath path)
{
    return ConvertBand(band, width, height, type, PlaneForm::Native16, dst, path,
                       [&](const Frame& f, const YuvKernels& k, const YuvWordKernels& kw, int r0, int r1) {
        const int64_t n = static_cast<int64_t>(width) * height;
        uint8_t* bytes = f.g.words ? nullptr : ThreadScratch(3 * static_cast<size_t>(width));
        if (!f.g.words && !bytes)
            return false;
        RowWalker walk(f.g, f.fg, f.s, width, k, kw, nullptr);
        for (int y = r0; y < r1; ++y) {
            const int64_t o = static_cast<int64_t>(y) * width;
            uint16_t* const out[3] = {dst + o, dst + n + o, dst + 2 * n + o};
            walk.Words(y, out, bytes);
        }
        return true;
    });
}

bool ConvertRawToYuv444(const uint8_t* raw, int width, int height, const std::string& type, uint8_t* dst,
                        ConvertPath path)
{
    RawFrameParts parts;
    if (!raw || !GetRawFrameParts(width, height, type, &parts))
        return false;
    return ConvertBandToYuv444(WholeFrame(raw, parts, height), width, height, type, dst, path);
}

bool ConvertRawToYuv444Native(const uint8_t* raw, int width, int height, const std::string& type, uint16_t* dst,
                              ConvertPath path)
{
    RawFrameParts parts;
    if (!raw || !GetRawFrameParts(width, height, type, &parts, PlaneForm::Native16))
        return false;
    return ConvertBandToYuv444Native(WholeFrame(raw, parts, height), width, height, type, dst, path);
}

bool ConvertRawToRgb24(const uint8_t* raw, int width, int height, const std::string& type, uint8_t* dst,
                       ConvertPath path)
{
    RawFrameParts parts;
    Frame f;
    if (!raw || !dst || !GetRawFrameParts(width, height, type, &parts) ||
        !FrameOf(WholeFrame(raw, parts, height), width, height, type, PlaneForm::Bytes8, &f))
        return false;
    const int64_t n = static_cast<int64_t>(width) * height;
    const YuvKernels& k = KernelsFor(path);
    const YuvWordKernels& kw = WordKernelsFor(path);
    const bool chromaPairs = TakesChromaPairs(f.g);
    std::atomic<bool> ok{true};
    ForRows(height, n, path, [&](int r0, int r1) {
        if (chromaPairs) {
            PlanarSubsampledToRgb(f, width, r0, r1, dst, k);
            return;
        }
        // Three converted rows, then the narrow row of 16-bit layouts.
        uint8_t* rows = ThreadScratch(5 * static_cast<size_t>(width));
        if (!rows) {
            ok = false;
            return;
        }
        uint8_t* const buf[3] = {rows, rows + width, rows + 2 * width};
        RowWalker walk(f.g, f.fg, f.s, width, k, kw, rows + 3 * width);
        for (int y = r0; y < r1; ++y) {
            const uint8_t* row[3];
            walk.Bytes(y, buf, row);
            k.rgb(row[0], row[1], row[2], width, dst + 3 * static_cast<int64_t>(y) * width);
        }
    });
    return ok;
}

bool GetRowSampleOffsets(int width, int height, const std::string& type, int y, const int* xs, int count,
                         int64_t* out)
{
    Geometry g;
    YuvFrameGeometry fg;
    RawFrameParts parts;
    if (!GeometryOf(type, &g) || !GetFrameGeometry(width, height, type, &fg) ||
        !GetRawFrameParts(width, height, type, &parts) || y < 0 || y >= height || count < 0 ||
        (count > 0 && (!xs || !out)))
        return false;
    for (int i = 0; i < count; ++i)
        if (xs[i] < 0 || xs[i] >= width)
            return false;
    // The same rules as the row walk, one pixel at a time, in samples; the
    // parts give where each source slot starts.
    int64_t start[3] = {0, 0, 0};
    for (int i = 0; i < parts.count; ++i)
        start[SlotOf(parts.role[i])] = parts.begin[i] / (g.words ? 2 : 1);
    const int64_t row = static_cast<int64_t>(y) * width;
    const int64_t chromaRow = ChromaRowOf(g.kind, y) * fg.chromaRow;
    for (int i = 0; i < count; ++i) {
        const int x = xs[i];
        int64_t* o = out + 3 * static_cast<int64_t>(i);
        switch (g.kind) {
        case Kind::Planar420:
        case Kind::Planar422:
        case Kind::Semi420:
        case Kind::Semi422: {
            o[0] = row + x;
            if (IsPlanar(g.kind)) {
                o[1] = start[1] + chromaRow + x / 2;
                o[2] = start[2] + chromaRow + x / 2;
            } else {
                const int64_t first = start[1] + chromaRow + 2 * (x / 2);
                o[1] = g.uFirst ? first : first + 1;
                o[2] = g.uFirst ? first + 1 : first;
            }
            break;
        }
        case Kind::Packed422: {
            const int64_t group = y * fg.lumaRow + 4 * static_cast<int64_t>(x / 2);
            o[0] = group + g.pos[x & 1];
            o[1] = group + g.pos[2];
            o[2] = group + g.pos[3];
            break;
        }
        case Kind::Planar444:
            for (int p = 0; p < 3; ++p)
                o[p] = start[p] + row + x;
            break;
        case Kind::Semi444: {
            const int64_t first = start[1] + 2 * (row + x);
            o[0] = row + x;
            o[1] = g.uFirst ? first : first + 1;
            o[2] = g.uFirst ? first + 1 : first;
            break;
        }
        case Kind::Packed444:
            for (int p = 0; p < 3; ++p)
                o[g.tripleRole[p]] = 3 * (row + x) + p;
            break;
        }
        if (g.words)
            for (int p = 0; p < 3; ++p)
                o[p] *= 2;
    }
    return true;
}

bool GetRowNativeSamples(const uint8_t* raw, int width, int height, const std::string& type, int y, const int* xs,
                         int count, uint16_t* out)
{
    const YuvTypeInfo* info = YuvTypeTable::Instance().Find(type);
    if (!raw || !info || count < 0 || (count > 0 && (!xs || !out)))
        return false;
    SampleBits bits;
    bits.depth = info->bitDepth;
    bits.shift = info->bitShift;
    const bool words = info->sampleBytes == 2;
    // A few pixels at a time: no allocation for a row of any length.
    constexpr int kChunk = 64;
    int64_t offsets[3 * kChunk];
    for (int first = 0; first < count; first += kChunk) {
        const int n = std::min(kChunk, count - first);
        if (!GetRowSampleOffsets(width, height, type, y, xs + first, n, offsets))
            return false;
        for (int i = 0; i < 3 * n; ++i) {
            const int64_t at = offsets[i];
            uint16_t& sample = out[3 * static_cast<int64_t>(first) + i];
            if (words)
                sample = static_cast<uint16_t>(((raw[at] | (raw[at + 1] << 8)) >> bits.shift) & bits.mask());
            else
                sample = raw[at];
        }
    }
    return true;
}

uint8_t SampleTo8Bits(unsigned stored, int depth, int shift)
{
    SampleBits bits;
    bits.depth = std::min(16, std::max(8, depth));
    bits.shift = shift;
    const uint8_t bytes[2] = {static_cast<uint8_t>(stored), static_cast<uint8_t>(stored >> 8)};
    uint8_t out = bytes[0];
    if (bits.depth > 8)
        PlainWordKernels().narrow(bytes, 1, bits, &out);
    return out;
}

void YuvToRgbPixel(int y, int u, int v, uint8_t* rgb)
{
    RgbFormula(y, u, v, rgb);
}

void Yuv444ToRgb48(const uint16_t* planes, int width, int height, int depth, uint16_t* dst)
{
    if (!planes || !dst || width <= 0 || height <= 0 || depth < 8 || depth > 16)
        return;
    const int64_t n = static_cast<int64_t>(width) * height;
    const double unit = static_cast<double>(1 << (depth - 8));
    auto channel = [](double v) {
        const double clamped = v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v);
        return static_cast<uint16_t>(clamped * 257.0 + 0.5);
    };
    for (int64_t i = 0; i < n; ++i) {
        const double y = planes[i] / unit;
        const double u = planes[n + i] / unit;
        const double v = planes[2 * n + i] / unit;
        const double c = 1.164 * (y - 16);
        dst[3 * i] = channel(c + 1.596 * (v - 128));
        dst[3 * i + 1] = channel(c - 0.392 * (u - 128) - 0.812 * (v - 128));
        dst[3 * i + 2] = channel(c + 2.016 * (u - 128));
    }
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
