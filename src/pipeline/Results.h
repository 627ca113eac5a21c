// The run's results: how much smaller each kind of file became and how much faster the site
// downloads at three line speeds.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pipeline/DerivedPaths.h"
#include "pipeline/RunView.h"
#include "pipeline/SettingsStore.h"

namespace quillon {

// "#,##0": 1200000 gives 1,200,000.
std::string FormatNumber(std::uint64_t value);

// "%.1lf %%": 12.34 gives "12.3 %".
std::string FormatPercent(double percent);

// The line speeds of the summary, in bytes per second: before optimization a site travels at
// `before`, the optimized bytes at `after` (the ratio models what compressing modems gain).
struct LineSpeed {
    const char* label;        // as the results dialog names it
    const char* reportLabel;  // as the report names it
    double before;
    double after;
};
inline constexpr std::array<LineSpeed, 3> kLineSpeeds = {{
    {"33.6K Modem", "33k modem", 3360, 6048},
    {"56K Modem", "56k modem", 5300, 7950},
    {"384K DSL", "384k DSL", 38400, 49920},
}};

// The "faster" figure is the "smaller" figure scaled by what the speed model gains on average.
inline constexpr double kFasterFactor = 1.62;

// Everything the results dialog, the report and the command line show of a run.
struct RunResults {
    bool saved = false;  // something became smaller
    TypeCounters counters;
    TypeFigures total;
    double smallerPercent = 0;
    double fasterPercent = 0;
    std::string smallerText;  // "20.0 %"
    std::string fasterText;
    std::array<double, 3> secondsSaved{};    // per line speed, as in kLineSpeeds
    std::array<std::string, 3> secondsText;  // "%.1lf"
    std::array<int, 3> barPositions{};       // 0 to 100, per line speed
};

// Sums the counters and derives the percentages, seconds and bar positions. When nothing was
// saved only the totals and the smaller text are set.
RunResults ComputeResults(const TypeCounters& counters);

// Opens the report in the browser the settings name, or in the desktop's default one.
void OpenReport(const SettingsStore& settings, const DerivedPaths& paths, RunView& view);

}  // namespace quillon
