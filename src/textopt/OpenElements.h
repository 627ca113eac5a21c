// The elements a browser's HTML parser holds open at a point of a page, kept as the page is
// read from its start, so that a pass can tell whether a close tag it may drop would be
// inferred by the parser at the same place. Only what that decision needs is modelled: the
// implied closes of items, paragraphs, options and table parts, the scopes end tags cannot
// reach past, and the elements an item start does not look past.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "textopt/TextBuffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

class OpenElements {
  public:
    // The longest name kept; longer names are kept cut, which only makes unknown elements
    // match one another.
    static constexpr std::size_t kMaxName = 16;

    // A tag's name, lower-cased, as the parser reads it: from after `<` or `</` to a blank, `/`
    // or `>`. Held in place rather than in a string: every tag of a page has one.
    class Name {
      public:
        // A name as written in a table here (lower case, at most kMaxName bytes).
        static Name Of(std::string_view written) {
            Name name;
            name.size_ = static_cast<std::uint8_t>(std::min(written.size(), kMaxName));
            std::copy_n(written.begin(), name.size_, name.bytes_.begin());
            return name;
        }

        std::string_view View() const { return {bytes_.data(), size_}; }
        operator std::string_view() const { return View(); }  // NOLINT: a name reads as text

        // The unused bytes are 0, so two names compare as two words each: no call.
        friend bool operator==(const Name& a, const Name& b) {
            return a.size_ == b.size_ && a.Word(0) == b.Word(0) && a.Word(1) == b.Word(1);
        }

      private:
        friend class OpenElements;
        static_assert(kMaxName == 2 * sizeof(std::uint64_t));

        std::uint64_t Word(std::size_t k) const {
            std::uint64_t word;
            std::memcpy(&word, bytes_.data() + k * sizeof word, sizeof word);
            return word;
        }

        std::array<char, kMaxName> bytes_{};
        std::uint8_t size_ = 0;
    };

    static Name NameAt(const std::uint8_t* text, TextLength from, TextLength limit) {
        Name name;
#if defined(__SSE2__)
        // Every tag has a name to read: sixteen bytes are read and lower-cased at once.
        if (limit - from >= static_cast<TextLength>(kMaxName)) {
            static_assert(kMaxName == 16);
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + from));
            const auto atMost = [&bytes](char b) {
                return _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(b)), bytes);
            };
            const auto atLeast = [&bytes](char b) {
                return _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(b)), bytes);
            };
            const __m128i stops =
                _mm_or_si128(atMost(' '), _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('/')),
                                                       _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>'))));
            const unsigned stopBits = static_cast<unsigned>(_mm_movemask_epi8(stops)) | 0x10000u;
            name.size_ = static_cast<std::uint8_t>(std::countr_zero(stopBits));
            const __m128i upper = _mm_and_si128(atLeast('A'), atMost('Z'));
            const __m128i lowered = _mm_add_epi8(bytes, _mm_and_si128(upper, _mm_set1_epi8(32)));
            const __m128i kept =
                _mm_cmplt_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                               _mm_set1_epi8(static_cast<char>(name.size_)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(name.bytes_.data()),
                             _mm_and_si128(lowered, kept));
            return name;
        }
#endif
        // Bound: k stops at the limit, and the name at kMaxName bytes.
        for (TextLength k = from; k < limit && name.size_ < kMaxName; ++k) {
            const std::uint8_t b = text[k];
            if (b <= ' ' || b == '/' || b == '>') {
                break;
            }
            name.bytes_[name.size_++] = static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
        }
        return name;
    }

    // Returns whether the element holds raw text (script, style, ...): no tags until its close.
    bool Start(const Name& element, bool selfClosing) {
        const Classes classes = ClassesOf(element);
        if ((classes & kItem) != 0) {
            CloseItemFor(classes & kItem);
        }
        if ((classes & (kClosesParagraph | kHeading)) != 0) {
            ClosePastParagraph();
        }
        if ((classes & kHeading) != 0 && !stack_.empty() && stack_.back().Is(kHeading)) {
            stack_.pop_back();
        }
        if ((classes & (kOption | kOptgroup)) != 0) {
            if (!stack_.empty() && stack_.back().Is(kOption)) {
                stack_.pop_back();
            }
            if ((classes & kOptgroup) != 0 && !stack_.empty() && stack_.back().Is(kOptgroup) &&
                HasAny(kSelect)) {
                stack_.pop_back();
            }
        }
        if ((classes & kCell) != 0) {
            CloseCell();
        } else if ((classes & kRow) != 0) {
            ClearBackTo(kRowContext);
        } else if ((classes & kTableSection) != 0) {
            ClearBackTo(kTableContext);
        }
        if ((classes & kVoid) == 0 && !(selfClosing && InForeignContent())) {
            stack_.push_back(Entry{element, classes});
        }
        return (classes & kRawText) != 0;
    }

    void End(const Name& element) {
        const Classes classes = ClassesOf(element);
        if ((classes & kKeepsBodyOpen) != 0) {
            return;  // neither pops anything: what follows still goes into the body
        }
        if ((classes & kParagraph) != 0) {
            ClosePastParagraph();
            return;
        }
        const bool formatting = (classes & kFormatting) != 0;
        const bool special = (classes & (kSpecial | kHeading)) != 0;
        // Bound: k falls to 0.
        for (std::size_t k = stack_.size(); k-- > 0;) {
            if (stack_[k].name == element) {
                if (formatting && HasSpecialAbove(k)) {
                    // The parser re-parents what was opened since; the special element stays open.
                    stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(k));
                } else {
                    stack_.resize(k);
                }
                return;
            }
            if (stack_[k].Is(kScopeBoundary) ||
                (!special && !formatting && stack_[k].IsSpecial())) {
                return;  // out of reach: the parser ignores the end tag
            }
        }
    }

    // The depth of the innermost open `name` that an end tag could close (in list-item scope
    // for items), or -1.
    std::ptrdiff_t ItemInScope(const Name& element) const {
        const bool item = element.View() == "li";
        // Bound: k falls to 0.
        for (std::size_t k = stack_.size(); k-- > 0;) {
            if (stack_[k].name == element) {
                return static_cast<std::ptrdiff_t>(k);
            }
            if (stack_[k].Is(kScopeBoundary) ||
                (item && (stack_[k] == "ul" || stack_[k] == "ol"))) {
                return -1;
            }
        }
        return -1;
    }

    // Whether a special element other than ADDRESS, DIV and P is open inside depth k: an item
    // start would stop there instead of closing the item.
    bool HasSpecialAbove(std::size_t k) const {
        return std::any_of(stack_.begin() + static_cast<std::ptrdiff_t>(k) + 1, stack_.end(),
                           [](const Entry& open) { return open.StopsItemClose(); });
    }

    // Whether the end tag `</name>` would close, among others, the element at depth `below`:
    // the parser generates the implied end tags (items, paragraphs, options) on the way down to
    // a special element it finds in scope; any other end tag stops at the first special one.
    bool EndTagReachesBelow(const Name& element, std::size_t below) const {
        const std::string_view name = element;
        if (!IsSpecial(element) || name == "body" || name == "html") {
            return false;
        }
        // Bound: k falls to 0.
        for (std::size_t k = stack_.size(); k-- > 0;) {
            if (stack_[k].name == element) {
                return k < below;
            }
            if (stack_[k].Is(kScopeBoundary)) {
                return false;
            }
        }
        return false;
    }

    std::string_view At(std::size_t k) const {
        return stack_[k].name;
    }
    std::size_t Depth() const {
        return stack_.size();
    }
    bool TopIs(std::string_view name) const {
        return !stack_.empty() && stack_.back() == name;
    }

  private:
    // What the parser makes of an element, by name: looked up once per tag in one table instead
    // of comparing the name with every entry of six lists, which cost the pass most of its time.
    // Besides the parser's own lists, the names Start and End act on are classes too, so that a
    // tag costs one lookup rather than a string comparison per name.
    using Classes = std::uint32_t;
    enum : Classes {
        kRawText = 1U << 0,
        kVoid = 1U << 1,
        kFormatting = 1U << 2,
        kScopeBoundary = 1U << 3,
        kSpecial = 1U << 4,
        kClosesParagraph = 1U << 5,
        kHeading = 1U << 6,
        kListItem = 1U << 7,        // LI
        kDefinitionItem = 1U << 8,  // DD and DT, which close each other
        kItem = kListItem | kDefinitionItem,
        kItemTransparent = 1U << 9,  // ADDRESS, DIV and P: an item start looks past them
        kOption = 1U << 10,
        kOptgroup = 1U << 11,
        kSelect = 1U << 12,
        kCell = 1U << 13,          // TD and TH
        kRow = 1U << 14,           // TR
        kTableSection = 1U << 15,  // what a start clears the stack back to a table for
        kRowContext = 1U << 16,    // what a row start clears the stack back to
        kTableContext = 1U << 17,  // what a cell or section start stops at
        kTable = 1U << 18,
        kParagraph = 1U << 19,
        kButton = 1U << 20,
        kKeepsBodyOpen = 1U << 21,  // BODY, HTML and BR, whose end tags pop nothing
    };

    // An open element with what its name makes it, found once when it is opened: the walks down
    // the stack then test bits instead of looking names up.
    struct Entry {
        Name name;
        Classes classes = 0;

        bool operator==(std::string_view other) const { return name.View() == other; }
        bool Is(Classes flag) const { return (classes & flag) != 0; }
        bool IsSpecial() const { return (classes & (kSpecial | kHeading)) != 0; }
        // A special element other than ADDRESS, DIV and P.
        bool StopsItemClose() const { return IsSpecial() && !Is(kItemTransparent); }
    };

    // Every name with its classes, in an open-addressed table at most a quarter full: a name is
    // found (or known absent, which probes on to an empty slot) in a probe or two.
    struct ClassSlot {
        Name name;  // size 0: an empty slot
        Classes flags = 0;
    };
    static constexpr std::size_t kClassSlots = 512;
    using ClassTable = std::array<ClassSlot, kClassSlots>;

    static std::size_t SlotOf(const Name& name) {
        const std::uint64_t mixed = (name.Word(0) * 0x9E3779B97F4A7C15ULL) ^
                                    (name.Word(1) * 0xC2B2AE3D27D4EB4FULL) ^ name.size_;
        // The top bits, as many as index a slot.
        return static_cast<std::size_t>(mixed >> (64 - std::bit_width(kClassSlots - 1)));
    }

    static Classes ClassesOf(const Name& name) {
        static const ClassTable table = [] {
            ClassTable classes;
            const auto add = [&classes](Classes flag,
                                        std::initializer_list<std::string_view> names) {
                for (const std::string_view entry : names) {
                    const Name written = Name::Of(entry);
                    std::size_t slot = SlotOf(written);
                    // Bound: the table is never full, so the probe meets an empty slot.
                    while (classes[slot].name.size_ != 0 && !(classes[slot].name == written)) {
                        slot = (slot + 1) % kClassSlots;
                    }
                    classes[slot].name = written;
                    classes[slot].flags |= flag;
                }
            };
            add(kRawText, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed",
                           "noframes", "plaintext"});
            add(kVoid, {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr",
                        "image", "img", "input", "keygen", "link", "meta", "param", "source",
                        "track", "wbr"});
            add(kFormatting, {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small",
                              "strike", "strong", "tt", "u"});
            add(kScopeBoundary, {"applet", "caption", "html", "table", "td", "th", "marquee",
                                 "object", "template", "svg", "math"});
            add(kSpecial,
                {"address", "applet",  "article",  "aside",     "blockquote", "body",
                 "button",  "caption", "center",   "colgroup",  "dd",         "details",
                 "dir",     "div",     "dl",       "dt",        "fieldset",   "figcaption",
                 "figure",  "footer",  "form",     "frameset",  "head",       "header",
                 "hgroup",  "html",    "iframe",   "li",        "listing",    "main",
                 "marquee", "menu",    "nav",      "noembed",   "noframes",   "noscript",
                 "object",  "ol",      "p",        "plaintext", "pre",        "script",
                 "search",  "section", "select",   "style",     "summary",    "table",
                 "tbody",   "td",      "template", "textarea",  "tfoot",      "th",
                 "thead",   "title",   "tr",       "ul",        "xmp"});
            add(kClosesParagraph,
                {"address",   "article", "aside",   "blockquote", "center",     "details", "dialog",
                 "dir",       "div",     "dl",      "fieldset",   "figcaption", "figure",  "footer",
                 "header",    "hgroup",  "main",    "menu",       "nav",        "ol",      "p",
                 "search",    "section", "summary", "ul",         "pre",        "listing", "form",
                 "plaintext", "xmp",     "table",   "hr",         "li",         "dd",      "dt"});
            add(kHeading, {"h1", "h2", "h3", "h4", "h5", "h6"});
            add(kListItem, {"li"});
            add(kDefinitionItem, {"dd", "dt"});
            add(kItemTransparent, {"address", "div", "p"});
            add(kOption, {"option"});
            add(kOptgroup, {"optgroup"});
            add(kSelect, {"select"});
            add(kCell, {"td", "th"});
            add(kRow, {"tr"});
            add(kTableSection, {"tbody", "thead", "tfoot", "caption", "colgroup"});
            add(kRowContext, {"tbody", "thead", "tfoot", "table", "template", "html"});
            add(kTableContext, {"table", "template", "html"});
            add(kTable, {"table"});
            add(kParagraph, {"p"});
            add(kButton, {"button"});
            add(kKeepsBodyOpen, {"body", "html", "br"});
            return classes;
        }();
        if (name.size_ == 0) {
            return 0;
        }
        // Bound: the table is never full, so the probe meets an empty slot.
        for (std::size_t slot = SlotOf(name);; slot = (slot + 1) % kClassSlots) {
            const ClassSlot& known = table[slot];
            if (known.name.size_ == 0) {
                return 0;
            }
            if (known.name == name) {
                return known.flags;
            }
        }
    }

    static bool IsSpecial(const Name& name) {
        return (ClassesOf(name) & (kSpecial | kHeading)) != 0;
    }

    bool Has(std::string_view name) const {
        return std::find(stack_.begin(), stack_.end(), name) != stack_.end();
    }

    bool HasAny(Classes flag) const {
        return std::any_of(stack_.begin(), stack_.end(),
                           [flag](const Entry& open) { return open.Is(flag); });
    }

    bool InForeignContent() const {
        return Has("svg") || Has("math");
    }

    // An item start closes the open item of its kind (`kind`: kListItem or kDefinitionItem)
    // unless a special element stands between.
    void CloseItemFor(Classes kind) {
        // Bound: k falls to 0.
        for (std::size_t k = stack_.size(); k-- > 0;) {
            const Entry& open = stack_[k];
            if (open.Is(kind)) {
                stack_.resize(k);
                return;
            }
            if (open.StopsItemClose()) {
                return;
            }
        }
    }

    // Closes an open P in button scope.
    void ClosePastParagraph() {
        // Bound: k falls to 0.
        for (std::size_t k = stack_.size(); k-- > 0;) {
            if (stack_[k].Is(kParagraph)) {
                stack_.resize(k);
                return;
            }
            if (stack_[k].Is(kScopeBoundary | kButton)) {
                return;
            }
        }
    }

    void CloseCell() {
        // Bound: k falls to 0.
        for (std::size_t k = stack_.size(); k-- > 0;) {
            if (stack_[k].Is(kCell)) {
                stack_.resize(k);
                return;
            }
            if (stack_[k].Is(kTableContext)) {
                return;
            }
        }
    }

    // Pops down to the innermost element of the `context` class.
    void ClearBackTo(Classes context) {
        if (!HasAny(kTable)) {
            return;  // outside a table the parser ignores these tags
        }
        // Bound: every round pops one element.
        while (!stack_.empty() && !stack_.back().Is(context)) {
            stack_.pop_back();
        }
    }

    std::vector<Entry> stack_;
};

}  // namespace quillon
