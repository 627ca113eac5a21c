#include "textopt/TagAttributes.h"

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

TextLength HtmlTagEnd(const std::uint8_t* text, TextLength from, TextLength limit) {
    // Only a quoted value can hold a `>`: a tag with no quote before its first one ends there,
    // found in one scan.
    const TextLength first = FindFirstOfThree(text, from, limit, '>', '"', '\'');
    if (from < limit && (first >= limit || text[first] == '>')) {
        return first;
    }
    // Else the walk of TagAttributes::Next, without recording the attributes.
    TextLength pos = from;
    const auto skipBlanks = [text, limit](TextLength k) {
        // Bound: k stops at limit.
        while (k < limit && IsAttributeBlank(text[k])) {
            ++k;
        }
        return k;
    };
    // Bound: every round moves pos forward, past a name at least; the walk stops at the limit.
    for (;;) {
        while (pos < limit && (IsAttributeBlank(text[pos]) || text[pos] == '/')) {
            ++pos;
        }
        if (pos >= limit || text[pos] == '>') {
            return pos;
        }
        ++pos;  // a name may begin with `=`
        while (pos < limit && !IsAttributeBlank(text[pos]) && text[pos] != '/' &&
               text[pos] != '>' && text[pos] != '=') {
            ++pos;
        }
        TextLength k = skipBlanks(pos);
        if (k >= limit || text[k] != '=') {
            continue;
        }
        k = skipBlanks(k + 1);
        const std::uint8_t quote = k < limit ? text[k] : 0;
        if (quote == '"' || quote == '\'') {
            const TextLength close = FindByte(text, k + 1, limit, quote);
            pos = close >= limit ? limit : close + 1;
            continue;
        }
        while (k < limit && !IsAttributeBlank(text[k]) && text[k] != '>') {
            ++k;
        }
        pos = k;
    }
}

TextLength TagNameEnd(const std::uint8_t* text, TextLength lt, TextLength limit) {
    TextLength k = lt + 1;
    // Bound: k stops at limit.
    while (k < limit && !IsAttributeBlank(text[k]) && text[k] != '/' && text[k] != '>') {
        ++k;
    }
    return k;
}

}  // namespace quillon
