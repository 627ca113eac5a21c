#include "pipeline/DerivedPaths.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

DerivedPaths MakePaths() {
    return DerivedPaths("/home/ada/Desktop", "/opt/quillon", "/tmp");
}

TEST(DerivedPaths, StartupValues) {
    const DerivedPaths paths = MakePaths();
    EXPECT_EQ(paths.OutputFolder(), "/home/ada/Desktop/Quillon Optimized Files/");
    EXPECT_EQ(paths.ManualPath(), "/opt/quillon/Quillon.PDF");
    EXPECT_EQ(paths.HelpFolder(), "/opt/quillon/Quillon Help");
    EXPECT_EQ(paths.TempFolder(), "/tmp");
}

TEST(DerivedPaths, SetOutputFolder) {
    struct Row {
        const char* name;
        std::string destination;
        std::string expected;
    };
    const Row rows[] = {
        {"chosen folder gets the output folder", "/srv/web", "/srv/web/Quillon Optimized Files/"},
        {"trailing separator", "/srv/web/", "/srv/web/Quillon Optimized Files/"},
        {"already the output folder", "/srv/Quillon Optimized Files",
         "/srv/Quillon Optimized Files/"},
        {"inside one, any case", "/srv/quillon optimized files/site",
         "/srv/quillon optimized files/site/"},
        {"name only similar", "/srv/Quillon Optimized Filesx",
         "/srv/Quillon Optimized Filesx/Quillon Optimized Files/"},
        {"filesystem root", "/", "/Quillon Optimized Files/"},
    };
    for (const Row& row : rows) {
        DerivedPaths paths = MakePaths();
        paths.SetOutputFolder(row.destination);
        EXPECT_EQ(paths.OutputFolder(), row.expected) << row.name;
    }
}

TEST(DerivedPaths, EmptyDestinationChangesNothing) {
    DerivedPaths paths = MakePaths();
    paths.SetOutputFolder("/srv/web");
    paths.SetOutputFolder("");
    EXPECT_EQ(paths.OutputFolder(), "/srv/web/Quillon Optimized Files/");
}

TEST(DerivedPaths, ReportPathIsOutputFolderAndQuotedName) {
    DerivedPaths paths = MakePaths();
    paths.SetReportName("site");
    paths.SetOutputFolder("/srv/out");
    EXPECT_EQ(paths.ReportName(), "'site' Report.html");
    EXPECT_EQ(paths.GetReportPath(), "/srv/out/Quillon Optimized Files/'site' Report.html");
}

}  // namespace
}  // namespace quillon
