// Finding the next byte a pass cares about. The passes spend most of their time looking for a
// few byte values ('<', '&', a line feed, two spaces in a row) between long stretches of plain
// text: single bytes are found with memchr, pairs eight bytes at a time.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "textopt/TextBuffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

namespace detail {

inline constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;
inline constexpr std::uint64_t kLow7Bits = 0x7F7F7F7F7F7F7F7FULL;

// 0x80 in exactly the bytes of `word` that equal `b`, 0 elsewhere (no borrow runs between
// bytes, so every byte's answer is exact).
constexpr std::uint64_t BytesEqual(std::uint64_t word, std::uint8_t b) {
    const std::uint64_t x = word ^ (kEveryByte * b);
    return ~(((x & kLow7Bits) + kLow7Bits) | x | kLow7Bits);
}

// Offset of the first byte in memory order whose bit is set in a non-zero mask.
constexpr int FirstMarkedByte(std::uint64_t mask) {
    if constexpr (std::endian::native == std::endian::little) {
        return std::countr_zero(mask) / 8;
    } else {
        return std::countl_zero(mask) / 8;
    }
}

inline std::uint64_t LoadWord(const std::uint8_t* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

#if defined(__SSE2__)
// A bit for each of the sixteen bytes at `at` that layout work starts at: a tab, vertical tab,
// line feed, `<` or deleted byte, or a space followed by a space or a deleted byte (so the byte
// after the sixteen is read too).
inline int LayoutWorkMarks(const std::uint8_t* at) {
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    const __m128i single =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')),
                                  _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\v'))),
                     _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')),
                                               _mm_cmpeq_epi8(bytes, _mm_set1_epi8('<'))),
                                  _mm_cmpeq_epi8(bytes, zero)));
    const __m128i pair =
        _mm_and_si128(_mm_cmpeq_epi8(bytes, space),
                      _mm_or_si128(_mm_cmpeq_epi8(next, space), _mm_cmpeq_epi8(next, zero)));
    return _mm_movemask_epi8(_mm_or_si128(single, pair));
}
#endif

}  // namespace detail

// The index of the first `wanted` byte at or after `from`, or `length` when there is none (also
// when `from` is at or past the end).
inline TextLength FindByte(const std::uint8_t* text, TextLength from, TextLength length,
                           std::uint8_t wanted) {
    if (from >= length) {
        return length;
    }
#if defined(__SSE2__)
    // Most finds are short hops (from one tag to the next): the first sixteen bytes are looked
    // at here, which costs less than the call.
    if (length - from >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + from));
        const int hits =
            _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(wanted))));
        if (hits != 0) {
            return from + std::countr_zero(static_cast<unsigned>(hits));
        }
        from += 16;
    }
#endif
    const void* hit = std::memchr(text + from, wanted, static_cast<std::size_t>(length - from));
    return hit ? static_cast<TextLength>(static_cast<const std::uint8_t*>(hit) - text) : length;
}

// The index of the first `<` at or after `from` that `accept` takes, or `length`. accept(lt) is
// asked only about a `<` with a byte after it. A pass that acts at a few kinds of tag passes
// over the others: the `<` are found sixteen bytes at a time, and accept reads a byte or two
// after each.
template <typename Accept>
TextLength FindTagStart(const std::uint8_t* text, TextLength from, TextLength length,
                        Accept accept) {
    TextLength k = std::max(from, TextLength{0});
#if defined(__SSE2__)
    const __m128i lessThan = _mm_set1_epi8('<');
    // Bound: k advances by 16 each round while 17 bytes (a block and the byte after it) remain.
    while (length - k >= 17) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k));
        // Bound: every round clears one bit.
        for (auto tags = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lessThan)));
             tags != 0; tags &= tags - 1) {
            const TextLength lt = k + std::countr_zero(tags);
            if (accept(lt)) {
                return lt;
            }
        }
        k += 16;
    }
#endif
    // Bound: k stops before the last byte.
    for (; k + 1 < length; ++k) {
        if (text[k] == '<' && accept(k)) {
            return k;
        }
    }
    return length;
}

// The index of the first `<` at or after `from` whose next byte is `letter` (a lower-case ASCII
// letter) in either case, or `length`. Faster than FindTagStart where a walk stops at one name
// only: sixteen pairs of bytes are compared at a time, and no other `<` costs a look.
inline TextLength FindTagStartWithLetter(const std::uint8_t* text, TextLength from,
                                         TextLength length, std::uint8_t letter) {
    TextLength k = std::max(from, TextLength{0});
#if defined(__SSE2__)
    const __m128i lessThan = _mm_set1_epi8('<');
    const __m128i lowerCase = _mm_set1_epi8(static_cast<char>(letter));
    const __m128i caseBit = _mm_set1_epi8(0x20);
    // Bound: k advances by 16 each round while 17 bytes (a block and the byte after it) remain.
    while (length - k >= 17) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k + 1));
        const int hits = _mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(bytes, lessThan),
                          _mm_cmpeq_epi8(_mm_or_si128(next, caseBit), lowerCase)));
        if (hits != 0) {
            return k + std::countr_zero(static_cast<unsigned>(hits));
        }
        k += 16;
    }
#endif
    // Bound: k stops before the last byte.
    for (; k + 1 < length; ++k) {
        if (text[k] == '<' && (text[k + 1] | 0x20) == letter) {
            return k;
        }
    }
    return length;
}

// The first index i at or after `from` where text[i] is a space and text[i + 1] a space or a
// deleted byte, or `length`: runs of spaces start at such pairs, which are far rarer than spaces.
inline TextLength FindSpaceRun(const std::uint8_t* text, TextLength from, TextLength length) {
    constexpr std::uint64_t kSpaces = detail::kEveryByte * ' ';
    if (from >= length) {
        return length;
    }
    const std::uint8_t* p = text + from;
    const std::uint8_t* const end = text + length;
    // Bound: p advances by 8 each round while 9 bytes (a word and the byte after it) remain.
    while (end - p >= 9) {
        // A byte of `pair` is 0 exactly where this byte is a space and the next one is a space
        // or 0 (clearing the space bit leaves 0 only for those two).
        const std::uint64_t pair =
            (detail::LoadWord(p) ^ kSpaces) | (detail::LoadWord(p + 1) & ~kSpaces);
        const std::uint64_t hits = detail::BytesEqual(pair, 0);
        if (hits != 0) {
            return static_cast<TextLength>(p - text) + detail::FirstMarkedByte(hits);
        }
        p += 8;
    }
    for (; end - p >= 2; ++p) {
        if (p[0] == ' ' && (p[1] == ' ' || p[1] == 0)) {
            return static_cast<TextLength>(p - text);
        }
    }
    return length;
}

// The first index i at or after `from` where text[i] and text[i + 1] are both blanks (a space or
// a line feed), or `length`: the runs of blanks that have something to lose start at such pairs.
// Text is mostly words with single spaces between them, so this scan is most of the work of the
// pass that uses it: sixteen bytes at a time where the processor offers it, else eight.
inline TextLength FindBlankPair(const std::uint8_t* text, TextLength from, TextLength length) {
    if (from >= length) {
        return length;
    }
    const std::uint8_t* p = text + from;
    const std::uint8_t* const end = text + length;
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const auto blanks = [&](const std::uint8_t* at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return _mm_or_si128(_mm_cmpeq_epi8(bytes, space), _mm_cmpeq_epi8(bytes, lineFeed));
    };
    // Bound: p advances by 16 each round while 17 bytes (a block and the byte after it) remain.
    while (end - p >= 17) {
        const int hits = _mm_movemask_epi8(_mm_and_si128(blanks(p), blanks(p + 1)));
        if (hits != 0) {
            return static_cast<TextLength>(p - text) +
                   std::countr_zero(static_cast<unsigned>(hits));
        }
        p += 16;
    }
#endif
    const auto blankWord = [](std::uint64_t word) {
        return detail::BytesEqual(word, ' ') | detail::BytesEqual(word, '\n');
    };
    // Bound: p advances by 8 each round while 9 bytes (a word and the byte after it) remain.
    while (end - p >= 9) {
        const std::uint64_t hits =
            blankWord(detail::LoadWord(p)) & blankWord(detail::LoadWord(p + 1));
        if (hits != 0) {
            return static_cast<TextLength>(p - text) + detail::FirstMarkedByte(hits);
        }
        p += 8;
    }
    const auto isBlank = [](std::uint8_t b) { return b == ' ' || b == '\n'; };
    for (; end - p >= 2; ++p) {
        if (isBlank(p[0]) && isBlank(p[1])) {
            return static_cast<TextLength>(p - text);
        }
    }
    return length;
}

// Where the run of blanks (spaces and line feeds) that starts at `from` ends, and whether it
// holds a line feed.
struct BlankRun {
    TextLength end = 0;  // the first byte that is no blank, or `length`
    bool lineFeed = false;
};

// Runs of blanks are mostly indentation, a line feed and the spaces after it: sixteen bytes are
// looked at a time.
inline BlankRun ReadBlankRun(const std::uint8_t* text, TextLength from, TextLength length) {
    BlankRun run;
    TextLength k = from;
#if defined(__SSE2__)
    // Bound: k advances by 16 each round while 16 bytes remain.
    while (length - k >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k));
        const __m128i lineFeeds = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'));
        const auto blanks = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), lineFeeds)));
        const auto feeds = static_cast<unsigned>(_mm_movemask_epi8(lineFeeds));
        if (blanks != 0xFFFF) {
            const int size = std::countr_one(blanks);
            run.end = k + size;
            run.lineFeed = run.lineFeed || (feeds & ((1U << size) - 1)) != 0;
            return run;
        }
        run.lineFeed = run.lineFeed || feeds != 0;
        k += 16;
    }
#endif
    // Bound: k stops at length.
    while (k < length && (text[k] == ' ' || text[k] == '\n')) {
        run.lineFeed = run.lineFeed || text[k] == '\n';
        ++k;
    }
    run.end = k;
    return run;
}

namespace detail {

// The first index at or after `from` whose byte is (kIn) or is not (!kIn) one of a, b and c, or
// `length`.
template <bool kIn>
TextLength FirstByteWhere(const std::uint8_t* text, TextLength from, TextLength length,
                          std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    if (from >= length) {
        return length;
    }
    const std::uint8_t* p = text + from;
    const std::uint8_t* const end = text + length;
#if defined(__SSE2__)
    const __m128i wantedA = _mm_set1_epi8(static_cast<char>(a));
    const __m128i wantedB = _mm_set1_epi8(static_cast<char>(b));
    const __m128i wantedC = _mm_set1_epi8(static_cast<char>(c));
    // Bound: p advances by 16 each round while 16 bytes remain.
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto in = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, wantedA), _mm_cmpeq_epi8(bytes, wantedB)),
            _mm_cmpeq_epi8(bytes, wantedC))));
        const unsigned hits = kIn ? in : ~in & 0xFFFFU;
        if (hits != 0) {
            return static_cast<TextLength>(p - text) + std::countr_zero(hits);
        }
        p += 16;
    }
#endif
    for (; p < end; ++p) {
        if ((*p == a || *p == b || *p == c) == kIn) {
            return static_cast<TextLength>(p - text);
        }
    }
    return length;
}

}  // namespace detail

// The index of the first byte at or after `from` that equals `a`, `b` or `c`, or `length`. Tags
// are walked this way from one quote to the next: the bytes between are names and plain values.
inline TextLength FindFirstOfThree(const std::uint8_t* text, TextLength from, TextLength length,
                                   std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    return detail::FirstByteWhere<true>(text, from, length, a, b, c);
}

// The first index at or after `from` whose byte is none of a, b and c, or `length`: the end of a
// run of those bytes, such as blanks or deleted bytes, stepped over sixteen at a time.
inline TextLength SkipAnyOfThree(const std::uint8_t* text, TextLength from, TextLength length,
                                 std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    return detail::FirstByteWhere<false>(text, from, length, a, b, c);
}

// Where the quoted value that begins at `from` closes, and whether it holds layout work.
struct QuotedValue {
    TextLength close = 0;  // the index of the closing quote, or the length
    // Whether text[from, close) holds something a layout pass acts at: a tab, vertical tab, line
    // feed, `<` or deleted byte, or a space followed by a space or a deleted byte.
    bool holdsWork = false;
};

// Finds the first `quote` at or after `from` and tells, in the same read of the bytes, whether
// the value before it holds layout work: most values are short and hold none, and reading them
// twice cost the stretch walks more than the values themselves.
inline QuotedValue ReadQuotedValue(const std::uint8_t* text, TextLength from, TextLength length,
                                   std::uint8_t quote) {
    const std::uint8_t* p = text + from;
    const std::uint8_t* const end = text + length;
    bool work = false;
#if defined(__SSE2__)
    const __m128i closing = _mm_set1_epi8(static_cast<char>(quote));
    // Bound: p advances by 16 each round while 17 bytes (a block and the byte after it) remain.
    while (end - p >= 17) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto closes =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, closing)));
        // The bytes of the value in this block: those before the quote, if it is here.
        const unsigned value = closes != 0 ? (closes & (0U - closes)) - 1 : 0xFFFFU;
        // Work starts only at a byte up to a space or at a `<`: a block without one needs no
        // closer look. The pair test of the byte before the quote reads the quote, which is no
        // blank: the marks below the quote are exactly the value's.
        if (!work) {
            const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(' ')), bytes);
            const auto candidates = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_or_si128(low, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')))));
            work = (candidates & value) != 0 &&
                   (static_cast<unsigned>(detail::LayoutWorkMarks(p)) & value) != 0;
        }
        if (closes != 0) {
            return {static_cast<TextLength>(p - text) + std::countr_zero(closes), work};
        }
        p += 16;
    }
#endif
    for (; p < end; ++p) {
        const std::uint8_t b = *p;
        if (b == quote) {
            return {static_cast<TextLength>(p - text), work};
        }
        work = work || b == '\t' || b == '\v' || b == '\n' || b == '<' || b == 0 ||
               (b == ' ' && p + 1 < end && (p[1] == ' ' || p[1] == 0));
    }
    return {length, work};
}

}  // namespace quillon
