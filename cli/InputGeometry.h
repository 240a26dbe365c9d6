#pragma once

#include <string>

#include "cli/OptionValues.h"

namespace lumo::cli {

// Where a value of an input's geometry came from.
enum class Origin { Flag, Name, Header, OtherFile, Default };

// Width, height, layout and frame rate of one input file, each with its
// origin. No option states a rate: it comes from the Y4M header or the name,
// and stays 0 with Origin::Default when neither gives one.
struct InputGeometry {
    FrameSize size;
    std::string layout;
    double fps = 0;
    Origin sizeFrom = Origin::Default;
    Origin layoutFrom = Origin::Default;
    Origin fpsFrom = Origin::Default;
    bool y4m = false;
};

// The options that may state an input's geometry; an empty text means the
// option was not given.
struct GeometryOptions {
    std::string size;
    std::string sizeOption = "--size";
    std::string layout;
    std::string layoutOption = "--layout";
    // Values to fall back on before giving up (B takes A's).
    const InputGeometry* fallback = nullptr;
};

// The geometry of the file at `path` (`name` names it in messages). A Y4M
// file takes everything from its header, and options that contradict the
// header are refused. A raw file takes the options, then what its name
// tells (yuv/YuvGuess.h), then the fallback; the layout lastly defaults to
// I420. Throws CliError for a file that is not a regular one, a damaged Y4M
// file, or a raw file whose size nothing gives.
InputGeometry ResolveGeometry(const std::string& path, const std::string& name, const GeometryOptions& options);

// ", from the file name" and the like, for info.
std::string OriginText(Origin origin, const std::string& option);

} // namespace lumo::cli
