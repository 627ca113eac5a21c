#include "textopt/TagScan.h"

#include <algorithm>
#include <bit>

#include "textopt/ByteScan.h"
#include "textopt/TagNames.h"
#include "textopt/TagWalk.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {
namespace {

// Where a close tag's name ends; unlike an open tag's name, a deleted byte ends it as well.
constexpr bool EndsCloseTagName(std::uint8_t b) {
    return EndsTagName(b) || b == 0;
}

enum class Nesting { kNone, kDoubleQuote, kSingleQuote, kParenthesis };

// One kind of nesting at a time: a quote of the other kind, or a parenthesis, inside a quoted
// value is plain text, and a `)` closes nothing but a parenthesis.
constexpr Nesting NextNesting(Nesting nesting, std::uint8_t b) {
    switch (b) {
        case '"':
            return nesting == Nesting::kNone          ? Nesting::kDoubleQuote
                   : nesting == Nesting::kDoubleQuote ? Nesting::kNone
                                                      : nesting;
        case '\'':
            return nesting == Nesting::kNone          ? Nesting::kSingleQuote
                   : nesting == Nesting::kSingleQuote ? Nesting::kNone
                                                      : nesting;
        case '(':
            return nesting == Nesting::kNone ? Nesting::kParenthesis : nesting;
        case ')':
            return nesting == Nesting::kParenthesis ? Nesting::kNone : nesting;
        default:
            return nesting;
    }
}

// For each nesting, the bytes a tag scan must stop at: those that change the nesting, and `>`.
// Everything between is stepped over in a tight loop.
using StopBytes = std::array<bool, 256>;

constexpr std::array<StopBytes, 4> MakeStopBytes() {
    std::array<StopBytes, 4> stops{};
    for (int nesting = 0; nesting < 4; ++nesting) {
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            stops[static_cast<std::size_t>(nesting)][byte] =
                byte == '>' ||
                NextNesting(static_cast<Nesting>(nesting), byte) != static_cast<Nesting>(nesting);
        }
    }
    return stops;
}

constexpr std::array<StopBytes, 4> kStopBytes = MakeStopBytes();

// The same stops as byte values, four for each nesting (a nesting with two repeats them), for
// the scan that looks at sixteen bytes at once: most of a tag's bytes are names and values
// between stops, and long values (styles, data addresses) are common.
using StopValues = std::array<std::uint8_t, 4>;
constexpr std::array<StopValues, 4> kStopValues = {{
    {'>', '"', '\'', '('},   // kNone
    {'>', '"', '>', '"'},    // kDoubleQuote
    {'>', '\'', '>', '\''},  // kSingleQuote
    {'>', ')', '>', ')'},    // kParenthesis
}};

constexpr bool StopValuesMatchStopBytes() {
    for (std::size_t nesting = 0; nesting < kStopBytes.size(); ++nesting) {
        for (int b = 0; b < 256; ++b) {
            const StopValues& values = kStopValues[nesting];
            const bool listed = std::find(values.begin(), values.end(), b) != values.end();
            if (listed != kStopBytes[nesting][static_cast<std::size_t>(b)]) {
                return false;
            }
        }
    }
    return true;
}
static_assert(StopValuesMatchStopBytes());

// The first of [q, end) that is a stop of `nesting`, or end.
const std::uint8_t* FindStop(const std::uint8_t* q, const std::uint8_t* end, Nesting nesting) {
    const auto index = static_cast<std::size_t>(nesting);
#if defined(__SSE2__)
    const StopValues& values = kStopValues[index];
    const auto wanted = [&values](std::size_t k) {
        return _mm_set1_epi8(static_cast<char>(values[k]));
    };
    const __m128i a = wanted(0);
    const __m128i b = wanted(1);
    const __m128i c = wanted(2);
    const __m128i d = wanted(3);
    // Bound: q advances by 16 each round while 16 bytes remain.
    while (end - q >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const int hits = _mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, a), _mm_cmpeq_epi8(bytes, b)),
                         _mm_or_si128(_mm_cmpeq_epi8(bytes, c), _mm_cmpeq_epi8(bytes, d))));
        if (hits != 0) {
            return q + std::countr_zero(static_cast<unsigned>(hits));
        }
        q += 16;
    }
#endif
    const StopBytes& stops = kStopBytes[index];
    // Bound: q stops at end.
    while (q < end && !stops[*q]) {
        ++q;
    }
    return q;
}

CloseTagPattern MakeBrowserCloseTagPattern(const std::uint8_t* p, const std::uint8_t* end) {
    CloseTagPattern pattern;
    pattern.bytes[0] = '<';
    pattern.bytes[1] = '/';
    pattern.size = 2;
    // Bound: the pattern stops at kMaxSize bytes.
    for (std::ptrdiff_t k = 1; k < end - p && pattern.size < CloseTagPattern::kMaxSize; ++k) {
        if (EndsCloseTagName(p[k]) || p[k] == '\r' || p[k] == '/') {
            break;
        }
        pattern.bytes[pattern.size++] = UpperCasedTagByte(p[k]);
    }
    return pattern;
}

TextLength SkipRegion(TagClass tagClass, TextLength i, const std::uint8_t* text,
                      TextLength length) {
    const std::uint8_t* const end = text + length;
    if (i < 0 || i >= length || text[i] != '<' || !IsTagOfClass(tagClass, text + i, end)) {
        return i;
    }
    // The elements added for their text end their name as browsers do, at any blank: a
    // `<TEXTAREA` followed by a line feed would otherwise never find its close and protect the rest
    // of the page, which a later run, the line feed gone, no longer would.
    const CloseTagPattern pattern = tagClass == TagClass::kRawText
                                        ? MakeBrowserCloseTagPattern(text + i, end)
                                        : MakeCloseTagPattern(text + i, end);
    const TextLength openEnd = i + 1 + TagBodyLength(text + i + 1, end);
    if (openEnd >= length || !pattern.MatchesSome()) {
        return length;
    }
    // Quotes inside the region are not followed: a script's '</SCRIPT>' string ends it.
    // Bound: k grows every round and the loop stops at length.
    for (TextLength k = FindByte(text, openEnd + 1, length, '<'); k < length;
         k = FindByte(text, k + 1, length, '<')) {
        if (MatchCloseTag(pattern, text + k, end)) {
            return std::min(k + 1 + TagBodyLength(text + k + 1, end), length);
        }
    }
    return length;
}

}  // namespace

TextLength TagBodyLength(const std::uint8_t* p, const std::uint8_t* end) {
    if (ByteAt(p, end) == '>') {
        return 0;
    }
    Nesting nesting = Nesting::kNone;
    const std::uint8_t* q = p;
    // Each round takes the byte at q (never a `>` here), steps to the next byte that matters to
    // the nesting, and looks at the byte after it. Bound: q moves forward every round; the loop
    // ends at end.
    while (q < end) {
        const StopBytes& stops = kStopBytes[static_cast<std::size_t>(nesting)];
        if (!stops[*q]) {
            q = FindStop(q + 1, end, nesting);
            if (q == end) {
                break;
            }
            if (*q == '>') {
                // Reached as the byte after a plain one: the same test as below.
                if (nesting == Nesting::kNone) {
                    break;
                }
                ++q;
                if (ByteAt(q, end) == '>') {
                    break;
                }
                continue;
            }
        }
        nesting = NextNesting(nesting, *q);
        ++q;
        if (ByteAt(q, end) != '>') {
            continue;
        }
        if (nesting == Nesting::kNone) {
            break;
        }
        // A `>` in a quoted or parenthesised value belongs to the value; but `>>` there has always
        // ended the tag, and pages were optimized with that rule.
        ++q;
        if (ByteAt(q, end) == '>') {
            break;
        }
    }
    return static_cast<TextLength>(q - p);
}

bool IsRawTextTag(const std::uint8_t* p, const std::uint8_t* end) {
    return IsTagOfClass(TagClass::kRawText, p, end);
}

bool IsScriptTag(const std::uint8_t* p, const std::uint8_t* end) {
    return IsTagOfClass(TagClass::kScript, p, end);
}

bool IsKnownTag(const std::uint8_t* p, const std::uint8_t* end) {
    return IsTagOfClass(TagClass::kKnown, p, end);
}

namespace {

constexpr bool IsAsciiAlphanumeric(std::uint8_t b) {
    return IsAsciiLetter(b) || (b >= '0' && b <= '9');
}

// What may stand between a `<` and the end of text that a following byte could still make a tag
// of: a name, a `/`, `!`, `?` or `-`.
constexpr bool ContinuesTagOpener(std::uint8_t b) {
    return IsAsciiAlphanumeric(b) || b == '/' || b == '!' || b == '?' || b == '-';
}

// What may stand between a `&` and the end of text that a following byte could still make a
// character reference of.
constexpr bool ContinuesReference(std::uint8_t b) {
    return IsAsciiAlphanumeric(b) || b == '#';
}

// The longest stretch looked back over: longer than any tag opener or reference name that a
// deletion could complete in a real page.
constexpr TextLength kJoinLookBack = 64;
// The most deleted bytes stepped over one by one, besides the last run: past them the markup is
// kept rather than the page read back further.
constexpr TextLength kDeletedLookBack = 4096;

}  // namespace

void MarkupDeleter::Delete(std::uint8_t* text, TextLength begin, TextLength end,
                           TextLength length) {
    if (Joins(text, begin, end, length)) {
        return;
    }
    DeleteRange(text, begin, end);
    if (begin != runEnd_) {
        runBegin_ = begin;
    }
    runEnd_ = end;
}

bool MarkupDeleter::Joins(const std::uint8_t* text, TextLength begin, TextLength end,
                          TextLength length) const {
    if (end >= length) {
        return false;
    }
    const std::uint8_t after = text[end];
    TextLength kept = 0;       // bytes between begin and the `<` or `&` looked for
    TextLength deleted = 0;    // deleted bytes stepped over one by one
    bool reference = true;     // and all kept ones could be part of a reference's name
    std::uint8_t nearest = 0;  // the one right after that `<` or `&`
    // Bound: k falls every round and stops at 0, or once kJoinLookBack kept bytes or
    // kDeletedLookBack deleted ones are passed.
    for (TextLength k = (begin == runEnd_ ? runBegin_ : begin) - 1; k >= 0; --k) {
        const std::uint8_t b = text[k];
        if (b == 0) {
            if (++deleted > kDeletedLookBack) {
                return true;
            }
            continue;
        }
        if (b == '<') {
            // `<` alone takes a name or `/`, `!`, `?` after it; `<b`, `</` or `<!-` anything.
            const std::uint8_t next = kept > 0 ? nearest : after;
            return IsAsciiLetter(next) || next == '/' || next == '!' || next == '?';
        }
        if (b == '&') {
            return reference && (ContinuesReference(after) || (kept > 0 && after == ';'));
        }
        if (!ContinuesTagOpener(b) || ++kept > kJoinLookBack) {
            return false;
        }
        reference = reference && ContinuesReference(b);
        nearest = b;
    }
    return false;
}

std::string_view detail::BodyElementAtS(const std::uint8_t* text, TextLength i, TextLength length) {
    // SPAN, STRONG and SELECT are told from both by their second letter.
    const std::uint8_t second = text[i + 2] | 0x20;
    if (second == 'c' && IsScriptTag(text + i, text + length)) {
        return "SCRIPT";
    }
    if (second == 't' && IsTagOfClass(TagClass::kStyle, text + i, text + length)) {
        return "STYLE";
    }
    return {};
}

TextLength SkipServerCode(TextLength i, const std::uint8_t* text, TextLength length) {
    if (i < 0 || length - i < 2 || text[i] != '<' || (text[i + 1] != '%' && text[i + 1] != '?')) {
        return i;
    }
    const std::uint8_t closer = text[i + 1];
    // The closer is looked for after the opener, so `<%>` does not close itself.
    // Bound: k grows every round and stops at length.
    for (TextLength k = FindByte(text, i + 3, length, '>'); k < length;
         k = FindByte(text, k + 1, length, '>')) {
        if (text[k - 1] == closer) {
            return k;
        }
    }
    return length;
}

TextLength SkipPreformatted(TextLength i, const std::uint8_t* text, TextLength length) {
    const TextLength code = SkipServerCode(i, text, length);
    return code != i ? code : SkipRegion(TagClass::kPreformatted, i, text, length);
}

TextLength SkipRawText(TextLength i, const std::uint8_t* text, TextLength length) {
    const TextLength code = SkipServerCode(i, text, length);
    return code != i ? code : SkipRegion(TagClass::kRawText, i, text, length);
}

TextLength SkipScriptBlock(TextLength i, const std::uint8_t* text, TextLength length) {
    return SkipRegion(TagClass::kScript, i, text, length);
}

TextLength SkipStyleBlock(TextLength i, const std::uint8_t* text, TextLength length) {
    return SkipRegion(TagClass::kStyle, i, text, length);
}

TextLength SkipKnownTag(TextLength i, const std::uint8_t* text, TextLength length) {
    const std::uint8_t* const end = text + length;
    if (i < 0 || i >= length || text[i] != '<' || !IsKnownTag(text + i, end)) {
        return i;
    }
    return i + 1 + TagBodyLength(text + i + 1, end);
}

TextLength FindElementClose(const std::uint8_t* text, TextLength from, TextLength length,
                            std::string_view name) {
    const auto size = static_cast<TextLength>(name.size());
    // Bound: k grows every round and stops at length.
    for (TextLength k = FindByte(text, from, length, '<'); k < length;
         k = FindByte(text, k + 1, length, '<')) {
        if (length - k < size + 2) {
            break;
        }
        if (text[k + 1] != '/') {
            continue;
        }
        bool same = true;
        for (TextLength m = 0; m < size && same; ++m) {
            same = UpperCasedTagByte(text[k + 2 + m]) == static_cast<std::uint8_t>(name[m]);
        }
        const TextLength after = k + 2 + size;
        if (same &&
            (after == length || text[after] <= ' ' || text[after] == '>' || text[after] == '/')) {
            return k;
        }
    }
    return length;
}

CloseTagPattern MakeCloseTagPattern(const std::uint8_t* p, const std::uint8_t* end) {
    CloseTagPattern pattern;
    pattern.bytes[0] = '<';
    pattern.bytes[1] = '/';
    pattern.size = 2;
    // A line feed does not end the name here (it does in MatchCloseTag); the region of such a
    // tag runs to the end of the text, which errs on the side of leaving text alone.
    // Bound: the pattern stops at kMaxSize bytes.
    for (std::ptrdiff_t k = 1; k < end - p && pattern.size < CloseTagPattern::kMaxSize; ++k) {
        if (p[k] != '\n' && EndsCloseTagName(p[k])) {
            break;
        }
        pattern.bytes[pattern.size++] = UpperCasedTagByte(p[k]);
    }
    return pattern;
}

bool MatchCloseTag(const CloseTagPattern& pattern, const std::uint8_t* p, const std::uint8_t* end) {
    // A name as long as the largest pattern is taken as no name at all.
    if (pattern.size >= CloseTagPattern::kMaxSize || end - p < pattern.size) {
        return false;
    }
    for (std::size_t k = 0; k < pattern.size; ++k) {
        if (EndsCloseTagName(p[k]) || UpperCasedTagByte(p[k]) != pattern.bytes[k]) {
            return false;
        }
    }
    return p + pattern.size == end || EndsCloseTagName(p[pattern.size]);
}

}  // namespace quillon
