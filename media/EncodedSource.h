#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "yuv/FrameSource.h"

namespace lumo {

// What `info` tells about an encoded stream beside its geometry.
struct EncodedStreamInfo {
    std::string container;   // FFmpeg's demuxer name ("mov,mp4,m4a,3gp,3g2,mj2")
    std::string codec;       // FFmpeg's codec name ("h264")
    std::string pixelFormat; // the decoder's own format ("yuv420p10le")
    bool fullRange = false;  // full-range YUV (yuvj420p, or flagged so)
    bool converted = false;  // not the decoder's format: converted by swscale or here
    bool lossy = false;      // the conversion loses something (RGB, depth, alpha)
    double fps = 0;
    int64_t streamBytes = 0; // bytes of every packet of the video stream
};

// Frames decoded in place from an encoded file (mp4, mkv, webm, ivf, raw
// H.264/HEVC ...). Frame i is the i-th frame FFmpeg's full decode gives:
// presentation order, edit lists applied, nothing duplicated or dropped.
//
// On first open the video stream's packets are read, not decoded, into an
// index kept per file version (path, inode, size, modification time) for
// every reader of the file. Where the packets' timestamps give the frames
// (a container that stores them, each unique, starting on a keyframe) the
// count is exact at once and a frame is found by seeking to a keyframe at
// or before it; every frame decoded after the seek is checked against the
// index, and any doubt falls back to an earlier keyframe, then the start.
// Otherwise the count comes from one decode in the background and frames
// are read by decoding forward.
//
// A frame of a damaged stream that does not decode reads false and is
// listed by FailedFrames(); where timestamps give the frames it keeps its
// number, so the frames after it keep theirs.
//
// Decoded frames are kept, in the layout, in a cache of at most
// CacheBytes() shared by the clones of a source. Stepping forward decodes
// one frame; stepping back keeps every frame decoded on the way, so a GOP
// is decoded once; a jump keeps only the few frames before its target.
// The readers of a file share one decoder, which uses at most one thread
// per core: a second decoder of a 4K HEVC stream would hold about 190 MB
// more. A reader waits while another decodes; frames in the cache are read
// without waiting.
class EncodedSource : public FrameSource {
public:
    // Default bound of the frame cache of one file.
    static constexpr int64_t kDefaultCacheBytes = int64_t{256} << 20;

    // Null when `path` cannot be decoded; `error` then gets a
    // LumoReader::Result (media/LumoReader.h). The first open of a file
    // version reads all its packets (no decoding); `cancel` stops that.
    static std::unique_ptr<EncodedSource> Open(const std::string& path, int* error = nullptr,
        int64_t cacheBytes = kDefaultCacheBytes, const CancelToken* cancel = nullptr);
    ~EncodedSource() override;

    std::unique_ptr<FrameSource> Clone() const override;
    const std::string& Path() const override;
    int Width() const override;
    int Height() const override;
    const std::string& Type() const override;
    int BitDepth() const override;
    int64_t FrameSize() const override;
    int FrameCount() const override;
    bool CountIsExact() const override;
    int ExactFrameCount(const CancelToken* cancel = nullptr) override;
    double FrameRate() const override;
    bool DecodesInOrder() const override { return true; }
    std::vector<int> UnreadableFrames() const override { return FailedFrames(); }
    bool ReadFrame(int index, uint8_t* dst, const CancelToken* cancel = nullptr) override;

    const EncodedStreamInfo& StreamInfo() const;
    // Video bitrate in kbit/s: stream bytes x 8 / (frames / fps) / 1000;
    // 0 without a frame rate. Uses the exact count (waits for it).
    double BitrateKbps(const CancelToken* cancel = nullptr);
    // Frames found not to decode so far (ReadFrame gave false for them).
    std::vector<int> FailedFrames() const;
    int64_t CacheBytes() const;
    // Bytes of decoded frames held now.
    int64_t CachedBytes() const;
    // Frames this reader has had decoded so far.
    int64_t FramesDecoded() const;

    struct Shared;
    struct Decoder;

private:
    explicit EncodedSource(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    int lastWanted_ = -1; // the frame asked for last
    int64_t decoded_ = 0; // frames decoded for this reader
};

// An encoded file as a frame source; null for a file that is not encoded
// video this reader takes (a Y4M file, a picture, not media at all).
// `error` gets a LumoReader::Result.
std::unique_ptr<FrameSource> OpenEncodedFrameSource(const std::string& path, int* error = nullptr);

// Makes OpenFrameSource (yuv/RawFrameSource.h) read encoded files through
// OpenEncodedFrameSource, whose sources then keep at most `cacheBytes` of
// decoded frames per file (a program reading in order needs few). Programs
// call it at start-up, before other threads.
void InstallEncodedFrameSources(int64_t cacheBytes = EncodedSource::kDefaultCacheBytes);

} // namespace lumo
