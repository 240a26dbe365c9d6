#include "yuv/FramePng.h"

#include <memory>

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
    Sink context{&sink, true};
    const int written = stbi_write_png_to_func(WriteBytes, &context, reader.Width(), reader.Height(), 3, rgb.get(),
                                               reader.Width() * 3);
    if (!context.ok)
        return FramePngStatus::SinkFailed;
    return written ? FramePngStatus::Ok : FramePngStatus::EncodeFailed;
}

} // namespace lumo
