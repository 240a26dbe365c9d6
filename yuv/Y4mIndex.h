#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumo {

// Longest stream header, and longest FRAME header, read before giving up.
constexpr int64_t kMaxY4mHeaderBytes = 4096;
// Largest W or H of a Y4M header (the same limit as sizes in file names).
constexpr int kMaxY4mDimension = 16384;

// Whether a Y4M file can be read, and if not, why.
enum class Y4mStatus {
    Ok,
    Unterminated,        // the stream header runs to the end of the file
    HeaderTooLong,       // no end of line within kMaxY4mHeaderBytes
    BinaryHeader,        // control bytes in the stream header
    MissingSize,         // W or H absent or 0
    BadSize,             // W or H not a number, or above kMaxY4mDimension
    UnsupportedColour,   // a C tag with no layout here (mono, alpha, 4:1:1, other depths)
    BadFrameHeader,      // something else where a FRAME header belongs
    FrameLargerThanFile, // data follows the header, but not one whole frame
};

// What the headers of a Y4M file say.
struct Y4mInfo {
    Y4mStatus status = Y4mStatus::Ok;
    int width = 0;
    int height = 0;
    std::string type;      // layout name; empty unless the C tag maps to one
    std::string colourTag; // the C tag as written ("420jpeg"), empty when absent
    // Frames per second from the F tag ("F30000:1001"); 0 when the tag is
    // absent or not two positive numbers.
    double frameRate = 0;
    int64_t frameSize = 0;
    // Frames with at least one byte of data; a short last frame counts and
    // reads padded with zeros, as in raw files.
    int frameCount = 0;
    // Bytes of all frames without their headers: (frameCount - 1) whole
    // frames and what there is of the last.
    int64_t dataBytes = 0;
    // BadFrameHeader: the frame whose header is damaged.
    int64_t badFrame = -1;
};

// True when `bytes` start with the Y4M signature "YUV4MPEG2 ".
bool StartsLikeY4m(const uint8_t* bytes, size_t count);
// The layout name for a C tag ("420jpeg" gives "YUV_TYPE_I420"); empty for
// a tag without a layout here.
std::string Y4mColourLayout(const std::string& tag);
// One English line for a status, for command-line messages.
std::string Y4mStatusText(const Y4mInfo& info);

// Where the frames of one version of a Y4M file lie. Built once by walking
// every FRAME header, then shared read-only by every thread that reads the
// file. When every FRAME header has the same length (the usual case) a
// frame's place is computed; otherwise the index keeps the place of every
// step-th frame and walks the few headers in between, with step growing so
// that no index holds more than about a million places.
class Y4mIndex {
public:
    const Y4mInfo& Info() const { return info_; }
    // File position of the first data byte of `frame`, -1 outside the file
    // or when the file changed under us.
    int64_t DataPosition(int fd, int64_t frame) const;

    // The index of the open file `fd` (`st` its fstat), taken from a small
    // process-wide cache keyed by path, inode, size and modification time,
    // or built now. Thread-safe. Null when the file is not a Y4M stream.
    static std::shared_ptr<const Y4mIndex> For(int fd, const std::string& path, const struct stat& st);
    // Builds without the cache (tests, benchmarks).
    static std::shared_ptr<const Y4mIndex> Build(int fd, int64_t fileSize);

    // Memory held, for the cache's bound.
    size_t Bytes() const { return sizeof(*this) + marks_.capacity() * sizeof(int64_t); }

private:
    Y4mInfo info_;
    int64_t fileSize_ = 0;
    int64_t firstData_ = 0;
    int64_t stride_ = 0; // frame header and data, when uniform
    bool uniform_ = true;
    int64_t step_ = 1;
    std::vector<int64_t> marks_; // data position of frames 0, step, 2*step, ...
};

} // namespace lumo
