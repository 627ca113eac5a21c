// What quillon-cli refuses on its command line, before anything is read or written, and what its
// summary says of an error log a user kept.
#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include "cli/Summary.h"

namespace quillon {
namespace {

TEST(CliOptions, UsageErrorsExitTwo) {
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{}, "no folder or file"},
        {{"a", "b"}, "give one folder or file, not 2"},
        {{"--frobnicate", "site"}, "'frobnicate'"},
        {{"--on-exists", "overwrite", "site"}, "not 'overwrite'"},
        {{"--jobs", "65", "site"}, "not '65'"},
        {{"--jobs=2x", "site"}, "not '2x'"},
        {{"--dest", "out", "--in-place", "site"}, "exclude each other"},
        // Qt would open a settings file of another name, and the check of the file given would
        // not protect it.
        {{"--settings", "caf\xE9.ini", "site"}, "'caf\xE9.ini' is not"},
    };
    for (const auto& [arguments, message] : rows) {
        const ParsedCommandLine parsed = ParseCommandLine(arguments);
        EXPECT_EQ(parsed.exitCode, kExitUsage) << message;
        EXPECT_NE(parsed.output.find(message), std::string::npos) << parsed.output;
        EXPECT_NE(parsed.output.find("Try 'quillon-cli --help'."), std::string::npos);
    }
}

// Only a terminal user keeps the log (without a terminal it goes with the run, and CliRunTest
// finds the names listed instead); the summary then points to it.
TEST(Summary, PointsToTheErrorLogAUserKept) {
    RunSummary summary;
    summary.filesWithErrors = {"/site/fake.gif"};
    summary.reasons["/site/fake.gif"] = "unrecognizable format";
    summary.errorLogPath = "/tmp/QuillonError.Log";
    EXPECT_EQ(QJsonDocument::fromJson(SummaryJson(summary).c_str())["errorLog"],
              "/tmp/QuillonError.Log");
    const std::string text = SummaryText(summary);
    EXPECT_NE(text.find("optimized (1), listed in: /tmp/QuillonError.Log\n"), std::string::npos);
    EXPECT_EQ(text.find("unrecognizable format"), std::string::npos) << text;
}

}  // namespace
}  // namespace quillon
