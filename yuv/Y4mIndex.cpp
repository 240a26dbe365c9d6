#include "yuv/Y4mIndex.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <mutex>

#include "yuv/ReadFully.h"
#include "yuv/YuvTypeTable.h"

namespace lumo {
namespace {

constexpr char kSignature[] = "YUV4MPEG2 ";
constexpr size_t kSignatureBytes = sizeof(kSignature) - 1;
constexpr size_t kMaxMarks = size_t{1} << 20;

// Reads a file forward through one buffer: small frames share a read, large
// ones cost one short read per header.
class Scanner {
public:
    Scanner(int fd, int64_t fileSize, size_t chunk) : fd_(fd), fileSize_(fileSize), chunk_(chunk) {}

    // Bytes from `pos` on, at least `want` of them unless the file ends
    // first; `avail` receives how many there are.
    const uint8_t* At(int64_t pos, size_t want, size_t* avail)
    {
        const int64_t end = start_ + static_cast<int64_t>(length_);
        const bool inside = pos >= start_ && pos <= end && (pos + static_cast<int64_t>(want) <= end || end >= fileSize_);
        if (!inside) {
            const size_t bytes = std::max(want, chunk_);
            buffer_.resize(bytes);
            start_ = pos;
            length_ = static_cast<size_t>(ReadFully(fd_, buffer_.data(), static_cast<int64_t>(bytes), pos));
        }
        const size_t offset = static_cast<size_t>(pos - start_);
        *avail = length_ > offset ? length_ - offset : 0;
        return buffer_.data() + offset;
    }
    bool ReachesEnd(int64_t pos, size_t avail) const { return pos + static_cast<int64_t>(avail) >= fileSize_; }

private:
    int fd_;
    int64_t fileSize_;
    size_t chunk_;
    std::vector<uint8_t> buffer_;
    int64_t start_ = 0;
    size_t length_ = 0;
};

enum class FrameHeader { Ok, NeedMore, Bad, CutShort };

// "FRAME", then either the end of line or parameters up to it.
FrameHeader ParseFrameHeader(const uint8_t* p, size_t avail, bool reachesEnd, size_t* length)
{
    static const char kFrame[] = "FRAME";
    const size_t compare = std::min<size_t>(avail, 5);
    if (std::memcmp(p, kFrame, compare) != 0)
        return FrameHeader::Bad;
    if (avail < 6)
        return reachesEnd ? FrameHeader::CutShort : FrameHeader::NeedMore;
    if (p[5] != '\n' && p[5] != ' ')
        return FrameHeader::Bad;
    const size_t limit = std::min<size_t>(avail, static_cast<size_t>(kMaxY4mHeaderBytes));
    const void* newline = std::memchr(p + 5, '\n', limit - 5);
    if (newline) {
        *length = static_cast<size_t>(static_cast<const uint8_t*>(newline) - p) + 1;
        return FrameHeader::Ok;
    }
    if (avail >= static_cast<size_t>(kMaxY4mHeaderBytes))
        return FrameHeader::Bad;
    return reachesEnd ? FrameHeader::CutShort : FrameHeader::NeedMore;
}

FrameHeader ReadFrameHeader(Scanner& scanner, int64_t pos, size_t* length)
{
    size_t avail = 0;
    const uint8_t* p = scanner.At(pos, 64, &avail);
    FrameHeader result = ParseFrameHeader(p, avail, scanner.ReachesEnd(pos, avail), length);
    if (result == FrameHeader::NeedMore) {
        p = scanner.At(pos, static_cast<size_t>(kMaxY4mHeaderBytes), &avail);
        result = ParseFrameHeader(p, avail, scanner.ReachesEnd(pos, avail), length);
    }
    return result == FrameHeader::NeedMore ? FrameHeader::Bad : result;
}

// 0 for "0", -1 for anything that is not 1 to 8 digits.
int ParseDimension(const std::string& text)
{
    if (text.empty() || text.size() > 8)
        return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "N:D" with both positive; 0 for anything else. A bad rate is no reason to
// refuse the file, it only goes unused.
double ParseFrameRate(const std::string& text)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return 0;
    const int num = ParseDimension(text.substr(0, colon));
    const int den = ParseDimension(text.substr(colon + 1));
    return num > 0 && den > 0 ? static_cast<double>(num) / den : 0;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Parses the stream header of [p, p + avail); returns the header's length
// (end of line included), 0 after setting an error status.
size_t ParseStreamHeader(const uint8_t* p, size_t avail, bool reachesEnd, Y4mInfo& info)
{
    const size_t limit = std::min<size_t>(avail, static_cast<size_t>(kMaxY4mHeaderBytes));
    const void* found = std::memchr(p, '\n', limit);
    if (!found) {
        info.status = reachesEnd && avail < static_cast<size_t>(kMaxY4mHeaderBytes) ? Y4mStatus::Unterminated
                                                                                    : Y4mStatus::HeaderTooLong;
        return 0;
    }
    const size_t newline = static_cast<size_t>(static_cast<const uint8_t*>(found) - p);
    for (size_t i = kSignatureBytes; i < newline; ++i) {
        if (p[i] < 0x20 || p[i] == 0x7f) {
            info.status = Y4mStatus::BinaryHeader;
            return 0;
        }
    }
    const std::string text(reinterpret_cast<const char*>(p) + kSignatureBytes, newline - kSignatureBytes);
    int width = -2;
    int height = -2;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find(' ', begin);
        if (end == std::string::npos)
            end = text.size();
        if (end > begin) {
            const std::string value = text.substr(begin + 1, end - begin - 1);
            switch (text[begin]) {
            case 'W': width = ParseDimension(value); break;
            case 'H': height = ParseDimension(value); break;
            case 'C': info.colourTag = value; break;
            case 'F': info.frameRate = ParseFrameRate(value); break;
            default: break; // interlacing, aspect, comments
            }
        }
        begin = end + 1;
    }
    if (width == -1 || height == -1 || width > kMaxY4mDimension || height > kMaxY4mDimension) {
        info.status = Y4mStatus::BadSize;
        return 0;
    }
    if (width <= 0 || height <= 0) {
        info.status = Y4mStatus::MissingSize;
        return 0;
    }
    info.width = width;
    info.height = height;
    info.type = info.colourTag.empty() ? "YUV_TYPE_I420" : Y4mColourLayout(info.colourTag);
    if (info.type.empty()) {
        info.status = Y4mStatus::UnsupportedColour;
        return 0;
    }
    info.frameSize = GetFrameSize(width, height, info.type);
    return newline + 1;
}

// The process-wide cache of indexes, most recently used first.
struct CacheKey {
    std::string path;
    dev_t device;
    ino_t inode;
    off_t size;
    int64_t modifiedNs;
    bool operator==(const CacheKey& o) const
    {
        return device == o.device && inode == o.inode && size == o.size && modifiedNs == o.modifiedNs &&
               path == o.path;
    }
};

class IndexCache {
public:
    std::shared_ptr<const Y4mIndex> Find(const CacheKey& key)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->first == key) {
                entries_.splice(entries_.begin(), entries_, it);
                return entries_.front().second;
            }
        }
        return nullptr;
    }

    // Keeps `index` unless another thread got there first; returns the kept one.
    std::shared_ptr<const Y4mIndex> Insert(const CacheKey& key, std::shared_ptr<const Y4mIndex> index)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : entries_)
            if (entry.first == key)
                return entry.second;
        entries_.emplace_front(key, index);
        size_t bytes = 0;
        for (const auto& entry : entries_)
            bytes += entry.second->Bytes();
        while (entries_.size() > 1 && (entries_.size() > kMaxEntries || bytes > kMaxBytes)) {
            bytes -= entries_.back().second->Bytes();
            entries_.pop_back();
        }
        return index;
    }

private:
    static constexpr size_t kMaxEntries = 32;
    static constexpr size_t kMaxBytes = size_t{32} << 20;
    std::mutex mutex_;
    std::list<std::pair<CacheKey, std::shared_ptr<const Y4mIndex>>> entries_;
};

IndexCache& Cache()
{
    static IndexCache cache;
    return cache;
}

} // namespace

bool StartsLikeY4m(const uint8_t* bytes, size_t count)
{
    return count >= kSignatureBytes && std::memcmp(bytes, kSignature, kSignatureBytes) == 0;
}

std::string Y4mColourLayout(const std::string& tag)
{
    static const struct {
        const char* tag;
        const char* type;
    } kColours[] = {
        {"420", "YUV_TYPE_I420"},     {"420jpeg", "YUV_TYPE_I420"},  {"420paldv", "YUV_TYPE_I420"},
        {"420mpeg2", "YUV_TYPE_I420"}, {"422", "YUV_TYPE_I422"},     {"444", "YUV_TYPE_I444"},
        {"420p10", "YUV_TYPE_I010"},  {"422p10", "YUV_TYPE_I210"},   {"444p10", "YUV_TYPE_I410"},
        {"420p12", "YUV_TYPE_I012"},  {"420p16", "YUV_TYPE_I016"},
    };
    const std::string lower = Lower(tag);
    for (const auto& colour : kColours)
        if (lower == colour.tag && YuvTypeTable::Instance().Find(colour.type))
            return colour.type;
    return std::string();
}

std::string Y4mStatusText(const Y4mInfo& info)
{
    switch (info.status) {
    case Y4mStatus::Ok: return "a sound Y4M file";
    case Y4mStatus::Unterminated: return "the Y4M header has no end of line";
    case Y4mStatus::HeaderTooLong:
        return "the Y4M header is longer than " + std::to_string(kMaxY4mHeaderBytes) + " bytes";
    case Y4mStatus::BinaryHeader: return "the Y4M header holds binary bytes";
    case Y4mStatus::MissingSize: return "the Y4M header gives no width or height (W and H must be at least 1)";
    case Y4mStatus::BadSize:
        return "the Y4M header gives a width or height that is not a number from 1 to " +
               std::to_string(kMaxY4mDimension);
    case Y4mStatus::UnsupportedColour:
        return "the Y4M colour format C" + info.colourTag +
               " is not supported (4:2:0, 4:2:2 and 4:4:4 at 8 bits, 420p10, 422p10, 444p10, 420p12 and 420p16 are)";
    case Y4mStatus::BadFrameHeader:
        return "the FRAME header of frame " + std::to_string(info.badFrame) + " is damaged";
    case Y4mStatus::FrameLargerThanFile:
        return "the Y4M header's frame of " + std::to_string(info.frameSize) +
               " bytes is larger than the data in the file";
    }
    return "unreadable Y4M file";
}

int64_t Y4mIndex::DataPosition(int fd, int64_t frame) const
{
    if (frame < 0 || frame >= info_.frameCount)
        return -1;
    if (uniform_)
        return firstData_ + frame * stride_;
    int64_t data = marks_[static_cast<size_t>(frame / step_)];
    Scanner scanner(fd, fileSize_, 256);
    for (int64_t i = frame % step_; i > 0; --i) {
        size_t length = 0;
        const int64_t header = data + info_.frameSize;
        if (ReadFrameHeader(scanner, header, &length) != FrameHeader::Ok)
            return -1;
        data = header + static_cast<int64_t>(length);
    }
    return data;
}

std::shared_ptr<const Y4mIndex> Y4mIndex::Build(int fd, int64_t fileSize)
{
    auto index = std::make_shared<Y4mIndex>();
    Y4mInfo& info = index->info_;
    index->fileSize_ = fileSize;

    Scanner header(fd, fileSize, static_cast<size_t>(kMaxY4mHeaderBytes));
    size_t avail = 0;
    const uint8_t* p = header.At(0, static_cast<size_t>(kMaxY4mHeaderBytes), &avail);
    if (!StartsLikeY4m(p, avail))
        return nullptr;
    const size_t headerBytes = ParseStreamHeader(p, avail, header.ReachesEnd(0, avail), info);
    if (headerBytes == 0)
        return index;

    // Small frames: many headers per read. Large ones: a short read each.
    const int64_t frameSize = info.frameSize;
    Scanner scanner(fd, fileSize, frameSize < (64 << 10) ? size_t{256} << 10 : 512);
    const int64_t start = static_cast<int64_t>(headerBytes);
    int64_t pos = start;
    size_t firstLength = 0;
    while (pos < fileSize && info.frameCount < INT32_MAX) {
        size_t length = 0;
        const FrameHeader parsed = ReadFrameHeader(scanner, pos, &length);
        if (parsed == FrameHeader::Bad) {
            info.status = Y4mStatus::BadFrameHeader;
            info.badFrame = info.frameCount;
            return index;
        }
        const int64_t data = pos + static_cast<int64_t>(length);
        if (parsed == FrameHeader::CutShort || data >= fileSize)
            break; // the file ends inside or right after a FRAME header
        if (firstLength == 0)
            firstLength = length;
        else if (length != firstLength)
            index->uniform_ = false;
        if (info.frameCount % index->step_ == 0) {
            index->marks_.push_back(data);
            if (index->marks_.size() >= kMaxMarks) {
                // Keep every other place and double the step.
                for (size_t i = 0; 2 * i < index->marks_.size(); ++i)
                    index->marks_[i] = index->marks_[2 * i];
                index->marks_.resize((index->marks_.size() + 1) / 2);
                index->step_ *= 2;
            }
        }
        ++info.frameCount;
        info.dataBytes += std::min(frameSize, fileSize - data);
        pos = data + frameSize;
    }
    // A header that claims more than the file holds (not even one whole
    // frame) is a damaged file, not a short last frame.
    if (info.frameCount == 0 || info.dataBytes < frameSize) {
        if (fileSize > start)
            info.status = Y4mStatus::FrameLargerThanFile;
        if (info.frameCount == 0)
            return index;
    }
    index->firstData_ = index->marks_.front();
    index->stride_ = static_cast<int64_t>(firstLength) + frameSize;
    if (index->uniform_)
        std::vector<int64_t>().swap(index->marks_);
    else
        index->marks_.shrink_to_fit();
    return index;
}

std::shared_ptr<const Y4mIndex> Y4mIndex::For(int fd, const std::string& path, const struct stat& st)
{
    const CacheKey key{path, st.st_dev, st.st_ino, st.st_size,
                       static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    if (std::shared_ptr<const Y4mIndex> cached = Cache().Find(key))
        return cached;
    std::shared_ptr<const Y4mIndex> built = Build(fd, static_cast<int64_t>(st.st_size));
    if (!built)
        return nullptr;
    return Cache().Insert(key, std::move(built));
}

} // namespace lumo
