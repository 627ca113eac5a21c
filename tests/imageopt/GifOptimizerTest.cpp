// The GIF stage judged by giflib and by what a viewer would show: every corpus file through the
// pipeline, then damaged files and decompression bombs.
#include "imageopt/GifOptimizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "BxCode/BxAnimation.h"
#include "BxCode/BxGIFFile.h"
#include "Corpus.h"
#include "GifComposite.h"
#include "GifReference.h"
#include "KeptLogs.h"
#include "MemorySettingsStore.h"
#include "RecordingRunView.h"
#include "TempDir.h"
#include "pipeline/FileProcessor.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using test::ReadBytes;

// How many palette entries a file's pictures need: the colours its opaque pixels show (a value
// past its table shows black), and one for transparency when a pixel is transparent or there is
// more than one frame (the stage may make unchanged pixels transparent).
std::size_t EntriesNeeded(const test::gif::ReferenceImage& image) {
    std::set<std::uint32_t> colours;
    bool transparency = image.frames.size() > 1;
    for (const auto& frame : image.frames) {
        const Bytes& palette = frame.palette.empty() ? image.globalPalette : frame.palette;
        for (const std::uint8_t p : frame.pixels) {
            if (frame.transparent && p == frame.transparentIndex) {
                transparency = true;
            } else if (const std::size_t at = std::size_t{p} * 3; at + 2 < palette.size()) {
                colours.insert((palette[at] << 16) | (palette[at + 1] << 8) | palette[at + 2]);
            } else {
                colours.insert(0);
            }
        }
    }
    return colours.size() + (transparency ? 1 : 0);
}

// The looping block, as our reader finds it.
BxGIFGlobalInfo Loop(const Bytes& bytes) {
    BxGIFFile file;
    file.SetBytes(bytes);
    file.Open(BxFile::kReadable | BxFile::kMemory);
    BxGIFGlobalInfo blocks = *file.GetGIFGlobalInfo();
    file.Close();
    return blocks;
}

// The pixels the frames of a file cover, all frames together.
std::size_t Area(const test::gif::ReferenceImage& image) {
    std::size_t area = 0;
    for (const auto& frame : image.frames) {
        area += std::size_t(frame.width) * frame.height;
    }
    return area;
}

// Every corpus GIF and one that is no GIF through the pipeline, in place with backups: each file
// is left byte for byte without a backup, or replaced by a smaller one that giflib decodes to the
// same frames, each at least 25 dB from the original and exactly the original's pixels where its
// colours fit the palette, with the original in its backup. The decode budget lets every real
// picture through; the one error is the file that is no GIF.
TEST(GifStage, CorpusThroughThePipelineInPlaceWithBackups) {
    test::TempDir site, temp;
    test::MemorySettingsStore settings;
    test::RecordingRunView view;
    StorePageDefaults(settings, site.Path());
    settings.PutInt(section::kGif, key::kEnableGif, 1);
    settings.PutInt(section::kDestination, key::kNewOrReplace, 1);
    settings.PutInt(section::kDestination, key::kBackupFiles, 1);
    const Bytes notAGif = {'n', 'o', 't', ' ', 'a', ' ', 'g', 'i', 'f'};
    test::WriteBytes(site / "fake.gif", notAGif);
    // Besides the corpus: every one of 64 colours in two frames, the second with a transparent
    // pixel among them: exact colours need a 65th entry, and the table grows by one rather than
    // give a colour up.
    Bytes palette(256 * 3), pixels(128);
    for (std::size_t i = 0; i < 128; ++i) {
        pixels[i] = static_cast<std::uint8_t>(i % 64);
        palette[3 * (i % 64)] = palette[3 * (i % 64) + 1] = static_cast<std::uint8_t>(i % 64 * 4);
    }
    Bytes built = test::gif::EncodeWithGiflib(64, 2, palette, pixels);
    std::reverse(pixels.begin(), pixels.begin() + 64);
    pixels[64] = 64;
    const Bytes second = test::gif::EncodeWithGiflib(64, 2, palette, pixels);
    built.back() = 0x21;  // the trailer gives way to a graphic control block: transparent entry 64
    built.insert(built.end(), {0xF9, 0x04, 0x01, 0x00, 0x00, 0x40, 0x00});
    built.insert(built.end(), second.begin() + 13 + 256 * 3, second.end());
    test::WriteBytes(temp / "built.gif", built);
    std::vector<fs::path> corpus = test::CorpusFiles("gif", {".gif"});
    corpus.push_back(temp / "built.gif");
    {
        CFileProcessor processor(settings, view, temp.Path());
        processor.AddFile((site / "fake.gif").string());
        for (const fs::path& original : corpus) {
            fs::copy_file(original, site / original.filename());
            processor.AddFile((site / original.filename()).string());
        }
        processor.ProcessList();
        test::KeepLogs(processor.Logs(), temp.Path());
    }
    const fs::path fake = site / "fake.gif";
    EXPECT_EQ(ReadBytes(fake), notAGif);
    EXPECT_FALSE(fs::exists(fake.string() + ".BAK"));
    EXPECT_EQ(test::ReadText(temp / "errors.log"),
              "Could not open file: " + fake.string() + " (unexpected format)\n");
    EXPECT_TRUE(view.Snapshot().errorsLogged);
    const std::string runLog = test::ReadText(temp / "run.log");
    EXPECT_NE(runLog.find(fake.string() + "\t9\t9\n"), std::string::npos) << runLog;
    // The steps of an animation, as the window shows them.
    const std::vector<std::string> statuses = view.Statuses();
    const std::vector<std::string> steps = {
        "Cropping unused areas...", "Adjusting global palette...",
        "Removing global palette duplicates...", "Cropping unused areas...",
        "Resolving color indexes..."};
    EXPECT_NE(std::search(statuses.begin(), statuses.end(), steps.begin(), steps.end()),
              statuses.end());

    int exact = 0, cut = 0, differencedKept = 0;
    for (const fs::path& original : corpus) {
        const fs::path copy = site / original.filename();
        const auto before = ReadBytes(original);
        const auto after = ReadBytes(copy);
        SCOPED_TRACE(original.filename().string());
        if (after == before) {
            EXPECT_FALSE(fs::exists(copy.string() + ".BAK"));
            continue;
        }
        EXPECT_LT(after.size(), before.size());
        EXPECT_EQ(ReadBytes(copy.string() + ".BAK"), before);
        const auto decodedBefore = test::gif::DecodeWithGiflib(before);
        const auto decodedAfter = test::gif::DecodeWithGiflib(after);
        if (!decodedBefore.ok) {
            continue;
        }
        ASSERT_TRUE(decodedAfter.ok) << decodedAfter.error;
        EXPECT_TRUE(decodedAfter.screenWidth == decodedBefore.screenWidth &&
                    decodedAfter.screenHeight == decodedBefore.screenHeight);
        EXPECT_LE(decodedAfter.globalPalette.size(), 128u * 3);
        const auto shownBefore = test::gif::CompositeFrames(decodedBefore);
        const auto shownAfter = test::gif::CompositeFrames(decodedAfter);
        ASSERT_EQ(shownAfter.size(), shownBefore.size());
        // Colours that fit the palette come out exactly; only more are reduced.
        if (EntriesNeeded(decodedBefore) <= 128) {
            ++exact;
            EXPECT_EQ(shownAfter, shownBefore);
        }
        for (std::size_t i = 0; i < shownBefore.size(); ++i) {
            EXPECT_GE(test::gif::Psnr(shownBefore[i], shownAfter[i]), 25.0) << "frame " << i;
        }
        // A still has a graphic control block for transparency only and no loop; an animation
        // keeps its loop and says how each frame is disposed of.
        const bool animated = decodedAfter.frames.size() > 1;
        for (const auto& frame : decodedAfter.frames) {
            EXPECT_FALSE(frame.hasLocalTable);
            EXPECT_TRUE(animated ? frame.disposal != 0
                                 : frame.hasGraphicControl == frame.transparent);
        }
        const BxGIFGlobalInfo loopBefore = Loop(before), loopAfter = Loop(after);
        EXPECT_EQ(loopAfter.hasLoop, animated ? loopBefore.hasLoop : 0);
        EXPECT_EQ(loopAfter.loopCount, animated ? loopBefore.loopCount : 0);
        // GIF89a is the version with extensions; a file without any is written as GIF87a.
        bool extensions = loopAfter.hasLoop || !decodedAfter.comments.empty();
        for (const auto& frame : decodedAfter.frames) {
            extensions = extensions || frame.hasGraphicControl;
        }
        EXPECT_EQ(std::string(after.begin(), after.begin() + 6), extensions ? "GIF89a" : "GIF87a");
        // Animations are cut to what their frames change, and written with unchanged pixels
        // made transparent or plainly, whichever is smaller: among animations without
        // transparency of their own, some gain it.
        if (animated) {
            cut += Area(decodedAfter) < Area(decodedBefore);
            const auto transparent = [](const test::gif::ReferenceFrame& frame) {
                return frame.transparent;
            };
            if (std::none_of(decodedBefore.frames.begin(), decodedBefore.frames.end(),
                             transparent)) {
                const bool differenced = std::any_of(decodedAfter.frames.begin(),
                                                     decodedAfter.frames.end(), transparent);
                differencedKept += differenced;
            }
        }
    }
    EXPECT_GE(exact, 50) << "rewritten files whose colours fit (52 when written)";
    EXPECT_GE(cut, 20) << "animations whose frames cover less";
    EXPECT_GE(differencedKept, 5) << "animations whose unchanged pixels became transparent";
}

// A GIF whose descriptors claim a screen and frames of these sizes, in a few bytes: every frame's
// data ends at once, as a decompression bomb's would.
Bytes ClaimingGif(std::uint16_t screenWidth, std::uint16_t screenHeight, std::uint16_t frameWidth,
                  std::uint16_t frameHeight, int frames, std::uint8_t disposal) {
    // The screen, a global table of 2 (black, white), background 0. A frame: a graphic control
    // block (the disposal, no delay, no transparency), the descriptor (at 0,0, the claimed size,
    // no local table), minimum code size 2, one sub-block holding clear (4) and end (5).
    const auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
    // clang-format off
    Bytes bytes = {'G', 'I', 'F', '8', '9', 'a', lo(screenWidth), hi(screenWidth), lo(screenHeight),
                   hi(screenHeight), 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF};
    const Bytes frame = {0x21, 0xF9, 0x04, static_cast<std::uint8_t>(disposal << 2), 0, 0, 0, 0,
                         0x2C, 0, 0, 0, 0, lo(frameWidth), hi(frameWidth), lo(frameHeight),
                         hi(frameHeight), 0, 0x02, 0x01, 0x2C, 0x00};
    // clang-format on
    for (int i = 0; i < frames; ++i) {
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    bytes.push_back(0x3B);
    return bytes;
}

struct DamagedRow {
    std::string name;
    Bytes bytes;
    // Why the stage refuses the file before decoding it, in the error log; or "" when it must
    // rewrite the file; or nullptr when it may keep or rewrite it. What it writes is smaller and
    // reads back whole, with the frame count and screen size our reader found before.
    const char* refusal;
};

TEST(GifStageDamaged, AreRefusedKeptOrReplacedByReadableBytes) {
    std::vector<DamagedRow> rows = {
        // Claims over the decode budget are refused before any pixel is allocated: the first 42
        // bytes took 823 MB and seconds to process. Frames count at the size they claim; one
        // frame filling an 8000 x 8000 screen passes, but a second doubles the frames held, and
        // one that restores the previous screen has the screen beneath it saved too.
        {"OneHugeFrame", ClaimingGif(16000, 16000, 16000, 16000, 1, 0),
         "a screen of 16000 x 16000 pixels"},
        {"HugeFramesOnASmallScreen", ClaimingGif(100, 100, 16000, 16000, 50, 0),
         "16000 x 16000 pixels in 50 frames"},
        {"TwoFramesFillingTheLargestScreen", ClaimingGif(8000, 8000, 8000, 8000, 2, 1),
         "8000 x 8000 pixels in 2 frames"},
        {"OneFrameRestoringThePreviousScreen", ClaimingGif(8000, 8000, 8000, 8000, 1, 3),
         "8000 x 8000 pixels in 1 frame"},
    };
    for (const fs::path& path : test::CorpusFiles("gif/malformed", {".gif"})) {
        rows.push_back({path.filename().string(), ReadBytes(path), nullptr});
    }
    // What the fuzz target found the stage to get wrong, such as a frame without pixels (0x0),
    // which giflib refuses while our reader and browsers accept it: each is rewritten.
    for (const auto& entry : fs::directory_iterator(QUILLON_FINDINGS_DIR)) {
        if (entry.path().extension() == ".gif") {
            rows.push_back({entry.path().filename().string(), ReadBytes(entry.path()), ""});
        }
    }
    for (const DamagedRow& row : rows) {
        SCOPED_TRACE(row.name);
        GifStageResult result;
        BxAnimation original, check;
        if (row.refusal && *row.refusal) {
            ASSERT_NO_THROW(result = OptimizeGif(row.bytes, nullptr));
            EXPECT_TRUE(result.bytes.empty());
            ASSERT_EQ(result.notes.size(), 1u);
            EXPECT_EQ(result.notes[0].action, "optimize file");
            EXPECT_EQ(result.notes[0].reason, std::string("too large to decode: ") + row.refusal);
            continue;
        }
        try {
            result = OptimizeGif(row.bytes, nullptr);
        } catch (const BxErrorCode&) {
            EXPECT_FALSE(row.refusal) << "abandoned";  // the pipeline then keeps the file
            continue;
        }
        EXPECT_TRUE(!row.refusal || !result.bytes.empty());
        if (!result.bytes.empty()) {
            EXPECT_LT(result.bytes.size(), row.bytes.size());
            gifopt::ReadAnimation(row.bytes, original);
            ASSERT_NO_THROW(gifopt::ReadAnimation(result.bytes, check));
            EXPECT_EQ(check.GetFrameCount(), original.GetFrameCount());
            EXPECT_EQ(check.GetWidth(), original.GetWidth());
            EXPECT_EQ(check.GetHeight(), original.GetHeight());
        }
    }
}

}  // namespace
}  // namespace quillon
