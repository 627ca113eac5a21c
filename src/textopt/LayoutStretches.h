// The stretches of a page whose bytes the layout passes must leave exactly as they are: what a
// browser shows, submits or runs with every blank of it, or what is no markup at all.
//   - server-side code and preformatted elements (SkipPreformatted), TEXTAREA among them;
//   - TITLE, IFRAME, NOEMBED and NOFRAMES when they hold a `<`: their content is text, and a
//     `<P>` in there must not be taken for a block tag (without a `<` a browser folds their
//     blanks as the passes do, so they are compacted then);
//   - quoted attribute values (a value is what the page submits or shows);
//   - string, template and regular-expression literals of SCRIPT bodies;
//   - strings of STYLE bodies (what a selector matches, a font or address names, `content`
//     shows).
//
// Finding them means walking every tag and lexing every script, which costs more than most
// layout passes themselves. A pass that runs alone asks a LayoutCursor, which reads only as far
// as the pass asks; passes that run back to back find them once (FindLayoutStretches) and hand
// the list on, squeezing their deletions out only after the last of them, so that it holds.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "textopt/ScriptLexer.h"
#include "textopt/TextBuffer.h"

namespace quillon {

// A protected stretch: its first and last byte (last is the length when it runs to the end).
// A stretch never ends in a blank: a pass asking about a stretch's last byte is told that the
// byte is its own, which a pass takes for "not protected" (so a one-byte stretch protects
// nothing).
struct Stretch {
    TextLength first = 0;
    TextLength last = 0;
};

// The stretches in text order, ending with {length, length}, which lies past every position.
using Stretches = std::vector<Stretch>;

// Finds the stretches in text order as a pass asks about increasing positions, reading only as
// far as the position asked about needs. A pass only deletes blanks or turns tabs into spaces,
// which every reader here takes for blanks alike, so reading ahead of the pass gives the same
// answer.
class LayoutCursor {
  public:
    // Which script bodies have their literals found: every one, or only those holding two
    // blanks in a row (of the others, only a literal that opens the body).
    enum class ScriptLexing { kEvery, kWhereBlankPairs };

    LayoutCursor(const std::uint8_t* text, TextLength length,
                 ScriptLexing scripts = ScriptLexing::kEvery)
        : text_(text), length_(length), scripts_(scripts) {}

    // `position` when it lies outside every protected stretch, else the index of the last byte
    // of the stretch that holds it. Positions must come in increasing order.
    TextLength Resolve(TextLength position);

    // After Resolve(position) gave position: where the stretch that holds it begins, and the
    // last protected byte before it (-1 when none). A pass that deletes backwards stops there.
    TextLength SpanBegin() const { return spanBegin_; }
    TextLength Floor() const { return floor_; }

    // The next stretch, script literals included whatever was asked: {length, length} at the
    // end. Not to be mixed with Resolve.
    Stretch NextStretch() {
        NextSpan();
        return {spanBegin_, spanLast_};
    }

  private:
    enum class Mode { kMarkup, kTag, kScript, kStyle };

    void NextSpan();
    bool NextInScript();
    bool NextInStyle();
    bool NextInTag();
    bool NextInMarkup();
    // The TITLE, IFRAME, NOEMBED or NOFRAMES opened at lt when it holds a `<`; true when it made
    // a stretch.
    bool EnterRawText(TextLength lt);
    void SetSpan(TextLength begin, TextLength last);
    // Starts the body of the script whose open tag ends at tagEnd; true when it made a stretch.
    bool EnterScript(TextLength tagEnd);

    const std::uint8_t* text_;
    TextLength length_;
    ScriptLexing scripts_;
    TextLength spanBegin_ = -1;
    TextLength spanLast_ = -1;
    TextLength floor_ = -1;
    TextLength lastPosition_ = 0;
    Mode mode_ = Mode::kMarkup;
    TextLength scan_ = 0;  // markup: the first byte not read yet
    bool tagOpensScript_ = false;
    bool tagOpensStyle_ = false;
    TextLength tagPos_ = 0;   // tag: the first byte of the tag not read yet
    TextLength tagStop_ = 0;  // tag: its first quote or `>` from the name on, once found
    std::optional<ScriptLexer> lexer_;
    TextLength scriptEnd_ = 0;  // the `<` of the script's close tag, or the length
    bool firstTokenOnly_ = false;
    TextLength styleEnd_ = 0;  // the `<` of the style sheet's close tag, or the length
};

// The `<` of the first close tag of a script at or after `from`, or the length. How the open tag
// was spelled does not matter: `<script` followed by a line feed is closed by `</script>` too.
TextLength ScriptCloseTag(const std::uint8_t* text, TextLength from, TextLength length);

// The stretches CollapseBlankRuns and TrimAroundBlockTags leave alone, in one walk. Neither acts
// inside a script body that holds no two blanks in a row (the block-tag pass steps over every
// body, only minding a literal that opens it), so such a body is not lexed: after the script
// optimizer, most are.
Stretches FindLayoutStretches(const std::uint8_t* text, TextLength length);

// Answers as a LayoutCursor over the same text would, from a list found before.
class StretchCursor {
  public:
    // `stretches` ends with the {length, length} stretch and outlives the cursor.
    explicit StretchCursor(const Stretches& stretches) : stretches_(stretches) {}

    TextLength Resolve(TextLength position) {
        // Bound: next_ stops at the final stretch, which ends at the length.
        while (stretches_[next_].last < position && next_ + 1 < stretches_.size()) {
            floor_ = stretches_[next_].last;
            ++next_;
        }
        const Stretch& stretch = stretches_[next_];
        return position < stretch.first || position > stretch.last ? position : stretch.last;
    }
    TextLength SpanBegin() const { return stretches_[next_].first; }
    TextLength Floor() const { return floor_; }

  private:
    const Stretches& stretches_;
    std::size_t next_ = 0;
    TextLength floor_ = -1;
};

}  // namespace quillon
