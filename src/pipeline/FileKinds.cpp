#include "pipeline/FileKinds.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imageopt/GifOptimizer.h"
#include "imageopt/JpegOptimizer.h"
#include "pipeline/RunView.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

// Shown while a GIF or JPEG is worked on, as the JPEG stage began it.
constexpr std::string_view kAnalyzingStatus = "Analyzing data for application segments...";

// The page chain's view of the run.
class ChainEvents : public PageChainObserver {
  public:
    explicit ChainEvents(StageEvents& events) : events_(events) {}
    void OnStatus(std::string_view status) override { events_.Status(status); }
    void OnCheckpoint() override { events_.Checkpoint(); }

  private:
    StageEvents& events_;
};

// The GIF stage's view of the run.
class GifEvents : public gifopt::StatusSink {
  public:
    explicit GifEvents(StageEvents& events) : events_(events) {}
    void SetStatus(const char* text) override { events_.Status(text); }

  private:
    StageEvents& events_;
};

std::optional<std::uint32_t> PageStage(std::span<std::uint8_t> file, const StageSettings& settings,
                                       StageEvents& events) {
    auto length = static_cast<TextLength>(file.size());
    if (PageGoesThroughChain(file.data(), file.size())) {
        ChainEvents chain(events);
        length = RunPageChain(file.data(), length, settings.pages, &chain);
    }
    return static_cast<std::uint32_t>(length);
}

// The new bytes take the front of the file's buffer: they are fewer than the file's.
std::optional<std::uint32_t> GifStage(std::span<std::uint8_t> file, const StageSettings& settings,
                                      StageEvents& events) {
    if (!settings.gifStage) {
        return std::nullopt;
    }
    events.Status(kAnalyzingStatus);
    GifEvents status(events);
    const GifStageResult result = OptimizeGif(file, &status);
    for (const GifStageNote& note : result.notes) {
        events.Note(note.action, note.reason);
    }
    if (result.bytes.empty() || result.bytes.size() >= file.size()) {
        return static_cast<std::uint32_t>(file.size());
    }
    std::memcpy(file.data(), result.bytes.data(), result.bytes.size());
    return static_cast<std::uint32_t>(result.bytes.size());
}

std::optional<std::uint32_t> JpegStage(std::span<std::uint8_t> file, const StageSettings& settings,
                                       StageEvents& events) {
    if (!settings.jpegStage) {
        return std::nullopt;
    }
    events.Status(kAnalyzingStatus);
    const std::uint32_t length = OptimizeJpeg(file, settings.jpegRecompression);
    events.Checkpoint();
    return length;
}

constexpr std::array<std::string_view, 10> kPageSuffixes = {"HTM", "HTML", "SHTML", "LASSO", "INCL",
                                                            "ASP", "TXT",  "INC",   "CFM",   "SSI"};
constexpr std::array<std::string_view, 1> kGifSuffixes = {"GIF"};
constexpr std::array<std::string_view, 2> kJpegSuffixes = {"JPG", "JPEG"};

constexpr std::array<FileKind, kFileKindCount> kKinds = {{
    {FileClass::kWebPage, kPageSuffixes, "HTML File", "Web pages", "Web Pages", "pages",
     section::kHtml, key::kEnableHtml, PageStage, 3},
    {FileClass::kGif, kGifSuffixes, "GIF File", "GIF images", "GIF", "gifs", section::kGif,
     key::kEnableGif, GifStage, 64},
    // The recompression holds the picture's coefficients (two bytes a sample, about twelve
    // times a photo's file) and its output beside the file.
    {FileClass::kJpeg, kJpegSuffixes, "JPEG File", "JPEG images", "JPEG", "jpegs", section::kJpeg,
     key::kEnableJpeg, JpegStage, 16},
}};
// The count is fixed where the counters are declared; a row missing here would be a kind with
// no class, no stage and no name rather than a compile error.
static_assert(std::ranges::all_of(kKinds, [](const FileKind& kind) {
    return kind.fileClass != FileClass::kNone && kind.stage != nullptr && !kind.suffixes.empty();
}));

// A value this program does not know is read as the least it could mean, as the settings page
// shows it: stripping alone.
JpegRecompression ReadJpegRecompression(const SettingsStore& settings) {
    const std::uint32_t stored =
        settings.GetInt(section::kJpeg, key::kJpegRecompress,
                        static_cast<std::uint32_t>(JpegRecompression::kProgressive));
    return stored <= static_cast<std::uint32_t>(JpegRecompression::kProgressive)
               ? static_cast<JpegRecompression>(stored)
               : JpegRecompression::kOff;
}

}  // namespace

StageSettings ReadStageSettings(const SettingsStore& settings) {
    StageSettings stage;
    stage.pages =
        ReadPageSettings(settings, settings.GetInt(section::kJava, key::kEnableJava, 0) != 0);
    stage.gifStage = settings.GetInt(section::kGif, key::kEnableGifStage, 1) == 1;
    stage.jpegStage = settings.GetInt(section::kJpeg, key::kEnableJpeg, 1) == 1;
    stage.jpegRecompression = ReadJpegRecompression(settings);
    return stage;
}

std::span<const FileKind, kFileKindCount> FileKinds() {
    return kKinds;
}

const FileKind* KindOf(FileClass fileClass) {
    for (const FileKind& kind : kKinds) {
        if (kind.fileClass == fileClass) {
            return &kind;
        }
    }
    return nullptr;
}

std::size_t KindSlot(FileClass fileClass) {
    return static_cast<std::size_t>(KindOf(fileClass) - kKinds.data());
}

std::size_t TypeCounters::Slot(FileClass fileClass) {
    return KindSlot(fileClass);
}

FileClass ClassifyPath(std::string_view path) {
    for (const FileKind& kind : kKinds) {
        for (const std::string_view suffix : kind.suffixes) {
            if (EndsWithNoCase(path, suffix)) {
                return kind.fileClass;
            }
        }
    }
    return FileClass::kNone;
}

std::string_view TypeLabel(FileClass fileClass) {
    const FileKind* kind = KindOf(fileClass);
    return kind ? kind->typeLabel : std::string_view();
}

bool PageGoesThroughChain(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || std::memchr(data, 0, size) != nullptr) {
        return false;
    }
    const std::uint8_t* const end = data + size;
    // Bound: p moves past a `<` every round and stops at the end.
    for (const std::uint8_t* p = data; p < end; ++p) {
        p = static_cast<const std::uint8_t*>(
            std::memchr(p, '<', static_cast<std::size_t>(end - p)));
        if (p == nullptr || end - p < 2) {
            return false;
        }
        const std::uint8_t next = p[1];
        if ((next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next == '/' ||
            next == '!' || next == '?') {
            return true;
        }
    }
    return false;
}

}  // namespace quillon
