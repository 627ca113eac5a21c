#include "textopt/WhitespacePasses.h"

#include <algorithm>
#include <bit>

#include "textopt/ByteScan.h"
#include "textopt/LayoutStretches.h"
#include "textopt/TagNames.h"
#include "textopt/TagScan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {
namespace {

// Most tags are neither block nor invisible (A, SPAN, IMG and their close tags): told so by
// their first two bytes.
constexpr TagPairs kBlockOrInvisiblePairs(kBlockTagNames, kInvisibleTagNames);

constexpr bool IsBlankOrDeleted(std::uint8_t b) {
    return b == ' ' || b == '\n' || b == 0;
}

// Deletes the bytes directly before index i that `deletable` accepts, back to the start at most
// and never at or before `floor` (the last byte of a protected stretch, or -1).
template <typename Deletable>
void DeleteBefore(std::uint8_t* text, TextLength i, TextLength floor, Deletable deletable) {
    // Bound: k falls to floor at most. Each gap is walked back once, by the byte that ends it.
    for (TextLength k = i - 1; k > floor && deletable(text[k]); --k) {
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

#if defined(__SSE2__)
// A bit for each of the sixteen bytes at p that IsBlankOrDeleted accepts.
unsigned BlankOrDeletedBits(const std::uint8_t* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
                                       _mm_cmpeq_epi8(bytes, _mm_setzero_si128()));
    return static_cast<unsigned>(_mm_movemask_epi8(blank));
}
#endif

// The runs of blanks and deleted bytes around the tags the trimming passes act at are stepped
// over sixteen bytes at a time: once runs are collapsed, they are mostly deleted bytes.

// The first index of the run that ends right before i, never at or before `floor`.
TextLength BlankOrDeletedRunStart(const std::uint8_t* text, TextLength i, TextLength floor) {
    TextLength k = i;
#if defined(__SSE2__)
    // Bound: k falls by 16 each round while the sixteen bytes before it lie above floor.
    while (k - 16 > floor) {
        const unsigned kept = ~BlankOrDeletedBits(text + k - 16) & 0xFFFFU;
        if (kept != 0) {
            return k - 16 + std::bit_width(kept);
        }
        k -= 16;
    }
#endif
    // Bound: k falls to floor + 1 at most.
    while (k - 1 > floor && IsBlankOrDeleted(text[k - 1])) {
        --k;
    }
    return k;
}

// One past the last index of the run that starts at `from`.
TextLength BlankOrDeletedRunEnd(const std::uint8_t* text, TextLength from, TextLength length) {
    return SkipAnyOfThree(text, from, length, ' ', '\n', 0);
}

// DeleteBefore and DeleteAfter with IsBlankOrDeleted.
void DeleteBlanksBefore(std::uint8_t* text, TextLength i, TextLength floor) {
    const TextLength start = BlankOrDeletedRunStart(text, i, floor);
    std::fill(text + start, text + i, std::uint8_t{0});
}

TextLength DeleteBlanksAfter(std::uint8_t* text, TextLength i, TextLength length) {
    const TextLength end = BlankOrDeletedRunEnd(text, i + 1, length);
    std::fill(text + i + 1, text + end, std::uint8_t{0});
    return end - 1;
}

// Hands `act` every index that `find` turns up outside the protected stretches. find(from) gives
// the first candidate at or after `from` (or the length); act(i) deals with index i and returns
// the index of the last byte it dealt with, after which the walk goes on.
template <typename Cursor, typename Find, typename Act>
void ForEachOutsidePreformatted(TextLength length, Cursor& regions, Find find, Act act) {
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

// The first index before i, above `floor`, that holds neither a blank nor a deleted byte, or
// `floor` when there is none.
TextLength KeptBefore(const std::uint8_t* text, TextLength i, TextLength floor) {
    return BlankOrDeletedRunStart(text, i, floor) - 1;
}

// A tag that shows nothing (SCRIPT, META, ...) at i. The blanks on either side of it collapse
// with each other in a browser, so the run before it goes when nothing but another such tag or
// the start of the text lies beyond it, and the run after it when only the end does; a run that
// parts it from text stays, as one blank. The blanks at the edges of a script's body are script
// text, not page text, and go too. Returns the last byte dealt with; `invisibleEnd` is the `>`
// of the last such tag.
template <typename Cursor>
TextLength TrimAroundInvisibleTag(std::uint8_t* text, TextLength i, TextLength length,
                                  Cursor& regions, TextLength& invisibleEnd) {
    const std::uint8_t* const end = text + length;
    const TextLength kept = KeptBefore(text, i, regions.Floor());
    if (kept < 0 || kept == invisibleEnd) {
        DeleteBlanksBefore(text, i, regions.Floor());
    }
    TextLength last = i + 1 + TagBodyLength(text + i + 1, end);
    if (last >= length) {
        return length;
    }
    invisibleEnd = last;
    if (IsScriptTag(text + i, end)) {
        // The body is script: no `<` in it opens a tag.
        const TextLength close = ScriptCloseTag(text, last + 1, length);
        // The body of a script with a source is kept whole, its edges too.
        if (last + 1 < close && regions.Resolve(last + 1) != last + 1) {
            return close >= length ? length : close - 1;
        }
        last = DeleteBlanksAfter(text, last, length);
        if (close >= length) {
            return length;
        }
        regions.Resolve(close);
        DeleteBlanksBefore(text, close, std::max(regions.Floor(), last));
        return close - 1;
    }
    const TextLength after = BlankOrDeletedRunEnd(text, last + 1, length);
    return after == length ? DeleteBlanksAfter(text, last, length) : last;
}
// What CollapseBlankRuns does, given the stretches, leaving the deleted bytes in place. A run
// never reaches into a stretch: one begins with a `<`, a quote or a script literal's first byte,
// or right after a `>` (the body of a script with a source), and never ends in a blank; so the
// runs are found between stretches, with no question asked about any of them.
void CollapseBlankRunsBetween(std::uint8_t* text, TextLength length, const Stretches& stretches) {
    TextLength from = 0;
    // Bound: the stretches come in text order, and the last one ends at the length.
    for (const Stretch& stretch : stretches) {
        const TextLength gapEnd = std::min(stretch.first, length);
        // Bound: i grows every round and stops at gapEnd.
        for (TextLength i = FindBlankPair(text, from, gapEnd); i < gapEnd;
             i = FindBlankPair(text, i, gapEnd)) {
            const BlankRun run = ReadBlankRun(text, i, gapEnd);
            text[i] = run.lineFeed ? '\n' : ' ';
            std::fill(text + i + 1, text + run.end, std::uint8_t{0});
            i = run.end;
        }
        from = stretch.last + 1;
        if (from >= length) {
            return;
        }
    }
}

template <typename Cursor>
void TrimAroundBlockTagsWith(std::uint8_t* text, TextLength length, Cursor& regions) {
    const std::uint8_t* const end = text + length;
    // The last tag that shows nothing: the blank between it and the next such tag can go.
    TextLength invisibleEnd = -2;
    // Bound: every round ends at or after i, so i grows; the walk ends at length.
    for (TextLength i = FindByte(text, 0, length, '<'); i < length;) {
        // Only a `<` the pass would act at needs the cursor's answer; most tags are neither, and
        // a region can only start at a byte the preformatted or raw-text tables begin with.
        const std::uint8_t next = i + 1 < length ? text[i + 1] : 0;
        const std::uint8_t second = i + 2 < length ? text[i + 2] : '>';
        const std::uint8_t classes =
            kBlockOrInvisiblePairs.MayBegin(next, second)
                ? TagClassesOf(text + i, end,
                               TagClassBit(TagClass::kBlock) | TagClassBit(TagClass::kInvisible))
                : 0;
        const bool block = (classes & TagClassBit(TagClass::kBlock)) != 0;
        const bool invisible = !block && classes != 0;
        if (!block && !invisible && !kPreformattedStartBytes[next] && !kRawTextStartBytes[next]) {
            if (i >= length - 1) {
                break;
            }
            i = FindByte(text, i + 1, length, '<');
            continue;
        }
        const TextLength region = regions.Resolve(i);
        TextLength last = i;
        if (region != i) {
            last = region;
            // A TITLE holding markup-like text is kept whole, yet still stands for a block.
            if (regions.SpanBegin() == i && block) {
                DeleteBlanksBefore(text, i, regions.Floor());
                if (last < length) {
                    last = DeleteBlanksAfter(text, last, length);
                }
            }
        } else if (block) {
            DeleteBlanksBefore(text, i, regions.Floor());
            last = i + 1 + TagBodyLength(text + i + 1, end);
            // The walk goes on after the tag rather than inside it: a `<` in a quoted value is
            // not markup, and starting over inside every tag would make a page of unclosed tags
            // cost time quadratic in its length.
            if (last < length) {
                last = DeleteBlanksAfter(text, last, length);
            }
        } else if (invisible) {
            last = TrimAroundInvisibleTag(text, i, length, regions, invisibleEnd);
        }
        if (last >= length - 1) {
            break;
        }
        i = FindByte(text, last + 1, length, '<');
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
    LayoutCursor regions(text, length);
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
    LayoutCursor regions(text, length);
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
    LayoutCursor regions(text, length);
    ForEachOutsidePreformatted(
        length, regions,
        [text, length](TextLength from) { return FindByte(text, from, length, '\n'); },
        [text, length, &regions](TextLength i) {
            DeleteBefore(text, i, regions.Floor(), IsSpaceOrDeleted);
            return DeleteAfter(text, i, length, IsSpaceOrDeleted);
        });
    return CompactDeleted(text, length);
}

TextLength CollapseBlankLines(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    LayoutCursor regions(text, length);
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
    CollapseBlankRunsBetween(text, length, FindLayoutStretches(text, length));
    return CompactDeleted(text, length);
}

TextLength TrimAroundBlockTags(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    LayoutCursor regions(text, length);
    TrimAroundBlockTagsWith(text, length, regions);
    return CompactDeleted(text, length);
}

TextLength CollapseBlankRunsAndTrimBlockTags(std::uint8_t* text, TextLength length) {
    if (length <= 0) {
        return 0;
    }
    // Collapsing runs of blanks outside the stretches changes none of them, and the block-tag
    // walk takes a deleted byte for the blank it was (no tag name holds one), so it runs on the
    // collapsed text before it is squeezed, with the same stretches.
    const Stretches stretches = FindLayoutStretches(text, length);
    CollapseBlankRunsBetween(text, length, stretches);
    StretchCursor regions(stretches);
    TrimAroundBlockTagsWith(text, length, regions);
    return CompactDeleted(text, length);
}

std::vector<std::pair<TextLength, TextLength>> LayoutProtectedStretches(const std::uint8_t* text,
                                                                        TextLength length) {
    std::vector<std::pair<TextLength, TextLength>> stretches;
    LayoutCursor regions(text, length);
    // Bound: i grows every round.
    for (TextLength i = 0; i < length; ++i) {
        const TextLength last = regions.Resolve(i);
        if (last != i) {
            stretches.emplace_back(i, last);
            i = last;
        }
    }
    return stretches;
}

}  // namespace quillon
