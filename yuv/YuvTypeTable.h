#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "yuv/YuvTypeInfo.h"

namespace lumo {

// The closed, ordered list of pixel layouts: the 18 8-bit layouts, then the
// high-bit-depth ones. Built once on first use (thread-safe) and never
// changed afterwards.
class YuvTypeTable {
public:
    static const YuvTypeTable& Instance();

    int Count() const;
    // Copies the descriptor at index (0..Count()-1) into out; returns 0,
    // or -1 for an index outside the table.
    int GetByIndex(int index, YuvTypeInfo& out) const;
    // Exact, case-sensitive lookup; returns 0 on a match, else -1 and
    // leaves out untouched.
    int FindByName(const std::string& name, YuvTypeInfo& out) const;
    // The table's own descriptor of that name, nullptr when there is none;
    // valid for the life of the process. A hash lookup.
    const YuvTypeInfo* Find(const std::string& name) const;
    // Index of the layout of that name, -1 when there is none.
    int IndexOf(const std::string& name) const;
    // The table's descriptor at index, nullptr outside the table.
    const YuvTypeInfo* At(int index) const;
    // The layout FFmpeg calls `ffmpegName` ("p010le"), nullptr when none.
    const YuvTypeInfo* FindByFfmpegName(const std::string& ffmpegName) const;

private:
    YuvTypeTable();
    std::vector<YuvTypeInfo> types_;
    std::unordered_map<std::string, int> byName_;
    std::unordered_map<std::string, int> byFfmpegName_;
};

// Chroma plane size of a layout, rounded up as FFmpeg and Y4M do: a 4:2:0
// chroma plane is ceil(w/2) x ceil(h/2) samples, a 4:2:2 one ceil(w/2) x h,
// so an odd last column or row has chroma samples of its own. 4:4:4 planes
// are w x h.
inline int ChromaWidth(YuvChroma chroma, int width)
{
    return chroma == YuvChroma::C444 ? width : width - width / 2;
}
inline int ChromaHeight(YuvChroma chroma, int height)
{
    return chroma == YuvChroma::C420 ? height - height / 2 : height;
}

// Where the samples of a frame of width x height lie, counted in samples
// (bytes: times sampleBytes), chroma starting right after the w*h luma
// samples. Planar: Y, then two chroma planes of
// chromaWidth x chromaHeight in the layout's order. Semi-planar: Y, then
// chromaHeight rows of chromaWidth pairs. Packed: rows of lumaRow samples
// (4:2:2: chromaWidth groups of four, so an odd width ends in a whole group
// whose second luma is padding).
struct YuvFrameGeometry {
    int chromaWidth = 0;
    int chromaHeight = 0;
    int64_t lumaRow = 0;       // samples per row of the luma plane, or of a packed frame
    int64_t chromaRow = 0;     // samples per row of a chroma plane, or of the pairs
    int64_t chromaSamples = 0; // samples of one chroma plane (planar)
    int64_t frameSize = 0;     // bytes, saturated at the ends of int64
};
// The geometry of a layout; false for an unknown name.
bool GetFrameGeometry(int width, int height, const std::string& type, YuvFrameGeometry* out);

// Bytes per frame in 64 bits (GetFrameGeometry's frameSize); -1 for an unknown
// name.
int64_t GetFrameSize(int width, int height, const std::string& type);

// Layout name for the numeric codes of older stored lists; "UNKNOW" otherwise.
std::string LegacyTypeName(int code);

} // namespace lumo
