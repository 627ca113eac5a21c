#include "pipeline/Report.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <utility>

#include "pipeline/FileIO.h"
#include "pipeline/FileKinds.h"
#include "pipeline/Results.h"
#include "resources/ReportTemplates.h"
#include "textopt/WhitespacePasses.h"

namespace quillon {
namespace {

using namespace resources;

// Fills one of the report's templates; they are printf formats written for exactly these
// arguments.
template <typename... Args>
void AppendTemplate(std::string& page, std::string_view format, Args... args) {
    const std::string pattern(format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    const int length = std::snprintf(nullptr, 0, pattern.c_str(), args...);
    if (length <= 0) {
        return;
    }
    std::string filled(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(filled.data(), filled.size(), pattern.c_str(), args...);
#pragma GCC diagnostic pop
    filled.pop_back();
    page += filled;
}

std::string CreatedOn(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    char text[64];
    std::strftime(text, sizeof text, "Created on %m/%d/%Y, %I:%M:%S %p", &local);
    return text;
}

// The space table has a column per kind of file, then the total, after the row labels.
constexpr int kSpaceColumns = static_cast<int>(kFileKindCount) + 2;

void AppendHead(std::string& page, const ReportInputs& inputs) {
    std::string headCells;
    for (const FileKind& kind : FileKinds()) {
        AppendTemplate(headCells, kTemplate165, std::string(kind.columnLabel).c_str());
    }
    AppendTemplate(headCells, kTemplate165, "Total");
    AppendTemplate(page, kTemplate154, CreatedOn(inputs.createdAt).c_str(),
                   EscapeHtml(inputs.displayName).c_str(), kSpaceColumns, headCells.c_str());
}

void AppendSpaceRows(std::string& page, const TypeCounters& counters, const TypeFigures& total) {
    struct Row {
        const char* label;
        std::uint32_t TypeFigures::*field;
    };
    const Row rows[] = {{"Files", &TypeFigures::files},
                        {"Original Size", &TypeFigures::bytesBefore},
                        {"New Size", &TypeFigures::bytesAfter}};
    for (const Row& row : rows) {
        std::string cells;
        for (const TypeFigures& figures : counters.kinds) {
            AppendTemplate(cells, kTemplate166, FormatNumber(figures.*row.field).c_str());
        }
        AppendTemplate(cells, kTemplate166, FormatNumber(total.*row.field).c_str());
        AppendTemplate(page, kTemplate164, row.label, cells.c_str());
    }
}

void AppendPerformance(std::string& page, const TypeFigures& total, double overallPercent) {
    const std::uint32_t saved = total.bytesBefore - total.bytesAfter;
    for (const LineSpeed& speed : kLineSpeeds) {
        const float seconds = static_cast<float>(saved) * (1.0f / static_cast<float>(speed.before));
        AppendTemplate(page, kTemplate158, speed.reportLabel, static_cast<double>(seconds));
    }
    AppendTemplate(page, kTemplate159, FormatPercent(overallPercent * kFasterFactor).c_str());
}

// One row per line of the per-run log: path, size as read, final size, separated by tabs. The
// sizes are the last two fields, so a tab in a name stays part of it; a line without them is the
// first part of a name that holds a line feed, continued on the next line.
void AppendFileRows(std::string& page, const ReportInputs& inputs) {
    std::ifstream log(inputs.logPath);
    std::string pending;
    for (std::string line; std::getline(log, line);) {
        const std::size_t lastTab = line.rfind('\t');
        const std::size_t sizeTab = lastTab == std::string::npos || lastTab == 0
                                        ? std::string::npos
                                        : line.rfind('\t', lastTab - 1);
        if (sizeTab == std::string::npos) {
            pending += line + '\n';
            continue;
        }
        const long before = std::strtol(line.c_str() + sizeTab + 1, nullptr, 10);
        const long after = std::strtol(line.c_str() + lastTab + 1, nullptr, 10);
        const float percent =
            before == 0 ? 100.0f
                        : (1.0f - static_cast<float>(after) / static_cast<float>(before)) * 100.0f;
        const std::string path = pending + line.substr(0, sizeTab);
        pending.clear();
        const std::string name = EscapeHtml(RelativeName(inputs.copyRoot, path));
        AppendTemplate(page, kTemplate160, name.c_str(),
                       FormatNumber(static_cast<std::uint64_t>(std::max(before, 0L))).c_str(),
                       FormatNumber(static_cast<std::uint64_t>(std::max(after, 0L))).c_str(),
                       static_cast<double>(percent));
    }
}

// The same layout passes that web pages go through.
void Compact(std::string& page) {
    auto* text = reinterpret_cast<std::uint8_t*>(page.data());
    auto length = static_cast<TextLength>(page.size());
    for (TextLength (*pass)(std::uint8_t*, TextLength) :
         {NormalizeLineEnds, TabsToSpaces, CollapseSpaces, TrimAroundLineEnds, CollapseBlankLines,
          TrimAroundBlockTags}) {
        length = pass(text, length);
    }
    page.resize(static_cast<std::size_t>(length));
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            case '\0':
                break;  // never part of a name; it would end the text early
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string RelativeName(const std::filesystem::path& from, const std::filesystem::path& to) {
    const std::filesystem::path relative = to.lexically_relative(from);
    // A run of one file has the file itself for its copy root: the row names the file.
    if (relative == ".") {
        return to.filename().string();
    }
    return relative.empty() ? to.string() : relative.string();
}

std::string BuildReport(const ReportInputs& inputs) {
    const RunResults results = ComputeResults(inputs.counters);
    const double overall =
        results.total.bytesBefore == 0
            ? 0.0
            : (1.0 - static_cast<double>(results.total.bytesAfter) / results.total.bytesBefore) *
                  100.0;
    std::string page;
    AppendHead(page, inputs);
    AppendSpaceRows(page, inputs.counters, results.total);
    AppendTemplate(page, kTemplate157, kSpaceColumns, FormatPercent(overall).c_str(),
                   kSpaceColumns);
    AppendPerformance(page, results.total, overall);
    AppendFileRows(page, inputs);
    AppendTemplate(page, kTemplate163);
    AppendTemplate(page, kTemplate162);
    AppendTemplate(page, kTemplate155);
    Compact(page);
    return page;
}

bool WriteReport(const ReportInputs& inputs) {
    const std::string page = BuildReport(inputs);
    std::error_code error;
    std::filesystem::create_directories(inputs.reportPath.parent_path(), error);
    const bool written =
        WriteWholeFile(inputs.reportPath, reinterpret_cast<const std::uint8_t*>(page.data()),
                       static_cast<std::uint32_t>(page.size()));
    if (written) {
        std::filesystem::remove(inputs.logPath, error);
    }
    return written;
}

}  // namespace quillon
