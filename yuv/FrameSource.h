#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "yuv/Cancel.h"

namespace lumo {

// A sequence of frames in one of the layouts of the layout table, whatever
// stores them: a raw file, a Y4M file, or an encoded stream decoded in
// place. Everything that reads frames goes through this interface.
//
// Threads: one object is used by one thread at a time. Clone() gives an
// independent object for another thread; clones share what is immutable
// (indexes, caches that lock), so cloning is cheap.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    virtual std::unique_ptr<FrameSource> Clone() const = 0;

    // What the source is read from, as the user named it.
    virtual const std::string& Path() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Layout name from the layout table ("YUV_TYPE_I420").
    virtual const std::string& Type() const = 0;
    // Significant bits per sample.
    virtual int BitDepth() const = 0;
    // Bytes of one frame in the layout; -1 for an unknown layout.
    virtual int64_t FrameSize() const = 0;

    // Frames known so far; -1 when the source cannot be read at all. A
    // source whose exact count needs a full pass may give a lower bound
    // until CountIsExact() turns true.
    virtual int FrameCount() const = 0;
    virtual bool CountIsExact() const { return true; }
    // Blocks until the count is exact (or `cancel` fires) and returns it.
    virtual int ExactFrameCount(const CancelToken* cancel = nullptr) { (void)cancel; return FrameCount(); }

    // Frames per second the source states; 0 when it states none.
    virtual double FrameRate() const { return 0; }

    // Whether a frame costs the frames before it (a decoder): such a source
    // is best read in order by one reader, which may use threads of its own
    // (one per core at most), rather than by clones each skipping ahead.
    virtual bool DecodesInOrder() const { return false; }

    // Frames found so far that cannot be read (a damaged stream's frames
    // that do not decode), in order; empty for a file read as stored.
    virtual std::vector<int> UnreadableFrames() const { return {}; }

    // Frame `index` as stored in the layout: FrameSize() bytes into `dst`
    // (bytes past the end of a short last frame read as 0). False when the
    // frame cannot be read or `cancel` fired; `dst` is then unspecified.
    virtual bool ReadFrame(int index, uint8_t* dst, const CancelToken* cancel = nullptr) = 0;

    // Frame `index` as full-size planar 4:4:4 (Y, U, V planes of Width() x
    // Height() samples): bytes, deeper samples rounded to 8 bits, or 16-bit
    // samples at the layout's own depth. The default reads the frame and
    // converts its bytes (yuv/YuvConvert) on the calling thread; a source
    // may do both in one pass. False as ReadFrame.
    virtual bool ReadPlanes(int index, uint8_t* dst, const CancelToken* cancel = nullptr);
    virtual bool ReadPlanes(int index, uint16_t* dst, const CancelToken* cancel = nullptr);
    // Frame `index` as stored into `stored` (FrameSize() bytes) and as 8-bit
    // full-size planes into `planes`, from one read. On failure both are
    // left as they were.
    virtual bool ReadFrameAndPlanes(int index, uint8_t* stored, uint8_t* planes,
                                    const CancelToken* cancel = nullptr);
};

} // namespace lumo
