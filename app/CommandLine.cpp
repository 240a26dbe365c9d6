#include "app/CommandLine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/Version.h"
#include "open/ChosenFile.h"
#include "yuv/GeometryPolicy.h"
#include "yuv/RawFrameSource.h"

namespace {

const char kUsage[] =
    "Usage: yuvlumo [FILE...] [--size WxH] [--layout L]\n"
    "       yuvlumo --compare A B [--size WxH] [--layout L]\n"
    "\n"
    "Opens raw YUV and Y4M files in YUV Lumo, one row each. A Y4M file gives its\n"
    "own size and layout; for a raw file --size and --layout win, then what the\n"
    "file name tells (foreman_352x288_nv12.yuv, news_cif.yuv); a file whose size\n"
    "or layout stays unknown is opened through the open-file dialog. A flag that\n"
    "contradicts a Y4M header and names no raw file is refused. Encoded video\n"
    "(mp4, mkv, webm, ivf, 265 ...) is decoded in place, with its stream's size\n"
    "and layout.\n"
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

// The files as the geometry policy settles them. With --compare, a problem
// of either file is an error; otherwise only a flag that contradicts a Y4M
// header is (a damaged file gets its message, and a file whose size or
// layout stays unknown the open-file dialog, once the window exists). The
// media files the dialog converts take no flag. Empty message on success.
std::string ResolveFiles(StartupRequest& request, const lumo::SizeFlag& size, const lumo::LayoutFlag& layout)
{
    std::vector<lumo::NamedFile> named;
    std::vector<std::string> names;
    for (const std::string& file : request.files) {
        // Without --compare, media files open once the window exists
        // (encoded video in place, its packets read off the GUI thread).
        if (!request.compare && (LooksLikeMedia(QString::fromStdString(file)) || lumo::NamesEncodedVideo(file)))
            continue;
        const int fallback = request.compare && !named.empty() ? 0 : -1;
        named.push_back(lumo::NamedFile{lumo::GuessFile(file), &size, &layout, fallback});
        names.push_back(request.compare ? std::string(named.size() == 1 ? "A" : "B") + " (" + file + ")" : file);
    }
    const std::vector<lumo::FileGeometry> resolved = lumo::ResolveGeometry(named);
    for (size_t i = 0; i < resolved.size(); ++i) {
        const std::string contradiction = lumo::ContradictionText(named[i], resolved[i], names[i]);
        if (!contradiction.empty())
            return contradiction;
        if (!request.compare)
            continue;
        if (resolved[i].problem == lumo::GeometryProblem::DamagedY4m)
            return "cannot open " + names[i] + ": " + lumo::Y4mStatusText(named[i].guess.y4m);
        if (lumo::NamesEncodedVideo(request.files[i]) && !named[i].guess.isEncoded)
            return "cannot open " + names[i] + ": it is not a video FFmpeg can decode";
        if (resolved[i].problem == lumo::GeometryProblem::NoSize)
            return "the name of " + names[i] + " gives no size: pass --size WxH";
    }
    if (request.compare) {
        const lumo::FileGeometry& a = resolved[0];
        const lumo::FileGeometry& b = resolved[1];
        request.compareA = lumo::LumoYuvReader(request.files[0], a.width, a.height, a.type);
        request.compareB = lumo::LumoYuvReader(request.files[1], b.width, b.height, b.type);
    }
    return std::string();
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine result;
    StartupRequest& request = result.request;
    lumo::SizeFlag size;
    lumo::LayoutFlag layout;
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
            if (lumo::ParseSizeText(value, &request.width, &request.height) != lumo::SizeTextStatus::Ok)
                return Fail("bad size '" + value + "' for --size: expected WIDTHxHEIGHT, each from 1 to 16384");
            size.text = value;
            size.width = request.width;
            size.height = request.height;
        } else {
            request.type = lumo::LayoutFromUserText(value);
            if (request.type.empty())
                return Fail("unknown layout '" + value + "' for --layout (nv12, i420, yuv420p, p010le, ...)");
            layout.text = value;
            layout.type = request.type;
        }
    }
    for (std::string& file : request.files) {
        const std::string problem = FileProblem(file);
        if (!problem.empty())
            return Fail("cannot open " + file + ": " + problem);
        file = Absolute(file);
    }
    if (request.compare && request.files.size() != 2)
        return Fail("--compare needs two files (yuvlumo --compare A B [--size WxH] [--layout L])");
    // Without --compare and without flags nothing can be wrong yet.
    if (request.compare || size.Given() || layout.Given()) {
        const std::string problem = ResolveFiles(request, size, layout);
        if (!problem.empty())
            return Fail(problem);
    }
    return result;
}
