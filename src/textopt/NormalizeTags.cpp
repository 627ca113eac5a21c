// NormalizeTags: the inside of every known tag, compacted the way an HTML parser reads it.
#include <algorithm>
#include <array>

#include "textopt/ByteScan.h"
#include "textopt/TagNames.h"
#include "textopt/TagPasses.h"
#include "textopt/TagScan.h"
#include "textopt/TagWalk.h"

namespace quillon {
namespace {

using ByteSet = std::array<bool, 256>;

// Bytes an unquoted value may hold. Both sets leave out what would end or split an unquoted
// value in a browser (blanks, quotes, `=`, `<`, `>`, the backtick) and what some old parsers
// took for one (`_`, `~`, `!`, `*`, `+`, `,`, brackets, bytes above 122).
constexpr ByteSet MakeStrictSet() {
    ByteSet set{};
    for (int b = 0; b < 256; ++b) {
        set[static_cast<std::size_t>(b)] = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                                           (b >= '0' && b <= '9') || b == '.' || b == '-';
    }
    return set;
}

constexpr ByteSet MakeLaxSet() {
    ByteSet set{};
    for (int b = 0; b < 256; ++b) {
        set[static_cast<std::size_t>(b)] = (b >= 35 && b <= 38) || (b >= 45 && b <= 59) ||
                                           (b >= 63 && b <= 90) || (b >= 97 && b <= 122);
    }
    return set;
}

constexpr ByteSet kStrictSet = MakeStrictSet();
constexpr ByteSet kLaxSet = MakeLaxSet();

// What the walk steps over between the parts of a tag: ASCII blanks, control bytes and bytes
// already deleted. Only runs of spaces, line feeds and deleted bytes are compacted; a run holding
// a tab or a form feed is left as it is, and a tag holding another control byte there is left
// alone: a browser reads it as part of a name or value (IsHtmlBlankOrDeleted).
constexpr bool IsTagBlank(std::uint8_t b) {
    return b <= ' ';
}

constexpr bool IsCompactableBlank(std::uint8_t b) {
    return b == ' ' || b == '\n' || b == 0;
}

// What the walk through a tag saw last; it decides what a run of blanks may lose and whether
// an `=` begins a value. A browser reads `<A B=C=D>` as one value `C=D` and `<A =x>` as an
// attribute named `=x`, so only an `=` right after a name (and blanks) begins a value.
enum class Seen { kTagName, kName, kEquals, kValue };

// The changes the walk through one tag decides on, made only once the walk has shown that a
// browser ends the tag where TagBodyLength does. Each rewrites a run of blanks: its first byte
// that is not deleted becomes a space when one blank stays, every other byte is deleted.
class TagEdits {
  public:
    // False when the tag needs more edits than are kept; the tag is then left as it is.
    bool Add(const std::uint8_t* text, TextLength begin, TextLength end, bool keepOne) {
        if (keepOne && end - begin == 1 && text[begin] == ' ') {
            return true;  // a single space between attributes is what stays anyway
        }
        if (count_ == kMaxEdits) {
            return false;
        }
        edits_[count_++] = Edit{begin, end, keepOne};
        return true;
    }

    void Apply(std::uint8_t* text) const {
        for (int k = 0; k < count_; ++k) {
            bool keep = edits_[k].keepOne;
            for (TextLength m = edits_[k].begin; m < edits_[k].end; ++m) {
                if (keep && text[m] != 0) {
                    text[m] = ' ';
                    keep = false;
                } else {
                    text[m] = 0;
                }
            }
        }
    }

  private:
    struct Edit {
        TextLength begin;
        TextLength end;
        bool keepOne;
    };
    static constexpr int kMaxEdits = 32;
    std::array<Edit, kMaxEdits> edits_;
    int count_ = 0;
};

// What PlanTag found: where a browser ends the tag, and whether TagBodyLength might end it
// elsewhere. TagBodyLength also honours parentheses and quotes that open no value, and ends a
// quoted value at `>>`; a tag without any of these ends at the same `>` for both.
struct TagPlan {
    TextLength end = 0;  // the tag's `>`, or the length when it never closes
    bool mayDisagree = false;
    // The edits fitted in TagEdits, and every blank the walk stepped over is one to a browser.
    bool editable = true;
};

constexpr bool OpensNesting(std::uint8_t b) {
    return b == '"' || b == '\'' || b == '(';
}

// Walks the tag from `<` at lt the way a browser reads it and decides on its edits.
TagPlan PlanTag(const std::uint8_t* text, TextLength lt, TextLength length,
                const ByteSet& unquotable, TagEdits& edits) {
    TagPlan plan;
    TextLength k = lt + 1;
    // Bound for every loop here: k only grows and stops at length.
    while (k < length && !IsTagBlank(text[k]) && text[k] != '>') {
        ++k;
    }
    Seen seen = Seen::kTagName;
    // A run of blanks from `from` (whose first byte may be a closing quote turning into a
    // blank) to the next byte that is not one.
    const auto blankRun = [&](TextLength from, TextLength scanFrom) {
        TextLength runEnd = scanFrom;
        bool compactable = true;
        while (runEnd < length && IsTagBlank(text[runEnd])) {
            compactable = compactable && IsCompactableBlank(text[runEnd]);
            plan.editable = plan.editable && IsHtmlBlankOrDeleted(text[runEnd]);
            ++runEnd;
        }
        if (!compactable) {
            // A tab or a form feed stays, and separates as the closing quote did.
            if (from < scanFrom) {
                plan.editable = plan.editable && edits.Add(text, from, scanFrom, false);
            }
        } else {
            const bool beforeBracket = runEnd < length && text[runEnd] == '>';
            const bool aroundEquals =
                seen == Seen::kEquals ||
                (seen == Seen::kName && runEnd < length && text[runEnd] == '=');
            plan.editable =
                plan.editable && edits.Add(text, from, runEnd, !beforeBracket && !aroundEquals);
        }
        return runEnd;
    };
    // A name or an unquoted value, to a blank, `>` or (for a name) `=`.
    const auto word = [&](bool stopAtEquals) {
        while (k < length && !IsTagBlank(text[k]) && text[k] != '>' &&
               !(stopAtEquals && text[k] == '=')) {
            plan.mayDisagree = plan.mayDisagree || OpensNesting(text[k]);
            ++k;
        }
    };
    while (k < length && plan.editable) {
        const std::uint8_t b = text[k];
        if (b == '>') {
            plan.end = k;
            return plan;
        }
        if (IsTagBlank(b)) {
            k = blankRun(k, k);
            continue;
        }
        if (seen == Seen::kEquals) {
            seen = Seen::kValue;
            if (b != '"' && b != '\'') {
                word(false);
                continue;
            }
            // Neither quote is in either set, so the first byte outside the set ends the part
            // that could go unquoted; the rest of a long value (an address, a style) is only
            // searched for its closing quote.
            TextLength close = k + 1;
            while (close < length && unquotable[text[close]]) {
                ++close;
            }
            const bool allowed = close < length && text[close] == b;
            if (!allowed) {
                const TextLength rest = close;
                close = FindByte(text, rest, length, b);
                // `>` is in neither set: only a value that keeps its quotes can hold one.
                plan.mayDisagree = plan.mayDisagree || FindByte(text, rest, close, '>') < close;
            }
            if (close >= length) {
                // The value runs on to the end: a browser reads the rest as the value.
                plan.mayDisagree = true;
                break;
            }
            if (allowed && close > k + 1) {
                // The opening quote goes with the blanks after `=`; the closing one becomes the
                // blank that separates the value from what follows, or goes before a tab.
                plan.editable = plan.editable && edits.Add(text, k, k + 1, false);
                k = blankRun(close, close + 1);
            } else {
                k = close + 1;
            }
            continue;
        }
        if (b == '=' && seen == Seen::kName) {
            seen = Seen::kEquals;
            ++k;
            continue;
        }
        plan.mayDisagree = plan.mayDisagree || OpensNesting(b);
        ++k;
        word(true);
        seen = Seen::kName;
    }
    plan.end = length;
    return plan;
}

}  // namespace

TextLength NormalizeTags(std::uint8_t* text, TextLength length, const PageOptions& options) {
    if (length <= 0) {
        return 0;
    }
    const std::uint8_t* const end = text + length;
    const ByteSet& unquotable = options.quotes == QuoteRule::kLax ? kLaxSet : kStrictSet;
    // Only a known tag or a raw-text region has the pass stop: close tags are passed over.
    constexpr TagStartBytes kStarts =
        StartBytesOf(kKnownTagNames, kRawTextTagNames, kServerCodeOpeners);
    ForEachTagStartWhere(text, length, NextByteIn(text, kStarts), [&](TextLength i) {
        // In server-side code, TITLE or TEXTAREA a tag is text, and stays as written; the open
        // tag of such an element is normalized like any other.
        const TextLength region =
            MayOpenRawTextAt(text, i, length) ? SkipRawText(i, text, length) : i;
        if (region != i && (text[i + 1] == '%' || text[i + 1] == '?')) {
            return region;
        }
        if (!IsKnownTag(text + i, end)) {
            return region;
        }
        // A script's body is script, and a style sheet's is CSS: a tag in one of their strings
        // is text the script writes or the sheet shows.
        const std::string_view body = BodyElementAt(text, i, length);
        TagEdits edits;
        const TagPlan plan = PlanTag(text, i, length, unquotable, edits);
        TextLength close = plan.end;
        if (plan.mayDisagree) {
            // Where a browser would end the tag elsewhere, compacting by TagBodyLength's end
            // would change text outside the tag: such malformed markup is left alone.
            close = i + 1 + TagBodyLength(text + i + 1, end);
        }
        if (close == plan.end && plan.editable) {
            edits.Apply(text);
        }
        if (!body.empty() && close < length) {
            return FindElementClose(text, close + 1, length, body) - 1;
        }
        return std::max(region, close < length ? close : length - 1);
    });
    return CompactDeleted(text, length);
}

}  // namespace quillon
