#include "media/LumoReader.h"

#include "media/MediaConversion.h"
#include "media/RawYuvFileWriter.h"

#include <atomic>

namespace lumo {

namespace {

// Set by RequestStopAll, cleared by ClearStopRequest. Lock-free, so a signal
// handler may set it.
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "stop flag must be signal safe");

int Run(MediaConversion& conversion, int& width, int& height, Lumer::LumerAVPixelFormat& format)
{
    const int ret = conversion.Run();
    if (ret != LumoReader::kOk)
        return ret;
    width = conversion.Width();
    height = conversion.Height();
    format = conversion.Code();
    return LumoReader::kOk;
}

}

LumoReader::LumoReader() = default;
LumoReader::~LumoReader() = default;

int LumoReader::Read2File(std::string input, std::string output, int& width, int& height,
    Lumer::LumerAVPixelFormat& format)
{
    if (g_stopRequested.load())
        return kErrorStopped;
    if (input.empty() || output.empty() || RawYuvFileWriter::SameFile(input, output))
        return kErrorOpen;
    MediaConversion conversion(input, output);
    return Run(conversion, width, height, format);
}

int LumoReader::Read2Fd(std::string input, int outputFd, int& width, int& height,
    Lumer::LumerAVPixelFormat& format)
{
    if (g_stopRequested.load())
        return kErrorStopped;
    if (input.empty() || outputFd < 0)
        return kErrorOpen;
    MediaConversion conversion(input, outputFd);
    return Run(conversion, width, height, format);
}

void LumoReader::RequestStopAll()
{
    g_stopRequested.store(true);
}

void LumoReader::ClearStopRequest()
{
    g_stopRequested.store(false);
}

bool LumoReader::StopRequested()
{
    return g_stopRequested.load(std::memory_order_relaxed);
}

}
