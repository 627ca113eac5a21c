// Small helpers shared by the tag and script passes: the walk from one `<` to the next, and
// the byte comparisons those passes make at each one.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "textopt/ByteScan.h"
#include "textopt/TextBuffer.h"

namespace quillon {

// Hands visit(i) the index of every `<` in text order. visit returns the index of the last byte
// it dealt with (i itself when it left the tag alone), and the walk goes on after that byte, so a
// visitor that consumes a whole tag or region is never shown a `<` inside it.
template <typename Visit>
void ForEachTagStart(const std::uint8_t* text, TextLength length, Visit visit) {
    // Bound: every round ends at or after i, so i grows; the walk ends at length.
    for (TextLength i = FindByte(text, 0, length, '<'); i < length;) {
        const TextLength last = std::max(visit(i), i);
        if (last >= length - 1) {
            break;
        }
        i = FindByte(text, last + 1, length, '<');
    }
}

// ForEachTagStart for a visitor shown only the `<` that find(from) gives, the first one it
// cares about at or after `from` (or the length).
template <typename Find, typename Visit>
void ForEachTagStartFoundBy(TextLength length, Find find, Visit visit) {
    // Bound: every round ends at or after i, so i grows; the walk ends at length.
    for (TextLength i = find(0); i < length;) {
        const TextLength last = std::max(visit(i), i);
        if (last >= length - 1) {
            break;
        }
        i = find(last + 1);
    }
}

// ForEachTagStart for a visitor that leaves alone (returns i for) every `<` that `accept` does
// not take (see FindTagStart), and the `<` that ends the text: those are not shown to it.
template <typename Accept, typename Visit>
void ForEachTagStartWhere(const std::uint8_t* text, TextLength length, Accept accept, Visit visit) {
    ForEachTagStartFoundBy(
        length, [&](TextLength from) { return FindTagStart(text, from, length, accept); }, visit);
}

// An accept for ForEachTagStartWhere: the `<` whose next byte `starts` holds.
inline auto NextByteIn(const std::uint8_t* text, const std::array<bool, 256>& starts) {
    return [text, &starts](TextLength lt) { return starts[text[lt + 1]]; };
}

constexpr std::uint8_t AsciiUpper(std::uint8_t b) {
    return b >= 'a' && b <= 'z' ? static_cast<std::uint8_t>(b - 32) : b;
}

// Whether [p, end) begins with `word` (upper case), letters compared without regard to case.
inline bool StartsWithNoCase(const std::uint8_t* p, const std::uint8_t* end,
                             std::string_view word) {
    if (end - p < static_cast<std::ptrdiff_t>(word.size())) {
        return false;
    }
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (AsciiUpper(p[k]) != static_cast<std::uint8_t>(word[k])) {
            return false;
        }
    }
    return true;
}

// Whether [p, end) is exactly `word` (upper case), letters compared without regard to case.
inline bool EqualsNoCase(const std::uint8_t* p, const std::uint8_t* end, std::string_view word) {
    return end - p == static_cast<std::ptrdiff_t>(word.size()) && StartsWithNoCase(p, end, word);
}

// Whether text[at, end) begins with `bytes`.
inline bool HasBytes(const std::uint8_t* text, TextLength at, TextLength end,
                     std::string_view bytes) {
    return end - at >= static_cast<TextLength>(bytes.size()) &&
           std::memcmp(text + at, bytes.data(), bytes.size()) == 0;
}

// Marks [begin, end) deleted.
inline void DeleteRange(std::uint8_t* text, TextLength begin, TextLength end) {
    if (begin < end) {
        std::fill(text + begin, text + end, std::uint8_t{0});
    }
}

}  // namespace quillon
