#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "CliProcess.h"

namespace quillon {
namespace {

// Names on disk are bytes: a Latin-1 name or a stray byte reaches the run as it was typed, and
// after "--" a name may start with a dash.
TEST(CliOptions, AcceptsEveryOptionAndKeepsTheBytesOfNames) {
    const ParsedCommandLine parsed = ParseCommandLine(
        {"--dest=caf\xE9", "--on-exists", "replace", "--settings", "\xE6\x97\xA5.ini",
         "--open-report", "--json", "-q", "--jobs", "64", "--", "-odd \xFF\xC3 name"});
    ASSERT_TRUE(parsed.options) << parsed.output;
    const CliOptions& options = *parsed.options;
    EXPECT_EQ(options.selection, "-odd \xFF\xC3 name");
    EXPECT_EQ(options.destination, "caf\xE9");
    EXPECT_EQ(options.onExists, ExistsAnswer::kReplace);
    EXPECT_EQ(options.settingsFile, "\xE6\x97\xA5.ini");
    EXPECT_TRUE(options.openReport);
    EXPECT_TRUE(options.json);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.jobs, 64u);  // the most; 65 is refused
    EXPECT_FALSE(options.inPlace);
    EXPECT_FALSE(options.noBackup);
}

TEST(CliOptions, UsageErrorsExitTwo) {
    struct Row {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Row rows[] = {
        {{}, "no folder or file"},
        {{"a", "b"}, "give one folder or file, not 2"},
        {{"--frobnicate", "site"}, "'frobnicate'"},
        {{"site", "--dest"}, "'--dest'"},
        {{"--json=yes", "site"}, "'--json'"},
        {{"--on-exists", "overwrite", "site"}, "not 'overwrite'"},
        {{"--jobs", "65", "site"}, "not '65'"},
        {{"--jobs", "-1", "site"}, "not '-1'"},
        {{"--jobs=2x", "site"}, "not '2x'"},
        {{"--dest", "out", "--in-place", "site"}, "exclude each other"},
        // Qt would open a settings file of another name, and the check of the file given would
        // not protect it.
        {{"--settings", "caf\xE9.ini", "site"}, "'caf\xE9.ini' is not"},
    };
    for (const Row& row : rows) {
        const ParsedCommandLine parsed = ParseCommandLine(row.arguments);
        EXPECT_FALSE(parsed.options) << row.message;
        EXPECT_EQ(parsed.exitCode, kExitUsage) << row.message;
        EXPECT_NE(parsed.output.find(row.message), std::string::npos) << parsed.output;
        EXPECT_NE(parsed.output.find("Try 'quillon-cli --help'."), std::string::npos);
    }
}

// What a user sees: the program itself, run as it is installed, prints help that fits a terminal
// of 80 columns and succeeds; --version likewise.
TEST(CliOptions, HelpFitsEightyColumns) {
    const test::CliOutcome help = test::RunProgram({QUILLON_CLI_PATH, "--help"});
    ASSERT_EQ(help.exitCode, kExitDone) << help.err;
    EXPECT_TRUE(help.out.starts_with("Usage: quillon-cli [options] PATH\n")) << help.out;
    EXPECT_NE(help.out.find("--on-exists <ACTION>"), std::string::npos) << help.out;
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) {
        // Columns are characters: UTF-8 continuation bytes take none. A tab's width depends on
        // where it stands, so none may appear.
        const auto columns = std::count_if(line.begin(), line.end(),
                                           [](unsigned char c) { return (c & 0xC0) != 0x80; });
        EXPECT_LE(columns, 80) << line;
        EXPECT_EQ(line.find('\t'), std::string::npos) << line;
    }

    const test::CliOutcome version = test::RunProgram({QUILLON_CLI_PATH, "--version"});
    EXPECT_EQ(version.exitCode, kExitDone);
    EXPECT_TRUE(version.out.starts_with("quillon-cli ")) << version.out;
}

}  // namespace
}  // namespace quillon
