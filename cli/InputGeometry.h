#pragma once

#include <string>

#include "cli/OptionValues.h"
#include "yuv/GeometryPolicy.h"

namespace lumo::cli {

// Where a value of an input's geometry came from.
using Origin = GeometryOrigin;

// Width, height, layout and frame rate of one input file, each with its
// origin. No option states a rate: it comes from the Y4M header or the name,
// and stays 0 with Origin::None when neither gives one.
struct InputGeometry {
    FrameSize size;
    std::string layout;
    double fps = 0;
    Origin sizeFrom = Origin::None;
    Origin layoutFrom = Origin::None;
    Origin fpsFrom = Origin::None;
    bool y4m = false;
    // Encoded video read in place: size, layout and rate are its stream's.
    bool encoded = false;
};

// The options that may state an input's geometry; an empty text means the
// option was not given.
struct GeometryOptions {
    std::string size;
    std::string sizeOption = "--size";
    std::string layout;
    std::string layoutOption = "--layout";
};

// The geometry of the file at `path` (`name` names it in messages), under
// the geometry policy (yuv/GeometryPolicy.h): a Y4M file takes everything
// from its header, and options that contradict the header are refused; a
// raw file takes the options, then what its name tells, then I420 for the
// layout. An encoded file (yuv/RawFrameSource.h, NamesEncodedVideo) takes
// its stream's, as a Y4M file its header's. Throws CliError for a bad option, a file that is not a regular
// one, a damaged Y4M file, or a raw file whose size nothing gives.
InputGeometry ResolveGeometry(const std::string& path, const std::string& name, const GeometryOptions& options);

struct InputPair {
    InputGeometry a;
    InputGeometry b;
};

// A and B of compare, named "A (path)" and "B (path)". What B's options
// leave out is taken from A's, and B takes A's size and layout where
// nothing else gives them. An option naming both files describes the raw
// one among them: a Y4M file beside it keeps its header.
InputPair ResolvePairGeometry(const std::string& pathA, const std::string& pathB, const GeometryOptions& optionsA,
                              const GeometryOptions& optionsB);

// ", from the file name" and the like, for info; `encoded` names the video
// stream where a header gave the value.
std::string OriginText(Origin origin, const std::string& option, bool encoded = false);

// The guess for an encoded file from its decoded stream. Throws CliError
// naming it `name` when it cannot be decoded.
YuvGuess GuessEncoded(const std::string& path, const std::string& name);

} // namespace lumo::cli
