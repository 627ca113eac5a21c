#include "textopt/WhitespacePasses.h"

#include <algorithm>

#include "textopt/ByteScan.h"
#include "textopt/RegionCursor.h"
#include "textopt/TagScan.h"

namespace quillon {
namespace {

using PreformattedCursor = RegionCursor<SkipPreformatted, kPreformattedStartBytes>;

constexpr bool IsBlankOrDeleted(std::uint8_t b) {
    return b == ' ' || b == '\n' || b == 0;
}

// Deletes the bytes directly before index i that `deletable` accepts, back to the start at most.
template <typename Deletable>
void DeleteBefore(std::uint8_t* text, TextLength i, Deletable deletable) {
    // Bound: k falls to -1 at most. Each gap is walked back once, by the byte that ends it.
    for (TextLength k = i - 1; k >= 0 && deletable(text[k]); --k) {
        text[k] = 0;
    }
}

// Deletes the bytes directly after index i that `deletable` accepts, and returns the index of
// the last byte looked at that belongs to the deleted run (i when there was none).
template <typename Deletable>
TextLength DeleteAfter(std::uint8_t* text, TextLength i, TextLength length, Deletable deletable) {
    TextLength k = i + 1;
    // Bound: k stops at length.
    while (k < length && deletable(text[k])) {
        text[k] = 0;
        ++k;
    }
    return k - 1;
}

// Hands `act` every index that `find` turns up outside preformatted regions. find(from) gives
// the first candidate at or after `from` (or the length); act(i) deals with index i and returns
// the index of the last byte it dealt with, after which the walk goes on.
template <typename Find, typename Act>
void ForEachOutsidePreformatted(TextLength length, PreformattedCursor& regions, Find find,
                                Act act) {
    // Bound: every round ends at or after i, so i grows; the walk ends at length.
    for (TextLength i = find(0); i < length;) {
        const TextLength region = regions.Resolve(i);
        const TextLength last = region == i ? act(i) : region;
        if (last >= length - 1) {
            break;
        }
        i = find(last + 1);
    }
}

}  // namespace

TextLength NormalizeLineEnds(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    // Each CR is judged by the byte after it as read: rewriting a CR only changes a byte that
    // has already been judged.
    for (TextLength i = FindByte(text, 0, length, '\r'); i < length;
         i = FindByte(text, i + 1, length, '\r')) {
        text[i] = i + 1 < length && text[i + 1] == '\n' ? 0 : '\n';
    }
    // Byte 1 used to mark a lone CR inside this pass and so has always come out as a line feed;
    // pages keep getting the same output.
    for (TextLength i = FindByte(text, 0, length, 1); i < length;
         i = FindByte(text, i + 1, length, 1)) {
        text[i] = '\n';
    }
    return CompactDeleted(text, length);
}

TextLength TabsToSpaces(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    // One memchr per byte value, each run again only once the walk has passed its last find.
    TextLength nextTab = -1;
    TextLength nextVerticalTab = -1;
    auto find = [&](TextLength from) {
        if (nextTab < from) {
            nextTab = FindByte(text, from, length, '\t');
        }
        if (nextVerticalTab < from) {
            nextVerticalTab = FindByte(text, from, length, '\v');
        }
        return std::min(nextTab, nextVerticalTab);
    };
    PreformattedCursor regions(text, length);
    ForEachOutsidePreformatted(length, regions, find, [text, length](TextLength i) {
        // Indentation comes in runs of tabs; a run holds no `<`, so one region answer covers it.
        // Bound: i stops at length.
        for (; i < length && (text[i] == '\t' || text[i] == '\v'); ++i) {
            text[i] = ' ';
        }
        return i - 1;
    });
    return length;
}

TextLength CollapseSpaces(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    PreformattedCursor regions(text, length);
    ForEachOutsidePreformatted(
        length, regions,
        [text, length](TextLength from) { return FindSpaceRun(text, from, length); },
        [text, length](TextLength i) { return DeleteAfter(text, i, length, IsSpaceOrDeleted); });
    return CompactDeleted(text, length);
}

TextLength TrimAroundLineEnds(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    PreformattedCursor regions(text, length);
    ForEachOutsidePreformatted(
        length, regions,
        [text, length](TextLength from) { return FindByte(text, from, length, '\n'); },
        [text, length](TextLength i) {
            DeleteBefore(text, i, IsSpaceOrDeleted);
            return DeleteAfter(text, i, length, IsSpaceOrDeleted);
        });
    return CompactDeleted(text, length);
}

TextLength CollapseBlankLines(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    PreformattedCursor regions(text, length);
    ForEachOutsidePreformatted(
        length, regions,
        [text, length](TextLength from) {
            // Only a line feed followed by another (or by a deleted byte) has work to do.
            TextLength i = FindByte(text, from, length, '\n');
            // Bound: i grows every round and stops at length.
            while (i < length - 1 && text[i + 1] != '\n' && text[i + 1] != 0) {
                i = FindByte(text, i + 1, length, '\n');
            }
            return i < length - 1 ? i : length;
        },
        [text, length](TextLength i) {
            return DeleteAfter(text, i, length, [](std::uint8_t b) { return b == '\n' || b == 0; });
        });
    return CompactDeleted(text, length);
}

TextLength CollapseBlankRuns(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    // A run never reaches into a region: regions begin with `<` and end with `>` or the text.
    // Nor does deleting blanks outside them make a `<` meet a letter, so the regions found here
    // are the ones each of the three passes finds.
    PreformattedCursor regions(text, length);
    ForEachOutsidePreformatted(
        length, regions,
        [text, length](TextLength from) { return FindBlankPair(text, from, length); },
        [text, length](TextLength i) {
            TextLength k = i;
            bool lineFeed = false;
            // Bound: k stops at length.
            while (k < length && (text[k] == ' ' || text[k] == '\n')) {
                lineFeed = lineFeed || text[k] == '\n';
                ++k;
            }
            text[i] = lineFeed ? '\n' : ' ';
            std::fill(text + i + 1, text + k, std::uint8_t{0});
            return k - 1;
        });
    return CompactDeleted(text, length);
}

TextLength TrimAroundBlockTags(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    const std::uint8_t* const end = text + length;
    // Bound: every round ends at or after i, so i grows; the walk ends at length.
    for (TextLength i = FindByte(text, 0, length, '<'); i < length;) {
        // Most tags cannot open a preformatted region, which the byte after `<` tells at once.
        const bool mayBePreformatted = i + 1 < length && kPreformattedStartBytes[text[i + 1]];
        TextLength last = mayBePreformatted ? SkipPreformatted(i, text, length) : i;
        if (last == i && IsBlockTag(text + i, end)) {
            DeleteBefore(text, i, IsBlankOrDeleted);
            last = i + 1 + TagBodyLength(text + i + 1, end);
            // The walk goes on after the tag rather than inside it: a `<` in a quoted value is
            // not markup, and starting over inside every tag would make a page of unclosed tags
            // cost time quadratic in its length.
            if (last < length) {
                last = DeleteAfter(text, last, length, IsBlankOrDeleted);
            }
        }
        if (last >= length - 1) {
            break;
        }
        i = FindByte(text, last + 1, length, '<');
    }
    return CompactDeleted(text, length);
}

}  // namespace quillon
