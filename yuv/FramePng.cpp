#include "yuv/FramePng.h"

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

FramePngStatus WriteFramePng(const LumoYuvReader& reader, int frame,
                             const std::function<bool(const void* data, size_t size)>& sink)
{
    const int64_t frameSize = reader.GetFrameSize();
    if (frame < 0 || frameSize <= 0 || reader.Width() <= 0 || reader.Height() <= 0)
        return FramePngStatus::ReadFailed;
    int64_t got = 0;
    std::unique_ptr<uint8_t[]> rgb(reader.ReadFrameRGB24(nullptr, &got, static_cast<int64_t>(frame) * frameSize));
    if (!rgb || got <= 0)
        return FramePngStatus::ReadFailed;
    return WriteRgbPng(rgb.get(), reader.Width(), reader.Height(), sink);
}

FramePngStatus WriteFramePng(const LumoYuvReader& reader, int frame, int range, double gamma,
                             const std::function<bool(const void* data, size_t size)>& sink)
{
    const int64_t frameSize = reader.GetFrameSize();
    ColorMatrix matrix;
    if (frame < 0 || frameSize <= 0 || reader.Width() <= 0 || reader.Height() <= 0 ||
        !MatrixFor(range, reader.BitDepth(), &matrix))
        return FramePngStatus::ReadFailed;
    int64_t got = 0;
    std::unique_ptr<uint16_t[]> planes(
        reader.ReadFrameYUV444Native(nullptr, &got, static_cast<int64_t>(frame) * frameSize));
    if (!planes || got <= 0)
        return FramePngStatus::ReadFailed;
    return WritePlanesPng(planes.get(), reader.Width(), reader.Height(), matrix, gamma, sink);
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
