#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

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

// The options and positional arguments of one subcommand. Every option takes
// one value, given as "--name value", "--name=value" or "-o value", except the
// flags, which take none; a later occurrence replaces an earlier one. "--"
// ends the options.
class CliOptions {
public:
    // Throws CliError for an option not in `known` or `flags`, or an option
    // of `known` without a value.
    CliOptions(const std::vector<std::string>& args, const std::set<std::string>& known,
               const std::set<std::string>& flags = {});

    const std::vector<std::string>& Positionals() const { return positionals_; }
    bool Has(const std::string& name) const;
    // The value of an option; throws CliError when it is missing.
    const std::string& Required(const std::string& name) const;
    std::string Value(const std::string& name, const std::string& fallback) const;

private:
    std::vector<std::string> positionals_;
    std::map<std::string, std::string> values_;
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
int ParseColorRange(const std::string& text);

} // namespace lumo::cli
