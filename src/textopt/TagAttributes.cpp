#include "textopt/TagAttributes.h"

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
        while (k < limit_ && text_[k] != first) {
            ++k;
        }
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
    TagAttributes attributes(text, from, limit);
    TagAttribute attribute;
    // Bound: every attribute moves the walk forward; it stops at the limit.
    while (attributes.Next(attribute)) {
    }
    return attributes.End();
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
