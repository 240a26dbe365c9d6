#pragma once

#include <string>
#include <string_view>

namespace lumo::service {

// The download page the program's new-version dialog links to: what YUV Lumo
// is, `latestVersion` (HTML-escaped here) and how to build and install the
// Debian package. Self-contained: styles and icon are inline.
std::string DownloadPageHtml(std::string_view latestVersion);

}  // namespace lumo::service
