#include "analysis/FrameThumbnail.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>
#include <cstring>
#include <vector>

#include "yuv/RawFrameSource.h"
#include "yuv/YuvConvert.h"
#include "yuv/YuvFrameFile.h"
#include "yuv/YuvTypeTable.h"

namespace {

// Single bytes of a frame file (raw or Y4M, offsets counting frame data
// only) through a few cached blocks; bytes past the end read as 0.
class SampledFile {
public:
    explicit SampledFile(const lumo::LumoYuvReader& reader)
        : file_(reader.Path(), reader.Width(), reader.Height(), reader.Type())
    {
    }

    bool ok() const { return file_.ok(); }
    int64_t size() const { return file_.size(); }

    uint8_t At(int64_t offset)
    {
        if (offset < 0 || offset >= file_.size())
            return 0;
        const int64_t start = offset - offset % kBlockBytes;
        if (blocks_[last_].start != start) {
            size_t found = kBlocks;
            for (size_t i = 0; i < kBlocks; ++i)
                if (blocks_[i].start == start)
                    found = i;
            if (found == kBlocks) {
                found = next_;
                next_ = (next_ + 1) % kBlocks;
                Fill(blocks_[found], start);
            }
            last_ = found;
        }
        const Block& block = blocks_[last_];
        const int64_t at = offset - start;
        return at < block.filled ? block.data[static_cast<size_t>(at)] : 0;
    }

private:
    static constexpr int64_t kBlockBytes = 16 * 1024;
    static constexpr size_t kBlocks = 8; // the planes of a layout interleave

    struct Block {
        int64_t start = -1;
        int64_t filled = 0;
        std::vector<uint8_t> data;
    };

    void Fill(Block& block, int64_t start)
    {
        block.data.resize(static_cast<size_t>(kBlockBytes));
        block.start = start;
        block.filled = file_.ReadAt(block.data.data(), kBlockBytes, start);
    }

    lumo::YuvFrameFile file_;
    std::array<Block, kBlocks> blocks_;
    size_t last_ = 0;
    size_t next_ = 0;
};

// The pixel under the centre of sample j of `count` spread evenly over
// `extent` pixels; a centre on a pixel edge takes the pixel before it, as
// Qt's nearest-pixel scaling does.
int SamplePosition(int64_t j, int64_t count, int extent)
{
    return static_cast<int>(((2 * j + 1) * extent + 2 * count - 1) / (2 * count) - 1);
}

} // namespace

QSize ThumbnailSizeForHeight(int frameWidth, int frameHeight, int height, int maxWidth)
{
    if (frameWidth <= 0 || frameHeight <= 0 || height <= 0 || maxWidth <= 0)
        return {};
    const double aspect = static_cast<double>(frameWidth) / frameHeight;
    const double width = std::round(aspect * height);
    if (width <= maxWidth)
        return QSize(std::max(1, static_cast<int>(width)), height);
    return QSize(maxWidth, std::max(1, static_cast<int>(std::lround(maxWidth / aspect))));
}

namespace {

// The bytes of a frame already read, at offsets within the frame.
class StoredFrame {
public:
    StoredFrame(const uint8_t* data, int64_t size) : data_(data), size_(size) {}
    uint8_t At(int64_t offset) { return offset >= 0 && offset < size_ ? data_[offset] : 0; }

private:
    const uint8_t* data_;
    int64_t size_;
};

// The thumbnail of a w x h frame of `type` whose bytes `bytes` gives from
// `base` on.
template <typename Bytes>
QImage Thumbnail(Bytes& file, int64_t base, int w, int h, const std::string& type, QSize size,
                 ThumbnailFilter filter)
{
    // Samples of 16-bit layouts are words, rounded to 8 bits as the reader does.
    const lumo::YuvTypeInfo* found = lumo::YuvTypeTable::Instance().Find(type);
    if (!found)
        return {};
    const lumo::YuvTypeInfo& info = *found;
    auto sampleAt = [&info](Bytes& file, int64_t at) -> int {
        if (info.sampleBytes == 1)
            return file.At(at);
        return lumo::SampleTo8Bits(file.At(at) | (file.At(at + 1) << 8), info.bitDepth, info.bitShift);
    };

    // One cell per thumbnail pixel, but never more cells than frame pixels;
    // each cell averages kx x ky samples.
    const int gw = std::min(size.width(), w);
    const int gh = std::min(size.height(), h);
    const bool smooth = filter == ThumbnailFilter::Smooth;
    const int kx = smooth ? std::clamp(w / gw, 1, 4) : 1;
    const int ky = smooth ? std::clamp(h / gh, 1, 4) : 1;
    const int columns = gw * kx;
    std::vector<int> xs(static_cast<size_t>(columns));
    for (int j = 0; j < columns; ++j)
        xs[static_cast<size_t>(j)] = SamplePosition(j, columns, w);
    std::vector<int64_t> offsets(3 * xs.size());
    std::vector<unsigned> sums(3 * static_cast<size_t>(gw));
    const unsigned samples = static_cast<unsigned>(kx * ky);

    QImage grid(gw, gh, QImage::Format_RGB888);
    if (grid.isNull())
        return {};
    for (int gy = 0; gy < gh; ++gy) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int j = 0; j < ky; ++j) {
            const int y = SamplePosition(static_cast<int64_t>(gy) * ky + j, static_cast<int64_t>(gh) * ky, h);
            if (!lumo::GetRowSampleOffsets(w, h, type, y, xs.data(), columns, offsets.data()))
                return {};
            for (int i = 0; i < columns; ++i) {
                int yuv[3];
                for (int p = 0; p < 3; ++p) {
                    const int64_t at = offsets[static_cast<size_t>(3 * i + p)];
                    yuv[p] = at < 0 ? 128 : sampleAt(file, base + at);
                }
                uint8_t rgb[3];
                lumo::YuvToRgbPixel(yuv[0], yuv[1], yuv[2], rgb);
                unsigned* cell = &sums[3 * static_cast<size_t>(i / kx)];
                for (int c = 0; c < 3; ++c)
                    cell[c] += rgb[c];
            }
        }
        uchar* line = grid.scanLine(gy);
        for (size_t k = 0; k < sums.size(); ++k)
            line[k] = static_cast<uchar>((sums[k] + samples / 2) / samples);
    }
    if (grid.size() == size)
        return grid;
    return grid.scaled(size, Qt::IgnoreAspectRatio, smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
}

} // namespace

QImage MakeFrameThumbnail(const lumo::LumoYuvReader& reader, int frameIndex, QSize size, ThumbnailFilter filter)
{
    const int w = reader.Width();
    const int h = reader.Height();
    const int64_t frameSize = reader.GetFrameSize();
    if (!reader.HasPath() || w <= 0 || h <= 0 || frameSize <= 0 || frameIndex < 0 || size.isEmpty())
        return {};
    SampledFile file(reader);
    // A frame that starts at or past the end of the file has no bytes at all.
    if (!file.ok() || file.size() == 0 || frameIndex > (file.size() - 1) / frameSize)
        return {};
    return Thumbnail(file, static_cast<int64_t>(frameIndex) * frameSize, w, h, reader.Type(), size, filter);
}

QImage MakeFrameThumbnail(lumo::FrameSource& source, int frameIndex, QSize size, ThumbnailFilter filter)
{
    // A raw file is sampled in place: only the thumbnail's pixels are read.
    if (const auto* raw = dynamic_cast<const lumo::RawFrameSource*>(&source))
        return MakeFrameThumbnail(raw->Reader(), frameIndex, size, filter);
    const int w = source.Width();
    const int h = source.Height();
    const int64_t frameSize = source.FrameSize();
    if (w <= 0 || h <= 0 || frameSize <= 0 || frameIndex < 0 || size.isEmpty())
        return {};
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(frameSize)]);
    if (!bytes || !source.ReadFrame(frameIndex, bytes.get()))
        return {};
    StoredFrame frame(bytes.get(), frameSize);
    return Thumbnail(frame, 0, w, h, source.Type(), size, filter);
}
