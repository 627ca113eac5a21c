// The passes of the web-page chain that act on markup rather than on layout: comments, META and
// IMG attributes, the inside of known tags, optional close tags and editor tags. Each deletes in
// place and returns the new length, like every pass of the chain.
#pragma once

#include <cstdint>

#include "textopt/PageOptions.h"
#include "textopt/TextBuffer.h"

namespace quillon {

// Deletes every `<!-- ... -->` comment unless it holds a server-side include directive
// (`#include`, `#echo`, ...). Comments inside PRE-like regions, scripts, style sheets and the
// tags of the known-tag table stay.
TextLength RemoveComments(std::uint8_t* text, TextLength length);

// Deletes the META tags the options let go and the IMG attributes that only restate a browser's
// default (BORDER=0 outside links, HSPACE=0, ALIGN=bottom, editor markers).
TextLength OptimizeMetaAndImg(std::uint8_t* text, TextLength length, const PageOptions& options);

// Inside every known tag: line feeds become spaces, quotes go from values that do not need them,
// and the blanks between attributes shrink to one (none around `=` and before `>`).
TextLength NormalizeTags(std::uint8_t* text, TextLength length, const PageOptions& options);

// Deletes the close tags HTML lets a browser infer (`</LI>`, `</BODY>`, ...) and the tags page
// editors leave behind (`<X-CLARIS-WINDOW ...>`).
TextLength RemoveOptionalTags(std::uint8_t* text, TextLength length);

// Deletes every `<NOOP...>` and `</NOOP...>` tag; the text between them stays.
TextLength RemoveNoopTags(std::uint8_t* text, TextLength length);

}  // namespace quillon
