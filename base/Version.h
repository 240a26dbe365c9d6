#pragma once

namespace lumo {

// Shown in the splash and the about window, and sent as the version field of
// every online request.
inline constexpr const char kAppVersion[] = "2.2.1";
// printf-style product title: "YuvLumo 2.2.1".
inline constexpr const char kProductTitleFormat[] = "YuvLumo %s";

} // namespace lumo
