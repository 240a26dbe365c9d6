#include "cli/CompareReport.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>
#include <optional>

#include <nlohmann/json.hpp>

namespace lumo::cli {
namespace {

// Keys in the order they are set.
using Json = nlohmann::ordered_json;

const char* const kPlaneKeys[3] = {"y", "u", "v"};

// One value as JSON text: bytes that are not UTF-8 become U+FFFD, NaN and
// the infinities null.
std::string Text(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Inline(const Json& value);

std::string Member(const std::string& key, const Json& value)
{
    return Text(key) + ": " + Inline(value);
}

// A value on one line, objects spaced as {"key": value, ...}.
std::string Inline(const Json& value)
{
    if (!value.is_object())
        return Text(value);
    std::string line;
    for (const auto& [key, member] : value.items())
        line += (line.empty() ? "{" : ", ") + Member(key, member);
    return line.empty() ? "{}" : line + "}";
}

// The members of `object`, one a line, joined by ",\n".
std::string Members(const Json& object, const std::string& indent)
{
    std::string lines;
    for (const auto& [key, member] : object.items())
        lines += (lines.empty() ? "" : ",\n") + indent + Member(key, member);
    return lines;
}

Json Side(const CompareSide& side)
{
    return Json{{"path", side.path},     {"width", side.width},       {"height", side.height},
                {"layout", side.layout}, {"frames", side.frameCount}, {"partialLastFrame", side.partialLastFrame}};
}

// The per-frame keys but "frame"; `ssim` is null when SSIM was not computed,
// MSE and PSNR when they were not asked for.
Json Metrics(std::optional<double> ssim, const double mse[3], const double psnr[3], bool withPsnr = true)
{
    Json values{{"ssim", ssim ? Json(*ssim) : Json(nullptr)}};
    for (int p = 0; p < 3; ++p)
        values[std::string("mse_") + kPlaneKeys[p]] = withPsnr ? Json(mse[p]) : Json(nullptr);
    for (int p = 0; p < 3; ++p)
        values[std::string("psnr_") + kPlaneKeys[p]] = withPsnr ? Json(psnr[p]) : Json(nullptr);
    return values;
}

// The extra metrics' values in column order, with their CSV names; NaN
// where a value does not exist.
std::vector<std::pair<std::string, double>> ExtraValues(const ExtraMetrics& extra, const double planeSsim[3],
                                                        double msSsim, double psnrYuv)
{
    std::vector<std::pair<std::string, double>> values;
    for (int p = 0; p < 3 && extra.planeSsim; ++p)
        values.emplace_back(std::string("ssim_") + kPlaneKeys[p], planeSsim[p]);
    if (extra.msSsim)
        values.emplace_back("ms_ssim_y", msSsim);
    if (extra.psnrYuv)
        values.emplace_back("psnr_yuv", psnrYuv);
    return values;
}

// NaN is no JSON number: the dump writes null for it.
void AddExtras(Json& object, const std::vector<std::pair<std::string, double>>& values)
{
    for (const auto& [key, value] : values)
        object[key] = value;
}

const char* const kExtraHeadings[] = {"SSIM-Y", "SSIM-U", "SSIM-V", "MS-SSIM-Y", "YUV-PSNR"};

// The table's extra columns: headings, or values with "-" for none.
std::string ExtraCells(const ExtraMetrics& extra, const std::vector<std::pair<std::string, double>>& values,
                       bool headings)
{
    std::string cells;
    const bool shown[5] = {extra.planeSsim, extra.planeSsim, extra.planeSsim, extra.msSsim, extra.psnrYuv};
    std::size_t next = 0;
    char cell[40];
    for (int i = 0; i < 5; ++i) {
        if (!shown[i])
            continue;
        const double value = headings ? 0.0 : values[next++].second;
        const std::string text =
            headings ? kExtraHeadings[i] : std::isnan(value) ? "-" : CompareReport::ShortNumber(value);
        std::snprintf(cell, sizeof cell, " %10s", text.c_str());
        cells += cell;
    }
    return cells;
}

// A table cell of today's PSNR/MSE columns: "-" when not asked for.
std::string Cell(bool chosen, double value)
{
    return chosen ? CompareReport::ShortNumber(value) : "-";
}

} // namespace

CompareReport::CompareReport(std::FILE* out, ReportFormat format, const CompareHeader& header)
    : out_(out), format_(format), header_(header)
{
}

std::string CompareReport::ShortNumber(double value)
{
    return CompareCsvNumber(value, 6);
}

void CompareReport::Begin()
{
    const CompareHeader& h = header_;
    switch (format_) {
    case ReportFormat::Table: {
        auto side = [&](const char* name, const CompareSide& s) {
            const std::string depth = s.depth == 8 ? "" : ", " + std::to_string(s.depth) + "-bit";
            std::fprintf(out_, "%s: %s (%dx%d %s%s, %d frame%s%s)\n", name, s.path.c_str(), s.width, s.height,
                         s.layout.c_str(), depth.c_str(), s.frameCount, s.frameCount == 1 ? "" : "s",
                         s.partialLastFrame ? ", last one partial" : "");
        };
        side("A", h.a);
        side("B", h.b);
        std::fprintf(out_, "Frames %d to %d, range %s (SSIM_GRAY colour-range code %d)\n", h.first, h.last,
                     h.rangeName.c_str(), h.colorRangeCode);
        if (h.depth != 8)
            std::fprintf(out_, "Measured at %d bits: PSNR peak %d\n", h.depth, (1 << h.depth) - 1);
        if (h.region.w > 0)
            std::fprintf(out_, "Region %d,%d %dx%d (luma pixels)\n", h.region.x, h.region.y, h.region.w, h.region.h);
        if (h.a.frameCount != h.b.frameCount)
            std::fprintf(out_, "The files have %d and %d frames: only the first %d are compared.\n", h.a.frameCount,
                         h.b.frameCount, std::min(h.a.frameCount, h.b.frameCount));
        std::fprintf(out_, "\n%-16s %10s %12s %12s %12s %10s %10s %10s%s\n", "frame", "SSIM_GRAY", "MSE-Y", "MSE-U",
                     "MSE-V", "PSNR-Y", "PSNR-U", "PSNR-V", ExtraCells(h.extra, {}, true).c_str());
        break;
    }
    case ReportFormat::Csv:
        std::fputs(CompareCsvHeader(h.depth, h.extra).c_str(), out_);
        break;
    case ReportFormat::Json: {
        // The rows are written as they come, so the document is written in
        // pieces: everything before the rows, each row, everything after.
        Json head{{"a", Side(h.a)},
                  {"b", Side(h.b)},
                  {"range", h.rangeName},
                  {"colorRangeCode", h.colorRangeCode},
                  {"metrics", !h.metricsName.empty() ? h.metricsName : h.withSsim ? "all" : "psnr"}};
        if (h.depth != 8)
            head["depth"] = h.depth;
        if (h.region.w > 0)
            head["region"] =
                Json{{"x", h.region.x}, {"y", h.region.y}, {"width", h.region.w}, {"height", h.region.h}};
        head["firstFrame"] = h.first;
        head["lastFrame"] = h.last;
        std::fprintf(out_, "{\n%s,\n  \"frames\": [", Members(head, "  ").c_str());
        break;
    }
    }
}

void CompareReport::AddFrame(const FrameMetrics& m)
{
    const bool firstRow = summary_.Frames() == 0;
    summary_.Add(m);
    switch (format_) {
    case ReportFormat::Table: {
        const bool p = m.hasPsnr;
        std::fprintf(out_, "%-16d %10s %12s %12s %12s %10s %10s %10s%s\n", m.frame,
                     m.hasSsim ? ShortNumber(m.ssim).c_str() : "-", Cell(p, m.mse[0]).c_str(),
                     Cell(p, m.mse[1]).c_str(), Cell(p, m.mse[2]).c_str(), Cell(p, m.psnr[0]).c_str(),
                     Cell(p, m.psnr[1]).c_str(), Cell(p, m.psnr[2]).c_str(),
                     ExtraCells(m.extra, ExtraValues(m.extra, m.planeSsim, m.msSsim, m.psnrYuv), false).c_str());
        break;
    }
    case ReportFormat::Csv:
        std::fputs(CompareCsvRow(m).c_str(), out_);
        break;
    case ReportFormat::Json: {
        Json row{{"frame", m.frame}};
        row.update(Metrics(m.hasSsim ? std::optional<double>(m.ssim) : std::nullopt, m.mse, m.psnr, m.hasPsnr));
        AddExtras(row, ExtraValues(m.extra, m.planeSsim, m.msSsim, m.psnrYuv));
        std::fprintf(out_, "%s\n    %s", firstRow ? "" : ",", Inline(row).c_str());
        break;
    }
    }
}

void CompareReport::Finish()
{
    const CompareSummary& s = summary_;
    const bool ssim = header_.withSsim;
    const bool p = header_.withPsnr;
    const ExtraMetrics& extra = header_.extra;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double meanSsim[3] = {s.MeanPlaneSsim(0), s.MeanPlaneSsim(1), s.MeanPlaneSsim(2)};
    const auto meanExtras = ExtraValues(extra, meanSsim, s.MeanMsSsim(), s.MeanPsnrYuv());
    const double none[3] = {nan, nan, nan};
    const auto ofMeanExtras = ExtraValues(extra, none, nan, s.PsnrYuvOfMeanMse());
    switch (format_) {
    case ReportFormat::Table:
        std::fprintf(out_, "%-16s %10s %12s %12s %12s %10s %10s %10s%s\n", "mean",
                     ssim ? ShortNumber(s.MeanSsim()).c_str() : "-", Cell(p, s.MeanMse(0)).c_str(),
                     Cell(p, s.MeanMse(1)).c_str(), Cell(p, s.MeanMse(2)).c_str(), Cell(p, s.MeanPsnr(0)).c_str(),
                     Cell(p, s.MeanPsnr(1)).c_str(), Cell(p, s.MeanPsnr(2)).c_str(),
                     ExtraCells(extra, meanExtras, false).c_str());
        std::fprintf(out_, "%-16s %10s %12s %12s %12s %10s %10s %10s%s\n", "PSNR of mean MSE", "", "", "", "",
                     Cell(p, s.PsnrOfMeanMse(0)).c_str(), Cell(p, s.PsnrOfMeanMse(1)).c_str(),
                     Cell(p, s.PsnrOfMeanMse(2)).c_str(), ExtraCells(extra, ofMeanExtras, false).c_str());
        break;
    case ReportFormat::Csv:
        std::fputs(CompareCsvSummary(s, ssim, p, extra).c_str(), out_);
        break;
    case ReportFormat::Json: {
        const double mse[3] = {s.MeanMse(0), s.MeanMse(1), s.MeanMse(2)};
        const double psnr[3] = {s.MeanPsnr(0), s.MeanPsnr(1), s.MeanPsnr(2)};
        Json summary{{"frames", s.Frames()},
                     {"mean", Metrics(ssim ? std::optional<double>(s.MeanSsim()) : std::nullopt, mse, psnr, p)}};
        AddExtras(summary["mean"], meanExtras);
        Json& ofMean = summary["psnrOfMeanMse"];
        for (int plane = 0; plane < 3; ++plane)
            ofMean[kPlaneKeys[plane]] = p ? Json(s.PsnrOfMeanMse(plane)) : Json(nullptr);
        if (extra.psnrYuv)
            ofMean["yuv"] = s.PsnrYuvOfMeanMse();
        std::fprintf(out_, "\n  ],\n  \"summary\": {\n%s\n  }\n}\n", Members(summary, "    ").c_str());
        break;
    }
    }
}

} // namespace lumo::cli
