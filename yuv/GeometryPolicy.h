#pragma once

#include <string>
#include <vector>

#include "yuv/YuvGuess.h"

namespace lumo {

// How the width, height, layout and rate of a file named by a user are
// settled, for every program: the flags (--size, --layout), then the Y4M
// header (or an encoded file's stream), then what the name tells (yuv/YuvGuess.h), then another file's
// values where the caller names one (B takes A's), then the defaults (I420
// for the layout; no size). A Y4M file always keeps its header. A flag
// describes the raw files named with it; where it contradicts a Y4M header
// and names no raw file, the user asked for something the files are not,
// and the file gets a contradiction problem.

// Where a value of a file's geometry came from.
enum class GeometryOrigin { None, Flag, Header, Name, OtherFile, Default };

// A --size as given (0 when not), and as typed, for messages.
struct SizeFlag {
    std::string option = "--size";
    std::string text;
    int width = 0;
    int height = 0;

    bool Given() const { return width > 0 && height > 0; }
};

// A --layout as given (the table's name, empty when not), and as typed.
struct LayoutFlag {
    std::string option = "--layout";
    std::string text;
    std::string type;

    bool Given() const { return !type.empty(); }
};

enum class SizeTextStatus { Ok, Malformed, Zero };

// "WxH" (x or X), each side digits up to kMaxGuessDimension. Malformed
// also covers a side above the limit; Zero a side of 0.
SizeTextStatus ParseSizeText(const std::string& text, int* width, int* height);

// One file named with flags. Files pointing to the same flag object were
// named with that flag; null where no flag names the file.
struct NamedFile {
    YuvGuess guess; // GuessFile of the file
    const SizeFlag* size = nullptr;
    const LayoutFlag* layout = nullptr;
    // An earlier file whose size and layout this one takes where its flags
    // and name give none; -1 for none.
    int fallback = -1;
};

enum class GeometryProblem {
    None,
    DamagedY4m,              // guess.y4m.status says why
    NoSize,                  // a raw file nothing gives a size to
    SizeContradictsHeader,   // see the rule above
    LayoutContradictsHeader,
};

struct FileGeometry {
    int width = 0;
    int height = 0;
    std::string type;
    double fps = 0;
    GeometryOrigin sizeFrom = GeometryOrigin::None;
    GeometryOrigin typeFrom = GeometryOrigin::None;
    GeometryOrigin fpsFrom = GeometryOrigin::None; // Header or Name
    bool isY4m = false;
    bool isEncoded = false; // the stream states the geometry, as a header does
    // The first problem found, size before layout. The values are set
    // whatever it is: a Y4M file's are its header's.
    GeometryProblem problem = GeometryProblem::None;

    bool HasSize() const { return sizeFrom != GeometryOrigin::None; }
};

// The geometry of each of `files`, in order.
std::vector<FileGeometry> ResolveGeometry(const std::vector<NamedFile>& files);

// One file alone: the flags name only it.
FileGeometry ResolveGeometry(const YuvGuess& guess, const SizeFlag& size, const LayoutFlag& layout);

// "--size 100x100 contradicts the Y4M header of NAME, which says 64x36"
// (a layout as its short name, NV12); empty unless `geometry.problem` is a
// contradiction.
std::string ContradictionText(const NamedFile& file, const FileGeometry& geometry, const std::string& name);

} // namespace lumo
