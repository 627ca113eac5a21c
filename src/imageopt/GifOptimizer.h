// The GIF stage of the per-file pipeline: rebuilds a GIF around one shared palette of at most 128
// colours, makes pixels that repeat what the screen already shows transparent, crops frames to
// what they change. It turns a file's bytes into new ones, which the pipeline writes only when they
// are fewer.
#pragma once

#include <cstdint>
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
// Everything between reading and writing; `status` may be null.
void OptimizeAnimation(BxAnimation& animation, StatusSink* status);
// The animation as a GIF file.
std::vector<std::uint8_t> WriteAnimation(BxAnimation& animation);
// How many bytes WriteAnimation would give, without making them.
std::int64_t MeasureAnimation(BxAnimation& animation);

void SnapPaletteExtremes(BxColorTable& palette);
void CropUnusedAreas(BxAnimation& animation);
void BuildGlobalPalette(BxAnimation& animation, int target);
void MergePaletteDuplicates(BxAnimation& animation);
void SuppressUnchangedPixels(BxAnimation& animation);
void ResolveBackgroundIndex(BxAnimation& animation, BxColor colour);

}  // namespace gifopt
}  // namespace quillon
