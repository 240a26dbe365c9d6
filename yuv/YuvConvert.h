#pragma once

#include <cstdint>
#include <string>

namespace lumo {

// Which code converts: the plain reference loops, the SSE2 kernels, the AVX2
// kernels (SSE2 where the processor lacks AVX2), or the best the processor
// has (Best). Auto is Best plus a second thread for frames of a million
// pixels and more, when the process's thread budget has one to spare. All
// but Auto run on the calling thread only; all give the same bytes.
enum class ConvertPath { Plain, Sse2, Avx2, Auto, Best };

// Raw frame of a named layout to planar 4:4:4 (Y, U, V planes of w*h bytes).
// `raw` holds exactly GetFrameSize(w, h, type) bytes, at any alignment;
// nothing outside it or the 3*w*h destination is touched. Chroma planes of
// odd sizes are rounded up as FFmpeg does (GetFrameGeometry), so an odd last
// column or row has chroma samples of its own. Samples deeper than 8 bits
// are rounded: min(255, (s + (1 << (b - 9))) >> (b - 8)) for depth b.
// Returns false for an unknown layout or a bad size.
bool ConvertRawToYuv444(const uint8_t* raw, int width, int height, const std::string& type, uint8_t* dst,
                        ConvertPath path = ConvertPath::Auto);

// The same at the layout's own depth: planes of w*h 16-bit samples, bits
// above the depth dropped; 8-bit layouts give their bytes as they are.
bool ConvertRawToYuv444Native(const uint8_t* raw, int width, int height, const std::string& type, uint16_t* dst,
                              ConvertPath path = ConvertPath::Auto);

// Planar 4:4:4 to RGB24 with the reader's fixed video-range BT.601 formula,
// evaluated in double precision and truncated.
void Yuv444ToRgb24(const uint8_t* planes, int width, int height, uint8_t* dst,
                   ConvertPath path = ConvertPath::Auto);

// Raw frame straight to RGB24: the same bytes as ConvertRawToYuv444 followed
// by Yuv444ToRgb24, without the full-size intermediate frame.
bool ConvertRawToRgb24(const uint8_t* raw, int width, int height, const std::string& type, uint8_t* dst,
                       ConvertPath path = ConvertPath::Auto);

// One pixel of that formula; the reference for every faster path.
void YuvToRgbPixel(int y, int u, int v, uint8_t* rgb);

// Native-depth planar 4:4:4 (samples of `depth` bits) to 16 bits per
// channel: the same formula on the samples scaled to 8-bit units, clamped
// to 0..255 without dropping the fraction, times 257 and rounded; so 8-bit
// white gives 65535. Plain loop; `dst` holds 3*w*h samples R, G, B.
void Yuv444ToRgb48(const uint16_t* planes, int width, int height, int depth, uint16_t* dst);

// A raw frame seen as up to three consecutive byte ranges in file order, so
// that a reader can place each range where the conversion wants it.
struct RawFrameParts {
    enum Role { PlaneY = 0, PlaneU = 1, PlaneV = 2, ChromaPairs = 3, Interleaved = 4 };
    int count = 0;
    int64_t begin[3] = {0, 0, 0}; // offsets inside the raw frame
    int64_t size[3] = {0, 0, 0};
    Role role[3] = {Interleaved, Interleaved, Interleaved};
    // The range is a whole plane of w*h samples that the conversion copies
    // unchanged: it may be read straight into that destination plane.
    bool direct[3] = {false, false, false};
};

// The destination a frame is split for: 8-bit planes or native-depth ones.
enum class PlaneForm { Bytes8, Native16 };

// The parts of a frame of that size and layout; false for an unknown layout
// or a non-positive size.
bool GetRawFrameParts(int width, int height, const std::string& type, RawFrameParts* parts,
                      PlaneForm form = PlaneForm::Bytes8);

// Rows [rowBegin, rowEnd) of a frame, with part k (in the order of
// GetRawFrameParts) present from its byte from[k] on, at data[k]. A reader
// converts a frame band by band, so that the raw bytes pass through a small
// buffer that stays in the cache.
struct RawFrameBand {
    const uint8_t* data[3] = {nullptr, nullptr, nullptr};
    int64_t from[3] = {0, 0, 0};
    int rowBegin = 0;
    int rowEnd = 0;
};

// The bytes [from[k], to[k]) of each part that rows [rowBegin, rowEnd) take
// (empty for a part they do not need); false for an unknown layout or rows
// outside the frame.
bool GetBandRanges(int width, int height, const std::string& type, int rowBegin, int rowEnd, int64_t from[3],
                   int64_t to[3]);

// Like ConvertRawToYuv444 for the rows of a band, into the full-size planes
// at dst. A direct part may lie in its destination plane already (from 0);
// it is then left as it is.
bool ConvertBandToYuv444(const RawFrameBand& band, int width, int height, const std::string& type, uint8_t* dst,
                         ConvertPath path = ConvertPath::Auto);
// The same at native depth, with the parts of PlaneForm::Native16.
bool ConvertBandToYuv444Native(const RawFrameBand& band, int width, int height, const std::string& type,
                               uint16_t* dst, ConvertPath path = ConvertPath::Auto);

// Where the pixels (xs[i], y) of a frame take their samples from: out[3i],
// out[3i+1] and out[3i+2] receive the byte offsets inside the raw frame of
// the Y, U and V samples that the conversions above use for that pixel (the
// low byte of a 16-bit word). Lets a reader pick single pixels out of a frame
// too large to read whole. False for an unknown layout, a bad size or a
// pixel outside the frame.
bool GetRowSampleOffsets(int width, int height, const std::string& type, int y, const int* xs, int count,
                         int64_t* out);
// The samples of pixels (xs[i], y) at the layout's own depth, picked out of
// a raw frame of GetFrameSize(w, h, type) bytes: out[3i], out[3i+1] and
// out[3i+2] receive Y, U and V as ConvertRawToYuv444Native gives them. For
// single pixels of a frame held as stored. False as GetRowSampleOffsets.
bool GetRowNativeSamples(const uint8_t* raw, int width, int height, const std::string& type, int y, const int* xs,
                         int count, uint16_t* out);
// A sample as stored (the little-endian word of a 16-bit layout, the byte
// of an 8-bit one) as the 8-bit value the conversions give it, for the
// layout's depth and bit position (YuvTypeInfo::bitDepth, bitShift).
uint8_t SampleTo8Bits(unsigned stored, int depth, int shift);

} // namespace lumo
