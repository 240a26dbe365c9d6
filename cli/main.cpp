// yuvlumo-cli: the command-line companion of YUV Lumo.
#include <malloc.h>

#include <cerrno>

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/LayoutNames.h"
#include "cli/SignalCleanup.h"
#include "yuv/YuvTypeTable.h"

#ifndef YUVLUMO_VERSION
#define YUVLUMO_VERSION "unknown"
#endif

namespace lumo::cli {

void PrintHelp(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: yuvlumo-cli COMMAND [ARGS]\n"
                 "\n"
                 "  info FILE [--size WxH] [--layout L]\n"
                 "      layout, frame size in bytes and frame count of a raw YUV or Y4M file,\n"
                 "      and where each value came from\n"
                 "  compare A B [--size WxH] [--layout L] [--layout-b L2] [--size-b WxH]\n"
                 "          [--frames FIRST:LAST] [--range bt709|bt601|bt601full]\n"
                 "          [--metrics all|psnr] [--format table|csv|json] [--jobs N] [-o OUT]\n"
                 "      per-frame MSE, PSNR and SSIM_GRAY of two raw YUV or Y4M files of one size,\n"
                 "      as the analysis window computes them; range defaults to bt601full,\n"
                 "      frames to every frame both files have (FIRST:LAST is inclusive);\n"
                 "      the report goes to standard output, or to OUT once it is complete;\n"
                 "      --jobs defaults to one worker per core (fewer for very large frames)\n"
                 "  export FILE [--size WxH] [--layout L] --frame N [--png16] -o OUT.png\n"
                 "      one frame as an RGB PNG, 8 bits per channel or, with --png16, 16\n"
                 "  convert MEDIA [-o OUT.yuv]\n"
                 "      a video or image file to raw YUV (default output MEDIA.yuv)\n"
                 "\n"
                 "A Y4M file gives its own size and layout. For a raw file, --size and --layout\n"
                 "may be left out where the file name tells them: foreman_352x288_nv12.yuv,\n"
                 "news_cif.yuv (I420 when the file holds whole I420 frames). B takes A's values\n"
                 "where nothing else gives them.\n"
                 "The layout defaults to I420. Layouts deeper than 8 bits are compared at their own\n"
                 "depth, and only with files of the same depth. -o - writes to standard output\n"
                 "(convert then prints width, height and layout on standard error); --output is\n"
                 "the long name of -o. Bad input gives a one-line message and exit status 2.\n"
                 "\n"
                 "Layouts (either name, any case):\n");
    const YuvTypeTable& table = YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        YuvTypeInfo info;
        if (table.GetByIndex(i, info) == 0)
            std::fprintf(out, "  %-14s %-24s %s\n",
                         (info.ffmpegName.empty() ? ShortLayoutName(info.name) : info.ffmpegName).c_str(),
                         info.name.c_str(), info.description.c_str());
    }
}

} // namespace lumo::cli

namespace {

int Dispatch(std::vector<std::string> args)
{
    using namespace lumo::cli;
    if (args.empty()) {
        std::fprintf(stderr, "yuvlumo-cli: no command given (try yuvlumo-cli --help)\n");
        return 2;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h")
            args = {"--help"};
    }
    if (command == "--help" || command == "-h" || command == "help" || (!args.empty() && args[0] == "--help")) {
        PrintHelp(stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("yuvlumo-cli %s\n", YUVLUMO_VERSION);
        return 0;
    }
    try {
        if (command == "info")
            return RunInfo(args);
        if (command == "compare")
            return RunCompare(args);
        if (command == "export")
            return RunExport(args);
        if (command == "convert")
            return RunConvert(args);
        throw CliError("unknown command '" + command + "' (try yuvlumo-cli --help)");
    } catch (const CliError& e) {
        std::fprintf(stderr, "yuvlumo-cli: %s\n", e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "yuvlumo-cli: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "yuvlumo-cli: %s\n", e.what());
    }
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // Frame buffers of several megabytes are allocated and freed for every
    // frame; keep them in the heap instead of mapping fresh zeroed pages each
    // time, which costs more than the comparison itself.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    lumo::cli::InstallSignalCleanup();
    const int status = Dispatch(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    // What was printed may still sit in the buffer: a full disk or a closed
    // descriptor shows only now.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        if (status == 0)
            std::fprintf(stderr, "yuvlumo-cli: cannot write standard output: %s\n", std::strerror(errno));
        return 2;
    }
    return status;
}
