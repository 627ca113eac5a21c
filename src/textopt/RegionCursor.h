// Keeps track, during a pass's forward walk, of the regions the pass must leave alone.
#pragma once

#include <cassert>
#include <cstdint>

#include "textopt/ByteScan.h"
#include "textopt/TagNames.h"
#include "textopt/TextBuffer.h"

namespace quillon {

// i, or the index of the last byte of the region that starts at i (the length when it runs to
// the end): SkipPreformatted and its kind.
using RegionSkip = TextLength (*)(TextLength i, const std::uint8_t* text, TextLength length);

// A pass looks for its own bytes (a tab, a line feed, an `&`) and asks the cursor about each one
// instead of stopping at every `<` itself. The cursor applies the skip to every `<` before the
// position asked about, in text order, exactly as a walk that stopped at every byte would: each
// `<` is judged after the pass has dealt with every byte before it and before any byte after it.
// That only needs passes not to write a `<` or delete one, which none does.
// `Starts` must hold every byte that, after a `<`, can begin a region that Skip recognises; the
// cursor calls Skip only for those.
template <RegionSkip Skip, const TagStartBytes& Starts>
class RegionCursor {
  public:
    RegionCursor(const std::uint8_t* text, TextLength length)
        : text_(text), length_(length), nextTag_(FindByte(text, 0, length, '<')) {}

    // Positions must come in increasing order. Returns `position` when it lies outside every
    // region, else the index of the last byte of the region that holds it; the caller goes on
    // after the result.
    TextLength Resolve(TextLength position) {
        assert(position >= lastPosition_);
        lastPosition_ = position;
        // Bound: nextTag_ grows every round; it stops at position or at the length.
        while (nextTag_ < position) {
            const bool mayStartRegion = nextTag_ + 1 < length_ && Starts[text_[nextTag_ + 1]];
            const TextLength last = mayStartRegion ? Skip(nextTag_, text_, length_) : nextTag_;
            nextTag_ = last >= length_ ? length_ : FindByte(text_, last + 1, length_, '<');
            if (last >= position) {
                return last;
            }
        }
        return position;
    }

  private:
    const std::uint8_t* text_;
    TextLength length_;
    TextLength nextTag_;  // the first `<` not judged yet; every `<` before it has been
    TextLength lastPosition_ = 0;
};

}  // namespace quillon
