// The GIF stage of the per-file pipeline: rebuilds a GIF around one shared palette of at most 128
// colours, makes pixels that repeat what the screen already shows transparent, crops frames to
// what they change, and replaces the file only when the result is smaller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "BxCode/BxColorTable.h"

class BxAnimation;

namespace quillon {

class CFileProcessor;

// What the stage needs from the pipeline around it.
class GifStageHost {
  public:
    virtual ~GifStageHost() = default;
    virtual void SetStatus(std::string_view text) = 0;
    // Notes a file that could not be opened as a GIF.
    virtual void WriteErrorLog(std::string_view text) = 0;
    // Puts the smaller result in the file's place (with its backup first, where the run keeps
    // them); throws when that cannot be done, leaving the file as it was.
    virtual void ReplaceFile(const std::string& path, const std::uint8_t* data,
                             std::uint32_t size) = 0;
};

// The size of the rewritten file, or `size` when the file was left as it was. Writes the two
// error-log lines for files that cannot be opened as GIF; other failures propagate and abandon
// the file, which is then as it was.
std::uint32_t OptimizeGifFile(GifStageHost& host, const std::string& path, std::uint32_t size);
// The pipeline's GIF stage.
std::uint32_t OptimizeGifFile(CFileProcessor& processor, const std::string& path,
                              std::uint32_t size);

// The in-memory steps, for tests and the benchmarks.
namespace gifopt {

// Reads every frame of the file into the animation (BxErrorCode on failure).
void ReadAnimation(const std::string& path, BxAnimation& animation);
// Everything between reading and writing; `status` receives the progress texts (may be empty).
struct StatusSink {
    virtual ~StatusSink() = default;
    virtual void SetStatus(const char* text) = 0;
};
void OptimizeAnimation(BxAnimation& animation, StatusSink* status);
// Writes the animation to the path, or only counts its bytes without one; returns the count
// (0 with a path).
std::int64_t WriteAnimation(const std::string* path, BxAnimation& animation);

void SnapPaletteExtremes(BxColorTable& palette);
void CropUnusedAreas(BxAnimation& animation);
void BuildGlobalPalette(BxAnimation& animation, int target);
void MergePaletteDuplicates(BxAnimation& animation);
void SuppressUnchangedPixels(BxAnimation& animation);
void ResolveBackgroundIndex(BxAnimation& animation, BxColor colour);

}  // namespace gifopt
}  // namespace quillon
