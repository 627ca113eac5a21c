#include "pipeline/Results.h"

#include <gtest/gtest.h>

#include "MemorySettingsStore.h"
#include "RecordingRunView.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

TEST(FormatNumber, GroupsOfThree) {
    const std::pair<std::uint64_t, const char*> rows[] = {
        {0, "0"},
        {7, "7"},
        {999, "999"},
        {1000, "1,000"},
        {12345, "12,345"},
        {200000, "200,000"},
        {1200000, "1,200,000"},
        {4294967295, "4,294,967,295"},
    };
    for (const auto& [value, expected] : rows) {
        EXPECT_EQ(FormatNumber(value), expected);
    }
}

TEST(ComputeResults, TwoHundredToOneHundredSixtyThousandBytes) {
    TypeCounters counters;
    counters.Of(FileClass::kWebPage) = {10, 120000, 100000};
    counters.Of(FileClass::kGif) = {3, 50000, 40000};
    counters.Of(FileClass::kJpeg) = {2, 30000, 20000};
    const RunResults results = ComputeResults(counters);
    ASSERT_TRUE(results.saved);
    EXPECT_EQ(results.total.files, 15u);
    EXPECT_EQ(results.total.bytesBefore, 200000u);
    EXPECT_EQ(results.total.bytesAfter, 160000u);
    EXPECT_EQ(results.smallerText, "20.0 %");
    EXPECT_EQ(results.fasterText, "32.4 %");
    EXPECT_EQ(results.secondsText, (std::array<std::string, 3>{"11.9", "7.5", "1.0"}));
    EXPECT_EQ(results.barPositions, (std::array<int, 3>{55, 46, 38}));
}

TEST(ComputeResults, NothingSavedShowsZeroAndNoResults) {
    TypeCounters counters;
    counters.Of(FileClass::kWebPage) = {4, 1000, 1000};
    const RunResults results = ComputeResults(counters);
    EXPECT_FALSE(results.saved);
    EXPECT_EQ(results.smallerText, "0.0 %");
    EXPECT_EQ(results.barPositions, (std::array<int, 3>{0, 0, 0}));
    EXPECT_FALSE(ComputeResults(TypeCounters{}).saved) << "no files at all";
}

TEST(OpenReport, DefaultOrNamedBrowser) {
    test::MemorySettingsStore settings;
    test::RecordingRunView view;
    DerivedPaths paths("/home/ada/Desktop", "/opt/quillon", "/tmp");
    paths.SetReportName("site");

    OpenReport(settings, paths, view);
    settings.PutInt(section::kReport, key::kUseDefaultBrowser, 0);
    settings.PutString(section::kReport, key::kBrowserName, "/usr/bin/my browser");
    OpenReport(settings, paths, view);

    const std::filesystem::path report =
        "/home/ada/Desktop/Quillon Optimized Files/'site' Report.html";
    const std::vector<std::pair<std::filesystem::path, std::filesystem::path>> expected = {
        {"", report}, {"/usr/bin/my browser", report}};
    EXPECT_EQ(view.Opened(), expected);
}

}  // namespace
}  // namespace quillon
