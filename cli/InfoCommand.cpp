#include <cstdio>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/InputGeometry.h"
#include "cli/LayoutNames.h"
#include "cli/RawInput.h"
#include "yuv/YuvTypeTable.h"

namespace lumo::cli {

int RunInfo(const InfoArgs& args)
{
    const std::string& path = args.file;
    const InputGeometry geometry = ResolveGeometry(path, path, args.geometry);
    const FrameSize size = geometry.size;
    const std::string& layout = geometry.layout;
    const RawInput input(path, size, layout, "");

    YuvTypeInfo info;
    YuvTypeTable::Instance().FindByName(layout, info);
    std::printf("file:       %s\n", input.Reader().Path().c_str());
    std::printf("format:     %s\n", geometry.y4m ? "Y4M (frames behind FRAME headers)" : "raw");
    std::printf("layout:     %s (%s)%s\n", layout.c_str(), info.description.c_str(),
                OriginText(geometry.layoutFrom, "--layout").c_str());
    std::printf("size:       %dx%d%s\n", size.width, size.height, OriginText(geometry.sizeFrom, "--size").c_str());
    if (info.bitDepth != 8)
        std::printf("depth:      %d bits per sample, in 16-bit little-endian words%s\n", info.bitDepth,
                    info.bitShift ? " (the high bits)" : "");
    std::printf("frame size: %lld bytes\n", static_cast<long long>(input.FrameBytes()));
    std::printf("file size:  %lld bytes\n", static_cast<long long>(input.FileBytes()));
    if (geometry.y4m)
        std::printf("frame data: %lld bytes\n", static_cast<long long>(input.DataBytes()));
    if (input.PartialBytes() > 0)
        std::printf("frames:     %d (the last one is partial: %lld of %lld bytes, read padded with zeros)\n",
                    input.FrameCount(), static_cast<long long>(input.PartialBytes()),
                    static_cast<long long>(input.FrameBytes()));
    else
        std::printf("frames:     %d\n", input.FrameCount());
    return 0;
}

} // namespace lumo::cli
