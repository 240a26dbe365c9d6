// rd: one row of sequence means per encode against one reference;
// bdrate: the Bjøntegaard delta between two such tables.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/InputGeometry.h"
#include "cli/LayoutNames.h"
#include "cli/MetricOptions.h"
#include "cli/OutputFile.h"
#include "cli/RawInput.h"
#include "media/EncodedSource.h"
#include "yuv/RawFrameSource.h"
#include "iqa/BdRate.h"
#include "iqa/CompareCsv.h"
#include "iqa/CompareEngine.h"

namespace lumo::cli {
namespace {

// A decimal number (kbit/s) above 0.
double ParseRate(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value <= 0)
        throw CliError("bad bitrate '" + text + "' in --bitrates: expected a number of kbit/s above 0");
    return value;
}

// The video bitrate an encoded file states (kbit/s).
double StreamBitrate(const std::string& path)
{
    GuessEncoded(path, path);
    auto* source = dynamic_cast<EncodedSource*>(OpenEncodedSource(path).release());
    const std::unique_ptr<EncodedSource> owned(source);
    const double kbps = source ? source->BitrateKbps() : 0;
    if (!(kbps > 0))
        throw CliError(path + " states no frame rate, so it has no bitrate: give it with --bitrates");
    return kbps;
}

std::vector<std::string> SplitCsvLine(const std::string& line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else if (c != '\r' || i + 1 != line.size()) {
            fields.back() += c;
        }
    }
    return fields;
}

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// The rd columns of the chosen metrics, named as compare's CSV names them,
// with their sequence means.
std::vector<std::pair<std::string, double>> Columns(const MetricChoice& m, const CompareSummary& s)
{
    std::vector<std::pair<std::string, double>> columns;
    const char* planes[3] = {"y", "u", "v"};
    if (m.ssimGray)
        columns.emplace_back("ssim", s.MeanSsim());
    for (int p = 0; p < 3 && m.psnr; ++p)
        columns.emplace_back(std::string("mse_") + planes[p], s.MeanMse(p));
    for (int p = 0; p < 3 && m.psnr; ++p)
        columns.emplace_back(std::string("psnr_") + planes[p], s.MeanPsnr(p));
    for (int p = 0; p < 3 && m.extra.planeSsim; ++p)
        columns.emplace_back(std::string("ssim_") + planes[p], s.MeanPlaneSsim(p));
    if (m.extra.msSsim)
        columns.emplace_back("ms_ssim_y", s.MeanMsSsim());
    if (m.extra.psnrYuv)
        columns.emplace_back("psnr_yuv", s.MeanPsnrYuv());
    return columns;
}

// The sequence means of one encode against the reference.
CompareSummary MeasureEncode(const RdArgs& args, const InputGeometry& refGeometry, const RawInput& ref,
                             const std::string& path, const MetricChoice& metrics, const Region& region,
                             int metricRange, int jobs)
{
    // An encode takes the reference's size and layout unless its own name or
    // header says otherwise, as B does in compare.
    const InputGeometry geometry = ResolvePairGeometry(args.reference, path, args.geometry, GeometryOptions{}).b;
    const FrameSize& size = refGeometry.size;
    if (CheckComparable(geometry.size.width, geometry.size.height, 8, size.width, size.height, 8) ==
        PairProblem::SizeDiffers)
        throw CliError(path + " is " + std::to_string(geometry.size.width) + "x" +
                       std::to_string(geometry.size.height) + ", the reference " + std::to_string(size.width) +
                       "x" + std::to_string(size.height) + ": both must have the same width and height");
    const RawInput encode(path, geometry.size, geometry.layout, "");
    if (CheckComparable(*ref.Source(), *encode.Source()) == PairProblem::DepthDiffers)
        throw CliError(path + " is " + std::to_string(encode.Source()->BitDepth()) + "-bit and the reference " +
                       std::to_string(ref.Source()->BitDepth()) + "-bit: files of different depths are not compared");
    const int common = std::min(ref.FrameCount(), encode.FrameCount());
    const FrameRange wanted = args.frames ? ParseFrameRange(*args.frames) : FrameRange();
    const int last = wanted.last < 0 ? common - 1 : wanted.last;
    if (common == 0 || wanted.first >= common || last >= common)
        throw CliError(path + ": frame " + std::to_string(std::max(wanted.first, last)) +
                       " is past the end: it has " + std::to_string(common) + " frames in common with the reference");
    const CompareEngine::Settings settings =
        EngineSettings(ref, encode, wanted.first, last, metricRange, metrics, region, jobs);
    CompareSummary summary;
    std::string error;
    if (!CompareEngine(settings).Run([&](const FrameMetrics& m) { summary.Add(m); }, error))
        throw CliError(error);
    return summary;
}

void WriteOutput(const std::optional<std::string>& given, const std::string& text,
                 const std::vector<std::string>& inputs)
{
    const std::string path = OutputPath(given, "-");
    for (const std::string& input : inputs)
        if (path != "-" && SameFile(path, input))
            throw CliError("the output " + path + " is one of the input files");
    if (path == "-") {
        std::fputs(text.c_str(), stdout);
        return;
    }
    OutputFile out(path);
    std::string error;
    if (!out.Open(error) || !out.WriteAll(text.data(), text.size(), error) || !out.Commit(error))
        throw CliError(error);
}

struct Curve {
    std::vector<RdPoint> points;
};

// The bitrate and metric columns of a CSV file.
Curve ReadCurve(const std::string& path, const std::string& metric)
{
    // A table of rates has a few rows; anything far larger is not one.
    constexpr int64_t kMaxBytes = int64_t{16} << 20;
    if (RequireRegularFile(path, path) > kMaxBytes)
        throw CliError(path + " is larger than 16 MB: not a table of rates");
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line))
        throw CliError("cannot read " + path + (in ? "" : std::string(": ") + std::strerror(errno)));
    const std::vector<std::string> header = SplitCsvLine(line);
    auto column = [&](const std::string& name) {
        for (size_t i = 0; i < header.size(); ++i)
            if (header[i] == name)
                return i;
        throw CliError(path + " has no column '" + name + "'");
    };
    const size_t rateAt = column("bitrate");
    const size_t metricAt = column(metric);
    Curve curve;
    for (int number = 2; std::getline(in, line); ++number) {
        if (line.empty() || line == "\r")
            continue;
        const std::vector<std::string> fields = SplitCsvLine(line);
        double values[2] = {0.0, 0.0};
        const size_t at[2] = {rateAt, metricAt};
        for (int i = 0; i < 2; ++i) {
            const std::string text = at[i] < fields.size() ? fields[at[i]] : std::string();
            char* end = nullptr;
            values[i] = text.empty() ? NAN : std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0')
                throw CliError(path + " line " + std::to_string(number) + ": '" + text + "' in column " +
                               header[at[i]] + " is not a number");
        }
        curve.points.push_back({values[0], values[1]});
    }
    return curve;
}

} // namespace

int RunRd(const RdArgs& args)
{
    const MetricChoice metrics = ParseMetricList(args.metrics);
    const int metricRange = ParseMetricRange(args.range);
    const int jobs = args.jobs ? ParseIndex(*args.jobs, "--jobs") : 0;
    if (jobs > 256)
        throw CliError("bad value for --jobs: at most 256");
    const Region region = args.roi ? ParseRegion(*args.roi) : Region();
    // An encoded file's rate comes from its stream; --bitrates gives the
    // others', or overrides all when given.
    bool allEncoded = true;
    for (const std::string& path : args.encodes)
        allEncoded = allEncoded && NamesEncodedVideo(path);
    if (!args.bitrates && !allEncoded)
        throw CliError("rd needs --bitrates B1,B2,... (kbit/s, one per encode): a raw or Y4M file does not "
                       "carry its encode's bitrate");
    std::vector<double> rates;
    if (args.bitrates) {
        for (const std::string& text : SplitCsvLine(*args.bitrates))
            rates.push_back(ParseRate(text));
        if (rates.size() != args.encodes.size())
            throw CliError("--bitrates gives " + std::to_string(rates.size()) + " rates for " +
                           std::to_string(args.encodes.size()) + " encodes");
    } else {
        for (const std::string& path : args.encodes)
            rates.push_back(StreamBitrate(path));
    }

    const InputGeometry refGeometry = ResolveGeometry(args.reference, "REF (" + args.reference + ")", args.geometry);
    const RawInput ref(args.reference, refGeometry.size, refGeometry.layout, "REF");
    if (args.roi)
        RequireRegionInside(region, refGeometry.size.width, refGeometry.size.height);
    std::string csv;
    for (size_t i = 0; i < args.encodes.size(); ++i) {
        const CompareSummary summary =
            MeasureEncode(args, refGeometry, ref, args.encodes[i], metrics, region, metricRange, jobs);
        const auto columns = Columns(metrics, summary);
        if (csv.empty()) {
            csv = "file,bitrate,frames";
            for (const auto& column : columns)
                csv += "," + column.first;
            csv += "\n";
        }
        csv += CsvField(args.encodes[i]) + "," + CompareCsvNumber(rates[i]) + "," + std::to_string(summary.Frames());
        for (const auto& column : columns)
            csv += "," + (std::isnan(column.second) ? std::string() : CompareCsvNumber(column.second));
        csv += "\n";
    }
    std::vector<std::string> inputs = args.encodes;
    inputs.push_back(args.reference);
    WriteOutput(args.output, csv, inputs);
    return 0;
}

int RunBdRate(const BdRateArgs& args)
{
    const std::string method = ToLower(args.method);
    if (method != "pchip" && method != "poly")
        throw CliError("unknown method '" + args.method + "': use pchip or poly");
    const std::string format = ToLower(args.format);
    if (format != "table" && format != "json")
        throw CliError("unknown format '" + args.format + "': use table or json");
    const Curve anchor = ReadCurve(args.anchor, args.metric);
    const Curve test = ReadCurve(args.test, args.metric);
    BdResult result;
    std::string error;
    if (!ComputeBd(anchor.points, test.points, method == "pchip" ? BdMethod::Pchip : BdMethod::Poly, result, error))
        throw CliError(error);
    if (result.shortMetricOverlap)
        std::fprintf(stderr, "yuvlumo-cli: note: the curves share less than half of one curve's %s range; the "
                             "BD-rate rests on that short interval\n", args.metric.c_str());
    if (result.shortRateOverlap)
        std::fprintf(stderr, "yuvlumo-cli: note: the curves share less than half of one curve's rate range; the "
                             "BD-metric rests on that short interval\n");
    if (format == "json") {
        const nlohmann::ordered_json json{
            {"bdRate", result.bdRate}, {"bdMetric", result.bdMetric}, {"metric", args.metric}, {"method", method}};
        std::printf("%s\n", json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    } else {
        std::printf("metric:    %s\nmethod:    %s\nBD-rate:   %s %%\nBD-metric: %s\n", args.metric.c_str(),
                    method.c_str(), CompareCsvNumber(result.bdRate, 6).c_str(),
                    CompareCsvNumber(result.bdMetric, 6).c_str());
    }
    return 0;
}

} // namespace lumo::cli
