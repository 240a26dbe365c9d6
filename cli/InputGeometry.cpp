#include "cli/InputGeometry.h"

#include <vector>

#include "cli/CliError.h"
#include "cli/LayoutNames.h"
#include "cli/RawInput.h"
#include "media/LumoReader.h"
#include "yuv/RawFrameSource.h"

namespace lumo::cli {
namespace {

SizeFlag SizeOption(const GeometryOptions& options)
{
    SizeFlag flag;
    flag.option = options.sizeOption;
    if (!options.size.empty()) {
        const FrameSize size = ParseFrameSize(options.size, options.sizeOption);
        flag.text = options.size;
        flag.width = size.width;
        flag.height = size.height;
    }
    return flag;
}

LayoutFlag LayoutOption(const GeometryOptions& options)
{
    LayoutFlag flag;
    flag.option = options.layoutOption;
    if (!options.layout.empty()) {
        flag.type = RequireLayoutName(options.layout);
        flag.text = options.layout;
    }
    return flag;
}

// The options are checked before the files are, then each file in turn.
std::vector<InputGeometry> Resolve(const std::vector<std::string>& paths, const std::vector<std::string>& names,
                                   std::vector<NamedFile> files)
{
    for (size_t i = 0; i < files.size(); ++i)
        files[i].guess = NamesEncodedVideo(paths[i]) ? GuessEncoded(paths[i], names[i]) : GuessFile(paths[i]);
    const std::vector<FileGeometry> resolved = ResolveGeometry(files);
    std::vector<InputGeometry> inputs;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& name = names[i];
        const FileGeometry& found = resolved[i];
        RequireRegularFile(paths[i], name);
        switch (found.problem) {
        case GeometryProblem::None: break;
        case GeometryProblem::DamagedY4m:
            throw CliError("cannot read " + name + ": " + Y4mStatusText(files[i].guess.y4m));
        case GeometryProblem::NoSize: {
            const std::string& option = files[i].size->option;
            throw CliError("missing option '" + option + "': the name of " + name + " gives no size (pass " + option +
                           " WxH)");
        }
        case GeometryProblem::SizeContradictsHeader:
        case GeometryProblem::LayoutContradictsHeader: throw CliError(ContradictionText(files[i], found, name));
        }
        InputGeometry input;
        input.size = FrameSize{found.width, found.height};
        input.layout = found.type;
        input.fps = found.fps;
        input.sizeFrom = found.sizeFrom;
        input.layoutFrom = found.typeFrom;
        input.fpsFrom = found.fpsFrom;
        input.y4m = found.isY4m;
        input.encoded = found.isEncoded;
        inputs.push_back(input);
    }
    return inputs;
}

const char* DecodeProblem(int error)
{
    switch (error) {
    case LumoReader::kErrorNoVideo: return "it has no video stream FFmpeg can decode";
    case LumoReader::kErrorNoFrames: return "its video stream decodes to no frame";
    case LumoReader::kErrorNamesOtherFiles: return "it is a list naming other files, which is not read";
    case LumoReader::kErrorTooLarge: return "its pictures are larger than 16384 on a side";
    case LumoReader::kErrorMemory: return "out of memory";
    case LumoReader::kErrorDecode: return "its decoder could not be set up";
    default: return "it is not a video file FFmpeg can read";
    }
}

} // namespace

YuvGuess GuessEncoded(const std::string& path, const std::string& name)
{
    RequireRegularFile(path, name);
    int error = 0;
    const YuvGuess guess = GuessEncodedFile(path, &error);
    if (!guess.isEncoded)
        throw CliError("cannot decode " + name + ": " + DecodeProblem(error));
    return guess;
}

InputGeometry ResolveGeometry(const std::string& path, const std::string& name, const GeometryOptions& options)
{
    const SizeFlag size = SizeOption(options);
    const LayoutFlag layout = LayoutOption(options);
    return Resolve({path}, {name}, {NamedFile{{}, &size, &layout, -1}}).front();
}

InputPair ResolvePairGeometry(const std::string& pathA, const std::string& pathB, const GeometryOptions& optionsA,
                              const GeometryOptions& optionsB)
{
    const SizeFlag sizeA = SizeOption(optionsA);
    const LayoutFlag layoutA = LayoutOption(optionsA);
    const SizeFlag sizeB = SizeOption(optionsB);
    const LayoutFlag layoutB = LayoutOption(optionsB);
    // B without its own option is named with A's.
    const NamedFile a{{}, &sizeA, &layoutA, -1};
    const NamedFile b{{}, sizeB.Given() ? &sizeB : &sizeA, layoutB.Given() ? &layoutB : &layoutA, 0};
    const std::vector<InputGeometry> inputs =
        Resolve({pathA, pathB}, {"A (" + pathA + ")", "B (" + pathB + ")"}, {a, b});
    return InputPair{inputs[0], inputs[1]};
}

std::string OriginText(Origin origin, const std::string& option, bool encoded)
{
    switch (origin) {
    case Origin::Flag: return ", from " + option;
    case Origin::Name: return ", from the file name";
    case Origin::Header: return encoded ? ", from the video stream" : ", from the Y4M header";
    case Origin::OtherFile: return ", as for A";
    case Origin::Default: return ", the default";
    case Origin::None: break;
    }
    return std::string();
}

} // namespace lumo::cli
