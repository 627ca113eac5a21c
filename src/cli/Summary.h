// The end-of-run summary of quillon-cli, as text for people and as JSON for build pipelines.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "pipeline/Results.h"

namespace quillon {

struct RunSummary {
    std::string selection;
    RunResults results;
    std::filesystem::path reportPath;
    bool reportWritten = false;
    std::filesystem::path errorLogPath;  // empty when the run kept no error log on disk
    std::vector<std::string> filesWithErrors;
    std::vector<std::string> foldersWithErrors;  // left out of the run: they could not be read
    std::map<std::string, std::string> reasons;  // why each of them is listed
    bool cancelled = false;
};

// What the error log names: files and folders, each once, in the order logged.
struct ErrorLogNames {
    std::vector<std::string> files;
    std::vector<std::string> folders;
    std::map<std::string, std::string> reasons;  // the first reason given for each name
};
ErrorLogNames ReadErrorLogNames(const std::filesystem::path& errorLog);

// The figures of the results dialog as a small table.
std::string SummaryText(const RunSummary& summary);

// Names that are not UTF-8 keep their bytes: each byte outside valid UTF-8 is written as the
// lone surrogate escape \udcXX (XX = the byte), by the rule of NameText.h.
std::string SummaryJson(const RunSummary& summary);

}  // namespace quillon
