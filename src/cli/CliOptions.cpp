#include "cli/CliOptions.h"

#include <QCommandLineParser>
#include <QStringList>
#include <charconv>
#include <map>

#include "cli/NameText.h"
#include "pipeline/FileProcessor.h"

namespace quillon {
namespace {

// Qt does not wrap the description and the closing text: their lines are kept under 80 columns
// here, as Qt keeps the options' lines.
constexpr const char* kDescription =
    "Makes the web site in PATH (a folder, or one file) smaller and faster to\n"
    "download: web pages are minified, GIFs are re-encoded on one shared palette,\n"
    "JPEGs lose their metadata segments, and every file is rewritten only when it\n"
    "became smaller. Runs as the window's Process button does, with your settings;\n"
    "the options below override them for this run only.";

constexpr const char* kExitStatus =
    "Exit status:\n"
    "  0  done\n"
    "  1  done, with files or folders listed in the error log\n"
    "  2  bad usage, an unreadable PATH, a --settings FILE that is no settings file,\n"
    "     HOME not set, or a run that could not copy the site or write its report\n"
    "  3  cancelled (Ctrl-C stops at the next checkpoint and the report is still\n"
    "     written; a second Ctrl-C quits at once)\n"
    "  4  the run finished but its summary, settings or statistics could not be\n"
    "     written (2 and 3 go before it)\n"
    "\n"
    "Where the copy, the report and the logs go: man quillon-cli\n";

constexpr const char* kVersion = "quillon-cli " QUILLON_VERSION "\n";

// In the order --help lists them.
QList<QCommandLineOption> Options() {
    return {
        QCommandLineOption("dest", "copy the site into DIR and optimize the copy", "DIR"),
        QCommandLineOption("in-place", "optimize the originals (backed up as NAME.BAK first)"),
        QCommandLineOption("no-backup", "when optimizing originals: make no .BAK backups"),
        QCommandLineOption("on-exists",
                           "when the copy already exists in DIR: replace, modify (copy to "
                           "site1, site2, ...) or cancel; asked on a terminal, otherwise modify",
                           "ACTION"),
        QCommandLineOption("jobs", "optimize N files at once; 0: one per processor core", "N"),
        QCommandLineOption("settings", "use the INI file FILE for settings instead of yours",
                           "FILE"),
        QCommandLineOption("open-report", "open the HTML report in the browser afterwards"),
        QCommandLineOption("json", "print the summary as JSON on standard output"),
        QCommandLineOption(QStringList{"q", "quiet"}, "print no progress and no summary"),
        QCommandLineOption("version", "print the version and exit"),
        QCommandLineOption(QStringList{"h", "help"}, "print this help and exit"),
    };
}

struct Flag {
    const char* name;
    bool CliOptions::*field;
};
constexpr Flag kFlags[] = {{"in-place", &CliOptions::inPlace},
                           {"no-backup", &CliOptions::noBackup},
                           {"open-report", &CliOptions::openReport},
                           {"json", &CliOptions::json},
                           {"quiet", &CliOptions::quiet}};

// Qt names the program by the path it was started with; the help names it as it is typed, so
// that no install folder pushes the usage line past the width of a terminal.
std::string HelpText(const QCommandLineParser& parser) {
    const QString text = parser.helpText();
    return "Usage: quillon-cli" + text.mid(text.indexOf(" [options]")).toStdString() + "\n" +
           kExitStatus;
}

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

std::optional<unsigned> ParseJobs(const std::string& text) {
    unsigned jobs = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, jobs);
    if (text.empty() || error != std::errc() || stop != end || jobs > kMaxFilesAtOnce) {
        return std::nullopt;
    }
    return jobs;
}

// A value as the bytes it was given in: names on disk need not be UTF-8.
std::optional<std::string> Value(const QCommandLineParser& parser, const char* name) {
    return parser.isSet(name) ? std::optional(NameFromQString(parser.value(name))) : std::nullopt;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addOptions(Options());
    parser.addPositionalArgument("PATH", "the folder or file to optimize", "PATH");
    QStringList words = {"quillon-cli"};
    for (const std::string& argument : arguments) {
        words += NameToQString(argument);
    }
    if (!parser.parse(words)) {
        return UsageError(NameFromQString(parser.errorText()));
    }
    if (parser.isSet("help")) {
        return {std::nullopt, HelpText(parser), kExitDone};
    }
    if (parser.isSet("version")) {
        return {std::nullopt, kVersion, kExitDone};
    }

    CliOptions options;
    for (const Flag& flag : kFlags) {
        options.*flag.field = parser.isSet(flag.name);
    }
    options.destination = Value(parser, "dest");
    options.settingsFile = Value(parser, "settings");
    if (options.settingsFile && !IsUtf8(*options.settingsFile)) {
        return UsageError("--settings needs a file whose name is UTF-8: '" + *options.settingsFile +
                          "' is not");
    }
    if (const auto answer = Value(parser, "on-exists")) {
        options.onExists = ParseExistsAnswer(*answer);
        if (!options.onExists) {
            return UsageError("--on-exists takes replace, modify or cancel, not '" + *answer + "'");
        }
    }
    if (const auto jobs = Value(parser, "jobs")) {
        options.jobs = ParseJobs(*jobs);
        if (!options.jobs) {
            return UsageError("--jobs takes a number from 0 to " + std::to_string(kMaxFilesAtOnce) +
                              ", not '" + *jobs + "'");
        }
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.size() != 1) {
        return UsageError(paths.empty()
                              ? "no folder or file to optimize"
                              : "give one folder or file, not " + std::to_string(paths.size()));
    }
    if (options.destination && options.inPlace) {
        return UsageError("--dest and --in-place exclude each other");
    }
    options.selection = NameFromQString(paths.front());
    return {options, {}, kExitDone};
}

}  // namespace quillon
