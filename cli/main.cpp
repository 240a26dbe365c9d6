// yuvlumo-cli: the command-line companion of YUV Lumo.
#include <malloc.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/LayoutNames.h"
#include "cli/SignalCleanup.h"
#include "media/EncodedSource.h"
#include "yuv/YuvTypeTable.h"

#ifndef YUVLUMO_VERSION
#define YUVLUMO_VERSION "unknown"
#endif

namespace lumo::cli {
namespace {

const char* const kNotes =
    "A Y4M file gives its own size and layout. For a raw file, --size and --layout\n"
    "may be left out where the file name tells them: foreman_352x288_nv12.yuv,\n"
    "news_cif.yuv (I420 when the file holds whole I420 frames). B takes A's values\n"
    "where nothing else gives them. A flag that contradicts a Y4M header is for\n"
    "the raw file named with it, and refused when there is none.\n"
    "The layout defaults to I420. Layouts deeper than 8 bits are compared at their own\n"
    "depth, and only with files of the same depth. -o - writes to standard output\n"
    "(convert then prints width, height and layout on standard error); --output is\n"
    "the long name of -o. Bad input gives a one-line message and exit status 2.\n";

// The notes and every layout of the table, under the options.
std::string HelpFooter()
{
    std::string text = std::string(kNotes) + "\nLayouts (either name, any case):\n";
    const YuvTypeTable& table = YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        const YuvTypeInfo& info = *table.At(i);
        // Deep layouts are listed by FFmpeg's name, the 8-bit ones by their
        // short name (both are taken).
        const std::string& listed = info.bitDepth > 8 && !info.ffmpegName.empty() ? info.ffmpegName : info.shortName;
        char line[160];
        std::snprintf(line, sizeof line, "  %-14s %-24s %s\n", listed.c_str(), info.name.c_str(),
                      info.description.c_str());
        text += line;
    }
    return text;
}

// An option whose absence differs from an empty value.
CLI::Option* AddOptional(CLI::App& command, const std::string& names, std::optional<std::string>& target,
                         const std::string& help)
{
    return command.add_option_function<std::string>(
        names, [&target](const std::string& value) { target = value; }, help);
}

// --size and --layout; `where` says when they are needed.
void AddGeometry(CLI::App& command, GeometryOptions& geometry, const std::string& where)
{
    command.add_option("--size", geometry.size, "frame width and height, where " + where)->type_name("WxH");
    command.add_option("--layout", geometry.layout, "layout, where " + where + " (default I420)")->type_name("L");
}

// CLI11 reads "--name=" with nothing after the "=" as "--name" alone and
// takes the next argument as its value; an empty value stays one here.
std::vector<std::string> KeepEmptyValues(const std::vector<std::string>& args)
{
    std::vector<std::string> out;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        optionsEnded = optionsEnded || arg == "--";
        if (!optionsEnded && arg.size() > 3 && arg.compare(0, 2, "--") == 0 && arg.find('=') == arg.size() - 1) {
            out.push_back(arg.substr(0, arg.size() - 1));
            out.emplace_back();
        } else {
            out.push_back(arg);
        }
    }
    return out;
}

// CLI11's messages in this program's one-line form.
std::string FailureText(const CLI::ParseError& e, const std::vector<std::string>& args)
{
    std::string text = e.what();
    // "--size: 1 required WxH missing": the arguments ran out, so the option
    // is the last one, named as the user typed it.
    if (e.get_name() == "ArgumentMismatch" && text.find(" required ") != std::string::npos && !args.empty())
        return "option '" + args.back() + "' needs a value";
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// A subcommand, the files it takes (for the message when they are not all
// there, or there are more) and what runs it.
struct Command {
    CLI::App* app;
    std::vector<CLI::Option*> files;
    const char* usage;
    std::function<int()> run;
};

struct FileArg {
    const char* name;
    std::string* target;
    const char* help;
};

CLI::App& AddCommand(CLI::App& app, std::vector<Command>& commands, const char* name, const char* help,
                     const std::vector<FileArg>& files, const char* usage, std::function<int()> run)
{
    CLI::App* command = app.add_subcommand(name, help);
    Command entry{command, {}, usage, std::move(run)};
    for (const FileArg& file : files)
        entry.files.push_back(command->add_option(file.name, *file.target, file.help)->type_name("")->required());
    commands.push_back(std::move(entry));
    return *command;
}

// What no option took: an unknown option, an unknown command or a file too
// many; then a file too few.
void RequireExactArguments(const CLI::App& app, const std::vector<Command>& commands,
                           const std::vector<std::string>& args)
{
    // A leftover is an option only where it stands before "--" (CLI11 may
    // keep the "--" itself among them).
    const auto optionsEnd = std::find(args.begin(), args.end(), "--");
    std::vector<std::string> extra;
    for (const std::string& arg : app.remaining(true)) {
        if (arg == "--")
            continue;
        if (arg.size() > 1 && arg[0] == '-' && std::find(args.begin(), optionsEnd, arg) != optionsEnd)
            throw CliError("unknown option '" + arg.substr(0, arg.find('=')) + "' (see --help)");
        extra.push_back(arg);
    }
    const auto chosen = std::find_if(commands.begin(), commands.end(),
                                     [](const Command& command) { return command.app->parsed(); });
    if (chosen == commands.end()) {
        if (!extra.empty())
            throw CliError("unknown command '" + extra.front() + "' (try yuvlumo-cli --help)");
        return;
    }
    const bool allGiven = std::all_of(chosen->files.begin(), chosen->files.end(),
                                      [](const CLI::Option* file) { return file->count() > 0; });
    if (!allGiven || !extra.empty())
        throw CliError(chosen->usage);
}

int Dispatch(const std::vector<std::string>& args)
{
    CLI::App app("Measures, exports and converts raw YUV and Y4M video; the command-line companion of YUV Lumo.",
                 "yuvlumo-cli");
    app.set_version_flag("--version", std::string("yuvlumo-cli ") + YUVLUMO_VERSION, "print the version");
    app.set_help_flag("-h,--help", "print this help (after a command: that command's)");
    // Unknown arguments are refused below, in this program's words; a
    // repeated option keeps its last value.
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.require_subcommand(0, 1);
    app.footer(HelpFooter());
    app.get_formatter()->label("REQUIRED", ""); // the usage line shows the files a command needs

    std::vector<Command> commands;
    InfoArgs info;
    CLI::App& infoCommand = AddCommand(
        app, commands, "info",
        "layout, frame size in bytes and frame count of a raw YUV or Y4M file, and where each value came from",
        {{"FILE", &info.file, "a raw YUV or Y4M file"}},
        "info needs exactly one file (yuvlumo-cli info FILE [--size WxH] [--layout L])", [&] { return RunInfo(info); });
    AddGeometry(infoCommand, info.geometry, "neither the file's name nor its Y4M header tells");

    CompareArgs compare;
    CLI::App& compareCommand = AddCommand(
        app, commands, "compare",
        "per-frame MSE, PSNR and SSIM_GRAY of two raw YUV or Y4M files of one size, as the analysis window "
        "computes them",
        {{"A", &compare.fileA, "the reference, a raw YUV or Y4M file"},
         {"B", &compare.fileB, "the file compared with it"}},
        "compare needs exactly two files (yuvlumo-cli compare A B [--size WxH] [--layout L])",
        [&] { return RunCompare(std::move(compare)); });
    AddGeometry(compareCommand, compare.geometryA, "neither the files' names nor their Y4M headers tell");
    compareCommand.add_option("--size-b", compare.geometryB.size, "B's frame size, where it differs from --size")
        ->type_name("WxH");
    compareCommand.add_option("--layout-b", compare.geometryB.layout, "B's layout, where it differs from --layout")
        ->type_name("L2");
    AddOptional(compareCommand, "--frames", compare.frames,
                "inclusive range of frames, or one frame (default: every frame both files have)")
        ->type_name("FIRST:LAST");
    compareCommand.add_option("--range", compare.range, "colour range for SSIM_GRAY (default bt601full)")
        ->type_name("bt709|bt601|bt601full");
    compareCommand
        .add_option("--metrics", compare.metrics,
                    "comma-separated: psnr, ssim_gray, ssim (Y, U, V), ms_ssim, psnr_yuv; all is psnr,ssim_gray "
                    "(the default), every is all five")
        ->type_name("LIST");
    AddOptional(compareCommand, "--roi", compare.roi, "measure only this rectangle, in luma pixels")
        ->type_name("X,Y,W,H");
    compareCommand.add_option("--format", compare.format, "report format (default table)")
        ->type_name("table|csv|json");
    AddOptional(compareCommand, "--jobs", compare.jobs,
                "worker threads, at most 256 (default: one per core, fewer for very large frames)")
        ->type_name("N");
    AddOptional(compareCommand, "-o,--output", compare.output,
                "write the report to OUT once it is complete (default: standard output)")
        ->type_name("OUT");

    RdArgs rd;
    CLI::App& rdCommand = AddCommand(
        app, commands, "rd",
        "one CSV row per encode: its bitrate and the sequence means of the chosen metrics against the reference",
        {{"REF", &rd.reference, "the reference, a raw YUV or Y4M file"}},
        "rd needs a reference and at least one encode (yuvlumo-cli rd REF ENC1 ENC2 ... --bitrates B1,B2,...)",
        [&] { return RunRd(rd); });
    commands.back().files.push_back(
        rdCommand.add_option("ENC", rd.encodes, "the decoded encodes, raw YUV or Y4M")->type_name("")->required());
    AddGeometry(rdCommand, rd.geometry, "neither the files' names nor their Y4M headers tell");
    AddOptional(rdCommand, "--bitrates", rd.bitrates, "each encode's video bitrate in kbit/s, in order (needed unless every encode is encoded video, whose stream gives it)")
        ->type_name("B1,B2,...");
    AddOptional(rdCommand, "--frames", rd.frames, "inclusive range of frames (default: every frame in common)")
        ->type_name("FIRST:LAST");
    rdCommand.add_option("--range", rd.range, "colour range for SSIM_GRAY (default bt601full)")
        ->type_name("bt709|bt601|bt601full");
    rdCommand.add_option("--metrics", rd.metrics, "as compare's (default all: psnr,ssim_gray)")->type_name("LIST");
    AddOptional(rdCommand, "--roi", rd.roi, "measure only this rectangle, in luma pixels")->type_name("X,Y,W,H");
    AddOptional(rdCommand, "--jobs", rd.jobs, "worker threads, at most 256 (default: one per core)")->type_name("N");
    AddOptional(rdCommand, "-o,--output", rd.output, "write the CSV to OUT (default: standard output)")
        ->type_name("OUT");

    BdRateArgs bd;
    CLI::App& bdCommand = AddCommand(
        app, commands, "bdrate",
        "Bjontegaard delta rate (percent) and delta metric of a test curve against an anchor, from two rd tables",
        {{"ANCHOR", &bd.anchor, "a CSV with a bitrate column and the metric column"},
         {"TEST", &bd.test, "the same for the test"}},
        "bdrate needs exactly two CSV files (yuvlumo-cli bdrate ANCHOR.csv TEST.csv [--metric COLUMN])",
        [&] { return RunBdRate(bd); });
    bdCommand.add_option("--metric", bd.metric, "the quality column (default psnr_y)")->type_name("COLUMN");
    bdCommand.add_option("--method", bd.method, "interpolation (default pchip)")->type_name("pchip|poly");
    bdCommand.add_option("--format", bd.format, "report format (default table)")->type_name("table|json");

    ExportArgs exportArgs;
    CLI::App& exportCommand = AddCommand(
        app, commands, "export", "one frame as an RGB PNG, 8 bits per channel or, with --png16, 16",
        {{"FILE", &exportArgs.file, "a raw YUV or Y4M file"}},
        "export needs exactly one file (yuvlumo-cli export FILE [--size WxH] [--layout L] --frame N -o OUT.png)",
        [&] { return RunExport(exportArgs); });
    AddGeometry(exportCommand, exportArgs.geometry, "neither the file's name nor its Y4M header tells");
    AddOptional(exportCommand, "--frame", exportArgs.frame, "the frame, counted from 0 (needed)")->type_name("N");
    exportCommand.add_flag("--png16", exportArgs.png16, "16 bits per channel, from the samples at their own depth");
    AddOptional(exportCommand, "--range", exportArgs.range,
                "the colours as the analysis window draws them with this range (default bt601full once --gamma "
                "is given); without --range and --gamma, the fixed BT.601 video-range formula")
        ->type_name("bt709|bt601|bt601full");
    AddOptional(exportCommand, "--gamma", exportArgs.gamma, "gamma from 0 to 10, as in the analysis window (default 1)")
        ->type_name("G");
    AddOptional(exportCommand, "-o,--output", exportArgs.output, "the PNG file (needed)")->type_name("OUT.png");

    ConvertArgs convert;
    CLI::App& convertCommand = AddCommand(
        app, commands, "convert", "a video or image file to raw YUV",
        {{"MEDIA", &convert.media, "a video or image file FFmpeg reads"}},
        "convert needs exactly one media file (yuvlumo-cli convert MEDIA [-o OUT.yuv])",
        [&] { return RunConvert(convert); });
    AddOptional(convertCommand, "-o,--output", convert.output, "the raw YUV file (default MEDIA.yuv)")
        ->type_name("OUT.yuv");

    AddCommand(app, commands, "help", "print this help", {}, "help takes no arguments (try yuvlumo-cli --help)", [&app] {
        std::fputs(app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::All).c_str(), stdout);
        return 0;
    }).group("");

    try {
        try {
            std::vector<std::string> reversed = KeepEmptyValues(args);
            std::reverse(reversed.begin(), reversed.end()); // CLI11 takes them from the back
            app.parse(reversed);
        } catch (const CLI::CallForHelp&) {
            // Every command's options at the top, one command's after it.
            std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
            return 0;
        } catch (const CLI::CallForVersion& e) {
            std::printf("%s\n", e.what());
            return 0;
        } catch (const CLI::ParseError& e) {
            // A missing file is told with the command's usage, after any
            // unknown option.
            if (e.get_name() == "RequiredError")
                RequireExactArguments(app, commands, args);
            throw CliError(FailureText(e, args));
        }
        RequireExactArguments(app, commands, args);
        for (const Command& command : commands)
            if (command.app->parsed())
                return command.run();
        throw CliError("no command given (try yuvlumo-cli --help)");
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
} // namespace lumo::cli

int main(int argc, char** argv)
{
    // Frame buffers of several megabytes are allocated and freed for every
    // frame; keep them in the heap instead of mapping fresh zeroed pages each
    // time, which costs more than the comparison itself.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    lumo::cli::InstallSignalCleanup();
    // The commands read frames in order: a few decoded frames are enough.
    lumo::InstallEncodedFrameSources(int64_t{32} << 20);
    const int status = lumo::cli::Dispatch(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    // What was printed may still sit in the buffer: a full disk or a closed
    // descriptor shows only now.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        if (status == 0)
            std::fprintf(stderr, "yuvlumo-cli: cannot write standard output: %s\n", std::strerror(errno));
        return 2;
    }
    return status;
}
