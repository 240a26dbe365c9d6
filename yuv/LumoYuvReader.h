#pragma once

#include <cstdint>
#include <string>

namespace lumo {

// Describes one headerless raw YUV file and takes frames out of it. Holds no
// open file: every operation opens, reads and closes, so copies are cheap
// and each thread can use its own.
//
// A Y4M file (one that starts with "YUV4MPEG2 ") is read in place, provided
// its header gives the reader's width, height and layout. Offsets stay
// frame index * GetFrameSize(): they count frame data only and are mapped
// past the stream header and each FRAME header through an index of the
// file, built once per file version and shared by all copies (Y4mIndex).
//
// Buffers: operations that produce frame data fill `dst` when it is given
// (it must be large enough) and otherwise allocate with new[]; the caller
// owns the result and releases it with delete[].
class LumoYuvReader {
public:
    LumoYuvReader();
    LumoYuvReader(const std::string& path, int width, int height, const std::string& type);
    LumoYuvReader(const LumoYuvReader&) = default;
    LumoYuvReader& operator=(const LumoYuvReader&) = default;
    ~LumoYuvReader() = default;

    const std::string& Path() const { return path_; }
    bool HasPath() const { return hasPath_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::string& Type() const { return type_; }

    // Bytes per frame of the layout, -1 for an unknown layout.
    int64_t GetFrameSize() const;
    // Significant bits per sample of the layout (8 for an unknown layout).
    int BitDepth() const;
    // Frames in the file, a short last frame included; -1 when the file
    // cannot be opened (or is not a regular file, or is a Y4M file that is
    // damaged or of another geometry) or the frame size is not above 0.
    int GetFrameCount() const;
    // Bytes of frame data: the file's size for a raw file, the frames
    // without their headers for Y4M; -1 when it cannot be opened.
    int64_t GetDataSize() const;

    // The frame at byte `offset` as stored; bytes past the end of the file
    // read as 0. `outBytes` receives the number of bytes actually read.
    uint8_t* ReadFrameRaw(uint8_t* dst, int64_t* outBytes, int64_t offset) const;
    // The frame as planar 4:4:4 (Y, U, V planes of width*height bytes),
    // deeper samples rounded to 8 bits. `outBytes` receives 3*width*height
    // on success, 0 on failure.
    uint8_t* ReadFrameYUV444(uint8_t* dst, int64_t* outBytes, int64_t offset) const;
    // ReadFrameYUV444 that keeps the frame's bytes as stored too, from one
    // read: `raw` receives GetFrameSize() bytes (0 past the end of the
    // file), `dst` the planes ReadFrameYUV444 gives. Both buffers are the
    // caller's and required; a frame that cannot be read leaves both as
    // they were and returns nullptr (`outBytes` 0).
    uint8_t* ReadFrameYUV444AndRaw(uint8_t* dst, uint8_t* raw, int64_t* outBytes, int64_t offset) const;
    // The frame as planar 4:4:4 at the layout's own depth: Y, U, V planes of
    // width*height 16-bit samples, bits above the depth dropped (8-bit
    // layouts give their bytes as they are). `outBytes` receives
    // 6*width*height on success, 0 on failure.
    uint16_t* ReadFrameYUV444Native(uint16_t* dst, int64_t* outBytes, int64_t offset) const;
    // The frame as packed R, G, B bytes, rows without padding.
    uint8_t* ReadFrameRGB24(uint8_t* dst, int64_t* outBytes, int64_t offset) const;

    // The metric functions of iqa/ReaderMetrics.h under the reader's names,
    // defined there (link lumo_iqa to call them); new code calls the free
    // functions.
    // Per-plane MSE and PSNR of two I420 frames; fills both arrays (Y, U, V)
    // and returns `psnr`. Uses none of the reader's fields.
    double* ComputePsnrMse(double* psnr, const uint8_t* ref, const uint8_t* cmp, int width, int height,
                           double* mse) const;
    // Gaussian SSIM of the red planes of two I420 frames for a metric colour
    // range code (0 BT.601 video, 1 BT.601 full, 2 BT.709 video).
    double ComputeSsimGray(const uint8_t* ref, const uint8_t* cmp, int width, int height, int metricRange) const;

private:
    std::string path_;
    bool hasPath_ = false;
    int width_ = 0;
    int height_ = 0;
    std::string type_ = "YUV_TYPE_I420";
};

// Planar 4:4:4 to a newly allocated I420 frame (delete[]) of
// GetFrameSize(w, h, "YUV_TYPE_I420") bytes. The chroma planes hold
// ceil(w/2) x ceil(h/2) samples each, the top-left sample of every 2x2
// block (blocks cut by an odd edge included): U at n, V at n + cw*ch
// (n = w*h). Returns nullptr for a non-positive size or when memory runs out.
uint8_t* Yuv444ToI420(const uint8_t* yuv444, int width, int height);
// The same for native-depth planes; delete[] the result.
uint16_t* Yuv444ToI420(const uint16_t* yuv444, int width, int height);

} // namespace lumo
