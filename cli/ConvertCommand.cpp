#include <csignal>
#include <cstdio>

#include "cli/CliError.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LayoutNames.h"
#include "cli/RawInput.h"
#include "media/LumoReader.h"
#include "media/MediaLayout.h"
#include "cli/TempOutputFile.h"

namespace lumo::cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int)
{
    g_interrupted = 1;
    LumoReader::RequestStopAll();
}

// Ctrl-C during a conversion stops the converter, which removes what it wrote.
class InterruptGuard {
public:
    InterruptGuard()
    {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~InterruptGuard()
    {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

} // namespace

int RunConvert(const std::vector<std::string>& args)
{
    const CliOptions options(args, {"-o", "--output"});
    if (options.Positionals().size() != 1)
        throw CliError("convert needs exactly one media file (yuvlumo-cli convert MEDIA [-o OUT.yuv])");
    const std::string input = options.Positionals()[0];
    const std::string output =
        options.Has("-o") ? options.Required("-o") : options.Value("--output", input + ".yuv");

    RequireRegularFile(input, input);
    if (SameFile(output, input))
        throw CliError("the output " + output + " is the input file itself");

    TempOutputFile file(output);
    std::string error;
    if (!file.Create(error))
        throw CliError(error);
    file.CloseFd();

    int width = -1;
    int height = -1;
    Lumer::LumerAVPixelFormat format = Lumer::LUMER_PIX_FMT_YUV420P;
    int result = -1;
    {
        InterruptGuard guard;
        LumoReader reader;
        result = reader.Read2File(input, file.Path(), width, height, format);
    }
    if (g_interrupted)
        throw CliError("interrupted; nothing written");
    if (result != 0 || width <= 0 || height <= 0)
        throw CliError("cannot convert " + input + ": not a video or image the converter can read");
    if (!file.Commit(error))
        throw CliError(error);

    std::printf("width:  %d\nheight: %d\nlayout: %s\noutput: %s\n", width, height,
                LayoutNameForMediaFormat(format).c_str(), output.c_str());
    return 0;
}

} // namespace lumo::cli
