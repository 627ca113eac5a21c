// The walk through a script body that deletes comments and the blanks around operators, shared
// by the script passes.
#pragma once

#include <cstdint>

#include "textopt/TextBuffer.h"

namespace quillon {

// Deletes the comments that start in [commentsBegin, commentsEnd) (an empty range: none) and,
// when `tighten` is set, the blanks around operators, in text[begin, end), in one walk: the
// result is what deleting the comments first and then tightening gives. Comments holding a
// server-side include directive stay. Deletes by writing 0; does not compact.
void WalkScript(std::uint8_t* text, TextLength begin, TextLength end, TextLength commentsBegin,
                TextLength commentsEnd, bool tighten);

}  // namespace quillon
