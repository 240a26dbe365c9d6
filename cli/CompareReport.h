#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "iqa/CompareCsv.h"
#include "iqa/CompareEngine.h"

namespace lumo::cli {

enum class ReportFormat { Table, Csv, Json };

// One side of a comparison as the report describes it.
struct CompareSide {
    std::string path;
    int width = 0;
    int height = 0;
    std::string layout;
    int depth = 8; // bits per sample
    int frameCount = 0;
    bool partialLastFrame = false;
};

struct CompareHeader {
    CompareSide a;
    CompareSide b;
    int first = 0;
    int last = 0;
    std::string rangeName;
    int colorRangeCode = 1;
    bool withSsim = true;
    int depth = 8; // the depth both files are measured at
    bool withPsnr = true;
    ExtraMetrics extra;
    std::string metricsName; // JSON "metrics"; empty: "all" or "psnr" by withSsim
    Region region;           // zero width: the whole frame
};

// Writes the rows of a comparison as they come, then the summary, as an
// aligned table, CSV (header row, one row per frame, then the rows "mean"
// and "psnr_of_mean_mse") or one JSON document. Comparisons deeper than 8
// bits state their depth (8-bit reports stay as they always were).
class CompareReport {
public:
    CompareReport(std::FILE* out, ReportFormat format, const CompareHeader& header);

    void Begin();
    void AddFrame(const FrameMetrics& m);
    void Finish();

    // Six significant digits like the analysis window's metric text.
    static std::string ShortNumber(double value);

private:
    std::FILE* out_;
    ReportFormat format_;
    CompareHeader header_;
    CompareSummary summary_;
};

} // namespace lumo::cli
