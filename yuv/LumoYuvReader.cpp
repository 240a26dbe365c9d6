#include "yuv/LumoYuvReader.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "yuv/YuvConvert.h"
#include "yuv/YuvFrameFile.h"
#include "yuv/YuvTypeTable.h"

namespace lumo {
namespace {

// Largest single frame buffer we hand out: half the physical memory. With
// overcommit a bigger new[] would "succeed" and the process would be killed
// while filling it, so an absurd stated size must fail here instead.
int64_t MaxBufferBytes()
{
    static const int64_t limit = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        if (pages <= 0 || pageSize <= 0)
            return int64_t{1} << 32;
        return static_cast<int64_t>(pages) / 2 * pageSize;
    }();
    return limit;
}

template <typename T = uint8_t>
T* Allocate(int64_t count)
{
    if (count <= 0 || count > MaxBufferBytes() / static_cast<int64_t>(sizeof(T)) ||
        static_cast<uint64_t>(count) > SIZE_MAX / sizeof(T))
        return nullptr;
    return new (std::nothrow) T[static_cast<size_t>(count)];
}

// Number of samples of the full-size planes and of RGB24, or -1 when the
// size is impossible. Saturates (no buffer can be that large anyway).
int64_t ThreePlaneBytes(int width, int height)
{
    if (width <= 0 || height <= 0)
        return -1;
    const int64_t n = static_cast<int64_t>(width) * height;
    return n > INT64_MAX / 3 ? INT64_MAX : 3 * n;
}

// Reads convert on the calling thread. Readers mostly run where other
// threads are busy too (painting, thumbnail workers); with both cores taken
// a second thread per frame cost more wall time than it saved.
constexpr ConvertPath kReadPath = ConvertPath::Best;

// Raw bytes of the frame being converted, kept per thread between reads so
// that a steady stream of frames does not allocate (and fault in) a new
// block every time.
struct ScratchBlock {
    uint8_t* data = nullptr;
    int64_t capacity = 0;
    ~ScratchBlock() { delete[] data; }
};
thread_local ScratchBlock tScratch;

uint8_t* ThreadScratch(int64_t bytes)
{
    if (bytes > tScratch.capacity) {
        delete[] tScratch.data;
        tScratch.data = Allocate(bytes);
        tScratch.capacity = tScratch.data ? bytes : 0;
    }
    return tScratch.data;
}

// A block kept after a very large frame would tie up memory for nothing.
void ReleaseLargeScratch()
{
    constexpr int64_t kKeepBytes = int64_t{64} << 20;
    if (tScratch.capacity > kKeepBytes) {
        delete[] tScratch.data;
        tScratch.data = nullptr;
        tScratch.capacity = 0;
    }
}

// Calls ReleaseLargeScratch on every way out of a read.
struct ScratchRelease {
    ~ScratchRelease() { ReleaseLargeScratch(); }
};

} // namespace

LumoYuvReader::LumoYuvReader() = default;

LumoYuvReader::LumoYuvReader(const std::string& path, int width, int height, const std::string& type)
    : path_(path), hasPath_(true), width_(width), height_(height), type_(type)
{
}

int64_t LumoYuvReader::GetFrameSize() const
{
    return lumo::GetFrameSize(width_, height_, type_);
}

int64_t LumoYuvReader::GetDataSize() const
{
    if (!hasPath_)
        return -1;
    const YuvFrameFile file(path_, width_, height_, type_);
    return file.ok() ? file.size() : -1;
}

int LumoYuvReader::GetFrameCount() const
{
    if (!hasPath_)
        return -1;
    YuvFrameFile file(path_, width_, height_, type_);
    if (!file.ok())
        return -1;
    const int64_t frameSize = GetFrameSize();
    if (frameSize <= 0)
        return -1;
    int64_t count = file.size() / frameSize;
    if (file.size() % frameSize > 0)
        ++count;
    return count > INT32_MAX ? INT32_MAX : static_cast<int>(count);
}

uint8_t* LumoYuvReader::ReadFrameRaw(uint8_t* dst, int64_t* outBytes, int64_t offset) const
{
    if (!hasPath_)
        return nullptr;
    YuvFrameFile file(path_, width_, height_, type_);
    if (!file.ok())
        return nullptr;
    const int64_t frameSize = GetFrameSize();
    if (frameSize <= 0)
        return nullptr;
    uint8_t* buffer = dst ? dst : Allocate(frameSize);
    if (!buffer)
        return nullptr;
    const int64_t got = file.ReadAt(buffer, frameSize, offset);
    // Only the part past the end of the file needs the zero padding.
    std::memset(buffer + got, 0, static_cast<size_t>(frameSize - got));
    if (outBytes)
        *outBytes = got;
    return buffer;
}

namespace {

// Raw bytes per band of rows: small enough to stay in the cache between
// reading and converting.
constexpr int64_t kBandBytes = 256 << 10;

// The frame at `offset` as three full-size planes of Sample. Whole planes
// that the conversion copies unchanged go straight to their place in the
// destination; the rest of the frame passes band by band through the
// thread's scratch block.
template <typename Sample, typename Convert>
Sample* ReadPlanes(const LumoYuvReader& reader, Sample* dst, int64_t* outBytes, int64_t offset, PlaneForm form,
                   Convert convert)
{
    if (outBytes)
        *outBytes = 0;
    const int width = reader.Width();
    const int height = reader.Height();
    const std::string& type = reader.Type();
    const int64_t planeSamples = ThreePlaneBytes(width, height);
    RawFrameParts parts;
    if (planeSamples <= 0 || !reader.HasPath() || !GetRawFrameParts(width, height, type, &parts, form))
        return nullptr;
    YuvFrameFile file(reader.Path(), width, height, type);
    if (!file.ok() || offset < 0 || offset >= file.size())
        return nullptr;
    // The destination first: an impossible size fails before any reading.
    std::unique_ptr<Sample[]> owned(dst ? nullptr : Allocate<Sample>(planeSamples));
    Sample* out = dst ? dst : owned.get();
    if (!out)
        return nullptr;
    const ScratchRelease release;
    const int64_t n = static_cast<int64_t>(width) * height;
    int64_t read = 0;
    // Reads `count` bytes from byte `from` of part i on, zero past its end
    // or the end of the file.
    auto readPart = [&](int i, uint8_t* target, int64_t from, int64_t count) {
        const int64_t inside = std::max<int64_t>(0, std::min(count, parts.size[i] - from));
        const int64_t got = inside > 0 ? file.ReadAt(target, inside, offset + parts.begin[i] + from) : 0;
        std::memset(target + got, 0, static_cast<size_t>(count - got));
        read += got;
    };
    RawFrameBand band;
    int64_t rest = 0;
    for (int i = 0; i < parts.count; ++i) {
        if (!parts.direct[i]) {
            rest += parts.size[i];
            continue;
        }
        uint8_t* plane = reinterpret_cast<uint8_t*>(out + parts.role[i] * n);
        readPart(i, plane, 0, parts.size[i]);
        band.data[i] = plane;
    }
    const int rows = static_cast<int>(
        std::min<int64_t>(height, std::max<int64_t>(2, kBandBytes * height / std::max<int64_t>(rest, 1)) & ~1));
    for (int r0 = 0; r0 < height; r0 += rows) {
        band.rowBegin = r0;
        band.rowEnd = std::min(height, r0 + rows);
        int64_t from[3], to[3];
        if (!GetBandRanges(width, height, type, band.rowBegin, band.rowEnd, from, to))
            return nullptr;
        int64_t bytes = 0;
        for (int i = 0; i < parts.count; ++i)
            if (!parts.direct[i])
                bytes += to[i] - from[i];
        // (At least one byte: empty parts, as in a 1x1 I420 frame, still
        // need a place.)
        uint8_t* scratch = ThreadScratch(std::max<int64_t>(bytes, 1));
        if (!scratch)
            return nullptr;
        for (int i = 0; i < parts.count; ++i) {
            if (parts.direct[i])
                continue;
            readPart(i, scratch, from[i], to[i] - from[i]);
            band.data[i] = scratch;
            band.from[i] = from[i];
            scratch += to[i] - from[i];
        }
        if (!convert(band, width, height, type, out, kReadPath))
            return nullptr;
    }
    // Nothing read although the size said otherwise (a file cut short
    // since, a read error): no frame.
    if (read == 0)
        return nullptr;
    owned.release();
    if (outBytes)
        *outBytes = planeSamples * static_cast<int64_t>(sizeof(Sample));
    return out;
}

} // namespace

uint8_t* LumoYuvReader::ReadFrameYUV444(uint8_t* dst, int64_t* outBytes, int64_t offset) const
{
    return ReadPlanes<uint8_t>(*this, dst, outBytes, offset, PlaneForm::Bytes8, ConvertBandToYuv444);
}

uint8_t* LumoYuvReader::ReadFrameYUV444AndRaw(uint8_t* dst, uint8_t* raw, int64_t* outBytes, int64_t offset) const
{
    if (outBytes)
        *outBytes = 0;
    const int64_t frameSize = GetFrameSize();
    const int64_t planeSamples = ThreePlaneBytes(width_, height_);
    if (!dst || !raw || !hasPath_ || frameSize <= 0 || planeSamples <= 0)
        return nullptr;
    YuvFrameFile file(path_, width_, height_, type_);
    // Checked before anything is written: a frame past the end of a file
    // cut short leaves the caller's buffers alone.
    if (!file.ok() || offset < 0 || offset >= file.size())
        return nullptr;
    const int64_t got = file.ReadAt(raw, frameSize, offset);
    if (got <= 0)
        return nullptr;
    std::memset(raw + got, 0, static_cast<size_t>(frameSize - got));
    if (!ConvertRawToYuv444(raw, width_, height_, type_, dst, kReadPath))
        return nullptr;
    if (outBytes)
        *outBytes = planeSamples;
    return dst;
}

uint16_t* LumoYuvReader::ReadFrameYUV444Native(uint16_t* dst, int64_t* outBytes, int64_t offset) const
{
    return ReadPlanes<uint16_t>(*this, dst, outBytes, offset, PlaneForm::Native16, ConvertBandToYuv444Native);
}

int LumoYuvReader::BitDepth() const
{
    const YuvTypeInfo* info = YuvTypeTable::Instance().Find(type_);
    return info ? info->bitDepth : 8;
}

uint8_t* LumoYuvReader::ReadFrameRGB24(uint8_t* dst, int64_t* outBytes, int64_t offset) const
{
    if (outBytes)
        *outBytes = 0;
    const int64_t planeBytes = ThreePlaneBytes(width_, height_);
    const int64_t frameSize = GetFrameSize();
    if (planeBytes <= 0 || frameSize <= 0 || !hasPath_)
        return nullptr;
    YuvFrameFile file(path_, width_, height_, type_);
    if (!file.ok() || offset < 0 || offset >= file.size())
        return nullptr;
    std::unique_ptr<uint8_t[]> owned(dst ? nullptr : Allocate(planeBytes));
    uint8_t* out = dst ? dst : owned.get();
    const ScratchRelease release;
    uint8_t* raw = out ? ThreadScratch(frameSize) : nullptr;
    if (!raw)
        return nullptr;
    const int64_t got = file.ReadAt(raw, frameSize, offset);
    if (got == 0)
        return nullptr;
    std::memset(raw + got, 0, static_cast<size_t>(frameSize - got));
    if (!ConvertRawToRgb24(raw, width_, height_, type_, out, kReadPath))
        return nullptr;
    owned.release();
    if (outBytes)
        *outBytes = planeBytes;
    return out;
}

namespace {

template <typename Sample>
Sample* PlanesToI420(const Sample* yuv444, int width, int height)
{
    if (!yuv444 || width <= 0 || height <= 0)
        return nullptr;
    const int64_t n = static_cast<int64_t>(width) * height;
    const int cw = ChromaWidth(YuvChroma::C420, width);
    const int ch = ChromaHeight(YuvChroma::C420, height);
    const int64_t chroma = static_cast<int64_t>(cw) * ch;
    Sample* out = Allocate<Sample>(n + 2 * chroma);
    if (!out)
        return nullptr;
    std::copy(yuv444, yuv444 + n, out);
    Sample* u = out + n;
    Sample* v = u + chroma;
    const Sample* su = yuv444 + n;
    const Sample* sv = yuv444 + 2 * n;
    for (int r = 0; r < ch; ++r) {
        const int64_t srcRow = static_cast<int64_t>(2 * r) * width;
        Sample* uo = u + static_cast<int64_t>(r) * cw;
        Sample* vo = v + static_cast<int64_t>(r) * cw;
        for (int c = 0; c < cw; ++c) {
            uo[c] = su[srcRow + 2 * c];
            vo[c] = sv[srcRow + 2 * c];
        }
    }
    return out;
}

} // namespace

uint8_t* Yuv444ToI420(const uint8_t* yuv444, int width, int height)
{
    return PlanesToI420(yuv444, width, height);
}

uint16_t* Yuv444ToI420(const uint16_t* yuv444, int width, int height)
{
    return PlanesToI420(yuv444, width, height);
}

} // namespace lumo
