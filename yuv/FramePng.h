#pragma once

#include <cstddef>
#include <functional>

#include "yuv/FrameSource.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/YuvColorMatrix.h"

namespace lumo {

enum class FramePngStatus { Ok, ReadFailed, EncodeFailed, SinkFailed };

// Encodes frame `frame` of `source` as a PNG: the frame as RGB24 (the
// reader's fixed formula), 8 bits per channel, no other chunks. The command
// line's export and the analysis window's frame saving both write through
// here, so the two files are the same bytes. The PNG goes to `sink` in
// pieces; a sink that returns false stops the encoding (SinkFailed).
FramePngStatus WriteFramePng(FrameSource& source, int frame,
                             const std::function<bool(const void* data, size_t size)>& sink);
FramePngStatus WriteFramePng(const LumoYuvReader& reader, int frame,
                             const std::function<bool(const void* data, size_t size)>& sink);

// The same frame through the standard matrix of view range `range` (1 to
// 4) at the source's own depth, with `gamma` (MatrixRgb): what the view
// draws. An unknown range reads as ReadFailed.
FramePngStatus WriteFramePng(FrameSource& source, int frame, int range, double gamma,
                             const std::function<bool(const void* data, size_t size)>& sink);
FramePngStatus WriteFramePng(const LumoYuvReader& reader, int frame, int range, double gamma,
                             const std::function<bool(const void* data, size_t size)>& sink);

// Planar 4:4:4 samples (Y, U, V planes of width*height) through `matrix`
// and `gamma`, as the PNG WriteFramePng writes.
FramePngStatus WritePlanesPng(const uint16_t* planes, int width, int height, const ColorMatrix& matrix,
                              double gamma, const std::function<bool(const void* data, size_t size)>& sink);

// Packed 8-bit RGB rows without padding as a PNG.
FramePngStatus WriteRgbPng(const uint8_t* rgb, int width, int height,
                           const std::function<bool(const void* data, size_t size)>& sink);

} // namespace lumo
