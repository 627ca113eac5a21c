#include "textopt/WhitespacePasses.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <optional>
#include <string_view>

#include "textopt/ByteScan.h"
#include "textopt/ScriptLexer.h"
#include "textopt/TagAttributes.h"
#include "textopt/TagNames.h"
#include "textopt/TagScan.h"

namespace quillon {
namespace {

// The stretches of a page whose bytes the layout passes must leave exactly as they are: what a
// browser shows, submits or runs with every blank of it, or what is no markup at all.
//   - server-side code and preformatted elements (SkipPreformatted), TEXTAREA among them;
//   - TITLE, IFRAME, NOEMBED and NOFRAMES when they hold a `<`: their content is text, and a
//     `<P>` in there must not be taken for a block tag (without a `<` a browser folds their
//     blanks as the passes do, so they are compacted then);
//   - quoted attribute values (a value is what the page submits or shows);
//   - string, template and regular-expression literals of SCRIPT bodies.
// The cursor finds them in text order as a pass asks about increasing positions, reading only
// as far as the position asked about needs. A pass only deletes blanks, which every reader here
// takes for blanks whether deleted or not, so reading ahead of the pass gives the same answer.
class LayoutCursor {
  public:
    LayoutCursor(const std::uint8_t* text, TextLength length) : text_(text), length_(length) {}

    // `position` when it lies outside every protected stretch, else the index of the last byte
    // of the stretch that holds it. Positions must come in increasing order.
    TextLength Resolve(TextLength position) {
        assert(position >= lastPosition_);
        lastPosition_ = position;
        // Bound: every round makes the next stretch, which begins after the last; after the
        // last one the stretch is the end of the text, past every position.
        while (spanLast_ < position) {
            floor_ = spanLast_;
            NextSpan();
        }
        return position < spanBegin_ ? position : spanLast_;
    }

    // After Resolve(position) gave position: where the stretch that holds it begins, and the
    // last protected byte before it (-1 when none). A pass that deletes backwards stops there.
    TextLength SpanBegin() const { return spanBegin_; }
    TextLength Floor() const { return floor_; }

  private:
    enum class Mode { kMarkup, kTag, kScript };

    void NextSpan();
    bool NextInScript();
    bool NextInTag();
    bool NextInMarkup();
    // A stretch never ends in a blank (only a string that never closes could): Resolve answers
    // a stretch's last byte with that byte's own index, which a pass takes for "not protected".
    void SetSpan(TextLength begin, TextLength last) {
        spanBegin_ = begin;
        spanLast_ = std::min(last, length_);
        // Bound: spanLast_ falls to begin at most.
        while (spanLast_ > begin && spanLast_ < length_ && text_[spanLast_] <= ' ') {
            --spanLast_;
        }
    }
    // Starts the body of the script whose open tag ends at tagEnd; true when it made a stretch.
    bool EnterScript(TextLength tagEnd);

    const std::uint8_t* text_;
    TextLength length_;
    TextLength spanBegin_ = -1;
    TextLength spanLast_ = -1;
    TextLength floor_ = -1;
    TextLength lastPosition_ = 0;
    Mode mode_ = Mode::kMarkup;
    TextLength scan_ = 0;  // markup: the first byte not read yet
    bool tagOpensScript_ = false;
    TextLength tagPos_ = 0;  // tag: the first byte of the tag not read yet
    std::optional<ScriptLexer> lexer_;
    TextLength scriptEnd_ = 0;  // the `<` of the script's close tag, or the length
};

void LayoutCursor::NextSpan() {
    // Bound: each round moves the walk forward (scan_, the attribute walk or the lexer).
    for (;;) {
        const bool found = mode_ == Mode::kScript ? NextInScript()
                           : mode_ == Mode::kTag  ? NextInTag()
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
    const ScriptToken& token = lexer_->Next();
    if (token.kind == ScriptTokenKind::kEnd) {
        mode_ = Mode::kMarkup;
        scan_ = scriptEnd_;
        return false;
    }
    if (token.kind == ScriptTokenKind::kString || token.kind == ScriptTokenKind::kRegex) {
        SetSpan(token.begin, token.end - 1);
        return true;
    }
    return false;
}

// Walks the tag as a browser reads it: a quote opens a value only right after `=` (and blanks),
// and then runs to the same quote whatever it holds, `>` included. Only a value the passes could
// change needs protecting: one holding a tab, a line feed, two blanks in a row or a `<`, which
// few do, so the others cost no stretch of their own.
bool LayoutCursor::NextInTag() {
    TextLength k = tagPos_;
    // Bound: k grows every round and stops at the length.
    for (;;) {
        k = FindEitherByte(text_, k, length_, '>', '=');
        if (k >= length_ || text_[k] == '>') {
            break;
        }
        ++k;
        while (k < length_ && IsAttributeBlank(text_[k])) {
            ++k;
        }
        const std::uint8_t quote = k < length_ ? text_[k] : 0;
        if (quote != '"' && quote != '\'') {
            continue;
        }
        const TextLength open = k;
        k = FindByte(text_, open + 1, length_, quote);
        tagPos_ = k + 1;
        // A space right before the closing quote has that quote after it: no pair to find.
        if (k >= length_ || HoldsLayoutWork(text_, open + 1, k)) {
            SetSpan(open, k);
            return true;
        }
        ++k;
    }
    if (tagOpensScript_ && k < length_) {
        return EnterScript(k);
    } else {
        mode_ = Mode::kMarkup;
        scan_ = k + 1;
    }
    return false;
}

// How the open tag of a script was spelled does not matter: `<script` followed by a line feed is
// closed by `</script>` like any other.
TextLength ScriptCloseTag(const std::uint8_t* text, TextLength from, TextLength length) {
    return FindElementClose(text, from, length, "SCRIPT");
}

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

// Whether the open tag from lt to its `>` at tagEnd names a SRC: a browser then runs the file and
// never the body, which a page may still read as it stands.
bool NamesSource(const std::uint8_t* text, TextLength lt, TextLength tagEnd) {
    TagAttributes attributes(text, TagNameEnd(text, lt, tagEnd), tagEnd);
    TagAttribute attribute;
    // Bound: the walk moves forward with every attribute and stops at tagEnd.
    while (attributes.Next(attribute)) {
        if (attribute.hasValue && attribute.nameEnd - attribute.name == 3 &&
            (text[attribute.name] | 0x20) == 's' && (text[attribute.name + 1] | 0x20) == 'r' &&
            (text[attribute.name + 2] | 0x20) == 'c') {
            return true;
        }
    }
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
    mode_ = Mode::kScript;
    return false;
}

// The second letters of the raw-text names that only sometimes make a protected region (TITLE,
// IFRAME, NOEMBED, NOFRAMES; the others are preformatted): TD, TR, TABLE and IMG are turned away
// before their name is read.
constexpr TagStartBytes MakeRawTextSecondBytes() {
    TagStartBytes second{};
    for (const std::string_view name : kRawTextTagNames) {
        const auto b = static_cast<std::uint8_t>(name[1]);
        second[b] = true;
        second[b | 0x20] = true;
    }
    return second;
}
inline constexpr TagStartBytes kRawTextSecondBytes = MakeRawTextSecondBytes();

constexpr bool IsAsciiLetter(std::uint8_t b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

bool LayoutCursor::NextInMarkup() {
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
        return false;
    }
    if (kPreformattedStartBytes[next]) {
        const TextLength region = SkipPreformatted(lt, text_, length_);
        if (region != lt) {
            SetSpan(lt, region);
            scan_ = region + 1;
            return true;
        }
    }
    if (kRawTextStartBytes[next] && kRawTextSecondBytes[text_[lt + 2 < length_ ? lt + 2 : lt]]) {
        const std::string_view name = RawTextName(text_, lt, length_);
        if (!name.empty()) {
            const TextLength openEnd = lt + 1 + TagBodyLength(text_ + lt + 1, text_ + length_);
            const TextLength close = FindElementClose(text_, openEnd + 1, length_, name);
            // Without a `<` of its own the content is folded by a browser as the passes fold
            // it; with one, it is text the passes must not take for markup, to the end of the
            // page when the element is never closed, as a browser reads it.
            if (FindByte(text_, openEnd + 1, close, '<') < close) {
                const TextLength region =
                    close < length_ ? close + 1 + TagBodyLength(text_ + close + 1, text_ + length_)
                                    : length_;
                SetSpan(lt, region);
                scan_ = region + 1;
                return true;
            }
        }
    }
    if (!IsAsciiLetter(next) && next != '/' && next != '!') {
        scan_ = lt + 1;  // `a < b`: no tag
        return false;
    }
    tagOpensScript_ = (next | 0x20) == 's' && IsScriptTag(text_ + lt, text_ + length_);
    scan_ = lt;
    tagPos_ = TagNameEnd(text_, lt, length_);
    mode_ = Mode::kTag;
    return false;
}

constexpr bool IsBlankOrDeleted(std::uint8_t b) {
    return b == ' ' || b == '\n' || b == 0;
}

// Deletes the bytes directly before index i that `deletable` accepts, back to the start at most
// and never at or before `floor` (the last byte of a protected stretch, or -1).
template <typename Deletable>
void DeleteBefore(std::uint8_t* text, TextLength i, TextLength floor, Deletable deletable) {
    // Bound: k falls to floor at most. Each gap is walked back once, by the byte that ends it.
    for (TextLength k = i - 1; k > floor && deletable(text[k]); --k) {
        text[k] = 0;
    }
}

// Deletes the bytes directly after index i that `deletable` accepts, and returns the index of
// the last byte looked at that belongs to the deleted run (i when there was none).
template <typename Deletable>
TextLength DeleteAfter(std::uint8_t* text, TextLength i, TextLength length, Deletable deletable) {
    TextLength k = i + 1;
    // Bound: k stops at length.
    while (k < length && deletable(text[k])) {
        text[k] = 0;
        ++k;
    }
    return k - 1;
}

// Hands `act` every index that `find` turns up outside the protected stretches. find(from) gives
// the first candidate at or after `from` (or the length); act(i) deals with index i and returns
// the index of the last byte it dealt with, after which the walk goes on.
template <typename Find, typename Act>
void ForEachOutsidePreformatted(TextLength length, LayoutCursor& regions, Find find, Act act) {
    // Bound: every round ends at or after i, so i grows; the walk ends at length.
    for (TextLength i = find(0); i < length;) {
        const TextLength region = regions.Resolve(i);
        const TextLength last = region == i ? act(i) : region;
        if (last >= length - 1) {
            break;
        }
        i = find(last + 1);
    }
}

// The first index before i, above `floor`, that holds neither a blank nor a deleted byte, or
// `floor` when there is none.
TextLength KeptBefore(const std::uint8_t* text, TextLength i, TextLength floor) {
    TextLength k = i - 1;
    // Bound: k falls to floor at most.
    while (k > floor && IsBlankOrDeleted(text[k])) {
        --k;
    }
    return k;
}

// A tag that shows nothing (SCRIPT, META, ...) at i. The blanks on either side of it collapse
// with each other in a browser, so the run before it goes when nothing but another such tag or
// the start of the text lies beyond it, and the run after it when only the end does; a run that
// parts it from text stays, as one blank. The blanks at the edges of a script's body are script
// text, not page text, and go too. Returns the last byte dealt with; `invisibleEnd` is the `>`
// of the last such tag.
TextLength TrimAroundInvisibleTag(std::uint8_t* text, TextLength i, TextLength length,
                                  LayoutCursor& regions, TextLength& invisibleEnd) {
    const std::uint8_t* const end = text + length;
    const TextLength kept = KeptBefore(text, i, regions.Floor());
    if (kept < 0 || kept == invisibleEnd) {
        DeleteBefore(text, i, regions.Floor(), IsBlankOrDeleted);
    }
    TextLength last = i + 1 + TagBodyLength(text + i + 1, end);
    if (last >= length) {
        return length;
    }
    invisibleEnd = last;
    if (IsScriptTag(text + i, end)) {
        // The body is script: no `<` in it opens a tag.
        const TextLength close = ScriptCloseTag(text, last + 1, length);
        // The body of a script with a source is kept whole, its edges too.
        if (last + 1 < close && regions.Resolve(last + 1) != last + 1) {
            return close >= length ? length : close - 1;
        }
        last = DeleteAfter(text, last, length, IsBlankOrDeleted);
        if (close >= length) {
            return length;
        }
        regions.Resolve(close);
        DeleteBefore(text, close, std::max(regions.Floor(), last), IsBlankOrDeleted);
        return close - 1;
    }
    TextLength after = last + 1;
    // Bound: after stops at length.
    while (after < length && IsBlankOrDeleted(text[after])) {
        ++after;
    }
    return after == length ? DeleteAfter(text, last, length, IsBlankOrDeleted) : last;
}
}  // namespace

TextLength NormalizeLineEnds(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    // Each CR is judged by the byte after it as read: rewriting a CR only changes a byte that
    // has already been judged.
    for (TextLength i = FindByte(text, 0, length, '\r'); i < length;
         i = FindByte(text, i + 1, length, '\r')) {
        text[i] = i + 1 < length && text[i + 1] == '\n' ? 0 : '\n';
    }
    // Byte 1 used to mark a lone CR inside this pass and so has always come out as a line feed;
    // pages keep getting the same output.
    for (TextLength i = FindByte(text, 0, length, 1); i < length;
         i = FindByte(text, i + 1, length, 1)) {
        text[i] = '\n';
    }
    return CompactDeleted(text, length);
}

TextLength TabsToSpaces(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    // One memchr per byte value, each run again only once the walk has passed its last find.
    TextLength nextTab = -1;
    TextLength nextVerticalTab = -1;
    auto find = [&](TextLength from) {
        if (nextTab < from) {
            nextTab = FindByte(text, from, length, '\t');
        }
        if (nextVerticalTab < from) {
            nextVerticalTab = FindByte(text, from, length, '\v');
        }
        return std::min(nextTab, nextVerticalTab);
    };
    LayoutCursor regions(text, length);
    ForEachOutsidePreformatted(length, regions, find, [text, length](TextLength i) {
        // Indentation comes in runs of tabs; a run holds no `<`, so one region answer covers it.
        // Bound: i stops at length.
        for (; i < length && (text[i] == '\t' || text[i] == '\v'); ++i) {
            text[i] = ' ';
        }
        return i - 1;
    });
    return length;
}

TextLength CollapseSpaces(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    LayoutCursor regions(text, length);
    ForEachOutsidePreformatted(
        length, regions,
        [text, length](TextLength from) { return FindSpaceRun(text, from, length); },
        [text, length](TextLength i) { return DeleteAfter(text, i, length, IsSpaceOrDeleted); });
    return CompactDeleted(text, length);
}

TextLength TrimAroundLineEnds(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    LayoutCursor regions(text, length);
    ForEachOutsidePreformatted(
        length, regions,
        [text, length](TextLength from) { return FindByte(text, from, length, '\n'); },
        [text, length, &regions](TextLength i) {
            DeleteBefore(text, i, regions.Floor(), IsSpaceOrDeleted);
            return DeleteAfter(text, i, length, IsSpaceOrDeleted);
        });
    return CompactDeleted(text, length);
}

TextLength CollapseBlankLines(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    LayoutCursor regions(text, length);
    ForEachOutsidePreformatted(
        length, regions,
        [text, length](TextLength from) {
            // Only a line feed followed by another (or by a deleted byte) has work to do.
            TextLength i = FindByte(text, from, length, '\n');
            // Bound: i grows every round and stops at length.
            while (i < length - 1 && text[i + 1] != '\n' && text[i + 1] != 0) {
                i = FindByte(text, i + 1, length, '\n');
            }
            return i < length - 1 ? i : length;
        },
        [text, length](TextLength i) {
            return DeleteAfter(text, i, length, [](std::uint8_t b) { return b == '\n' || b == 0; });
        });
    return CompactDeleted(text, length);
}

TextLength CollapseBlankRuns(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    // A run never reaches into a region: regions begin with `<` and end with `>` or the text.
    // Nor does deleting blanks outside them make a `<` meet a letter, so the regions found here
    // are the ones each of the three passes finds.
    LayoutCursor regions(text, length);
    ForEachOutsidePreformatted(
        length, regions,
        [text, length](TextLength from) { return FindBlankPair(text, from, length); },
        [text, length](TextLength i) {
            TextLength k = i;
            bool lineFeed = false;
            // Bound: k stops at length.
            while (k < length && (text[k] == ' ' || text[k] == '\n')) {
                lineFeed = lineFeed || text[k] == '\n';
                ++k;
            }
            text[i] = lineFeed ? '\n' : ' ';
            std::fill(text + i + 1, text + k, std::uint8_t{0});
            return k - 1;
        });
    return CompactDeleted(text, length);
}

TextLength TrimAroundBlockTags(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    const std::uint8_t* const end = text + length;
    LayoutCursor regions(text, length);
    // The last tag that shows nothing: the blank between it and the next such tag can go.
    TextLength invisibleEnd = -2;
    // Bound: every round ends at or after i, so i grows; the walk ends at length.
    for (TextLength i = FindByte(text, 0, length, '<'); i < length;) {
        // Only a `<` the pass would act at needs the cursor's answer; most tags are neither, and
        // a region can only start at a byte the preformatted or raw-text tables begin with.
        const std::uint8_t next = i + 1 < length ? text[i + 1] : 0;
        const bool block = IsBlockTag(text + i, end);
        const bool invisible = !block && IsInvisibleTag(text + i, end);
        if (!block && !invisible && !kPreformattedStartBytes[next] && !kRawTextStartBytes[next]) {
            if (i >= length - 1) {
                break;
            }
            i = FindByte(text, i + 1, length, '<');
            continue;
        }
        const TextLength region = regions.Resolve(i);
        TextLength last = i;
        if (region != i) {
            last = region;
            // A TITLE holding markup-like text is kept whole, yet still stands for a block.
            if (regions.SpanBegin() == i && IsBlockTag(text + i, end)) {
                DeleteBefore(text, i, regions.Floor(), IsBlankOrDeleted);
                if (last < length) {
                    last = DeleteAfter(text, last, length, IsBlankOrDeleted);
                }
            }
        } else if (block) {
            DeleteBefore(text, i, regions.Floor(), IsBlankOrDeleted);
            last = i + 1 + TagBodyLength(text + i + 1, end);
            // The walk goes on after the tag rather than inside it: a `<` in a quoted value is
            // not markup, and starting over inside every tag would make a page of unclosed tags
            // cost time quadratic in its length.
            if (last < length) {
                last = DeleteAfter(text, last, length, IsBlankOrDeleted);
            }
        } else if (invisible) {
            last = TrimAroundInvisibleTag(text, i, length, regions, invisibleEnd);
        }
        if (last >= length - 1) {
            break;
        }
        i = FindByte(text, last + 1, length, '<');
    }
    return CompactDeleted(text, length);
}

std::vector<std::pair<TextLength, TextLength>> LayoutProtectedStretches(const std::uint8_t* text,
                                                                        TextLength length) {
    std::vector<std::pair<TextLength, TextLength>> stretches;
    LayoutCursor regions(text, length);
    // Bound: i grows every round.
    for (TextLength i = 0; i < length; ++i) {
        const TextLength last = regions.Resolve(i);
        if (last != i) {
            stretches.emplace_back(i, last);
            i = last;
        }
    }
    return stretches;
}

}  // namespace quillon
