#include "cli/CompareReport.h"

#include <algorithm>
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

// The per-frame keys but "frame"; `ssim` is null when SSIM was not computed.
Json Metrics(std::optional<double> ssim, const double mse[3], const double psnr[3])
{
    Json values{{"ssim", ssim ? Json(*ssim) : Json(nullptr)}};
    for (int p = 0; p < 3; ++p)
        values[std::string("mse_") + kPlaneKeys[p]] = mse[p];
    for (int p = 0; p < 3; ++p)
        values[std::string("psnr_") + kPlaneKeys[p]] = psnr[p];
    return values;
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
        if (h.a.frameCount != h.b.frameCount)
            std::fprintf(out_, "The files have %d and %d frames: only the first %d are compared.\n", h.a.frameCount,
                         h.b.frameCount, std::min(h.a.frameCount, h.b.frameCount));
        std::fprintf(out_, "\n%-16s %10s %12s %12s %12s %10s %10s %10s\n", "frame", "SSIM_GRAY", "MSE-Y", "MSE-U",
                     "MSE-V", "PSNR-Y", "PSNR-U", "PSNR-V");
        break;
    }
    case ReportFormat::Csv:
        std::fputs(CompareCsvHeader(h.depth).c_str(), out_);
        break;
    case ReportFormat::Json: {
        // The rows are written as they come, so the document is written in
        // pieces: everything before the rows, each row, everything after.
        Json head{{"a", Side(h.a)},
                  {"b", Side(h.b)},
                  {"range", h.rangeName},
                  {"colorRangeCode", h.colorRangeCode},
                  {"metrics", h.withSsim ? "all" : "psnr"}};
        if (h.depth != 8)
            head["depth"] = h.depth;
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
    case ReportFormat::Table:
        std::fprintf(out_, "%-16d %10s %12s %12s %12s %10s %10s %10s\n", m.frame,
                     m.hasSsim ? ShortNumber(m.ssim).c_str() : "-", ShortNumber(m.mse[0]).c_str(),
                     ShortNumber(m.mse[1]).c_str(), ShortNumber(m.mse[2]).c_str(), ShortNumber(m.psnr[0]).c_str(),
                     ShortNumber(m.psnr[1]).c_str(), ShortNumber(m.psnr[2]).c_str());
        break;
    case ReportFormat::Csv:
        std::fputs(CompareCsvRow(m).c_str(), out_);
        break;
    case ReportFormat::Json: {
        Json row{{"frame", m.frame}};
        row.update(Metrics(m.hasSsim ? std::optional<double>(m.ssim) : std::nullopt, m.mse, m.psnr));
        std::fprintf(out_, "%s\n    %s", firstRow ? "" : ",", Inline(row).c_str());
        break;
    }
    }
}

void CompareReport::Finish()
{
    const CompareSummary& s = summary_;
    const bool ssim = header_.withSsim;
    switch (format_) {
    case ReportFormat::Table:
        std::fprintf(out_, "%-16s %10s %12s %12s %12s %10s %10s %10s\n", "mean",
                     ssim ? ShortNumber(s.MeanSsim()).c_str() : "-", ShortNumber(s.MeanMse(0)).c_str(),
                     ShortNumber(s.MeanMse(1)).c_str(), ShortNumber(s.MeanMse(2)).c_str(),
                     ShortNumber(s.MeanPsnr(0)).c_str(), ShortNumber(s.MeanPsnr(1)).c_str(),
                     ShortNumber(s.MeanPsnr(2)).c_str());
        std::fprintf(out_, "%-16s %10s %12s %12s %12s %10s %10s %10s\n", "PSNR of mean MSE", "", "", "", "",
                     ShortNumber(s.PsnrOfMeanMse(0)).c_str(), ShortNumber(s.PsnrOfMeanMse(1)).c_str(),
                     ShortNumber(s.PsnrOfMeanMse(2)).c_str());
        break;
    case ReportFormat::Csv:
        std::fputs(CompareCsvSummary(s, ssim).c_str(), out_);
        break;
    case ReportFormat::Json: {
        const double mse[3] = {s.MeanMse(0), s.MeanMse(1), s.MeanMse(2)};
        const double psnr[3] = {s.MeanPsnr(0), s.MeanPsnr(1), s.MeanPsnr(2)};
        Json summary{{"frames", s.Frames()},
                     {"mean", Metrics(ssim ? std::optional<double>(s.MeanSsim()) : std::nullopt, mse, psnr)}};
        Json& ofMean = summary["psnrOfMeanMse"];
        for (int p = 0; p < 3; ++p)
            ofMean[kPlaneKeys[p]] = s.PsnrOfMeanMse(p);
        std::fprintf(out_, "\n  ],\n  \"summary\": {\n%s\n  }\n}\n", Members(summary, "    ").c_str());
        break;
    }
    }
}

} // namespace lumo::cli
