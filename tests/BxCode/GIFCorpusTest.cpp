// The reader and writer judged by giflib. Every GIF the reader accepts -- the corpus, giflib's own
// encodings, and hand-made files each aimed at one block or LZW rule -- decodes to the frames
// giflib sees, and what we write back, or write from records as the optimizer makes them, giflib
// reads as meant. Malformed files and every truncation end in a BxErrorCode or a defined result.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "BxCode/BxGIFSubBlocks.h"
#include "BxCode/BxLZWDecoder.h"
#include "BxCode/BxLZWEncoder.h"
#include "BxTestSupport.h"
#include "Corpus.h"
#include "GifReference.h"

namespace quillon::test::bx {
namespace {

using gif::DecodeWithGiflib;
using gif::ReferenceFrame;
using gif::ReferenceImage;

// ---- hand-made blocks ---------------------------------------------------------------------------

Bytes Word(unsigned value) {
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

// Screen descriptor with a global table of two entries, black and white.
Bytes Header(unsigned width = 1, unsigned height = 1, const char* version = "89a") {
    const Bytes packedAndTable = {0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF};
    return Cat({Text(std::string("GIF") + version), Word(width), Word(height), packedAndTable});
}

Bytes GraphicControl(unsigned packed, unsigned delay, std::uint8_t index = 0) {
    return Cat({{0x21, 0xF9, 0x04, static_cast<std::uint8_t>(packed)}, Word(delay), {index, 0}});
}

// LZW data of one pixel 0 at minimum code size 2: clear, 0, end.
const Bytes kOnePixel = {0x02, 0x02, 0x44, 0x01, 0x00};

Bytes Image(unsigned left = 0, unsigned top = 0, unsigned width = 1, unsigned height = 1,
            std::uint8_t packed = 0, const Bytes& data = kOnePixel) {
    return Cat({{0x2C}, Word(left), Word(top), Word(width), Word(height), {packed}, data});
}

// A one-row frame of the given width around an LZW stream.
Bytes Row(unsigned width, const Bytes& data) {
    return Cat({Header(width), Image(0, 0, width, 1, 0, data), {0x3B}});
}

// A comment in sub-blocks of `size` bytes.
Bytes Comment(const std::string& text, std::size_t size = 255) {
    Bytes block = {0x21, 0xFE};
    for (std::size_t at = 0; at < text.size(); at += size) {
        const std::string part = text.substr(at, size);
        block.push_back(static_cast<std::uint8_t>(part.size()));
        block.insert(block.end(), part.begin(), part.end());
    }
    block.push_back(0);
    return block;
}

Bytes Application(const char* id, const Bytes& subBlocks) {
    return Cat({{0x21, 0xFF, 0x0B}, Text(id), subBlocks, {0}});
}

Bytes Loop(unsigned count) {
    return Application("NETSCAPE2.0", Cat({{0x03, 0x01}, Word(count)}));
}

// ---- comparisons --------------------------------------------------------------------------------

std::vector<const BxIndexedImage*> Frames(const std::vector<std::unique_ptr<BxIndexedImage>>& all) {
    std::vector<const BxIndexedImage*> frames;
    for (const auto& frame : all) {
        frames.push_back(frame.get());
    }
    return frames;
}

std::vector<Bytes> CommentsOf(const BxGIFGlobalInfo& global, bool withEmpty) {
    std::vector<Bytes> comments;
    for (const BxGIFComment& comment : global.comments) {
        if (withEmpty || comment.Length() > 0) {
            comments.push_back(comment.Bytes());
        }
    }
    return comments;
}

// Our frames and their records against giflib's reading: positions, sizes, flags, graphic
// control, palette (giflib's may be padded with black to a power of two) and pixels.
void ExpectSameFrames(const std::vector<const BxIndexedImage*>& ours,
                      const ReferenceImage& theirs) {
    ASSERT_EQ(ours.size(), theirs.frames.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const BxIndexedImage& image = *ours[i];
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
            EXPECT_EQ(info.userInput != 0, frame.userInput);
            EXPECT_EQ(info.transparent != 0, frame.transparent);
            EXPECT_EQ(info.transparentIndex, frame.transparentIndex);
        }
        // A frame without any table gets one black colour; giflib gives none.
        Bytes palette(image.Palette().Entries(),
                      image.Palette().Entries() + 3 * image.Palette().Count());
        palette.resize(std::max<std::size_t>(frame.palette.size(), 3), 0);
        EXPECT_EQ(palette, frame.palette.empty() ? Bytes(3, 0) : frame.palette);
        EXPECT_EQ(PixelBytes(image), frame.pixels);
    }
}

// The values outside the frames as we meant them and as we read them back from what we wrote.
void ExpectSameRecord(const BxGIFGlobalInfo& meant, const BxGIFGlobalInfo& again) {
    EXPECT_EQ(again.version89a, meant.version89a);
    // Without a global table the packed byte is written as 0.
    if (meant.hasGlobalTable && meant.globalTable.Count() > 0) {
        EXPECT_EQ(again.colorResolution, meant.colorResolution);
        EXPECT_EQ(again.sorted, meant.sorted);
    }
    EXPECT_EQ(again.backgroundIndex, meant.backgroundIndex);
    EXPECT_EQ(again.aspectRatio, meant.aspectRatio);
    EXPECT_EQ(again.hasLoop, meant.hasLoop);
    EXPECT_EQ(again.hasLoop ? again.loopCount : 0, meant.hasLoop ? meant.loopCount : 0);
    // Empty comments are not written.
    EXPECT_EQ(CommentsOf(again, true), CommentsOf(meant, false));
}

// giflib reads no frame without pixels.
bool HasEmptyFrame(const std::vector<const BxIndexedImage*>& frames) {
    return std::any_of(frames.begin(), frames.end(), [](const BxIndexedImage* frame) {
        return frame->GetWidth() == 0 || frame->GetHeight() == 0;
    });
}

// What we write from these records, giflib reads as they say and we read back the same.
void ExpectWrittenAsMeant(std::uint32_t width, std::uint32_t height, const BxGIFGlobalInfo& global,
                          const std::vector<const BxIndexedImage*>& frames) {
    const Bytes written = WriteGif(width, height, global, frames);
    const ReferenceImage theirs = DecodeWithGiflib(written);
    if (theirs.ok) {
        ExpectSameFrames(frames, theirs);
        EXPECT_EQ(theirs.comments, CommentsOf(global, false));
    } else {
        EXPECT_TRUE(HasEmptyFrame(frames)) << theirs.error;  // our reader judges these below
    }
    ReadResult again;
    ASSERT_EQ(ErrorOf([&] { again = ReadGif(written); }), 0);
    ASSERT_EQ(again.frames.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(PixelBytes(*again.frames[i]), PixelBytes(*frames[i]));
    }
    ExpectSameRecord(global, *again.file->GetGIFGlobalInfo());
    // The counting file measures what is written without writing it.
    BxGIFFile counting;
    counting.SetScreenSize(width, height);
    counting.SetGlobalInfo(global.Clone());
    counting.SetFrameCount(static_cast<std::uint32_t>(frames.size()));
    counting.Open(BxFile::kWritable | BxFile::kCounting);
    for (const BxIndexedImage* frame : frames) {
        counting.WriteNextFrame(*frame, *frame->GetFormatInfo());
    }
    EXPECT_EQ(counting.GetLength(), static_cast<std::int64_t>(written.size()));
    counting.Close();
}

// ---- every file the reader accepts, and every one it refuses ------------------------------------

struct GifCase {
    std::string name;
    Bytes bytes;
    std::int32_t error = 0;  // raised by reading, or 0
    int frames = -1;         // frames read; -1: as many as giflib reads
    Bytes pixels = {};       // the first frame's pixels, where giflib refuses the file
    int loop = -2;           // the loop count read, -1 for none; -2: not checked
    Bytes twin = {};         // a file of the same frames that giflib reads, where it refuses this
    bool sameBytes = false;  // written back byte for byte
    std::uint64_t hash = 0;  // of the first frame's pixels as an independent decoder gave them
};

std::uint64_t Fnv1a(const Bytes& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::uint8_t byte : bytes) {
        hash = (hash ^ byte) * 0x100000001b3ull;
    }
    return hash;
}

void PrintTo(const GifCase& c, std::ostream* out) {
    *out << c.name;
}

// A test name from a file name: letters and digits kept, everything else an underscore.
std::string NameOf(std::string name) {
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

std::string GifName(const testing::TestParamInfo<GifCase>& param) {
    return NameOf(param.param.name);
}

class Gifs : public testing::TestWithParam<GifCase> {};

TEST_P(Gifs, ReadAsGiflibDoesAndWriteBackTheSame) {
    const GifCase& c = GetParam();
    ReadResult ours;
    ASSERT_EQ(ErrorOf([&] { ours = ReadGif(c.bytes); }), c.error);
    // The quick look at the signature agrees with the reader.
    BxGIFFile looked;
    looked.BxFile::Open(BxFile::kReadable, true, MemoryDescriptor(c.bytes));
    EXPECT_EQ(ErrorOf([&] {
                  EXPECT_EQ(looked.IsGIFFile(),
                            c.error != kBxErrNotGIF && c.error != kBxErrGIFVersion);
              }),
              c.bytes.size() < 6 ? kBxErrEndOfFile : 0);
    if (c.error != 0) {
        return;
    }
    if (c.frames >= 0) {
        ASSERT_EQ(ours.frames.size(), static_cast<std::size_t>(c.frames));
    }
    const BxGIFGlobalInfo& global = *ours.file->GetGIFGlobalInfo();
    const ReferenceImage theirs = DecodeWithGiflib(c.twin.empty() ? c.bytes : c.twin);
    if (theirs.ok) {
        EXPECT_EQ(ours.file->GetScreenWidth(), static_cast<std::uint32_t>(theirs.screenWidth));
        EXPECT_EQ(ours.file->GetScreenHeight(), static_cast<std::uint32_t>(theirs.screenHeight));
        ExpectSameFrames(Frames(ours.frames), theirs);
        EXPECT_EQ(CommentsOf(global, true), theirs.comments);
    } else if (!c.pixels.empty()) {
        EXPECT_EQ(PixelBytes(*ours.frames.at(0)), c.pixels) << "giflib: " << theirs.error;
    } else if (c.hash != 0) {
        EXPECT_EQ(Fnv1a(PixelBytes(*ours.frames.at(0))), c.hash) << "giflib: " << theirs.error;
    } else {
        EXPECT_TRUE(HasEmptyFrame(Frames(ours.frames))) << "no judge: giflib: " << theirs.error;
    }
    if (c.loop != -2) {
        EXPECT_EQ(global.hasLoop ? global.loopCount : -1, c.loop);
    }
    if (ours.frames.empty()) {
        return;
    }
    ExpectWrittenAsMeant(ours.file->GetScreenWidth(), ours.file->GetScreenHeight(), global,
                         Frames(ours.frames));
    // As the optimizer writes frames: each with a local table of just the entries it uses.
    std::vector<std::unique_ptr<BxIndexedImage>> trimmed;
    for (const auto& frame : ours.frames) {
        const Bytes pixels = PixelBytes(*frame);
        BxColorTable table = frame->Palette();
        table.Resize(pixels.empty() ? 1 : *std::max_element(pixels.begin(), pixels.end()) + 1u);
        trimmed.emplace_back(static_cast<BxIndexedImage*>(frame->Clone().release()));
        trimmed.back()->SetPalette(table);
        static_cast<BxGIFFrameInfo&>(*trimmed.back()->GetFormatInfo()).localTable = table;
        static_cast<BxGIFFrameInfo&>(*trimmed.back()->GetFormatInfo()).hasLocalTable = 1;
    }
    ExpectWrittenAsMeant(ours.file->GetScreenWidth(), ours.file->GetScreenHeight(), global,
                         Frames(trimmed));
    if (c.sameBytes) {
        EXPECT_EQ(WriteBack(ours), c.bytes);
    }
}

std::vector<GifCase> CorpusCases() {
    std::vector<GifCase> cases;
    for (const auto& path : CorpusFiles("gif", {".gif"})) {
        cases.push_back({path.stem().string(), ReadBytes(path)});
        // giflib refuses minimum code size 11. pygif_max-codes is the picture of pygif_large-codes
        // stored so; for pillow_issue_2811 the hash is of the pixels as a plain textbook decoder
        // (written independently for this check) gave them.
        if (path.filename() == "pygif_max-codes.gif") {
            cases.back().twin = ReadBytes(path.parent_path() / "pygif_large-codes.gif");
        }
        if (path.filename() == "pillow_issue_2811.gif") {
            cases.back().hash = 0x89f92933cea7b85full;
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Corpus, Gifs, testing::ValuesIn(CorpusCases()), GifName);

// The malformed files: the error raised, or for the files the format's rules accept, the frames.
GifCase Malformed(const char* file, std::int32_t error, int frames = 0, Bytes pixels = {},
                  const char* twin = nullptr) {
    return {file, ReadBytes(CorpusDir() / "gif" / "malformed" / file),   error, frames, pixels,
            -2,   twin ? ReadBytes(CorpusDir() / "gif" / twin) : Bytes{}};
}

const GifCase kMalformed[] = {
    Malformed("derived_bad_version_90a.gif", kBxErrGIFVersion),
    Malformed("derived_chi_no_trailer.gif", kBxErrEndOfFile),
    Malformed("derived_chi_truncated_in_gct.gif", kBxErrEndOfFile),
    Malformed("derived_chi_truncated_mid.gif", kBxErrEndOfFile),
    Malformed("derived_empty.gif", kBxErrEndOfFile),
    Malformed("derived_gce_size5.gif", kBxErrMalformedGIF),
    Malformed("derived_header_only.gif", kBxErrEndOfFile),
    Malformed("derived_png_named_gif.gif", kBxErrNotGIF),
    // Stray 00 bytes between blocks are padding.
    Malformed("derived_stray_zero_bytes.gif", 0, 1, {}, "gifsuite_static_transparent.gif"),
    Malformed("gifsuite_animated_transparent_loop_frames_out_of_bounds.gif", kBxErrMalformedGIF),
    Malformed("imagegif_issue-101-infinite-empty-loop.gif", kBxErrEndOfFile),
    Malformed("imagegif_issue-117-out-of-range.gif", kBxErrMalformedGIF),
    Malformed("imagegif_issue-96-small-codesize-2.gif", kBxErrEndOfFile),
    Malformed("imagegif_issue-96-small-codesize.gif", kBxErrEndOfFile),
    // Background indices are not compared with the table.
    Malformed("pillow_background_outside_palette.gif", 0, 2),
    Malformed("pillow_decompression_bomb.gif", kBxErrEndOfFile),
    Malformed("pillow_decompression_bomb_extents.gif", kBxErrMalformedGIF),
    Malformed("pillow_no_palette_with_background.gif", 0, 2),
    Malformed("pillow_test_extents_transparency.gif", kBxErrMalformedGIF),
    Malformed("pillow_zero_width.gif", kBxErrEndOfFile),
    // Data after the end code, and pixels beyond the frame, are not read.
    Malformed("pygif_extra-data.gif", 0, 1),
    Malformed("pygif_extra-pixels.gif", 0, 1),
    Malformed("pygif_image-outside-bg.gif", kBxErrMalformedGIF),
    Malformed("pygif_image-overlap-bg.gif", kBxErrMalformedGIF),
    Malformed("pygif_image-zero-width.gif", kBxErrEndOfFile),
    Malformed("pygif_invalid-background.gif", 0, 1),
    Malformed("pygif_invalid-code.gif", kBxErrMalformedGIF),
    // Pixel values are not compared with the table.
    Malformed("pygif_invalid-colors.gif", 0, 1),
    // A screen with no image opens with frame count 0.
    Malformed("pygif_max-size.gif", 0),
    // Rows the data does not reach keep 0.
    Malformed("pygif_missing-pixels.gif", 0, 1),
    Malformed("pygif_no-clear.gif", 0, 1),
    Malformed("pygif_no-data.gif", 0),
    Malformed("pygif_no-eoi.gif", 0, 1),
    Malformed("pygif_overflow-codes-max.gif", kBxErrMalformedGIF),
    Malformed("pygif_overflow-codes.gif", kBxErrMalformedGIF),
    Malformed("pygif_zero-width.gif", 0),
    // No table anywhere: one black colour.
    Malformed("wuffs_empty-palette.gif", 0, 2),
    Malformed("wuffs_frame-out-of-bounds.gif", kBxErrMalformedGIF),
    Malformed("wuffs_hippopotamus.interlaced.truncated.gif", kBxErrEndOfFile),
    Malformed("wuffs_pixel-data-none.gif", 0, 1, {0, 0, 0, 0}),
    // Clear, 0, end: the one pixel decoded, and the three the data does not reach, are 0.
    Malformed("wuffs_pixel-data-not-enough.gif", 0, 1, {0, 0, 0, 0}),
    Malformed("wuffs_pixel-data-too-much-bad-lzw.gif", 0, 1),
    Malformed("wuffs_pixel-data-too-much-good-lzw.gif", 0, 1),
    Malformed("wuffs_zero-width-frame.gif", 0, 1),
};

INSTANTIATE_TEST_SUITE_P(Malformed, Gifs, testing::ValuesIn(kMalformed), GifName);

TEST(MalformedGifsTable, CoversEveryMalformedFile) {
    for (const auto& path : CorpusFiles("gif/malformed", {".gif"})) {
        EXPECT_TRUE(std::any_of(std::begin(kMalformed), std::end(kMalformed),
                                [&](const GifCase& row) { return path.filename() == row.name; }))
            << path.filename() << " has no row";
    }
}

// Block walking: what is skipped, what ends the walk, what is refused.
// 87a, 2 x 1, resolution 5, a sorted table of 8, background 3, aspect 49; and a frame of two
// pixels 4 and 0 (clear 8, 4, 0, end 9 at four bits).
const Bytes kEveryFieldScreen =
    Cat({Text("GIF87a"), Word(2), Word(1), {0xCA, 3, 49}, Bytes(24, 5)});
const Bytes kTwoPixels = Cat({Image(0, 0, 2, 1, 0, {3, 2, 0x48, 0x90, 0}), {0x3B}});

const GifCase kBlocks[] = {
    {"UnknownExtensionIsSkipped", Cat({Header(), {0x21, 0x2A, 2, 1, 2, 0}, Image(), {0x3B}}), 0, 1},
    {"PlainTextIsSkipped",
     Cat({Header(), {0x21, 0x01, 0x0C}, Bytes(12, 0), {2, 'h', 'i', 0}, Image(), {0x3B}}), 0, 1},
    {"BytesAfterTheTrailerAreIgnored", Cat({Header(), Image(), {0x3B, 0xFF, 0xFF}}), 0, 1},
    {"UnknownIntroducer", Cat({Header(), {0x47, 0x3B}}), kBxErrMalformedGIF},
    {"SecondHeaderWhereABlockBelongs", Cat({Header(), Image(), Header(), {0x3B}}),
     kBxErrMalformedGIF},
    // Graphic control: the later of two applies, across a comment, and to the next frame only.
    {"LaterGraphicControlWins",
     Cat({Header(), GraphicControl(8, 10), GraphicControl(13, 20, 1), Image(), Image(), {0x3B}})},
    {"GraphicControlAcrossAComment",
     Cat({Header(), GraphicControl(1 << 2, 7), Comment("hi"), Image(), Image(), {0x3B}}), 0, 2},
    // Every screen field, a looping block, and graphic control with every field: disposal 2,
    // user input, delay 300, transparent index 4.
    {"EveryField",
     Cat({kEveryFieldScreen, Loop(12), GraphicControl(0x0B, 300, 4), kTwoPixels}),
     0,
     1,
     {},
     12},
    // Comments: sub-blocks joined; an empty one is read but not written back.
    {"EmptyComment", Cat({Header(), Comment(""), Comment("x"), Image(), {0x3B}}), 0, 1},
    {"LongCommentInSubBlocks",
     Cat({Header(), Comment("abc"), Comment(std::string(610, 'e'), 100), Image(), {0x3B}}), 0, 1},
};

// Looping blocks, each followed by a comment to show that the walk carries on in step.
Bytes WithLoop(const Bytes& block) {
    return Cat({Header(), block, Comment("after"), Image(), {0x3B}});
}

GifCase Looping(const char* name, const Bytes& block, int loop) {
    return {name, WithLoop(block), 0, 1, {}, loop};
}

const GifCase kLoops[] = {
    Looping("Forever", Loop(0), 0),
    Looping("TwoBlocksLastWins", Cat({Loop(3), Loop(9)}), 9),
    // A first sub-block of 5 bytes is skipped as data, sub-block by sub-block.
    Looping("FirstSubBlockNotThreeBytes", Application("NETSCAPE2.0", {5, 1, 2, 0, 4, 5, 2, 9, 9}),
            -1),
    Looping("ExtraSubBlock", Application("NETSCAPE2.0", {3, 1, 4, 0, 5, 2, 0, 0, 0, 0}), 4),
    // The terminator right after the identifier: an empty block.
    Looping("NoSubBlocks", Application("NETSCAPE2.0", {}), -1),
    // ANIMEXTS1.0 holds the same sub-block, and browsers loop on it as on NETSCAPE2.0.
    Looping("AnimextsAlias", Application("ANIMEXTS1.0", {3, 1, 7, 0}), 7),
    Looping("OtherApplication", Application("XMP DataXMP", {3, 1, 7, 0}), -1),
    Looping("ApplicationIdOfOtherLength", {0x21, 0xFF, 3, 'a', 'b', 'c', 1, 0, 0}, -1),
    Looping("EmptyApplicationBlock", {0x21, 0xFF, 0}, -1),
};

// The frame rectangle must lie on the screen, and is refused before its pixels are allocated.
Bytes Placed(unsigned screenWidth, unsigned screenHeight, unsigned left, unsigned top,
             unsigned width, unsigned height) {
    return Cat({Header(screenWidth, screenHeight), Image(left, top, width, height), {0x3B}});
}

const GifCase kRectangles[] = {
    {"ExactlyTheScreen", Placed(4, 3, 0, 0, 4, 3), 0, 1, Bytes(12, 0)},
    {"ZeroSizeFrame", Placed(2, 2, 0, 0, 0, 0), 0, 1},
    {"OnePixelPastTheRight", Placed(4, 3, 3, 0, 2, 1), kBxErrMalformedGIF},
    {"TopOffTheScreen", Placed(4, 3, 0, 3, 1, 0), kBxErrMalformedGIF},
    {"HugeFrameOnAHugeScreen", Placed(65535, 65535, 0, 0, 65535, 65535), kBxErrNoMemory},
};

// LZW streams (minimum code size, sub-blocks, terminator) in one-row frames; where giflib refuses
// a stream the pixels are given, worked out code by code.
const GifCase kLzw[] = {
    // clear 4, 1, 1, then 6 before it is defined: "1" + "1".
    {"CodeEqualToNextCode", Row(3, {2, 2, 0x8C, 0x0B, 0}), 0, 1},
    // clear, 2, then 7 while the next code is 6: read as the previous string plus its first byte.
    {"CodeBeyondNextCode", Row(3, {2, 2, 0xD4, 0x0B, 0}), 0, 1},
    // No clear at the start: the first code is a literal. 3, 2, end.
    {"NoLeadingClear", Row(2, {2, 2, 0x53, 0x01, 0}), 0, 1},
    {"DoubleClear", Row(1, {2, 2, 0x64, 0x0A, 0}), 0, 1},
    // Minimum code size 1: clear 2, literal 1, end 3 at the grown width of 3 bits.
    {"MinimumCodeSizeOne", Row(1, {1, 1, 0x36, 0}), 0, 1},
    // Clear, 1, then the terminator: the rest of the row keeps 0.
    {"TerminatorBeforeTheEndCode", Row(3, {2, 1, 0x0C, 0}), 0, 1, {1, 0, 0}},
    {"NothingButTheTerminator", Row(2, {2, 0}), 0, 1, {0, 0}},
    {"EndCodeAtOnce", Row(2, {2, 1, 0x2C, 0}), 0, 1, {0, 0}},
    // Four pixels of data in a frame of two: decoding stops when the frame is full.
    {"MorePixelsThanTheFrame", Row(2, {2, 2, 0x8C, 0x53, 0}), 0, 1},
    // 1 x 3 interlaced: 1 (row 0, pass 1), 0 (row 2, pass 3), 1 (row 1, pass 4).
    {"InterlacedPasses",
     Cat({Header(1, 3), Image(0, 0, 1, 3, 0x40, {2, 2, 0x0C, 0x52, 0}), {0x3B}}), 0, 1},
    {"SourceEndsInsideData", Cat({Header(2), Image(0, 0, 2, 1, 0, {2, 3, 0x44})}), kBxErrEndOfFile},
    // After a clear only a literal can come: 7 names no string yet.
    {"FirstCodeNotALiteral", Row(1, {2, 1, 0x3C, 0}), kBxErrMalformedGIF},
    {"MinimumCodeSizeTwelve", Row(1, {12, 1, 0, 0}), kBxErrMalformedGIF},
};

INSTANTIATE_TEST_SUITE_P(Blocks, Gifs, testing::ValuesIn(kBlocks), GifName);
INSTANTIATE_TEST_SUITE_P(Loops, Gifs, testing::ValuesIn(kLoops), GifName);
INSTANTIATE_TEST_SUITE_P(Rectangles, Gifs, testing::ValuesIn(kRectangles), GifName);
INSTANTIATE_TEST_SUITE_P(Lzw, Gifs, testing::ValuesIn(kLzw), GifName);

// Pixels the data does not reach keep what they held, those just after its last string included
// (the decoder writes a string's last bytes as a whole chunk where the row has room).
TEST(BxLZWDecoder, PixelsPastTheDataKeepWhatTheyHeld) {
    const Bytes data = {2, 1, 0x0C, 0};  // clear, 1, then the terminator
    BxMemorySource source(data);
    BxLZWDecoder decoder;
    decoder.Start(source);
    Bytes row(16, 0xAA);
    decoder.DecodeRows(row.data(), 16, 1, 16);
    decoder.End();
    Bytes expected(16, 0xAA);
    expected[0] = 1;
    EXPECT_EQ(row, expected);
}

// giflib's encoding of random pixels, at every code width and across full tables: we read it as
// giflib does, and our encoder (a clear exactly when the table is full) writes the same bytes.
GifCase GiflibEncoded(const char* name, int width, int height, unsigned colours) {
    std::mt19937 random(static_cast<unsigned>(width + height));
    Bytes pixels(static_cast<std::size_t>(width * height));
    for (auto& pixel : pixels) {
        pixel = static_cast<std::uint8_t>(random() % colours);
    }
    Bytes palette;
    for (unsigned i = 0; i < std::max(2u, colours); ++i) {
        palette.insert(palette.end(), 3, static_cast<std::uint8_t>(i));
    }
    GifCase c{name, gif::EncodeWithGiflib(width, height, palette, pixels), 0, 1};
    c.sameBytes = true;
    return c;
}

// An encoder may leave a full table in use instead of clearing it: codes stay 12 bits wide and
// nothing more is added. Literals fill the table, then codes name its last strings.
GifCase FullTableWithoutAClear() {
    std::mt19937 random(11);
    std::vector<unsigned> codes = {4};  // clear, at minimum code size 2
    for (int i = 0; i < 4200; ++i) {
        codes.push_back(random() % 4);
    }
    codes.insert(codes.end(), {4095, 4000, 6, 1, 4095, 5});
    BxMemorySink sink;
    BxSubBlockWriter blocks(sink);
    BxLZWCodeWriter writer(blocks);
    sink.WriteByte(2);
    // Widths as a decoder grows them: the code after a clear adds no string.
    unsigned width = 3;
    unsigned next = 6;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        writer.Write(codes[i], width);
        next += i > 1 && next < 4096;
        width += next == (1u << width) && width < 12;
    }
    writer.Flush();
    blocks.Finish();
    return {"FullTableWithoutAClear", Row(4200 + 2 + 2 + 2 + 1 + 2, sink.Bytes()), 0, 1};
}

const GifCase kLzwEncodings[] = {
    GiflibEncoded("TwoColours", 61, 17, 2),
    GiflibEncoded("FourColours", 200, 30, 4),
    GiflibEncoded("SixteenColoursPastTheFirstClear", 300, 100, 16),
    GiflibEncoded("FullByteSeveralClears", 400, 200, 256),
    GiflibEncoded("FewColoursLongRuns", 500, 120, 3),
    GiflibEncoded("SingleColumn", 1, 999, 8),
    // Strings longer than a row, and than the decoder's stack holds at once.
    GiflibEncoded("UniformLongStrings", 2000, 500, 1),
    FullTableWithoutAClear(),
};

INSTANTIATE_TEST_SUITE_P(LzwEncodings, Gifs, testing::ValuesIn(kLzwEncodings), GifName);

// ---- truncations
// ---------------------------------------------------------------------------------
// ---------------------------------------------------------

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
        EXPECT_NE(ErrorOf([&] { ReadGif(prefix); }), 0) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, TruncatedGifs, testing::ValuesIn(CorpusFiles("gif", {".gif"})),
                         [](const testing::TestParamInfo<std::filesystem::path>& param) {
                             return NameOf(param.param.stem().string());
                         });

}  // namespace
}  // namespace quillon::test::bx
