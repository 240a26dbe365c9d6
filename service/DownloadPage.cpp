#include "service/DownloadPage.h"

// Generated at configure time from service/DownloadPage.html with the icon
// from packaging/icons/yuvlumo.svg in place of "{{icon}}".
#include "service/DownloadPageHtml.h"

namespace lumo::service {

namespace {

std::string HtmlEscape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

}  // namespace

std::string DownloadPageHtml(std::string_view latestVersion)
{
    static constexpr std::string_view kPlaceholder = "{{version}}";
    const std::string version = HtmlEscape(latestVersion);
    std::string page(kDownloadPageTemplate);
    // Search on after each insertion, so a version that itself reads
    // "{{version}}" is not expanded again.
    for (std::size_t at = page.find(kPlaceholder); at != std::string::npos;
         at = page.find(kPlaceholder, at + version.size())) {
        page.replace(at, kPlaceholder.size(), version);
    }
    return page;
}

}  // namespace lumo::service
