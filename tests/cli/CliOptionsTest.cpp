#include "cli/CliOptions.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

ParsedCommandLine Parse(std::vector<std::string> arguments) {
    return ParseCommandLine(arguments);
}

TEST(CliOptions, AcceptsEveryOption) {
    const ParsedCommandLine parsed =
        Parse({"--dest", "/srv/out", "--on-exists=replace", "--settings", "my.ini", "--open-report",
               "--json", "-q", "site"});
    ASSERT_TRUE(parsed.options);
    const CliOptions& options = *parsed.options;
    EXPECT_EQ(options.selection, "site");
    EXPECT_EQ(options.destination, "/srv/out");
    EXPECT_EQ(options.onExists, ExistsAnswer::kReplace);
    EXPECT_EQ(options.settingsFile, "my.ini");
    EXPECT_TRUE(options.openReport);
    EXPECT_TRUE(options.json);
    EXPECT_TRUE(options.quiet);
    EXPECT_FALSE(options.inPlace);
}

TEST(CliOptions, InPlaceWithoutBackups) {
    const ParsedCommandLine parsed = Parse({"--in-place", "--no-backup", "--", "-odd name"});
    ASSERT_TRUE(parsed.options);
    EXPECT_TRUE(parsed.options->inPlace);
    EXPECT_TRUE(parsed.options->noBackup);
    EXPECT_EQ(parsed.options->selection, "-odd name");
}

TEST(CliOptions, HelpAndVersionPrintAndSucceed) {
    for (const char* argument : {"--help", "--version"}) {
        const ParsedCommandLine parsed = Parse({argument});
        EXPECT_FALSE(parsed.options);
        EXPECT_EQ(parsed.exitCode, kExitDone);
        EXPECT_NE(parsed.output.find("quillon-cli"), std::string::npos) << argument;
    }
}

TEST(CliOptions, UsageErrors) {
    struct Row {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Row rows[] = {
        {{}, "no folder or file"},
        {{"a", "b"}, "give one folder or file, not 2"},
        {{"--frobnicate", "site"}, "unknown option '--frobnicate'"},
        {{"site", "--dest"}, "--dest needs a value"},
        {{"--on-exists", "overwrite", "site"}, "not 'overwrite'"},
        {{"--dest", "out", "--in-place", "site"}, "exclude each other"},
    };
    for (const Row& row : rows) {
        const ParsedCommandLine parsed = Parse(row.arguments);
        EXPECT_FALSE(parsed.options) << row.message;
        EXPECT_EQ(parsed.exitCode, kExitUsage) << row.message;
        EXPECT_NE(parsed.output.find(row.message), std::string::npos) << parsed.output;
    }
}

}  // namespace
}  // namespace quillon
