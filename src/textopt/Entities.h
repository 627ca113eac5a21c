// Shortening of named character references to their decimal form.
#pragma once

#include <cstdint>

#include "textopt/TextBuffer.h"

namespace quillon {

// Replaces each of 40 Latin-1 references (`&eacute;` and the like) by its shorter numeric form
// (`&#233;`). Text inside PRE, XMP, PLAINTEXT and NOOP regions, SCRIPT blocks and the tags of the
// known-tag table (link and image addresses) is left alone; style sheets and unknown tags are not.
// A TextPass: returns the new length.
TextLength ShortenEntities(std::uint8_t* text, TextLength length);

}  // namespace quillon
