// The layout passes of the web-page chain: line ends, tabs, runs of blanks, blank lines and the
// whitespace around block-level tags. Each leaves the inside of PRE, XMP, PLAINTEXT and NOOP
// regions exactly as it was (NormalizeLineEnds excepted); scripts, style sheets, comments and
// attribute values are compacted like any other text.
//
// All are TextPass functions: they delete in place and return the new length.
#pragma once

#include <cstdint>

#include "textopt/TextBuffer.h"

namespace quillon {

// CR LF, a lone CR and LF all become one LF (so LF CR gives two). Applies everywhere, PRE
// regions included. A byte 1 in the text also becomes a LF.
TextLength NormalizeLineEnds(std::uint8_t* text, TextLength length);

// Every TAB and vertical tab becomes a space. The length never changes.
TextLength TabsToSpaces(std::uint8_t* text, TextLength length);

// In every run of spaces only the first stays.
TextLength CollapseSpaces(std::uint8_t* text, TextLength length);

// Removes the spaces directly before and directly after every line feed.
TextLength TrimAroundLineEnds(std::uint8_t* text, TextLength length);

// In every run of line feeds only the first stays.
TextLength CollapseBlankLines(std::uint8_t* text, TextLength length);

// What CollapseSpaces, TrimAroundLineEnds and CollapseBlankLines do one after the other, in one
// walk, for text that holds no deleted (0) byte: outside preformatted regions, every run of
// spaces and line feeds becomes one line feed when it holds one, else one space.
TextLength CollapseBlankRuns(std::uint8_t* text, TextLength length);

// Removes the spaces and line feeds directly before a block-level tag's `<` and directly after
// its `>`; around other tags (<B>, </TH>) whitespace stays.
TextLength TrimAroundBlockTags(std::uint8_t* text, TextLength length);

}  // namespace quillon
