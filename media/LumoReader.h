#pragma once
#include <string>

namespace Lumer {
// Layout codes of the raw YUV that LumoReader writes.
enum LumerAVPixelFormat {
    LUMER_PIX_FMT_YUV420P = 101, // planar 4:2:0 (I420)
    LUMER_PIX_FMT_NV12 = 102,
    LUMER_PIX_FMT_NV21 = 103,
    LUMER_PIX_FMT_YUV422P = 104,
    LUMER_PIX_FMT_YUYV422 = 105,
    LUMER_PIX_FMT_YUV444P = 106,
    // 16-bit little-endian samples.
    LUMER_PIX_FMT_YUV420P10LE = 107, // I010
    LUMER_PIX_FMT_YUV422P10LE = 108, // I210
    LUMER_PIX_FMT_YUV444P10LE = 109, // I410
    LUMER_PIX_FMT_YUV420P12LE = 110, // I012
    LUMER_PIX_FMT_YUV420P16LE = 111, // I016
    LUMER_PIX_FMT_P010LE = 112,
    LUMER_PIX_FMT_P016LE = 113,
};
}

namespace lumo {

// Converts the first video stream of a media file (video or still image)
// into a headerless raw YUV file. Each call has its own FFmpeg contexts, so
// any number of conversions may run at once on different threads.
class LumoReader {
public:
    // Return values of Read2File.
    enum Result {
        kOk = 0,
        kErrorOpen = -1,      // not a media file FFmpeg can open, or a missing file
        kErrorNoVideo = -2,   // no video stream, or no decoder for it
        kErrorDecode = -3,    // decoder could not be set up, or frames it cannot convert
        kErrorOutput = -4,    // output could not be created or written
        kErrorNoFrames = -5,  // the stream decoded to no frame at all
        kErrorStopped = -6,   // RequestStopAll reached this call
        kErrorMemory = -7,
        kErrorNamesOtherFiles = -8, // a playlist or list that names other files: refused, nothing read
        kErrorTooLarge = -9,        // over kMaxMediaSide (media/MediaInput.h): refused before decoding
    };

    LumoReader();
    ~LumoReader();
    LumoReader(const LumoReader&) = delete;
    LumoReader& operator=(const LumoReader&) = delete;

    // Decodes the first video stream of `input` and writes every frame as
    // headerless raw YUV to `output`. Width, height and format are written
    // only on success. Returns 0 on success, negative on failure.
    int Read2File(std::string input, std::string output, int& width, int& height, Lumer::LumerAVPixelFormat& format);
    // The same into an open descriptor (a pipe, a device, a file the caller
    // renames later): frames are written as they are decoded, and what was
    // written stays when the conversion fails. The descriptor stays open.
    int Read2Fd(std::string input, int outputFd, int& width, int& height, Lumer::LumerAVPixelFormat& format);

    // Makes every running Read2File in the process stop soon; each removes its
    // unfinished output and reports failure (width/height untouched). The
    // request stays in force, failing calls that start later too, until
    // ClearStopRequest, so a conversion that is just starting cannot slip
    // through. Safe to call from any thread and from a signal handler.
    static void RequestStopAll();
    // Lets Read2File run again after RequestStopAll.
    static void ClearStopRequest();
    static bool StopRequested();
};

}
