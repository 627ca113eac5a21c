// The tag-name tables behind the classifiers of TagScan.h, and the rule by which a tag's name is
// read from the text. Names are upper case and written without their `<`.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quillon {

enum class TagClass { kPreformatted, kRawText, kScript, kStyle, kKnown, kBlock, kInvisible };

// Elements whose text keeps its exact layout: a browser shows (or, for TEXTAREA, submits) every
// blank of it. NOOP is an editor's marker whose content pages have always kept as written.
inline constexpr auto kPreformattedTagNames =
    std::to_array<std::string_view>({"PRE", "XMP", "PLAINTEXT", "NOOP", "LISTING", "TEXTAREA"});

// Elements whose content a browser reads as plain text: a `<!--` or a tag in there is text, so
// no pass may take it for markup.
inline constexpr auto kRawTextTagNames = std::to_array<std::string_view>(
    {"TEXTAREA", "TITLE", "XMP", "PLAINTEXT", "IFRAME", "NOEMBED", "NOFRAMES"});

// The bytes after `<` that open server-side code (`<% ... %>`, `<? ... ?>`): the server runs it
// before any browser sees the page, so it is no markup and stays byte for byte. Listed like the
// tag names so that the start-byte tables below can include them.
inline constexpr auto kServerCodeOpeners = std::to_array<std::string_view>({"%", "?"});
inline constexpr auto kScriptTagNames = std::to_array<std::string_view>({"SCRIPT"});
inline constexpr auto kStyleTagNames = std::to_array<std::string_view>({"STYLE"});

// Tags whose inside some passes skip or normalize. EMBEDED is spelled so on purpose and EMBED is
// absent: pages have always been processed with this table.
inline constexpr auto kKnownTagNames = std::to_array<std::string_view>(
    {"A",         "B",         "BR",       "DL",       "FN",       "H1",       "H2",
     "H3",        "H4",        "H5",       "H6",       "HR",       "LI",       "OL",
     "TD",        "TH",        "TR",       "UL",       "COL",      "DIR",      "DIV",
     "IMG",       "MAP",       "PRE",      "AREA",     "BASE",     "BODY",     "FONT",
     "FORM",      "LINK",      "META",     "SPAN",     "FRAME",    "INPUT",    "LAYER",
     "STYLE",     "TABLE",     "APPLET",   "IFRAME",   "ILAYER",   "KEYGEN",   "OPTION",
     "SCRIPT",    "SELECT",    "SPACER",   "BGSOUND",  "CAPTION",  "EMBEDED",  "ISINDEX",
     "MARQUEE",   "SIDEBAR",   "BASEFONT", "COLGROUP", "FRAMESET", "MULTICOL", "TEXTAREA",
     "LIMITTEXT", "AUDIOSCOPE"});

// Tags a browser starts or ends a block at, so that the layout whitespace around them renders
// nothing. TH, /TH, /LI, /DD and /DT are deliberately absent.
inline constexpr auto kBlockTagNames = std::to_array<std::string_view>(
    {"P",        "BR",        "DD",         "DL",         "DT",       "H1",       "H2",
     "H3",       "H4",        "H5",         "H6",         "HR",       "LI",       "OL",
     "TD",       "TR",        "UL",         "/P",         "COL",      "DIR",      "DIV",
     "/DL",      "/H1",       "/H2",        "/H3",        "/H4",      "/H5",      "/H6",
     "/OL",      "/TD",       "/TR",        "/UL",        "BODY",     "FORM",     "HEAD",
     "HTML",     "MENU",      "/DIR",       "/DIV",       "FRAME",    "TABLE",    "TITLE",
     "/BODY",    "/FORM",     "/HEAD",      "/HTML",      "/MENU",    "OPTION",   "/FRAME",
     "/TABLE",   "/TITLE",    "CAPTION",    "/OPTION",    "COLGROUP", "FRAMESET", "!DOCTYPE",
     "/CAPTION", "/FRAMESET", "BLOCKQUOTE", "/BLOCKQUOTE"});

// Tags that show nothing and break no line: the blanks on both sides of them collapse into one
// in a browser, so one blank between two of them (or between one and the start or end of the
// text, or a block tag) can go, but the blank that parts text from them stays. Tags that render
// inline (SELECT, IFRAME, APPLET, KEYGEN, NOSCRIPT, MAP, and the names today's browsers do not
// know, which they show as inline text: LAYER, MULTICOL, SERVER, COMMENT, ...) are in neither
// table: the one blank beside them renders.
inline constexpr auto kInvisibleTagNames = std::to_array<std::string_view>(
    {"SCRIPT", "/SCRIPT", "META", "LINK", "BASE", "/BASE", "AREA", "/AREA", "PARAM", "BASEFONT",
     "BGSOUND", "NOEMBED", "/NOEMBED", "NOFRAMES", "/NOFRAMES"});

// How many bytes, the `<` included, a classifier collects before it cuts the name off.
constexpr int MaxTagNameCount(TagClass tagClass) {
    return tagClass == TagClass::kKnown || tagClass == TagClass::kBlock ||
                   tagClass == TagClass::kInvisible
               ? 15
               : 11;
}

// Tag names compare without regard to case by moving 0x5B-0x7F down by 32. Only lower-case
// letters land on letters, and letters are all the tables hold, so the odd mappings of the other
// bytes (`{` to `[`, `^` to `>`) can never make a table entry match.
constexpr std::uint8_t UpperCasedTagByte(std::uint8_t b) {
    return b >= 0x5B && b <= 0x7F ? static_cast<std::uint8_t>(b - 32) : b;
}

// Where a tag's name ends: as in a browser, but for `/` and the carriage return (line ends are
// normalized first).
constexpr bool EndsTagName(std::uint8_t b) {
    return b == ' ' || b == '>' || b == '\n' || b == '\t' || b == '\f';
}

// The bytes that, found right after a `<`, can begin a name of one of the given tables (as
// written, before upper-casing). Every other `<` is turned away without reading its name.
using TagStartBytes = std::array<bool, 256>;

template <std::size_t... N>
constexpr TagStartBytes StartBytesOf(const std::array<std::string_view, N>&... tables) {
    TagStartBytes starts{};
    const auto mark = [&starts](const auto& names) {
        for (int b = 0; b < 256; ++b) {
            const auto upper = static_cast<char>(UpperCasedTagByte(static_cast<std::uint8_t>(b)));
            for (const std::string_view name : names) {
                starts[static_cast<std::size_t>(b)] |= !name.empty() && name[0] == upper;
            }
        }
    };
    (mark(tables), ...);
    return starts;
}

// `starts` with `bytes` added.
constexpr TagStartBytes WithBytes(TagStartBytes starts, std::string_view bytes) {
    for (const char b : bytes) {
        starts[static_cast<unsigned char>(b)] = true;
    }
    return starts;
}

// Server-side code counts as a preformatted region too (see SkipPreformatted).
inline constexpr TagStartBytes kPreformattedStartBytes =
    StartBytesOf(kPreformattedTagNames, kServerCodeOpeners);
inline constexpr TagStartBytes kRawTextStartBytes =
    StartBytesOf(kRawTextTagNames, kServerCodeOpeners);

// The second bytes of a table's names, either case: most tags that begin like a preformatted or
// raw-text name (P, TD, TABLE, LINK, IMG) are turned away by them before their name is read.
// Every name of those tables is three letters or more.
template <std::size_t N>
constexpr TagStartBytes SecondBytesOf(const std::array<std::string_view, N>& names) {
    TagStartBytes second{};
    for (const std::string_view name : names) {
        const auto b = static_cast<std::uint8_t>(name[1]);
        second[b] = true;
        second[b | 0x20] = true;
    }
    return second;
}
inline constexpr TagStartBytes kPreformattedSecondBytes = SecondBytesOf(kPreformattedTagNames);
inline constexpr TagStartBytes kRawTextSecondBytes = SecondBytesOf(kRawTextTagNames);

// Whether the third byte after a `<` continues a name of the table that begins with the first
// two (every name there has three letters or more), compared as the classifiers compare.
template <std::size_t N>
constexpr bool ThirdByteFits(const std::array<std::string_view, N>& names, std::uint8_t next,
                             std::uint8_t second, std::uint8_t third) {
    for (const std::string_view name : names) {
        if (static_cast<std::uint8_t>(name[0]) == UpperCasedTagByte(next) &&
            static_cast<std::uint8_t>(name[1]) == UpperCasedTagByte(second) &&
            static_cast<std::uint8_t>(name[2]) == UpperCasedTagByte(third)) {
            return true;
        }
    }
    return false;
}

// Which pairs of bytes after a `<` begin a name of the tables, compared as the classifiers
// compare: a name of one letter is followed by a byte that ends a name (a space, tab, line
// feed, form feed or `>`). A walk that asks about a few classes at every tag turns most tags away
// with one look at their first two bytes, before their name is read.
class TagPairs {
  public:
    template <std::size_t... N>
    consteval explicit TagPairs(const std::array<std::string_view, N>&... tables) {
        (Add(tables), ...);
    }

    // `second` is the byte after `first`; a name that ends the text may stand any byte that ends
    // a name in its place.
    constexpr bool MayBegin(std::uint8_t first, std::uint8_t second) const {
        return ((bits_[first][second / 64] >> (second % 64)) & 1) != 0;
    }

  private:
    template <std::size_t N>
    consteval void Add(const std::array<std::string_view, N>& names) {
        for (const std::string_view name : names) {
            for (int first = 0; first < 256; ++first) {
                if (UpperCasedTagByte(static_cast<std::uint8_t>(first)) !=
                    static_cast<std::uint8_t>(name[0])) {
                    continue;
                }
                for (int second = 0; second < 256; ++second) {
                    const auto b = static_cast<std::uint8_t>(second);
                    const bool fits =
                        name.size() > 1 ? UpperCasedTagByte(b) == static_cast<std::uint8_t>(name[1])
                                        : EndsTagName(b);
                    if (fits) {
                        bits_[static_cast<std::size_t>(first)]
                             [static_cast<std::size_t>(second / 64)] |=
                            std::uint64_t{1} << (second % 64);
                    }
                }
            }
        }
    }

    std::array<std::array<std::uint64_t, 4>, 256> bits_{};
};

// A class as a bit of a set of classes.
constexpr std::uint8_t TagClassBit(TagClass tagClass) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(tagClass));
}

// Which of the `wanted` classes (TagClassBit bits) have the name of the tag whose `<` is at p in
// their table, read once for all of them; the name is read as IsTagOfClass reads it.
std::uint8_t TagClassesOf(const std::uint8_t* p, const std::uint8_t* end, std::uint8_t wanted);

// Whether the tag whose `<` is at p has a name in the class's table. The name is the bytes after
// the `<` up to a blank (space, tab, line feed, form feed), `>`, the end or the class's maximum
// count, upper-cased; a 0
// byte does not end it, so a deleted byte inside a name makes the name unknown.
bool IsTagOfClass(TagClass tagClass, const std::uint8_t* p, const std::uint8_t* end);

}  // namespace quillon
