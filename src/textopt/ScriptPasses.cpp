#include "textopt/ScriptPasses.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <string_view>
#include <utility>

#include "textopt/ByteScan.h"
#include "textopt/Keywords.h"
#include "textopt/ScriptWalker.h"
#include "textopt/TagAttributes.h"
#include "textopt/TagNames.h"
#include "textopt/TagScan.h"
#include "textopt/TagWalk.h"

namespace quillon {
namespace {

constexpr bool IsBlankOrDeleted(std::uint8_t b) {
    return b == 0 || IsDeletableBlank(b);
}

// ---- Which SCRIPT elements hold JavaScript

// The TYPE values under which a browser runs a script as JavaScript (the empty one included).
constexpr auto kJavaScriptTypes = std::to_array<std::string_view>({
    "",
    "TEXT/JAVASCRIPT",
    "APPLICATION/JAVASCRIPT",
    "TEXT/ECMASCRIPT",
    "APPLICATION/ECMASCRIPT",
    "MODULE",
    "TEXT/JAVASCRIPT1.0",
    "TEXT/JAVASCRIPT1.1",
    "TEXT/JAVASCRIPT1.2",
    "TEXT/JAVASCRIPT1.3",
    "TEXT/JAVASCRIPT1.4",
    "TEXT/JAVASCRIPT1.5",
});

enum class ScriptContent {
    kJavaScript,
    kIgnoredBody,  // a JavaScript element with a SRC: browsers run the file, never the body,
                   // but pages read it (loaders evaluate their own element's text, templates)
    kOther,        // another language, a template or data: not ours to touch
};

const std::uint8_t* SkipBlanks(const std::uint8_t* p, const std::uint8_t* end) {
    while (p < end && IsAttributeBlank(*p)) {
        ++p;
    }
    return p;
}

const std::uint8_t* SkipBlanksBack(const std::uint8_t* begin, const std::uint8_t* end) {
    while (end > begin && IsAttributeBlank(end[-1])) {
        --end;
    }
    return end;
}

// LANGUAGE names JavaScript when, after any quotes and blanks, it begins with JAVASCRIPT
// (JavaScript1.2 counts, JScript does not); an `=` with nothing after it names no language.
bool LanguageIsJavaScript(const std::uint8_t* text, const TagAttribute& attribute) {
    if (attribute.quote == 0 && attribute.value == attribute.valueEnd) {
        return true;
    }
    const std::uint8_t* value = text + attribute.value;
    const std::uint8_t* end = text + attribute.valueEnd;
    while (value < end && (IsAttributeBlank(*value) || *value == '"' || *value == '\'')) {
        ++value;
    }
    return StartsWithNoCase(value, end, "JAVASCRIPT");
}

bool TypeIsJavaScript(const std::uint8_t* text, const TagAttribute& attribute) {
    if (!attribute.hasValue) {
        return true;
    }
    const std::uint8_t* value = SkipBlanks(text + attribute.value, text + attribute.valueEnd);
    const std::uint8_t* end = SkipBlanksBack(value, text + attribute.valueEnd);
    for (const std::string_view type : kJavaScriptTypes) {
        if (EqualsNoCase(value, end, type)) {
            return true;
        }
    }
    return false;
}

// Reads the attributes of the SCRIPT tag whose `<` is at lt and whose `>` is at close. Of a
// repeated attribute the first counts, as in a browser.
ScriptContent ClassifyScript(const std::uint8_t* text, TextLength lt, TextLength close) {
    bool languageSeen = false;
    bool typeSeen = false;
    bool sourceSeen = false;
    bool javaScript = true;
    TagAttributes attributes(text, lt + 7, close);
    TagAttribute attribute;
    // Bound: the walk moves forward with every attribute and stops at the tag's `>`.
    while (attributes.Next(attribute)) {
        const std::uint8_t* name = text + attribute.name;
        const std::uint8_t* nameEnd = text + attribute.nameEnd;
        if (!languageSeen && EqualsNoCase(name, nameEnd, "LANGUAGE")) {
            languageSeen = true;
            javaScript =
                javaScript && (!attribute.hasValue || LanguageIsJavaScript(text, attribute));
        } else if (!typeSeen && EqualsNoCase(name, nameEnd, "TYPE")) {
            typeSeen = true;
            javaScript = javaScript && TypeIsJavaScript(text, attribute);
        } else if (EqualsNoCase(name, nameEnd, "SRC")) {
            // Even an empty SRC, or one without a value, keeps a browser from running the body.
            sourceSeen = true;
        }
    }
    if (!javaScript) {
        return ScriptContent::kOther;
    }
    return sourceSeen ? ScriptContent::kIgnoredBody : ScriptContent::kJavaScript;
}

// Deletes the blanks at either end of [begin, end); bytes above 0x7F are text and stay.
void TrimBodyEnds(std::uint8_t* text, TextLength begin, TextLength end) {
    // Bound for both loops: they stop where the two ends meet.
    while (begin < end && IsBlankOrDeleted(text[begin])) {
        text[begin++] = 0;
    }
    while (end > begin && IsBlankOrDeleted(text[end - 1])) {
        text[--end] = 0;
    }
}

// Steps that work on the ends of a script body: the blanks there, the rest of an opening
// `<!--` line and the closing `// -->` line. Returns the range whose comments go next.
std::pair<TextLength, TextLength> TrimScriptEnds(std::uint8_t* text, TextLength begin,
                                                 TextLength end) {
    // Blanks at either end; bytes above 0x7F are text and stay.
    // Bound for both loops: they stop where the two ends meet.
    while (begin < end && IsBlankOrDeleted(text[begin])) {
        text[begin++] = 0;
    }
    // An opening `<!--` hides the script from browsers that predate it; it stays (the HTML
    // parser reads the script differently without it) and the rest of its line goes.
    TextLength walkBegin = begin;
    if (end - begin >= 5 && HasBytes(text, begin, end, "<!--")) {
        walkBegin = FindByte(text, begin + 4, end, '\n');
        if (!HoldsServerSideInclude(text + begin + 4, text + walkBegin, KeywordFit::kWholeOnly)) {
            DeleteRange(text, begin + 4, walkBegin);
        }
    }
    while (end > begin && IsBlankOrDeleted(text[end - 1])) {
        text[--end] = 0;
    }
    // The closing `// -->` keeps its `//` (or the line feed before a bare `-->`); what stands
    // between them and `-->` goes. The comment walk ends before what is kept, so it neither
    // takes the `//` for a comment to delete nor leaves a line comment just before it cut.
    TextLength walkEnd = end;
    if (end - begin >= 5 && HasBytes(text, end - 3, end, "-->")) {
        TextLength k = end - 4;
        // Bound: k falls to begin - 1 at most.
        while (k >= begin && text[k] != '\n' &&
               !(text[k] == '/' && k > begin && text[k - 1] == '/')) {
            --k;
        }
        if (!HoldsServerSideInclude(text + k + 1, text + end - 3, KeywordFit::kWholeOnly)) {
            DeleteRange(text, k + 1, end - 3);
        }
        walkEnd = k < begin ? begin : (text[k] == '\n' ? k : k - 1);
    }
    return {walkBegin, std::max(walkBegin, walkEnd)};
}

}  // namespace

void RemoveScriptComments(std::uint8_t* text, TextLength begin, TextLength end) {
    if (begin < end) {
        const auto [walkBegin, walkEnd] = TrimScriptEnds(text, begin, end);
        WalkScript(text, walkBegin, walkEnd, walkBegin, walkEnd, false);
        // A comment that began or ended the body leaves blanks there.
        TrimBodyEnds(text, begin, end);
    }
}

void TightenScriptOperators(std::uint8_t* text, TextLength begin, TextLength end) {
    if (begin < end) {
        WalkScript(text, begin, end, begin, begin, true);
    }
}

namespace {

// Which SCRIPT elements a walk finds: those the script step works on, or, in a walk that stops
// at no other tag and so takes a third of the time, those and any inside raw-text regions too.
enum class ScriptWalk { kOfThePage, kWithRawText };

// Calls visit(content, body, close) for every SCRIPT element the walk finds, in page order, with
// its body text[body, close).
template <ScriptWalk kWalk, typename Visit>
void ForEachScriptElement(const std::uint8_t* text, TextLength length, Visit visit) {
    const std::uint8_t* const end = text + length;
    // Only a raw-text region or a SCRIPT tag has the walk stop.
    constexpr TagStartBytes kStarts = WithBytes(kRawTextStartBytes, "sS");
    const auto find = [&](TextLength from) {
        return kWalk == ScriptWalk::kOfThePage
                   ? FindTagStart(text, from, length, NextByteIn(text, kStarts))
                   : FindTagStartWithLetter(text, from, length, 's');
    };
    ForEachTagStartFoundBy(length, find, [&](TextLength i) {
        // A script tag inside server-side code or TEXTAREA is text the code prints or the form
        // submits, not a script of this page.
        if (kWalk == ScriptWalk::kOfThePage && MayOpenRawTextAt(text, i, length)) {
            const TextLength region = SkipRawText(i, text, length);
            if (region != i) {
                return region;
            }
        }
        if (i + 1 >= length || AsciiUpper(text[i + 1]) != 'S' || !IsScriptTag(text + i, end)) {
            return i;
        }
        const TextLength openClose = i + 1 + TagBodyLength(text + i + 1, end);
        if (openClose >= length) {
            return length - 1;
        }
        const TextLength body = openClose + 1;
        // However the open tag was spelled, the first `</SCRIPT` ends the body.
        const TextLength close = FindElementClose(text, body, length, "SCRIPT");
        visit(ClassifyScript(text, i, openClose), body, close);
        // The walk goes on after the element: a `<SCRIPT` inside the body (a string given to
        // document.write) is script text, not a further element.
        if (close >= length) {
            return length - 1;
        }
        return std::min(close + 1 + TagBodyLength(text + close + 1, end), length - 1);
    });
}

}  // namespace

void OptimizeScriptBody(std::uint8_t* text, TextLength begin, TextLength end,
                        const PageOptions& options) {
    if (options.removeScriptComments && begin < end) {
        const auto [walkBegin, walkEnd] = TrimScriptEnds(text, begin, end);
        WalkScript(text, begin, end, walkBegin, walkEnd, true);
        TrimBodyEnds(text, begin, end);
    } else {
        TightenScriptOperators(text, begin, end);
    }
}

TextLength OptimizeInlineScripts(std::uint8_t* text, TextLength length,
                                 const PageOptions& options) {
    return OptimizeInlineScripts(text, length, options, nullptr);
}

TextLength OptimizeInlineScripts(std::uint8_t* text, TextLength length, const PageOptions& options,
                                 ScriptBodiesAhead* ahead) {
    if (length <= 0) {
        return 0;
    }
    ForEachScriptElement<ScriptWalk::kOfThePage>(
        text, length, [&](ScriptContent content, TextLength body, TextLength close) {
            switch (content) {
                case ScriptContent::kIgnoredBody:
                    // Only a body of blanks goes: the page's own scripts read any other.
                    if (std::all_of(text + body, text + close, IsBlankOrDeleted)) {
                        DeleteRange(text, body, close);
                    }
                    break;
                case ScriptContent::kJavaScript:
                    if (!ahead || !ahead->TakeResult(text, body, close)) {
                        OptimizeScriptBody(text, body, close, options);
                    }
                    break;
                case ScriptContent::kOther:
                    break;
            }
        });
    return CompactDeleted(text, length);
}

// ---- ScriptBodiesAhead

ScriptBodiesAhead::ScriptBodiesAhead(const std::uint8_t* text, TextLength length,
                                     const PageOptions& options)
    : options_(options) {
    try {
        std::size_t total = 0;
        // The script step takes a result only for a body it finds itself, so the faster walk
        // costs no more than the few bodies it copies from raw-text regions.
        ForEachScriptElement<ScriptWalk::kWithRawText>(
            text, length, [&](ScriptContent content, TextLength body, TextLength close) {
                if (content == ScriptContent::kJavaScript && body < close) {
                    const auto size = static_cast<std::size_t>(close - body);
                    bodies_.push_back({.from = static_cast<std::size_t>(body), .size = size});
                    total += size;
                }
            });
        // The copies are made in one block, and the thread makes its own copy to work on: the
        // copying holds up the chain, the thread does not. Each body's `from`, its place in the
        // page until now, becomes its place in that block.
        originals_.reserve(total);
        for (Body& body : bodies_) {
            const std::uint8_t* const from = text + body.from;
            body.from = originals_.size();
            originals_.insert(originals_.end(), from, from + body.size);
        }
        if (!bodies_.empty()) {
            worker_ = std::thread([this] { WorkOut(); });
        }
    } catch (const std::exception&) {
        // Out of memory or of threads: the script step works every body out itself.
        bodies_.clear();
    }
}

ScriptBodiesAhead::~ScriptBodiesAhead() {
    stop_ = true;
    Finish();
}

void ScriptBodiesAhead::Finish() {
    if (worker_.joinable()) {
        worker_.join();
        // A body the thread did not get to before a stop has no result, and none is taken.
        bodies_.resize(workedOut_);
    }
}

void ScriptBodiesAhead::WorkOut() {
    try {
        results_ = originals_;
    } catch (const std::exception&) {
        return;  // no body worked out, none taken
    }
    for (Body& body : bodies_) {
        if (stop_) {
            return;
        }
        std::uint8_t* const from = results_.data() + body.from;
        OptimizeScriptBody(results_.data(), static_cast<TextLength>(body.from),
                           static_cast<TextLength>(body.from + body.size), options_);
        body.resultSize = static_cast<std::size_t>(std::remove(from, from + body.size, 0) - from);
        ++workedOut_;
    }
}

bool ScriptBodiesAhead::TakeResult(std::uint8_t* text, TextLength begin, TextLength end) {
    Finish();
    const auto size = static_cast<std::size_t>(end - begin);
    const std::size_t last = std::min(bodies_.size(), next_ + kLookAhead);
    for (std::size_t k = next_; k < last; ++k) {
        const Body& body = bodies_[k];
        if (body.size == size &&
            std::memcmp(originals_.data() + body.from, text + begin, size) == 0) {
            std::memcpy(text + begin, results_.data() + body.from, body.resultSize);
            std::memset(text + begin + body.resultSize, 0, size - body.resultSize);
            next_ = k + 1;
            return true;
        }
    }
    return false;
}

}  // namespace quillon
