#include "pipeline/Results.h"

#include <cstdio>

#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

std::string FormatOneDecimal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

TypeFigures Sum(const TypeCounters& counters) {
    TypeFigures total;
    for (const TypeFigures& figures : counters.kinds) {
        total.files += figures.files;
        total.bytesBefore += figures.bytesBefore;
        total.bytesAfter += figures.bytesAfter;
    }
    return total;
}

// How much less time the optimized site takes at one line speed, in whole percent.
int BarPosition(const LineSpeed& speed, double before, double after) {
    const double timeBefore = before / speed.before;
    if (timeBefore == 0) {
        return 0;
    }
    const double timeAfter = after / speed.after;
    return static_cast<int>((1 - timeAfter / timeBefore) * 100);
}

}  // namespace

std::string FormatNumber(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::ptrdiff_t at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    }
    return digits;
}

std::string FormatPercent(double percent) {
    return FormatOneDecimal(percent) + " %";
}

RunResults ComputeResults(const TypeCounters& counters) {
    RunResults results;
    results.counters = counters;
    results.total = Sum(counters);
    const double before = results.total.bytesBefore;
    const double after = results.total.bytesAfter;
    results.smallerPercent = before == 0 ? 0 : (1 - after / before) * 100;
    results.smallerText = FormatPercent(results.smallerPercent);
    if (!(results.smallerPercent > 0)) {
        return results;
    }
    results.saved = true;
    results.fasterPercent = results.smallerPercent * kFasterFactor;
    results.fasterText = FormatPercent(results.fasterPercent);
    for (std::size_t i = 0; i < kLineSpeeds.size(); ++i) {
        results.secondsSaved[i] = (before - after) / kLineSpeeds[i].before;
        results.secondsText[i] = FormatOneDecimal(results.secondsSaved[i]);
        results.barPositions[i] = BarPosition(kLineSpeeds[i], before, after);
    }
    return results;
}

void OpenReport(const SettingsStore& settings, const DerivedPaths& paths, RunView& view) {
    std::filesystem::path browser;
    if (settings.GetInt(section::kReport, key::kUseDefaultBrowser, 1) == 0) {
        browser = settings.GetString(section::kReport, key::kBrowserName, "");
    }
    view.OpenDocument(browser, paths.GetReportPath());
}

}  // namespace quillon
