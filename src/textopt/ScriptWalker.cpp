#include "textopt/ScriptWalker.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>

#include "textopt/ByteScan.h"
#include "textopt/Keywords.h"
#include "textopt/ScriptLexer.h"
#include "textopt/TagWalk.h"

namespace quillon {
namespace {

// Deletes the comment `comment` of the range [begin, end). A comment separates what stands on
// either side as a blank does (`a/**/b` is not `ab`), and one that holds a line break ends a
// statement where a line feed would (`return /*` LF `*/ x` returns nothing); so where the
// neighbours need it, a blank of the same kind stays in its place.
void DeleteBlockComment(std::uint8_t* text, TextLength begin, TextLength end,
                        const ScriptToken& comment) {
    const auto size = static_cast<std::size_t>(comment.end - comment.begin);
    const bool spansLines = std::memchr(text + comment.begin, '\n', size) != nullptr;
    TextLength before = comment.begin - 1;
    // Bound: before falls to begin - 1 at most.
    while (before >= begin && text[before] == 0) {
        --before;
    }
    const std::uint8_t left = before >= begin ? text[before] : '\n';
    const std::uint8_t right = comment.end < end ? text[comment.end] : '\n';
    DeleteRange(text, comment.begin, comment.end);
    if (spansLines && left != '\n' && right != '\n') {
        text[comment.begin] = '\n';
    } else if (!IsScriptBlank(left) && !IsScriptBlank(right)) {
        text[comment.begin] = ' ';
    }
}

// Index just past the `-->` that closes the `<!--` at `at`, or `end`.
TextLength HtmlCommentEnd(const std::uint8_t* text, TextLength at, TextLength end) {
    // Bound: k grows every round and stops at end.
    for (TextLength k = FindByte(text, at + 4, end, '-'); k < end;
         k = FindByte(text, k + 1, end, '-')) {
        if (HasBytes(text, k, end, "-->")) {
            return k + 3;
        }
    }
    return end;
}

// ---- The walk through a script body

bool IsWord(const std::uint8_t* text, const ScriptToken& token, std::string_view word) {
    return token.kind == ScriptTokenKind::kWord &&
           static_cast<std::size_t>(token.end - token.begin) == word.size() &&
           std::memcmp(text + token.begin, word.data(), word.size()) == 0;
}

template <std::size_t N>
bool IsOneOfWords(const std::uint8_t* text, const ScriptToken& token,
                  const std::array<std::string_view, N>& words) {
    for (const std::string_view word : words) {
        if (IsWord(text, token, word)) {
            return true;
        }
    }
    return false;
}

// A line feed after these ends the statement: `return` LF `(x)` returns nothing.
constexpr auto kRestrictedWords =
    std::to_array<std::string_view>({"return", "throw", "break", "continue", "yield"});
// Words a block may follow directly.
constexpr auto kBlockWords = std::to_array<std::string_view>({"else", "do", "try", "finally"});
// Words whose `(...)` is followed by a block, never by a new statement.
constexpr auto kHeaderWords =
    std::to_array<std::string_view>({"if", "for", "while", "with", "switch", "catch", "function"});

// One walk through a script body that deletes the comments in [commentsBegin, commentsEnd)
// and, when asked, the blanks around operators. Doing both in one walk reads the body once; the
// result is what deleting the comments first and then tightening gives.
class ScriptWalker {
  public:
    ScriptWalker(std::uint8_t* text, TextLength begin, TextLength end, TextLength commentsBegin,
                 TextLength commentsEnd, bool tighten)
        : text_(text),
          begin_(begin),
          end_(end),
          commentsBegin_(commentsBegin),
          commentsEnd_(commentsEnd),
          tighten_(tighten),
          floor_(begin) {}

    void Run() {
        ScriptLexer lexer(text_, begin_, end_);
        // Bound: every token moves the lexer forward; it stops at end_.
        for (const ScriptToken* next = &lexer.Next(); next->kind != ScriptTokenKind::kEnd;
             next = &lexer.Next()) {
            const ScriptToken& token = *next;
            switch (token.kind) {
                case ScriptTokenKind::kBlank:
                    break;
                case ScriptTokenKind::kLineComment:
                    if (RemovesComment(token)) {
                        // The line feed stays, and keeps the statements on either side apart.
                        DeleteRange(text_, token.begin, std::min(token.end, commentsEnd_));
                        AfterDeletedComment();
                    } else {
                        KeepComment(token.end + 1);  // with the line feed that ends it
                    }
                    break;
                case ScriptTokenKind::kBlockComment:
                    if (RemovesComment(token)) {
                        DeleteBlockComment(text_, commentsBegin_, commentsEnd_,
                                           {.begin = token.begin,
                                            .end = std::min(token.end, commentsEnd_),
                                            .kind = token.kind});
                        AfterDeletedComment();
                    } else {
                        KeepComment(token.end);
                    }
                    break;
                case ScriptTokenKind::kHtmlComment:
                    if (text_[token.begin] == '<' && RemovesComment(token)) {
                        // JavaScript ends a `<!--` comment at its line's end; the web server
                        // reads on to `-->`, and a directive in that span must reach it whole.
                        // A directive later on the same line would go with the line.
                        const TextLength close = std::max(NextHtmlCommentEnd(token.begin),
                                                          std::min(token.end, commentsEnd_));
                        if (HoldsServerSideInclude(text_ + token.begin, text_ + close,
                                                   KeywordFit::kCutOffCounts)) {
                            lexer.SkipTo(close);
                            KeepComment(close);
                        } else {
                            DeleteRange(text_, token.begin, std::min(token.end, commentsEnd_));
                            AfterDeletedComment();
                        }
                    } else {
                        KeepComment(token.end + 1);
                    }
                    break;
                case ScriptTokenKind::kPunctuator:
                    pendingAfter_ = {};
                    if (tighten_) {
                        Operator(token);
                    }
                    Remember(token);
                    break;
                case ScriptTokenKind::kWord:
                    pendingAfter_ = {};
                    Remember(token);
                    break;
                default:
                    // Strings and regular expressions are copied as they are.
                    pendingAfter_ = {};
                    floor_ = token.end;
                    Remember(token);
                    break;
            }
        }
    }

  private:
    // Index just past the `-->` that closes the `<!--` at `at`, or commentsEnd_. The last one
    // found serves every `<!--` before it, so a body of many unclosed `<!--` is searched once.
    TextLength NextHtmlCommentEnd(TextLength at) {
        if (htmlCommentEnd_ == kNoHtmlCommentEnd) {
            return commentsEnd_;
        }
        if (htmlCommentEnd_ < at + 7 || !HasBytes(text_, htmlCommentEnd_ - 3, end_, "-->")) {
            htmlCommentEnd_ = HtmlCommentEnd(text_, at, commentsEnd_);
            if (htmlCommentEnd_ == commentsEnd_) {
                htmlCommentEnd_ = kNoHtmlCommentEnd;
            }
        }
        return htmlCommentEnd_ == kNoHtmlCommentEnd ? commentsEnd_ : htmlCommentEnd_;
    }

    bool RemovesComment(const ScriptToken& token) const {
        return token.begin >= commentsBegin_ && token.begin < commentsEnd_;
    }

    // A comment that stays: nothing before `floor` may be deleted, and an operator before it has
    // no more blanks to lose.
    void KeepComment(TextLength floor) {
        floor_ = floor;
        pendingAfter_ = {};
    }

    // An operator whose blanks after it stopped at this comment loses the blanks the comment
    // leaves, as if the comment had been gone before the operator was seen.
    void AfterDeletedComment() {
        if (pendingAfter_.active) {
            DeleteAfter(pendingAfter_);
        }
    }

    // The run of blanks after an operator: deleted from `from`, looked at up to `scanned`. A
    // run that a comment interrupted is looked at again from where the last look stopped, so
    // a row of comments after one operator costs time linear in their length.
    struct PendingAfter {
        bool active = false;
        TextLength from = 0;
        TextLength scanned = 0;
        bool sawLineFeed = false;
        bool lineFeeds = false;
        std::uint8_t op = 0;
    };

    // The blanks after an operator, deleted now and again after a comment that follows is gone.
    void After(TextLength from, bool lineFeeds, std::uint8_t op) {
        pendingAfter_ = PendingAfter{true, from, from, false, lineFeeds, op};
        DeleteAfter(pendingAfter_);
    }

    struct Previous {
        ScriptToken token;
        bool closesHeader = false;  // a `)` whose `(` followed if, for, while, ... or function
    };

    void Remember(const ScriptToken& token) {
        bool closesHeader = false;
        if (token.kind == ScriptTokenKind::kPunctuator && token.end - token.begin == 1) {
            const std::uint8_t b = text_[token.begin];
            if (b == '(') {
                const bool header = IsOneOfWords(text_, Last().token, kHeaderWords) ||
                                    (Last().token.kind == ScriptTokenKind::kWord &&
                                     IsWord(text_, BeforeLast().token, "function"));
                if (parenDepth_ < static_cast<int>(parenHeaders_.size())) {
                    parenHeaders_[static_cast<std::size_t>(parenDepth_)] = header;
                }
                ++parenDepth_;
            } else if (b == ')' && parenDepth_ > 0) {
                --parenDepth_;
                closesHeader = parenDepth_ < static_cast<int>(parenHeaders_.size()) &&
                               parenHeaders_[static_cast<std::size_t>(parenDepth_)];
            }
        }
        // The older entry is overwritten in place rather than the newer one copied over it.
        latest_ ^= 1;
        recent_[latest_].token = token;
        recent_[latest_].closesHeader = closesHeader;
    }

    bool PreviousIs(std::string_view bytes) const {
        const ScriptToken& token = Last().token;
        return token.kind == ScriptTokenKind::kPunctuator &&
               static_cast<std::size_t>(token.end - token.begin) == bytes.size() &&
               std::memcmp(text_ + token.begin, bytes.data(), bytes.size()) == 0;
    }

    // Whether a line break between the previous token and the operator `op` can end a
    // statement, so that deleting it would change the script.
    bool LineBreakMatters(std::uint8_t op) const {
        const ScriptToken& token = Last().token;
        if (IsOneOfWords(text_, token, kRestrictedWords)) {
            return true;
        }
        const bool postfix = (PreviousIs("++") || PreviousIs("--")) && token.afterOperand;
        if (op == '(') {
            return postfix;
        }
        if (op != '{') {
            return false;
        }
        // `x = 1` LF `{ ... }` is two statements; `if (a)` LF `{` one.
        if (token.kind == ScriptTokenKind::kEnd) {
            return false;
        }
        if (token.kind == ScriptTokenKind::kWord) {
            return !IsOneOfWords(text_, token, kBlockWords);
        }
        if (token.kind != ScriptTokenKind::kPunctuator) {
            return true;
        }
        if (PreviousIs(")")) {
            return !Last().closesHeader;
        }
        return postfix || PreviousIs("]") || PreviousIs("}");
    }

    // Whether deleting the blanks between `left` and the bytes at `right` would spell another
    // token, for JavaScript (`a - -b`, `a + ++b`, `a / /re/`) or for the HTML parser that reads
    // the script first (`<!--`, `</`, `-->`, `<script`).
    bool WouldJoin(std::uint8_t left, TextLength right) const {
        const std::uint8_t r = text_[right];
        if ((left == '+' || left == '-') && r == left) {
            return true;
        }
        if ((left == '-' && r == '>') || (left == '/' && (r == '/' || r == '*'))) {
            return true;
        }
        return left == '<' &&
               (r == '!' || r == '/' || StartsWithNoCase(text_ + right, text_ + end_, "SCRIPT"));
    }

    bool StartsHtmlCloseComment(TextLength k) const { return HasBytes(text_, k, end_, "-->"); }

    // Deletes the blanks directly before the operator starting at `at`.
    void DeleteBefore(TextLength at, bool lineFeeds, std::uint8_t op) {
        const TextLength low = std::max(begin_, floor_);
        TextLength k = at - 1;
        bool sawLineFeed = false;
        // Bound: k falls to low - 1 at most.
        while (k >= low && (text_[k] == ' ' || text_[k] == 0 || (lineFeeds && text_[k] == '\n'))) {
            sawLineFeed = sawLineFeed || text_[k] == '\n';
            --k;
        }
        if (k + 1 == at || (sawLineFeed && LineBreakMatters(op))) {
            return;
        }
        if (k >= begin_ && WouldJoin(text_[k], at)) {
            return;
        }
        DeleteRange(text_, k + 1, at);
    }

    // Deletes the blanks directly after an operator.
    void DeleteAfter(PendingAfter& run) {
        TextLength k = run.scanned;
        // Bound: k stops at end_.
        while (k < end_ &&
               (text_[k] == ' ' || text_[k] == 0 || (run.lineFeeds && text_[k] == '\n'))) {
            run.sawLineFeed = run.sawLineFeed || text_[k] == '\n';
            ++k;
        }
        run.scanned = k;
        if (k == run.from || (k < end_ && WouldJoin(run.op, k))) {
            return;
        }
        // `-->` is a comment only at the start of a line.
        if (run.sawLineFeed && StartsHtmlCloseComment(k)) {
            return;
        }
        DeleteRange(text_, run.from, k);
        run.from = k;
    }

    void Operator(const ScriptToken& token) {
        const std::uint8_t b = text_[token.begin];
        const bool pair = token.end - token.begin == 2;
        switch (b) {
            case '(':
            case ',':
            case '=':
            case '<':
            case '>':
            case '{':
            case '|':
            case '*':
            case '?':
            case ':':
            case '/':
            case ';':
                DeleteBefore(token.begin, true, b);
                After(token.end, true, b);
                break;
            case '-':
                // The first `-` of `--` only: the byte after it is the second.
                if (token.begin == begin_ || text_[token.begin - 1] != '-') {
                    DeleteBefore(token.begin, false, b);
                    if (!pair) {
                        After(token.end, false, b);
                    }
                }
                break;
            case '+':
            case '}':
                DeleteBefore(token.begin, false, b);
                After(token.end, false, b);
                break;
            default:
                break;
        }
    }

    std::uint8_t* text_;
    TextLength begin_;
    TextLength end_;
    TextLength commentsBegin_;
    TextLength commentsEnd_;
    bool tighten_;
    TextLength floor_;  // blanks below this index are never deleted
    PendingAfter pendingAfter_;
    // Just past the last `-->` found, or kNoHtmlCommentEnd when none is left in the range.
    static constexpr TextLength kNoHtmlCommentEnd = std::numeric_limits<TextLength>::max();
    TextLength htmlCommentEnd_ = -1;
    // The last two tokens that are neither blank nor comment: Last() and BeforeLast().
    const Previous& Last() const { return recent_[latest_]; }
    const Previous& BeforeLast() const { return recent_[latest_ ^ 1]; }
    std::array<Previous, 2> recent_{};
    std::size_t latest_ = 0;
    std::array<bool, 64> parenHeaders_{};
    int parenDepth_ = 0;
};

}  // namespace

void WalkScript(std::uint8_t* text, TextLength begin, TextLength end, TextLength commentsBegin,
                TextLength commentsEnd, bool tighten) {
    if (begin < end) {
        ScriptWalker(text, begin, end, commentsBegin, commentsEnd, tighten).Run();
    }
}

}  // namespace quillon
