// The two fixed keyword lists of the web-page passes, and the keyword matcher.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillon {

enum class KeywordList {
    kServerSideInclude,  // directives that keep a comment alive: "#include", "#echo", ...
    kRemovableTag,       // optional close tags and page-editor tags: "</LI", "<X-SAS-WINDOW", ...
};

// Entry `number` (1-based) of the list; empty before the first and after the last, so a caller
// reads entries until an empty one comes back.
std::string_view GetKeyword(KeywordList list, int number);

enum class KeywordCase {
    kIgnore = 0,  // a-z on both sides taken as A-Z
    kExact = 1,
};

// Whether the text from p starts with the keyword. Reaching `end` before a mismatch counts as a
// match: a keyword cut off by the end of the range searched is taken as found.
bool MatchKeyword(std::string_view keyword, const std::uint8_t* p, const std::uint8_t* end,
                  KeywordCase keywordCase);

enum class KeywordFit {
    kCutOffCounts,  // a keyword cut off by `end` is found, as MatchKeyword has it
    kWholeOnly,     // only a keyword that lies wholly before `end` is found
};

// Whether a server-side include keyword starts anywhere in [p, end), without regard to case. A
// comment holding one is a directive the web server acts on and must reach it intact.
bool HoldsServerSideInclude(const std::uint8_t* p, const std::uint8_t* end, KeywordFit fit);

}  // namespace quillon
