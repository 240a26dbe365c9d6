#include <cstdio>
#include <memory>
#include <new>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/InputGeometry.h"
#include "cli/LayoutNames.h"
#include "cli/PngWrite16.h"
#include "cli/OptionValues.h"
#include "cli/RawInput.h"
#include "cli/OutputFile.h"
#include "yuv/FramePng.h"
#include "yuv/YuvConvert.h"

namespace lumo::cli {

int RunExport(const ExportArgs& args)
{
    const std::string& path = args.file;
    const InputGeometry geometry = ResolveGeometry(path, path, args.geometry);
    const FrameSize size = geometry.size;
    const std::string& layout = geometry.layout;
    if (!args.frame)
        throw CliError("missing option '--frame'");
    const int frame = ParseIndex(*args.frame, "--frame");
    const bool viewColours = args.range || args.gamma;
    if (viewColours && args.png16)
        throw CliError("--png16 takes neither --range nor --gamma");
    const int range = args.range ? ParseViewRange(*args.range) : static_cast<int>(ViewRange::Bt601Full);
    const double gamma = args.gamma ? ParseGamma(*args.gamma) : 1.0;
    const std::string output = OutputPath(args.output, "");
    if (output.empty())
        throw CliError("missing option '-o'");
    const RawInput input(path, size, layout, "");
    input.RequireFrame(frame);

    if (output != "-" && SameFile(output, input.Reader().Path()))
        throw CliError("the output " + output + " is the input file itself");
    // The output folder is checked before the frame is converted.
    OutputFile file(output);
    std::string error;
    if (!file.Open(error))
        throw CliError(error);

    FrameSource& source = *input.Source();
    const std::string unreadable = "cannot read frame " + std::to_string(frame) + " of " + source.Path();
    if (args.png16) {
        // The frame at its own depth, converted without rounding to 8 bits.
        const size_t samples = 3 * static_cast<size_t>(size.width) * size.height;
        std::unique_ptr<uint16_t[]> planes(new (std::nothrow) uint16_t[samples]);
        {
            std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[static_cast<size_t>(input.FrameBytes())]);
            if (!raw || !planes || !source.ReadFrame(frame, raw.get()) ||
                !ConvertRawToYuv444Native(raw.get(), size.width, size.height, source.Type(), planes.get(),
                                          ConvertPath::Best))
                throw CliError(unreadable);
        }
        std::unique_ptr<uint16_t[]> rgb(new (std::nothrow) uint16_t[samples]);
        if (!rgb)
            throw CliError("cannot encode " + output + " (out of memory)");
        Yuv444ToRgb48(planes.get(), size.width, size.height, source.BitDepth(), rgb.get());
        planes.reset();
        if (!WritePng16(file, rgb.get(), size.width, size.height, error))
            throw CliError(error);
    } else {
        std::string writeError;
        auto sink = [&](const void* data, size_t bytes) { return file.WriteAll(data, bytes, writeError); };
        const FramePngStatus status =
            viewColours ? WriteFramePng(source, frame, range, gamma, sink) : WriteFramePng(source, frame, sink);
        if (status == FramePngStatus::ReadFailed)
            throw CliError(unreadable);
        if (status == FramePngStatus::SinkFailed)
            throw CliError(writeError);
        if (status == FramePngStatus::EncodeFailed)
            throw CliError("cannot encode " + output + " (out of memory)");
    }
    if (!file.Commit(error))
        throw CliError(error);
    if (!file.IsStandardOutput())
        std::printf("%s: frame %d of %s, %dx%d\n", output.c_str(), frame, input.Reader().Path().c_str(),
                    size.width, size.height);
    return 0;
}

} // namespace lumo::cli
