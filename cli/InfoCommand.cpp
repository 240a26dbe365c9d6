#include <cstdio>
#include <string>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/InputGeometry.h"
#include "cli/LayoutNames.h"
#include "cli/RawInput.h"
#include "yuv/YuvTypeTable.h"

namespace lumo::cli {
namespace {

// "25", "29.97", "23.976": at most three decimals, no trailing zeros (a
// header's F1:10000 in full).
std::string RateText(double fps)
{
    char text[64];
    std::snprintf(text, sizeof(text), fps < 0.001 ? "%g" : "%.3f", fps);
    std::string rate = text;
    if (rate.find('.') != std::string::npos && rate.find('e') == std::string::npos) {
        rate.erase(rate.find_last_not_of('0') + 1);
        if (rate.back() == '.')
            rate.pop_back();
    }
    return rate;
}

} // namespace

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
    if (geometry.fpsFrom != Origin::None)
        std::printf("rate:       %s fps%s\n", RateText(geometry.fps).c_str(), OriginText(geometry.fpsFrom, "").c_str());
    else if (geometry.y4m)
        std::printf("rate:       unknown, neither the Y4M header nor the file name gives one\n");
    else
        std::printf("rate:       unknown, the file name gives none\n");
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
