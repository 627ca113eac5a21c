// The report, from a run's log and counters.
#include "pipeline/Report.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"

namespace quillon {
namespace {

class ReportTest : public ::testing::Test {
  protected:
    ReportInputs Inputs(const std::string& logText) {  // made on 2000-08-03 15:13:41 UTC
        std::ofstream(dir_ / "Quillon.Log") << logText;
        return {{}, dir_ / "Quillon.Log", "site", "/out/site", {}, 965315621};
    }
    test::TempDir dir_;
};

TEST_F(ReportTest, HeadFiguresAndRows) {
    setenv("TZ", "UTC", 1);
    ReportInputs inputs = Inputs(
        "/out/site/index.htm\t150000\t120000\n"
        "/out/site/img/a.gif\t50000\t40000\n"
        "a line without tabs\n");
    inputs.counters.Of(FileClass::kWebPage) = {1, 150000, 120000};
    inputs.counters.Of(FileClass::kGif) = {1, 50000, 40000};
    const std::string page = BuildReport(inputs);
    for (const char* shown :
         {"Created on 08/03/2000, 03:13:41 PM for 'site'", "Overall Space Saved: 20.0 %",
          "Overall Performance Gains: 32.4 %", ">200,000<", ">160,000<", ">11.9<", ">7.5<", ">1.0<",
          ">index.htm<", ">img/a.gif<", ">150,000<"}) {
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
    }
    // Compacted, every format filled, and a line that is no file line gives no row.
    for (const char* absent : {"without tabs", "  ", ">\n<", "%%"}) {
        EXPECT_EQ(page.find(absent), std::string::npos) << absent;
    }
}

// Each log line gives a row naming the file below the copy's root, whole and escaped.
TEST_F(ReportTest, RowsNameEachFileWholeAndEscaped) {
    const std::string deep = std::string(600, 'd') + "/" + std::string(300, 'e');
    struct Row {
        const char* name;
        std::string copyRoot, line, shown;
    };
    const Row rows[] = {
        {"a name that is markup", "/out/site", "/out/site/<script>alert(1)</script>.htm\t10\t5",
         ">&lt;script&gt;alert(1)&lt;/script&gt;.htm<"},
        {"a long path", "/out/site", "/out/site/" + deep + "\t10\t5", ">" + deep + "<"},
        {"a root with a separator", "/out/site/", "/out/site/a.htm\t10\t5", ">a.htm<"},
        {"a folder whose name starts alike", "/out/site", "/out/siteX/a.htm\t1\t1",
         ">../siteX/a.htm<"},
        {"a run of one file", "/out/one.htm", "/out/one.htm\t1\t1", ">one.htm<"},
        {"a file of 0 bytes shows all saved", "/out/site", "/out/site/b.jpg\t0\t0", ">100.0<"},
    };
    for (const Row& row : rows) {
        ReportInputs inputs = Inputs(row.line + "\n");
        inputs.copyRoot = row.copyRoot;
        inputs.displayName = "<a&b>";
        const std::string page = BuildReport(inputs);
        EXPECT_NE(page.find(row.shown), std::string::npos) << row.name;
        EXPECT_NE(page.find("for '&lt;a&amp;b&gt;'"), std::string::npos) << row.name;
        EXPECT_EQ(page.find("<script>"), std::string::npos) << row.name;
    }
}

}  // namespace
}  // namespace quillon
