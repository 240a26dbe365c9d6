#pragma once

// The values of yuvlumo-cli's options: CLI11 hands them over as text, these
// check and convert them, with messages that name the option.

#include <string>

namespace lumo::cli {

struct FrameSize {
    int width = 0;
    int height = 0;
};

// Inclusive frame range; `last` -1 means "up to the last frame".
struct FrameRange {
    int first = 0;
    int last = -1;
};

// Largest width or height accepted: keeps every frame buffer below 2^31 bytes.
constexpr int kMaxDimension = 16384;

// "WxH" with 1 <= W, H <= kMaxDimension; throws CliError otherwise.
FrameSize ParseFrameSize(const std::string& text, const std::string& option);
// A non-negative decimal integer below 2^31; throws CliError otherwise.
int ParseIndex(const std::string& text, const std::string& option);
// "N", "FIRST:LAST", "FIRST:" or ":LAST" (inclusive); throws CliError.
FrameRange ParseFrameRange(const std::string& text);
// "bt601" 0, "bt601full" 1, "bt709" 2 (the metric colour-range codes), any
// case; throws CliError.
int ParseMetricRange(const std::string& text);
// The same names as the view's range ids: "bt709" 1, "bt601" 3,
// "bt601full" 4; throws CliError.
int ParseViewRange(const std::string& text);
// A gamma as the analysis window takes it: a decimal number from 0 to 10;
// throws CliError.
double ParseGamma(const std::string& text);

} // namespace lumo::cli
