#include "cli/CliOptions.h"

#include <cerrno>
#include <cstdlib>

#include "cli/CliError.h"
#include "cli/LayoutNames.h"

namespace lumo::cli {
namespace {

bool ParseNonNegative(const std::string& text, long long limit, long long& out)
{
    if (text.empty() || text.size() > 12)
        return false;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > limit)
            return false;
    }
    out = value;
    return true;
}

} // namespace

CliOptions::CliOptions(const std::vector<std::string>& args, const std::set<std::string>& known,
                       const std::set<std::string>& flags)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positionals_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        if (flags.count(arg) != 0) {
            values_[arg] = std::string();
            continue;
        }
        if (known.count(name) == 0)
            throw CliError("unknown option '" + name + "' (see --help)");
        if (!hasValue) {
            if (i + 1 >= args.size())
                throw CliError("option '" + name + "' needs a value");
            value = args[++i];
        }
        values_[name] = value;
    }
}

bool CliOptions::Has(const std::string& name) const
{
    return values_.count(name) != 0;
}

const std::string& CliOptions::Required(const std::string& name) const
{
    const auto it = values_.find(name);
    if (it == values_.end())
        throw CliError("missing option '" + name + "'");
    return it->second;
}

std::string CliOptions::Value(const std::string& name, const std::string& fallback) const
{
    const auto it = values_.find(name);
    return it == values_.end() ? fallback : it->second;
}

FrameSize ParseFrameSize(const std::string& text, const std::string& option)
{
    size_t sep = text.find('x');
    if (sep == std::string::npos)
        sep = text.find('X');
    long long w = 0;
    long long h = 0;
    if (sep == std::string::npos || !ParseNonNegative(text.substr(0, sep), kMaxDimension, w)
        || !ParseNonNegative(text.substr(sep + 1), kMaxDimension, h))
        throw CliError("bad size '" + text + "' for " + option + ": expected WIDTHxHEIGHT, each from 1 to "
                       + std::to_string(kMaxDimension));
    if (w == 0 || h == 0)
        throw CliError("bad size '" + text + "' for " + option + ": width and height must be at least 1");
    return FrameSize{static_cast<int>(w), static_cast<int>(h)};
}

int ParseIndex(const std::string& text, const std::string& option)
{
    long long value = 0;
    if (!ParseNonNegative(text, 0x7fffffffLL, value))
        throw CliError("bad value '" + text + "' for " + option + ": expected a frame index (0, 1, 2, ...)");
    return static_cast<int>(value);
}

FrameRange ParseFrameRange(const std::string& text)
{
    FrameRange range;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        range.first = ParseIndex(text, "--frames");
        range.last = range.first;
        return range;
    }
    const std::string first = text.substr(0, colon);
    const std::string last = text.substr(colon + 1);
    if (first.empty() && last.empty())
        throw CliError("bad value ':' for --frames: expected FIRST:LAST");
    range.first = first.empty() ? 0 : ParseIndex(first, "--frames");
    range.last = last.empty() ? -1 : ParseIndex(last, "--frames");
    if (range.last >= 0 && range.last < range.first)
        throw CliError("bad value '" + text + "' for --frames: the last frame comes before the first");
    return range;
}

int ParseColorRange(const std::string& text)
{
    const std::string lower = ToLower(text);
    if (lower == "bt601")
        return 0;
    if (lower == "bt601full")
        return 1;
    if (lower == "bt709")
        return 2;
    throw CliError("unknown range '" + text + "': use bt709, bt601 or bt601full");
}

} // namespace lumo::cli
