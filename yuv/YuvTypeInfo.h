#pragma once

#include <string>

namespace lumo {

// Chroma resolution of a layout.
enum class YuvChroma { C420, C422, C444 };

// How the planes of a layout share the frame.
enum class YuvArrangement { Planar, SemiPlanar, Packed };

// Descriptor of one pixel layout, handed out by value. Everything the
// reader's conversions need to find a sample is here.
struct YuvTypeInfo {
    // Table name ("YUV_TYPE_NV12"), short name ("NV12").
    std::string name;
    std::string shortName;
    std::string description;
    // Bytes per pixel at even sizes; GetFrameSize gives the exact frame size.
    float bytesPerPixel = 0.0f;

    YuvChroma chroma = YuvChroma::C420;
    YuvArrangement arrangement = YuvArrangement::Planar;
    // Sample order. Planar: the planes in file order ("YVU": Y, V, U), each
    // starting where the one before ends. Semi-planar: Y, then the pairs
    // ("YVU": pairs V, U). Packed: the samples of one group ("UYVY": U, Y0,
    // V, Y1; "YUV": one pixel).
    std::string order;
    // Significant bits of a sample (8 to 16).
    int bitDepth = 8;
    // Bytes per sample: 1, or 2 for little-endian 16-bit words.
    int sampleBytes = 1;
    // Position of the sample's lowest bit in its word (6 for samples kept in
    // the high 10 bits). Bits above the depth are dropped when reading.
    int bitShift = 0;
    // Samples of two bytes are little-endian in every layout of the table;
    // kept so a source in another byte order can say so.
    bool bigEndian = false;
    // FFmpeg's pix_fmt name of the same layout, which the command line also
    // takes; empty where FFmpeg has none.
    std::string ffmpegName;
    // Position in the table.
    int index = -1;
};

} // namespace lumo
