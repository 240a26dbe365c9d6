#include "cli/InputGeometry.h"

#include "cli/CliError.h"
#include "cli/LayoutNames.h"
#include "cli/RawInput.h"
#include "yuv/YuvGuess.h"

namespace lumo::cli {
namespace {

std::string SizeText(FrameSize size)
{
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

} // namespace

InputGeometry ResolveGeometry(const std::string& path, const std::string& name, const GeometryOptions& options)
{
    // The options are checked before the file is.
    const bool hasSize = !options.size.empty();
    const FrameSize stated = hasSize ? ParseFrameSize(options.size, options.sizeOption) : FrameSize();
    const std::string statedLayout = options.layout.empty() ? std::string() : RequireLayoutName(options.layout);
    RequireRegularFile(path, name);
    const YuvGuess guess = GuessFile(path);
    InputGeometry geometry;
    if (guess.HasRate()) {
        geometry.fps = guess.fps;
        geometry.fpsFrom = guess.fpsFrom == GuessSource::Header ? Origin::Header : Origin::Name;
    }
    if (guess.isY4m) {
        if (guess.y4m.status != Y4mStatus::Ok)
            throw CliError("cannot read " + name + ": " + Y4mStatusText(guess.y4m));
        geometry.size = FrameSize{guess.width, guess.height};
        geometry.layout = guess.type;
        geometry.sizeFrom = geometry.layoutFrom = Origin::Header;
        geometry.y4m = true;
        if (hasSize && (stated.width != geometry.size.width || stated.height != geometry.size.height))
            throw CliError(options.sizeOption + " " + options.size + " contradicts the Y4M header of " + name +
                           ", which says " + SizeText(geometry.size));
        if (!statedLayout.empty() && statedLayout != geometry.layout)
            throw CliError(options.layoutOption + " " + options.layout + " contradicts the Y4M header of " + name +
                           ", which says " + ShortLayoutName(geometry.layout));
        return geometry;
    }

    if (hasSize) {
        geometry.size = stated;
        geometry.sizeFrom = Origin::Flag;
    } else if (guess.HasSize()) {
        geometry.size = FrameSize{guess.width, guess.height};
        geometry.sizeFrom = Origin::Name;
    } else if (options.fallback) {
        geometry.size = options.fallback->size;
        geometry.sizeFrom = Origin::OtherFile;
    } else {
        throw CliError("missing option '" + options.sizeOption + "': the name of " + name +
                       " gives no size (pass " + options.sizeOption + " WxH)");
    }
    if (!statedLayout.empty()) {
        geometry.layout = statedLayout;
        geometry.layoutFrom = Origin::Flag;
    } else if (guess.HasType()) {
        geometry.layout = guess.type;
        geometry.layoutFrom = Origin::Name;
    } else if (options.fallback) {
        geometry.layout = options.fallback->layout;
        geometry.layoutFrom = Origin::OtherFile;
    } else {
        geometry.layout = "YUV_TYPE_I420";
        geometry.layoutFrom = Origin::Default;
    }
    return geometry;
}

std::string OriginText(Origin origin, const std::string& option)
{
    switch (origin) {
    case Origin::Flag: return ", from " + option;
    case Origin::Name: return ", from the file name";
    case Origin::Header: return ", from the Y4M header";
    case Origin::OtherFile: return ", as for A";
    case Origin::Default: return ", the default";
    }
    return std::string();
}

} // namespace lumo::cli
