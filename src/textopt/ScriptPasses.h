// The inline JavaScript optimizer: comments and the blanks around operators go from the body of
// every SCRIPT element that holds JavaScript, and the ignored body of one that names a SRC.
#pragma once

#include <cstdint>

#include "textopt/PageOptions.h"
#include "textopt/TextBuffer.h"

namespace quillon {

// The chain's pass: finds every SCRIPT element and optimizes its body as above. A script whose
// TYPE or LANGUAGE names another language (VBScript, a template, JSON data) is left alone.
TextLength OptimizeInlineScripts(std::uint8_t* text, TextLength length, const PageOptions& options);

// On the script body text[begin, end): deletes comments, the blanks at either end, and the
// rest of an opening `<!--` line and of a closing `// -->` line. Comments holding a
// server-side include directive stay. Deletes by writing 0; does not compact.
void RemoveScriptComments(std::uint8_t* text, TextLength begin, TextLength end);

// On the script body text[begin, end): deletes the blanks around operators where the script
// means the same without them. Deletes by writing 0; does not compact.
void TightenScriptOperators(std::uint8_t* text, TextLength begin, TextLength end);

}  // namespace quillon
