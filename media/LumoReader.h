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
};
}

namespace lumo {

class LumoReader {
public:
    LumoReader();
    ~LumoReader();
    LumoReader(const LumoReader&) = delete;
    LumoReader& operator=(const LumoReader&) = delete;

    // Decodes the first video stream of `input` and writes every frame as
    // headerless raw YUV to `output`. Width, height and format are written
    // only on success. Returns 0 on success, negative on failure.
    int Read2File(std::string input, std::string output, int& width, int& height, Lumer::LumerAVPixelFormat& format);

    // Makes every running Read2File in the process stop soon; each removes its
    // unfinished output and reports failure (width/height untouched).
    static void RequestStopAll();
    // Lets later Read2File calls run again after RequestStopAll.
    static void ClearStopRequest();
    static bool StopRequested();
};

}
