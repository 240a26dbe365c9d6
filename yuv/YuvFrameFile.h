#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <vector>

#include "yuv/FrameSource.h"
#include "yuv/Y4mIndex.h"

namespace lumo {

// An open raw or Y4M file seen as its frame data. A raw file is that data
// as it stands. A Y4M file is the bytes of its frames back to back, its
// stream header and FRAME headers left out. Either way frame i starts at
// i * frame size, so every caller addresses both kinds alike. An encoded
// video file (NamesEncodedVideo, yuv/RawFrameSource.h) is its decoded
// frames back to back, read through a source borrowed from the pool of
// encoded sources; a frame that does not decode ends the data read.
class YuvFrameFile {
public:
    // Opens `path` without blocking (a FIFO is refused at once, not waited
    // on) and accepts only a regular file. A Y4M file is accepted only when
    // its headers are sound and give this width, height and layout.
    YuvFrameFile(const std::string& path, int width, int height, const std::string& type);
    ~YuvFrameFile();
    YuvFrameFile(const YuvFrameFile&) = delete;
    YuvFrameFile& operator=(const YuvFrameFile&) = delete;

    bool ok() const { return fd_ >= 0 || encoded_ != nullptr; }
    bool IsY4m() const { return index_ != nullptr; }
    // Bytes of frame data.
    int64_t size() const { return size_; }
    // Reads up to `count` bytes of frame data from `offset` on; returns how
    // many were read (fewer at the end of the data).
    int64_t ReadAt(uint8_t* dst, int64_t count, int64_t offset) const;

    // What the headers of `path` say when it is a Y4M file: false for any
    // other file, true with `info` filled (its status tells whether the
    // file can be read) for a Y4M file.
    static bool ProbeY4m(const std::string& path, Y4mInfo* info);

private:
    int64_t ReadDecoded(uint8_t* dst, int64_t count, int64_t offset) const;

    int fd_ = -1;
    int64_t size_ = 0;
    std::shared_ptr<const Y4mIndex> index_;
    // An encoded file: its source, and the last frame decoded from it.
    std::unique_ptr<FrameSource> encoded_;
    mutable std::vector<uint8_t> frame_;
    mutable int64_t frameIndex_ = -1;
};

} // namespace lumo
