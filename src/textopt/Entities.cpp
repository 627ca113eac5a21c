#include "textopt/Entities.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "textopt/ByteScan.h"
#include "textopt/RegionCursor.h"
#include "textopt/TagNames.h"
#include "textopt/TagScan.h"

namespace quillon {
namespace {

struct Entity {
    std::string_view name;       // lower case; matched without regard to case
    std::string_view upperCode;  // when the first letter after `&` is upper case
    std::string_view lowerCode;  // otherwise
    // aacute, agrave and atilde were only ever recognised with a lower-case final e.
    bool needsLowerFinalE = false;
};

// Only names whose numeric form is shorter: five or six letters against three digits and `#`.
constexpr std::array<Entity, 40> kEntities = {{
    {"aacute", "193", "225", true}, {"acirc", "194", "226"},  {"aelig", "198", "230"},
    {"agrave", "192", "224", true}, {"aring", "197", "229"},  {"atilde", "195", "227", true},
    {"brvbar", "166", "166"},       {"ccedil", "199", "231"}, {"cedil", "184", "184"},
    {"curren", "164", "164"},       {"divide", "247", "247"}, {"eacute", "201", "233"},
    {"ecirc", "202", "234"},        {"egrave", "200", "232"}, {"frac12", "189", "189"},
    {"frac14", "188", "188"},       {"frac34", "190", "190"}, {"iacute", "205", "237"},
    {"icirc", "206", "238"},        {"iexcl", "161", "161"},  {"igrave", "204", "236"},
    {"iquest", "191", "191"},       {"laquo", "171", "171"},  {"micro", "181", "181"},
    {"ntilde", "209", "241"},       {"oacute", "211", "243"}, {"ocirc", "212", "244"},
    {"ograve", "210", "242"},       {"oslash", "216", "248"}, {"otilde", "213", "245"},
    {"plusmn", "177", "177"},       {"pound", "163", "163"},  {"raquo", "187", "187"},
    {"szlig", "223", "223"},        {"thorn", "222", "254"},  {"times", "215", "215"},
    {"uacute", "218", "250"},       {"ucirc", "219", "251"},  {"ugrave", "217", "249"},
    {"yacute", "221", "253"},
}};

constexpr bool NameBefore(const Entity& a, const Entity& b) {
    return a.name < b.name;
}

constexpr bool IsWellFormed(const std::array<Entity, 40>& table) {
    for (const Entity& entity : table) {
        if (entity.name.size() < 5 || entity.name.size() > 6 || entity.upperCode.size() != 3 ||
            entity.lowerCode.size() != 3) {
            return false;
        }
    }
    return std::is_sorted(table.begin(), table.end(), NameBefore);
}
static_assert(IsWellFormed(kEntities), "entity names must be 5-6 letters, sorted, 3-digit codes");

constexpr std::size_t kShortestName = 5;
constexpr std::size_t kLongestName = 6;

constexpr std::uint8_t LowerCased(std::uint8_t b) {
    return b >= 'A' && b <= 'Z' ? static_cast<std::uint8_t>(b + 32) : b;
}

const Entity* FindEntity(const std::uint8_t* name, std::size_t size) {
    std::array<char, kLongestName> folded;
    for (std::size_t k = 0; k < size; ++k) {
        folded[k] = static_cast<char>(LowerCased(name[k]));
    }
    const Entity key{std::string_view(folded.data(), size), {}, {}};
    const auto* found = std::lower_bound(kEntities.begin(), kEntities.end(), key, NameBefore);
    if (found == kEntities.end() || found->name != key.name) {
        return nullptr;
    }
    if (found->needsLowerFinalE && name[size - 1] != 'e') {
        return nullptr;
    }
    return found;
}

// At the `&` at index i: rewrites a table reference in place and returns the index of its old
// `;`, or returns i when there is none.
TextLength ShortenAt(std::uint8_t* text, TextLength i, TextLength length) {
    for (std::size_t size = kShortestName; size <= kLongestName; ++size) {
        const TextLength semicolon = i + 1 + static_cast<TextLength>(size);
        if (semicolon >= length || text[semicolon] != ';') {
            continue;
        }
        const Entity* entity = FindEntity(text + i + 1, size);
        if (entity == nullptr) {
            continue;
        }
        const bool upper = text[i + 1] >= 'A' && text[i + 1] <= 'Z';
        const std::string_view code = upper ? entity->upperCode : entity->lowerCode;
        text[i + 1] = '#';
        std::copy(code.begin(), code.end(), text + i + 2);
        text[i + 5] = ';';
        std::fill(text + i + 6, text + semicolon + 1, std::uint8_t{0});
        return semicolon;
    }
    return i;
}

// Preformatted text, scripts (whose strings a reference could be part of) and the inside of
// known tags (addresses, where `&` separates parameters) stay as written.
TextLength SkipUntouchedRegion(TextLength i, const std::uint8_t* text, TextLength length) {
    const TextLength code = SkipServerCode(i, text, length);
    if (code != i) {
        return code;
    }
    // The name is read once for the three classes; the first that has it wins.
    constexpr std::uint8_t kPre = TagClassBit(TagClass::kPreformatted);
    constexpr std::uint8_t kScript = TagClassBit(TagClass::kScript);
    const std::uint8_t classes =
        TagClassesOf(text + i, text + length, kPre | kScript | TagClassBit(TagClass::kKnown));
    return (classes & kPre) != 0      ? SkipPreformatted(i, text, length)
           : (classes & kScript) != 0 ? SkipScriptBlock(i, text, length)
           : classes != 0             ? SkipKnownTag(i, text, length)
                                      : i;
}

constexpr TagStartBytes kUntouchedStartBytes =
    StartBytesOf(kPreformattedTagNames, kServerCodeOpeners, kScriptTagNames, kKnownTagNames);

}  // namespace

TextLength ShortenEntities(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    RegionCursor<SkipUntouchedRegion, kUntouchedStartBytes> regions(text, length);
    // Bound: every round ends at or after i, so i grows; the walk ends at length.
    for (TextLength i = FindByte(text, 0, length, '&'); i < length;) {
        const TextLength region = regions.Resolve(i);
        const TextLength last = region == i ? ShortenAt(text, i, length) : region;
        if (last >= length - 1) {
            break;
        }
        i = FindByte(text, last + 1, length, '&');
    }
    return CompactDeleted(text, length);
}

}  // namespace quillon
