// Properties of the layout and entity passes on every page of the corpus: real pages hold the
// markup that hand-written rows miss (Word HTML, UTF-16, Big5, stray NUL bytes, 1 MB tables).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "CaseTable.h"
#include "Corpus.h"
#include "textopt/Entities.h"
#include "textopt/TagScan.h"
#include "textopt/WhitespacePasses.h"

namespace quillon::test {
namespace {

struct NamedPass {
    const char* name;
    TextPass pass;
};

// The passes of this folder in the order the page chain runs them.
constexpr std::array<NamedPass, 7> kChain = {{
    {"NormalizeLineEnds", NormalizeLineEnds},
    {"TabsToSpaces", TabsToSpaces},
    {"ShortenEntities", ShortenEntities},
    {"CollapseSpaces", CollapseSpaces},
    {"TrimAroundLineEnds", TrimAroundLineEnds},
    {"CollapseBlankLines", CollapseBlankLines},
    {"TrimAroundBlockTags", TrimAroundBlockTags},
}};

struct Page {
    std::string name;
    std::string text;
};

std::vector<Page> LoadPages() {
    std::vector<Page> pages;
    for (const auto& path : CorpusFiles("html", {".html", ".htm"})) {
        const auto bytes = ReadBytes(path);
        pages.push_back({path.filename().string(), std::string(bytes.begin(), bytes.end())});
    }
    return pages;
}

const std::vector<Page>& Pages() {
    static const std::vector<Page> pages = LoadPages();
    return pages;
}

std::string RunChain(std::string text) {
    for (const NamedPass& step : kChain) {
        text = RunPass(step.pass, text);
    }
    return text;
}

std::size_t CountHighBytes(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
}

// The preformatted regions, server-side code among them.
std::vector<std::string> PreformattedRegions(const std::string& text) {
    const auto bytes = Bytes(text);
    const auto length = static_cast<TextLength>(bytes.size());
    std::vector<std::string> regions;
    for (TextLength i = 0; i < length; ++i) {
        const TextLength last = SkipPreformatted(i, bytes.data(), length);
        if (last == i) {
            continue;
        }
        const TextLength regionEnd = std::min(last + 1, length);
        regions.push_back(
            text.substr(static_cast<std::size_t>(i), static_cast<std::size_t>(regionEnd - i)));
        i = regionEnd - 1;
    }
    return regions;
}

// The text outside every stretch the layout passes leave as it is (attribute values, script
// literals, server-side code and the preformatted regions among them).
std::string OutsideLayoutProtected(const std::string& text) {
    const auto bytes = Bytes(text);
    const auto length = static_cast<TextLength>(bytes.size());
    std::string outside;
    TextLength from = 0;
    for (const auto& [first, last] : LayoutProtectedStretches(bytes.data(), length)) {
        outside.append(text, static_cast<std::size_t>(from),
                       static_cast<std::size_t>(first - from));
        outside += '\x01';  // keeps the text on either side of a stretch apart
        from = std::min(last + 1, length);
    }
    outside.append(text, static_cast<std::size_t>(from), std::string::npos);
    return outside;
}

TEST(CorpusProperties, NoPassLengthensAPageOrLosesAByteAbove0x7F) {
    for (const Page& page : Pages()) {
        std::string text = page.text;
        for (const NamedPass& step : kChain) {
            SCOPED_TRACE(page.name + " / " + step.name);
            const std::string out = RunPass(step.pass, text);
            EXPECT_LE(out.size(), text.size());
            EXPECT_EQ(CountHighBytes(out), CountHighBytes(text));
            text = out;
        }
    }
}

// Each pass, given what the chain hands it, finds nothing left to do the second time.
TEST(CorpusProperties, EveryPassIsIdempotent) {
    for (const Page& page : Pages()) {
        std::string text = page.text;
        for (const NamedPass& step : kChain) {
            SCOPED_TRACE(page.name + " / " + step.name);
            const std::string once = RunPass(step.pass, text);
            const std::string twice = RunPass(step.pass, once);
            EXPECT_TRUE(once == twice)
                << "second run changed " << once.size() << " -> " << twice.size() << " bytes";
            text = once;
        }
    }
}

TEST(CorpusProperties, ChainIsIdempotent) {
    for (const Page& page : Pages()) {
        SCOPED_TRACE(page.name);
        const std::string once = RunChain(page.text);
        EXPECT_TRUE(RunChain(once) == once);
    }
}

// Only line ends are normalised inside server-side code and PRE, XMP, PLAINTEXT, LISTING, NOOP
// and TEXTAREA; everything else there must come out byte for byte.
TEST(CorpusProperties, PreformattedRegionsAreUnchanged) {
    std::size_t regionsSeen = 0;
    for (const Page& page : Pages()) {
        SCOPED_TRACE(page.name);
        const std::string normalized = RunPass(NormalizeLineEnds, page.text);
        const std::vector<std::string> before = PreformattedRegions(normalized);
        const std::vector<std::string> after = PreformattedRegions(RunChain(page.text));
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t k = 0; k < before.size(); ++k) {
            EXPECT_TRUE(after[k] == before[k]) << "region " << k;
        }
        regionsSeen += before.size();
    }
    EXPECT_GT(regionsSeen, 200u) << "the corpus should exercise PRE regions";
}

// Outside the stretches the layout passes keep, the chain leaves no tab, no run of blanks, no
// blank at a line end and no blank line.
TEST(CorpusProperties, ChainLeavesNoLayoutWhitespaceOutsideRegions) {
    for (const Page& page : Pages()) {
        SCOPED_TRACE(page.name);
        const std::string outside = OutsideLayoutProtected(RunChain(page.text));
        for (const char* pattern : {"\t", "\v", "\r", "  ", " \n", "\n ", "\n\n"}) {
            const auto at = outside.find(pattern);
            EXPECT_EQ(at, std::string::npos)
                << "found \"" << Visible(pattern) << "\" near \""
                << Visible(outside.substr(
                       at == std::string::npos ? 0 : at - std::min<std::size_t>(at, 30), 60))
                << '"';
        }
    }
}

}  // namespace
}  // namespace quillon::test
