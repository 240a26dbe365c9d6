#include <stb/stb_image_write.h>

#include <cstdio>
#include <memory>

#include "cli/CliError.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LayoutNames.h"
#include "cli/RawInput.h"
#include "cli/TempOutputFile.h"

namespace lumo::cli {
namespace {

struct PngSink {
    TempOutputFile* file;
    bool ok;
    std::string error;
};

void WritePngBytes(void* context, void* data, int size)
{
    auto* sink = static_cast<PngSink*>(context);
    if (sink->ok && size > 0)
        sink->ok = sink->file->WriteAll(data, static_cast<size_t>(size), sink->error);
}

} // namespace

int RunExport(const std::vector<std::string>& args)
{
    const CliOptions options(args, {"--size", "--layout", "--frame", "-o", "--output"});
    if (options.Positionals().size() != 1)
        throw CliError("export needs exactly one file (yuvlumo-cli export FILE --size WxH --layout L --frame N -o OUT.png)");
    const FrameSize size = ParseFrameSize(options.Required("--size"), "--size");
    const std::string layout = RequireLayoutName(options.Value("--layout", "YUV_TYPE_I420"));
    const int frame = ParseIndex(options.Required("--frame"), "--frame");
    const std::string output = options.Has("-o") ? options.Required("-o") : options.Required("--output");
    const RawInput input(options.Positionals()[0], size, layout, "");
    input.RequireFrame(frame);

    if (SameFile(output, input.Reader().Path()))
        throw CliError("the output " + output + " is the input file itself");
    // The output folder is checked before the frame is converted.
    TempOutputFile file(output);
    std::string error;
    if (!file.Create(error))
        throw CliError(error);

    int64_t got = 0;
    std::unique_ptr<uint8_t[]> rgb(
        input.Reader().ReadFrameRGB24(nullptr, &got, static_cast<int64_t>(frame) * input.FrameBytes()));
    if (!rgb || got <= 0)
        throw CliError("cannot read frame " + std::to_string(frame) + " of " + input.Reader().Path());

    PngSink sink{&file, true, std::string()};
    const int written = stbi_write_png_to_func(WritePngBytes, &sink, size.width, size.height, 3, rgb.get(),
                                               size.width * 3);
    if (!sink.ok)
        throw CliError(sink.error);
    if (!written)
        throw CliError("cannot encode " + output + " (out of memory)");
    if (!file.Commit(error))
        throw CliError(error);
    std::printf("%s: frame %d of %s, %dx%d\n", output.c_str(), frame, input.Reader().Path().c_str(), size.width,
                size.height);
    return 0;
}

} // namespace lumo::cli
