#pragma once

#include <string>

namespace lumo::cli {

// Layout name of the table for what a user typed: the full name
// ("YUV_TYPE_NV12"), the name without "YUV_TYPE_" ("nv12") or FFmpeg's
// name ("yuv420p", "yuv420p10le"), in any case.
// Returns false when nothing matches.
bool ResolveLayoutName(const std::string& text, std::string& name);
// Same, throwing CliError with the list hint for an unknown name.
std::string RequireLayoutName(const std::string& text);
// "NV12" for "YUV_TYPE_NV12".
std::string ShortLayoutName(const std::string& name);
std::string ToLower(std::string text);

} // namespace lumo::cli
