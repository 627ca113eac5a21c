#include "cli/Summary.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace quillon {
namespace {

// Every error-log entry reads "Could not ACTION: PATH (REASON)"; those about files are listed.
constexpr std::string_view kEntryStart = "Could not ";

void AddOnce(std::vector<std::string>& names, std::string name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(std::move(name));
    }
}

std::string Row(const char* label, const std::string (&cells)[4]) {
    char line[160];
    std::snprintf(line, sizeof line, "%-15s%13s%13s%13s%13s\n", label, cells[0].c_str(),
                  cells[1].c_str(), cells[2].c_str(), cells[3].c_str());
    return line;
}

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string json = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        json += std::string(i == 0 ? "" : ", ") + JsonString(items[i]);
    }
    return json + "]";
}

std::string JsonFigures(const TypeFigures& figures) {
    return "{\"files\": " + std::to_string(figures.files) +
           ", \"bytesBefore\": " + std::to_string(figures.bytesBefore) +
           ", \"bytesAfter\": " + std::to_string(figures.bytesAfter) + "}";
}

std::string JsonNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
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
    const TypeFigures* columns[] = {&results.counters.pages, &results.counters.gifs,
                                    &results.counters.jpegs, &results.total};
    const std::string header[4] = {"Web pages", "GIF", "JPEG", "Total"};
    std::string text = Row("", header);
    const auto row = [&](const char* label, std::uint32_t TypeFigures::*field) {
        std::string cells[4];
        for (int i = 0; i < 4; ++i) {
            cells[i] = FormatNumber(columns[i]->*field);
        }
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
    if (!summary.filesWithErrors.empty()) {
        text += "Files that could not be optimized (" +
                std::to_string(summary.filesWithErrors.size()) +
                "), listed in: " + summary.errorLogPath.string() + "\n";
    }
    if (!summary.foldersWithErrors.empty()) {
        text += "Folders that could not be read and were left out (" +
                std::to_string(summary.foldersWithErrors.size()) +
                "), listed in: " + summary.errorLogPath.string() + "\n";
    }
    if (summary.cancelled) {
        text += "The run was cancelled.\n";
    }
    return text;
}

std::string SummaryJson(const RunSummary& summary) {
    const RunResults& results = summary.results;
    std::string json = "{\n";
    json += "  \"selection\": " + JsonString(summary.selection) + ",\n";
    json += "  \"cancelled\": " + std::string(summary.cancelled ? "true" : "false") + ",\n";
    json += "  \"pages\": " + JsonFigures(results.counters.pages) + ",\n";
    json += "  \"gifs\": " + JsonFigures(results.counters.gifs) + ",\n";
    json += "  \"jpegs\": " + JsonFigures(results.counters.jpegs) + ",\n";
    json += "  \"total\": " + JsonFigures(results.total) + ",\n";
    json += "  \"percentSmaller\": " + JsonNumber(results.smallerPercent) + ",\n";
    json += "  \"percentFaster\": " + JsonNumber(results.fasterPercent) + ",\n";
    json += "  \"secondsSaved\": {";
    for (std::size_t i = 0; i < kLineSpeeds.size(); ++i) {
        json += std::string(i == 0 ? "" : ", ") + JsonString(kLineSpeeds[i].label) + ": " +
                JsonNumber(results.secondsSaved[i]);
    }
    json += "},\n";
    json += "  \"report\": " +
            (summary.reportWritten ? JsonString(summary.reportPath.string()) : "null") + ",\n";
    json += "  \"errorLog\": " + JsonString(summary.errorLogPath.string()) + ",\n";
    json += "  \"filesWithErrors\": " + JsonList(summary.filesWithErrors) + ",\n";
    json += "  \"foldersWithErrors\": " + JsonList(summary.foldersWithErrors) + "\n}\n";
    return json;
}

}  // namespace quillon
