#include "pipeline/Report.h"

#include <gtest/gtest.h>

#include <fstream>

#include "Corpus.h"
#include "TempDir.h"

namespace quillon {
namespace {

using test::ReadText;

class ReportTest : public ::testing::Test {
  protected:
    ReportInputs Inputs(const std::string& logText) {
        {
            std::ofstream log(dir_ / "Quillon.Log");
            log << logText;
        }
        ReportInputs inputs;
        inputs.logPath = dir_ / "Quillon.Log";
        inputs.displayName = "site";
        inputs.copyRoot = "/out/site";
        inputs.reportPath = dir_ / "out" / "'site' Report.html";
        inputs.createdAt = 965315621;  // 2000-08-03 15:13:41 UTC
        return inputs;
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

    EXPECT_NE(page.find("Created on 08/03/2000, 03:13:41 PM for 'site'"), std::string::npos);
    EXPECT_NE(page.find("Overall Space Saved: 20.0 %"), std::string::npos);
    EXPECT_NE(page.find("Overall Performance Gains: 32.4 %"), std::string::npos);
    EXPECT_NE(page.find("200,000"), std::string::npos);
    EXPECT_NE(page.find("160,000"), std::string::npos);
    for (const char* seconds : {">11.9<", ">7.5<", ">1.0<"}) {
        EXPECT_NE(page.find(seconds), std::string::npos) << seconds;
    }
    EXPECT_NE(page.find(">index.htm<"), std::string::npos);
    EXPECT_NE(page.find(">img/a.gif<"), std::string::npos);
    EXPECT_NE(page.find(">150,000<"), std::string::npos);
    EXPECT_EQ(page.find("without tabs"), std::string::npos);
    // Compacted: no line breaks between block tags, no runs of spaces.
    EXPECT_EQ(page.find("  "), std::string::npos);
    EXPECT_EQ(page.find(">\n<"), std::string::npos);
    EXPECT_EQ(page.find('%' + std::string("%")), std::string::npos) << "a format was not filled";
}

TEST_F(ReportTest, NothingSavedStillListsEveryFile) {
    ReportInputs inputs = Inputs("/out/site/a.htm\t100\t100\n/out/site/b.jpg\t0\t0\n");
    inputs.counters.Of(FileClass::kWebPage) = {1, 100, 100};
    const std::string page = BuildReport(inputs);
    EXPECT_NE(page.find("Overall Space Saved: 0.0 %"), std::string::npos);
    EXPECT_NE(page.find("Overall Performance Gains: 0.0 %"), std::string::npos);
    EXPECT_NE(page.find(">0.0<"), std::string::npos);
    EXPECT_NE(page.find(">100.0<"), std::string::npos) << "a file of 0 bytes shows 100 saved";
}

TEST_F(ReportTest, NamesAreEscaped) {
    ReportInputs inputs = Inputs("/out/site/<script>alert(1)</script>.htm\t10\t5\n");
    inputs.displayName = "a&b";
    const std::string page = BuildReport(inputs);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;.htm"), std::string::npos);
    EXPECT_NE(page.find("for 'a&amp;b'"), std::string::npos);
}

TEST_F(ReportTest, LongPathsGiveWholeRows) {
    const std::string deep = "/out/site/" + std::string(600, 'd') + "/" + std::string(300, 'e');
    const std::string page = BuildReport(Inputs(deep + "\t10\t5\n"));
    EXPECT_NE(page.find(std::string(600, 'd') + "/" + std::string(300, 'e')), std::string::npos);
}

TEST_F(ReportTest, WriteCreatesTheFolderAndDeletesTheLog) {
    const ReportInputs inputs = Inputs("/out/site/a.htm\t10\t5\n");
    ASSERT_TRUE(WriteReport(inputs));
    EXPECT_NE(ReadText(inputs.reportPath).find("Thank you for using Quillon"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(inputs.logPath));
}

TEST_F(ReportTest, WithoutALogTheFileTableIsEmpty) {
    ReportInputs inputs = Inputs("");
    std::filesystem::remove(inputs.logPath);
    const std::string page = BuildReport(inputs);
    EXPECT_NE(page.find("File Details"), std::string::npos);
    EXPECT_EQ(page.find("colspan=\"2\" bgcolor=\"#eeeeee\""), std::string::npos) << "a file row";
}

TEST(RelativeName, FromTheCopyRoot) {
    struct Row {
        const char* from;
        const char* to;
        const char* expected;
    };
    const Row rows[] = {
        {"/out/site", "/out/site/img/a.gif", "img/a.gif"},
        {"/out/site/", "/out/site/a.htm", "a.htm"},
        {"/out/site", "/out/other/a.htm", "../other/a.htm"},
        {"/out/site", "/out/siteX/a.htm", "../siteX/a.htm"},
        {"/out/site/deep", "/out/a.htm", "../../a.htm"},
        {"/out/one.htm", "/out/one.htm", "one.htm"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RelativeName(row.from, row.to), row.expected) << row.from << " " << row.to;
    }
}

}  // namespace
}  // namespace quillon
