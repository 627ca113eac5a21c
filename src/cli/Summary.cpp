#include "cli/Summary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <vector>

#include "cli/NameText.h"
#include "pipeline/FileKinds.h"

namespace quillon {
namespace {

// Every error-log entry reads "Could not ACTION: PATH (REASON)"; those about files are listed.
constexpr std::string_view kEntryStart = "Could not ";

void AddOnce(std::vector<std::string>& names, std::string name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(std::move(name));
    }
}

// A label column, then right-aligned cells of 13 characters.
std::string Row(const char* label, const std::vector<std::string>& cells) {
    char column[32];
    std::snprintf(column, sizeof column, "%-15s", label);
    std::string line = column;
    for (const std::string& cell : cells) {
        std::snprintf(column, sizeof column, "%13s", cell.c_str());
        line += column;
    }
    return line + "\n";
}

// Figures keep the one decimal the text shows, rounded the same way whatever the locale.
double OneDecimal(double value) {
    char text[64];
    const char* const end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1).ptr;
    double rounded = 0;
    std::from_chars(text, end, rounded);
    return rounded;
}

QJsonValue JsonName(const std::string& name) {
    return NameToQString(name);
}

QJsonValue JsonNameOrNull(bool present, const std::filesystem::path& path) {
    return present ? JsonName(path.string()) : QJsonValue(QJsonValue::Null);
}

QJsonArray JsonNames(const std::vector<std::string>& names) {
    QJsonArray list;
    for (const std::string& name : names) {
        list.append(JsonName(name));
    }
    return list;
}

QJsonObject JsonFigures(const TypeFigures& figures) {
    return {{"files", qint64{figures.files}},
            {"bytesBefore", qint64{figures.bytesBefore}},
            {"bytesAfter", qint64{figures.bytesAfter}}};
}

QJsonObject JsonSecondsSaved(const RunResults& results) {
    QJsonObject seconds;
    for (std::size_t i = 0; i < kLineSpeeds.size(); ++i) {
        seconds.insert(kLineSpeeds[i].label, OneDecimal(results.secondsSaved[i]));
    }
    return seconds;
}

}  // namespace

ErrorLogNames ReadErrorLogNames(const std::filesystem::path& errorLog) {
    ErrorLogNames names;
    std::ifstream log(errorLog);
    std::string entry;
    // An entry ends with its reason; a path holding a line feed continues on the next line.
    for (std::string line; std::getline(log, line);) {
        entry += entry.empty() ? line : "\n" + line;
        if (entry.starts_with(kEntryStart) && !entry.ends_with(")")) {
            continue;
        }
        const std::size_t colon = entry.find(": ");
        const std::size_t reason = entry.rfind(" (");
        if (entry.starts_with(kEntryStart) && colon != std::string::npos &&
            reason != std::string::npos && reason > colon) {
            const std::string_view action = std::string_view(entry).substr(0, colon);
            std::string path = entry.substr(colon + 2, reason - colon - 2);
            names.reasons.try_emplace(path, entry.substr(reason + 2, entry.size() - reason - 3));
            if (action.ends_with(" file")) {
                AddOnce(names.files, std::move(path));
            } else if (action.ends_with(" folder")) {
                AddOnce(names.folders, std::move(path));
            }
        }
        entry.clear();
    }
    return names;
}

std::string SummaryText(const RunSummary& summary) {
    const RunResults& results = summary.results;
    std::vector<std::string> header;
    for (const FileKind& kind : FileKinds()) {
        header.emplace_back(kind.shortLabel);
    }
    header.emplace_back("Total");
    std::string text = Row("", header);
    const auto row = [&](const char* label, std::uint32_t TypeFigures::*field) {
        std::vector<std::string> cells;
        for (const TypeFigures& figures : results.counters.kinds) {
            cells.push_back(FormatNumber(figures.*field));
        }
        cells.push_back(FormatNumber(results.total.*field));
        text += Row(label, cells);
    };
    row("Files", &TypeFigures::files);
    row("Original size", &TypeFigures::bytesBefore);
    row("New size", &TypeFigures::bytesAfter);
    text += "\n";
    if (results.saved) {
        text += "The files are " + results.smallerText + " smaller; your site is " +
                results.fasterText + " faster.\n";
        text += "Seconds saved:";
        for (std::size_t i = 0; i < kLineSpeeds.size(); ++i) {
            text += std::string(i == 0 ? " " : ", ") + results.secondsText[i] + " at " +
                    kLineSpeeds[i].label;
        }
        text += "\n";
    } else {
        text += "No further compression is possible.\n";
    }
    if (summary.reportWritten) {
        text += "Report: " + summary.reportPath.string() + "\n";
    }
    // Where the error log is gone with the run, the names themselves are listed.
    const auto listed = [&](const std::string& heading, const std::vector<std::string>& names) {
        if (names.empty()) {
            return;
        }
        text += heading + " (" + std::to_string(names.size()) + ")";
        if (!summary.errorLogPath.empty()) {
            text += ", listed in: " + summary.errorLogPath.string() + "\n";
            return;
        }
        text += ":\n";
        for (const std::string& name : names) {
            const auto reason = summary.reasons.find(name);
            text += "  " + name +
                    (reason == summary.reasons.end() ? "" : " (" + reason->second + ")") + "\n";
        }
    };
    listed("Files that could not be optimized", summary.filesWithErrors);
    listed("Folders that could not be read and were left out", summary.foldersWithErrors);
    if (summary.cancelled) {
        text += "The run was cancelled.\n";
    }
    return text;
}

std::string SummaryJson(const RunSummary& summary) {
    const RunResults& results = summary.results;
    QJsonObject json = {
        {"selection", JsonName(summary.selection)},
        {"cancelled", summary.cancelled},
        {"total", JsonFigures(results.total)},
        {"percentSmaller", OneDecimal(results.smallerPercent)},
        {"percentFaster", OneDecimal(results.fasterPercent)},
        {"secondsSaved", JsonSecondsSaved(results)},
        {"report", JsonNameOrNull(summary.reportWritten, summary.reportPath)},
        {"errorLog", JsonNameOrNull(!summary.errorLogPath.empty(), summary.errorLogPath)},
        {"filesWithErrors", JsonNames(summary.filesWithErrors)},
        {"foldersWithErrors", JsonNames(summary.foldersWithErrors)},
    };
    for (const FileKind& kind : FileKinds()) {
        json.insert(QLatin1StringView(kind.summaryKey.data(), kind.summaryKey.size()),
                    JsonFigures(results.counters.Of(kind.fileClass)));
    }
    return QJsonDocument(json).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace quillon
