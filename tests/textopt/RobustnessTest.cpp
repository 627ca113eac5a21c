// Untrusted pages: random markup fragments must never make a pass read or write outside the text
// (the sanitizer build checks that), lengthen it or lose a byte of a multibyte character; and
// pathological nesting must not make a pass slow.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <random>
#include <string>

#include "CaseTable.h"
#include "textopt/Entities.h"
#include "textopt/WhitespacePasses.h"

namespace quillon::test {
namespace {

constexpr std::array<TextPass, 7> kPasses = {
    NormalizeLineEnds,  TabsToSpaces,       ShortenEntities,     CollapseSpaces,
    TrimAroundLineEnds, CollapseBlankLines, TrimAroundBlockTags,
};

// Pieces that make the scanners take every branch: tag names of each table, quotes and
// parentheses, close tags, blanks of every kind, references, deleted and non-ASCII bytes.
const std::array<std::string, 34> kPieces = {
    "<",        ">",
    "'",        "\"",
    "(",        ")",
    "/",        " ",
    "  ",       "\n",
    "\r",       "\t",
    "\v",       "&",
    ";",        "#",
    "<PRE",     "</pre",
    "<XMP",     "<P",
    "</P",      "<B",
    "<A ",      "<SCRIPT",
    "</SCRIPT", "<STYLE",
    "eacute",   "AACUTE",
    "pound",    std::string(1, '\0'),
    "\xC3\xA9", "\xE2\x80\x94",
    "\xA0",     "x",
};

std::size_t CountHighBytes(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
}

TEST(Robustness, RandomMarkupStaysInBoundsAndKeepsHighBytes) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const auto pieces = random() % 40;
        for (unsigned k = 0; k < pieces; ++k) {
            text += kPieces[random() % kPieces.size()];
        }
        for (const TextPass pass : kPasses) {
            const std::string out = RunPass(pass, text);
            ASSERT_LE(out.size(), text.size()) << Visible(text);
            ASSERT_EQ(CountHighBytes(out), CountHighBytes(text)) << Visible(text);
        }
    }
}

// A page of tags that never close: a pass that started over inside every tag, or rescanned to
// the end for each one, would take minutes here instead of milliseconds.
TEST(Robustness, UnclosedTagsTakeLinearTime) {
    const std::array<std::string, 5> units = {"<P ", "<P '", "<A '", "<PRE\n", "<SCRIPT "};
    for (const std::string& unit : units) {
        std::string text;
        while (text.size() < 400000) {
            text += unit + "a  \n \t&eacute; ";
        }
        const auto start = std::chrono::steady_clock::now();
        for (const TextPass pass : kPasses) {
            RunPass(pass, text);
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed, std::chrono::seconds(1)) << Visible(unit);
    }
}

}  // namespace
}  // namespace quillon::test
