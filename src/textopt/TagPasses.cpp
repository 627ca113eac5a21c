// Comment removal and the two passes that delete whole tags by name.
#include <algorithm>
#include <array>
#include <string_view>

#include "textopt/Keywords.h"
#include "textopt/OpenElements.h"
#include "textopt/TagAttributes.h"
#include "textopt/TagNames.h"
#include "textopt/TagPasses.h"
#include "textopt/TagScan.h"
#include "textopt/TagWalk.h"

namespace quillon {
namespace {

// ---- RemoveComments

// Comments inside preformatted text, scripts and style sheets are content there (hiding a
// script from old browsers, for one), a `<!--` inside a known tag is part of a value, and in
// server-side code, TITLE or TEXTAREA it is text.
TextLength SkipCommentFreeRegion(TextLength i, const std::uint8_t* text, TextLength length) {
    const TextLength code = SkipServerCode(i, text, length);
    if (code != i) {
        return code;
    }
    // The name is read once for the five classes; the first that has it wins.
    constexpr std::uint8_t kPre = TagClassBit(TagClass::kPreformatted);
    constexpr std::uint8_t kRaw = TagClassBit(TagClass::kRawText);
    constexpr std::uint8_t kScript = TagClassBit(TagClass::kScript);
    constexpr std::uint8_t kStyle = TagClassBit(TagClass::kStyle);
    const std::uint8_t classes = TagClassesOf(
        text + i, text + length, kPre | kRaw | kScript | kStyle | TagClassBit(TagClass::kKnown));
    return (classes & kPre) != 0      ? SkipPreformatted(i, text, length)
           : (classes & kRaw) != 0    ? SkipRawText(i, text, length)
           : (classes & kScript) != 0 ? SkipScriptBlock(i, text, length)
           : (classes & kStyle) != 0  ? SkipStyleBlock(i, text, length)
           : classes != 0             ? SkipKnownTag(i, text, length)
                                      : i;
}

constexpr TagStartBytes kCommentFreeStartBytes =
    StartBytesOf(kPreformattedTagNames, kServerCodeOpeners, kRawTextTagNames, kScriptTagNames,
                 kStyleTagNames, kKnownTagNames);

// Where the name of the tag opened by the `<` at i begins (after the `/` of a close tag), or -1
// when no tag opens there: a browser reads a `<` as a tag only before a letter.
TextLength TagNameStartAt(const std::uint8_t* text, TextLength i, TextLength length) {
    const TextLength name = i + 1 < length && text[i + 1] == '/' ? i + 2 : i + 1;
    return name < length && IsAsciiLetter(text[name]) ? name : -1;
}

bool OpensComment(const std::uint8_t* text, TextLength i, TextLength length) {
    return length - i >= 4 && text[i + 1] == '!' && text[i + 2] == '-' && text[i + 3] == '-';
}

// Index just past the comment whose `<!--` is at i, or length when it is never closed. The
// search starts right after `<!--`, so `<!---->` ends at its own end and never reaches on to
// the next comment over the page text between. Browsers also end a comment at `<!-->`,
// `<!--->` and `--!>`; a search that ran past those would delete text they show.
TextLength CommentEnd(const std::uint8_t* text, TextLength i, TextLength length) {
    const TextLength body = i + 4;
    if (body < length && text[body] == '>') {
        return body + 1;
    }
    if (body + 1 < length && text[body] == '-' && text[body + 1] == '>') {
        return body + 2;
    }
    // Bound: k grows every round and stops at length.
    for (TextLength k = FindByte(text, body, length, '-'); k < length;
         k = FindByte(text, k + 1, length, '-')) {
        if (length - k >= 3 && text[k + 1] == '-' && text[k + 2] == '>') {
            return k + 3;
        }
        if (length - k >= 4 && text[k + 1] == '-' && text[k + 2] == '!' && text[k + 3] == '>') {
            return k + 4;
        }
    }
    return length;
}

// The index of the last `<!--` in the text, or -1.
TextLength LastCommentStart(const std::uint8_t* text, TextLength length) {
    // Bound: k falls every round, by a word where the word holds no `<`, and stops below 0.
    for (TextLength k = length - 4; k >= 0; --k) {
        while (k >= 7 && detail::BytesEqual(detail::LoadWord(text + k - 7), '<') == 0) {
            k -= 8;
        }
        if (k >= 0 && text[k] == '<' && OpensComment(text, k, length)) {
            return k;
        }
    }
    return -1;
}

// ---- RemoveOptionalTags

// The longest entry of the removable-tag list, "<X-CLARIS-TAGVIEW".
constexpr std::size_t kLongestRemovableTag = 17;

constexpr std::uint8_t OptionalTagByte(std::uint8_t b) {
    return b > 0x5A ? static_cast<std::uint8_t>(b - 32) : b;
}

// The removable-tag list as the pass reads it, and the bytes its entries have in their second
// and third places: most tags (`</TD>`, `</A>`, `<IMG`) fail those two tests at once.
struct RemovableTags {
    std::array<std::string_view, 16> entries{};
    std::size_t count = 0;
    std::array<bool, 256> second{};
    std::array<bool, 256> third{};
};

const RemovableTags& Removable() {
    static const RemovableTags tags = [] {
        RemovableTags built;
        for (int number = 1; built.count < built.entries.size(); ++number) {
            const std::string_view entry = GetKeyword(KeywordList::kRemovableTag, number);
            if (entry.empty()) {
                break;
            }
            built.entries[built.count++] = entry;
            built.second[static_cast<unsigned char>(entry[1])] = entry.size() > 1;
            built.third[static_cast<unsigned char>(entry[2])] = entry.size() > 2;
        }
        return built;
    }();
    return tags;
}

// The name runs from the `<` to a space, `>` or deleted byte; a line feed does not end it, so
// `</LI` followed by a line feed is no `</LI` and stays.
bool IsRemovableTag(const std::uint8_t* p, const std::uint8_t* end) {
    const RemovableTags& removable = Removable();
    if (end - p < 3 || !removable.second[OptionalTagByte(p[1])] ||
        !removable.third[OptionalTagByte(p[2])]) {
        return false;
    }
    std::array<char, kLongestRemovableTag + 1> name;
    std::size_t size = 0;
    // Bound: at most one byte more than the longest entry is read.
    for (; p + size < end && size <= kLongestRemovableTag; ++size) {
        const std::uint8_t b = p[size];
        if (b == ' ' || b == '>' || b == 0) {
            break;
        }
        name[size] = static_cast<char>(OptionalTagByte(b));
    }
    if (size > kLongestRemovableTag) {
        return false;
    }
    const std::string_view collected(name.data(), size);
    for (std::size_t k = 0; k < removable.count; ++k) {
        if (removable.entries[k] == collected) {
            return true;
        }
    }
    return false;
}

// What follows a close tag once blanks are passed: the next tag's kind and name.
struct NextToken {
    enum Kind { kEnd, kStartTag, kEndTag, kOther } kind = kOther;
    OpenElements::Name name;
    bool afterBlanks = false;
};

NextToken NextTokenAfter(const std::uint8_t* text, TextLength from, TextLength length) {
    TextLength k = from;
    // Bound: k stops at length.
    while (k < length && IsHtmlBlankOrDeleted(text[k])) {
        ++k;
    }
    const bool afterBlanks = k > from;
    if (k >= length) {
        return {NextToken::kEnd, {}, afterBlanks};
    }
    const TextLength name = text[k] == '<' ? TagNameStartAt(text, k, length) : -1;
    if (name < 0) {
        return {NextToken::kOther, {}, afterBlanks};
    }
    return {text[k + 1] == '/' ? NextToken::kEndTag : NextToken::kStartTag,
            OpenElements::NameAt(text, name, length), afterBlanks};
}

// Whether the parser, given the page without the close tag `</name>`, would close the same
// element at the same place: the next thing after it (blanks aside, which a block does not
// show at its end) is a start or end tag that makes the parser infer the close, and nothing
// opened inside the element would stop that inference or be closed otherwise.
// Names are compared as views: a view's length is compared before its bytes.
bool CloseIsInferred(const OpenElements::Name& element, const OpenElements& open,
                     const NextToken& next) {
    const std::string_view name = element;
    const std::string_view nextName = next.name;
    if (name == "head" || name == "body" || name == "html") {
        // The parser closes the head at whatever belongs to the body, and never closes the
        // body and the page before their end; only blanks and comments could land elsewhere.
        return true;
    }
    if (name == "option") {
        if (!open.TopIs("option")) {
            return false;
        }
        const std::size_t depth = open.Depth();
        return next.kind == NextToken::kEnd ||
               (next.kind == NextToken::kStartTag &&
                (nextName == "option" || nextName == "optgroup")) ||
               (next.kind == NextToken::kEndTag &&
                (nextName == "select" || nextName == "datalist" ||
                 (nextName == "optgroup" && depth >= 2 && open.At(depth - 2) == "optgroup")));
    }
    if (name == "colgroup") {
        // Blanks after it would go into the group without the close tag.
        return open.TopIs("colgroup") && !next.afterBlanks &&
               (next.kind == NextToken::kEnd ||
                (next.kind == NextToken::kStartTag && nextName != "col" &&
                 nextName != "template") ||
                (next.kind == NextToken::kEndTag && nextName != "colgroup"));
    }
    // LI, DD and DT: another item, or the end of their list or of an element around them.
    const std::ptrdiff_t item = open.ItemInScope(element);
    if (item < 0 || open.HasSpecialAbove(static_cast<std::size_t>(item))) {
        return false;
    }
    const bool listItem = name == "li";
    if (next.kind == NextToken::kEnd) {
        return true;
    }
    if (next.kind == NextToken::kStartTag) {
        return listItem ? nextName == "li" : nextName == "dd" || nextName == "dt";
    }
    // The end of the list, or of any element around the item that the end tag reaches.
    return next.kind == NextToken::kEndTag &&
           open.EndTagReachesBelow(next.name, static_cast<std::size_t>(item));
}

// Index of the `>` of the close tag `</name` that ends the raw text opened before `from`, or
// the last index of the text.
TextLength RawTextEnd(const std::uint8_t* text, TextLength from, TextLength length,
                      std::string_view name) {
    // Bound: k grows every round and stops at length.
    for (TextLength k = FindByte(text, from, length, '<'); k < length;
         k = FindByte(text, k + 1, length, '<')) {
        if (k + 1 < length && text[k + 1] == '/' &&
            OpenElements::NameAt(text, k + 2, length).View() == name) {
            const TextLength close = FindByte(text, k, length, '>');
            return std::min(close, length - 1);
        }
    }
    return length - 1;
}

}  // namespace

TextLength RemoveComments(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    // Past the last `<!--` there is nothing to delete, and no region needs finding: many
    // pages have their last comment well before their end, or none at all.
    const TextLength lastComment = LastCommentStart(text, length);
    MarkupDeleter deleter;
    ForEachTagStart(text, length, [text, length, lastComment, &deleter](TextLength i) {
        if (i > lastComment) {
            return length - 1;
        }
        if (OpensComment(text, i, length)) {
            const TextLength end = CommentEnd(text, i, length);
            if (!HoldsServerSideInclude(text + i, text + end, KeywordFit::kCutOffCounts)) {
                deleter.Delete(text, i, end, length);
            }
            return end - 1;
        }
        const bool mayOpenRegion = i + 1 < length && kCommentFreeStartBytes[text[i + 1]];
        const TextLength region = mayOpenRegion ? SkipCommentFreeRegion(i, text, length) : i;
        if (region != i || TagNameStartAt(text, i, length) < 0) {
            return region;
        }
        // In any other tag a `<!--` is part of a name or a value, and its `-->` may be pages
        // away: the tag ends where a browser ends it.
        return std::min(HtmlTagEnd(text, TagNameEnd(text, i, length), length), length - 1);
    });
    return CompactDeleted(text, length);
}

TextLength RemoveOptionalTags(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    const std::uint8_t* const end = text + length;
    // The page is read as the parser reads it, so that each removable close tag is judged by
    // what is open where it stands: a `</LI>` after which the parser would leave the item open
    // (text, a DIV, the end of a list the item is not in) stays.
    OpenElements open;
    MarkupDeleter deleter;
    ForEachTagStart(text, length, [text, length, end, &open, &deleter](TextLength i) {
        if (OpensComment(text, i, length)) {
            return CommentEnd(text, i, length) - 1;
        }
        if (i + 1 >= length) {
            return i;
        }
        if (text[i + 1] == '!' || text[i + 1] == '?') {
            return std::min(FindByte(text, i, length, '>'), length - 1);
        }
        const TextLength nameStart = TagNameStartAt(text, i, length);
        if (nameStart < 0) {
            return i;
        }
        const bool endTag = text[i + 1] == '/';
        const OpenElements::Name name = OpenElements::NameAt(text, nameStart, length);
        const TextLength close = HtmlTagEnd(text, nameStart, length);
        const TextLength last = std::min(close, length - 1);
        if (IsRemovableTag(text + i, end)) {
            // The editor tags are no HTML at all; a close tag goes where the parser infers it.
            const TextLength tagEnd =
                std::min(i + 1 + TagBodyLength(text + i + 1, end), length - 1);
            if (!endTag || CloseIsInferred(name, open, NextTokenAfter(text, tagEnd + 1, length))) {
                deleter.Delete(text, i, tagEnd + 1, length);
            }
            if (endTag) {
                open.End(name);
            }
            return std::max(tagEnd, last);
        }
        if (endTag) {
            open.End(name);
            return last;
        }
        if (open.Start(name, close < length && close > i && text[close - 1] == '/')) {
            // Script, style and the other raw-text bodies hold no tags, whatever they read like.
            return name.View() == "plaintext" ? length - 1
                                              : RawTextEnd(text, last + 1, length, name);
        }
        return last;
    });
    return CompactDeleted(text, length);
}

TextLength RemoveNoopTags(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    const std::uint8_t* const end = text + length;
    // Only a raw-text region or a NOOP tag, open or close, has the pass stop.
    const auto mayMatter = [text, length](TextLength lt) {
        const std::uint8_t next = text[lt + 1];
        const std::uint8_t nameStart = next == '/' && lt + 2 < length ? text[lt + 2] : next;
        return kRawTextStartBytes[next] || (nameStart | 0x20) == 'n';
    };
    MarkupDeleter deleter;
    ForEachTagStartWhere(text, length, mayMatter, [text, length, end, &deleter](TextLength i) {
        // A `<NOOP>` in server-side code, TITLE or TEXTAREA is text.
        if (MayOpenRawTextAt(text, i, length)) {
            const TextLength region = SkipRawText(i, text, length);
            if (region != i) {
                return region;
            }
        }
        const TextLength name = i + 1 < length && text[i + 1] == '/' ? i + 2 : i + 1;
        // Any tag whose name begins so: NOOP is an editor's marker with no meaning of its own.
        if (!StartsWithNoCase(text + name, end, "NOOP")) {
            return i;
        }
        // The tag ends where a browser ends it: a `>` in a quoted value is part of the value.
        const TextLength close = HtmlTagEnd(text, TagNameEnd(text, i, length), length);
        const TextLength last = close < length ? close : length - 1;
        deleter.Delete(text, i, last + 1, length);
        return last;
    });
    return CompactDeleted(text, length);
}

}  // namespace quillon
