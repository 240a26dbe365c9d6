#pragma once

#include <cstdint>
#include <string>

namespace lumo {

// Raw frame of a named layout to planar 4:4:4 (Y, U, V planes of w*h bytes).
// `raw` holds exactly GetFrameSize(w, h, type) bytes; nothing outside it or
// the 3*w*h destination is touched. For odd sizes a pixel past the last whole
// chroma block takes the nearest chroma sample inside the frame, and 128 when
// the frame holds no chroma sample at all (a width or height of 1 in a
// subsampled layout). Returns false for an unknown layout or a bad size.
bool ConvertRawToYuv444(const uint8_t* raw, int width, int height, const std::string& type, uint8_t* dst);

// Planar 4:4:4 to RGB24 with the reader's fixed video-range BT.601 formula,
// evaluated in double precision and truncated.
void Yuv444ToRgb24(const uint8_t* planes, int width, int height, uint8_t* dst);

// One pixel of that formula; the reference for every faster path.
void YuvToRgbPixel(int y, int u, int v, uint8_t* rgb);

} // namespace lumo
