// The HTML report of a run: space saved per file type, download seconds saved at three line
// speeds, and one row per handled file.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "pipeline/RunView.h"

namespace quillon {

struct ReportInputs {
    TypeCounters counters;
    std::filesystem::path logPath;   // the per-run log, one row per handled file
    std::string displayName;         // the selection's display name
    std::filesystem::path copyRoot;  // file rows are named relative to it
    std::filesystem::path reportPath;
    std::time_t createdAt = 0;
};

// The whole page, compacted with the whitespace passes.
std::string BuildReport(const ReportInputs& inputs);

// Writes the report, creating its folder when missing, then deletes the per-run log. Returns
// false when the report could not be written.
bool WriteReport(const ReportInputs& inputs);

// The name of a logged file as the report shows it: relative to the copy root when both lie on
// the same root, else the whole path.
std::string RelativeName(const std::filesystem::path& from, const std::filesystem::path& to);

// Text made safe to stand in HTML: & < > " and ' as character references.
std::string EscapeHtml(std::string_view text);

}  // namespace quillon
