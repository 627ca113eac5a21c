#include "textopt/Keywords.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace quillon {
namespace {

// Keywords are short strings; no entry may exceed the 255 bytes such a string holds.
constexpr std::size_t kMaxKeywordSize = 255;

constexpr std::array<std::string_view, 13> kServerSideIncludeKeywords = {
    "#command", "#include", "#echo",     "#fsize", "#config", "#flastmod", "#if",
    "#endif",   "#set",     "#printenv", "#elif",  "#else",   "#exec",
};

constexpr std::array<std::string_view, 11> kRemovableTags = {
    "<X-CLARIS-TAGVIEW", "</DD",   "</DT",   "</LI",   "</OPTION",         "</COLGROUP",
    "<X-SAS-WINDOW",     "</HEAD", "</HTML", "</BODY", "<X-CLARIS-WINDOW",
};

template <std::size_t N>
constexpr bool FitShortStrings(const std::array<std::string_view, N>& list) {
    for (std::string_view entry : list) {
        if (entry.empty() || entry.size() > kMaxKeywordSize) {
            return false;
        }
    }
    return true;
}
static_assert(FitShortStrings(kServerSideIncludeKeywords) && FitShortStrings(kRemovableTags));

template <std::size_t N>
std::string_view Entry(const std::array<std::string_view, N>& list, int number) {
    return number >= 1 && static_cast<std::size_t>(number) <= N ? list[number - 1]
                                                                : std::string_view();
}

constexpr std::uint8_t FoldedToUpper(std::uint8_t b) {
    return b >= 'a' && b <= 'z' ? static_cast<std::uint8_t>(b - 32) : b;
}

}  // namespace

std::string_view GetKeyword(KeywordList list, int number) {
    switch (list) {
        case KeywordList::kServerSideInclude:
            return Entry(kServerSideIncludeKeywords, number);
        case KeywordList::kRemovableTag:
            return Entry(kRemovableTags, number);
    }
    return {};
}

bool MatchKeyword(std::string_view keyword, const std::uint8_t* p, const std::uint8_t* end,
                  KeywordCase keywordCase) {
    // Bound: k stops at the keyword's size and at end.
    for (std::size_t k = 0; k < keyword.size(); ++k) {
        if (static_cast<std::ptrdiff_t>(k) >= end - p) {
            return true;
        }
        auto wanted = static_cast<std::uint8_t>(keyword[k]);
        std::uint8_t found = p[k];
        if (keywordCase == KeywordCase::kIgnore) {
            wanted = FoldedToUpper(wanted);
            found = FoldedToUpper(found);
        }
        if (wanted != found) {
            return false;
        }
    }
    return true;
}

bool HoldsServerSideInclude(const std::uint8_t* p, const std::uint8_t* end, KeywordFit fit) {
    // Every keyword begins with `#`, so only the places of that byte can start one.
    // Bound: p moves forward every round and stops at end.
    while (p < end) {
        const void* hit = std::memchr(p, '#', static_cast<std::size_t>(end - p));
        if (hit == nullptr) {
            return false;
        }
        p = static_cast<const std::uint8_t*>(hit);
        for (const std::string_view keyword : kServerSideIncludeKeywords) {
            const bool fits = static_cast<std::size_t>(end - p) >= keyword.size();
            if ((fits || fit == KeywordFit::kCutOffCounts) &&
                MatchKeyword(keyword, p, end, KeywordCase::kIgnore)) {
                return true;
            }
        }
        ++p;
    }
    return false;
}

}  // namespace quillon
