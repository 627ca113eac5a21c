// The GIF stage: its steps on small animations built here, and the whole stage through the
// pipeline on the shared corpus, judged by giflib and by what a viewer would show.
#include "imageopt/GifOptimizer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
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
    const auto decoded = test::gif::DecodeWithGiflib(gifopt::OptimizeAnimation(read, nullptr));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_FALSE(decoded.globalPalette.empty());
    EXPECT_LE(decoded.globalPalette.size(), 128u * 3);
    ASSERT_EQ(decoded.frames.size(), 2u);
    for (const auto& frame : decoded.frames) {
        EXPECT_FALSE(frame.hasLocalTable);
    }
    // Eight distinct colours fit the shared table as they are, near-black and near-white too.
    const auto original = test::gif::DecodeWithGiflib(ReadBytes(dir / "local.gif"));
    EXPECT_EQ(test::gif::CompositeFrames(decoded), test::gif::CompositeFrames(original));
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

// --- exact colours, loops, crops of cleared frames, the two encodings, stills ---

// The file's bytes as our writer gives them, with the records as they are (no stage step).
std::vector<std::uint8_t> EncodeAsItIs(BxAnimation& animation) {
    BxGIFFile file;
    file.SetScreenSize(animation.GetWidth(), animation.GetHeight());
    file.SetGlobalInfo(animation.GetGlobalInfo()->Clone());
    file.SetFrameCount(static_cast<std::uint32_t>(animation.GetFrameCount()));
    file.Open(BxFile::kWritable | BxFile::kMemory);
    for (std::size_t i = 0; i < animation.GetFrameCount(); ++i) {
        auto& frame = dynamic_cast<BxGIFFrame&>(*animation.GetFrame(i));
        file.WriteNextFrame(frame.GetImage(), frame.GIFInfo());
    }
    std::vector<std::uint8_t> bytes = file.TakeWritten();
    file.Close();
    return bytes;
}

// What a viewer shows of each frame, by giflib's decoding.
std::vector<test::gif::Bytes> Shown(const std::vector<std::uint8_t>& bytes) {
    const auto decoded = test::gif::DecodeWithGiflib(bytes);
    EXPECT_TRUE(decoded.ok) << decoded.error;
    return test::gif::CompositeFrames(decoded);
}

// How many palette entries a file's pictures need: the colours its opaque pixels show (a value
// past its table shows black), and one for transparency when a pixel is transparent or there is
// more than one frame (the stage may make unchanged pixels transparent).
std::size_t EntriesNeeded(const test::gif::ReferenceImage& image) {
    std::set<std::uint32_t> colours;
    bool transparency = image.frames.size() > 1;
    for (const auto& frame : image.frames) {
        const test::gif::Bytes& palette =
            frame.palette.empty() ? image.globalPalette : frame.palette;
        for (const std::uint8_t p : frame.pixels) {
            if (frame.transparent && p == frame.transparentIndex) {
                transparency = true;
                continue;
            }
            const std::size_t at = std::size_t{p} * 3;
            colours.insert(at + 2 < palette.size()
                               ? (std::uint32_t{palette[at]} << 16) |
                                     (std::uint32_t{palette[at + 1]} << 8) | palette[at + 2]
                               : 0);
        }
    }
    return colours.size() + (transparency ? 1 : 0);
}

// Frames as rows of characters, '0' for entry 0 and up from there ('0' + 63 is 'o'); one
// character may stand for the transparent entry.
struct PictureCase {
    const char* name;
    std::vector<BxColor> palette;
    std::vector<std::vector<std::string>> frames;
    int transparentIndex;  // -1: none
    int disposal;
};

void PrintTo(const PictureCase& c, std::ostream* out) {
    *out << c.name;
}

BxAnimation& BuildPicture(const PictureCase& c, BxAnimation& animation) {
    const BxColorTable palette = Table(c.palette);
    animation.SetSize(static_cast<std::uint32_t>(c.frames[0][0].size()),
                      static_cast<std::uint32_t>(c.frames[0].size()));
    animation.SetGlobalInfo(GlobalWith(&palette));
    for (const auto& rows : c.frames) {
        std::unique_ptr<BxGIFFrame> frame = MakeFrame(rows, 0, 0, c.disposal, palette);
        if (c.transparentIndex >= 0) {
            frame->SetTransparencyFlag(1);
            frame->GIFInfo().transparentIndex = static_cast<std::uint8_t>(c.transparentIndex);
            frame->SyncMask();
        }
        animation.AppendFrame(std::move(frame), false);
    }
    return animation;
}

std::vector<BxColor> Greys(int count, int first, int step) {
    std::vector<BxColor> colours;
    for (int i = 0; i < count; ++i) {
        const auto level = static_cast<std::uint8_t>(first + i * step);
        colours.push_back(BxPackColor(level, level, static_cast<std::uint8_t>(255 - level)));
    }
    return colours;
}

// One row of `count` characters from '0' on: every entry once.
std::string EveryEntry(int count) {
    std::string row;
    for (int i = 0; i < count; ++i) {
        row.push_back(static_cast<char>('0' + i));
    }
    return row;
}

class ExactColours : public testing::TestWithParam<PictureCase> {};

// Colours that fit the palette come out as they went in: the stage's result shows every frame
// exactly as the original, by giflib's decoding.
TEST_P(ExactColours, ComeOutPixelIdentical) {
    BxAnimation built;
    const std::vector<std::uint8_t> original = EncodeAsItIs(BuildPicture(GetParam(), built));
    BxAnimation animation;
    gifopt::ReadAnimation(original, animation);
    const std::vector<std::uint8_t> optimized = gifopt::OptimizeAnimation(animation, nullptr);
    EXPECT_EQ(Shown(optimized), Shown(original));
    const auto decoded = test::gif::DecodeWithGiflib(optimized);
    EXPECT_LE(decoded.globalPalette.size(), 128u * 3);
}

// A grey floor and a beige wall, each in two shades of one 5-bit cube, beside a near-white and a
// near-black entry: the octree would average each pair and the extremes step would snap the
// near-white entry to white and the near-black one to black.
const std::vector<BxColor> kFloorAndWall = {BxPackColor(253, 253, 253), BxPackColor(255, 255, 255),
                                            BxPackColor(153, 153, 153), BxPackColor(150, 152, 151),
                                            BxPackColor(230, 220, 200), BxPackColor(228, 221, 199),
                                            BxPackColor(5, 5, 5),       BxPackColor(0, 0, 0)};

const PictureCase kExactCases[] = {
    {"GreyFloorBeigeWall",
     kFloorAndWall,
     {{"00001111", "44554455", "22332233", "67676767"}},
     -1,
     0},
    {"GreyFloorBeigeWallAnimated",
     kFloorAndWall,
     {{"00001111", "44554455", "22332233", "67676767"},
      {"00001110", "44554455", "23332233", "67676767"}},
     -1,
     0},
    {"TransparentEntryBesideTheColours",
     kFloorAndWall,
     {{"00001111", "44554455", "22332233", "67676767"}},
     7,
     0},
    // Every one of 64 colours in both frames, and transparent pixels in the second: the table
    // grows by an entry rather than give a colour up.
    {"SixtyFourColoursAndTransparency",
     [] {
         std::vector<BxColor> colours = Greys(64, 0, 4);
         colours.push_back(BxPackColor(1, 2, 3));  // the transparent entry, 'p'
         return colours;
     }(),
     {{EveryEntry(64), EveryEntry(64)}, {EveryEntry(64), std::string(64, 'p')}},
     64,
     1},
    // 127 colours and the entry for transparency fill the table exactly.
    {"OneHundredTwentySevenColours",
     Greys(127, 0, 2),
     {{EveryEntry(64), EveryEntry(64)},
      {EveryEntry(64),
       [] {
           std::string row;
           for (int i = 64; i < 127; ++i) {
               row.push_back(static_cast<char>('0' + i));
           }
           return row + "0";
       }()}},
     -1,
     1},
};

INSTANTIATE_TEST_SUITE_P(Examples, ExactColours, testing::ValuesIn(kExactCases),
                         [](const testing::TestParamInfo<PictureCase>& param) {
                             return std::string(param.param.name);
                         });

// The transparent entry counts against the limit: three colours shown and a transparent pixel
// need four entries.
TEST(GifOptimizerTest, ExactPaletteCountsTheTransparentEntry) {
    BxAnimation animation;
    BuildPicture({"", kFloorAndWall, {{"7766", "2211"}}, 6, 0}, animation);
    EXPECT_FALSE(gifopt::ExactPalette(animation, 3));
    EXPECT_EQ(gifopt::ExactPalette(animation, 4).value_or(BxColorTable()).Count(), 3u);
}

TEST(GifOptimizerTest, MoreColoursThanFitAreReducedAndEntriesKeepTheirPixels) {
    // 200 colours in one frame and 200 others in a second: reduced to one table of 128.
    std::vector<BxColor> colours;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 200; ++i) {
        seed = seed * 1103515245 + 12345;
        colours.push_back(BxPackColor(static_cast<std::uint8_t>(seed >> 8),
                                      static_cast<std::uint8_t>(seed >> 16),
                                      static_cast<std::uint8_t>(seed >> 24)));
    }
    BxAnimation animation;
    animation.SetSize(200, 1);
    animation.SetGlobalInfo(GlobalWith(nullptr));
    for (int f = 0; f < 2; ++f) {
        const BxColorTable palette = Table(colours);
        BxIndexedImage image(200, 1, &palette);
        for (std::uint32_t x = 0; x < 200; ++x) {
            image.SetPixelAt(x, 0, static_cast<std::uint8_t>((x * (f + 1)) % 200));
        }
        auto info = std::make_unique<BxGIFFrameInfo>();
        info->width = 200;
        info->height = 1;
        info->localTable = palette;
        image.SetFormatInfo(std::move(info));
        animation.AppendFrame(std::make_unique<BxGIFFrame>(image), false);
        std::reverse(colours.begin(), colours.end());
    }
    EXPECT_FALSE(gifopt::ExactPalette(animation, 128));
    std::vector<std::vector<BxColor>> before(2);
    for (std::size_t i = 0; i < 2; ++i) {
        const BxIndexedImage& image = Frame(animation, i).GetImage();
        for (std::uint32_t x = 0; x < 200; ++x) {
            before[i].push_back(image.Palette().ColorAt(image.PixelAt(x, 0)));
        }
    }
    gifopt::BuildGlobalPalette(animation, 1);
    const BxColorTable& table =
        dynamic_cast<BxGIFGlobalInfo&>(*animation.GetGlobalInfo()).globalTable;
    EXPECT_LE(table.Count(), 128u);
    int kept = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        const BxIndexedImage& after = Frame(animation, i).GetImage();
        for (std::uint32_t x = 0; x < 200; ++x) {
            const BxColor was = before[i][x];
            bool isEntry = false;
            for (std::size_t j = 0; j < table.Count(); ++j) {
                isEntry = isEntry || table.ColorAt(j) == was;
            }
            if (isEntry) {
                ++kept;
                EXPECT_EQ(after.Palette().ColorAt(after.PixelAt(x, 0)), was) << i << " " << x;
            }
        }
    }
    EXPECT_GT(kept, 0);
}

// Frames cropped by CropUnusedAreas: each expected rectangle as "left,top,width,height". '4'
// is the transparent entry.
struct CropCase {
    const char* name;
    std::vector<std::vector<std::string>> frames;
    std::vector<int> disposals;
    std::vector<std::string> rectangles;
};

void PrintTo(const CropCase& c, std::ostream* out) {
    *out << c.name;
}

class CroppedFrames : public testing::TestWithParam<CropCase> {};

TEST_P(CroppedFrames, ShowTheSameAndKeepWhatTheyMust) {
    const CropCase& c = GetParam();
    const BxColorTable palette =
        Table({BxPackColor(200, 30, 30), BxPackColor(30, 200, 30), BxPackColor(30, 30, 200),
               BxPackColor(240, 240, 40), BxPackColor(9, 9, 9)});
    auto build = [&](BxAnimation& animation) {
        animation.SetSize(static_cast<std::uint32_t>(c.frames[0][0].size()),
                          static_cast<std::uint32_t>(c.frames[0].size()));
        animation.SetGlobalInfo(GlobalWith(&palette));
        for (std::size_t i = 0; i < c.frames.size(); ++i) {
            std::unique_ptr<BxGIFFrame> frame =
                MakeFrame(c.frames[i], 0, 0, c.disposals[i], palette);
            frame->SetTransparencyFlag(1);
            frame->GIFInfo().transparentIndex = 4;
            frame->SyncMask();
            animation.AppendFrame(std::move(frame), false);
        }
    };
    BxAnimation original;
    build(original);
    BxAnimation cropped;
    build(cropped);
    gifopt::CropUnusedAreas(cropped);
    ASSERT_EQ(cropped.GetFrameCount(), c.rectangles.size());
    for (std::size_t i = 0; i < c.rectangles.size(); ++i) {
        const BxGIFFrameInfo& info = Frame(cropped, i).GIFInfo();
        EXPECT_EQ(std::to_string(info.left) + "," + std::to_string(info.top) + "," +
                      std::to_string(info.width) + "," + std::to_string(info.height),
                  c.rectangles[i])
            << "frame " << i;
    }
    EXPECT_EQ(Shown(EncodeAsItIs(cropped)), Shown(EncodeAsItIs(original)));
}

const CropCase kCropCases[] = {
    // Small figures on a clear screen, each frame clearing the screen after it: nothing lies
    // beneath any of them, so each is cut to its figure.
    {"FiguresOnAClearScreen",
     {{"41144444", "41144444", "44444444"},
      {"44444224", "44444224", "44444444"},
      {"44444444", "44444444", "44333444"}},
     {2, 2, 2},
     {"1,0,2,2", "5,0,2,2", "2,2,3,1"}},
    // Clearing its rectangle also clears the picture beneath: the frame keeps all of it.
    {"ClearingOverAPicture",
     {{"00000000", "00000000", "00000000"}, {"41144444", "41144444", "44444444"}},
     {1, 2},
     {"0,0,8,3", "0,0,8,3"}},
    // Only part of the screen shows something: the frame keeps that part and its figure.
    {"PartlyShownBeneath",
     {{"00444444", "44444444", "44444444"}, {"44444444", "44444444", "44444414"}},
     {1, 2},
     {"0,0,2,1", "0,0,7,3"}},
    // The first frame's rectangle is cleared after it, so the second has nothing beneath.
    {"AfterAClearedFrame",
     {{"00000000", "00000000", "00000000"}, {"44444444", "44414444", "44444444"}},
     {2, 2},
     {"0,0,8,3", "3,1,1,1"}},
    // A frame that restores the previous screen takes its figure away again; the picture of
    // the first frame is still beneath the third.
    {"AfterARestoredFrame",
     {{"00000000", "00000000", "00000000"},
      {"44444444", "44422444", "44444444"},
      {"14444444", "44444444", "44444444"}},
     {1, 3, 2},
     {"0,0,8,3", "3,1,2,1", "0,0,8,3"}},
    // Nothing drawn and nothing beneath: one transparent pixel.
    {"NothingToKeep",
     {{"44444444", "44444444", "44444444"}, {"44444444", "44444444", "44444441"}},
     {2, 2},
     {"0,0,1,1", "7,2,1,1"}},
};

INSTANTIATE_TEST_SUITE_P(DisposalToBackground, CroppedFrames, testing::ValuesIn(kCropCases),
                         [](const testing::TestParamInfo<CropCase>& param) {
                             return std::string(param.param.name);
                         });

// What the stage writes for an animation is the smaller of its two encodings: with unchanged
// pixels made transparent, and without.
std::vector<std::uint8_t> FinishedOneWay(const PictureCase& c, bool suppress) {
    BxAnimation animation;
    BuildPicture(c, animation);
    gifopt::CropUnusedAreas(animation);
    gifopt::UseExactPalette(animation, *gifopt::ExactPalette(animation, 128));
    gifopt::NormaliseFrameRecords(animation);
    if (suppress) {
        gifopt::SuppressUnchangedPixels(animation);
    }
    gifopt::CropUnusedAreas(animation);
    gifopt::ReserveTransparentEntry(animation, true);
    return gifopt::WriteAnimation(animation);
}

// A dithered picture whose second frame changes every pixel of two in eight rows: transparency
// there makes short runs that the LZW strings of the pattern no longer match.
std::vector<std::string> Dither(int rows, int changedEvery) {
    std::vector<std::string> picture;
    std::uint32_t seed = 7;
    for (int y = 0; y < rows; ++y) {
        std::string row;
        for (int x = 0; x < 64; ++x) {
            seed = seed * 1103515245 + 12345;
            row.push_back(static_cast<char>('0' + ((seed >> 16) % 4)));
        }
        picture.push_back(row);
    }
    if (changedEvery > 0) {
        for (int y = 0; y < rows; ++y) {
            for (int x = y % changedEvery; x < 64; x += changedEvery) {
                picture[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] =
                    static_cast<char>('0' + (picture[y][x] - '0' + 1) % 4);
            }
        }
    }
    return picture;
}

TEST(GifOptimizerTest, AnimationKeepsTheSmallerOfItsTwoEncodings) {
    const std::vector<BxColor> four = {BxPackColor(200, 30, 30), BxPackColor(30, 200, 30),
                                       BxPackColor(30, 30, 200), BxPackColor(240, 240, 40)};
    const PictureCase cases[] = {
        // A small change on a large picture: transparency pays.
        {"SmallChange",
         four,
         {Dither(32, 0),
          [] {
              std::vector<std::string> rows = Dither(32, 0);
              rows[5][5] = rows[5][5] == '0' ? '1' : '0';
              return rows;
          }()},
         -1,
         1},
        // Every third pixel changed: runs of two unchanged pixels stay opaque, the rest break
        // the pattern's strings.
        {"ScatteredChanges", four, {Dither(32, 0), Dither(32, 3)}, -1, 1},
    };
    std::set<bool> chosen;
    for (const PictureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> suppressed = FinishedOneWay(c, true);
        const std::vector<std::uint8_t> plain = FinishedOneWay(c, false);
        BxAnimation built;
        const std::vector<std::uint8_t> original = EncodeAsItIs(BuildPicture(c, built));
        BxAnimation animation;
        gifopt::ReadAnimation(original, animation);
        const std::vector<std::uint8_t> optimized = gifopt::OptimizeAnimation(animation, nullptr);
        EXPECT_EQ(optimized.size(), std::min(suppressed.size(), plain.size()));
        EXPECT_EQ(optimized, gifopt::WriteAnimation(animation)) << "the animation as kept";
        EXPECT_EQ(Shown(optimized), Shown(original));
        chosen.insert(plain.size() < suppressed.size());
    }
    EXPECT_EQ(chosen.size(), 2u) << "one case for each encoding";
}

// Stills carry no block they do not need: a graphic control block only for transparency, no
// loop; the header says GIF89a exactly when the file holds an extension. An animation keeps a
// loop given by an ANIMEXTS1.0 block.
struct StillCase {
    const char* name;
    int transparentIndex;
    bool comment;
    int frames;
    bool graphicControl;
    const char* version;
};

void PrintTo(const StillCase& c, std::ostream* out) {
    *out << c.name;
}

class NeededBlocks : public testing::TestWithParam<StillCase> {};

TEST_P(NeededBlocks, AreWrittenAndNoOthers) {
    const StillCase& c = GetParam();
    std::vector<std::vector<std::string>> frames = {{"0011", "2233"}, {"0011", "2203"}};
    frames.resize(static_cast<std::size_t>(c.frames));
    BxAnimation built;
    BuildPicture({"", kFloorAndWall, frames, c.transparentIndex, 0}, built);
    // Read from a file that has a graphic control block (delay 10) on every frame, and a loop.
    for (std::size_t i = 0; i < built.GetFrameCount(); ++i) {
        Frame(built, i).GIFInfo().hasGraphicControl = 1;
    }
    auto& global = dynamic_cast<BxGIFGlobalInfo&>(*built.GetGlobalInfo());
    global.hasLoop = 1;
    if (c.comment) {
        const std::string text = "made here";
        global.comments.emplace_back(
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    global.loopCount = 3;
    std::vector<std::uint8_t> original = EncodeAsItIs(built);
    // The loop block as ANIMEXTS1.0, which browsers loop on too: our writer puts it right after
    // the header, the screen and the 8 colours.
    const std::string netscape = "NETSCAPE2.0";
    const std::string animexts = "ANIMEXTS1.0";
    const auto loopId = original.begin() + 13 + 8 * 3 + 3;
    ASSERT_TRUE(std::equal(netscape.begin(), netscape.end(), loopId));
    std::copy(animexts.begin(), animexts.end(), loopId);
    BxAnimation animation;
    gifopt::ReadAnimation(original, animation);
    const std::vector<std::uint8_t> optimized = gifopt::OptimizeAnimation(animation, nullptr);
    EXPECT_EQ(std::string(optimized.begin(), optimized.begin() + 6), c.version);
    const auto decoded = test::gif::DecodeWithGiflib(optimized);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.frames[0].hasGraphicControl, c.graphicControl);
    // An animation keeps its loop, written as NETSCAPE2.0.
    EXPECT_EQ(std::search(optimized.begin(), optimized.end(), netscape.begin(), netscape.end()) !=
                  optimized.end(),
              c.frames > 1);
    BxGIFFile file;
    file.SetBytes(optimized);
    file.Open(BxFile::kReadable | BxFile::kMemory);
    EXPECT_EQ(file.GetGIFGlobalInfo()->hasLoop, c.frames > 1 ? 1 : 0);
    EXPECT_EQ(file.GetGIFGlobalInfo()->loopCount, c.frames > 1 ? 3 : 0);
    file.Close();
    EXPECT_EQ(Shown(optimized), Shown(original));
}

const StillCase kStillCases[] = {
    {"OpaqueStill", -1, false, 1, false, "GIF87a"},
    {"TransparentStill", 3, false, 1, true, "GIF89a"},
    {"StillWithAComment", -1, true, 1, false, "GIF89a"},
    {"Animation", -1, false, 2, true, "GIF89a"},
};

INSTANTIATE_TEST_SUITE_P(Stills, NeededBlocks, testing::ValuesIn(kStillCases),
                         [](const testing::TestParamInfo<StillCase>& param) {
                             return std::string(param.param.name);
                         });

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
// each at least 25 dB from the original and exactly the original's pixels where its colours fit
// the palette, with the original in its backup and the file's mode kept. The decode budget lets
// every real picture through.
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
    int exact = 0;
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
        // Colours that fit the palette come out exactly; only more are reduced.
        if (EntriesNeeded(decodedBefore) <= 128) {
            ++exact;
            EXPECT_EQ(shownAfter, shownBefore);
        }
        for (std::size_t i = 0; i < shownBefore.size(); ++i) {
            EXPECT_GE(test::gif::Psnr(shownBefore[i], shownAfter[i]), 25.0) << "frame " << i;
        }
        for (const auto& frame : decodedAfter.frames) {
            EXPECT_FALSE(frame.hasLocalTable);
            // A still's disposal says nothing; it has no graphic control block unless it has
            // transparency.
            if (decodedAfter.frames.size() > 1) {
                EXPECT_NE(frame.disposal, 0);
            }
        }
    }
    EXPECT_GE(exact, 50) << "rewritten files whose colours fit (52 when written)";
}

}  // namespace
}  // namespace quillon
