// The user's choices that change what the tag and script passes do. The pipeline fills one of
// these per page from the settings, so the passes never reach the settings store and a pass that
// visits thousands of tags reads each choice from a register.
#pragma once

#include <cstdint>

#include "textopt/TextBuffer.h"

namespace quillon {

// Which bytes an attribute value may hold and still lose its quotes.
enum class QuoteRule : std::uint8_t {
    kStrict,  // letters, digits, `.` and `-`
    kLax,     // also `#$%&`, `/:;`, `?@`
};

// Which META tags go.
enum class MetaTagRule : std::uint8_t {
    kRemoveUnused,     // every META tag that neither search engines nor browsers act on
    kRemoveGenerator,  // only those naming the program that wrote the page
    kKeepAll,
};

struct PageOptions {
    QuoteRule quotes = QuoteRule::kStrict;
    MetaTagRule metaTags = MetaTagRule::kRemoveUnused;
    bool removeScriptComments = true;
};

// A pass that depends on the page options; the other passes are TextPass functions.
using PagePass = TextLength (*)(std::uint8_t* text, TextLength length, const PageOptions& options);

}  // namespace quillon
