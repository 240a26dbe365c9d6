#include "cli/LayoutNames.h"

#include "cli/CliError.h"
#include "yuv/YuvTypeTable.h"

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
    const YuvTypeTable& table = YuvTypeTable::Instance();
    const std::string wanted = ToLower(text);
    for (int i = 0; i < table.Count(); ++i) {
        YuvTypeInfo info;
        if (table.GetByIndex(i, info) != 0)
            continue;
        if (ToLower(info.name) == wanted || ToLower(ShortLayoutName(info.name)) == wanted ||
            (!info.ffmpegName.empty() && ToLower(info.ffmpegName) == wanted)) {
            name = info.name;
            return true;
        }
    }
    return false;
}

std::string RequireLayoutName(const std::string& text)
{
    std::string name;
    if (!ResolveLayoutName(text, name))
        throw CliError("unknown layout '" + text + "' (yuvlumo-cli --help lists the layouts)");
    return name;
}

} // namespace lumo::cli
