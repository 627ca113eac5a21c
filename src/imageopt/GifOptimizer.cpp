#include "imageopt/GifOptimizer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "BxCode/BxAnimation.h"
#include "BxCode/BxErrorCode.h"
#include "BxCode/BxGIFFile.h"
#include "BxCode/BxGIFFrame.h"
#include "BxCode/BxMaskBits.h"
#include "BxCode/BxQuantOctree.h"
#include "BxCode/BxQuantRemap.h"

namespace quillon {
namespace gifopt {
namespace {

// Palette entries this close to black or white are snapped to it.
constexpr int kNearBlack = 12;
constexpr int kNearWhite = 252;
// The shared palette's colour count (BuildGlobalPalette's target 1).
constexpr std::size_t kPaletteColours = 128;
// How many entries of the shared palette one frame may use, per colour count.
constexpr std::size_t kFrameEntries128 = 120;
constexpr std::size_t kFrameEntries64 = 60;
// Runs of unchanged pixels this short cost more as transparency than as repeated colour.
constexpr std::size_t kShortRun = 2;
// Disposal methods of the graphic control block.
constexpr std::int32_t kDisposeNone = 1;
constexpr std::int32_t kDisposeBackground = 2;
constexpr std::int32_t kDisposePrevious = 3;

// The screen positions a frame touches, and what the canvas held there before it, for frames
// that restore the previous screen when they end.
struct CanvasPatch {
    std::uint32_t left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> indices;
    std::vector<std::uint8_t> covered;
};

BxGIFFrame& FrameAt(const BxAnimation& animation, std::size_t index) {
    auto* frame = dynamic_cast<BxGIFFrame*>(animation.GetFrame(index));
    if (!frame) {
        BxRaise(kBxErrMissing);
    }
    return *frame;
}

BxGIFGlobalInfo& GlobalOf(const BxAnimation& animation) {
    auto* global = dynamic_cast<BxGIFGlobalInfo*>(animation.GetGlobalInfo());
    if (!global) {
        BxRaise(kBxErrMissing);
    }
    return *global;
}

// Makes the marked pixels of runs of at most kShortRun unchanged pixels opaque again; returns how
// many.
std::size_t RestoreShortRuns(BxBitmapImage& mask, std::vector<std::uint8_t>& marks) {
    const std::uint32_t width = mask.GetWidth();
    const std::uint32_t height = mask.GetHeight();
    const std::uint8_t polarity = mask.Polarity();
    const auto opaque = static_cast<std::uint8_t>(polarity ? 0 : 1);
    BxPixelLock bits(mask);
    // Walking back stops at an unmarked pixel; with the first mark clear it cannot pass the
    // start. Runs go on from one row into the next, as the pixels do in the file.
    marks[0] = 0;
    std::size_t run = 0;
    std::size_t restored = 0;
    // Ends the run before pixel i, which is opaque and was not made transparent.
    const auto endRun = [&](std::size_t i) {
        if (run >= 1 && run <= kShortRun) {
            for (std::size_t back = i; back-- > 0 && marks[back];) {
                PutBit(bits.Row(static_cast<std::uint32_t>(back / width)),
                       static_cast<std::uint32_t>(back % width), opaque);
                marks[back] = 0;
                ++restored;
            }
        }
        run = 0;
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = bits.Row(y);
        const std::uint8_t* rowMarks = marks.data() + std::size_t{y} * width;
        const std::size_t rowStart = std::size_t{y} * width;
        for (std::uint32_t x = 0; x < width;) {
            // Most mask bytes are all transparent (the run goes on through them) or all opaque
            // and unmarked (the run ends at their first pixel): eight pixels in one look.
            if ((x & 7) == 0 && width - x >= 8) {
                const std::uint8_t opaqueBits = OpaqueBits(row[x >> 3], polarity);
                std::uint64_t eightMarks = 0;
                std::memcpy(&eightMarks, rowMarks + x, sizeof eightMarks);
                if (opaqueBits == 0) {
                    run += 8;
                    x += 8;
                    continue;
                }
                if (opaqueBits == 0xFF && eightMarks == 0) {
                    endRun(rowStart + x);
                    x += 8;
                    continue;
                }
            }
            if (rowMarks[x] || StoredBit(row, x) == polarity) {
                ++run;
            } else {
                endRun(rowStart + x);
            }
            ++x;
        }
    }
    return restored;
}

CanvasPatch SaveCanvas(const BxPixelLock& screen, const BxPixelLock& covered,
                       const BxGIFFrameInfo& info, std::uint32_t screenWidth,
                       std::uint32_t screenHeight) {
    CanvasPatch patch;
    patch.left = std::min<std::uint32_t>(info.left, screenWidth);
    patch.top = std::min<std::uint32_t>(info.top, screenHeight);
    patch.width = std::min<std::uint32_t>(info.width, screenWidth - patch.left);
    patch.height = std::min<std::uint32_t>(info.height, screenHeight - patch.top);
    const std::size_t count = std::size_t{patch.width} * patch.height;
    try {
        patch.indices.resize(count);
        patch.covered.resize(count);
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
    for (std::uint32_t y = 0; y < patch.height; ++y) {
        const std::uint8_t* indexRow = screen.Row(patch.top + y);
        const std::uint8_t* coveredRow = covered.Row(patch.top + y);
        for (std::uint32_t x = 0; x < patch.width; ++x) {
            patch.indices[std::size_t{y} * patch.width + x] = indexRow[patch.left + x];
            patch.covered[std::size_t{y} * patch.width + x] = StoredBit(coveredRow, patch.left + x);
        }
    }
    return patch;
}

void RestoreCanvas(const BxPixelLock& screen, const BxPixelLock& covered,
                   const CanvasPatch& patch) {
    for (std::uint32_t y = 0; y < patch.height; ++y) {
        std::uint8_t* indexRow = screen.Row(patch.top + y);
        std::uint8_t* coveredRow = covered.Row(patch.top + y);
        for (std::uint32_t x = 0; x < patch.width; ++x) {
            indexRow[patch.left + x] = patch.indices[std::size_t{y} * patch.width + x];
            PutBit(coveredRow, patch.left + x, patch.covered[std::size_t{y} * patch.width + x]);
        }
    }
}

// What one file may cost to decode and optimize. A GIF's descriptors can claim a 65535 x 65535
// screen and any number of frames that large, which a few bytes of compressed data then fill, so
// a file is weighed by what its descriptors claim before any of its pixels are allocated, and one
// that claims more than this is left as it is. An 8000 x 8000 photograph passes both limits.
constexpr std::uint64_t kMaxCanvasPixels = std::uint64_t{64} << 20;
constexpr std::uint64_t kMaxDecodeBytes = std::uint64_t{256} << 20;
// What a frame holds besides its pixels and mask: the frame, image, mask and record objects, the
// image's palette and the record's local table, the list node and the index entry (measured:
// about 730 bytes with 256-colour tables; the rest is slack for the allocator).
constexpr std::uint64_t kFrameOverheadBytes = 1024;
// What a comment holds besides its bytes: its vector's slot and the allocator's block (measured:
// about 57 bytes).
constexpr std::uint64_t kCommentOverheadBytes = 64;

std::uint64_t MaskBytes(std::uint64_t width, std::uint64_t height) {
    return (width + 7) / 8 * height;
}

// Empty when the open file fits the budget, else why it does not, in words for the error log.
//
// The estimate follows what the stage holds at its peak. With F the frames (a byte per pixel,
// a bit per pixel of mask, kFrameOverheadBytes), M the largest frame's pixel count and C the
// canvas (the screen's pixels and mask):
// - reading holds the frames read so far and one decoded image being copied into its frame:
//   F + M; cropping and remapping hold one new copy of one frame at a time, no more;
// - suppressing unchanged pixels holds the frames, the canvas and, for the frame at hand, a
//   byte per pixel of marks and, for a frame that restores the previous screen, two bytes per
//   pixel of the screen it covers: F + C + T, T the largest of those per frame;
// - the candidate is read back one frame at a time while the optimized frames, no larger than
//   those read, are still held: F + M, which the estimate still counts as 2F + M;
// - building the shared palette holds a kilobyte of colour counts per frame, less than F again.
// So the peak is F + max(C + T, F + M). An animation is finished twice, with and without
// unchanged pixels made transparent: the masks, less than F, are kept aside while pixels are made
// transparent, and where that changed anything the frames are copied with them. That stays
// within 2F + max(C + T, M). The comments are held three times while the second encoding is made
// (the two animations and the first encoding), and twice at the read-back (the optimized
// animation and the file read back). Left out: the LZW tables and the quantizer's tree, a few
// fixed megabytes, and the encodings, of about the file's size.
std::string DecodeBudgetRefusal(const BxGIFFile& file) {
    const std::uint64_t screenWidth = file.GetScreenWidth();
    const std::uint64_t screenHeight = file.GetScreenHeight();
    // Sizes are 16-bit, so a product of two fits; the sums stop just past the budget, so that no
    // number of frames or comments can overflow them.
    if (screenWidth * screenHeight > kMaxCanvasPixels) {
        return "too large to decode: a screen of " + std::to_string(screenWidth) + " x " +
               std::to_string(screenHeight) + " pixels";
    }
    const std::uint64_t canvas = screenWidth * screenHeight + MaskBytes(screenWidth, screenHeight);
    std::uint64_t frames = 0;
    std::uint64_t largest = 0;
    std::uint64_t suppressing = 0;
    const BxGIFFile::FrameIndexEntry* biggest = nullptr;
    for (const BxGIFFile::FrameIndexEntry& entry : file.FrameIndex()) {
        const std::uint64_t pixels = std::uint64_t{entry.width} * entry.height;
        frames =
            std::min(frames + pixels + MaskBytes(entry.width, entry.height) + kFrameOverheadBytes,
                     kMaxDecodeBytes + 1);
        if (!biggest || pixels > largest) {
            biggest = &entry;
            largest = pixels;
        }
        suppressing =
            std::max(suppressing, entry.disposal == kDisposePrevious ? 3 * pixels : pixels);
    }
    const BxGIFGlobalInfo* global = file.GetGIFGlobalInfo();
    std::uint64_t comments = 0;
    if (global) {
        for (const BxGIFComment& comment : global->comments) {
            comments =
                std::min(comments + comment.Length() + kCommentOverheadBytes, kMaxDecodeBytes + 1);
        }
    }
    const std::uint64_t peak =
        (file.FrameIndex().size() > 1 ? 2 * frames + std::max(canvas + suppressing, largest)
                                      : frames + std::max(canvas + suppressing, frames + largest)) +
        3 * comments;
    if (peak <= kMaxDecodeBytes) {
        return {};
    }
    const std::size_t count = file.FrameIndex().size();
    std::string reason = "too large to decode: ";
    if (biggest) {
        reason += std::to_string(biggest->width) + " x " + std::to_string(biggest->height) +
                  " pixels in " + std::to_string(count) + (count == 1 ? " frame" : " frames");
    } else {
        reason += "no frames";
    }
    if (comments > 0) {
        const std::size_t notes = global->comments.size();
        reason += " and " + std::to_string(notes) + (notes == 1 ? " comment" : " comments");
    }
    return reason;
}

// Decodes every frame of the open file in order and hands each image to `take`. A file over the
// decode budget raises 2 before any frame is decoded.
template <typename Take>
void DecodeFrames(BxGIFFile& file, Take&& take) {
    if (!DecodeBudgetRefusal(file).empty()) {
        BxRaise(kBxErrNoMemory);
    }
    file.SeekToFrame(0);
    const std::uint32_t frames = file.GetFrameCount();
    for (std::uint32_t i = 0; i < frames; ++i) {
        std::unique_ptr<BxImage> image = file.ReadFrame();
        auto* indexed = dynamic_cast<BxIndexedImage*>(image.get());
        if (!indexed) {
            BxRaise(kBxErrMalformedGIF);
        }
        image.release();
        take(std::unique_ptr<BxIndexedImage>(indexed));
    }
}

// Appends every frame of the open file to the animation, with the screen size and the global
// blocks.
void ReadFrames(BxGIFFile& file, BxAnimation& animation) {
    animation.SetSize(file.GetScreenWidth(), file.GetScreenHeight());
    DecodeFrames(file, [&animation](std::unique_ptr<BxIndexedImage> image) {
        animation.AppendFrame(BxMake<BxGIFFrame>(std::move(image)), false);
    });
    animation.SetGlobalInfo(file.CloneGlobalInfo());
}

// The colour a pixel value shows: its palette entry, black past the palette (as giflib and the
// library draw it).
BxColor ColourOfValue(const BxColorTable& palette, std::size_t value) {
    return value < palette.Count() ? palette.ColorAt(value) : BxPackColor(0, 0, 0);
}

// The entries of a table by colour, for looking up a whole palette's worth of colours.
class EntriesByColour {
  public:
    explicit EntriesByColour(const BxColorTable& table) {
        entries_.reserve(table.Count());
        for (std::size_t j = 0; j < table.Count(); ++j) {
            entries_.emplace_back(table.ColorAt(j), j);
        }
        std::sort(entries_.begin(), entries_.end());
    }

    // The first entry of the table with exactly that colour.
    std::optional<std::size_t> Find(BxColor colour) const {
        const auto at = std::lower_bound(entries_.begin(), entries_.end(),
                                         std::pair<BxColor, std::size_t>(colour, 0));
        if (at == entries_.end() || at->first != colour) {
            return std::nullopt;
        }
        return at->second;
    }

  private:
    std::vector<std::pair<BxColor, std::size_t>> entries_;
};

// Puts the image on the table: each colour goes to its nearest allowed entry, except that a
// colour which is itself an entry (an extreme the quantizer kept, such as pure white) stays that
// entry.
void MapKeepingEntries(BxIndexedImage& image, const BxColorTable& table,
                       const BxAllowedSet* allowed) {
    BxIndexMap map{};
    BuildColorMap(image.Palette(), table, allowed, &map);
    const std::size_t count = std::min(image.Palette().Count(), map.size());
    const EntriesByColour entries(table);
    for (std::size_t i = 0; i < count; ++i) {
        if (const std::optional<std::size_t> entry = entries.Find(image.Palette().ColorAt(i))) {
            map[i] = static_cast<std::uint8_t>(*entry);
        }
    }
    image.SetPalette(table);
    image.RemapIndices(&map);
}

// Opens the GIF in memory for reading; raises when the bytes are no GIF.
void OpenGif(std::span<const std::uint8_t> bytes, BxGIFFile& file) {
    file.SetBytes(bytes);
    file.Open(BxFile::kReadable | BxFile::kMemory);
    if (!file.IsGIFFile()) {
        BxRaise(kBxErrNotGIF);
    }
}

}  // namespace

void ReadAnimation(std::span<const std::uint8_t> bytes, BxAnimation& animation) {
    BxGIFFile file;
    OpenGif(bytes, file);
    ReadFrames(file, animation);
    file.Close();
}

void SnapPaletteExtremes(BxColorTable& palette) {
    for (std::size_t i = 0; i < palette.Count(); ++i) {
        const BxColor c = palette.ColorAt(i);
        const int r = BxRedOf(c);
        const int g = BxGreenOf(c);
        const int b = BxBlueOf(c);
        if (r < kNearBlack && g < kNearBlack && b < kNearBlack) {
            palette.SetColor(i, 0, 0, 0);
        } else if (r > kNearWhite && g > kNearWhite && b > kNearWhite) {
            palette.SetColor(i, 255, 255, 255);
        }
    }
}

void CropUnusedAreas(BxAnimation& animation) {
    // A still image has nothing to repeat, so its transparent border is part of the picture.
    if (animation.GetFrameCount() <= 1) {
        return;
    }
    const std::uint32_t screenWidth = animation.GetWidth();
    const std::uint32_t screenHeight = animation.GetHeight();
    // 1 where the screen shows the background: nothing drawn there yet, or cleared since by a
    // frame that restores the background.
    std::vector<std::uint8_t> clear;
    std::vector<std::uint8_t> saved;
    try {
        clear.assign(std::size_t{screenWidth} * screenHeight, 1);
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        BxGIFFrame& frame = FrameAt(animation, i);
        const BxGIFFrameInfo& info = frame.GIFInfo();
        const std::uint32_t width = frame.GetWidth();
        const std::uint32_t height = frame.GetHeight();
        // A frame without pixels draws and clears nothing, and has nothing to cut.
        if (width == 0 || height == 0) {
            continue;
        }
        // The part of the frame on the screen; the reader refuses frames that reach past it.
        const std::uint32_t left = std::min<std::uint32_t>(info.left, screenWidth);
        const std::uint32_t top = std::min<std::uint32_t>(info.top, screenHeight);
        const std::uint32_t onWidth = std::min(width, screenWidth - left);
        const std::uint32_t onHeight = std::min(height, screenHeight - top);
        const std::int32_t disposal = info.disposal;
        if (disposal == kDisposePrevious) {
            try {
                saved.resize(std::size_t{onWidth} * onHeight);
            } catch (const std::bad_alloc&) {
                BxRaise(kBxErrNoMemory);
            }
            for (std::uint32_t y = 0; y < onHeight; ++y) {
                std::copy_n(clear.data() + std::size_t{top + y} * screenWidth + left, onWidth,
                            saved.data() + std::size_t{y} * onWidth);
            }
        }
        // A frame that restores the background clears its whole rectangle when it ends. Cut
        // down, it clears only the part kept, and the rest keeps what it showed: the same only
        // where that is the background already. So such a frame keeps, besides its opaque
        // pixels, every position where the screen beneath it shows something.
        std::uint32_t boxLeft = width, boxTop = height, boxRight = 0, boxBottom = 0;
        {
            const BxBitmapImage& mask = frame.GetMask();
            const std::uint8_t polarity = mask.Polarity();
            BxPixelLock bits(mask);
            for (std::uint32_t y = 0; y < height; ++y) {
                const std::uint8_t* maskRow = bits.Row(y);
                std::uint8_t* clearRow =
                    y < onHeight ? clear.data() + std::size_t{top + y} * screenWidth + left
                                 : nullptr;
                const bool mindShown = disposal == kDisposeBackground && clearRow;
                // The first position the row keeps, and one past its last.
                std::uint32_t first = width, end = 0;
                // A mask byte holds eight pixels from its most significant bit; most bytes of a
                // differenced frame are all transparent and keep nothing.
                for (std::uint32_t x0 = 0; x0 < width; x0 += 8) {
                    const std::uint32_t count = std::min<std::uint32_t>(8, width - x0);
                    const auto opaqueBits = static_cast<std::uint8_t>(
                        OpaqueBits(maskRow[x0 >> 3], polarity) & (0xFF << (8 - count)));
                    if (opaqueBits == 0 && !mindShown) {
                        continue;
                    }
                    if (opaqueBits == 0xFF && !mindShown) {  // eight opaque pixels
                        first = std::min(first, x0);
                        end = x0 + 8;
                        if (clearRow && x0 < onWidth) {
                            std::fill(clearRow + x0, clearRow + std::min(x0 + 8, onWidth), 0);
                        }
                        continue;
                    }
                    for (std::uint32_t k = 0; k < count; ++k) {
                        const std::uint32_t x = x0 + k;
                        const bool opaque = (opaqueBits & (0x80 >> k)) != 0;
                        const bool shown = mindShown && x < onWidth && !clearRow[x];
                        if (!opaque && !shown) {
                            continue;
                        }
                        first = std::min(first, x);
                        end = x + 1;
                        if (opaque && clearRow && x < onWidth) {
                            // Drawn now; the disposal below may clear it again.
                            clearRow[x] = 0;
                        }
                    }
                }
                if (end > 0) {
                    boxLeft = std::min(boxLeft, first);
                    boxRight = std::max(boxRight, end);
                    boxTop = std::min(boxTop, y);
                    boxBottom = y + 1;
                }
            }
        }
        // Nothing to keep: the top-left pixel, transparent, on a background it leaves alone.
        if (boxRight <= boxLeft || boxBottom <= boxTop) {
            boxLeft = 0;
            boxTop = 0;
            boxRight = 1;
            boxBottom = 1;
        }
        if (disposal == kDisposeBackground) {
            for (std::uint32_t y = boxTop; y < std::min(boxBottom, onHeight); ++y) {
                for (std::uint32_t x = boxLeft; x < std::min(boxRight, onWidth); ++x) {
                    clear[std::size_t{top + y} * screenWidth + left + x] = 1;
                }
            }
        } else if (disposal == kDisposePrevious) {
            for (std::uint32_t y = 0; y < onHeight; ++y) {
                std::copy_n(saved.data() + std::size_t{y} * onWidth, onWidth,
                            clear.data() + std::size_t{top + y} * screenWidth + left);
            }
        }
        if (boxLeft > 0 || boxTop > 0 || boxRight < width || boxBottom < height) {
            animation.ReplaceFrame(i, frame.CropToArea(boxLeft, boxTop, boxRight, boxBottom));
        }
    }
}

void BuildGlobalPalette(BxAnimation& animation, int target) {
    const std::size_t colours = target == 0 ? 256 : (target == 1 ? 128 : 64);
    BxQuantOctree octree;
    BxGIFGlobalInfo& global = GlobalOf(animation);
    global.hasGlobalTable = 1;
    // Each frame's counts serve the shared palette and, as the frame is still as it was when
    // its turn comes, the choice of its entries.
    std::vector<BxIndexCounts> counts(animation.GetFrameCount());
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        const BxIndexedImage& image = FrameAt(animation, i).GetImage();
        image.CountIndices(&counts[i]);
        octree.AddIndexed(image.Palette(), counts[i]);
    }
    const BxColorTable table = octree.MakePalette(colours).Compacted();
    const std::size_t perFrame = target == 1 ? kFrameEntries128 : kFrameEntries64;
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        BxGIFFrame& frame = FrameAt(animation, i);
        frame.GIFInfo().hasLocalTable = 0;
        if (target == 0) {
            MapKeepingEntries(frame.GetImage(), table, nullptr);
        } else {
            const BxAllowedSet allowed =
                SelectEntries(frame.GetImage().Palette(), counts[i], table, perFrame);
            MapKeepingEntries(frame.GetImage(), table, &allowed);
        }
    }
    global.globalTable = table;
    global.declaredTableSize = static_cast<std::uint16_t>(table.Count());
}

void MergePaletteDuplicates(BxAnimation& animation) {
    BxGIFGlobalInfo& global = GlobalOf(animation);
    if (!global.hasGlobalTable || global.globalTable.Count() <= 1) {
        return;
    }
    BxIndexMap map{};
    for (std::size_t i = 0; i < map.size(); ++i) {
        map[i] = static_cast<std::uint8_t>(i);
    }
    const std::size_t count = std::min(global.globalTable.Count(), map.size());
    const BxColorTable compacted = global.globalTable.Compacted(std::span(map.data(), count));
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        BxIndexedImage& image = FrameAt(animation, i).GetImage();
        image.RemapIndices(&map);
        // The pixels now index the compacted table, so the image's own palette must be it too.
        image.SetPalette(compacted);
    }
    global.globalTable = compacted;
    global.declaredTableSize = static_cast<std::uint16_t>(compacted.Count());
}

std::optional<BxColorTable> ExactPalette(const BxAnimation& animation, std::size_t limit) {
    // Every animation may need a transparent entry once unchanged pixels are made transparent.
    bool transparency = animation.GetFrameCount() > 1;
    std::vector<BxColor> colours;
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        const BxGIFFrame& frame = FrameAt(animation, i);
        const BxIndexedImage& image = frame.GetImage();
        BxIndexCounts counts{};
        image.CountIndices(&counts, &frame.GetMask());
        std::uint64_t opaque = 0;
        for (std::size_t value = 0; value < counts.size(); ++value) {
            if (counts[value] == 0) {
                continue;
            }
            opaque += counts[value];
            const BxColor colour = ColourOfValue(image.Palette(), value);
            if (std::find(colours.begin(), colours.end(), colour) == colours.end()) {
                // Bound: the list stops growing one past the limit.
                if (colours.size() >= limit) {
                    return std::nullopt;
                }
                colours.push_back(colour);
            }
        }
        transparency = transparency || opaque < std::uint64_t{image.GetWidth()} * image.GetHeight();
    }
    if (colours.empty()) {
        colours.push_back(BxPackColor(0, 0, 0));  // no opaque pixel: any one entry
    }
    if (colours.size() + (transparency ? 1 : 0) > limit) {
        return std::nullopt;
    }
    BxColorTable table(colours.size());
    for (std::size_t j = 0; j < colours.size(); ++j) {
        table.SetColor(j, BxRedOf(colours[j]), BxGreenOf(colours[j]), BxBlueOf(colours[j]));
    }
    return table;
}

void UseExactPalette(BxAnimation& animation, const BxColorTable& table) {
    BxGIFGlobalInfo& global = GlobalOf(animation);
    const EntriesByColour entries(table);
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        BxGIFFrame& frame = FrameAt(animation, i);
        frame.GIFInfo().hasLocalTable = 0;
        BxIndexedImage& image = frame.GetImage();
        // Values whose colour no opaque pixel shows are transparent wherever they occur; any
        // entry will do for them.
        BxIndexMap map{};
        for (std::size_t value = 0; value < map.size(); ++value) {
            map[value] = static_cast<std::uint8_t>(
                entries.Find(ColourOfValue(image.Palette(), value)).value_or(0));
        }
        image.RemapIndices(&map);
        image.SetPalette(table);
    }
    global.hasGlobalTable = 1;
    global.globalTable = table;
    global.declaredTableSize = static_cast<std::uint16_t>(table.Count());
}

void NormaliseFrameRecords(BxAnimation& animation) {
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        BxGIFFrame& frame = FrameAt(animation, i);
        BxGIFFrameInfo& info = frame.GIFInfo();
        // "Unspecified" and the undefined values mean "leave in place" to every viewer. A frame
        // that restores the previous screen keeps doing so: written as "leave in place" it would
        // stay visible under every later frame's transparent pixels.
        if (info.disposal != kDisposeBackground && info.disposal != kDisposePrevious) {
            info.disposal = kDisposeNone;
        }
        frame.SetTransparencyFlag(frame.HasTransparentPixels() ? 1 : 0);
    }
}

void ReserveTransparentEntry(BxAnimation& animation, bool keepEveryColour) {
    BxGIFGlobalInfo& global = GlobalOf(animation);
    const std::size_t n = global.globalTable.Count();
    // A frame with a transparent pixel that uses every entry would take entry n, past the
    // table's code width when n is a power of two, or give up a colour at 64 and 128 entries
    // (ChooseTransparentIndex). Reduced colours may lose one more rather than double the table.
    if (!global.hasGlobalTable || n == 0 || n >= 256 ||
        (!keepEveryColour && (n == 64 || n == 128))) {
        return;
    }
    bool full = false;
    for (std::size_t i = 0; i < animation.GetFrameCount() && !full; ++i) {
        const BxGIFFrame& frame = FrameAt(animation, i);
        if (!frame.GetTransparencyFlag()) {
            continue;
        }
        BxIndexCounts counts{};
        frame.GetImage().CountIndices(&counts, &frame.GetMask());
        full = BxIndexedImage::CountUsed(&counts, n) == n;
    }
    if (!full) {
        return;
    }
    global.globalTable.Resize(n + 1);
    global.declaredTableSize = static_cast<std::uint16_t>(n + 1);
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        FrameAt(animation, i).GetImage().SetPalette(global.globalTable);
    }
}

bool SuppressUnchangedPixels(BxAnimation& animation) {
    bool changed = false;
    BxGIFFrame canvas(animation.GetWidth(), animation.GetHeight());
    BxIndexedImage& screen = canvas.GetImage();
    BxBitmapImage& covered = canvas.GetMask();
    covered.SetPolarity(0);
    covered.SetFillValue(0);
    covered.Clear();
    const std::uint32_t screenWidth = animation.GetWidth();
    const std::uint32_t screenHeight = animation.GetHeight();
    BxPixelLock screenPixels(screen);
    BxPixelLock coveredBits(covered);
    for (std::size_t f = 0; f < animation.GetFrameCount(); ++f) {
        BxGIFFrame& frame = FrameAt(animation, f);
        BxGIFFrameInfo& info = frame.GIFInfo();
        // "Unspecified" and the undefined values mean "leave in place" to every viewer. A frame
        // that restores the previous screen keeps doing so: written as "leave in place" it would
        // stay visible under every later frame's transparent pixels.
        if (info.disposal != kDisposeBackground && info.disposal != kDisposePrevious) {
            changed = changed || info.disposal != kDisposeNone;
            info.disposal = kDisposeNone;
        }
        BxIndexedImage& image = frame.GetImage();
        BxBitmapImage& mask = frame.GetMask();
        const std::uint32_t width = image.GetWidth();
        const std::uint32_t height = image.GetHeight();
        std::vector<std::uint8_t> marks;
        try {
            marks.assign(std::size_t{width} * height + 20, 0);
        } catch (const std::bad_alloc&) {
            BxRaise(kBxErrNoMemory);
        }
        const std::uint8_t polarity = mask.Polarity();
        std::size_t made = 0;  // pixels made transparent
        CanvasPatch saved;
        if (info.disposal == kDisposePrevious) {
            saved = SaveCanvas(screenPixels, coveredBits, info, screenWidth, screenHeight);
        }
        {
            BxPixelLock pixels(image);
            BxPixelLock bits(mask);
            // Pixels off the screen are never shown, so they compare with nothing.
            // Held in locals: the compiler takes a byte written through a row for one that may
            // change the record or the marks' own pointer, and would read them per pixel.
            const std::uint32_t left = info.left;
            const std::uint32_t top = info.top;
            const bool clearsWhenDone = info.disposal == kDisposeBackground;
            const std::uint32_t onWidth =
                left < screenWidth ? std::min(width, screenWidth - left) : 0;
            for (std::uint32_t y = 0; y < height; ++y) {
                const std::uint32_t sy = top + y;
                if (sy >= screenHeight) {
                    break;
                }
                const std::uint8_t* row = pixels.Row(y);
                std::uint8_t* maskRow = bits.Row(y);
                std::uint8_t* canvasRow = screenPixels.Row(sy);
                std::uint8_t* coveredRow = coveredBits.Row(sy);
                std::uint8_t* markRow = marks.data() + std::size_t{y} * width;
                for (std::uint32_t x = 0; x < onWidth; ++x) {
                    const std::uint32_t sx = left + x;
                    if (!clearsWhenDone && (x & 7) == 0 && onWidth - x >= 8) {
                        // Transparent pixels change nothing but a clearing frame's covered bits.
                        const std::uint8_t maskByte = maskRow[x >> 3];
                        const std::uint8_t opaqueBits = OpaqueBits(maskByte, polarity);
                        if (opaqueBits == 0) {
                            x += 7;
                            continue;
                        }
                        // Eight opaque pixels over eight covered places: those that repeat the
                        // screen become transparent, and all eight are drawn.
                        if (opaqueBits == 0xFF && EightBitsAt(coveredRow, sx) == 0xFF) {
                            const std::uint8_t same = EqualBits(row + x, canvasRow + sx);
                            if (same != 0) {
                                maskRow[x >> 3] = static_cast<std::uint8_t>(maskByte ^ same);
                                for (std::uint32_t k = 0; k < 8; ++k) {
                                    markRow[x + k] = (same >> (7 - k)) & 1;
                                }
                                made += static_cast<std::size_t>(std::popcount(same));
                            }
                            std::copy_n(row + x, 8, canvasRow + sx);
                            x += 7;
                            continue;
                        }
                    }
                    const std::uint8_t p = row[x];
                    if (StoredBit(maskRow, x) != polarity) {
                        if (!StoredBit(coveredRow, sx)) {
                            PutBit(coveredRow, sx, 1);
                        } else if (p == canvasRow[sx]) {
                            PutBit(maskRow, x, polarity);
                            markRow[x] = 1;
                            ++made;
                        }
                        canvasRow[sx] = p;
                    }
                    if (clearsWhenDone) {
                        PutBit(coveredRow, sx, 0);
                    }
                }
            }
        }
        if (info.disposal == kDisposePrevious) {
            RestoreCanvas(screenPixels, coveredBits, saved);
        }
        const std::size_t restored = RestoreShortRuns(mask, marks);
        changed = changed || restored < made;
        const std::uint8_t flag = frame.HasTransparentPixels() ? 1 : 0;
        changed = changed || flag != frame.GetTransparencyFlag();
        frame.SetTransparencyFlag(flag);
    }
    return changed;
}

void ResolveBackgroundIndex(BxAnimation& animation, BxColor colour) {
    BxGIFGlobalInfo& global = GlobalOf(animation);
    if (!global.hasGlobalTable || global.globalTable.Count() == 0) {
        global.globalTable = BxColorTable(2);
        global.globalTable.SetColor(0, BxRedOf(colour), BxGreenOf(colour), BxBlueOf(colour));
        global.globalTable.SetColor(1, BxRedOf(colour), BxGreenOf(colour), BxBlueOf(colour));
        global.declaredTableSize = 2;
        global.hasGlobalTable = 1;
        global.backgroundIndex = 0;
        return;
    }
    global.backgroundIndex = static_cast<std::uint8_t>(global.globalTable.Nearest(colour));
}

namespace {

// Writes the animation into the file, opened in the given writable mode.
void WriteFrames(BxGIFFile& file, std::uint16_t mode, BxAnimation& animation) {
    const BxGIFFrame::BackgroundColour& bg = FrameAt(animation, 0).GetBackgroundColour();
    ResolveBackgroundIndex(animation, BxPackColor(bg[0], bg[1], bg[2]));
    BxGIFGlobalInfo& global = GlobalOf(animation);
    // A still has nothing to loop, and its graphic control block only matters for transparency.
    const bool still = animation.GetFrameCount() == 1;
    if (still) {
        global.hasLoop = 0;
    }
    bool extensions = global.hasLoop != 0;
    for (const BxGIFComment& comment : global.comments) {
        extensions = extensions || comment.Length() > 0;
    }
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        BxGIFFrameInfo& info = FrameAt(animation, i).GIFInfo();
        if (still) {
            info.hasGraphicControl = info.transparent ? 1 : 0;
        } else if (info.delay != 0 || info.disposal != 0 || info.transparent != 0) {
            info.hasGraphicControl = 1;
        }
        extensions = extensions || info.hasGraphicControl != 0;
    }
    // GIF89a is the version that has extensions; a file without them is a GIF87a file.
    global.version89a = extensions ? 1 : 0;
    file.SetScreenSize(animation.GetWidth(), animation.GetHeight());
    file.SetGlobalInfo(global.Clone());
    file.SetFrameCount(static_cast<std::uint32_t>(animation.GetFrameCount()));
    file.Open(mode);
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        const BxGIFFrame& frame = FrameAt(animation, i);
        file.WriteNextFrame(frame.GetImage(), frame.GIFInfo());
    }
}

// Copies of the frames' masks, taken before unchanged pixels are made transparent: the masks are
// all that changes.
std::vector<std::unique_ptr<BxImage>> CopyMasks(const BxAnimation& animation) {
    std::vector<std::unique_ptr<BxImage>> masks;
    masks.reserve(animation.GetFrameCount());
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        masks.push_back(FrameAt(animation, i).GetMask().Clone());
    }
    return masks;
}

// A deep copy of the global record and of the frames with the masks they had before (which go,
// one by one as their frames are copied): the frames as they were before unchanged pixels were
// made transparent, the transparency flags following the masks as the records were normalised.
void CopyWithMasks(const BxAnimation& from, std::vector<std::unique_ptr<BxImage>>& masks,
                   BxAnimation& to) {
    to.SetSize(from.GetWidth(), from.GetHeight());
    to.SetGlobalInfo(GlobalOf(from).Clone());
    for (std::size_t i = 0; i < from.GetFrameCount(); ++i) {
        const BxGIFFrame& frame = FrameAt(from, i);
        auto copy =
            BxMake<BxGIFFrame>(frame.GetImage(), static_cast<const BxBitmapImage&>(*masks[i]));
        copy->GetBackgroundColour() = frame.GetBackgroundColour();
        masks[i].reset();
        to.AppendFrame(std::move(copy), false);
    }
}

// Moves the frames and the global record of one animation into the other, whose own go.
void MoveAnimation(BxAnimation& from, BxAnimation& to) {
    while (to.GetFrameCount() > 0) {
        to.RemoveFrame(to.GetFrameCount() - 1);
    }
    while (from.GetFrameCount() > 0) {
        to.AppendFrame(from.DetachFrame(0), false);
    }
    to.SetGlobalInfo(from.TakeGlobalInfo());
}

// The steps after the shared palette and the transparency of unchanged pixels.
void FinishFrames(BxAnimation& animation, bool exact, const std::function<void(const char*)>& say) {
    say("Cropping unused areas...");
    CropUnusedAreas(animation);
    say("Resolving color indexes...");
    const BxGIFFrame::BackgroundColour& bg = FrameAt(animation, 0).GetBackgroundColour();
    ResolveBackgroundIndex(animation, BxPackColor(bg[0], bg[1], bg[2]));
    ReserveTransparentEntry(animation, exact);
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        BxGIFFrame& frame = FrameAt(animation, i);
        // Until now transparency lives in the mask and the record's index is the one the file
        // came with. Painting the transparent pixels with the index they are written with lets
        // the smoothing leave them alone; the smoothing only swaps opaque pixels, so the choice
        // holds for writing (choosing again would pick the same index, at the cost of a count).
        frame.ChooseTransparentIndex(false);
        // Swapping pixels changes the picture: only where the colours were reduced anyway.
        if (!exact) {
            SmoothDither(frame.GetImage(),
                         frame.GetTransparencyFlag()
                             ? std::optional<std::uint8_t>(frame.GetTransparentIndex())
                             : std::nullopt);
        }
    }
}

}  // namespace

std::vector<std::uint8_t> WriteAnimation(BxAnimation& animation) {
    BxGIFFile file;
    WriteFrames(file, BxFile::kWritable | BxFile::kMemory, animation);
    std::vector<std::uint8_t> bytes = file.TakeWritten();
    file.Close();
    return bytes;
}

std::vector<std::uint8_t> OptimizeAnimation(BxAnimation& animation, StatusSink* status) {
    const std::function<void(const char*)> say = [status](const char* text) {
        if (status) {
            status->SetStatus(text);
        }
    };
    say("Cropping unused areas...");
    CropUnusedAreas(animation);
    // Colours that fit the palette are kept as they are; only more are reduced.
    const std::optional<BxColorTable> exact = ExactPalette(animation, kPaletteColours);
    say("Adjusting global palette...");
    if (exact) {
        UseExactPalette(animation, *exact);
    } else {
        for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
            SnapPaletteExtremes(FrameAt(animation, i).GetImage().Palette());
        }
        BuildGlobalPalette(animation, 1);
    }
    say("Removing global palette duplicates...");
    MergePaletteDuplicates(animation);
    NormaliseFrameRecords(animation);
    // One frame repeats nothing.
    std::vector<std::unique_ptr<BxImage>> masks;
    if (animation.GetFrameCount() > 1) {
        masks = CopyMasks(animation);
    }
    if (masks.empty() || !SuppressUnchangedPixels(animation)) {
        // No pixel repeats what the screen shows beneath it: the plain encoding would be this
        // very file.
        FinishFrames(animation, exact.has_value(), say);
        return WriteAnimation(animation);
    }
    // Transparent runs break the LZW strings of dithered pictures, so an animation is encoded
    // both ways and keeps the smaller.
    BxAnimation plain;
    CopyWithMasks(animation, masks, plain);
    FinishFrames(animation, exact.has_value(), say);
    std::vector<std::uint8_t> bytes = WriteAnimation(animation);
    FinishFrames(plain, exact.has_value(), say);
    std::vector<std::uint8_t> plainBytes = WriteAnimation(plain);
    if (plainBytes.size() < bytes.size()) {
        MoveAnimation(plain, animation);
        bytes = std::move(plainBytes);
    }
    return bytes;
}

}  // namespace gifopt

namespace {

// A file the stage cannot read as a GIF is named in the error log and left as it is.
GifStageResult Refused(const char* action, std::string reason) {
    GifStageResult result;
    result.notes.push_back({action, std::move(reason)});
    return result;
}

// Only a candidate that our own reader accepts, with the same frame count and screen size, may
// replace the file. Every frame is decoded, as ReadAnimation would, and let go at once: the
// check needs no frame kept, nor its transparency mask worked out.
bool ReadsBackAs(const std::vector<std::uint8_t>& candidate, const BxAnimation& animation) {
    BxGIFFile file;
    gifopt::OpenGif(candidate, file);
    std::size_t frames = 0;
    gifopt::DecodeFrames(file, [&frames](std::unique_ptr<BxIndexedImage>) { ++frames; });
    const bool sameScreen = file.GetScreenWidth() == animation.GetWidth() &&
                            file.GetScreenHeight() == animation.GetHeight();
    file.Close();
    return frames == animation.GetFrameCount() && sameScreen;
}

}  // namespace

GifStageResult OptimizeGif(std::span<const std::uint8_t> bytes, gifopt::StatusSink* status) {
    BxAnimation animation;
    {
        BxGIFFile file;
        file.SetBytes(bytes);
        try {
            file.Open(BxFile::kReadable | BxFile::kMemory);
        } catch (const BxErrorCode&) {
            return Refused("open file", "unexpected format");
        }
        bool isGif = false;
        try {
            isGif = file.IsGIFFile();
        } catch (const BxErrorCode&) {
            isGif = false;
        }
        if (!isGif) {
            return Refused("read file", "unrecognizable format");
        }
        std::string refusal = gifopt::DecodeBudgetRefusal(file);
        if (!refusal.empty()) {
            return Refused("optimize file", std::move(refusal));
        }
        gifopt::ReadFrames(file, animation);
        file.Close();
    }
    if (animation.GetFrameCount() == 0) {
        return {};
    }
    GifStageResult result;
    result.bytes = gifopt::OptimizeAnimation(animation, status);
    if (result.bytes.size() >= bytes.size() || !ReadsBackAs(result.bytes, animation)) {
        result.bytes.clear();
    }
    return result;
}

}  // namespace quillon
