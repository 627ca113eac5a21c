#include "textopt/LayoutStretches.h"

#include <algorithm>
#include <cassert>
#include <string_view>

#include "textopt/ByteScan.h"
#include "textopt/TagAttributes.h"
#include "textopt/TagNames.h"
#include "textopt/TagScan.h"

namespace quillon {
namespace {

// The raw-text name the tag at lt opens (TITLE, IFRAME, ...), or an empty view.
std::string_view RawTextName(const std::uint8_t* text, TextLength lt, TextLength length) {
    if (!IsRawTextTag(text + lt, text + length)) {
        return {};
    }
    for (const std::string_view name : kRawTextTagNames) {
        bool same = length - lt > static_cast<TextLength>(name.size());
        for (std::size_t m = 0; m < name.size() && same; ++m) {
            same = UpperCasedTagByte(text[lt + 1 + static_cast<TextLength>(m)]) ==
                   static_cast<std::uint8_t>(name[m]);
        }
        if (same) {
            return name;
        }
    }
    return {};
}

// Whether the open tag from lt to its `>` at tagEnd has a SRC, even an empty one or one without a
// value: a browser then never runs the body, which a page may still read as it stands.
bool NamesSource(const std::uint8_t* text, TextLength lt, TextLength tagEnd) {
    TagAttributes attributes(text, TagNameEnd(text, lt, tagEnd), tagEnd);
    TagAttribute attribute;
    // Bound: the walk moves forward with every attribute and stops at tagEnd.
    while (attributes.Next(attribute)) {
        if (attribute.nameEnd - attribute.name == 3 && (text[attribute.name] | 0x20) == 's' &&
            (text[attribute.name + 1] | 0x20) == 'r' && (text[attribute.name + 2] | 0x20) == 'c') {
            return true;
        }
    }
    return false;
}

// Whether the quote at q opens an attribute value: the walk takes a quote for one only right
// after an `=` and blanks. `from` is where the walk last left a value (or the tag's name), so
// every `=` between is one the walk stops at.
bool QuoteOpensValue(const std::uint8_t* text, TextLength q, TextLength from) {
    TextLength k = q - 1;
    // Bound: k falls to from at most.
    while (k >= from && IsAttributeBlank(text[k])) {
        --k;
    }
    return k >= from && text[k] == '=';
}

// The bytes after a `<` that may begin a region, preformatted or raw text: most tags are turned
// away by this one look before either kind is asked about.
constexpr TagStartBytes kRegionStartBytes =
    StartBytesOf(kPreformattedTagNames, kRawTextTagNames, kServerCodeOpeners);

// Where the CSS string whose quote is at `open` ends: its closing quote, or the last byte before
// the line break that cuts it off unclosed, or before `end`. A backslash escapes the byte after
// it, a line feed included.
TextLength CssStringEnd(const std::uint8_t* text, TextLength open, TextLength end) {
    const std::uint8_t quote = text[open];
    // Bound: k grows every round and stops at end.
    for (TextLength k = open + 1; k < end; ++k) {
        const std::uint8_t b = text[k];
        if (b == quote) {
            return k;
        }
        if (b == '\\') {
            ++k;
        } else if (b == '\n' || b == '\r' || b == '\f') {
            return k - 1;
        }
    }
    return end - 1;
}

// The byte after the `*/` that closes the CSS comment whose `/*` is at `open`, or `end`.
TextLength CssCommentEnd(const std::uint8_t* text, TextLength open, TextLength end) {
    // Bound: k grows every round and stops at end.
    for (TextLength k = FindByte(text, open + 2, end, '/'); k < end;
         k = FindByte(text, k + 1, end, '/')) {
        if (k - 1 >= open + 2 && text[k - 1] == '*') {
            return k + 1;
        }
    }
    return end;
}

// Whether text[from, to] holds a byte a layout pass acts at: a blank other than a lone space
// between two other bytes, a deleted byte or a `<`.
bool HoldsLayoutWork(const std::uint8_t* text, TextLength from, TextLength to) {
    // Bound: k grows every round and stops at to.
    for (TextLength k = from; k <= to; ++k) {
        const std::uint8_t b = text[k];
        if (b == '<' || b < ' ' || (b == ' ' && k < to && text[k + 1] <= ' ')) {
            return true;
        }
    }
    return false;
}

}  // namespace

TextLength ScriptCloseTag(const std::uint8_t* text, TextLength from, TextLength length) {
    return FindElementClose(text, from, length, "SCRIPT");
}

TextLength LayoutCursor::Resolve(TextLength position) {
    assert(position >= lastPosition_);
    lastPosition_ = position;
    // Bound: every round makes the next stretch, which begins after the last; after the last
    // one the stretch is the end of the text, past every position.
    while (spanLast_ < position) {
        floor_ = spanLast_;
        NextSpan();
    }
    return position < spanBegin_ ? position : spanLast_;
}

void LayoutCursor::SetSpan(TextLength begin, TextLength last) {
    spanBegin_ = begin;
    spanLast_ = std::min(last, length_);
    // Bound: spanLast_ falls to begin at most.
    while (spanLast_ > begin && spanLast_ < length_ && text_[spanLast_] <= ' ') {
        --spanLast_;
    }
}

void LayoutCursor::NextSpan() {
    // Bound: each round moves the walk forward (scan_, the attribute walk or the lexer).
    for (;;) {
        const bool found = mode_ == Mode::kScript  ? NextInScript()
                           : mode_ == Mode::kStyle ? NextInStyle()
                           : mode_ == Mode::kTag   ? NextInTag()
                                                   : NextInMarkup();
        if (found) {
            return;
        }
        if (mode_ == Mode::kMarkup && scan_ >= length_) {
            SetSpan(length_, length_);
            return;
        }
    }
}

bool LayoutCursor::NextInScript() {
    // A pass that asks about nothing inside the body need not have it lexed.
    if (lastPosition_ >= scriptEnd_) {
        mode_ = Mode::kMarkup;
        scan_ = scriptEnd_;
        return false;
    }
    const ScriptToken* literal = &(firstTokenOnly_ ? lexer_->Next() : lexer_->NextLiteral());
    // A literal that ends before the position asked about answers nothing, now or later.
    // Bound: every round takes the next token of the body, which ends.
    while (!firstTokenOnly_ && literal->kind != ScriptTokenKind::kEnd &&
           literal->end - 1 < lastPosition_) {
        literal = &lexer_->NextLiteral();
    }
    const ScriptToken& token = *literal;
    // Only a literal that opens the body counts in a body no pass acts inside.
    if (firstTokenOnly_) {
        scan_ = scriptEnd_;
        mode_ = Mode::kMarkup;
        if (token.kind != ScriptTokenKind::kString && token.kind != ScriptTokenKind::kRegex) {
            return false;
        }
    }
    if (token.kind == ScriptTokenKind::kEnd) {
        mode_ = Mode::kMarkup;
        scan_ = scriptEnd_;
        return false;
    }
    SetSpan(token.begin, token.end - 1);
    return true;
}

// Walks the tag as a browser reads it: a quote opens a value only right after `=` (and blanks),
// and then runs to the same quote whatever it holds, `>` included. Only a value the passes could
// change needs protecting: one holding a tab, a line feed, two blanks in a row or a `<`, which
// few do, so the others cost no stretch of their own. Most tags hold no quote before their `>`,
// and are read in one scan.
bool LayoutCursor::NextInTag() {
    TextLength from = tagPos_;
    // The markup walk already found the tag's first quote or `>`.
    TextLength k = std::max(from, tagStop_);
    // Bound: k grows every round and stops at the length.
    for (;;) {
        k = FindFirstOfThree(text_, k, length_, '>', '"', '\'');
        if (k >= length_ || text_[k] == '>') {
            break;
        }
        if (!QuoteOpensValue(text_, k, from)) {
            ++k;
            continue;
        }
        const TextLength open = k;
        const QuotedValue value = ReadQuotedValue(text_, open + 1, length_, text_[open]);
        k = value.close;
        tagPos_ = k + 1;
        // A value that ends before the position asked about answers nothing, now or later. A
        // space right before the closing quote has that quote after it: no pair to find.
        if (k >= length_ || (k >= lastPosition_ && value.holdsWork)) {
            SetSpan(open, k);
            return true;
        }
        from = ++k;
    }
    if (tagOpensScript_ && k < length_) {
        return EnterScript(k);
    }
    if (tagOpensStyle_ && k < length_) {
        styleEnd_ = FindElementClose(text_, k + 1, length_, "STYLE");
        mode_ = Mode::kStyle;
        scan_ = k + 1;
        return false;
    }
    mode_ = Mode::kMarkup;
    scan_ = k + 1;
    return false;
}

bool LayoutCursor::EnterScript(TextLength tagEnd) {
    scriptEnd_ = ScriptCloseTag(text_, tagEnd + 1, length_);
    if (NamesSource(text_, scan_, tagEnd)) {
        mode_ = Mode::kMarkup;
        scan_ = scriptEnd_;
        if (tagEnd + 1 < scriptEnd_) {
            // Up to the close tag's `<`, so that the stretch never ends in a blank.
            SetSpan(tagEnd + 1, scriptEnd_);
            return true;
        }
        return false;
    }
    lexer_.emplace(text_, tagEnd + 1, scriptEnd_);
    firstTokenOnly_ = scripts_ == ScriptLexing::kWhereBlankPairs &&
                      FindBlankPair(text_, tagEnd + 1, scriptEnd_) >= scriptEnd_;
    mode_ = Mode::kScript;
    return false;
}

bool LayoutCursor::NextInMarkup() {
    // Bound: scan_ grows every round; the walk returns at the end of the text at the latest.
    for (;;) {
        const TextLength lt = FindByte(text_, scan_, length_, '<');
        if (lt + 1 >= length_) {
            scan_ = length_;
            return false;
        }
        const std::uint8_t next = text_[lt + 1];
        if (next == '!' && lt + 3 < length_ && text_[lt + 2] == '-' && text_[lt + 3] == '-') {
            // A comment's quotes open no value. What looks like markup inside it is judged as
            // markup: a commented-out PRE region has always been kept as it was.
            scan_ = lt + 4;
            continue;
        }
        const bool mayOpenRegion = kRegionStartBytes[next];
        if (mayOpenRegion && MayOpenPreformattedAt(text_, lt, length_)) {
            const TextLength region = SkipPreformatted(lt, text_, length_);
            if (region != lt) {
                SetSpan(lt, region);
                scan_ = region + 1;
                return true;
            }
        }
        // Server-side code was taken above.
        if (mayOpenRegion && MayOpenRawTextAt(text_, lt, length_) && EnterRawText(lt)) {
            return true;
        }
        if (!IsAsciiLetter(next) && next != '/' && next != '!') {
            scan_ = lt + 1;  // `a < b`: no tag
            continue;
        }
        const std::string_view body = BodyElementAt(text_, lt, length_);
        tagOpensScript_ = body == "SCRIPT";
        tagOpensStyle_ = body == "STYLE";
        // Most tags hold no quote before their `>`: nothing in them to protect, and no value
        // to walk. A name ends at a `>`, so a `>` found from the `<` on is the one a search
        // from the name's end finds; the name's end is only needed for a tag with a quote.
        const TextLength stop = FindFirstOfThree(text_, lt + 1, length_, '>', '"', '\'');
        if (!tagOpensScript_ && !tagOpensStyle_ && stop < length_ && text_[stop] == '>') {
            scan_ = stop + 1;
            continue;
        }
        tagPos_ = TagNameEnd(text_, lt, length_);
        // A quote inside the name opens no value.
        tagStop_ =
            stop >= tagPos_ ? stop : FindFirstOfThree(text_, tagPos_, length_, '>', '"', '\'');
        scan_ = lt;
        mode_ = Mode::kTag;
        // The tag is walked here rather than by another round of NextSpan: most tags with a
        // quote have no stretch to give, and the markup walk goes on after them.
        if (NextInTag()) {
            return true;
        }
        if (mode_ != Mode::kMarkup) {
            return false;
        }
    }
}

// Walks a style sheet for its strings; a quote in a comment opens none. A string that ends before
// the position asked about, or holds nothing a pass would change, gives no stretch.
bool LayoutCursor::NextInStyle() {
    // Bound: scan_ grows every round and stops at the sheet's end.
    while (scan_ < styleEnd_) {
        const TextLength k = FindFirstOfThree(text_, scan_, styleEnd_, '"', '\'', '/');
        if (k >= styleEnd_) {
            break;
        }
        if (text_[k] == '/') {
            if (k + 1 < styleEnd_ && text_[k + 1] == '*') {
                scan_ = CssCommentEnd(text_, k, styleEnd_);
            } else {
                scan_ = k + 1;
            }
            continue;
        }
        const TextLength last = CssStringEnd(text_, k, styleEnd_);
        scan_ = last + 1;
        if (last >= lastPosition_ && HoldsLayoutWork(text_, k + 1, last)) {
            SetSpan(k, last);
            return true;
        }
    }
    mode_ = Mode::kMarkup;
    scan_ = styleEnd_;
    return false;
}

bool LayoutCursor::EnterRawText(TextLength lt) {
    const std::string_view name = RawTextName(text_, lt, length_);
    if (name.empty()) {
        return false;
    }
    const TextLength openEnd = lt + 1 + TagBodyLength(text_ + lt + 1, text_ + length_);
    const TextLength close = FindElementClose(text_, openEnd + 1, length_, name);
    // Without a `<` of its own the content is folded by a browser as the passes fold it; with
    // one, it is text the passes must not take for markup, to the end of the page when the
    // element is never closed, as a browser reads it.
    if (FindByte(text_, openEnd + 1, close, '<') >= close) {
        return false;
    }
    const TextLength region =
        close < length_ ? close + 1 + TagBodyLength(text_ + close + 1, text_ + length_) : length_;
    SetSpan(lt, region);
    scan_ = region + 1;
    return true;
}

Stretches FindLayoutStretches(const std::uint8_t* text, TextLength length) {
    Stretches stretches;
    LayoutCursor cursor(text, length, LayoutCursor::ScriptLexing::kWhereBlankPairs);
    // Bound: every stretch begins after the one before; the walk ends with the final one.
    for (;;) {
        stretches.push_back(cursor.NextStretch());
        if (stretches.back().first >= length) {
            return stretches;
        }
    }
}

}  // namespace quillon
