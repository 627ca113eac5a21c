// Untrusted pages through the tag and script passes: random fragments must never make a pass
// read or write outside the text (the sanitizer build checks that) or lengthen it, and pages
// built to make a scanner start over again and again must still take linear time.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <random>
#include <string>

#include "CaseTable.h"
#include "textopt/ScriptPasses.h"
#include "textopt/TagPasses.h"

namespace quillon::test {
namespace {

struct NamedPass {
    const char* name;
    TextLength (*run)(std::uint8_t*, TextLength, const PageOptions&);
};

template <TextPass Pass>
TextLength Plain(std::uint8_t* text, TextLength length, const PageOptions&) {
    return Pass(text, length);
}

constexpr std::array<NamedPass, 6> kPasses = {{
    {"RemoveComments", Plain<RemoveComments>},
    {"OptimizeMetaAndImg", OptimizeMetaAndImg},
    {"NormalizeTags", NormalizeTags},
    {"OptimizeInlineScripts", OptimizeInlineScripts},
    {"RemoveOptionalTags", Plain<RemoveOptionalTags>},
    {"RemoveNoopTags", Plain<RemoveNoopTags>},
}};

// Pieces that make the scanners take every branch: comment markers, directives, the tags each
// pass looks for, attribute syntax, and script syntax (quotes, escapes, regular expressions,
// templates, operators).
const std::array<std::string, 48> kPieces = {
    "<",        ">",
    "'",        "\"",
    "`",        "(",
    ")",        "/",
    "\\",       " ",
    "\n",       "=",
    "-",        "+",
    "{",        "}",
    "${",       "[",
    "]",        ";",
    "<!--",     "-->",
    "--!>",     "#include",
    "<SCRIPT",  "</SCRIPT",
    "<script ", "SRC=x",
    "TYPE=x",   "<IMG ",
    "<META ",   "BORDER=0",
    "HSPACE=0", "NAME=",
    "<A ",      "</A>",
    "</LI>",    "<NOOP",
    "</NOOP>",  "<TD ",
    "<PRE>",    "return",
    "//",       "/*",
    "*/",       std::string(1, '\0'),
    "\xC3\xA9", "x",
};

TEST(TagScriptRobustness, RandomMarkupStaysInBounds) {
    std::mt19937 random(20240612);
    PageOptions lax;
    lax.quotes = QuoteRule::kLax;
    lax.metaTags = MetaTagRule::kRemoveGenerator;
    lax.removeScriptComments = false;
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const auto pieces = random() % 48;
        for (unsigned k = 0; k < pieces; ++k) {
            text += kPieces[random() % kPieces.size()];
        }
        for (const PageOptions& options : {PageOptions{}, lax}) {
            for (const NamedPass& pass : kPasses) {
                const std::string out = RunPass(pass.run, options, text);
                ASSERT_LE(out.size(), text.size()) << pass.name << ": " << Visible(text);
            }
        }
        // The body passes on the whole text as one body.
        std::string body = text;
        auto* bytes = reinterpret_cast<std::uint8_t*>(body.data());
        const auto length = static_cast<TextLength>(body.size());
        RemoveScriptComments(bytes, 0, length);
        TightenScriptOperators(bytes, 0, length);
        ASSERT_LE(CompactDeleted(bytes, length), length);
    }
}

// Each unit, repeated to 400 KB, would make a pass that searched to the end of the text for
// every unit (a terminator, a close tag, a link, a closing slash) take minutes.
TEST(TagScriptRobustness, PathologicalPagesTakeLinearTime) {
    const std::array<std::string, 14> units = {
        "<!-- #include ",
        "<!--",
        "<A HREF='",
        "<IMG SRC=a BORDER=0>",
        "<IMG BORDER=0></A> ",
        "<SCRIPT>",
        "<META NAME='",
        "</LI",
        "<NOOP ",
        "<TD A='x'  B='y' ",
        "<script>x=(/[ ",
        "<script>a = /*c*/ ",
        "<script><!-- \n",
        "<script>`${ ",
    };
    for (const std::string& unit : units) {
        std::string text;
        while (text.size() < 400000) {
            text += unit + "a  \n ";
        }
        // A script body that is one long line gives the regular-expression search its worst case.
        std::string oneLine = "<script>";
        while (oneLine.size() < 400000) {
            oneLine += unit;
        }
        const auto start = std::chrono::steady_clock::now();
        for (const NamedPass& pass : kPasses) {
            RunPass(pass.run, PageOptions{}, text);
            RunPass(pass.run, PageOptions{}, oneLine);
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed, std::chrono::seconds(2)) << Visible(unit);
    }
}

}  // namespace
}  // namespace quillon::test
