// quillon-cli run as a build pipeline runs it, with faults put in its way: the exit code says what
// happened, a copy run leaves the originals byte for byte as they were, and the JSON summary is
// JSON for Python's json module, which insists on UTF-8, whatever the names and the locale.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "Corpus.h"
#include "TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using Contents = std::map<std::string, std::string>;  // relative path -> bytes
using Environment = std::vector<std::pair<std::string, std::string>>;

struct Outcome {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out, err;
};

struct Launch {
    Environment environment;               // set on top of the test's
    fs::path stdoutFile;                   // standard output goes here instead of being captured
    bool interruptAfterFirstFile = false;  // Ctrl-C once the first file is under way
    bool unprivileged = false;  // as "nobody": CI runs as root, which permissions do not stop
};

// Runs a program looked up on PATH (no shell sees the arguments), output captured.
Outcome RunProgram(std::vector<std::string> arguments, const Launch& launch) {
    const test::TempDir output;
    const fs::path out = launch.stdoutFile.empty() ? output / "out" : launch.stdoutFile;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open((output / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        for (const auto& [name, value] : launch.environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        if (launch.unprivileged && !test::DropPrivileges()) {
            ::_exit(126);
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        ::execvp(argv.front(), argv.data());
        ::_exit(127);
    }
    // Without a terminal, progress is one line per file on standard error.
    int status = 0;
    pid_t ended = 0;
    for (; launch.interruptAfterFirstFile && ended == 0;
         ended = ::waitpid(child, &status, WNOHANG)) {
        if (test::ReadText(output / "err").find('\n') != std::string::npos) {
            ::kill(child, SIGINT);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (ended == 0) {
        ::waitpid(child, &status, 0);
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            launch.stdoutFile.empty() ? test::ReadText(out) : "", test::ReadText(output / "err")};
}

// Every regular file below folder (links not followed), by path relative to it.
Contents Snapshot(const fs::path& folder) {
    Contents contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_symlink() && entry.is_regular_file()) {
            contents[entry.path().lexically_relative(folder).string()] = test::ReadText(entry);
        }
    }
    return contents;
}

// Runs write numbers with a decimal comma, which once made the figures "27,8"; messages stay
// untranslated, for the rows to find.
const Environment& DecimalComma() {
    static const test::TempDir locales;
    static const Environment environment = {{"LOCPATH", locales.Path()},
                                            {"LC_ALL", ""},
                                            {"LC_CTYPE", "de_DE.UTF-8"},
                                            {"LC_NUMERIC", "de_DE.UTF-8"}};
    static const Outcome made = RunProgram(
        {"localedef", "-i", "de_DE", "-f", "UTF-8", (locales / "de_DE.UTF-8").string()}, {});
    return environment;  // the check of the JSON finds out when the locale is missing
}

// Python reads it in the run's locale and finds each name it gives (argv[2] files at least) on
// disk: os.fsencode turns every \udcXX, a byte outside UTF-8, back into that byte.
constexpr const char* kCheckJson =
    "import json, locale, os, sys\n"
    "locale.setlocale(locale.LC_ALL, '')\n"
    "assert locale.localeconv()['decimal_point'] == ','\n"
    "summary = json.load(open(sys.argv[1], encoding='utf-8'))\n"
    "assert len(summary['filesWithErrors']) >= int(sys.argv[2])\n"
    "names = [summary['selection'], summary['report']] + summary['filesWithErrors']\n"
    "for name in names + summary['foldersWithErrors']:\n"
    "    assert os.path.exists(os.fsencode(name)), name\n";

// quillon-cli on a copy of the sample site, with settings, home and logs of its own beside it.
struct Env {
    explicit Env(const test::TempDir& temp) : dir(temp.Path()) {
        fs::copy(QUILLON_EXAMPLES_DIR "/site", site, fs::copy_options::recursive);
        fs::create_directories(dir / "tmp");
    }
    // Takes a permission away from the unprivileged user the run then runs as.
    void Restrict(const fs::path& path, fs::perms perms) {
        EXPECT_TRUE(test::GiveTreeToUnprivilegedUser(dir));
        fs::permissions(path, perms);
        launch.unprivileged = true;
    }
    Outcome Run(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {QUILLON_CLI_PATH, "--settings", settings.string()};
        for (const std::string& argument : arguments) {
            all.push_back(argument == "SITE" ? site : argument == "OUT" ? out : fs::path(argument));
        }
        launch.environment = DecimalComma();
        launch.environment.insert(
            launch.environment.end(),
            {{"TMPDIR", dir / "tmp"}, {"HOME", home}, {"XDG_CONFIG_HOME", dir / "home"}});
        return RunProgram(all, launch);
    }

    fs::path dir;
    fs::path site = dir / "site";
    fs::path out = dir / "out";
    fs::path settings = dir / "settings.ini";
    fs::path home = dir / "home";
    Launch launch;
};

// What is put in a run's way before it starts.
enum Fault : unsigned {
    kExistingCopy = 1,         // OUT/site is there already
    kReadOnlyDestination = 2,  // OUT may not be written into, not even by its owner
    kFullDevice = 4,           // standard output is /dev/full
    kUnreadable = 8,           // a page and a folder the run may not read
    kSettingsBelowAFile = 16,
    kSettingsNotIni = 32,  // the settings file is a web page, given by mistake
    kOddPages = 64,        // the site is four pages; one holds a 0 byte, one is UTF-16
    kCtrlC = 128,          // 3000 pages more, and Ctrl-C once the first file is under way
    kOddNames = 256,       // names that are no UTF-8, in the site's name and its files'
    kRelativeHome = 512,
};
constexpr const char* kPage = "<p>  a    ";
// Latin-1, stray bytes, an overlong form, an encoded surrogate, a code point above U+10FFFF,
// sequences cut short; the site's name ends in a stray byte after a character outside the BMP.
const char* const kOddFileNames[] = {"bad \"\x01\xFF\xC3\n", "\xC0\xAF",         "\xED\xA0\x80",
                                     "\xF4\x90\x80\x80",     "\xE6\xE6\x97\xA5", "\xE6\x97x"};

void Prepare(Env& env, unsigned faults) {
    if (faults & kExistingCopy) {
        fs::create_directories(env.out / "site");
    }
    if (faults & kReadOnlyDestination) {
        fs::create_directories(env.out);
        env.Restrict(env.out, fs::perms(0555));
    }
    env.launch.stdoutFile = (faults & kFullDevice) ? "/dev/full" : "";
    env.launch.interruptAfterFirstFile = faults & kCtrlC;
    if (faults & kUnreadable) {
        test::WriteText(env.site / "private.htm", kPage);
        test::WriteText(env.site / "locked" / "page.htm", kPage);
        env.Restrict(env.site / "private.htm", fs::perms::none);
        env.Restrict(env.site / "locked", fs::perms::none);
    }
    if (faults & kSettingsBelowAFile) {
        test::WriteText(env.dir / "blocker", "a file where a folder should be");
        env.settings = env.dir / "blocker" / "settings.ini";
    }
    if (faults & kRelativeHome) {
        env.home = "home";
    }
    if (faults & kSettingsNotIni) {
        test::WriteText(env.settings, kPage);
    }
    if (faults & kOddPages) {
        fs::remove_all(env.site);
        test::WriteText(env.site / "a.htm", std::string("<p>a\0b</p>", 10));
        test::WriteText(env.site / "b.htm", kPage);
        test::WriteText(env.site / "c.htm", std::string("\xff\xfe<\0p\0>\0", 8));
        test::WriteText(env.site / "d.html", kPage);
    }
    for (int i = 0; (faults & kCtrlC) && i < 3000; ++i) {
        test::WriteText(env.site / ("p" + std::to_string(i) + ".htm"), kPage);
    }
    if (faults & kOddNames) {
        fs::rename(env.site, env.dir / "caf\xE9 \xF0\x90\x82\x80\x80");
        env.site = env.dir / "caf\xE9 \xF0\x90\x82\x80\x80";
        for (const char* name : kOddFileNames) {
            test::WriteText(env.site / (name + std::string(".gif")), "<p>not a picture</p>");
        }
    }
}

// One run: the faults put in its way, its exit code, what it must say and what it must leave.
// "SITE" and "OUT" in the arguments stand for the site and the destination.
struct Row {
    const char* name;
    int exitCode;
    std::vector<std::string> arguments;
    unsigned faults;
    std::vector<std::string> err;          // standard error holds each of these
    std::vector<std::string> out;          // standard output each of these
    std::vector<std::string> made = {};    // these exist afterwards, below the run's folder
    std::vector<std::string> absent = {};  // these do not
    friend void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }
};

class CliRunTest : public ::testing::TestWithParam<Row> {};

TEST_P(CliRunTest, ExitCodeAndWhatTheRunLeaves) {
    const Row& row = GetParam();
    test::TempDir dir;
    Env env(dir);
    Prepare(env, row.faults);
    const Contents original = Snapshot(env.site);
    const Outcome outcome = env.Run(row.arguments);
    EXPECT_EQ(outcome.exitCode, row.exitCode) << outcome.err;
    for (const auto& [texts, output] :
         {std::pair(&row.err, &outcome.err), {&row.out, &outcome.out}}) {
        for (const std::string& text : *texts) {
            EXPECT_NE(output->find(text), std::string::npos) << text << "\n" << *output;
        }
    }
    for (const auto& [paths, there] : {std::pair(&row.made, true), {&row.absent, false}}) {
        for (const std::string& path : *paths) {
            EXPECT_EQ(fs::exists(dir / path), there) << path;
        }
    }
    if (row.arguments.front() == "--dest") {
        EXPECT_TRUE(Snapshot(env.site) == original) << "the run changed the site it copied";
    }
    if (std::count(row.arguments.begin(), row.arguments.end(), "--json") && outcome.exitCode != 4) {
        test::WriteText(dir / "summary.json", outcome.out);
        const Launch python = {DecimalComma(), {}, false, false};
        const Outcome checked =
            RunProgram({"python3", "-c", kCheckJson, (dir / "summary.json").string(),
                        (row.faults & kOddNames) ? "6" : "0"},
                       python);
        EXPECT_EQ(checked.exitCode, 0) << checked.err << outcome.out;
    }
    if (row.faults & kSettingsNotIni) {
        EXPECT_EQ(test::ReadText(env.settings), kPage);
    }
    if (row.faults & kCtrlC) {  // stopped well before the end of the list
        const QJsonDocument summary = QJsonDocument::fromJson(outcome.out.c_str());
        EXPECT_LT(summary["pages"]["files"].toInteger(9999), 3004);
    }
}

constexpr const char* kFull = "could not write the summary to standard output: No space left";
const std::string kReport = "out/Quillon Optimized Files/'site' Report.html";

// Rows: name, exit code, arguments, faults, then what standard error and standard output hold
// and the paths that exist and that do not afterwards.
// clang-format off
INSTANTIATE_TEST_SUITE_P(ExitCodes, CliRunTest, ::testing::Values(
    // 0: done. Without a terminal an existing copy is numbered, never overwritten.
    Row{"ExistingCopyIsNumbered", 0, {"--dest", "OUT", "SITE"}, kExistingCopy, {},
        {"'site1' Report.html"}, {"out/site1/index.htm"}, {"out/site/index.htm"}},
    // A page holding a 0 byte goes through no pass, and the progress line after it used to name
    // it again instead of the next file.
    Row{"EachProgressLineNamesItsOwnFile", 0, {"--in-place", "--no-backup", "SITE"}, kOddPages,
        {"1/4 ", "2/4 ", "3/4 ", "4/4 ", " site/a.htm\n", " site/b.htm\n", " site/c.htm\n",
         " site/d.html\n"}, {}, {}, {"site/a.htm.BAK"}},
    // 1: done, with names in the error log. Without a terminal the log goes with the run, so the
    // summary lists them, with the reason.
    Row{"UnreadablePageAndFolderAreNamed", 1, {"--in-place", "--no-backup", "SITE"}, kUnreadable,
        {}, {"Files that could not be optimized (1):\n  /", "/site/private.htm (",
             "Folders that could not be read and were left out (1):\n  /", "/site/locked ("},
        {}, {"site/index.htm.BAK"}},
    Row{"NamesKeepTheirBytes", 1, {"--dest", "OUT", "--json", "SITE"}, kOddNames, {}, {}},
    // 2: bad usage, or a run that could not do its work.
    Row{"MissingSelection", 2, {"--dest", "OUT", "missing"}, {}, {"cannot read 'missing'"}, {}},
    // Below a relative HOME the settings and the copy would land wherever the program started.
    Row{"HomeThatIsNoAbsolutePath", 2, {"--dest", "OUT", "SITE"}, kRelativeHome,
        {"HOME is not set"}, {}, {}, {"settings.ini", "out"}},
    Row{"SettingsFileThatIsNoSettingsFileIsLeftAlone", 2, {"--dest", "OUT", "SITE"},
        kSettingsNotIni, {"is not a settings file: line 1"}, {}, {}, {"out"}},
    Row{"ReadOnlyDestination", 2, {"--dest", "OUT", "SITE"}, kReadOnlyDestination,
        {"Unable to backup file", "The system error code is 13"}, {}, {}, {"out/site"}},
    // 3: cancelled. Ctrl-C stops at the next checkpoint, and the report is still written.
    Row{"ExistingCopyAndOnExistsCancel", 3, {"--dest", "OUT", "--on-exists", "cancel", "SITE"},
        kExistingCopy, {}, {"The run was cancelled."}, {}, {"out/site/index.htm", "out/site1"}},
    Row{"CtrlC", 3, {"--dest", "OUT", "--json", "SITE"}, kCtrlC,
        {"stopping at the next checkpoint"}, {"\"cancelled\": true"}, {kReport}},
    // 4: the run finished, but its summary or settings were not written. 2 and 3, which tell of a
    // run that did not, go before it; it goes before 1.
    Row{"SummaryToAFullDevice", 4, {"--dest", "OUT", "--json", "SITE"}, kFullDevice, {kFull}, {},
        {kReport}},
    Row{"SettingsBelowAFile", 4, {"--dest", "OUT", "--json", "SITE"}, kSettingsBelowAFile,
        {"could not be saved in '", "blocker' is not a folder"}, {"\"report\": \""}, {kReport}},
    Row{"ErrorsLoggedAndSummaryLost", 4, {"--dest", "OUT", "SITE"}, kOddNames | kFullDevice,
        {kFull}, {}},
    Row{"CancelledAndSummaryLost", 3, {"--dest", "OUT", "--on-exists", "cancel", "SITE"},
        kExistingCopy | kFullDevice, {kFull}, {}},
    Row{"CopyFailedAndSummaryLost", 2, {"--dest", "OUT", "SITE"},
        kReadOnlyDestination | kFullDevice, {kFull}, {}}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

// How many files are worked on at once changes nothing but the time: on a site of every kind,
// damaged files among them, one file at a time and four at once give the same bytes on disk, the
// same summary and the same report (its date aside), files and errors in the same order.
TEST(CliRun, FilesAtOnceChangeNothingButTheTime) {
    test::TempDir dir;
    Env env(dir);
    for (const char* folder : {"html", "gif", "jpeg", "gif/malformed", "jpeg/malformed"}) {
        fs::create_directories(env.site / folder);
        for (const fs::path& file : test::CorpusFiles(folder, {".htm", ".html", ".gif", ".jpg"})) {
            fs::copy_file(file, env.site / folder / file.filename());
        }
    }
    const auto run = [&env, &dir](const char* jobs) {
        env.out = dir / jobs;
        const Outcome outcome = env.Run({"--jobs", jobs, "--dest", "OUT", "--json", "SITE"});
        EXPECT_EQ(outcome.exitCode, 1) << outcome.err;  // the damaged files are logged
        std::string text = outcome.out + test::ReadText(env.out / "Quillon Optimized Files" /
                                                        "'site' Report.html");
        for (std::size_t at; (at = text.find(env.out.string())) != std::string::npos;) {
            text.replace(at, env.out.string().size(), "OUT");
        }
        return std::regex_replace(text, std::regex("Created on [^<]*"), "");
    };
    const std::string one = run("1");
    EXPECT_EQ(one, run("4"));
    EXPECT_NE(one.find("\"filesWithErrors\": [\n        \"OUT/site/"), std::string::npos);
    EXPECT_NE(one.find("<td"), std::string::npos);
    EXPECT_EQ(Snapshot(dir / "1" / "site"), Snapshot(dir / "4" / "site"));
}

// The program itself, run as it is installed, prints help that fits a terminal of 80 columns.
TEST(CliRun, HelpFitsEightyColumns) {
    const Outcome help = RunProgram({QUILLON_CLI_PATH, "--help"}, {});
    ASSERT_EQ(help.exitCode, 0) << help.err;
    EXPECT_TRUE(help.out.starts_with("Usage: quillon-cli [options] PATH\n")) << help.out;
    EXPECT_TRUE(RunProgram({QUILLON_CLI_PATH, "--version"}, {}).out.starts_with("quillon-cli "));
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) {
        // Columns are characters: UTF-8 continuation bytes take none. A tab's width depends on
        // where it stands, so none may appear.
        const auto columns = std::count_if(line.begin(), line.end(),
                                           [](unsigned char c) { return (c & 0xC0) != 0x80; });
        EXPECT_LE(columns, 80) << line;
        EXPECT_EQ(line.find('\t'), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace quillon
