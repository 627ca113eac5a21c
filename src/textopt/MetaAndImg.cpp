// OptimizeMetaAndImg: META tags nobody reads, and IMG attributes that restate a default.
#include <algorithm>
#include <array>
#include <string_view>

#include "textopt/TagAttributes.h"
#include "textopt/TagNames.h"
#include "textopt/TagPasses.h"
#include "textopt/TagScan.h"
#include "textopt/TagWalk.h"

namespace quillon {
namespace {

// META tags that search engines, browsers, link previews or site owners' verifications act on:
// their NAME values, HTTP-EQUIV values, and any tag with a CHARSET (it decides how the page
// decodes) or a PROPERTY (Open Graph and its kin, read by every link preview).
constexpr auto kKeptMetaNames = std::to_array<std::string_view>(
    {"KEYWORDS", "DESCRIPTION", "ROBOTS", "VIEWPORT", "REFERRER", "VERIFY-V1", "MSVALIDATE.01",
     "P:DOMAIN_VERIFY", "THEME-COLOR", "COLOR-SCHEME", "APPLICATION-NAME", "FORMAT-DETECTION",
     "GOOGLEBOT", "MOBILE-WEB-APP-CAPABLE"});
// Families of NAME values: cards for link previews, home-screen and tile settings.
constexpr auto kKeptMetaNamePrefixes =
    std::to_array<std::string_view>({"TWITTER:", "APPLE-", "MSAPPLICATION-"});
// Verification tokens of search consoles (google-site-verification, yandex-verification, ...).
constexpr std::string_view kKeptMetaNameSuffix = "-VERIFICATION";
constexpr auto kKeptMetaHttpEquivs = std::to_array<std::string_view>(
    {"REFRESH", "CONTENT-TYPE", "CONTENT-SECURITY-POLICY", "X-UA-COMPATIBLE"});

// Attributes page editors add to IMG tags for their own use; a browser ignores them.
constexpr auto kEditorImgAttributePrefixes =
    std::to_array<std::string_view>({"X-SAS-USEIMAGEHEIGHT", "X-SAS-USEIMAGEWIDTH",
                                     "X-CLARIS-USEIMAGEHEIGHT", "X-CLARIS-USEIMAGEWIDTH"});

// ALIGN values that put the image where it sits anyway.
constexpr auto kDefaultImgAlignments =
    std::to_array<std::string_view>({"BOTTOM", "BASELINE", "ABSBOTTOM"});

enum class TagKind { kOther, kImg, kMeta };

constexpr bool MayBeImgOrMeta(std::uint8_t afterBracket) {
    const std::uint8_t upper = AsciiUpper(afterBracket);
    return upper == 'I' || upper == 'M';
}

// The name runs from after the `<` to a space, `>`, line feed or the end, and must be IMG or
// META exactly, in any case.
TagKind KindOf(const std::uint8_t* p, const std::uint8_t* end) {
    constexpr std::ptrdiff_t kLongest = 5;  // the `<` and META
    std::ptrdiff_t n = 1;
    // Bound: n stops one past the longest name.
    while (n < end - p && n <= kLongest && p[n] != ' ' && p[n] != '>' && p[n] != '\n') {
        ++n;
    }
    if (EqualsNoCase(p + 1, p + n, "IMG")) {
        return TagKind::kImg;
    }
    return EqualsNoCase(p + 1, p + n, "META") ? TagKind::kMeta : TagKind::kOther;
}

template <std::size_t N>
bool IsOneOf(const std::uint8_t* p, const std::uint8_t* end,
             const std::array<std::string_view, N>& words) {
    for (const std::string_view word : words) {
        if (EqualsNoCase(p, end, word)) {
            return true;
        }
    }
    return false;
}

bool EndsWithNoCase(const std::uint8_t* p, const std::uint8_t* end, std::string_view word) {
    return end - p >= static_cast<std::ptrdiff_t>(word.size()) &&
           EqualsNoCase(end - word.size(), end, word);
}

bool IsKeptMetaName(const std::uint8_t* value, const std::uint8_t* end) {
    if (IsOneOf(value, end, kKeptMetaNames) || EndsWithNoCase(value, end, kKeptMetaNameSuffix)) {
        return true;
    }
    for (const std::string_view prefix : kKeptMetaNamePrefixes) {
        if (StartsWithNoCase(value, end, prefix)) {
            return true;
        }
    }
    return false;
}

// The attribute's value without blanks at either end, as [begin, end).
struct Span {
    const std::uint8_t* begin;
    const std::uint8_t* end;
};

Span TrimmedValue(const std::uint8_t* text, const TagAttribute& attribute) {
    Span value{text + attribute.value, text + attribute.valueEnd};
    if (!attribute.hasValue) {
        return {value.begin, value.begin};
    }
    while (value.begin < value.end && IsAttributeBlank(*value.begin)) {
        ++value.begin;
    }
    while (value.end > value.begin && IsAttributeBlank(value.end[-1])) {
        --value.end;
    }
    return value;
}

bool KeepsMetaTag(const std::uint8_t* text, TextLength from, TextLength close, MetaTagRule rule) {
    TagAttributes attributes(text, from, close);
    TagAttribute attribute;
    // Bound: the walk moves forward with every attribute and stops at the tag's `>`.
    while (attributes.Next(attribute)) {
        const std::uint8_t* name = text + attribute.name;
        const std::uint8_t* nameEnd = text + attribute.nameEnd;
        const Span value = TrimmedValue(text, attribute);
        const bool isName = EqualsNoCase(name, nameEnd, "NAME");
        if (rule == MetaTagRule::kRemoveGenerator) {
            if (isName && EqualsNoCase(value.begin, value.end, "GENERATOR")) {
                return false;
            }
            continue;
        }
        if (EqualsNoCase(name, nameEnd, "CHARSET") || EqualsNoCase(name, nameEnd, "PROPERTY") ||
            (isName && IsKeptMetaName(value.begin, value.end)) ||
            (EqualsNoCase(name, nameEnd, "HTTP-EQUIV") &&
             IsOneOf(value.begin, value.end, kKeptMetaHttpEquivs))) {
            return true;
        }
    }
    return rule == MetaTagRule::kRemoveGenerator;
}

// Which IMG tags may lose BORDER=0: an image inside a link is drawn with a border unless it
// says 0, and an image map's border is the map's.
class BorderContext {
  public:
    // Whether the image whose tag ends at `close` stands inside a link: scanning on from its `>`,
    // a `</A>` comes before any opening `<A`. Near the end of the text the answer is yes, which
    // keeps the attribute.
    bool InsideLink(const std::uint8_t* text, TextLength close, TextLength length) {
        const TextLength limit = length - 3;
        if (close >= limit) {
            return true;
        }
        // Images are visited in text order, so the anchor found for one image serves every later
        // image before it. A pass deletes only inside IMG and META tags; an anchor it deleted is
        // no longer there and is looked for again.
        if (nextAnchor_ < close || (nextAnchor_ < limit && text[nextAnchor_] != '<')) {
            nextAnchor_ = FindAnchor(text, close, limit, length);
        }
        return nextAnchor_ < limit && text[nextAnchor_ + 1] == '/';
    }

  private:
    // The first `<A` followed by a space or a deleted byte, or `</A>`, at or after `from`.
    static TextLength FindAnchor(const std::uint8_t* text, TextLength from, TextLength limit,
                                 TextLength length) {
        // Bound: k grows every round and stops at limit.
        for (TextLength k = FindByte(text, from, limit, '<'); k < limit;
             k = FindByte(text, k + 1, limit, '<')) {
            const std::uint8_t second = AsciiUpper(text[k + 1]);
            if (second == 'A' && (text[k + 2] == ' ' || text[k + 2] == 0)) {
                return k;
            }
            if (second == '/' && k + 3 < length && AsciiUpper(text[k + 2]) == 'A' &&
                text[k + 3] == '>') {
                return k;
            }
        }
        return limit;
    }

    TextLength nextAnchor_ = -1;
};

bool ContainsNoCase(const std::uint8_t* p, const std::uint8_t* end, std::string_view word) {
    // Bound: p stops where the word no longer fits.
    for (; end - p >= static_cast<std::ptrdiff_t>(word.size()); ++p) {
        if (StartsWithNoCase(p, end, word)) {
            return true;
        }
    }
    return false;
}

bool IsDefaultImgAttribute(const std::uint8_t* text, TextLength lt, TextLength close,
                           TextLength length, const TagAttribute& attribute,
                           BorderContext& borders) {
    const std::uint8_t* name = text + attribute.name;
    const std::uint8_t* nameEnd = text + attribute.nameEnd;
    for (const std::string_view prefix : kEditorImgAttributePrefixes) {
        if (StartsWithNoCase(name, nameEnd, prefix)) {
            return true;
        }
    }
    if (!attribute.hasValue) {
        return false;
    }
    // A value is read from after any run of quotes, as `HSPACE=''0''` was always read.
    const std::uint8_t* value = text + attribute.value;
    const std::uint8_t* valueEnd = text + attribute.valueEnd;
    while (value < valueEnd && (*value == '"' || *value == '\'')) {
        ++value;
    }
    const bool zero = value < valueEnd && *value == '0';
    if (EqualsNoCase(name, nameEnd, "HSPACE") || EqualsNoCase(name, nameEnd, "VSPACE")) {
        return zero;
    }
    if (EqualsNoCase(name, nameEnd, "NATURALSIZEFLAG")) {
        return true;
    }
    if (EqualsNoCase(name, nameEnd, "ALIGN")) {
        for (const std::string_view alignment : kDefaultImgAlignments) {
            if (StartsWithNoCase(value, valueEnd, alignment)) {
                return true;
            }
        }
        return false;
    }
    if (EqualsNoCase(name, nameEnd, "BORDER") && zero) {
        return !ContainsNoCase(text + lt, text + close, "USEMAP") &&
               !ContainsNoCase(text + lt, text + close, "ISMAP") &&
               !borders.InsideLink(text, close, length);
    }
    return false;
}

// Whether an attribute after `attribute` has its name. A browser takes the first of the two, so
// deleting the first would give the tag the later one's value.
bool NamedAgainLater(const std::uint8_t* text, const TagAttribute& attribute, TextLength close) {
    TagAttributes later(text, attribute.end, close);
    TagAttribute other;
    // Bound: the walk moves forward with every attribute and stops at the tag's `>`.
    while (later.Next(other)) {
        if (std::equal(text + other.name, text + other.nameEnd, text + attribute.name,
                       text + attribute.nameEnd, [](std::uint8_t a, std::uint8_t b) {
                           return AsciiUpper(a) == AsciiUpper(b);
                       })) {
            return true;
        }
    }
    return false;
}

void ApplyImgRule(std::uint8_t* text, TextLength lt, TextLength close, TextLength length,
                  BorderContext& borders) {
    TagAttributes attributes(text, lt + 4, close);
    TagAttribute attribute;
    // Bound: the walk moves forward with every attribute and stops at the tag's `>`.
    while (attributes.Next(attribute)) {
        if (IsDefaultImgAttribute(text, lt, close, length, attribute, borders) &&
            !NamedAgainLater(text, attribute, close)) {
            // The blanks around it are NormalizeTags' to remove.
            DeleteRange(text, attribute.name, attribute.end);
        }
    }
}

}  // namespace

TextLength OptimizeMetaAndImg(std::uint8_t* text, TextLength length, const PageOptions& options) {
    if (length <= 0) {
        return 0;
    }
    const std::uint8_t* const end = text + length;
    BorderContext borders;
    MarkupDeleter deleter;
    // Only a raw-text region, a SCRIPT or STYLE tag or an IMG or META tag has the pass stop.
    constexpr TagStartBytes kStarts = WithBytes(kRawTextStartBytes, "iImMsS");
    ForEachTagStartWhere(text, length, NextByteIn(text, kStarts), [&](TextLength i) {
        // Server-side code, TEXTAREA and TITLE hold text that only looks like tags: a form
        // submits it, code prints it.
        if (MayOpenRawTextAt(text, i, length)) {
            const TextLength region = SkipRawText(i, text, length);
            if (region != i) {
                return region;
            }
        }
        // So do scripts and style sheets: a tag in one of their strings is text a script
        // writes or a sheet shows, and deleting one may even join the text around it into the
        // close tag that ends the body.
        if (const std::string_view body = BodyElementAt(text, i, length); !body.empty()) {
            const TextLength openEnd = i + 1 + TagBodyLength(text + i + 1, end);
            return openEnd < length ? FindElementClose(text, openEnd + 1, length, body) - 1
                                    : length - 1;
        }
        if (i + 1 >= length || !MayBeImgOrMeta(text[i + 1])) {
            return i;
        }
        const TagKind kind = KindOf(text + i, end);
        if (kind == TagKind::kOther) {
            return i;
        }
        const TextLength close = i + 1 + TagBodyLength(text + i + 1, end);
        const TextLength last = close < length ? close : length - 1;
        const TextLength nameEnd = i + (kind == TagKind::kImg ? 4 : 5);
        const TextLength limit = close < length ? close + 1 : length;
        // Where a browser would end the tag elsewhere, deleting by this end would cut into text.
        if (HtmlTagEnd(text, nameEnd, limit) != std::min(close, length)) {
            return last;
        }
        if (kind == TagKind::kImg) {
            ApplyImgRule(text, i, std::min(close, length), length, borders);
        } else if (options.metaTags != MetaTagRule::kKeepAll &&
                   !KeepsMetaTag(text, nameEnd, std::min(close, length), options.metaTags)) {
            deleter.Delete(text, i, last + 1, length);
        }
        return last;
    });
    return CompactDeleted(text, length);
}

}  // namespace quillon
