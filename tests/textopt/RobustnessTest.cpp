// Every step of the chain, as the chain runs it, on untrusted text: random markup and every page
// of the corpus, whose real markup hand-written rows miss (Word HTML, UTF-16, Big5, stray NUL
// bytes, 1 MB tables). No step may read or write outside the text (the sanitizer build checks
// that) or lengthen it; a step that deletes no text keeps every byte above 0x7F; the joined
// layout walk gives what the steps it stands for give one after the other; and on the corpus the
// layout steps leave no layout whitespace.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "CaseTable.h"
#include "Corpus.h"
#include "textopt/ByteScan.h"
#include "textopt/WhitespacePasses.h"

namespace quillon::test {
namespace {

using namespace std::string_view_literals;

// The steps that take out only blanks, line ends and deleted bytes, or respell a reference.
bool DeletesNoText(std::string_view step) {
    constexpr std::string_view kSteps[] = {
        "NormalizeLineEnds",  "TabsToSpaces",       "ShortenEntities",     "CollapseSpaces",
        "TrimAroundLineEnds", "CollapseBlankLines", "TrimAroundBlockTags", kLayoutSteps};
    return std::find(std::begin(kSteps), std::end(kSteps), step) != std::end(kSteps);
}

// What a joined step gives, given what the chain hands it, against the steps it stands for one
// after the other; the texts where they differ are noted.
void ExpectJoinedAgree(const std::string& text, std::vector<std::string>& mismatches) {
    const auto steps = PageChainSteps();
    std::string input = text;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        if (steps[k].joinedPass) {
            std::string joined = input;
            joined.resize(static_cast<std::size_t>(
                steps[k].joinedPass(reinterpret_cast<std::uint8_t*>(joined.data()),
                                    static_cast<TextLength>(joined.size()), PageOptions{})));
            std::string oneByOne = input;
            for (std::size_t j = k; j < k + steps[k].joinedSteps; ++j) {
                oneByOne = RunStep(steps[j].name, oneByOne);
            }
            if (joined != oneByOne) {
                mismatches.push_back(std::string(steps[k].name) + ": " + Visible(input));
            }
        }
        input = RunStep(steps[k].name, input);
    }
}

// Pieces that make the scanners take every branch: tag names of each table, quotes and
// parentheses, comment markers and directives, attribute and script syntax (escapes, regular
// expressions, templates, operators), blanks of every kind, references, deleted and non-ASCII
// bytes, the openings of constructs a scanner must not start over in, and the pieces of every
// stretch the layout steps keep.
// clang-format off
constexpr std::string_view kPieces[] = {
    "<", ">", "'", "\"", "`", "(", ")", "/", "\\", " ", "  ", "\n", "\r", "\t", "\v", "&", ";",
    "#", "=", "-", "+", "{", "}", "${", "[", "]", "<!--", "-->", "--!>", "#include", "<PRE",
    "</pre", "<XMP", "<P", "</P", "<B", "<A ", "</A>", "<SCRIPT", "</SCRIPT", "<script ", "SRC=x",
    "TYPE=x", "<STYLE", "<IMG ", "<META ", "BORDER=0", "HSPACE=0", "NAME=", "</LI>", "<NOOP",
    "</NOOP>", "<TD ", "<%", "%>", "<?", "?>", "<TITLE>", "</title>", "<textarea>", "</TEXTAREA>",
    "eacute", "AACUTE", "pound", "return", "//", "/*", "*/", "<A HREF='", "<script>x=(/[ ",
    "<PRE>", "</PRE>", "<LI>", "<BR>", "<PLAINTEXT>", "<script src=x>", "<meta name=x>", "<link>",
    "<select>", "<DIV t='<P>'>", "<XMP>", "</xmp>", "<NOOP>", "</P >", "<TD x=1>", "<B>",
    "<script>", "</script>", "<a title=", "<pre ", " \n ", "word", "\xC3\xA9", "\xA0",
    "\xC2\xA0", "\xE2\x80\x94", "x", "\0"sv};
// clang-format on

std::size_t CountHighBytes(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
}

TEST(Robustness, RandomMarkup) {
    std::mt19937 random(20240611);
    PageOptions others;
    others.quotes = QuoteRule::kLax;
    others.metaTags = MetaTagRule::kRemoveGenerator;
    others.removeScriptComments = false;
    std::vector<std::string_view> steps = {kLayoutSteps};  // every step, the joined one too
    for (const PageStep& step : PageChainSteps()) {
        steps.push_back(step.name);
    }
    std::vector<std::string> mismatches;
    for (int round = 0; round < 10000 && mismatches.size() < 5; ++round) {
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
        // The chain hands no page with a 0 byte to its steps.
        if (text.find('\0') == std::string::npos) {
            ExpectJoinedAgree(text, mismatches);
        }
    }
    EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " texts, the first: " << mismatches[0];
}

// The text outside every stretch the layout steps leave as it is (attribute values, script
// literals, server-side code and the preformatted regions among them).
std::string OutsideLayoutProtected(const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<TextLength>(text.size());
    std::string outside;
    TextLength from = 0;
    for (const auto& [first, last] : LayoutProtectedStretches(bytes, length)) {
        outside.append(text, static_cast<std::size_t>(from),
                       static_cast<std::size_t>(first - from));
        outside += '\x01';  // keeps the text on either side of a stretch apart
        from = std::min(last + 1, length);
    }
    outside.append(text, static_cast<std::size_t>(from), std::string::npos);
    return outside;
}

// The scanner that finds `<` and one letter sixteen pairs at a time agrees with a plain loop,
// wherever the pair stands against the blocks it reads: across a block's end, at the text's
// last byte, and with the letter in either case.
TEST(Robustness, TagStartScannerAgreesWithPlainLoop) {
    std::mt19937 random(1207);
    constexpr std::string_view kBytes = "<<sSsx3S\x13\xD3 ";
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 70, ' ');
        for (char& c : text) {
            c = kBytes[random() % kBytes.size()];
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        const auto length = static_cast<TextLength>(text.size());
        for (TextLength from = 0; from <= length; ++from) {
            TextLength plain = from;
            while (plain + 1 < length && !(text[plain] == '<' && (text[plain + 1] | 0x20) == 's')) {
                ++plain;
            }
            plain = plain + 1 < length ? plain : length;
            ASSERT_EQ(FindTagStartWithLetter(bytes, from, length, 's'), plain)
                << Visible(text) << " from " << from;
        }
    }
}

// Outside the stretches the layout steps keep, no tab, no run of blanks, no blank at a line end
// and no blank line is left. (The differential check holds the bodies of PRE, LISTING, XMP,
// PLAINTEXT and TEXTAREA on these pages to their bytes.)
TEST(Robustness, CorpusPages) {
    std::vector<std::string> mismatches;
    for (const auto& path : CorpusFiles("html", {".html", ".htm"})) {
        SCOPED_TRACE(path.filename().string());
        const auto bytes = ReadBytes(path);
        const std::string page(bytes.begin(), bytes.end());
        if (page.find('\0') == std::string::npos) {  // such pages never reach the chain
            ExpectJoinedAgree(page, mismatches);
        }
        std::string laidOut = page;
        for (const std::string_view step :
             {"NormalizeLineEnds"sv, "TabsToSpaces"sv, "ShortenEntities"sv, kLayoutSteps}) {
            laidOut = RunStep(step, laidOut);
        }
        const std::string outside = OutsideLayoutProtected(laidOut);
        for (const char* pattern : {"\t", "\v", "\r", "  ", " \n", "\n ", "\n\n"}) {
            const auto at = outside.find(pattern);
            EXPECT_EQ(at, std::string::npos)
                << "found \"" << Visible(pattern) << "\" near \""
                << Visible(outside.substr(at - std::min<std::size_t>(at, 30), 60)) << '"';
        }
    }
    EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " pages, the first: " << mismatches[0];
}

}  // namespace
}  // namespace quillon::test
