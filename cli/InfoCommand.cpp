#include <cstdio>
#include <vector>
#include <string>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/InputGeometry.h"
#include "cli/LayoutNames.h"
#include "cli/RawInput.h"
#include "media/EncodedSource.h"
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
    auto* encoded = dynamic_cast<EncodedSource*>(input.Source().get());
    std::printf("format:     %s\n", encoded ? "encoded video, decoded in place"
                                   : geometry.y4m ? "Y4M (frames behind FRAME headers)"
                                                  : "raw");
    if (encoded) {
        const EncodedStreamInfo& stream = encoded->StreamInfo();
        std::printf("container:  %s\n", stream.container.c_str());
        std::printf("codec:      %s\n", stream.codec.c_str());
        std::printf("pixels:     %s%s\n", stream.pixelFormat.c_str(),
                    stream.lossy ? " (converted, lossy)" : stream.converted ? " (converted, lossless)" : "");
        if (stream.fullRange)
            std::printf("range:      full\n");
    }
    const bool fromStream = encoded != nullptr;
    std::printf("layout:     %s (%s)%s\n", layout.c_str(), info.description.c_str(),
                OriginText(geometry.layoutFrom, "--layout", fromStream).c_str());
    std::printf("size:       %dx%d%s\n", size.width, size.height,
                OriginText(geometry.sizeFrom, "--size", fromStream).c_str());
    if (encoded) {
        std::printf("fps:        %s\n", geometry.fps > 0 ? RateText(geometry.fps).c_str() : "unknown");
        const double kbps = encoded->BitrateKbps();
        if (kbps > 0)
            std::printf("bitrate:    %.3f kbit/s\n", kbps);
        else
            std::printf("bitrate:    unknown, the stream states no frame rate\n");
    }
    if (geometry.fpsFrom != Origin::None)
        std::printf("rate:       %s fps%s\n", RateText(geometry.fps).c_str(),
                    OriginText(geometry.fpsFrom, "", fromStream).c_str());
    else if (encoded)
        std::printf("rate:       unknown, the stream states none\n");
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
    if (encoded) {
        const std::vector<int> failed = encoded->FailedFrames();
        if (!failed.empty())
            std::printf("damaged:    %zu frames do not decode (the first: %d)\n", failed.size(), failed.front());
    }
    if (input.PartialBytes() > 0)
        std::printf("frames:     %d (the last one is partial: %lld of %lld bytes, read padded with zeros)\n",
                    input.FrameCount(), static_cast<long long>(input.PartialBytes()),
                    static_cast<long long>(input.FrameBytes()));
    else
        std::printf("frames:     %d\n", input.FrameCount());
    return 0;
}

} // namespace lumo::cli
