#include "app/CommandLine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/Version.h"
#include "yuv/YuvGuess.h"

namespace {

const char kUsage[] =
    "Usage: yuvlumo [FILE...] [--size WxH] [--layout L]\n"
    "       yuvlumo --compare A B [--size WxH] [--layout L]\n"
    "\n"
    "Opens raw YUV and Y4M files in YUV Lumo, one row each. A Y4M file gives its\n"
    "own size and layout; for a raw file --size and --layout win, then what the\n"
    "file name tells (foreman_352x288_nv12.yuv, news_cif.yuv); a file whose size\n"
    "or layout stays unknown is opened through the open-file dialog.\n"
    "\n"
    "  --size WxH     frame width and height, each from 1 to 16384\n"
    "  --layout L     pixel layout: nv12, I420, yuv420p, YUV_TYPE_NV12, p010le, ...\n"
    "  --compare A B  an analysis window comparing A and B (B takes A's size and\n"
    "                 layout where nothing else gives them)\n"
    "  --help         this text\n"
    "  --version      the version\n"
    "\n"
    "Bad arguments give one line on standard error and exit status 2.\n";

CommandLine Fail(const std::string& message)
{
    CommandLine result;
    result.exitCode = 2;
    result.toStderr = true;
    result.text = "yuvlumo: " + message + "\n";
    return result;
}

// 1 to 16384, else 0.
int Dimension(const std::string& digits)
{
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int value = std::stoi(digits);
    return value <= lumo::kMaxGuessDimension ? value : 0;
}

// "" when the path is a regular file, else why it cannot be opened.
std::string FileProblem(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    return S_ISREG(st.st_mode) ? std::string() : "not a regular file";
}

// Rows outlive the folder the program was started in: paths are stored
// absolute.
std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char folder[4096];
    if (!::getcwd(folder, sizeof(folder)))
        return path;
    return std::string(folder) + "/" + path;
}

// The reader --compare opens: a Y4M file as its header says; a raw file
// with the options, then its name, then `fallback`'s values. Empty message
// on success.
std::string CompareReader(const std::string& path, const std::string& label, const StartupRequest& request,
                          const lumo::LumoYuvReader* fallback, lumo::LumoYuvReader* reader)
{
    const lumo::YuvGuess guess = lumo::GuessFile(path);
    if (guess.isY4m && guess.y4m.status != lumo::Y4mStatus::Ok)
        return "cannot open " + label + " (" + path + "): " + lumo::Y4mStatusText(guess.y4m);
    int width = guess.width;
    int height = guess.height;
    std::string type = guess.type;
    if (!guess.isY4m) {
        if (request.width > 0) {
            width = request.width;
            height = request.height;
        } else if (!guess.HasSize() && fallback) {
            width = fallback->Width();
            height = fallback->Height();
        }
        if (!request.type.empty())
            type = request.type;
        else if (!guess.HasType())
            type = fallback ? fallback->Type() : "YUV_TYPE_I420";
    }
    if (width <= 0 || height <= 0)
        return "the name of " + label + " (" + path + ") gives no size: pass --size WxH";
    *reader = lumo::LumoYuvReader(path, width, height, type);
    return std::string();
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine result;
    StartupRequest& request = result.request;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            request.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            result.exitCode = 0;
            result.text = kUsage;
            return result;
        }
        if (arg == "--version") {
            result.exitCode = 0;
            result.text = std::string("yuvlumo ") + lumo::kAppVersion + "\n";
            return result;
        }
        if (arg == "--compare") {
            request.compare = true;
            continue;
        }
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        if (name != "--size" && name != "--layout")
            return Fail("unknown option '" + name + "' (see yuvlumo --help)");
        std::string value;
        if (eq != std::string::npos)
            value = arg.substr(eq + 1);
        else if (i + 1 < args.size())
            value = args[++i];
        else
            return Fail("option '" + name + "' needs a value");
        if (name == "--size") {
            const size_t x = value.find_first_of("xX");
            request.width = x == std::string::npos ? 0 : Dimension(value.substr(0, x));
            request.height = x == std::string::npos ? 0 : Dimension(value.substr(x + 1));
            if (request.width == 0 || request.height == 0)
                return Fail("bad size '" + value + "' for --size: expected WIDTHxHEIGHT, each from 1 to 16384");
        } else {
            request.type = lumo::LayoutFromUserText(value);
            if (request.type.empty())
                return Fail("unknown layout '" + value + "' for --layout (nv12, i420, yuv420p, p010le, ...)");
        }
    }
    for (std::string& file : request.files) {
        const std::string problem = FileProblem(file);
        if (!problem.empty())
            return Fail("cannot open " + file + ": " + problem);
        file = Absolute(file);
    }
    if (request.compare) {
        if (request.files.size() != 2)
            return Fail("--compare needs two files (yuvlumo --compare A B [--size WxH] [--layout L])");
        std::string problem = CompareReader(request.files[0], "A", request, nullptr, &request.compareA);
        if (problem.empty())
            problem = CompareReader(request.files[1], "B", request, &request.compareA, &request.compareB);
        if (!problem.empty())
            return Fail(problem);
    }
    return result;
}
