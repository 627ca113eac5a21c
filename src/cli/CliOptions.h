// The command line of quillon-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pipeline/RunView.h"

namespace quillon {

struct CliOptions {
    std::string selection;
    std::optional<std::string> destination;   // --dest: copy mode into this folder
    bool inPlace = false;                     // --in-place
    bool noBackup = false;                    // --no-backup
    std::optional<ExistsAnswer> onExists;     // --on-exists
    std::optional<std::string> settingsFile;  // --settings: an INI file
    bool openReport = false;                  // --open-report
    bool json = false;                        // --json
    bool quiet = false;                       // -q, --quiet
    std::optional<unsigned> jobs;             // --jobs: files at once, 0 for one per core
};

// Exit codes of quillon-cli.
enum ExitCode : int {
    kExitDone = 0,
    kExitErrorsLogged = 1,
    kExitUsage = 2,
    kExitCancelled = 3,
    kExitNotSaved =
        4,  // the run finished, but its summary, settings or statistics were not written
};

struct ParsedCommandLine {
    std::optional<CliOptions> options;  // nothing: exit with `exitCode` after printing `output`
    std::string output;                 // --help or --version text, or the usage error
    int exitCode = kExitDone;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace quillon
