// The layout steps on every page of the corpus, whose real markup hand-written rows miss (Word
// HTML, UTF-16, Big5, stray NUL bytes, 1 MB tables), and the joined layout walk against the steps
// it stands for, on those pages and on random text.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "CaseTable.h"
#include "Corpus.h"
#include "textopt/TagScan.h"
#include "textopt/WhitespacePasses.h"

namespace quillon::test {
namespace {

struct Page {
    std::string name;
    std::string text;
};

const std::vector<Page>& Pages() {
    static const std::vector<Page> pages = [] {
        std::vector<Page> loaded;
        for (const auto& path : CorpusFiles("html", {".html", ".htm"})) {
            const auto bytes = ReadBytes(path);
            loaded.push_back({path.filename().string(), std::string(bytes.begin(), bytes.end())});
        }
        return loaded;
    }();
    return pages;
}

// The steps that work on layout and spelling alone, as the chain runs them.
std::string LayoutChain(std::string text) {
    for (const std::string_view step :
         {std::string_view("NormalizeLineEnds"), std::string_view("TabsToSpaces"),
          std::string_view("ShortenEntities"), kLayoutSteps}) {
        text = RunStep(step, text);
    }
    return text;
}

// The preformatted regions, server-side code among them.
std::vector<std::string> PreformattedRegions(const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<TextLength>(text.size());
    std::vector<std::string> regions;
    for (TextLength i = 0; i < length; ++i) {
        const TextLength last = SkipPreformatted(i, bytes, length);
        if (last != i) {
            const TextLength regionEnd = std::min(last + 1, length);
            regions.push_back(
                text.substr(static_cast<std::size_t>(i), static_cast<std::size_t>(regionEnd - i)));
            i = regionEnd - 1;
        }
    }
    return regions;
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

// Only line ends are normalized inside server-side code and PRE, XMP, PLAINTEXT, LISTING, NOOP
// and TEXTAREA; outside the stretches the layout steps keep, no tab, no run of blanks, no blank
// at a line end and no blank line is left.
TEST(CorpusProperties, LayoutStepsKeepRegionsAndLeaveNoLayoutWhitespace) {
    std::size_t regionsSeen = 0;
    for (const Page& page : Pages()) {
        SCOPED_TRACE(page.name);
        const std::string laidOut = LayoutChain(page.text);
        const std::vector<std::string> before =
            PreformattedRegions(RunStep("NormalizeLineEnds", page.text));
        const std::vector<std::string> after = PreformattedRegions(laidOut);
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t k = 0; k < before.size(); ++k) {
            EXPECT_TRUE(after[k] == before[k]) << "region " << k;
        }
        regionsSeen += before.size();

        const std::string outside = OutsideLayoutProtected(laidOut);
        for (const char* pattern : {"\t", "\v", "\r", "  ", " \n", "\n ", "\n\n"}) {
            const auto at = outside.find(pattern);
            EXPECT_EQ(at, std::string::npos)
                << "found \"" << Visible(pattern) << "\" near \""
                << Visible(outside.substr(at - std::min<std::size_t>(at, 30), 60)) << '"';
        }
    }
    EXPECT_GT(regionsSeen, 200u) << "the corpus should exercise PRE regions";
}

// What a joined step gives, given what the chain hands it, and the steps it stands for one after
// the other.
void ExpectJoinedAgree(const std::string& text, const PageOptions& options,
                       std::vector<std::string>* mismatches) {
    const auto steps = PageChainSteps();
    std::string input = text;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        if (steps[k].joinedPass) {
            std::string joined = input;
            joined.resize(static_cast<std::size_t>(
                steps[k].joinedPass(reinterpret_cast<std::uint8_t*>(joined.data()),
                                    static_cast<TextLength>(joined.size()), options)));
            std::string oneByOne = input;
            for (std::size_t j = k; j < k + steps[k].joinedSteps; ++j) {
                oneByOne = RunStep(steps[j].name, oneByOne, options);
            }
            if (joined != oneByOne) {
                mismatches->push_back(std::string(steps[k].name) + ": " + Visible(input));
            }
        }
        input = RunStep(steps[k].name, input, options);
    }
}

TEST(CorpusProperties, JoinedStepsGiveWhatTheirStepsGive) {
    std::vector<std::string> mismatches;
    for (const Page& page : Pages()) {
        if (page.text.find('\0') == std::string::npos) {  // such pages never reach the chain
            ExpectJoinedAgree(page.text, PageOptions{}, &mismatches);
        }
    }
    // Blanks, words, block tags, tags that show nothing and the pieces of every stretch the
    // layout steps keep (open and close tags, quotes that stretch a tag, unclosed ones).
    // clang-format off
    const std::string_view pieces[] = {
        " ", "  ", "\n", " \n ", "a", "word", "<", ">", "<PRE>", "</PRE>", "<pre ", "</pre",
        "<XMP>", "</xmp>", "<NOOP>", "</NOOP", "\"", "'", "<P>", "</P >", "<LI>", "<BR>",
        "<TD x=1>", "<B>", "<PLAINTEXT>", "=", "\t", "\xC2\xA0", "<%", "%>", "<?", "?>",
        "<script>", "</script>", "`", "/", "<script src=x>", "<meta name=x>", "<link>",
        "<textarea>", "</TEXTAREA>", "<title>", "</title>", "<a title=", "<!--", "-->", "<select>",
        "<DIV t='<P>'>"};
    // clang-format on
    std::mt19937 random(2026);
    for (int round = 0; round < 20000 && mismatches.size() < 5; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 40);
        for (int k = 0; k < count; ++k) {
            text += pieces[random() % std::size(pieces)];
        }
        ExpectJoinedAgree(text, PageOptions{}, &mismatches);
    }
    EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " texts, the first: " << mismatches[0];
}

}  // namespace
}  // namespace quillon::test
