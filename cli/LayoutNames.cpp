#include "cli/LayoutNames.h"

#include "cli/CliError.h"
#include "yuv/YuvGuess.h"

namespace lumo::cli {
namespace {
const std::string kPrefix = "YUV_TYPE_";
}

std::string ToLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string ShortLayoutName(const std::string& name)
{
    return name.rfind(kPrefix, 0) == 0 ? name.substr(kPrefix.size()) : name;
}

bool ResolveLayoutName(const std::string& text, std::string& name)
{
    const std::string found = LayoutFromUserText(text);
    if (found.empty())
        return false;
    name = found;
    return true;
}

std::string RequireLayoutName(const std::string& text)
{
    std::string name;
    if (!ResolveLayoutName(text, name))
        throw CliError("unknown layout '" + text + "' (yuvlumo-cli --help lists the layouts)");
    return name;
}

} // namespace lumo::cli
