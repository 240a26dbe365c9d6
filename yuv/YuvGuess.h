#pragma once

#include <cstdint>
#include <string>

#include "yuv/Y4mIndex.h"

namespace lumo {

// Where a value of a guess came from.
enum class GuessSource { None, Name, Header };

// Width, height and layout of a file as far as they can be told without
// asking the user. A value that cannot be told stays empty: no guess rather
// than a wrong one.
struct YuvGuess {
    int width = 0;
    int height = 0;
    std::string type; // layout name, empty when unknown
    GuessSource sizeFrom = GuessSource::None;
    GuessSource typeFrom = GuessSource::None;
    double fps = 0; // frames per second, 0 when unknown
    GuessSource fpsFrom = GuessSource::None;
    // The file is Y4M; `y4m.status` tells whether it can be read.
    bool isY4m = false;
    Y4mInfo y4m;
    // The file is encoded video whose stream gave width, height, layout and
    // rate (GuessFile, where an opener of encoded files is installed).
    bool isEncoded = false;

    bool HasSize() const { return sizeFrom != GuessSource::None; }
    bool HasType() const { return typeFrom != GuessSource::None; }
    bool HasRate() const { return fpsFrom != GuessSource::None; }
    bool Complete() const { return HasSize() && HasType(); }
};

// Largest width or height taken from a file name.
constexpr int kMaxGuessDimension = 16384;

// Guess from a file name (with or without its folders) and the file's size
// in bytes (-1 when unknown). Case-insensitive; a token is a run of ASCII
// letters and digits.
// - Size: the last WxH of the name (x, X or the multiplication sign; each
//   side 1 to 16384; W starts a token, H is not followed by a digit). A last
//   WxH out of range gives no size. Without one, a named size (qcif, cif,
//   4cif, vga, 4k, uhd as tokens; 720p, 1080p, 2160p, 1080i also at the end
//   of a token, with a rate after them: park_joy_1080p50), if all agree.
// - Layout: tokens naming a layout (short names such as nv12, FFmpeg names
//   such as yuv420p or p010le), if all such tokens agree; "iyuv" names
//   none, being I420 elsewhere and 4:4:4 here. A depth token (8bit, 10b,
//   10-bit, 12_bit, 16bits: 8 to 16) and a chroma token (420, 422, 444,
//   yuv420, ...) choose within a family: an 8-bit layout name (nv12, i420)
//   gives the family, else 4:2:0 planar; its layout of that depth and
//   chroma is the guess, none when the family has no such layout, when the
//   tokens disagree, or when a high-bit name (p010) states another depth.
//   With a size but no layout, depth or chroma token: I420 when the file
//   size is a whole, non-zero multiple of the I420 frame size.
// - Rate: 60fps, 29.97fps, 50hz, 60 fps (1 to 1000), the number after
//   1080p or after a WxH's "p"/"i" (1 to 1000), and a number right after
//   the last WxH (clip_1920x1080_50_..., 1 to 120), if all agree. In the
//   last two, four or five digits not ending in 00 are hundredths: 5994 is
//   59.94.
YuvGuess GuessFromName(const std::string& name, int64_t fileBytes);

// Guess for the file at `path`: from its headers when it is a Y4M file
// (a damaged one gives isY4m with the error status and no values; a header
// without a rate takes the name's), from its stream when its name is
// encoded video and an opener of encoded files is installed (nothing known
// when it does not decode), else from its name and size.
YuvGuess GuessFile(const std::string& path);
// The guess an encoded file's stream gives (isEncoded set), through the
// opener installed for encoded files (yuv/RawFrameSource.h). Without one,
// or for a file it cannot decode, nothing is known and `error` gets the
// opener's reason (-1 without one). The first open of a file version reads
// all its packets.
YuvGuess GuessEncodedFile(const std::string& path, int* error = nullptr);

// Layout name for a layout as a user types it: the table's name
// ("YUV_TYPE_NV12"), the short name ("nv12", "iyuv") or an FFmpeg name
// ("yuv420p", "p010le"), any case; empty when none matches.
std::string LayoutFromUserText(const std::string& text);

} // namespace lumo
