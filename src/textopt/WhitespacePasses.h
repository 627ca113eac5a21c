// The layout passes of the web-page chain: line ends, tabs, runs of blanks, blank lines and the
// whitespace around block-level tags. Each leaves exactly as it was (NormalizeLineEnds excepted)
// what a browser shows, submits or runs blank for blank, and what is no markup: server-side code,
// PRE, XMP, PLAINTEXT, LISTING, NOOP and TEXTAREA elements, TITLE and the like when they hold a
// `<`, quoted attribute values and the literals of scripts. The rest of scripts, style sheets
// and comments is compacted like any other text.
//
// All are TextPass functions: they delete in place and return the new length.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

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
// its `>`. Around a tag that shows nothing (SCRIPT, META) only the blanks no browser renders go:
// the one between two such tags or next to the start or end of the text, and those at the edges
// of a script's body. Around other tags (<B>, </TH>, <SELECT>) whitespace stays.
TextLength TrimAroundBlockTags(std::uint8_t* text, TextLength length);

// What CollapseBlankRuns and TrimAroundBlockTags do one after the other, finding the stretches
// both leave alone only once.
TextLength CollapseBlankRunsAndTrimBlockTags(std::uint8_t* text, TextLength length);

// The stretches the layout passes leave as they are, as {first, last} indexes in text order
// (last is the length when one runs to the end). For checks over whole pages.
std::vector<std::pair<TextLength, TextLength>> LayoutProtectedStretches(const std::uint8_t* text,
                                                                        TextLength length);

}  // namespace quillon
