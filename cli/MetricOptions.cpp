#include "cli/MetricOptions.h"

#include <sstream>
#include <vector>

#include "cli/CliError.h"
#include "cli/LayoutNames.h"
#include "cli/OptionValues.h"
#include "yuv/Threads.h"

namespace lumo::cli {
namespace {

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        items.push_back(item);
    if (!text.empty() && text.back() == ',')
        items.emplace_back();
    return items;
}

} // namespace

MetricChoice ParseMetricList(const std::string& text)
{
    MetricChoice choice;
    choice.psnr = choice.ssimGray = false;
    const std::vector<std::string> items = SplitCommas(ToLower(text));
    if (items.empty())
        throw CliError("--metrics needs at least one metric: psnr, ssim_gray, ssim, ms_ssim, psnr_yuv, all or every");
    ExtraMetrics& e = choice.extra;
    for (const std::string& item : items) {
        const bool every = item == "every";
        const bool all = every || item == "all";
        if (!all && item != "psnr" && item != "ssim_gray" && item != "ssim" && item != "ms_ssim" &&
            item != "psnr_yuv")
            throw CliError("unknown metrics '" + item + "': use psnr, ssim_gray, ssim, ms_ssim, psnr_yuv, all or every");
        choice.psnr = choice.psnr || all || item == "psnr";
        choice.ssimGray = choice.ssimGray || all || item == "ssim_gray";
        e.planeSsim = e.planeSsim || every || item == "ssim";
        e.msSsim = e.msSsim || every || item == "ms_ssim";
        e.psnrYuv = e.psnrYuv || every || item == "psnr_yuv";
    }
    if (choice.psnr && choice.ssimGray && !e.Any()) {
        choice.name = "all";
        return choice;
    }
    std::string name;
    for (const auto& [chosen, metric] : {std::pair<bool, const char*>{choice.psnr, "psnr"},
                                         {choice.ssimGray, "ssim_gray"},
                                         {e.planeSsim, "ssim"},
                                         {e.msSsim, "ms_ssim"},
                                         {e.psnrYuv, "psnr_yuv"}})
        if (chosen)
            name += (name.empty() ? "" : ",") + std::string(metric);
    choice.name = name;
    return choice;
}

Region ParseRegion(const std::string& text)
{
    const std::vector<std::string> items = SplitCommas(text);
    if (items.size() != 4)
        throw CliError("bad value '" + text + "' for --roi: use X,Y,W,H in luma pixels");
    Region r;
    int* fields[4] = {&r.x, &r.y, &r.w, &r.h};
    try {
        for (int i = 0; i < 4; ++i)
            *fields[i] = ParseIndex(items[i], "--roi");
    } catch (const CliError&) {
        throw CliError("bad value '" + text + "' for --roi: use X,Y,W,H in luma pixels");
    }
    if (r.w < 1 || r.h < 1)
        throw CliError("bad value '" + text + "' for --roi: the width and height must be at least 1");
    return r;
}

void RequireRegionInside(const Region& r, int width, int height)
{
    if (!RegionInside(r, width, height))
        throw CliError("the region " + std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) +
                       "," + std::to_string(r.h) + " (--roi) is not wholly inside the " + std::to_string(width) +
                       "x" + std::to_string(height) + " frame");
}

CompareEngine::Settings EngineSettings(const RawInput& reference, const RawInput& compared, int first, int last,
                                       int metricRange, const MetricChoice& metrics, const Region& region, int jobs)
{
    CompareEngine::Settings settings;
    settings.a = reference.Reader();
    settings.b = compared.Reader();
    settings.reference = reference.Source();
    settings.compared = compared.Source();
    settings.first = first;
    settings.last = last;
    settings.colorRangeCode = metricRange;
    settings.withSsim = metrics.ssimGray;
    settings.withPsnr = metrics.psnr;
    settings.extra = metrics.extra;
    settings.region = region;
    settings.workers = CompareEngine::ChooseWorkers(jobs, reference.Reader().Width(), reference.Reader().Height(),
                                                    NeedsSsimMemory(metrics), CompareEngine::kDefaultMemoryBudget,
                                                    reference.Source()->BitDepth());
    settings.maxInFlight = 2 * settings.workers;
    ThreadBudget::Process().SetLimit(settings.workers + 1);
    return settings;
}

} // namespace lumo::cli
