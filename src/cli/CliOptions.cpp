#include "cli/CliOptions.h"

#include <functional>
#include <map>

namespace quillon {
namespace {

constexpr const char* kUsage = R"(Usage: quillon-cli [options] PATH

Makes the web site in PATH (a folder, or one file) smaller and faster to download: web pages
are minified, GIFs are re-encoded on one shared palette, JPEGs lose their metadata segments,
and every file is rewritten only when it became smaller. Runs exactly as the window's Process button does, with your settings; the
options below override them for this run only.

Options:
  --dest DIR              copy the site into DIR and optimize the copy
  --in-place              optimize the original files (each backed up as NAME.BAK first)
  --no-backup             when optimizing originals: make no .BAK backups
  --on-exists ACTION      when the copy already exists in DIR: replace, modify (copy to
                          site1, site2, ...) or cancel; asked on a terminal, otherwise modify
  --settings FILE         read and write settings in the INI file FILE instead of yours
  --open-report           open the HTML report in the browser afterwards
  --json                  print the summary as JSON on standard output
  -q, --quiet             print no progress and no summary
  --version               print the version and exit
  --help                  print this help and exit

Exit codes: 0 done; 1 done, with files or folders listed in the error log; 2 bad usage, an unreadable
PATH, a --settings FILE that is no settings file, HOME not set, or a run that could not copy the
site or write its report; 3 cancelled (Ctrl-C stops at the next checkpoint and the report is still
written; a second Ctrl-C quits at once); 4 the run finished but its summary, settings or
statistics could not be written (2 and 3 go before it).
)";

constexpr const char* kVersion = "quillon-cli 2.0.0\n";

ParsedCommandLine UsageError(const std::string& message) {
    return {std::nullopt, "quillon-cli: " + message + "\nTry 'quillon-cli --help'.\n", kExitUsage};
}

std::optional<ExistsAnswer> ParseExistsAnswer(const std::string& text) {
    static const std::map<std::string, ExistsAnswer> answers = {{"replace", ExistsAnswer::kReplace},
                                                                {"modify", ExistsAnswer::kModify},
                                                                {"cancel", ExistsAnswer::kCancel}};
    const auto found = answers.find(text);
    return found == answers.end() ? std::nullopt : std::optional(found->second);
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CliOptions options;
    std::vector<std::string> paths;
    // Options that take a value: the next argument, or the text after "=".
    const std::map<std::string, std::function<std::optional<std::string>(const std::string&)>>
        valued = {
            {"--dest",
             [&](const std::string& value) -> std::optional<std::string> {
                 options.destination = value;
                 return std::nullopt;
             }},
            {"--settings",
             [&](const std::string& value) -> std::optional<std::string> {
                 options.settingsFile = value;
                 return std::nullopt;
             }},
            {"--on-exists",
             [&](const std::string& value) -> std::optional<std::string> {
                 options.onExists = ParseExistsAnswer(value);
                 if (!options.onExists) {
                     return "--on-exists takes replace, modify or cancel, not '" + value + "'";
                 }
                 return std::nullopt;
             }},
        };
    const std::map<std::string, bool*> flags = {{"--in-place", &options.inPlace},
                                                {"--no-backup", &options.noBackup},
                                                {"--open-report", &options.openReport},
                                                {"--json", &options.json},
                                                {"--quiet", &options.quiet},
                                                {"-q", &options.quiet}};

    bool onlyPaths = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyPaths || argument.empty() || argument[0] != '-' || argument == "-") {
            paths.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyPaths = true;
        } else if (argument == "--help" || argument == "-h") {
            return {std::nullopt, kUsage, kExitDone};
        } else if (argument == "--version") {
            return {std::nullopt, kVersion, kExitDone};
        } else if (const auto flag = flags.find(argument); flag != flags.end()) {
            *flag->second = true;
        } else {
            const std::size_t equals = argument.find('=');
            const std::string name = argument.substr(0, equals);
            const auto option = valued.find(name);
            if (option == valued.end()) {
                return UsageError("unknown option '" + argument + "'");
            }
            std::string value;
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return UsageError(name + " needs a value");
            }
            if (const auto error = option->second(value)) {
                return UsageError(*error);
            }
        }
    }
    if (paths.size() != 1) {
        return UsageError(paths.empty()
                              ? "no folder or file to optimize"
                              : "give one folder or file, not " + std::to_string(paths.size()));
    }
    if (options.destination && options.inPlace) {
        return UsageError("--dest and --in-place exclude each other");
    }
    options.selection = paths.front();
    return {options, {}, kExitDone};
}

}  // namespace quillon
