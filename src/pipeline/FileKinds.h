// The kinds of file a run optimizes, in one table: how a file of each kind is recognised, how it
// is shown and counted, the setting that turns it on and the stage that makes it smaller. The
// results, the report, the command line's summary and the results dialog list the kinds in the
// table's order. A new kind is a row here, its stage, its settings keys and page, and its help.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "imageopt/JpegRecompress.h"
#include "pipeline/FileClass.h"
#include "pipeline/PageChain.h"
#include "pipeline/SettingsStore.h"

namespace quillon {

// The settings every stage reads, taken for each file before its stage runs, so that a stage
// never reads the store itself.
struct StageSettings {
    PageSettings pages;
    bool gifStage = true;   // the GIF stage's second gate, written by no settings page
    bool jpegStage = true;  // the JPEG stage's own gate
    JpegRecompression jpegRecompression = JpegRecompression::kProgressive;
};
StageSettings ReadStageSettings(const SettingsStore& settings);

// What a stage may tell the run while it works on a file.
class StageEvents {
  public:
    virtual ~StageEvents() = default;
    virtual void Status(std::string_view text) = 0;
    // A point where the run may be cancelled: throws out of the stage when it was.
    virtual void Checkpoint() = 0;
    // An error-log line about the file: what was being done, and why it failed.
    virtual void Note(std::string_view action, std::string_view reason) = 0;
};

// A stage works on the file's bytes in place and gives their new length (no more than before),
// or nothing when it did not take the file (the file is then logged but counted under no kind).
// Other failures raise, and the file stays as it was.
using Stage = std::optional<std::uint32_t> (*)(std::span<std::uint8_t> file,
                                               const StageSettings& settings, StageEvents& events);

struct FileKind {
    FileClass fileClass;
    std::span<const std::string_view> suffixes;  // letters compared without regard to case
    std::string_view typeLabel;                  // beside the file being worked on
    std::string_view columnLabel;                // the report's column
    std::string_view shortLabel;                 // the results dialog's and summary's column
    std::string_view summaryKey;                 // the command line's name for the kind
    std::string_view gateSection;                // the setting that turns the kind on (0: off)
    std::string_view gateKey;
    Stage stage;
    // About how many bytes of memory the stage holds per byte of a file, at most for common
    // files: it weighs the files a run works on at once.
    std::uint32_t memoryPerByte;
};

// The kinds in the order the results list them.
std::span<const FileKind, kFileKindCount> FileKinds();

// The row of a class; null for kNone.
const FileKind* KindOf(FileClass fileClass);
// The row's position in the table, where the run's counters keep its figures.
std::size_t KindSlot(FileClass fileClass);

// The kind a file's name gives it: the first suffix that ends the name, in the table's order.
FileClass ClassifyPath(std::string_view path);

// The "HTML File", "GIF File" or "JPEG File" shown beside a file; empty for kNone.
std::string_view TypeLabel(FileClass fileClass);

// Whether a page file goes through the web-page chain. A 0 byte means it is no 8-bit text
// (UTF-16, or a binary file with a page's name): the passes take 0 for a deleted byte and would
// corrupt it. A file holding no markup at all (no `<` followed by a letter, `/`, `!` or `?`) is
// shown as plain text, its layout being its content: a licence or help text named .txt.
bool PageGoesThroughChain(const std::uint8_t* data, std::size_t size);

}  // namespace quillon
