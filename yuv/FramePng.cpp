#include "yuv/FramePng.h"

#include "yuv/RawFrameSource.h"
#include "yuv/YuvConvert.h"

#include <memory>
#include <new>

// The one translation unit that holds stb's PNG writer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace lumo {
namespace {

struct Sink {
    const std::function<bool(const void*, size_t)>* write;
    bool ok;
};

void WriteBytes(void* context, void* data, int size)
{
    auto* sink = static_cast<Sink*>(context);
    if (sink->ok && size > 0)
        sink->ok = (*sink->write)(data, static_cast<size_t>(size));
}

} // namespace

FramePngStatus WriteRgbPng(const uint8_t* rgb, int width, int height,
                           const std::function<bool(const void* data, size_t size)>& sink)
{
    Sink context{&sink, true};
    const int written = stbi_write_png_to_func(WriteBytes, &context, width, height, 3, rgb, width * 3);
    if (!context.ok)
        return FramePngStatus::SinkFailed;
    return written ? FramePngStatus::Ok : FramePngStatus::EncodeFailed;
}

FramePngStatus WriteFramePng(FrameSource& source, int frame,
                             const std::function<bool(const void* data, size_t size)>& sink)
{
    const int64_t frameSize = source.FrameSize();
    const int w = source.Width(), h = source.Height();
    if (frame < 0 || frameSize <= 0 || w <= 0 || h <= 0)
        return FramePngStatus::ReadFailed;
    std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[static_cast<size_t>(frameSize)]);
    std::unique_ptr<uint8_t[]> rgb(new (std::nothrow) uint8_t[3 * static_cast<size_t>(w) * h]);
    if (!raw || !rgb || !source.ReadFrame(frame, raw.get()) ||
        !ConvertRawToRgb24(raw.get(), w, h, source.Type(), rgb.get(), ConvertPath::Best))
        return FramePngStatus::ReadFailed;
    raw.reset();
    return WriteRgbPng(rgb.get(), w, h, sink);
}

FramePngStatus WriteFramePng(const LumoYuvReader& reader, int frame,
                             const std::function<bool(const void* data, size_t size)>& sink)
{
    RawFrameSource source(reader);
    return WriteFramePng(source, frame, sink);
}

FramePngStatus WriteFramePng(FrameSource& source, int frame, int range, double gamma,
                             const std::function<bool(const void* data, size_t size)>& sink)
{
    const int w = source.Width(), h = source.Height();
    ColorMatrix matrix;
    if (frame < 0 || source.FrameSize() <= 0 || w <= 0 || h <= 0 || !MatrixFor(range, source.BitDepth(), &matrix))
        return FramePngStatus::ReadFailed;
    std::unique_ptr<uint16_t[]> planes(new (std::nothrow) uint16_t[3 * static_cast<size_t>(w) * h]);
    if (!planes || !source.ReadPlanes(frame, planes.get()))
        return FramePngStatus::ReadFailed;
    return WritePlanesPng(planes.get(), w, h, matrix, gamma, sink);
}

FramePngStatus WriteFramePng(const LumoYuvReader& reader, int frame, int range, double gamma,
                             const std::function<bool(const void* data, size_t size)>& sink)
{
    RawFrameSource source(reader);
    return WriteFramePng(source, frame, range, gamma, sink);
}

FramePngStatus WritePlanesPng(const uint16_t* planes, int width, int height, const ColorMatrix& matrix,
                              double gamma, const std::function<bool(const void* data, size_t size)>& sink)
{
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::unique_ptr<uint8_t[]> rgb(new (std::nothrow) uint8_t[3 * n]);
    if (!rgb)
        return FramePngStatus::EncodeFailed;
    Yuv444ToRgbMatrix(planes, width, height, matrix, gamma, rgb.get());
    return WriteRgbPng(rgb.get(), width, height, sink);
}

} // namespace lumo
