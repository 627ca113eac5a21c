// Comment removal and the two passes that delete whole tags by name.
#include <array>
#include <string_view>

#include "textopt/Keywords.h"
#include "textopt/TagNames.h"
#include "textopt/TagPasses.h"
#include "textopt/TagScan.h"
#include "textopt/TagWalk.h"

namespace quillon {
namespace {

// ---- RemoveComments

// Comments inside preformatted text, scripts and style sheets are content there
// (hiding a script from old browsers, for one), a `<!--` inside a known tag is
// part of a value, and in server-side code, TITLE or TEXTAREA it is text.
TextLength SkipCommentFreeRegion(TextLength i, const std::uint8_t *text,
                                 TextLength length) {
  return SkipKnownTag(
      SkipStyleBlock(
          SkipScriptBlock(
              SkipRawText(SkipPreformatted(i, text, length), text, length),
              text, length),
          text, length),
      text, length);
}

constexpr TagStartBytes kCommentFreeStartBytes =
    StartBytesOf(kPreformattedTagNames, kServerCodeOpeners, kRawTextTagNames,
                 kScriptTagNames, kStyleTagNames, kKnownTagNames);

bool OpensComment(const std::uint8_t *text, TextLength i, TextLength length) {
  return length - i >= 4 && text[i + 1] == '!' && text[i + 2] == '-' &&
         text[i + 3] == '-';
}

// Index just past the comment whose `<!--` is at i, or length when it is never
// closed. The search starts right after `<!--`, so `<!---->` ends at its own
// end and never reaches on to the next comment over the page text between.
// Browsers also end a comment at `<!-->`,
// `<!--->` and `--!>`; a search that ran past those would delete text they
// show.
TextLength CommentEnd(const std::uint8_t *text, TextLength i,
                      TextLength length) {
  const TextLength body = i + 4;
  if (body < length && text[body] == '>') {
    return body + 1;
  }
  if (body + 1 < length && text[body] == '-' && text[body + 1] == '>') {
    return body + 2;
  }
  // Bound: k grows every round and stops at length.
  for (TextLength k = FindByte(text, body, length, '-'); k < length;
       k = FindByte(text, k + 1, length, '-')) {
    if (length - k >= 3 && text[k + 1] == '-' && text[k + 2] == '>') {
      return k + 3;
    }
    if (length - k >= 4 && text[k + 1] == '-' && text[k + 2] == '!' &&
        text[k + 3] == '>') {
      return k + 4;
    }
  }
  return length;
}

// The index of the last `<!--` in the text, or -1.
TextLength LastCommentStart(const std::uint8_t *text, TextLength length) {
  // Bound: k falls every round, by a word where the word holds no `<`, and
  // stops below 0.
  for (TextLength k = length - 4; k >= 0; --k) {
    while (k >= 7 &&
           detail::BytesEqual(detail::LoadWord(text + k - 7), '<') == 0) {
      k -= 8;
    }
    if (k >= 0 && text[k] == '<' && OpensComment(text, k, length)) {
      return k;
    }
  }
  return -1;
}

// ---- RemoveOptionalTags

// The longest entry of the removable-tag list, "<X-CLARIS-TAGVIEW".
constexpr std::size_t kLongestRemovableTag = 17;

constexpr std::uint8_t OptionalTagByte(std::uint8_t b) {
  return b > 0x5A ? static_cast<std::uint8_t>(b - 32) : b;
}

// The removable-tag list as the pass reads it, and the bytes its entries have
// in their second and third places: most tags (`</TD>`, `</A>`, `<IMG`) fail
// those two tests at once.
struct RemovableTags {
  std::array<std::string_view, 16> entries{};
  std::size_t count = 0;
  std::array<bool, 256> second{};
  std::array<bool, 256> third{};
};

const RemovableTags &Removable() {
  static const RemovableTags tags = [] {
    RemovableTags built;
    for (int number = 1; built.count < built.entries.size(); ++number) {
      const std::string_view entry =
          GetKeyword(KeywordList::kRemovableTag, number);
      if (entry.empty()) {
        break;
      }
      built.entries[built.count++] = entry;
      built.second[static_cast<unsigned char>(entry[1])] = entry.size() > 1;
      built.third[static_cast<unsigned char>(entry[2])] = entry.size() > 2;
    }
    return built;
  }();
  return tags;
}

// The name runs from the `<` to a space, `>` or deleted byte; a line feed does
// not end it, so
// `</LI` followed by a line feed is no `</LI` and stays.
bool IsRemovableTag(const std::uint8_t *p, const std::uint8_t *end) {
  const RemovableTags &removable = Removable();
  if (end - p < 3 || !removable.second[OptionalTagByte(p[1])] ||
      !removable.third[OptionalTagByte(p[2])]) {
    return false;
  }
  std::array<char, kLongestRemovableTag + 1> name;
  std::size_t size = 0;
  // Bound: at most one byte more than the longest entry is read.
  for (; p + size < end && size <= kLongestRemovableTag; ++size) {
    const std::uint8_t b = p[size];
    if (b == ' ' || b == '>' || b == 0) {
      break;
    }
    name[size] = static_cast<char>(OptionalTagByte(b));
  }
  if (size > kLongestRemovableTag) {
    return false;
  }
  const std::string_view collected(name.data(), size);
  for (std::size_t k = 0; k < removable.count; ++k) {
    if (removable.entries[k] == collected) {
      return true;
    }
  }
  return false;
}

// Elements a browser re-opens around misnested markup. Without `</LI>` in
// `<A><LI>x</LI></A>` the `</A>` meets an open LI and the parser moves the item
// out of the link, so such a close tag stays.
constexpr auto kFormattingTags = std::to_array<std::string_view>(
    {"A", "B", "BIG", "CODE", "EM", "FONT", "I", "NOBR", "S", "SMALL", "STRIKE",
     "STRONG", "TT", "U"});

// Whether the removable tag at p closes an element found inside text (LI, DD,
// DT, OPTION) rather than the head, body or page.
bool ClosesListItem(const std::uint8_t *p, const std::uint8_t *end) {
  for (const std::string_view name : {"</LI", "</DD", "</DT", "</OPTION"}) {
    if (StartsWithNoCase(p, end, name)) {
      return true;
    }
  }
  return false;
}

// Whether the markup from `from` on, past blanks and comments, is the end tag
// of a formatting element.
bool FormattingEndTagFollows(const std::uint8_t *text, TextLength from,
                             TextLength length) {
  TextLength k = from;
  // Bound: k grows every round and stops at length.
  while (k < length) {
    if (text[k] <= ' ') {
      ++k;
    } else if (OpensComment(text, k, length)) {
      k = CommentEnd(text, k, length);
    } else {
      break;
    }
  }
  if (length - k < 3 || text[k] != '<' || text[k + 1] != '/') {
    return false;
  }
  TextLength nameEnd = k + 2;
  while (nameEnd < length && text[nameEnd] > ' ' && text[nameEnd] != '>') {
    ++nameEnd;
  }
  for (const std::string_view name : kFormattingTags) {
    if (EqualsNoCase(text + k + 2, text + nameEnd, name)) {
      return true;
    }
  }
  return false;
}

} // namespace

TextLength RemoveComments(std::uint8_t *text, TextLength length) {
  if (length <= 0) {
    return 0;
  }
  // Past the last `<!--` there is nothing to delete, and no region needs
  // finding: many pages have their last comment well before their end, or none
  // at all.
  const TextLength lastComment = LastCommentStart(text, length);
  ForEachTagStart(text, length, [text, length, lastComment](TextLength i) {
    if (i > lastComment) {
      return length - 1;
    }
    if (OpensComment(text, i, length)) {
      const TextLength end = CommentEnd(text, i, length);
      if (!HoldsServerSideInclude(text + i, text + end,
                                  KeywordFit::kCutOffCounts)) {
        DeleteRange(text, i, end);
      }
      return end - 1;
    }
    const bool mayOpenRegion =
        i + 1 < length && kCommentFreeStartBytes[text[i + 1]];
    return mayOpenRegion ? SkipCommentFreeRegion(i, text, length) : i;
  });
  return CompactDeleted(text, length);
}

TextLength RemoveOptionalTags(std::uint8_t *text, TextLength length) {
  if (length <= 0) {
    return 0;
  }
  const std::uint8_t *const end = text + length;
  ForEachTagStart(text, length, [text, length, end](TextLength i) {
    if (!IsRemovableTag(text + i, end)) {
      return i;
    }
    const TextLength last =
        std::min(i + 1 + TagBodyLength(text + i + 1, end), length - 1);
    if (ClosesListItem(text + i, end) &&
        FormattingEndTagFollows(text, last + 1, length)) {
      return last;
    }
    DeleteRange(text, i, last + 1);
    return last;
  });
  return CompactDeleted(text, length);
}

TextLength RemoveNoopTags(std::uint8_t *text, TextLength length) {
  if (length <= 0) {
    return 0;
  }
  const std::uint8_t *const end = text + length;
  ForEachTagStart(text, length, [text, length, end](TextLength i) {
    // A `<NOOP>` in server-side code, TITLE or TEXTAREA is text.
    if (i + 1 < length && kRawTextStartBytes[text[i + 1]]) {
      const TextLength region = SkipRawText(i, text, length);
      if (region != i) {
        return region;
      }
    }
    const TextLength name =
        i + 1 < length && text[i + 1] == '/' ? i + 2 : i + 1;
    // Any tag whose name begins so: NOOP is an editor's marker with no meaning
    // of its own.
    if (!StartsWithNoCase(text + name, end, "NOOP")) {
      return i;
    }
    const TextLength close = FindByte(text, name, length, '>');
    const TextLength last = close < length ? close : length - 1;
    DeleteRange(text, i, last + 1);
    return last;
  });
  return CompactDeleted(text, length);
}

} // namespace quillon
