// Untrusted pages through every step of the chain as the chain runs it, under the default options
// and the other choice of each: random markup must never make a step read or write outside the
// text (the sanitizer build checks that) or lengthen it, and a step that deletes no text must
// keep every byte above 0x7F.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "CaseTable.h"

namespace quillon::test {
namespace {

using namespace std::string_view_literals;

// Every step name, the joined layout step among them.
std::vector<std::string_view> StepNames() {
    std::vector<std::string_view> names;
    for (const PageStep& step : PageChainSteps()) {
        names.push_back(step.name);
    }
    names.push_back(kLayoutSteps);
    return names;
}

// The steps that take out only blanks, line ends and deleted bytes, or respell a reference.
bool DeletesNoText(std::string_view step) {
    constexpr std::string_view kSteps[] = {
        "NormalizeLineEnds",  "TabsToSpaces",       "ShortenEntities",     "CollapseSpaces",
        "TrimAroundLineEnds", "CollapseBlankLines", "TrimAroundBlockTags", kLayoutSteps};
    return std::find(std::begin(kSteps), std::end(kSteps), step) != std::end(kSteps);
}

// Pieces that make the scanners take every branch: tag names of each table, quotes and
// parentheses, comment markers and directives, attribute and script syntax (escapes, regular
// expressions, templates, operators), blanks of every kind, references, deleted and non-ASCII
// bytes, and the openings of constructs a scanner must not start over in.
// clang-format off
constexpr std::string_view kPieces[] = {
    "<", ">", "'", "\"", "`", "(", ")", "/", "\\", " ", "  ", "\n", "\r", "\t", "\v", "&", ";",
    "#", "=", "-", "+", "{", "}", "${", "[", "]", "<!--", "-->", "--!>", "#include", "<PRE",
    "</pre", "<XMP", "<P", "</P", "<B", "<A ", "</A>", "<SCRIPT", "</SCRIPT", "<script ", "SRC=x",
    "TYPE=x", "<STYLE", "<IMG ", "<META ", "BORDER=0", "HSPACE=0", "NAME=", "</LI>", "<NOOP",
    "</NOOP>", "<TD ", "<%", "%>", "<TITLE>", "<textarea>", "eacute", "AACUTE", "pound", "return",
    "//", "/*", "*/", "<A HREF='", "<script>x=(/[ ", "\xC3\xA9", "\xA0", "\xE2\x80\x94", "x",
    "\0"sv};
// clang-format on

std::size_t CountHighBytes(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
}

TEST(Robustness, RandomMarkupStaysInBoundsAndKeepsHighBytes) {
    std::mt19937 random(20240611);
    PageOptions others;
    others.quotes = QuoteRule::kLax;
    others.metaTags = MetaTagRule::kRemoveGenerator;
    others.removeScriptComments = false;
    const std::vector<std::string_view> steps = StepNames();
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const auto pieces = random() % 48;
        for (unsigned k = 0; k < pieces; ++k) {
            text += kPieces[random() % std::size(kPieces)];
        }
        for (const PageOptions& options : {PageOptions{}, others}) {
            for (const std::string_view step : steps) {
                const std::string out = RunStep(step, text, options);
                ASSERT_LE(out.size(), text.size()) << step << ": " << Visible(text);
                if (DeletesNoText(step)) {
                    ASSERT_EQ(CountHighBytes(out), CountHighBytes(text))
                        << step << ": " << Visible(text);
                }
            }
        }
    }
}

// A length of 0 or less gives 0 and touches nothing.
TEST(Robustness, NonPositiveLengthGivesZero) {
    for (const std::string_view step : StepNames()) {
        std::array<std::uint8_t, 4> text = {'<', '!', ' ', '\r'};
        const PagePass pass = FindStep(step);
        ASSERT_NE(pass, nullptr) << step;
        EXPECT_EQ(pass(text.data(), 0, PageOptions{}), 0) << step;
        EXPECT_EQ(pass(text.data(), -4, PageOptions{}), 0) << step;
        EXPECT_EQ(pass(nullptr, 0, PageOptions{}), 0) << step;
        EXPECT_EQ(text, (std::array<std::uint8_t, 4>{'<', '!', ' ', '\r'})) << step;
    }
}

}  // namespace
}  // namespace quillon::test
