#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "yuv/FrameSource.h"

namespace lumo {

// The planes of one frame of a file, read through its frame source and held
// in memory: full-size Y, U, V of width x height bytes each and, for layouts
// deeper than 8 bits, the frame's bytes as stored. They are read again only when the frame or the
// file's size or modification time changed. Planes read elsewhere can be
// adopted instead; adopted buffers are only read, never refilled, and the
// cache's own buffers are never handed out for keeping.
class FramePlaneCache {
public:
    using Planes = std::shared_ptr<const uint8_t>;

    // An empty path holds nothing and reads nothing.
    FramePlaneCache(std::string path, int width, int height, std::string type, int depth);

    // The planes of the frame at `offset` are being read elsewhere and will
    // come through Adopt: until then Refresh at that offset keeps the frame
    // held instead of reading the file itself.
    void Expect(int64_t offset);
    bool Expecting(int64_t offset) const { return expecting_ && expectedOffset_ == offset; }
    // Takes planes read elsewhere for `offset` when they were expected and
    // `offset` is still `current`; true when taken. `stored` is used for
    // layouts deeper than 8 bits only.
    bool Adopt(int64_t offset, int64_t current, Planes planes, Planes stored);
    // The awaited planes will not come; true when some were awaited.
    bool CancelExpected();

    // Reads the frame at `offset` when needed. A failed read keeps what is
    // held.
    void Refresh(int64_t offset);

    // What is held, null before any frame.
    const uint8_t* Yuv444() const { return key_.valid ? planes_.get() : nullptr; }
    const uint8_t* Stored() const { return key_.valid ? stored_.get() : nullptr; }
    // Offset of the frame held, -1 before any.
    int64_t Offset() const { return key_.valid ? key_.offset : -1; }
    bool Holds() const { return key_.valid && planes_; }
    // Grows with every change of what is held.
    uint64_t Serial() const { return serial_; }

private:
    // What identifies the planes held: the frame and the file's state when
    // they were read.
    struct Key {
        bool valid = false;
        int64_t offset = 0;
        int64_t fileSize = 0;
        int64_t mtimeSec = 0;
        int64_t mtimeNsec = 0;
        bool operator==(const Key& o) const
        {
            return valid == o.valid && offset == o.offset && fileSize == o.fileSize && mtimeSec == o.mtimeSec &&
                   mtimeNsec == o.mtimeNsec;
        }
    };
    Key KeyFor(int64_t offset) const;

    std::string path_;
    int width_;
    int height_;
    std::string type_;
    int depth_;
    std::shared_ptr<uint8_t> planes_;
    // Layouts deeper than 8 bits only: the same frame's bytes as stored,
    // read and released with planes_.
    std::shared_ptr<uint8_t> stored_;
    // planes_ and stored_ were read here, not adopted.
    bool ownBuffers_ = false;
    Key key_;          // what planes_ (and stored_) hold
    Key attemptedKey_; // last read tried, failed or not
    bool expecting_ = false;
    int64_t expectedOffset_ = 0;
    uint64_t serial_ = 0;
    // What frames are read through, and the file's state when it was opened.
    std::unique_ptr<FrameSource> source_;
    int64_t sourceFileSize_ = -1;
    int64_t sourceMtimeSec_ = 0;
    int64_t sourceMtimeNsec_ = 0;
};

} // namespace lumo
