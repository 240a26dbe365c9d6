#include "cli/CompareReport.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumo::cli {
namespace {

const char* const kPlaneKeys[3] = {"y", "u", "v"};

// Length of the valid UTF-8 sequence at text[i], 0 when it is not one.
size_t Utf8Length(const std::string& text, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    size_t len = 0;
    uint32_t cp = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid.
    static const uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return len;
}

} // namespace

CompareReport::CompareReport(std::FILE* out, ReportFormat format, const CompareHeader& header)
    : out_(out), format_(format), header_(header)
{
}

std::string CompareReport::JsonString(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t len = Utf8Length(text, i);
        if (len == 0) {
            out += "\\ufffd"; // not UTF-8: keep the document valid
            ++i;
            continue;
        }
        if (len > 1) {
            out.append(text, i, len);
            i += len;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string CompareReport::JsonNumber(double value)
{
    return std::isfinite(value) ? CompareCsvNumber(value) : "null";
}

std::string CompareReport::ShortNumber(double value)
{
    return CompareCsvNumber(value, 6);
}

void CompareReport::WriteJsonSide(const char* key, const CompareSide& side)
{
    std::fprintf(out_, "  \"%s\": {\"path\": %s, \"width\": %d, \"height\": %d, \"layout\": %s, \"frames\": %d, "
                       "\"partialLastFrame\": %s},\n",
                 key, JsonString(side.path).c_str(), side.width, side.height, JsonString(side.layout).c_str(),
                 side.frameCount, side.partialLastFrame ? "true" : "false");
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
    case ReportFormat::Json:
        std::fprintf(out_, "{\n");
        WriteJsonSide("a", h.a);
        WriteJsonSide("b", h.b);
        std::fprintf(out_, "  \"range\": %s,\n  \"colorRangeCode\": %d,\n  \"metrics\": %s,\n", JsonString(h.rangeName).c_str(),
                     h.colorRangeCode, h.withSsim ? "\"all\"" : "\"psnr\"");
        if (h.depth != 8)
            std::fprintf(out_, "  \"depth\": %d,\n", h.depth);
        std::fprintf(out_, "  \"firstFrame\": %d,\n  \"lastFrame\": %d,\n  \"frames\": [", h.first, h.last);
        break;
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
    case ReportFormat::Json:
        std::fprintf(out_, "%s\n    {\"frame\": %d, \"ssim\": %s, \"mse_y\": %s, \"mse_u\": %s, \"mse_v\": %s, "
                           "\"psnr_y\": %s, \"psnr_u\": %s, \"psnr_v\": %s}",
                     firstRow ? "" : ",", m.frame, m.hasSsim ? JsonNumber(m.ssim).c_str() : "null",
                     JsonNumber(m.mse[0]).c_str(), JsonNumber(m.mse[1]).c_str(), JsonNumber(m.mse[2]).c_str(),
                     JsonNumber(m.psnr[0]).c_str(), JsonNumber(m.psnr[1]).c_str(), JsonNumber(m.psnr[2]).c_str());
        break;
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
        std::fprintf(out_, "\n  ],\n  \"summary\": {\n    \"frames\": %d,\n", s.Frames());
        std::fprintf(out_, "    \"mean\": {\"ssim\": %s, \"mse_y\": %s, \"mse_u\": %s, \"mse_v\": %s, \"psnr_y\": %s, "
                           "\"psnr_u\": %s, \"psnr_v\": %s},\n",
                     ssim ? JsonNumber(s.MeanSsim()).c_str() : "null", JsonNumber(s.MeanMse(0)).c_str(),
                     JsonNumber(s.MeanMse(1)).c_str(), JsonNumber(s.MeanMse(2)).c_str(),
                     JsonNumber(s.MeanPsnr(0)).c_str(), JsonNumber(s.MeanPsnr(1)).c_str(),
                     JsonNumber(s.MeanPsnr(2)).c_str());
        std::fprintf(out_, "    \"psnrOfMeanMse\": {");
        for (int p = 0; p < 3; ++p)
            std::fprintf(out_, "%s\"%s\": %s", p ? ", " : "", kPlaneKeys[p], JsonNumber(s.PsnrOfMeanMse(p)).c_str());
        std::fprintf(out_, "}\n  }\n}\n");
        break;
    }
    }
}

} // namespace lumo::cli
