// Runs quillon-cli as a real process, as a build pipeline does, with an environment of its own.
#pragma once

#include <QJsonObject>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace quillon::test {

struct CliOutcome {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

struct CliLaunch {
    std::vector<std::string> arguments;
    std::filesystem::path settings;        // --settings FILE, given before the arguments
    std::filesystem::path home;            // HOME and XDG_CONFIG_HOME below it
    bool unsetHome = false;                // no HOME at all; XDG_CONFIG_HOME stays below home
    std::filesystem::path stdoutFile;      // standard output goes here instead of being captured
    std::filesystem::path tmp;             // TMPDIR: where the run's logs go
    bool interruptAfterFirstFile = false;  // Ctrl-C once the first file is under way
    bool unprivileged = false;  // as "nobody": CI runs as root, which permissions do not stop
    long fileSizeLimit = 0;     // RLIMIT_FSIZE in bytes; 0 for none
    Environment environment;    // set on top of the rest
};

CliOutcome RunCli(const CliLaunch& launch);

// Runs a program looked up on PATH with these arguments (no shell sees them), output captured.
CliOutcome RunProgram(const std::vector<std::string>& arguments,
                      const Environment& environment = {});

// The JSON summary as Qt's parser reads it; an empty object when it is no JSON object.
QJsonObject ParseSummary(const std::string& json);

// The names a summary lists under key, as the bytes on disk they stand for.
std::vector<std::string> SummaryNames(const QJsonObject& summary, const char* key);

}  // namespace quillon::test
