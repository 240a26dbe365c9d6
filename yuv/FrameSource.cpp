#include "yuv/FrameSource.h"

#include "yuv/YuvConvert.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace lumo {
namespace {

bool ToPlanes(const uint8_t* raw, int w, int h, const std::string& type, uint8_t* dst)
{
    return ConvertRawToYuv444(raw, w, h, type, dst, ConvertPath::Best);
}

bool ToPlanes(const uint8_t* raw, int w, int h, const std::string& type, uint16_t* dst)
{
    return ConvertRawToYuv444Native(raw, w, h, type, dst, ConvertPath::Best);
}

template <typename Sample>
bool ReadAndConvert(FrameSource& source, int index, Sample* dst, const CancelToken* cancel)
{
    const int64_t bytes = source.FrameSize();
    if (!dst || bytes <= 0)
        return false;
    std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[static_cast<std::size_t>(bytes)]);
    return raw && source.ReadFrame(index, raw.get(), cancel) &&
           ToPlanes(raw.get(), source.Width(), source.Height(), source.Type(), dst);
}

} // namespace

bool FrameSource::ReadPlanes(int index, uint8_t* dst, const CancelToken* cancel)
{
    return ReadAndConvert(*this, index, dst, cancel);
}

bool FrameSource::ReadPlanes(int index, uint16_t* dst, const CancelToken* cancel)
{
    return ReadAndConvert(*this, index, dst, cancel);
}

bool FrameSource::ReadFrameAndPlanes(int index, uint8_t* stored, uint8_t* planes, const CancelToken* cancel)
{
    const int64_t bytes = FrameSize();
    const std::size_t n = 3 * static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height());
    if (!stored || !planes || bytes <= 0 || n == 0)
        return false;
    // Both read into buffers of their own first: a failure touches neither.
    std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[static_cast<std::size_t>(bytes)]);
    std::unique_ptr<uint8_t[]> converted(new (std::nothrow) uint8_t[n]);
    if (!raw || !converted || !ReadFrame(index, raw.get(), cancel) ||
        !ToPlanes(raw.get(), Width(), Height(), Type(), converted.get()))
        return false;
    std::memcpy(stored, raw.get(), static_cast<std::size_t>(bytes));
    std::memcpy(planes, converted.get(), n);
    return true;
}

} // namespace lumo
