#include "textopt/TagAttributes.h"

#include <array>

#include "textopt/ByteScan.h"

namespace quillon {

bool TagAttributes::Next(TagAttribute& attribute) {
    // Bound for every loop here: pos_ only grows and stops at limit_.
    while (pos_ < limit_ && (IsAttributeBlank(text_[pos_]) || text_[pos_] == '/')) {
        ++pos_;
    }
    if (pos_ >= limit_ || text_[pos_] == '>') {
        return false;
    }
    attribute = TagAttribute{};
    attribute.name = pos_;
    // A name may begin with `=`; after its first byte it ends at `=`.
    ++pos_;
    while (pos_ < limit_ && !IsAttributeBlank(text_[pos_]) && text_[pos_] != '/' &&
           text_[pos_] != '>' && text_[pos_] != '=') {
        ++pos_;
    }
    attribute.nameEnd = pos_;
    TextLength k = pos_;
    while (k < limit_ && IsAttributeBlank(text_[k])) {
        ++k;
    }
    if (k >= limit_ || text_[k] != '=') {
        attribute.end = attribute.nameEnd;
        return true;
    }
    attribute.hasValue = true;
    ++k;
    while (k < limit_ && IsAttributeBlank(text_[k])) {
        ++k;
    }
    const std::uint8_t first = k < limit_ ? text_[k] : 0;
    if (first == '"' || first == '\'') {
        attribute.quote = first;
        attribute.value = k + 1;
        k = attribute.value;
        k = FindByte(text_, k, limit_, first);
        attribute.valueEnd = k;
        attribute.unterminated = k >= limit_;
        pos_ = attribute.unterminated ? limit_ : k + 1;
    } else {
        attribute.value = k;
        while (k < limit_ && !IsAttributeBlank(text_[k]) && text_[k] != '>') {
            ++k;
        }
        attribute.valueEnd = k;
        pos_ = k;
    }
    attribute.end = pos_;
    return true;
}

namespace {

// What a byte ends in the walk of a tag, one table lookup per byte instead of four compares.
enum TagByte : std::uint8_t {
    kBlank = 1,   // separates attributes (IsAttributeBlank)
    kSlash = 2,   // `/`, stepped over between attributes
    kClose = 4,   // `>`
    kEquals = 8,  // `=`, which ends a name
};

constexpr std::array<std::uint8_t, 256> MakeTagBytes() {
    std::array<std::uint8_t, 256> bytes{};
    for (int b = 0; b < 256; ++b) {
        bytes[static_cast<std::size_t>(b)] =
            IsAttributeBlank(static_cast<std::uint8_t>(b)) ? kBlank : 0;
    }
    bytes['/'] = kSlash;
    bytes['>'] = kClose;
    bytes['='] = kEquals;
    return bytes;
}
constexpr std::array<std::uint8_t, 256> kTagBytes = MakeTagBytes();

// The first index at or after k whose byte is none of `kinds`, or limit.
TextLength SkipTagBytes(const std::uint8_t* text, TextLength k, TextLength limit,
                        std::uint8_t kinds) {
    // Bound: k stops at limit.
    while (k < limit && (kTagBytes[text[k]] & kinds) != 0) {
        ++k;
    }
    return k;
}

// The first index at or after k whose byte is one of `kinds`, or limit.
TextLength FindTagBytes(const std::uint8_t* text, TextLength k, TextLength limit,
                        std::uint8_t kinds) {
    // Bound: k stops at limit.
    while (k < limit && (kTagBytes[text[k]] & kinds) == 0) {
        ++k;
    }
    return k;
}

}  // namespace

TextLength HtmlTagEnd(const std::uint8_t* text, TextLength from, TextLength limit) {
    // Only a quoted value can hold a `>`: a tag with no quote before its first one ends there,
    // found in one scan.
    const TextLength first = FindFirstOfThree(text, from, limit, '>', '"', '\'');
    if (from < limit && (first >= limit || text[first] == '>')) {
        return first;
    }
    // Else the walk of TagAttributes::Next, without recording the attributes.
    TextLength pos = from;
    // Bound: every round moves pos forward, past a name at least; the walk stops at the limit.
    for (;;) {
        pos = SkipTagBytes(text, pos, limit, kBlank | kSlash);
        if (pos >= limit || text[pos] == '>') {
            return pos;
        }
        // A name may begin with `=`.
        pos = FindTagBytes(text, pos + 1, limit, kBlank | kSlash | kClose | kEquals);
        TextLength k = SkipTagBytes(text, pos, limit, kBlank);
        if (k >= limit || text[k] != '=') {
            continue;
        }
        k = SkipTagBytes(text, k + 1, limit, kBlank);
        const std::uint8_t quote = k < limit ? text[k] : 0;
        if (quote == '"' || quote == '\'') {
            const TextLength close = FindByte(text, k + 1, limit, quote);
            pos = close >= limit ? limit : close + 1;
            continue;
        }
        pos = FindTagBytes(text, k, limit, kBlank | kClose);
    }
}

}  // namespace quillon
