#include "yuv/FramePlaneCache.h"

#include <sys/stat.h>

#include <cstdint>
#include <new>
#include <utility>

#include "yuv/LumoYuvReader.h"
#include "yuv/RawFrameSource.h"

namespace lumo {

FramePlaneCache::FramePlaneCache(std::string path, int width, int height, std::string type, int depth)
    : path_(std::move(path)), width_(width), height_(height), type_(std::move(type)), depth_(depth)
{
}

FramePlaneCache::Key FramePlaneCache::KeyFor(int64_t offset) const
{
    Key key;
    struct stat st {};
    if (!path_.empty() && ::stat(path_.c_str(), &st) == 0) {
        key.valid = true;
        key.offset = offset;
        key.fileSize = static_cast<int64_t>(st.st_size);
        key.mtimeSec = static_cast<int64_t>(st.st_mtim.tv_sec);
        key.mtimeNsec = static_cast<int64_t>(st.st_mtim.tv_nsec);
    }
    return key;
}

void FramePlaneCache::Expect(int64_t offset)
{
    expecting_ = true;
    expectedOffset_ = offset;
}

bool FramePlaneCache::Adopt(int64_t offset, int64_t current, Planes planes, Planes stored)
{
    if (!expecting_ || offset != expectedOffset_)
        return false;
    expecting_ = false;
    if (offset != current || !planes)
        return false;
    const Key key = KeyFor(offset);
    if (!key.valid)
        return false;
    // Read-only from here on: others may still read it, so a read of the
    // cache's own never refills it.
    planes_ = std::const_pointer_cast<uint8_t>(planes);
    stored_ = depth_ > 8 ? std::const_pointer_cast<uint8_t>(stored) : nullptr;
    ownBuffers_ = false;
    key_ = key;
    attemptedKey_ = key;
    ++serial_;
    return true;
}

bool FramePlaneCache::CancelExpected()
{
    if (!expecting_)
        return false;
    expecting_ = false;
    return true;
}

void FramePlaneCache::Refresh(int64_t offset)
{
    // Re-read only when the frame or the file changed: a pan or zoom must
    // not read the frame from disk again.
    if (Expecting(offset))
        return;
    const Key key = KeyFor(offset);
    if (!key.valid || key == attemptedKey_)
        return;
    attemptedKey_ = key;

    // Own buffers are never handed to another thread, so they are filled
    // again; adopted ones are left to whoever else holds them.
    auto reusable = [this](const std::shared_ptr<uint8_t>& held, int64_t bytes) {
        if (held && ownBuffers_)
            return held;
        if (bytes <= 0)
            return std::shared_ptr<uint8_t>();
        return std::shared_ptr<uint8_t>(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)],
                                        std::default_delete<uint8_t[]>());
    };
    // One source for the cache's life, opened again when the file changed:
    // a decoder keeps its place between steps.
    if (!source_ || sourceFileSize_ != key.fileSize || sourceMtimeSec_ != key.mtimeSec ||
        sourceMtimeNsec_ != key.mtimeNsec) {
        source_ = OpenFrameSource(LumoYuvReader(path_, width_, height_, type_));
        sourceFileSize_ = key.fileSize;
        sourceMtimeSec_ = key.mtimeSec;
        sourceMtimeNsec_ = key.mtimeNsec;
    }
    FrameSource* source = source_.get();
    const int64_t frameSize = source->FrameSize();
    if (frameSize <= 0 || offset < 0 || offset % frameSize != 0 || offset / frameSize > INT32_MAX)
        return;
    const int index = static_cast<int>(offset / frameSize);
    std::shared_ptr<uint8_t> target = reusable(planes_, static_cast<int64_t>(width_) * height_ * 3);
    std::shared_ptr<uint8_t> stored = depth_ > 8 ? reusable(stored_, frameSize) : nullptr;
    if (!target || (depth_ > 8 && !stored))
        return;
    // A failed read leaves the destinations untouched. Deeper layouts keep
    // the frame as stored for the inspector, from the same read.
    const bool read = stored ? source->ReadFrameAndPlanes(index, stored.get(), target.get())
                             : source->ReadPlanes(index, target.get());
    if (read) {
        planes_ = std::move(target);
        stored_ = std::move(stored);
        ownBuffers_ = true;
        key_ = key;
        ++serial_;
    }
}

} // namespace lumo
