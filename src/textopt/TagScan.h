// The small scanners the web-page passes are built from: where a tag ends, what kind of tag a
// `<` opens, and how to step over the regions a pass must leave alone.
//
// Positions are pointers with an end one past the last byte, or indexes into a buffer with its
// length. Nothing here reads outside [text, end), whatever the bytes are.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "textopt/TagNames.h"
#include "textopt/TextBuffer.h"

namespace quillon {

// Distance from p (the byte after a `<`) to the `>` that closes the tag. A `>` inside quotes or
// parentheses does not close it, except that such a `>` directly followed by another `>` ends the
// tag at the second one. When no closing `>` is found the result reaches `end`.
TextLength TagBodyLength(const std::uint8_t* p, const std::uint8_t* end);

// Classifiers, given the position of a `<`. The name is the `<` and the bytes after it up to a
// blank (space, tab, line feed, form feed), `>` or the end, upper-cased, and must equal a table
// entry exactly.
// TEXTAREA TITLE XMP PLAINTEXT IFRAME NOEMBED NOFRAMES: content that holds no markup.
bool IsRawTextTag(const std::uint8_t* p, const std::uint8_t* end);
bool IsScriptTag(const std::uint8_t* p, const std::uint8_t* end);
bool IsKnownTag(const std::uint8_t* p, const std::uint8_t* end);

// Region skips. Given index i, each returns i when no region starts there, else the index of the
// `>` of the region's close tag, or `length` when the region runs to the end of the text. The
// caller goes on at the result + 1.
//
// Server-side code: `<%` or `<?` to the next `%>` or `?>`, whatever it holds (`<%=`, `<%@`,
// `<?php`, `<?=`, `<?xml` alike); one that never closes runs to the end.
TextLength SkipServerCode(TextLength i, const std::uint8_t* text, TextLength length);
// Server-side code, or an element of the preformatted table up to its close tag.
TextLength SkipPreformatted(TextLength i, const std::uint8_t* text, TextLength length);
// Server-side code, or an element of the raw-text table up to its close tag.
TextLength SkipRawText(TextLength i, const std::uint8_t* text, TextLength length);
// False where SkipPreformatted (SkipRawText) is sure to give back i, told from the bytes after
// the `<`, most often the first two alone: most tags are turned away without their name being
// read.
inline bool MayOpenPreformattedAt(const std::uint8_t* text, TextLength i, TextLength length) {
    if (i + 1 >= length) {
        return false;
    }
    const std::uint8_t next = text[i + 1];
    if (next == '%' || next == '?') {
        return true;
    }
    return i + 3 < length && kPreformattedStartBytes[next] &&
           kPreformattedSecondBytes[text[i + 2]] &&
           ThirdByteFits(kPreformattedTagNames, next, text[i + 2], text[i + 3]);
}
inline bool MayOpenRawTextAt(const std::uint8_t* text, TextLength i, TextLength length) {
    if (i + 1 >= length) {
        return false;
    }
    const std::uint8_t next = text[i + 1];
    if (next == '%' || next == '?') {
        return true;
    }
    return i + 3 < length && kRawTextStartBytes[next] && kRawTextSecondBytes[text[i + 2]] &&
           ThirdByteFits(kRawTextTagNames, next, text[i + 2], text[i + 3]);
}
// Deletes markup for a pass, unless deleting it would join the text on either side into markup
// or a character reference the page did not have: `a<` and `b>c` around a comment would become
// the tag `<b>`, `&am` and `p;` the reference `&amp;`. Such markup stays. The bytes the pass
// deleted before are stepped over (the last run of them at once, so that a page of many
// comments in a row costs no more than one); the text after is as the pass found it.
class MarkupDeleter {
  public:
    // Deletes text[begin, end) unless that joins text. Calls come in text order.
    void Delete(std::uint8_t* text, TextLength begin, TextLength end, TextLength length);

  private:
    bool Joins(const std::uint8_t* text, TextLength begin, TextLength end, TextLength length) const;

    TextLength runBegin_ = 0;  // the last run of bytes deleted here
    TextLength runEnd_ = -1;
};
namespace detail {
std::string_view BodyElementAtS(const std::uint8_t* text, TextLength i, TextLength length);
}  // namespace detail
// "SCRIPT" or "STYLE" when the tag at i opens one of them, else an empty view: their bodies are
// a program and a style sheet, whose strings may hold what looks like tags. Every tag walk asks,
// so the first letter turns most tags away here, without a call.
inline std::string_view BodyElementAt(const std::uint8_t* text, TextLength i, TextLength length) {
    if (i + 2 >= length || (text[i + 1] | 0x20) != 's') {
        return {};
    }
    return detail::BodyElementAtS(text, i, length);
}
TextLength SkipScriptBlock(TextLength i, const std::uint8_t* text, TextLength length);
TextLength SkipStyleBlock(TextLength i, const std::uint8_t* text, TextLength length);
// i, or the index of the `>` of the known tag opened at i (`length` when it is not closed).
TextLength SkipKnownTag(TextLength i, const std::uint8_t* text, TextLength length);

// The `<` of the first close tag of the element `name` (upper case, no `<`) at or after `from`,
// as a browser finds it: `</NAME` followed by a blank, `/`, `>` or the end, whatever the open
// tag looked like; or `length` when there is none.
TextLength FindElementClose(const std::uint8_t* text, TextLength from, TextLength length,
                            std::string_view name);

// `</` and the upper-cased name of an open tag, as a short string of at most 255 bytes.
struct CloseTagPattern {
    static constexpr std::size_t kMaxSize = 255;
    std::uint8_t size = 0;
    std::array<std::uint8_t, kMaxSize> bytes{};

    std::string_view View() const { return {reinterpret_cast<const char*>(bytes.data()), size}; }

    // False when MatchCloseTag can match no close tag at all: the name holds a line feed (which
    // ends every close tag's name) or is as long as the largest pattern. A search for such a
    // close tag runs to the end of the text, and need not read it.
    bool MatchesSome() const {
        return size < kMaxSize && View().find('\n') == std::string_view::npos;
    }
};

// The name runs to a space, tab, form feed, `>` or 0 byte, but not to a line feed: an open tag
// whose name is followed by a line feed gives a pattern that no close tag matches.
CloseTagPattern MakeCloseTagPattern(const std::uint8_t* p, const std::uint8_t* end);

// Whether the tag at p (a `<`) has the pattern's name; its name ends at a blank (space, tab,
// line feed, form feed), `>`, 0 byte or the end, so `</pre >` and `</PRE class=x>` match `</PRE`.
bool MatchCloseTag(const CloseTagPattern& pattern, const std::uint8_t* p, const std::uint8_t* end);

}  // namespace quillon
