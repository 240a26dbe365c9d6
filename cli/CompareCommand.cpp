#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/CompareReport.h"
#include "cli/InputGeometry.h"
#include "cli/LayoutNames.h"
#include "cli/MetricOptions.h"
#include "cli/RawInput.h"
#include "cli/OutputFile.h"
#include "iqa/CompareEngine.h"

namespace lumo::cli {
namespace {

const char* RangeName(int code)
{
    switch (code) {
    case 0: return "bt601";
    case 2: return "bt709";
    default: return "bt601full";
    }
}

ReportFormat ParseFormat(const std::string& text)
{
    const std::string lower = ToLower(text);
    if (lower == "table")
        return ReportFormat::Table;
    if (lower == "csv")
        return ReportFormat::Csv;
    if (lower == "json")
        return ReportFormat::Json;
    throw CliError("unknown format '" + text + "': use table, csv or json");
}

CompareSide Describe(const RawInput& input)
{
    CompareSide side;
    side.path = input.Reader().Path();
    side.width = input.Reader().Width();
    side.height = input.Reader().Height();
    side.layout = input.Reader().Type();
    side.depth = input.Reader().BitDepth();
    side.frameCount = input.FrameCount();
    side.partialLastFrame = input.PartialBytes() > 0;
    return side;
}

// "frame 12/60" on standard error, at most ten times a second.
class Progress {
public:
    explicit Progress(int total) : total_(total), enabled_(::isatty(2) == 1 && total > 1) {}
    ~Progress()
    {
        if (shown_)
            std::fprintf(stderr, "\r\033[K");
    }
    void Update(int done)
    {
        if (!enabled_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(100) && done < total_)
            return;
        last_ = now;
        shown_ = true;
        std::fprintf(stderr, "\rcomparing: frame %d/%d (%d%%)", done, total_,
                     static_cast<int>(100LL * done / total_));
        std::fflush(stderr);
    }

private:
    int total_;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_;
};

} // namespace

int RunCompare(CompareArgs args)
{
    const int metricRange = ParseMetricRange(args.range);
    const MetricChoice metrics = ParseMetricList(args.metrics);
    const bool withSsim = metrics.ssimGray;
    // SSIM and MS-SSIM need less memory than SSIM_GRAY: its bound covers them.
    const bool withSsimMemory = NeedsSsimMemory(metrics);
    const Region region = args.roi ? ParseRegion(*args.roi) : Region();
    const ReportFormat format = ParseFormat(args.format);
    const int jobs = args.jobs ? ParseIndex(*args.jobs, "--jobs") : 0;
    if (jobs > 256)
        throw CliError("bad value for --jobs: at most 256");
    const FrameRange wanted = args.frames ? ParseFrameRange(*args.frames) : FrameRange();

    const std::string& pathA = args.fileA;
    const std::string& pathB = args.fileB;
    const InputPair geometry = ResolvePairGeometry(pathA, pathB, args.geometryA, args.geometryB);
    const InputGeometry& geometryA = geometry.a;
    const InputGeometry& geometryB = geometry.b;
    const FrameSize sizeA = geometryA.size;
    const FrameSize sizeB = geometryB.size;
    const std::string& layoutA = geometryA.layout;
    const std::string& layoutB = geometryB.layout;
    if (CheckComparable(sizeA.width, sizeA.height, 8, sizeB.width, sizeB.height, 8) == PairProblem::SizeDiffers)
        throw CliError("cannot compare a " + std::to_string(sizeA.width) + "x" + std::to_string(sizeA.height)
                       + " file with a " + std::to_string(sizeB.width) + "x" + std::to_string(sizeB.height)
                       + " file: both must have the same width and height");

    const RawInput a(pathA, sizeA, layoutA, "A");
    const RawInput b(pathB, sizeB, layoutB, "B");
    const int depth = a.Source()->BitDepth();
    if (CheckComparable(*a.Source(), *b.Source()) == PairProblem::DepthDiffers)
        throw CliError("A is " + std::to_string(depth) + "-bit (" + ShortLayoutName(layoutA) + ") and B is " +
                       std::to_string(b.Source()->BitDepth()) + "-bit (" + ShortLayoutName(layoutB) +
                       "): files of different depths are not compared");
    if (args.roi)
        RequireRegionInside(region, sizeA.width, sizeA.height);
    const int common = std::min(a.FrameCount(), b.FrameCount());
    if (common == 0)
        throw CliError(std::string("nothing to compare: ") + (a.FrameCount() == 0 ? "A" : "B") + " has no frames");
    const int last = wanted.last < 0 ? common - 1 : wanted.last;
    if (wanted.first >= common || last >= common)
        throw CliError("frame " + std::to_string(std::max(wanted.first, last)) + " is past the end: the files have "
                       + std::to_string(common) + " frame" + (common == 1 ? "" : "s") + " in common");

    const CompareEngine::Settings settings =
        EngineSettings(a, b, wanted.first, last, metricRange, metrics, region, jobs);
    const int frames = last - settings.first + 1;

    CompareHeader header;
    header.a = Describe(a);
    header.b = Describe(b);
    header.first = settings.first;
    header.last = settings.last;
    header.rangeName = RangeName(metricRange);
    header.colorRangeCode = metricRange;
    header.withSsim = withSsim;
    header.depth = depth;
    header.withPsnr = metrics.psnr;
    header.extra = metrics.extra;
    header.metricsName = metrics.name;
    header.region = region;

    // With -o the report goes to a temporary file that replaces OUT only once
    // the last frame and the summary are written.
    const std::string outPath = OutputPath(args.output, "-");
    if (outPath != "-" && (SameFile(outPath, a.Reader().Path()) || SameFile(outPath, b.Reader().Path())))
        throw CliError("the output " + outPath + " is one of the compared files");
    OutputFile outFile(outPath);
    std::string error;
    if (!outFile.Open(error))
        throw CliError(error);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> outStream(nullptr, std::fclose);
    std::FILE* out = stdout;
    if (!outFile.IsStandardOutput()) {
        outStream.reset(::fdopen(::dup(outFile.Fd()), "w"));
        if (!outStream)
            throw CliError("cannot write " + outPath + ": " + std::strerror(errno));
        out = outStream.get();
    }

    // Every check passed: only now say that the counts differ.
    if (a.FrameCount() != b.FrameCount())
        std::fprintf(stderr, "yuvlumo-cli: A has %d frames and B has %d; comparing the %d frames both have\n",
                     a.FrameCount(), b.FrameCount(), common);
    const int64_t perWorker = CompareEngine::WorkerPeakBytes(sizeA.width, sizeA.height, withSsimMemory, depth);
    if (jobs > 1 && perWorker > CompareEngine::kDefaultMemoryBudget) {
        // Even a single frame pair is over the budget: whatever the frame
        // count, only one worker runs.
        std::fprintf(stderr,
                     "yuvlumo-cli: --jobs %d lowered to 1: at %dx%d one frame pair may need %lld MB, more than "
                     "the %lld MB all workers share\n",
                     jobs, sizeA.width, sizeA.height, static_cast<long long>((perWorker + (1 << 20) - 1) >> 20),
                     static_cast<long long>(CompareEngine::kDefaultMemoryBudget >> 20));
    } else if (jobs > 0 && settings.workers < std::min(jobs, frames)) {
        std::fprintf(stderr,
                     "yuvlumo-cli: --jobs %d lowered to %d: at %dx%d each worker may need %lld MB, and the "
                     "workers together stay within %lld MB\n",
                     jobs, settings.workers, sizeA.width, sizeA.height,
                     static_cast<long long>((perWorker + (1 << 20) - 1) >> 20),
                     static_cast<long long>(CompareEngine::kDefaultMemoryBudget >> 20));
    }
    CompareReport report(out, format, header);
    report.Begin();
    bool ok = false;
    {
        Progress progress(frames);
        int done = 0;
        CompareEngine engine(settings);
        ok = engine.Run(
            [&](const FrameMetrics& m) {
                report.AddFrame(m);
                progress.Update(++done);
            },
            error);
    }
    if (!ok) {
        std::fflush(out);
        throw CliError(error);
    }
    report.Finish();
    if (std::fflush(out) != 0 || std::ferror(out))
        throw CliError("cannot write " + outFile.Name() + ": " + std::strerror(errno));
    if (outStream && std::fclose(outStream.release()) != 0)
        throw CliError("cannot write " + outPath + ": " + std::strerror(errno));
    if (!outFile.Commit(error))
        throw CliError(error);
    return 0;
}

} // namespace lumo::cli
