#pragma once

#include <cstddef>
#include <functional>

#include "yuv/FrameSource.h"
#include "yuv/LumoYuvReader.h"

namespace lumo {

enum class FramePngStatus { Ok, ReadFailed, EncodeFailed, SinkFailed };

// Encodes frame `frame` of `reader` as a PNG: the frame as RGB24 (the
// reader's fixed formula), 8 bits per channel, no other chunks. The command
// line's export and the analysis window's frame saving both write through
// here, so the two files are the same bytes. The PNG goes to `sink` in
// pieces; a sink that returns false stops the encoding (SinkFailed).
FramePngStatus WriteFramePng(FrameSource& source, int frame,
                             const std::function<bool(const void* data, size_t size)>& sink);
FramePngStatus WriteFramePng(const LumoYuvReader& reader, int frame,
                             const std::function<bool(const void* data, size_t size)>& sink);

} // namespace lumo
