// The keyword lists and the keyword matcher.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaseTable.h"
#include "textopt/Keywords.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;
using test::PrintTo;

// Reads a list the way its users do: by number until an empty entry comes back.
std::vector<std::string> ReadList(KeywordList list) {
    std::vector<std::string> entries;
    for (int number = 1; number < 100; ++number) {
        const std::string_view entry = GetKeyword(list, number);
        if (entry.empty()) {
            break;
        }
        entries.emplace_back(entry);
    }
    return entries;
}

TEST(GetKeyword, ServerSideIncludeListInItsOrder) {
    EXPECT_EQ(ReadList(KeywordList::kServerSideInclude),
              (std::vector<std::string>{"#command", "#include", "#echo", "#fsize", "#config",
                                        "#flastmod", "#if", "#endif", "#set", "#printenv", "#elif",
                                        "#else", "#exec"}));
}

TEST(GetKeyword, RemovableTagListInItsOrder) {
    EXPECT_EQ(ReadList(KeywordList::kRemovableTag),
              (std::vector<std::string>{"<X-CLARIS-TAGVIEW", "</DD", "</DT", "</LI", "</OPTION",
                                        "</COLGROUP", "<X-SAS-WINDOW", "</HEAD", "</HTML", "</BODY",
                                        "<X-CLARIS-WINDOW"}));
}

TEST(GetKeyword, NumbersOutsideTheListGiveEmpty) {
    EXPECT_TRUE(GetKeyword(KeywordList::kServerSideInclude, 0).empty());
    EXPECT_TRUE(GetKeyword(KeywordList::kServerSideInclude, -1).empty());
    EXPECT_TRUE(GetKeyword(KeywordList::kServerSideInclude, 14).empty());
    EXPECT_TRUE(GetKeyword(KeywordList::kRemovableTag, 12).empty());
    EXPECT_EQ(GetKeyword(KeywordList::kRemovableTag, 11), "<X-CLARIS-WINDOW");
}

struct MatchRow {
    std::string name;
    std::string keyword;
    std::string text;
    KeywordCase keywordCase;
    bool expected;
};

class MatchKeywordTable : public testing::TestWithParam<MatchRow> {};

TEST_P(MatchKeywordTable, ComparesFromThePosition) {
    const MatchRow& row = GetParam();
    const auto text = Bytes(row.text);
    EXPECT_EQ(MatchKeyword(row.keyword, text.data(), text.data() + text.size(), row.keywordCase),
              row.expected)
        << Visible(row.keyword) << " in " << Visible(row.text);
}

constexpr KeywordCase kIgnore = KeywordCase::kIgnore;
constexpr KeywordCase kExact = KeywordCase::kExact;

const MatchRow kMatchRows[] = {
    {"examples: same case", "#include", "#include virtual='x'", kIgnore, true},
    {"examples: other case folded", "#include", "#INCLUDE file='x'", kIgnore, true},
    {"examples: other case exact", "#include", "#INCLUDE file='x'", kExact, false},
    {"examples: same case exact", "#echo", "#echo var='x'", kExact, true},
    {"examples: mismatch", "#echo", "#exec cmd='x'", kIgnore, false},
    {"edge: upper keyword lower text", "</LI", "</li>", kIgnore, true},
    {"edge: only a-z fold", "[", "{", kIgnore, false},
    {"edge: backtick is not @", "@", "`", kIgnore, false},
    {"edge: empty keyword", "", "abc", kIgnore, true},
    {"endings: keyword cut off by the end", "#include", "#inc", kIgnore, true},
    {"endings: mismatch before the end", "#echo", "#ex", kIgnore, false},
    {"endings: empty range", "#echo", "", kExact, true},
    {"zero: deleted byte is a mismatch", "#echo", "#e\0ho"s, kIgnore, false},
    {"high: no folding of 0xC9 and 0xE9", "\xC9", "\xE9", kIgnore, false},
    {"high: exact UTF-8", "\xC3\xA9", "\xC3\xA9t\xC3\xA9", kExact, true},
};
INSTANTIATE_TEST_SUITE_P(AllGroups, MatchKeywordTable, testing::ValuesIn(kMatchRows),
                         RowName<MatchRow>);

}  // namespace
}  // namespace quillon::test
