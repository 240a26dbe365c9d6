#include <cstdio>

#include "cli/CliError.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LayoutNames.h"
#include "cli/RawInput.h"
#include "yuv/YuvTypeTable.h"

namespace lumo::cli {

int RunInfo(const std::vector<std::string>& args)
{
    const CliOptions options(args, {"--size", "--layout"});
    if (options.Positionals().size() != 1)
        throw CliError("info needs exactly one file (yuvlumo-cli info FILE --size WxH --layout L)");
    const FrameSize size = ParseFrameSize(options.Required("--size"), "--size");
    const std::string layout = RequireLayoutName(options.Value("--layout", "YUV_TYPE_I420"));
    const RawInput input(options.Positionals()[0], size, layout, "");

    YuvTypeInfo info;
    YuvTypeTable::Instance().FindByName(layout, info);
    std::printf("file:       %s\n", input.Reader().Path().c_str());
    std::printf("layout:     %s (%s)\n", layout.c_str(), info.description.c_str());
    std::printf("size:       %dx%d\n", size.width, size.height);
    if (info.bitDepth != 8)
        std::printf("depth:      %d bits per sample, in 16-bit little-endian words%s\n", info.bitDepth,
                    info.bitShift ? " (the high bits)" : "");
    std::printf("frame size: %lld bytes\n", static_cast<long long>(input.FrameBytes()));
    std::printf("file size:  %lld bytes\n", static_cast<long long>(input.FileBytes()));
    if (input.PartialBytes() > 0)
        std::printf("frames:     %d (the last one is partial: %lld of %lld bytes, read padded with zeros)\n",
                    input.FrameCount(), static_cast<long long>(input.PartialBytes()),
                    static_cast<long long>(input.FrameBytes()));
    else
        std::printf("frames:     %d\n", input.FrameCount());
    return 0;
}

} // namespace lumo::cli
