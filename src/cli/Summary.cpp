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

// The length of the well-formed UTF-8 sequence at the start of text, or 0 when there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte, narrowed for some lead bytes
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// File names are bytes, and JSON text is Unicode. Valid UTF-8 is written as it is; every byte
// that is not part of it becomes the lone surrogate \udcXX, which loses nothing: decoded with
// surrogateescape (Python's os.fsencode) the string gives back the exact bytes.
std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    while (!text.empty()) {
        const char c = text.front();
        const auto byte = static_cast<unsigned char>(c);
        std::size_t taken = 1;
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            quoted += escape;
        } else if (const std::size_t length = Utf8SequenceLength(text); length > 0) {
            quoted.append(text.substr(0, length));
            taken = length;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\udc%02x", byte);
            quoted += escape;
        }
        text.remove_prefix(taken);
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
    json += "  \"errorLog\": " +
            (summary.errorLogPath.empty() ? "null" : JsonString(summary.errorLogPath.string())) +
            ",\n";
    json += "  \"filesWithErrors\": " + JsonList(summary.filesWithErrors) + ",\n";
    json += "  \"foldersWithErrors\": " + JsonList(summary.foldersWithErrors) + "\n}\n";
    return json;
}

}  // namespace quillon
