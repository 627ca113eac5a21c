// The GIF stage: its steps on small animations built here, and the whole stage through the
// pipeline on the shared corpus, judged by giflib and by what a viewer would show.
#include "imageopt/GifOptimizer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BxCode/BxAnimation.h"
#include "BxCode/BxGIFFile.h"
#include "BxCode/BxGIFFrame.h"
#include "Corpus.h"
#include "GifComposite.h"
#include "GifReference.h"
#include "KeptLogs.h"
#include "MemorySettingsStore.h"
#include "RecordingRunView.h"
#include "TempDir.h"
#include "pipeline/FileProcessor.h"
#include "pipeline/RunLogs.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;

BxColorTable Table(const std::vector<BxColor>& colours) {
    BxColorTable table(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i) {
        table.SetColor(i, BxRedOf(colours[i]), BxGreenOf(colours[i]), BxBlueOf(colours[i]));
    }
    return table;
}

const BxColorTable kFour = Table({BxPackColor(200, 30, 30), BxPackColor(30, 200, 30),
                                  BxPackColor(30, 30, 200), BxPackColor(240, 240, 40)});

// A frame of the given pixels (one row per string of digits) on the four-colour table.
std::unique_ptr<BxGIFFrame> MakeFrame(const std::vector<std::string>& rows, std::uint16_t left = 0,
                                      std::uint16_t top = 0, int disposal = 0,
                                      const BxColorTable& palette = kFour, bool local = false) {
    const auto width = static_cast<std::uint32_t>(rows[0].size());
    const auto height = static_cast<std::uint32_t>(rows.size());
    BxIndexedImage image(width, height, &palette);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image.SetPixelAt(x, y, static_cast<std::uint8_t>(rows[y][x] - '0'));
        }
    }
    auto info = std::make_unique<BxGIFFrameInfo>();
    info->left = left;
    info->top = top;
    info->width = static_cast<std::uint16_t>(width);
    info->height = static_cast<std::uint16_t>(height);
    info->hasLocalTable = local ? 1 : 0;
    info->localTable = palette;
    info->disposal = disposal;
    info->delay = 10;
    image.SetFormatInfo(std::move(info));
    return std::make_unique<BxGIFFrame>(image);
}

std::unique_ptr<BxGIFGlobalInfo> GlobalWith(const BxColorTable* table) {
    auto global = std::make_unique<BxGIFGlobalInfo>();
    if (table) {
        global->hasGlobalTable = 1;
        global->globalTable = *table;
        global->declaredTableSize = static_cast<std::uint16_t>(table->Count());
    }
    return global;
}

void WriteGifFile(const fs::path& path, BxAnimation& animation) {
    BxGIFFile file;
    file.SetPath(path.c_str());
    file.SetScreenSize(animation.GetWidth(), animation.GetHeight());
    file.SetGlobalInfo(animation.GetGlobalInfo()->Clone());
    file.SetFrameCount(static_cast<std::uint32_t>(animation.GetFrameCount()));
    file.Open(BxFile::kWritable);
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        auto& frame = dynamic_cast<BxGIFFrame&>(*animation.GetFrame(i));
        file.WriteNextFrame(frame.GetImage(), frame.GIFInfo());
    }
    file.Close();
}

BxGIFFrame& Frame(BxAnimation& animation, std::size_t index) {
    return dynamic_cast<BxGIFFrame&>(*animation.GetFrame(index));
}

// --- the steps ---

TEST(GifOptimizerTest, PaletteExtremesSnapToBlackAndWhite) {
    BxColorTable palette = Table({BxPackColor(11, 11, 11), BxPackColor(12, 11, 11),
                                  BxPackColor(253, 253, 253), BxPackColor(252, 253, 253)});
    gifopt::SnapPaletteExtremes(palette);
    EXPECT_EQ(palette.ColorAt(0), BxPackColor(0, 0, 0));
    EXPECT_EQ(palette.ColorAt(1), BxPackColor(12, 11, 11));
    EXPECT_EQ(palette.ColorAt(2), BxPackColor(255, 255, 255));
    EXPECT_EQ(palette.ColorAt(3), BxPackColor(252, 253, 253));
}

TEST(GifOptimizerTest, UnchangedPixelsBecomeTransparentExceptShortRuns) {
    BxAnimation animation;
    animation.SetSize(10, 1);
    animation.SetGlobalInfo(GlobalWith(&kFour));
    animation.AppendFrame(MakeFrame({"0000000000"}), false);
    animation.AppendFrame(MakeFrame({"0001001000"}), false);
    gifopt::SuppressUnchangedPixels(animation);
    BxGIFFrame& second = Frame(animation, 1);
    const std::string expected = "TTTOOOOTTT";
    for (std::uint32_t x = 0; x < 10; ++x) {
        EXPECT_EQ(second.IsTransparentAt(x, 0), expected[x] == 'T') << x;
    }
    EXPECT_EQ(second.GetTransparencyFlag(), 1);
    EXPECT_FALSE(Frame(animation, 0).HasTransparentPixels());
    gifopt::CropUnusedAreas(animation);
    EXPECT_EQ(Frame(animation, 1).GIFInfo().left, 3);
    EXPECT_EQ(Frame(animation, 1).GIFInfo().width, 4);
    EXPECT_EQ(Frame(animation, 1).GetWidth(), 4u);
    EXPECT_EQ(Frame(animation, 0).GetWidth(), 10u);
}

TEST(GifOptimizerTest, SingleFrameIsNeverCropped) {
    BxAnimation animation;
    animation.SetSize(4, 1);
    animation.SetGlobalInfo(GlobalWith(&kFour));
    animation.AppendFrame(MakeFrame({"0120"}), false);
    Frame(animation, 0).GetMask().SetBitAt(0, 0, 1);
    gifopt::CropUnusedAreas(animation);
    EXPECT_EQ(Frame(animation, 0).GetWidth(), 4u);
}

TEST(GifOptimizerTest, DisposalsAreNormalised) {
    BxAnimation animation;
    animation.SetSize(2, 1);
    animation.SetGlobalInfo(GlobalWith(&kFour));
    const int disposals[] = {0, 1, 2, 3, 5};
    for (const int disposal : disposals) {
        animation.AppendFrame(MakeFrame({"01"}, 0, 0, disposal), false);
    }
    gifopt::SuppressUnchangedPixels(animation);
    const int expected[] = {1, 1, 2, 3, 1};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Frame(animation, i).GIFInfo().disposal, expected[i]) << i;
    }
}

TEST(GifOptimizerTest, RestoredAreasAreNotTakenAsShown) {
    // Frame 1 is shown and then taken away again (restore to previous), so frame 2, which repeats
    // it, must paint its pixels itself.
    BxAnimation animation;
    animation.SetSize(6, 1);
    animation.SetGlobalInfo(GlobalWith(&kFour));
    animation.AppendFrame(MakeFrame({"000000"}), false);
    animation.AppendFrame(MakeFrame({"111111"}, 0, 0, 3), false);
    animation.AppendFrame(MakeFrame({"111111"}), false);
    gifopt::SuppressUnchangedPixels(animation);
    EXPECT_FALSE(Frame(animation, 2).HasTransparentPixels());
}

TEST(GifOptimizerTest, BackgroundDisposedFramesKeepTheirRectangle) {
    BxAnimation animation;
    animation.SetSize(4, 1);
    animation.SetGlobalInfo(GlobalWith(&kFour));
    animation.AppendFrame(MakeFrame({"0000"}), false);
    animation.AppendFrame(MakeFrame({"0110"}, 0, 0, 2), false);
    gifopt::SuppressUnchangedPixels(animation);
    gifopt::CropUnusedAreas(animation);
    EXPECT_EQ(Frame(animation, 1).GetWidth(), 4u);
    EXPECT_EQ(Frame(animation, 1).GIFInfo().disposal, 2);
}

TEST(GifOptimizerTest, MissingGlobalTableGetsTwoBackgroundEntries) {
    BxAnimation animation;
    animation.SetSize(2, 1);
    animation.SetGlobalInfo(GlobalWith(nullptr));
    gifopt::ResolveBackgroundIndex(animation, BxPackColor(0, 0, 0));
    auto& global = dynamic_cast<BxGIFGlobalInfo&>(*animation.GetGlobalInfo());
    EXPECT_EQ(global.hasGlobalTable, 1);
    ASSERT_EQ(global.globalTable.Count(), 2u);
    EXPECT_EQ(global.globalTable.ColorAt(0), BxPackColor(0, 0, 0));
    EXPECT_EQ(global.globalTable.ColorAt(1), BxPackColor(0, 0, 0));
    EXPECT_EQ(global.declaredTableSize, 2);
    EXPECT_EQ(global.backgroundIndex, 0);
}

TEST(GifOptimizerTest, BackgroundIndexIsTheNearestEntry) {
    BxAnimation animation;
    const BxColorTable table = Table({BxPackColor(200, 0, 0), BxPackColor(5, 5, 5)});
    animation.SetGlobalInfo(GlobalWith(&table));
    gifopt::ResolveBackgroundIndex(animation, BxPackColor(0, 0, 0));
    EXPECT_EQ(dynamic_cast<BxGIFGlobalInfo&>(*animation.GetGlobalInfo()).backgroundIndex, 1);
}

TEST(GifOptimizerTest, LocalTablesBecomeOneSharedTable) {
    TempDir dir;
    BxAnimation animation;
    animation.SetSize(8, 2);
    animation.SetGlobalInfo(GlobalWith(nullptr));
    const BxColorTable other = Table({BxPackColor(10, 10, 10), BxPackColor(90, 160, 10),
                                      BxPackColor(160, 10, 90), BxPackColor(250, 250, 250)});
    animation.AppendFrame(MakeFrame({"01230123", "32103210"}, 0, 0, 0, kFour, true), false);
    animation.AppendFrame(MakeFrame({"33221100", "01230123"}, 0, 0, 0, other, true), false);
    WriteGifFile(dir / "local.gif", animation);

    BxAnimation read;
    gifopt::ReadAnimation(ReadBytes(dir / "local.gif"), read);
    gifopt::OptimizeAnimation(read, nullptr);
    const auto decoded = test::gif::DecodeWithGiflib(gifopt::WriteAnimation(read));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_FALSE(decoded.globalPalette.empty());
    EXPECT_LE(decoded.globalPalette.size(), 128u * 3);
    ASSERT_EQ(decoded.frames.size(), 2u);
    for (const auto& frame : decoded.frames) {
        EXPECT_FALSE(frame.hasLocalTable);
    }
    // Eight distinct colours fit the shared table; only the snapped near-black and near-white
    // (10 to 0, 250 to 255) differ.
    const auto original = test::gif::DecodeWithGiflib(ReadBytes(dir / "local.gif"));
    const auto before = test::gif::CompositeFrames(original);
    const auto after = test::gif::CompositeFrames(decoded);
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_GE(test::gif::Psnr(before[i], after[i]), 30.0) << i;
    }
}

TEST(GifOptimizerTest, OversizedCanvasIsRefused) {
    BxAnimation animation;
    animation.SetSize(65535, 65535);
    animation.SetGlobalInfo(GlobalWith(&kFour));
    animation.AppendFrame(MakeFrame({"01"}), false);
    animation.AppendFrame(MakeFrame({"10"}), false);
    try {
        gifopt::OptimizeAnimation(animation, nullptr);
        FAIL() << "no error";
    } catch (const BxErrorCode& error) {
        EXPECT_EQ(error.Code(), kBxErrNoMemory);
    }
}

// --- through the pipeline ---

class GifStageTest : public ::testing::Test {
  protected:
    GifStageTest() {
        StorePageDefaults(settings_, site_.Path());
        settings_.PutInt(section::kGif, key::kEnableGif, 1);
    }

    void InPlace(bool backups) {
        settings_.PutInt(section::kDestination, key::kNewOrReplace, 1);
        settings_.PutInt(section::kDestination, key::kBackupFiles, backups ? 1 : 0);
    }

    void Run(const std::vector<fs::path>& files) {
        CFileProcessor processor(settings_, view_, temp_.Path());
        for (const auto& file : files) {
            processor.AddFile(file.string());
        }
        processor.ProcessList();
        test::KeepLogs(processor.Logs(), temp_.Path());
    }

    std::string ErrorLog() const {
        std::ifstream log(temp_ / "errors.log");
        return {std::istreambuf_iterator<char>(log), {}};
    }

    std::vector<std::string> LogLines() const {
        std::ifstream log(temp_ / "run.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    TempDir site_;
    TempDir temp_;
    test::MemorySettingsStore settings_;
    test::RecordingRunView view_;
};

TEST_F(GifStageTest, NotAGifIsLoggedAndKept) {
    InPlace(true);
    const std::vector<std::uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'g', 'i', 'f'};
    test::WriteBytes(site_ / "fake.gif", text);
    Run({site_ / "fake.gif"});
    EXPECT_EQ(ReadBytes(site_ / "fake.gif"), text);
    EXPECT_FALSE(fs::exists(site_ / "fake.gif.BAK"));
    EXPECT_EQ(ErrorLog(),
              "Could not open file: " + (site_ / "fake.gif").string() + " (unexpected format)\n");
    EXPECT_TRUE(view_.Snapshot().errorsLogged);
    EXPECT_EQ(LogLines(), std::vector<std::string>{(site_ / "fake.gif").string() + "\t9\t9"});
}

TEST_F(GifStageTest, StatusTextsFollowTheSteps) {
    const fs::path file = site_ / "anim.gif";
    BxAnimation animation;
    animation.SetSize(64, 64);
    animation.SetGlobalInfo(GlobalWith(&kFour));
    std::vector<std::string> rows(64, std::string(64, '0'));
    animation.AppendFrame(MakeFrame(rows), false);
    rows[10][10] = '2';
    animation.AppendFrame(MakeFrame(rows), false);
    WriteGifFile(file, animation);
    Run({file});
    const std::vector<std::string> statuses = view_.Statuses();
    const std::vector<std::string> wanted = {
        "Cropping unused areas...", "Adjusting global palette...",
        "Removing global palette duplicates...", "Cropping unused areas...",
        "Resolving color indexes..."};
    auto at = std::search(statuses.begin(), statuses.end(), wanted.begin(), wanted.end());
    EXPECT_NE(at, statuses.end());
}

// The stage's result on a file it may or may not read: abandoned (raised), kept, or smaller bytes
// that read back whole.
TEST(GifStageMalformedTest, DamagedFilesAreKeptOrReplacedByReadableOnes) {
    for (const fs::path& original : quillon::test::CorpusFiles("gif/malformed", {".gif"})) {
        SCOPED_TRACE(original.filename().string());
        const auto before = ReadBytes(original);
        GifStageResult result;
        try {
            result = OptimizeGif(before, nullptr);
        } catch (const BxErrorCode&) {
            continue;  // abandoned: the pipeline leaves the file as it was
        }
        if (result.bytes.empty()) {
            continue;
        }
        EXPECT_LT(result.bytes.size(), before.size());
        BxAnimation check;
        EXPECT_NO_THROW(gifopt::ReadAnimation(result.bytes, check));
    }
}

// Found by fuzzing the stage: a 1x1 screen whose one frame has no pixels (0x0), which giflib
// refuses while our reader and browsers accept it. The stage rewrites the file smaller and keeps
// the empty frame, and what it writes our reader reads back whole.
TEST(GifStageFuzzFindingTest, FrameWithoutPixelsIsKeptReadable) {
    const std::vector<std::uint8_t> bytes =
        {
            'G',  'I',  'F',  '8',  '9',  'a',  0x01, 0x00, 0x01, 0x00,  // screen 1 x 1
            0xF2, 0x00, 0x00,                                            // global table of 8
            0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00,
            0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00,
            0xFF, 0xFF, 0xFF, 0x00, 0x21, 0xFE, 0x01, 0x00, 0x00,  // a comment of one byte
            0x2C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // frame at 0,0 of 0 x 0
            0x3A,                    // no local table, not interlaced; reserved bits set
            0x03,                    // minimum code size 3
            0x02, 0x18, 0x09, 0x00,  // one sub-block of two bytes, then the terminator
            0x3B,
        };
    const GifStageResult result = OptimizeGif(bytes, nullptr);
    ASSERT_FALSE(result.bytes.empty());
    EXPECT_LT(result.bytes.size(), bytes.size());
    BxAnimation check;
    ASSERT_NO_THROW(gifopt::ReadAnimation(result.bytes, check));
    EXPECT_EQ(check.GetFrameCount(), 1u);
    EXPECT_FALSE(test::gif::DecodeWithGiflib(bytes).ok) << "giflib refuses such a frame";
}

// Files whose descriptors claim more pixels than the stage may decode, in a few bytes each: every
// frame's data ends at once, as a decompression bomb's would. Each is refused before its pixels
// are allocated (a wrong verdict would decode hundreds of megabytes): one error entry, no new
// bytes.
struct ClaimCase {
    const char* name;
    std::uint16_t screenWidth, screenHeight, frameWidth, frameHeight;
    int frames;
    std::uint8_t disposal;
    const char* reason;
};

// 19 bytes of header, 22 a frame, and the trailer: with one frame, 42 bytes.
std::vector<std::uint8_t> ClaimingGif(const ClaimCase& c) {
    const auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
    std::vector<std::uint8_t> bytes = {'G', 'I', 'F', '8', '9', 'a',
                                       // the screen
                                       lo(c.screenWidth), hi(c.screenWidth), lo(c.screenHeight),
                                       hi(c.screenHeight),
                                       // a global table of 2 (black, white), background 0
                                       0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF};
    const std::vector<std::uint8_t> frame = {
        // graphic control: the disposal, no delay, no transparency
        0x21, 0xF9, 0x04, static_cast<std::uint8_t>(c.disposal << 2), 0x00, 0x00, 0x00, 0x00,
        // the descriptor: at 0,0, the claimed size, no local table
        0x2C, 0x00, 0x00, 0x00, 0x00, lo(c.frameWidth), hi(c.frameWidth), lo(c.frameHeight),
        hi(c.frameHeight), 0x00,
        // minimum code size 2; one sub-block holding clear (4) and end (5), 3 bits each; the
        // terminator
        0x02, 0x01, 0x2C, 0x00};
    for (int i = 0; i < c.frames; ++i) {
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    bytes.push_back(0x3B);
    return bytes;
}

class TooLargeToDecode : public testing::TestWithParam<ClaimCase> {};

TEST_P(TooLargeToDecode, IsRefusedAndKeptAsItWas) {
    const ClaimCase& c = GetParam();
    const std::vector<std::uint8_t> bytes = ClaimingGif(c);
    GifStageResult result;
    ASSERT_NO_THROW(result = OptimizeGif(bytes, nullptr));
    EXPECT_TRUE(result.bytes.empty());
    ASSERT_EQ(result.notes.size(), 1u);
    EXPECT_EQ(result.notes[0].action, "optimize file");
    EXPECT_EQ(result.notes[0].reason, std::string("too large to decode: ") + c.reason);
    // A reader that does not ask first, such as the read-back of a candidate, meets the same
    // budget.
    BxAnimation animation;
    try {
        gifopt::ReadAnimation(bytes, animation);
        ADD_FAILURE() << "read whole";
    } catch (const BxErrorCode& error) {
        EXPECT_EQ(error.Code(), kBxErrNoMemory);
    }
}

const ClaimCase kTooLarge[] = {
    // 42 bytes that took 823 MB and seconds to process: one frame filling a 16000 x 16000 screen.
    {"OneHugeFrame", 16000, 16000, 16000, 16000, 1, 0, "a screen of 16000 x 16000 pixels"},
    // Frames count at the size they claim, not at the screen's.
    {"HugeFramesOnASmallScreen", 100, 100, 16000, 16000, 50, 0,
     "16000 x 16000 pixels in 50 frames"},
    // One frame filling an 8000 x 8000 screen passes; a second frame doubles the frames held.
    {"TwoFramesFillingTheLargestScreen", 8000, 8000, 8000, 8000, 2, 1,
     "8000 x 8000 pixels in 2 frames"},
    // So does one frame that restores the previous screen: the screen beneath it is saved too.
    {"OneFrameRestoringThePreviousScreen", 8000, 8000, 8000, 8000, 1, 3,
     "8000 x 8000 pixels in 1 frame"},
};

INSTANTIATE_TEST_SUITE_P(GifStage, TooLargeToDecode, testing::ValuesIn(kTooLarge),
                         [](const testing::TestParamInfo<ClaimCase>& param) {
                             return std::string(param.param.name);
                         });

// Every corpus GIF through the pipeline, in place with backups: each file is either left byte for
// byte, without a backup, or replaced by a smaller one that giflib decodes to the same frames,
// each at least 25 dB from the original, with the original in its backup and the file's mode
// kept. The decode budget lets every real picture through.
TEST_F(GifStageTest, CorpusInPlaceWithBackups) {
    InPlace(true);
    std::vector<fs::path> files;
    for (const fs::path& original : quillon::test::CorpusFiles("gif", {".gif"})) {
        fs::copy_file(original, site_ / original.filename());
        files.push_back(site_ / original.filename());
    }
    ::chmod(files[0].c_str(), 0604);
    Run(files);
    EXPECT_EQ(ErrorLog().find("too large"), std::string::npos) << ErrorLog();
    struct stat info {};
    ::stat(files[0].c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    for (const fs::path& original : quillon::test::CorpusFiles("gif", {".gif"})) {
        const fs::path copy = site_ / original.filename();
        const auto before = ReadBytes(original);
        const auto after = ReadBytes(copy);
        SCOPED_TRACE(original.filename().string());
        ASSERT_FALSE(after.empty());
        const fs::path backup = copy.string() + ".BAK";
        if (after == before) {
            EXPECT_FALSE(fs::exists(backup));
            continue;
        }
        EXPECT_LT(after.size(), before.size());
        EXPECT_EQ(ReadBytes(backup), before);
        const auto decodedBefore = test::gif::DecodeWithGiflib(before);
        const auto decodedAfter = test::gif::DecodeWithGiflib(after);
        if (!decodedBefore.ok) {
            continue;
        }
        ASSERT_TRUE(decodedAfter.ok) << decodedAfter.error;
        EXPECT_EQ(decodedAfter.screenWidth, decodedBefore.screenWidth);
        EXPECT_EQ(decodedAfter.screenHeight, decodedBefore.screenHeight);
        EXPECT_LE(decodedAfter.globalPalette.size(), 128u * 3);
        const auto shownBefore = test::gif::CompositeFrames(decodedBefore);
        const auto shownAfter = test::gif::CompositeFrames(decodedAfter);
        ASSERT_EQ(shownAfter.size(), shownBefore.size());
        for (std::size_t i = 0; i < shownBefore.size(); ++i) {
            EXPECT_GE(test::gif::Psnr(shownBefore[i], shownAfter[i]), 25.0) << "frame " << i;
        }
        for (const auto& frame : decodedAfter.frames) {
            EXPECT_FALSE(frame.hasLocalTable);
            EXPECT_NE(frame.disposal, 0);
        }
    }
}

}  // namespace
}  // namespace quillon
