#include "cli/OptionValues.h"

#include <cstdlib>

#include "cli/CliError.h"
#include "cli/LayoutNames.h"
#include "yuv/GeometryPolicy.h"

namespace lumo::cli {
namespace {

static_assert(kMaxDimension == kMaxGuessDimension, "--size takes what a file name may state");

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

FrameSize ParseFrameSize(const std::string& text, const std::string& option)
{
    FrameSize size;
    switch (ParseSizeText(text, &size.width, &size.height)) {
    case SizeTextStatus::Ok: break;
    case SizeTextStatus::Malformed:
        throw CliError("bad size '" + text + "' for " + option + ": expected WIDTHxHEIGHT, each from 1 to "
                       + std::to_string(kMaxDimension));
    case SizeTextStatus::Zero:
        throw CliError("bad size '" + text + "' for " + option + ": width and height must be at least 1");
    }
    return size;
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

int ParseMetricRange(const std::string& text)
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

int ParseViewRange(const std::string& text)
{
    static const int kViewIds[3] = {3, 4, 1}; // by metric code
    return kViewIds[ParseMetricRange(text)];
}

double ParseGamma(const std::string& text)
{
    // Digits and one point only: no signs, exponents, "nan" or "inf".
    const bool plain = !text.empty() && text.size() <= 32 &&
                       text.find_first_not_of("0123456789.") == std::string::npos &&
                       text.find('.') == text.rfind('.') && text != ".";
    const double gamma = plain ? std::strtod(text.c_str(), nullptr) : -1.0;
    if (!(gamma >= 0.0 && gamma <= 10.0))
        throw CliError("bad value '" + text + "' for --gamma: expected a number from 0 to 10");
    return gamma;
}

} // namespace lumo::cli
