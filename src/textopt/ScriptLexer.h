// Splits the body of an inline script into the pieces the script passes must tell apart: code,
// string and template literals, regular-expression literals and comments. A pass that deleted a
// `//` inside a string, or blanks inside a regular expression, would change what the script does,
// so the lexer follows JavaScript's own rules for where these begin and end, as far as one
// forward walk can know them.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string_view>

#include "textopt/ByteScan.h"

#include "textopt/TextBuffer.h"

namespace quillon {

enum class ScriptTokenKind : std::uint8_t {
    kEnd,
    kBlank,       // a run of spaces, control bytes and deleted bytes
    kWord,        // an identifier, keyword or number
    kPunctuator,  // one byte of an operator or bracket, or `++` / `--`
    kString,      // a quoted string, or a piece of a template literal (`...${ or }...`)
    kRegex,       // a regular-expression literal with its flags
    kLineComment,
    kBlockComment,
    kHtmlComment,  // `<!--` anywhere, or `-->` at the start of a line, to the line's end
};

// The positions come first: returned in two registers, they then fill one and the kind and flag
// the other, and reading a field back never straddles two stores (which stalls the load).
struct ScriptToken {
    TextLength begin = 0;  // first byte
    TextLength end = 0;    // one past the last byte; a line comment stops before its line feed
    ScriptTokenKind kind = ScriptTokenKind::kEnd;
    // The token came where an operand had just ended (after a name, a literal, `)` or `]`):
    // there a `/` divides and `++` is postfix.
    bool afterOperand = false;
};

class ScriptLexer {
  public:
    // Lexes text[begin, end); bytes outside are never read.
    ScriptLexer(const std::uint8_t* text, TextLength begin, TextLength end);

    // The next token; valid until the next call. It lives in the lexer rather than travelling
    // back by value: a returned token is assembled in memory piece by piece and read back whole,
    // and that read stalls on every token.
    const ScriptToken& Next();

    // The next string, template piece or regular-expression literal, or the end: for a caller
    // that only leaves literals alone, the tokens between cost no round trip each.
    const ScriptToken& NextLiteral();

    // Continues after a region the caller dealt with itself, as after a comment.
    void SkipTo(TextLength position);

  private:
    void Lex();
    TextLength BlankRunEnd(TextLength begin);
    void Make(ScriptTokenKind kind, TextLength begin, TextLength end);
    void Quoted(TextLength begin);
    void TemplatePiece(TextLength begin, TextLength from);
    void RegexOrSlash(TextLength begin);
    void Word(TextLength begin);
    void Punctuator(TextLength begin);
    TextLength LineEnd(TextLength from) const;

    const std::uint8_t* text_;
    TextLength pos_;
    TextLength end_;
    bool operandEnded_ = false;     // the last code token ended an operand
    bool lineStart_ = true;         // nothing but blanks and comments since the last line feed
    bool afterDot_ = false;         // the last code token was `.`, so a word is a property name
    TextLength noRegexBefore_ = 0;  // where the last regular expression that never closed ended
    ScriptToken token_;             // the token Next() returned last

    // Template literals nest through `${ ... }`: for each open one, the `{` depth inside its
    // current expression. Deeper nesting than this is left untouched as one string.
    static constexpr int kMaxTemplateDepth = 16;
    std::array<std::uint16_t, kMaxTemplateDepth> templateBraces_{};
    int templateDepth_ = 0;
};

// Bytes of a JavaScript name or number; bytes above 0x7F are parts of Unicode names.
constexpr std::array<bool, 256> MakeScriptWordBytes() {
    std::array<bool, 256> word{};
    for (int b = 0; b < 256; ++b) {
        word[static_cast<std::size_t>(b)] = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                                            (b >= '0' && b <= '9') || b == '_' || b == '$' ||
                                            b == '\\' || b >= 0x80;
    }
    return word;
}
inline constexpr std::array<bool, 256> kScriptWordBytes = MakeScriptWordBytes();

constexpr bool IsScriptWordByte(std::uint8_t b) {
    return kScriptWordBytes[b];
}

// Spaces, control bytes and deleted bytes.
constexpr bool IsScriptBlank(std::uint8_t b) {
    return b <= 32;
}

// ---- Implementation, in the header so that a pass's token loop inlines the lexer.

namespace script_detail {

// Bytes after which an expression begins, so that a `/` there opens a regular expression.
constexpr std::array<bool, 256> MakeExpressionStarters() {
    std::array<bool, 256> starters{};
    for (const char c : std::string_view("(,=:[!&|?{};+-*%<>~^")) {
        starters[static_cast<unsigned char>(c)] = true;
    }
    return starters;
}
inline constexpr std::array<bool, 256> kExpressionStarters = MakeExpressionStarters();

// Words after which an expression begins.
inline constexpr std::string_view kExpressionKeywords[] = {
    "return", "typeof", "case", "do",    "else",  "in",    "of",
    "new",    "delete", "void", "throw", "yield", "await",
};

constexpr std::array<bool, 256> MakeKeywordStarts() {
    std::array<bool, 256> starts{};
    for (const std::string_view word : kExpressionKeywords) {
        starts[static_cast<unsigned char>(word[0])] = true;
    }
    return starts;
}
inline constexpr std::array<bool, 256> kKeywordStarts = MakeKeywordStarts();

// What a byte can begin, so that the lexer tests each byte against one table.
enum class ByteClass : std::uint8_t {
    kBlank,
    kWord,
    kQuote,
    kBacktick,
    kSlash,
    kLess,
    kMinus,
    kCloseBrace,
    kOther,
};

constexpr std::array<ByteClass, 256> MakeByteClasses() {
    std::array<ByteClass, 256> classes{};
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        ByteClass& c = classes[static_cast<std::size_t>(b)];
        c = IsScriptBlank(byte)      ? ByteClass::kBlank
            : IsScriptWordByte(byte) ? ByteClass::kWord
                                     : ByteClass::kOther;
    }
    classes['\''] = ByteClass::kQuote;
    classes['"'] = ByteClass::kQuote;
    classes['`'] = ByteClass::kBacktick;
    classes['/'] = ByteClass::kSlash;
    classes['<'] = ByteClass::kLess;
    classes['-'] = ByteClass::kMinus;
    classes['}'] = ByteClass::kCloseBrace;
    return classes;
}
inline constexpr std::array<ByteClass, 256> kByteClasses = MakeByteClasses();

inline bool IsExpressionKeyword(const std::uint8_t* p, std::size_t size) {
    // Most words are names: the first byte and the length turn nearly all of them away.
    if (size < 2 || size > 6 || !kKeywordStarts[p[0]]) {
        return false;
    }
    const std::string_view word(reinterpret_cast<const char*>(p), size);
    for (const std::string_view keyword : kExpressionKeywords) {
        if (keyword == word) {
            return true;
        }
    }
    return false;
}

}  // namespace script_detail

inline ScriptLexer::ScriptLexer(const std::uint8_t* text, TextLength begin, TextLength end)
    : text_(text), pos_(begin), end_(std::max(begin, end)) {}

inline void ScriptLexer::SkipTo(TextLength position) {
    pos_ = std::clamp(position, pos_, end_);
}

inline TextLength ScriptLexer::LineEnd(TextLength from) const {
    return FindByte(text_, std::min(from, end_), end_, '\n');
}

inline void ScriptLexer::Make(ScriptTokenKind kind, TextLength begin, TextLength end) {
    pos_ = std::min(end, end_);
    token_.begin = begin;
    token_.end = pos_;
    token_.kind = kind;
}

inline const ScriptToken& ScriptLexer::Next() {
    token_.afterOperand = operandEnded_;
    if (pos_ >= end_) {
        token_.begin = end_;
        token_.end = end_;
        token_.kind = ScriptTokenKind::kEnd;
    } else {
        Lex();
    }
    return token_;
}

inline const ScriptToken& ScriptLexer::NextLiteral() {
    // Bound: every token moves pos_ forward.
    while (pos_ < end_) {
        Lex();
        if (token_.kind == ScriptTokenKind::kString || token_.kind == ScriptTokenKind::kRegex) {
            return token_;
        }
    }
    return Next();
}

inline void ScriptLexer::Lex() {
    const TextLength begin = pos_;
    const std::uint8_t b = text_[begin];
    // Read only by the few classes that look ahead: most tokens are words and blanks.
    const auto next = [this, begin] {
        return begin + 1 < end_ ? text_[begin + 1] : std::uint8_t{0};
    };
    switch (script_detail::kByteClasses[b]) {
        case script_detail::ByteClass::kBlank: {
            const TextLength k = BlankRunEnd(begin);
            return Make(ScriptTokenKind::kBlank, begin, k);
        }
        case script_detail::ByteClass::kWord:
            lineStart_ = false;
            return Word(begin);
        case script_detail::ByteClass::kQuote:
            lineStart_ = false;
            return Quoted(begin);
        case script_detail::ByteClass::kBacktick:
            lineStart_ = false;
            return TemplatePiece(begin, begin + 1);
        case script_detail::ByteClass::kSlash:
            if (next() == '/') {
                return Make(ScriptTokenKind::kLineComment, begin, LineEnd(begin + 2));
            }
            if (next() == '*') {
                TextLength k = begin + 2;
                // Bound: k grows every round and stops at end_.
                while (k < end_ && !(text_[k - 1] == '*' && text_[k] == '/' && k > begin + 2)) {
                    lineStart_ = lineStart_ || text_[k] == '\n';
                    ++k;
                }
                return Make(ScriptTokenKind::kBlockComment, begin, k + 1);
            }
            lineStart_ = false;
            return RegexOrSlash(begin);
        case script_detail::ByteClass::kLess:
            // `<!--` comments out the rest of its line anywhere in a classic script.
            if (end_ - begin >= 4 && next() == '!' && text_[begin + 2] == '-' &&
                text_[begin + 3] == '-') {
                return Make(ScriptTokenKind::kHtmlComment, begin, LineEnd(begin + 3));
            }
            break;
        case script_detail::ByteClass::kMinus:
            // `-->` does so at the start of a line.
            if (lineStart_ && end_ - begin >= 3 && next() == '-' && text_[begin + 2] == '>') {
                return Make(ScriptTokenKind::kHtmlComment, begin, LineEnd(begin + 3));
            }
            break;
        case script_detail::ByteClass::kCloseBrace:
            if (templateDepth_ > 0 && templateBraces_[templateDepth_ - 1] == 0) {
                lineStart_ = false;
                return TemplatePiece(begin, begin + 1);
            }
            break;
        case script_detail::ByteClass::kOther:
            break;
    }
    lineStart_ = false;
    return Punctuator(begin);
}

// Indentation makes long runs of blanks, which are stepped over a word at a time.
inline TextLength ScriptLexer::BlankRunEnd(TextLength begin) {
    TextLength k = begin;
    // Bound: k grows every round and stops at end_.
    while (end_ - k >= 8) {
        const std::uint64_t word = detail::LoadWord(text_ + k);
        // 0x80 in every byte above 32: bytes below 0x80 reach it by adding 95, the others have it.
        const std::uint64_t printable =
            (((word & detail::kLow7Bits) + detail::kEveryByte * 95) | word) & ~detail::kLow7Bits;
        const std::uint64_t lineFeeds = detail::BytesEqual(word, '\n');
        if (printable == 0) {
            lineStart_ = lineStart_ || lineFeeds != 0;
            k += 8;
            continue;
        }
        const int blanks = detail::FirstMarkedByte(printable);
        // Line feeds among the blanks before the first printable byte.
        const std::uint64_t before =
            std::endian::native == std::endian::little
                ? (blanks == 0 ? 0 : lineFeeds & (~std::uint64_t{0} >> (64 - 8 * blanks)))
                : (blanks == 0 ? 0 : lineFeeds & (~std::uint64_t{0} << (64 - 8 * blanks)));
        lineStart_ = lineStart_ || before != 0;
        return k + blanks;
    }
    while (k < end_ && IsScriptBlank(text_[k])) {
        lineStart_ = lineStart_ || text_[k] == '\n';
        ++k;
    }
    return k;
}

inline void ScriptLexer::Quoted(TextLength begin) {
    const std::uint8_t quote = text_[begin];
    TextLength k = begin + 1;
    // A string cannot hold a bare line feed: one that never closes ends at the line's end, so a
    // stray quote (in a regular expression the lexer did not recognise) misleads one line only.
    // The bytes between are found sixteen at a time. Bound: k grows every round and stops at
    // end_.
    while (k < end_) {
        k = FindFirstOfThree(text_, k, end_, quote, '\\', '\n');
        if (k >= end_ || text_[k] == '\n') {
            break;
        }
        if (text_[k] == quote) {
            ++k;
            break;
        }
        k += 2;  // an escape and the byte it escapes
    }
    operandEnded_ = true;
    afterDot_ = false;
    return Make(ScriptTokenKind::kString, begin, k);
}

// A piece of a template literal from `from` (after its opening backtick or the `}` that ends an
// embedded expression) to its closing backtick or the next `${`.
inline void ScriptLexer::TemplatePiece(TextLength begin, TextLength from) {
    const bool continues = text_[begin] == '}';
    afterDot_ = false;
    TextLength k = from;
    // Bound: k grows every round and stops at end_.
    while (k < end_) {
        const std::uint8_t c = text_[k];
        if (c == '\\') {
            k += 2;
            continue;
        }
        if (c == '`') {
            if (continues) {
                --templateDepth_;
            }
            operandEnded_ = true;
            return Make(ScriptTokenKind::kString, begin, k + 1);
        }
        if (c == '$' && k + 1 < end_ && text_[k + 1] == '{') {
            if (!continues) {
                if (templateDepth_ == kMaxTemplateDepth) {
                    return Make(ScriptTokenKind::kString, begin, end_);
                }
                ++templateDepth_;
            }
            templateBraces_[templateDepth_ - 1] = 0;
            operandEnded_ = false;
            return Make(ScriptTokenKind::kString, begin, k + 2);
        }
        ++k;
    }
    return Make(ScriptTokenKind::kString, begin, end_);
}

inline void ScriptLexer::RegexOrSlash(TextLength begin) {
    // A `/` on the rest of a line where a regular expression was looked for and never closed
    // is taken for a division: looking again from every such `/` would make a long line of
    // them cost time quadratic in its length.
    if (operandEnded_ || begin < noRegexBefore_) {
        return Punctuator(begin);
    }
    bool inClass = false;
    TextLength k = begin + 1;
    // Bound: k grows every round and stops at end_ or a line feed.
    while (k < end_) {
        const std::uint8_t c = text_[k];
        if (c == '\n' || (c == '\\' && k + 1 < end_ && text_[k + 1] == '\n')) {
            break;
        }
        if (c == '\\') {
            k += 2;
            continue;
        }
        if (c == '[') {
            inClass = true;
        } else if (c == ']') {
            inClass = false;
        } else if (c == '/' && !inClass) {
            ++k;
            while (k < end_ && IsScriptWordByte(text_[k])) {
                ++k;
            }
            operandEnded_ = true;
            afterDot_ = false;
            return Make(ScriptTokenKind::kRegex, begin, k);
        }
        ++k;
    }
    // A regular expression never spans lines: this `/` was something else.
    noRegexBefore_ = k;
    return Punctuator(begin);
}

inline void ScriptLexer::Word(TextLength begin) {
    TextLength k = begin;
    // Bound: k stops at end_.
    while (k < end_ && IsScriptWordByte(text_[k])) {
        ++k;
    }
    const bool keyword = !afterDot_ && script_detail::IsExpressionKeyword(
                                           text_ + begin, static_cast<std::size_t>(k - begin));
    operandEnded_ = !keyword;
    afterDot_ = false;
    return Make(ScriptTokenKind::kWord, begin, k);
}

inline void ScriptLexer::Punctuator(TextLength begin) {
    const std::uint8_t b = text_[begin];
    afterDot_ = b == '.';
    if ((b == '+' || b == '-') && begin + 1 < end_ && text_[begin + 1] == b) {
        // `++` and `--` leave the operand state as they found it: prefix before an operand,
        // postfix after one.
        return Make(ScriptTokenKind::kPunctuator, begin, begin + 2);
    }
    if (templateDepth_ > 0) {
        std::uint16_t& braces = templateBraces_[templateDepth_ - 1];
        if (b == '{') {
            ++braces;
        } else if (b == '}' && braces > 0) {
            --braces;
        }
    }
    operandEnded_ = !script_detail::kExpressionStarters[b];
    return Make(ScriptTokenKind::kPunctuator, begin, begin + 1);
}

}  // namespace quillon
