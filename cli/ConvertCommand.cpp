#include <cstdio>
#include <string>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/OutputFile.h"
#include "cli/RawInput.h"
#include "media/LumoReader.h"
#include "media/MediaInput.h"
#include "media/MediaLayout.h"

namespace lumo::cli {

int RunConvert(const ConvertArgs& args)
{
    const std::string& input = args.media;
    const std::string output = OutputPath(args.output, input + ".yuv");

    RequireRegularFile(input, input);
    if (output != "-" && SameFile(output, input))
        throw CliError("the output " + output + " is the input file itself");

    OutputFile file(output, args.output ? OutputName::kTyped : OutputName::kDefault);
    std::string error;
    if (!file.Open(error))
        throw CliError(error);

    int width = -1;
    int height = -1;
    Lumer::LumerAVPixelFormat format = Lumer::LUMER_PIX_FMT_YUV420P;
    LumoReader reader;
    const int result = reader.Read2Fd(input, file.Fd(), width, height, format);
    if (result == LumoReader::kErrorOutput)
        throw CliError("cannot write " + file.Name());
    if (result == LumoReader::kErrorNamesOtherFiles)
        throw CliError(input + " is a playlist that names other files; not converted");
    if (result == LumoReader::kErrorTooLarge)
        throw CliError(input + " is larger than " + std::to_string(kMaxMediaSide) + "x"
                       + std::to_string(kMaxMediaSide) + ", the largest frame shown; not converted");
    if (result != 0 || width <= 0 || height <= 0)
        throw CliError("cannot convert " + input + ": not a video or image the converter can read");
    if (!file.Commit(error))
        throw CliError(error);

    // With the frames on standard output, the geometry goes beside them.
    std::FILE* report = file.IsStandardOutput() ? stderr : stdout;
    std::fprintf(report, "width:  %d\nheight: %d\nlayout: %s\noutput: %s\n", width, height,
                 LayoutNameForMediaFormat(format).c_str(), file.Name().c_str());
    return 0;
}

} // namespace lumo::cli
