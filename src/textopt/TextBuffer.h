// The in-place text buffer shared by every web-page pass: a pass marks a byte deleted by writing
// 0 into it, never moves text while it scans, and squeezes the marks out once at its end.
#pragma once

#include <cstdint>

namespace quillon {

// The length of a whole page held in memory, or an index into it.
using TextLength = std::int32_t;

// Every pass has this shape, so the chain can be kept as a table of function pointers. A pass
// returns the new length, never more than `length`; a length <= 0 gives 0.
using TextPass = TextLength (*)(std::uint8_t* text, TextLength length);

// Moves every non-zero byte to the front, in order, and returns how many there are.
TextLength CompactDeleted(std::uint8_t* text, TextLength length);

// The byte at p, or 0 past the end: scanners read their look-ahead through this so that a tag cut
// off by the end of the page reads as a deleted byte, never as memory beyond the buffer.
inline std::uint8_t ByteAt(const std::uint8_t* p, const std::uint8_t* end) {
    return p < end ? *p : 0;
}

// The "below 33" test of the page rules compares the byte as a signed char, so 0x80-0xFF (every
// byte of a UTF-8 sequence) count as blanks too. Use it only to step over bytes, never to pick
// bytes to delete: see IsDeletableBlank.
inline bool IsBelow33(std::uint8_t b) {
    return static_cast<std::int8_t>(b) < 33;
}

// A byte a pass may delete as layout whitespace: control bytes and the space. Bytes 0x80-0xFF
// are parts of multibyte characters and must survive, and 0 is already deleted.
inline bool IsDeletableBlank(std::uint8_t b) {
    return b >= 1 && b <= 32;
}

// What a browser takes for a blank between tags and attributes (space, tab, line feed, form
// feed, carriage return), or a byte already deleted. Other control bytes are text to it.
inline bool IsHtmlBlankOrDeleted(std::uint8_t b) {
    return b == ' ' || b == '\t' || b == '\n' || b == '\f' || b == '\r' || b == 0;
}

// An ASCII letter: what a tag's name begins with, for a browser.
constexpr bool IsAsciiLetter(std::uint8_t b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

// A space or a byte an earlier step of the same pass already deleted; the runs that the passes
// trim or collapse step over such bytes so that a second run finds nothing left to do.
inline bool IsSpaceOrDeleted(std::uint8_t b) {
    return b == ' ' || b == 0;
}

}  // namespace quillon
