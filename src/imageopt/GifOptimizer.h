// The GIF stage of the per-file pipeline: rebuilds a GIF around one shared palette of at most 128
// colours (the file's own colours when they fit), makes pixels that repeat what the screen
// already shows transparent where that pays, crops frames to what they change. It turns a file's
// bytes into new ones, which the pipeline writes only when they are fewer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "BxCode/BxColorTable.h"

class BxAnimation;

namespace quillon {

// A line for the error log: what was being done and why it failed (the pipeline names the file).
struct GifStageNote {
    std::string action;
    std::string reason;
};

// What the stage makes of a file: the new bytes when they are smaller than the file's, else
// nothing, and the notes for files it cannot handle.
struct GifStageResult {
    std::vector<std::uint8_t> bytes;
    std::vector<GifStageNote> notes;
};

namespace gifopt {

// Receives the stage's progress texts.
struct StatusSink {
    virtual ~StatusSink() = default;
    virtual void SetStatus(const char* text) = 0;
};

}  // namespace gifopt

// The GIF stage: bytes in, smaller bytes (or none) out. The candidate is written into memory and
// read back there; only one that reads back with the same frame count and screen size is given
// out. Failures other than a file that is no readable GIF raise (BxErrorCode, std::bad_alloc).
GifStageResult OptimizeGif(std::span<const std::uint8_t> file, gifopt::StatusSink* status);

// The in-memory steps, for tests and the benchmarks.
namespace gifopt {

// Reads every frame of the GIF into the animation (BxErrorCode on failure).
void ReadAnimation(std::span<const std::uint8_t> file, BxAnimation& animation);
// Everything between reading and writing; `status` may be null. An animation is finished twice,
// with and without unchanged pixels made transparent, and keeps the smaller; the bytes returned
// are its encoding (WriteAnimation of the animation as left).
std::vector<std::uint8_t> OptimizeAnimation(BxAnimation& animation, StatusSink* status);
// The animation as a GIF file, its frames written as they stand: a transparent frame's hidden
// pixels already hold its transparent index, as OptimizeAnimation leaves them.
std::vector<std::uint8_t> WriteAnimation(BxAnimation& animation);

void SnapPaletteExtremes(BxColorTable& palette);
// Crops every frame of an animation to what it must keep: its opaque pixels and, for a frame
// that restores the background when it ends, the positions where the screen beneath it does not
// show the background already.
void CropUnusedAreas(BxAnimation& animation);
void BuildGlobalPalette(BxAnimation& animation, int target);
// The colours the opaque pixels of all frames show, frame by frame in the order of the entries
// that show them, when they fit in `limit` entries with one to spare for transparency (which an
// animation or a frame with transparent pixels may need); else none.
std::optional<BxColorTable> ExactPalette(const BxAnimation& animation, std::size_t limit);
// Moves every frame onto that table, each pixel to the entry of its own colour.
void UseExactPalette(BxAnimation& animation, const BxColorTable& table);
void MergePaletteDuplicates(BxAnimation& animation);
// Disposal 0 and the undefined values become 1 (leave in place); the transparency flag follows
// the mask.
void NormaliseFrameRecords(BxAnimation& animation);
// Makes transparent the pixels that repeat what the screen shows beneath them (short runs
// excepted); returns whether anything changed, a pixel or a record.
bool SuppressUnchangedPixels(BxAnimation& animation);
void ResolveBackgroundIndex(BxAnimation& animation, BxColor colour);
// Grows the shared table by one entry when a frame with transparent pixels uses every entry, so
// that the transparent index lies in the table and no colour is given up; with reduced colours
// (keepEveryColour false) not at 64 and 128 entries, where that would double the table.
void ReserveTransparentEntry(BxAnimation& animation, bool keepEveryColour);

}  // namespace gifopt
}  // namespace quillon
