// Reading a tag's attributes the way a browser does: a quoted value runs to its matching quote
// whatever it holds, an unquoted one to a blank or `>`, and the tag ends at the first `>`
// outside a quoted value.
//
// The tag passes find a tag's end with TagBodyLength, which also honours parentheses and quotes
// that open no value (`<IMG ALT=it's ...>`). Where the two ends differ the markup is malformed
// and a browser sees other text inside the tag than the pass would; a pass that deletes or
// rewrites tag contents leaves such a tag alone.
#pragma once

#include <bit>
#include <cstdint>

#include "textopt/TextBuffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

struct TagAttribute {
    TextLength name = 0;        // first byte of the name
    TextLength nameEnd = 0;     // one past the name
    bool hasValue = false;      // an `=` follows the name
    TextLength value = 0;       // first byte of the value, after an opening quote
    TextLength valueEnd = 0;    // one past the value, at its closing quote when quoted
    TextLength end = 0;         // one past the attribute, past the closing quote
    std::uint8_t quote = 0;     // the value's quote, 0 when unquoted
    bool unterminated = false;  // a quoted value that never closes
};

// Bytes that separate attributes: ASCII blanks and control bytes, and deleted bytes.
constexpr bool IsAttributeBlank(std::uint8_t b) {
    return b <= 32;
}

class TagAttributes {
  public:
    // The walk starts at `from`, just after the tag's name, and never reads at or past `limit`.
    TagAttributes(const std::uint8_t* text, TextLength from, TextLength limit)
        : text_(text), pos_(from), limit_(limit) {}

    // The next attribute, or false at the tag's `>` or the limit.
    bool Next(TagAttribute& attribute);

  private:
    const std::uint8_t* text_;
    TextLength pos_;
    TextLength limit_;
};

// Where a browser ends the tag whose name ends at `from`: the index of its `>`, or `limit`.
TextLength HtmlTagEnd(const std::uint8_t* text, TextLength from, TextLength limit);

// Index just past the name of the tag whose `<` is at lt: the name runs to a blank, `/` or `>`.
// Every tag walk starts here, so the name's end is looked for sixteen bytes at a time.
inline TextLength TagNameEnd(const std::uint8_t* text, TextLength lt, TextLength limit) {
    TextLength k = lt + 1;
#if defined(__SSE2__)
    // Bound: k advances by 16 each round while 16 bytes remain.
    while (limit - k >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k));
        const __m128i blank = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(32)), bytes);
        const int stops = _mm_movemask_epi8(
            _mm_or_si128(blank, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('/')),
                                             _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>')))));
        if (stops != 0) {
            return k + std::countr_zero(static_cast<unsigned>(stops));
        }
        k += 16;
    }
#endif
    // Bound: k stops at limit.
    while (k < limit && !IsAttributeBlank(text[k]) && text[k] != '/' && text[k] != '>') {
        ++k;
    }
    return k;
}

}  // namespace quillon
