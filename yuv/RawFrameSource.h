#pragma once

#include <memory>
#include <string>

#include "yuv/FrameSource.h"
#include "yuv/LumoYuvReader.h"

namespace lumo {

// A raw YUV file, or a Y4M file read in place, as a FrameSource. The reader
// is the description (path, size, layout); every read opens and closes the
// file, so clones share nothing but the Y4M index.
class RawFrameSource : public FrameSource {
public:
    explicit RawFrameSource(const LumoYuvReader& reader);
    RawFrameSource(const std::string& path, int width, int height, const std::string& type);

    std::unique_ptr<FrameSource> Clone() const override;
    const std::string& Path() const override { return reader_.Path(); }
    int Width() const override { return reader_.Width(); }
    int Height() const override { return reader_.Height(); }
    const std::string& Type() const override { return reader_.Type(); }
    int BitDepth() const override { return reader_.BitDepth(); }
    int64_t FrameSize() const override { return frameSize_; }
    int FrameCount() const override { return reader_.GetFrameCount(); }
    // A Y4M header's F tag; 0 for a raw file (a rate in its name is a
    // guess, not something the file states).
    double FrameRate() const override;
    bool ReadFrame(int index, uint8_t* dst, const CancelToken* cancel = nullptr) override;
    // Read and converted band by band, so the stored bytes stay in the cache.
    bool ReadPlanes(int index, uint8_t* dst, const CancelToken* cancel = nullptr) override;
    bool ReadPlanes(int index, uint16_t* dst, const CancelToken* cancel = nullptr) override;
    bool ReadFrameAndPlanes(int index, uint8_t* stored, uint8_t* planes,
                            const CancelToken* cancel = nullptr) override;

    const LumoYuvReader& Reader() const { return reader_; }

private:
    LumoYuvReader reader_;
    int64_t frameSize_ = -1;
};

// The frame source a reader describes: an encoded file (NamesEncodedVideo)
// through the opener installed for encoded files, anything else as raw or
// Y4M. An encoded file that cannot be decoded, or that no opener reads,
// gives a source of no frames (FrameCount() -1). Every reader of frames
// opens its source here, so an encoded file needs no case of its own.
std::unique_ptr<FrameSource> OpenFrameSource(const LumoYuvReader& reader);

// Opens an encoded file as a frame source; null when it cannot be decoded
// (`error` then gets the decoder's reason). yuv/ decodes nothing itself: a
// program that links a decoder installs one at start-up, before any other
// thread runs (media/EncodedSource.h, InstallEncodedFrameSources).
using EncodedOpener = std::unique_ptr<FrameSource> (*)(const std::string& path, int* error);
void SetEncodedOpener(EncodedOpener opener);
// Whether an opener is installed.
bool CanOpenEncoded();
// The opener's source for `path`; null without an opener or when it fails.
std::unique_ptr<FrameSource> OpenEncodedSource(const std::string& path, int* error = nullptr);

// Encoded sources lent to short-lived readers (YuvFrameFile, and through it
// LumoYuvReader) and kept idle between reads, so that reading frame after
// frame through new objects keeps one decoder going: a step forward decodes
// one frame. Null when no opener reads `path`. Each borrowed source is used
// by one thread; give it back when done. At most kIdleEncodedSources stay
// idle, the most recently returned; their files' frame caches stay with them.
constexpr size_t kIdleEncodedSources = 6;
std::unique_ptr<FrameSource> BorrowEncodedSource(const std::string& path, int* error = nullptr);
void ReturnEncodedSource(std::unique_ptr<FrameSource> source);
// Frames of the encoded file at `path` found not to decode so far, by any
// of its readers; empty when nothing reads it.
std::vector<int> UnreadableEncodedFrames(const std::string& path);
// False while the frame count of the encoded file at `path` is still being
// counted in the background; true for any other file.
bool EncodedCountIsExact(const std::string& path);
// Drops every idle source, and with the last reader of a file its decoded
// frames (when a window showing encoded files closes).
void ReleaseIdleEncodedSources();

// Whether the name of `path` ends in an extension of encoded video (.mp4,
// .mkv, .webm, .ivf, .265 ...), case-insensitive. Such a file is read
// decoded, never as raw samples.
bool NamesEncodedVideo(const std::string& path);

} // namespace lumo
