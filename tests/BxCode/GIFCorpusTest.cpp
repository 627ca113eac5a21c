// The reader and writer on the test corpus, judged by giflib: every valid GIF decodes to the
// frames giflib sees, and what we write decodes in giflib to the same pixels again. Every
// malformed file and every truncation of a valid one ends in a BxErrorCode or a defined result.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "BxTestSupport.h"
#include "Corpus.h"
#include "GifReference.h"

namespace quillon::test::bx {
namespace {

using gif::DecodeWithGiflib;
using gif::ReferenceFrame;
using gif::ReferenceImage;

// A test name from a file name: letters and digits kept, everything else an underscore.
std::string FileCaseName(const testing::TestParamInfo<std::filesystem::path>& param) {
    std::string name = param.param.stem().string();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

Bytes PaletteBytes(const BxColorTable& table) {
    return Bytes(table.Entries(), table.Entries() + 3 * table.Count());
}

Bytes PixelBytes(const BxIndexedImage& image) {
    Bytes pixels;
    BxPixelLock lock(image);
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
        pixels.insert(pixels.end(), lock.Row(y), lock.Row(y) + image.GetWidth());
    }
    return pixels;
}

// Our frames against giflib's: positions, sizes, flags, palette and pixels.
void ExpectSameFrames(const ReadResult& ours, const ReferenceImage& theirs) {
    ASSERT_EQ(ours.frames.size(), theirs.frames.size());
    EXPECT_EQ(ours.file->GetScreenWidth(), static_cast<std::uint32_t>(theirs.screenWidth));
    EXPECT_EQ(ours.file->GetScreenHeight(), static_cast<std::uint32_t>(theirs.screenHeight));
    for (std::size_t i = 0; i < ours.frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const BxIndexedImage& image = *ours.frames[i];
        const BxGIFFrameInfo& info = InfoOf(image);
        const ReferenceFrame& frame = theirs.frames[i];
        EXPECT_EQ(info.left, frame.left);
        EXPECT_EQ(info.top, frame.top);
        EXPECT_EQ(image.GetWidth(), static_cast<std::uint32_t>(frame.width));
        EXPECT_EQ(image.GetHeight(), static_cast<std::uint32_t>(frame.height));
        EXPECT_EQ(info.interlaced != 0, frame.interlaced);
        EXPECT_EQ(info.hasLocalTable != 0, frame.hasLocalTable);
        EXPECT_EQ(info.hasGraphicControl != 0, frame.hasGraphicControl);
        if (frame.hasGraphicControl) {
            EXPECT_EQ(info.disposal, frame.disposal);
            EXPECT_EQ(info.delay, frame.delay);
            EXPECT_EQ(info.transparent != 0, frame.transparent);
            EXPECT_EQ(info.transparentIndex, frame.transparentIndex);
        }
        // A frame without any table gets one black colour; giflib gives none.
        if (!frame.palette.empty()) {
            EXPECT_EQ(PaletteBytes(image.Palette()), frame.palette);
        } else {
            EXPECT_EQ(PaletteBytes(image.Palette()), Bytes({0, 0, 0}));
        }
        EXPECT_EQ(PixelBytes(image), frame.pixels);
    }
}

class ValidGifs : public testing::TestWithParam<std::filesystem::path> {};

TEST_P(ValidGifs, DecodeAsGiflibDoes) {
    const Bytes bytes = ReadBytes(GetParam());
    const ReferenceImage theirs = DecodeWithGiflib(bytes);
    ReadResult ours;
    const std::int32_t error = ErrorOf([&] { ours = ReadGif(bytes); });
    ASSERT_EQ(error, 0);
    if (!theirs.ok) {
        // giflib refuses minimum code size 11; CorpusMinimumCodeSizeEleven judges those files.
        ASSERT_GT(ours.frames.size(), 0u);
        ASSERT_EQ(InfoOf(*ours.frames[0]).codeSize, 11) << "giflib: " << theirs.error;
        GTEST_SKIP() << "giflib: " << theirs.error;
    }
    ExpectSameFrames(ours, theirs);
}

TEST_P(ValidGifs, WrittenBackDecodeToTheSamePixels) {
    const Bytes bytes = ReadBytes(GetParam());
    ReadResult ours;
    ASSERT_EQ(ErrorOf([&] { ours = ReadGif(bytes); }), 0);
    if (ours.frames.empty()) {
        GTEST_SKIP() << "no frame to write";
    }
    const Bytes written = WriteBack(ours);
    const ReferenceImage theirs = DecodeWithGiflib(written);
    ASSERT_TRUE(theirs.ok) << theirs.error;
    ExpectSameFrames(ours, theirs);
    // Our own reader sees the same again.
    ReadResult again;
    ASSERT_EQ(ErrorOf([&] { again = ReadGif(written); }), 0);
    ASSERT_EQ(again.frames.size(), ours.frames.size());
    for (std::size_t i = 0; i < ours.frames.size(); ++i) {
        EXPECT_EQ(PixelBytes(*again.frames[i]), PixelBytes(*ours.frames[i]));
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, ValidGifs, testing::ValuesIn(CorpusFiles("gif", {".gif"})),
                         FileCaseName);

std::uint64_t Fnv1a(const Bytes& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::uint8_t byte : bytes) {
        hash = (hash ^ byte) * 0x100000001b3ull;
    }
    return hash;
}

// giflib refuses minimum code size 11. pygif_max-codes is the picture of pygif_large-codes
// stored with minimum code size 11, so giflib's reading of the twin judges ours; for
// pillow_issue_2811 the hash is of the pixels as a plain textbook decoder (written
// independently for this check) gave them.
TEST(CorpusMinimumCodeSizeEleven, DecodesAsItsTwin) {
    const ReadResult ours = ReadGif(ReadBytes(CorpusDir() / "gif" / "pygif_max-codes.gif"));
    const ReferenceImage twin =
        DecodeWithGiflib(ReadBytes(CorpusDir() / "gif" / "pygif_large-codes.gif"));
    ASSERT_TRUE(twin.ok);
    ASSERT_EQ(ours.frames.size(), 1u);
    EXPECT_EQ(InfoOf(*ours.frames[0]).codeSize, 11);
    EXPECT_EQ(PixelBytes(*ours.frames[0]), twin.frames[0].pixels);
    EXPECT_EQ(Fnv1a(PixelBytes(*ours.frames[0])), 0xcab94c1bf7496321ull);
}

TEST(CorpusMinimumCodeSizeEleven, DecodesToTheIndependentlyCheckedPixels) {
    const ReadResult ours = ReadGif(ReadBytes(CorpusDir() / "gif" / "pillow_issue_2811.gif"));
    ASSERT_EQ(ours.frames.size(), 1u);
    EXPECT_EQ(InfoOf(*ours.frames[0]).codeSize, 11);
    EXPECT_EQ(Fnv1a(PixelBytes(*ours.frames[0])), 0x89f92933cea7b85full);
}

// ---- malformed files --------------------------------------------------------------------------

// What each malformed file must give: the error raised while opening or reading, or, for the
// files the format's rules accept, the frames read.
struct MalformedCase {
    const char* file;
    std::int32_t error;
    std::size_t frames;  // frames read when no error is expected
};

void PrintTo(const MalformedCase& c, std::ostream* out) {
    *out << c.file;
}

const MalformedCase kMalformed[] = {
    {"derived_bad_version_90a.gif", kBxErrGIFVersion, 0},
    {"derived_chi_no_trailer.gif", kBxErrEndOfFile, 0},
    {"derived_chi_truncated_in_gct.gif", kBxErrEndOfFile, 0},
    {"derived_chi_truncated_mid.gif", kBxErrEndOfFile, 0},
    {"derived_empty.gif", kBxErrEndOfFile, 0},
    {"derived_gce_size5.gif", kBxErrMalformedGIF, 0},
    {"derived_header_only.gif", kBxErrEndOfFile, 0},
    {"derived_png_named_gif.gif", kBxErrNotGIF, 0},
    // Stray 00 bytes between blocks are padding.
    {"derived_stray_zero_bytes.gif", 0, 1},
    {"gifsuite_animated_transparent_loop_frames_out_of_bounds.gif", kBxErrMalformedGIF, 0},
    {"imagegif_issue-101-infinite-empty-loop.gif", kBxErrEndOfFile, 0},
    {"imagegif_issue-117-out-of-range.gif", kBxErrMalformedGIF, 0},
    {"imagegif_issue-96-small-codesize-2.gif", kBxErrEndOfFile, 0},
    {"imagegif_issue-96-small-codesize.gif", kBxErrEndOfFile, 0},
    // Background indices are not compared with the table.
    {"pillow_background_outside_palette.gif", 0, 2},
    {"pillow_decompression_bomb.gif", kBxErrEndOfFile, 0},
    {"pillow_decompression_bomb_extents.gif", kBxErrMalformedGIF, 0},
    {"pillow_no_palette_with_background.gif", 0, 2},
    {"pillow_test_extents_transparency.gif", kBxErrMalformedGIF, 0},
    {"pillow_zero_width.gif", kBxErrEndOfFile, 0},
    // Data after the end code, and pixels beyond the frame, are not read.
    {"pygif_extra-data.gif", 0, 1},
    {"pygif_extra-pixels.gif", 0, 1},
    {"pygif_image-outside-bg.gif", kBxErrMalformedGIF, 0},
    {"pygif_image-overlap-bg.gif", kBxErrMalformedGIF, 0},
    {"pygif_image-zero-width.gif", kBxErrEndOfFile, 0},
    {"pygif_invalid-background.gif", 0, 1},
    {"pygif_invalid-code.gif", kBxErrMalformedGIF, 0},
    // Pixel values are not compared with the table.
    {"pygif_invalid-colors.gif", 0, 1},
    // A screen with no image opens with frame count 0.
    {"pygif_max-size.gif", 0, 0},
    // Rows the data does not reach keep 0.
    {"pygif_missing-pixels.gif", 0, 1},
    {"pygif_no-clear.gif", 0, 1},
    {"pygif_no-data.gif", 0, 0},
    {"pygif_no-eoi.gif", 0, 1},
    {"pygif_overflow-codes-max.gif", kBxErrMalformedGIF, 0},
    {"pygif_overflow-codes.gif", kBxErrMalformedGIF, 0},
    {"pygif_zero-width.gif", 0, 0},
    // No table anywhere: one black colour.
    {"wuffs_empty-palette.gif", 0, 2},
    {"wuffs_frame-out-of-bounds.gif", kBxErrMalformedGIF, 0},
    {"wuffs_hippopotamus.interlaced.truncated.gif", kBxErrEndOfFile, 0},
    {"wuffs_pixel-data-none.gif", 0, 1},
    {"wuffs_pixel-data-not-enough.gif", 0, 1},
    {"wuffs_pixel-data-too-much-bad-lzw.gif", 0, 1},
    {"wuffs_pixel-data-too-much-good-lzw.gif", 0, 1},
    {"wuffs_zero-width-frame.gif", 0, 1},
};

class MalformedGifs : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedGifs, EndInTheirDefinedResult) {
    const MalformedCase& c = GetParam();
    const Bytes bytes = ReadBytes(CorpusDir() / "gif" / "malformed" / c.file);
    ReadResult read;
    EXPECT_EQ(ErrorOf([&] { read = ReadGif(bytes); }), c.error);
    if (c.error == 0) {
        EXPECT_EQ(read.frames.size(), c.frames);
        if (!read.frames.empty()) {
            // What was read can be written and read again.
            EXPECT_EQ(ErrorOf([&] { ReadGif(WriteBack(read)); }), 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, MalformedGifs, testing::ValuesIn(kMalformed),
                         [](const testing::TestParamInfo<MalformedCase>& param) {
                             std::string name = param.param.file;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) {
                                     return !std::isalnum(static_cast<unsigned char>(c));
                                 },
                                 '_');
                             return name;
                         });

TEST(MalformedGifsTable, CoversEveryMalformedFile) {
    std::vector<std::string> listed;
    for (const MalformedCase& c : kMalformed) {
        listed.push_back(c.file);
    }
    for (const auto& path : CorpusFiles("gif/malformed", {".gif"})) {
        EXPECT_NE(std::find(listed.begin(), listed.end(), path.filename().string()), listed.end())
            << path.filename() << " has no row";
    }
}

TEST(MalformedGifsEdgeCases, PixelDataNotEnoughKeepsTheRest) {
    const ReadResult read =
        ReadGif(ReadBytes(CorpusDir() / "gif" / "malformed" / "wuffs_pixel-data-not-enough.gif"));
    ASSERT_EQ(read.frames.size(), 1u);
    const Bytes pixels = PixelBytes(*read.frames[0]);
    // The pixels decoded come first; the rows left over stay at the fill index 0.
    ASSERT_EQ(pixels.size(), 4u);
    EXPECT_EQ(pixels[3], 0);
}

// ---- truncations --------------------------------------------------------------------------------

// Every strict prefix of a valid file ends in a BxErrorCode: the file lacks its trailer at least.
class TruncatedGifs : public testing::TestWithParam<std::filesystem::path> {};

TEST_P(TruncatedGifs, RaiseAtEveryCut) {
    const Bytes bytes = ReadBytes(GetParam());
    if (bytes.empty() || bytes.back() != 0x3B) {
        GTEST_SKIP() << "bytes follow the trailer";
    }
    // Every offset of small files; about 150 spread over large ones, plus the last 20 bytes.
    std::vector<std::size_t> cuts;
    const std::size_t step = std::max<std::size_t>(1, bytes.size() / 150);
    for (std::size_t cut = 0; cut < bytes.size(); cut += step) {
        cuts.push_back(cut);
    }
    for (std::size_t back = 1; back <= std::min<std::size_t>(20, bytes.size()); ++back) {
        cuts.push_back(bytes.size() - back);
    }
    for (std::size_t cut : cuts) {
        const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        const std::int32_t error = ErrorOf([&] { ReadGif(prefix); });
        EXPECT_NE(error, 0) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, TruncatedGifs, testing::ValuesIn(CorpusFiles("gif", {".gif"})),
                         FileCaseName);

// Cutting the LZW data inside the frames, but keeping every block structure intact, must decode
// quietly: a sub-block shortened to a terminator ends the frame's data early.
TEST(TruncatedGifsEdgeCases, DataCutByATerminatorDecodesWhatCame) {
    const Bytes bytes = ReadBytes(CorpusDir() / "gif" / "wuffs_hat.gif");
    const ReadResult whole = ReadGif(bytes);
    ASSERT_EQ(whole.frames.size(), 1u);
    // The first data sub-block follows the descriptor and its code size byte.
    const std::size_t descriptor =
        static_cast<std::size_t>(whole.file->FrameIndex()[0].imagePosition);
    const std::size_t firstBlock = descriptor + 9 + 1;
    Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(firstBlock));
    const std::size_t size = bytes[firstBlock];
    cut.push_back(static_cast<std::uint8_t>(size));
    cut.insert(cut.end(), bytes.begin() + static_cast<std::ptrdiff_t>(firstBlock) + 1,
               bytes.begin() + static_cast<std::ptrdiff_t>(firstBlock + 1 + size));
    cut.insert(cut.end(), {0x00, 0x3B});
    const ReadResult partial = ReadGif(cut);
    ASSERT_EQ(partial.frames.size(), 1u);
    const Bytes all = PixelBytes(*whole.frames[0]);
    const Bytes some = PixelBytes(*partial.frames[0]);
    std::size_t same = 0;
    while (same < all.size() && all[same] == some[same]) {
        ++same;
    }
    EXPECT_GT(same, 100u);  // 255 bytes of codes give well over a hundred pixels
    EXPECT_LT(same, all.size());
    for (std::size_t i = same + 1; i < some.size(); ++i) {
        EXPECT_EQ(some[i], 0) << i;
        if (some[i] != 0) {
            break;
        }
    }
}

}  // namespace
}  // namespace quillon::test::bx
