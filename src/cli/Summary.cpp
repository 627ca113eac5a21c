#include "cli/Summary.h"

#include <cstdio>
#include <fstream>

namespace quillon {
namespace {

// "Could not open file: PATH (unexpected format)" and "Could not read file: PATH
// (unrecognizable format)".
constexpr std::string_view kEntryStarts[] = {"Could not open file: ", "Could not read file: "};
constexpr std::string_view kEntryEnds[] = {" (unexpected format)", " (unrecognizable format)"};

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

std::vector<std::string> FilesWithErrors(const std::filesystem::path& errorLog) {
    std::vector<std::string> files;
    std::ifstream log(errorLog);
    for (std::string line; std::getline(log, line);) {
        for (std::size_t i = 0; i < std::size(kEntryStarts); ++i) {
            const std::string_view entry(line);
            if (entry.starts_with(kEntryStarts[i]) && entry.ends_with(kEntryEnds[i])) {
                files.emplace_back(
                    entry.substr(kEntryStarts[i].size(),
                                 entry.size() - kEntryStarts[i].size() - kEntryEnds[i].size()));
            }
        }
    }
    return files;
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
    json += "  \"filesWithErrors\": [";
    for (std::size_t i = 0; i < summary.filesWithErrors.size(); ++i) {
        json += std::string(i == 0 ? "" : ", ") + JsonString(summary.filesWithErrors[i]);
    }
    json += "]\n}\n";
    return json;
}

}  // namespace quillon
