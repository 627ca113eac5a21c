// The end-of-run summary: JSON that stays valid and lossless for any file name, and no error log
// named that is not there.
#include "cli/Summary.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include "CliProcess.h"
#include "cli/NameText.h"

namespace quillon {
namespace {

// Each name is written by the rule the README gives, and Qt's parser reads back the same bytes.
TEST(Summary, JsonStringsKeepEveryByteOfAName) {
    struct Row {
        const char* what;
        std::string name;
        std::string json;
    };
    const Row rows[] = {
        {"ASCII", "site", R"("site")"},
        {"UTF-8 as it is", "caf\xC3\xA9 \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xF0\x9F\x98\x80\""},
        {"quotes, backslashes, controls", "a\"b\\c\n\x01", R"("a\"b\\c\n\u0001")"},
        {"a byte no encoding of text uses", "\xFF", R"("\udcff")"},
        {"Latin-1", "caf\xE9", R"("caf\udce9")"},
        {"overlong form", "\xC0\xAF", R"("\udcc0\udcaf")"},
        {"encoded surrogate", "\xED\xA0\x80", R"("\udced\udca0\udc80")"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},
        {"sequence cut short, then ASCII", "\xE6\x97x", R"("\udce6\udc97x")"},
        {"lead byte before a whole sequence", "\xE6\xE6\x97\xA5", "\"\\udce6\xE6\x97\xA5\""},
        // U+10080 ends in the surrogate U+DC80 in Qt's strings, as the stray byte after it does.
        {"stray byte after a character outside the BMP", "\xF0\x90\x82\x80\x80",
         "\"\xF0\x90\x82\x80\\udc80\""},
    };
    for (const Row& row : rows) {
        RunSummary summary;
        summary.selection = row.name;
        const std::string json = SummaryJson(summary);
        EXPECT_NE(json.find("\"selection\": " + row.json + ",\n"), std::string::npos)
            << row.what << "\n"
            << json;
        const QJsonObject parsed = test::ParseSummary(json);
        EXPECT_EQ(NameFromQString(parsed["selection"].toString()), row.name) << row.what;
    }
}

TEST(Summary, ErrorLogThatIsGoneIsNotNamedButItsEntriesAre) {
    RunSummary summary;
    summary.filesWithErrors = {"/site/fake.gif"};
    summary.foldersWithErrors = {"/site/locked"};
    summary.errorLogPath = "/tmp/QuillonError.Log";
    EXPECT_EQ(test::ParseSummary(SummaryJson(summary))["errorLog"], "/tmp/QuillonError.Log");
    EXPECT_NE(SummaryText(summary).find("Files that could not be optimized (1), listed in: "
                                        "/tmp/QuillonError.Log\n"),
              std::string::npos);

    summary.errorLogPath.clear();
    summary.reasons["/site/fake.gif"] = "unrecognizable format";
    const QJsonObject json = test::ParseSummary(SummaryJson(summary));
    EXPECT_TRUE(json["errorLog"].isNull());
    EXPECT_EQ(json["filesWithErrors"], QJsonArray{"/site/fake.gif"});
    const std::string text = SummaryText(summary);
    EXPECT_NE(text.find("Files that could not be optimized (1):\n"
                        "  /site/fake.gif (unrecognizable format)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Folders that could not be read and were left out (1):\n  /site/locked\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("listed in"), std::string::npos) << text;
}

}  // namespace
}  // namespace quillon
