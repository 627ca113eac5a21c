// BxGIFFile on hand-made files: block walking, graphic control, looping blocks, comments, colour
// tables, interlacing, the frame rectangle and what is written back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BxCode/BxGIFFile.h"
#include "BxCode/BxIndexedImage.h"
#include "BxCode/BxRGBImage.h"
#include "BxTestSupport.h"
#include "GifReference.h"

namespace quillon::test::bx {
namespace {

// ---- fixture blocks ---------------------------------------------------------------------------

Bytes Word(unsigned value) {
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

// "GIF89a", screen width and height, packed byte 0x80 (global table of 2 entries: black, white),
// background 0, aspect 0.
Bytes Header(unsigned width = 1, unsigned height = 1, const char* version = "89a") {
    return Cat({Text(std::string("GIF") + version),
                Word(width),
                Word(height),
                {0x80, 0x00, 0x00},
                {0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}});
}

// Graphic control: 21 F9 04, packed (disposal << 2 | transparent), delay, transparent index, 00.
Bytes GraphicControl(unsigned disposal, unsigned delay, bool transparent = false,
                     std::uint8_t index = 0) {
    return Cat(
        {{0x21, 0xF9, 0x04, static_cast<std::uint8_t>((disposal << 2) | (transparent ? 1 : 0))},
         Word(delay),
         {index, 0x00}});
}

// One-pixel LZW data of value 0 at minimum code size 2: clear, 0, end.
const Bytes kOnePixelData = {0x02, 0x02, 0x44, 0x01, 0x00};

// Image descriptor 2C, left, top, width, height, packed, then the data.
Bytes Image(unsigned left = 0, unsigned top = 0, unsigned width = 1, unsigned height = 1,
            std::uint8_t packed = 0x00, const Bytes& data = kOnePixelData) {
    return Cat({{0x2C}, Word(left), Word(top), Word(width), Word(height), {packed}, data});
}

Bytes Comment(const std::string& text) {
    Bytes block = {0x21, 0xFE};
    if (!text.empty()) {
        block.push_back(static_cast<std::uint8_t>(text.size()));
        const Bytes bytes = Text(text);
        block.insert(block.end(), bytes.begin(), bytes.end());
    }
    block.push_back(0x00);
    return block;
}

// 21 FF 0B "NETSCAPE2.0" 03 01 count 00.
Bytes Loop(unsigned count) {
    return Cat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01}, Word(count), {0x00}});
}

const Bytes kTrailer = {0x3B};

Bytes DropLast(Bytes bytes, std::size_t count) {
    bytes.erase(bytes.end() - static_cast<std::ptrdiff_t>(std::min(count, bytes.size())),
                bytes.end());
    return bytes;
}

const BxGIFGlobalInfo& Global(const ReadResult& read) {
    return *read.file->GetGIFGlobalInfo();
}

// ---- reading: block walking ---------------------------------------------------------------------

TEST(GIFFileExamples, ReadsTheScreenAndOneFrame) {
    const ReadResult read = ReadGif(Cat({Header(3, 2), Image(1, 1), kTrailer}));
    EXPECT_EQ(read.file->GetScreenWidth(), 3u);
    EXPECT_EQ(read.file->GetScreenHeight(), 2u);
    ASSERT_EQ(read.frames.size(), 1u);
    const BxGIFFrameInfo& info = InfoOf(*read.frames[0]);
    EXPECT_EQ(info.left, 1);
    EXPECT_EQ(info.top, 1);
    EXPECT_EQ(info.hasLocalTable, 0);
    EXPECT_EQ(info.codeSize, 2);
    EXPECT_EQ(read.frames[0]->Palette().Count(), 2u);
    EXPECT_EQ(Global(read).version89a, 1u);
    EXPECT_EQ(Global(read).hasGlobalTable, 1);
    EXPECT_EQ(Global(read).declaredTableSize, 2);
    EXPECT_EQ(Global(read).colorResolution, 1);
    EXPECT_EQ(Global(read).hasLoop, 0);
    EXPECT_TRUE(read.file->IsGIFFile());
}

struct OpenCase {
    std::string name;
    Bytes file;
    std::int32_t error;    // raised by opening, or 0
    std::uint32_t frames;  // frames indexed when it opens
};

void PrintTo(const OpenCase& c, std::ostream* out) {
    *out << c.name;
}

class OpeningFiles : public testing::TestWithParam<OpenCase> {};

TEST_P(OpeningFiles, IndexOrRefuse) {
    const OpenCase& c = GetParam();
    BxGIFFile file;
    const std::int32_t error =
        ErrorOf([&] { file.Open(BxFile::kReadable, true, MemoryDescriptor(c.file)); });
    EXPECT_EQ(error, c.error);
    if (c.error == 0) {
        EXPECT_EQ(file.GetFrameCount(), c.frames);
        EXPECT_EQ(file.GetIndexedFrameCount(), c.frames);
    }
}

const OpenCase kOpenExamples[] = {
    {"OneFrame", Cat({Header(), Image(), kTrailer}), 0, 1},
    {"ThreeFrames", Cat({Header(), Image(), Image(), Image(), kTrailer}), 0, 3},
    {"NoFrames", Cat({Header(), kTrailer}), 0, 0},
    {"StrayZeroBytesAreIgnored", Cat({Header(), {0, 0}, Image(), {0}, kTrailer}), 0, 1},
    {"UnknownExtensionIsSkipped",
     Cat({Header(), {0x21, 0x2A, 0x02, 1, 2, 0x00}, Image(), kTrailer}), 0, 1},
    {"PlainTextIsSkipped",
     Cat({Header(), {0x21, 0x01, 0x0C}, Bytes(12, 0), {0x02, 'h', 'i', 0x00}, Image(), kTrailer}),
     0, 1},
    {"LocalTableIsSkippedWhileIndexing",
     Cat({Header(), Image(0, 0, 1, 1, 0x81, Cat({Bytes(12, 7), kOnePixelData})), kTrailer}), 0, 1},
    {"BytesAfterTheTrailerAreIgnored", Cat({Header(), Image(), kTrailer, {0xFF, 0xFF}}), 0, 1},
    {"GIF87a", Cat({Header(1, 1, "87a"), Image(), kTrailer}), 0, 1},
};

const OpenCase kOpenEndings[] = {
    {"Empty", {}, kBxErrEndOfFile, 0},
    {"SignatureOnly", Text("GIF89a"), kBxErrEndOfFile, 0},
    {"CutInTheGlobalTable", DropLast(Header(), 2), kBxErrEndOfFile, 0},
    {"NoTrailer", Cat({Header(), Image()}), kBxErrEndOfFile, 0},
    {"CutInTheImageData", Cat({Header(), DropLast(Image(), 2)}), kBxErrEndOfFile, 0},
    {"CutInAComment", Cat({Header(), {0x21, 0xFE, 0x05, 'a'}}), kBxErrEndOfFile, 0},
};

const OpenCase kOpenMalformed[] = {
    {"NotAGif", Text("PNG89a\x01\x00\x01\x00"), kBxErrNotGIF, 0},
    {"Version90a", Cat({Text("GIF90a"), Bytes(20, 0)}), kBxErrGIFVersion, 0},
    {"UnknownIntroducer", Cat({Header(), {0x47}, kTrailer}), kBxErrMalformedGIF, 0},
    {"SecondHeaderWhereABlockBelongs", Cat({Header(), Image(), Header(), kTrailer}),
     kBxErrMalformedGIF, 0},
};

std::string OpenName(const testing::TestParamInfo<OpenCase>& info) {
    return info.param.name;
}
INSTANTIATE_TEST_SUITE_P(Examples, OpeningFiles, testing::ValuesIn(kOpenExamples), OpenName);
INSTANTIATE_TEST_SUITE_P(EarlyEndings, OpeningFiles, testing::ValuesIn(kOpenEndings), OpenName);
INSTANTIATE_TEST_SUITE_P(Malformed, OpeningFiles, testing::ValuesIn(kOpenMalformed), OpenName);

TEST(GIFFileEdgeCases, FileWithoutFramesOpensEmptyAndReadsNothing) {
    ReadResult read = ReadGif(Cat({Header(), kTrailer}));
    EXPECT_EQ(read.file->GetFrameCount(), 0u);
    EXPECT_BX_ERROR(read.file->ReadFrame(), kBxErrMissing);
}

TEST(GIFFileEdgeCases, ReadingPastTheLastFrameRaisesMissing) {
    ReadResult read = ReadGif(Cat({Header(), Image(), kTrailer}));
    EXPECT_BX_ERROR(read.file->ReadFrame(), kBxErrMissing);
}

TEST(GIFFileExamples, IsGIFFileAnswersNoForOtherFiles) {
    BxGIFFile file;
    file.Open(BxFile::kReadable, true, MemoryDescriptor(Cat({Header(), kTrailer})));
    EXPECT_TRUE(file.IsGIFFile());
    EXPECT_EQ(file.Tell(), 6);

    // IsGIFFile on a file that is already open for reading only checks the first six bytes.
    BxGIFFile other;
    other.BxFile::Open(BxFile::kReadable, true, MemoryDescriptor(Text("GIF90a and more")));
    EXPECT_FALSE(other.IsGIFFile());
    BxGIFFile png;
    png.BxFile::Open(BxFile::kReadable, true, MemoryDescriptor(Text("\x89PNG\r\n")));
    EXPECT_FALSE(png.IsGIFFile());
    BxGIFFile tiny;
    tiny.BxFile::Open(BxFile::kReadable, true, MemoryDescriptor(Text("GI")));
    EXPECT_BX_ERROR(tiny.IsGIFFile(), kBxErrEndOfFile);
}

// ---- graphic control --------------------------------------------------------------------------

TEST(GIFFileEdgeCases, LaterOfTwoGraphicControlsWinsAndAFrameWithoutOneGetsZeros) {
    const ReadResult read =
        ReadGif(Cat({Header(), GraphicControl(2, 10), GraphicControl(3, 20, true, 1), Image(),
                     Image(), kTrailer}));
    ASSERT_EQ(read.frames.size(), 2u);
    const BxGIFFrameInfo& first = InfoOf(*read.frames[0]);
    EXPECT_EQ(first.hasGraphicControl, 1);
    EXPECT_EQ(first.disposal, 3);
    EXPECT_EQ(first.delay, 20);
    EXPECT_EQ(first.transparent, 1);
    EXPECT_EQ(first.transparentIndex, 1);
    const BxGIFFrameInfo& second = InfoOf(*read.frames[1]);
    EXPECT_EQ(second.hasGraphicControl, 0);
    EXPECT_EQ(second.delay, 0);
    EXPECT_EQ(second.disposal, 0);
    EXPECT_EQ(second.transparent, 0);
}

TEST(GIFFileEdgeCases, GraphicControlStillAppliesAcrossAComment) {
    const ReadResult read =
        ReadGif(Cat({Header(), GraphicControl(1, 7), Comment("hi"), Image(), Image(), kTrailer}));
    ASSERT_EQ(read.frames.size(), 2u);
    EXPECT_EQ(InfoOf(*read.frames[0]).delay, 7);
    EXPECT_EQ(InfoOf(*read.frames[0]).disposal, 1);
    EXPECT_EQ(InfoOf(*read.frames[1]).hasGraphicControl, 0);
    ASSERT_EQ(Global(read).comments.size(), 1u);
    EXPECT_EQ(Global(read).comments[0].Bytes(), Text("hi"));
}

TEST(GIFFileEdgeCases, GraphicControlOfAnotherSizeIsMalformed) {
    // 21 F9 05: one data byte too many.
    const Bytes file =
        Cat({Header(), {0x21, 0xF9, 0x05, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}, Image(), kTrailer});
    EXPECT_BX_ERROR(ReadGif(file), kBxErrMalformedGIF);
}

TEST(GIFFileEdgeCases, GraphicControlUserInputBit) {
    const Bytes file =
        Cat({Header(), {0x21, 0xF9, 0x04, 0x0A, 0x05, 0x00, 0x03, 0x00}, Image(), kTrailer});
    const ReadResult read = ReadGif(file);
    EXPECT_EQ(InfoOf(*read.frames[0]).disposal, 2);
    EXPECT_EQ(InfoOf(*read.frames[0]).userInput, 1);
    EXPECT_EQ(InfoOf(*read.frames[0]).delay, 5);
}

// ---- looping block ----------------------------------------------------------------------------

struct LoopCase {
    std::string name;
    Bytes blocks;  // between the header and the image
    std::uint8_t hasLoop;
    std::uint16_t loopCount;
};

void PrintTo(const LoopCase& c, std::ostream* out) {
    *out << c.name;
}

class LoopingBlocks : public testing::TestWithParam<LoopCase> {};

TEST_P(LoopingBlocks, AreReadAndTheFollowingBlocksToo) {
    const LoopCase& c = GetParam();
    // A comment after the block shows that the walk carries on in step.
    const ReadResult read = ReadGif(Cat({Header(), c.blocks, Comment("after"), Image(), kTrailer}));
    EXPECT_EQ(Global(read).hasLoop, c.hasLoop);
    EXPECT_EQ(Global(read).loopCount, c.loopCount);
    ASSERT_EQ(Global(read).comments.size(), 1u);
    EXPECT_EQ(Global(read).comments[0].Bytes(), Text("after"));
    EXPECT_EQ(read.frames.size(), 1u);
}

const LoopCase kLoopCases[] = {
    {"Forever", Loop(0), 1, 0},
    {"Five", Loop(5), 1, 5},
    {"Max", Loop(65535), 1, 65535},
    {"TwoBlocksLastWins", Cat({Loop(3), Loop(9)}), 1, 9},
    // First sub-block of 5 bytes: skipped as data, sub-block by sub-block; no loop.
    {"FirstSubBlockNotThreeBytes",
     Cat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x05, 1, 2, 0, 4, 5}, {0x02, 9, 9}, {0x00}}), 0,
     0},
    // An extra buffering sub-block after the loop count.
    {"ExtraSubBlock",
     Cat({{0x21, 0xFF, 0x0B},
          Text("NETSCAPE2.0"),
          {0x03, 0x01},
          Word(4),
          {0x05, 2, 0, 0, 0, 0},
          {0x00}}),
     1, 4},
    // The terminator right after the identifier: an empty block, not the start of a sub-block.
    {"NoSubBlocks", Cat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x00}}), 0, 0},
    // ANIMEXTS1.0 holds the same sub-block, and browsers loop on it as on NETSCAPE2.0.
    {"AnimextsAlias", Cat({{0x21, 0xFF, 0x0B}, Text("ANIMEXTS1.0"), {0x03, 0x01}, Word(7), {0x00}}),
     1, 7},
    {"OtherApplication",
     Cat({{0x21, 0xFF, 0x0B}, Text("XMP DataXMP"), {0x03, 0x01}, Word(7), {0x00}}), 0, 0},
    {"ApplicationIdOfOtherLength", {0x21, 0xFF, 0x03, 'a', 'b', 'c', 0x01, 0x00, 0x00}, 0, 0},
    // A block size of 0 is the terminator: the block ends at once.
    {"EmptyApplicationBlock", {0x21, 0xFF, 0x00}, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(EdgeCases, LoopingBlocks, testing::ValuesIn(kLoopCases),
                         CaseName<LoopCase>);

// ---- comments ---------------------------------------------------------------------------------

TEST(GIFFileEdgeCases, EmptyCommentIsReadButNotWrittenBack) {
    ReadResult read = ReadGif(Cat({Header(), {0x21, 0xFE, 0x00}, Comment("x"), Image(), kTrailer}));
    ASSERT_EQ(Global(read).comments.size(), 2u);
    EXPECT_EQ(Global(read).comments[0].Length(), 0u);
    const Bytes written = WriteBack(read);
    const ReadResult again = ReadGif(written);
    ASSERT_EQ(Global(again).comments.size(), 1u);
    EXPECT_EQ(Global(again).comments[0].Bytes(), Text("x"));
    const Bytes emptyComment = {0x21, 0xFE, 0x00};
    EXPECT_EQ(std::search(written.begin(), written.end(), emptyComment.begin(), emptyComment.end()),
              written.end());
}

TEST(GIFFileExamples, LongCommentsAreJoinedAndSplitIntoSubBlocks) {
    std::string text(600, 'c');
    text[0] = 'a';
    text[599] = 'z';
    Bytes block = {0x21, 0xFE};
    for (std::size_t at = 0; at < text.size(); at += 100) {
        block.push_back(100);
        const Bytes part = Text(text.substr(at, 100));
        block.insert(block.end(), part.begin(), part.end());
    }
    block.push_back(0x00);
    ReadResult read = ReadGif(Cat({Header(), block, Image(), kTrailer}));
    ASSERT_EQ(Global(read).comments.size(), 1u);
    EXPECT_EQ(Global(read).comments[0].Bytes(), Text(text));
    const Bytes written = WriteBack(read);
    // 255 + 255 + 90: the comment follows the header, the global table and no looping block.
    const std::size_t at = 13 + 6;
    ASSERT_GT(written.size(), at + 606);
    EXPECT_EQ(written[at], 0x21);
    EXPECT_EQ(written[at + 1], 0xFE);
    EXPECT_EQ(written[at + 2], 255);
    EXPECT_EQ(written[at + 3 + 255], 255);
    EXPECT_EQ(written[at + 4 + 510], 90);
    EXPECT_EQ(written[at + 5 + 600], 0x00);
    EXPECT_EQ(Global(ReadGif(written)).comments[0].Bytes(), Text(text));
}

// ---- colour tables ----------------------------------------------------------------------------

TEST(GIFFileExamples, CodeWidthOfColourTables) {
    const std::pair<std::size_t, unsigned> widths[] = {
        {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {16, 4}, {17, 5}, {128, 7}, {129, 8}, {256, 8}};
    for (const auto& [count, width] : widths) {
        EXPECT_EQ(BxGIFCodeWidth(count), width) << count;
    }
    EXPECT_BX_ERROR(BxGIFCodeWidth(0), kBxErrBadArgument);
    EXPECT_BX_ERROR(BxGIFCodeWidth(257), kBxErrBadArgument);
}

BxColorTable Colours(const Bytes& rgb) {
    BxColorTable table(rgb.size() / 3);
    std::copy(rgb.begin(), rgb.end(), table.Entries());
    return table;
}

std::unique_ptr<BxIndexedImage> FrameOf(std::uint32_t width, std::uint32_t height,
                                        const BxColorTable& palette, const Bytes& pixels) {
    auto image = std::make_unique<BxIndexedImage>(width, height, &palette);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image->SetPixelAt(x, y, pixels[y * width + x]);
        }
    }
    auto info = std::make_unique<BxGIFFrameInfo>();
    info->width = static_cast<std::uint16_t>(width);
    info->height = static_cast<std::uint16_t>(height);
    info->hasLocalTable = 0;
    info->hasGraphicControl = 0;
    image->SetFormatInfo(std::move(info));
    return image;
}

BxGIFFrameInfo& MutableInfo(BxIndexedImage& image) {
    return static_cast<BxGIFFrameInfo&>(*image.GetFormatInfo());
}

TEST(GIFFileEdgeCases, ThreeColourTableIsWrittenAsFour) {
    BxGIFGlobalInfo global;
    global.hasGlobalTable = 1;
    global.globalTable = Colours({1, 2, 3, 4, 5, 6, 7, 8, 9});
    global.hasLoop = 0;
    global.colorResolution = 8;
    const auto frame = FrameOf(1, 1, global.globalTable, {2});
    const Bytes written = WriteGif(1, 1, global, {frame.get()});
    // GIF89a, 1 x 1, packed: table flag, resolution 8 (7 << 4), code width 2 (1): 0xF1.
    const Bytes head = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0xF1, 0, 0,
                        1,   2,   3,   4,   5,   6,   7, 8, 9, 0, 0,    0};
    ASSERT_GE(written.size(), head.size());
    EXPECT_EQ(Bytes(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(head.size())),
              head);
    const gif::ReferenceImage theirs = gif::DecodeWithGiflib(written);
    ASSERT_TRUE(theirs.ok) << theirs.error;
    EXPECT_EQ(theirs.frames[0].pixels, Bytes({2}));
}

TEST(GIFFileEdgeCases, ClaimedGlobalTableWithoutEntriesIsNotWritten) {
    BxGIFGlobalInfo global;
    global.hasGlobalTable = 1;
    global.hasLoop = 0;
    auto frame = FrameOf(1, 1, Colours({9, 9, 9, 8, 8, 8}), {1});
    MutableInfo(*frame).hasLocalTable = 1;
    MutableInfo(*frame).localTable = frame->Palette();
    const Bytes written = WriteGif(1, 1, global, {frame.get()});
    EXPECT_EQ(written[10], 0x00);  // packed byte: no table
    EXPECT_EQ(written[13], 0x2C);  // the image follows at once
    const ReadResult read = ReadGif(written);
    EXPECT_EQ(Global(read).hasGlobalTable, 0);
    EXPECT_EQ(read.frames[0]->Palette(), Colours({9, 9, 9, 8, 8, 8}));
}

TEST(GIFFileExamples, ScreenDescriptorValuesSurvive) {
    BxGIFGlobalInfo global;
    global.version89a = 0;
    global.hasGlobalTable = 1;
    global.globalTable = Colours({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5});
    global.colorResolution = 5;
    global.sorted = 1;
    global.backgroundIndex = 3;
    global.aspectRatio = 49;
    global.hasLoop = 1;
    global.loopCount = 12;
    global.comments.emplace_back(Text("one"));
    auto frame = FrameOf(2, 1, global.globalTable, {4, 0});
    BxGIFFrameInfo& info = MutableInfo(*frame);
    info.left = 1;
    info.top = 2;
    info.hasGraphicControl = 1;
    info.disposal = 2;
    info.delay = 300;
    info.userInput = 1;
    info.transparent = 1;
    info.transparentIndex = 4;
    const Bytes written = WriteGif(3, 3, global, {frame.get()});
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 6), Text("GIF87a"));
    EXPECT_EQ(written[10], 0x80 | 0x40 | 0x08 | 0x02);
    const ReadResult read = ReadGif(written);
    const BxGIFGlobalInfo& again = Global(read);
    EXPECT_EQ(again.version89a, 0u);
    EXPECT_EQ(again.colorResolution, 5);
    EXPECT_EQ(again.sorted, 1);
    EXPECT_EQ(again.backgroundIndex, 3);
    EXPECT_EQ(again.aspectRatio, 49);
    EXPECT_EQ(again.hasLoop, 1);
    EXPECT_EQ(again.loopCount, 12);
    EXPECT_EQ(again.declaredTableSize, 8);
    ASSERT_EQ(again.comments.size(), 1u);
    const BxGIFFrameInfo& frameInfo = InfoOf(*read.frames[0]);
    EXPECT_EQ(frameInfo.left, 1);
    EXPECT_EQ(frameInfo.top, 2);
    EXPECT_EQ(frameInfo.disposal, 2);
    EXPECT_EQ(frameInfo.delay, 300);
    EXPECT_EQ(frameInfo.userInput, 1);
    EXPECT_EQ(frameInfo.transparent, 1);
    EXPECT_EQ(frameInfo.transparentIndex, 4);
    EXPECT_EQ(read.frames[0]->PixelAt(0, 0), 4);
}

TEST(GIFFileExamples, LocalTablesAndTheirSortFlag) {
    BxGIFGlobalInfo global;
    global.hasLoop = 0;
    auto frame = FrameOf(2, 2, Colours({10, 0, 0, 0, 20, 0, 0, 0, 30}), {0, 1, 2, 1});
    BxGIFFrameInfo& info = MutableInfo(*frame);
    info.hasLocalTable = 1;
    info.sorted = 1;
    info.localTable = frame->Palette();
    const Bytes written = WriteGif(2, 2, global, {frame.get()});
    const ReadResult read = ReadGif(written);
    EXPECT_EQ(InfoOf(*read.frames[0]).hasLocalTable, 1);
    EXPECT_EQ(InfoOf(*read.frames[0]).sorted, 1);
    EXPECT_EQ(read.frames[0]->Palette().Count(), 4u);
    const gif::ReferenceImage theirs = gif::DecodeWithGiflib(written);
    ASSERT_TRUE(theirs.ok);
    EXPECT_EQ(theirs.frames[0].pixels, Bytes({0, 1, 2, 1}));
    EXPECT_EQ(theirs.frames[0].palette, Bytes({10, 0, 0, 0, 20, 0, 0, 0, 30, 0, 0, 0}));
}

TEST(GIFFileExamples, FrameWithoutAnyTableGetsOneBlackColour) {
    const Bytes file =
        Cat({Text("GIF89a"), Word(1), Word(1), {0x00, 0x00, 0x00}, Image(), kTrailer});
    const ReadResult read = ReadGif(file);
    EXPECT_EQ(read.frames[0]->Palette(), BxColorTable(1));
}

// ---- interlacing ------------------------------------------------------------------------------

class InterlacedHeights : public testing::TestWithParam<std::uint32_t> {};

TEST_P(InterlacedHeights, RowsComeBackInPlace) {
    const std::uint32_t height = GetParam();
    const std::uint32_t width = 3;
    const BxColorTable palette = Colours(Bytes(3 * 16, 0));
    Bytes pixels(width * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            pixels[y * width + x] = static_cast<std::uint8_t>((y + x) % 16);
        }
    }
    auto frame = FrameOf(width, height, palette, pixels);
    MutableInfo(*frame).interlaced = 1;
    BxGIFGlobalInfo global;
    global.hasLoop = 0;
    global.hasGlobalTable = 1;
    global.globalTable = palette;
    const Bytes written = WriteGif(width, height, global, {frame.get()});
    const ReadResult read = ReadGif(written);
    EXPECT_EQ(InfoOf(*read.frames[0]).interlaced, 1);
    Bytes decoded;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            decoded.push_back(read.frames[0]->PixelAt(x, y));
        }
    }
    EXPECT_EQ(decoded, pixels);
    const gif::ReferenceImage theirs = gif::DecodeWithGiflib(written);
    ASSERT_TRUE(theirs.ok) << theirs.error;
    EXPECT_EQ(theirs.frames[0].pixels, pixels);
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, InterlacedHeights,
                         testing::Values(1u, 2u, 3u, 4u, 5u, 8u, 9u, 17u));

// Interlaced data that holds only pass 1 of a 3-row frame: rows of passes 3 and 4 keep 0.
TEST(GIFFileEdgeCases, InterlacedPassesRunOnOneStream) {
    // 1 x 3 interlaced, pixel values 1 (row 0), then 0 (row 2, pass 3) and 1 (row 1, pass 4):
    // clear 4, 1, 0, 1 at 3 bits; next code has reached 8, so end 5 at 4 bits.
    const Bytes data = {0x02, 0x02, 0x0C, 0x52, 0x00};
    const ReadResult read = ReadGif(Cat({Header(1, 3), Image(0, 0, 1, 3, 0x40, data), kTrailer}));
    EXPECT_EQ(read.frames[0]->PixelAt(0, 0), 1);
    EXPECT_EQ(read.frames[0]->PixelAt(0, 1), 1);
    EXPECT_EQ(read.frames[0]->PixelAt(0, 2), 0);
}

// ---- frame rectangle --------------------------------------------------------------------------

struct RectangleCase {
    std::string name;
    unsigned screenWidth, screenHeight, left, top, width, height;
    std::int32_t error;
};

void PrintTo(const RectangleCase& c, std::ostream* out) {
    *out << c.name;
}

class FrameRectangles : public testing::TestWithParam<RectangleCase> {};

TEST_P(FrameRectangles, MustLieOnTheScreen) {
    const RectangleCase& c = GetParam();
    const Bytes file = Cat(
        {Header(c.screenWidth, c.screenHeight), Image(c.left, c.top, c.width, c.height), kTrailer});
    EXPECT_EQ(ErrorOf([&] { ReadGif(file); }), c.error);
}

const RectangleCase kRectangles[] = {
    {"ExactlyTheScreen", 4, 3, 0, 0, 4, 3, 0},
    {"RightEdgeOnTheScreenEdge", 4, 3, 3, 0, 1, 1, 0},
    {"OnePixelPastTheRight", 4, 3, 3, 0, 2, 1, kBxErrMalformedGIF},
    {"OnePixelPastTheBottom", 4, 3, 0, 2, 1, 2, kBxErrMalformedGIF},
    {"LeftOffTheScreen", 4, 3, 4, 0, 0, 1, kBxErrMalformedGIF},
    {"TopOffTheScreen", 4, 3, 0, 3, 1, 0, kBxErrMalformedGIF},
    {"ZeroWidthOnTheScreen", 4, 3, 1, 1, 0, 2, 0},
    // The rectangle is refused before the frame's pixels would be allocated.
    {"HugeFrameOnATinyScreen", 1, 1, 0, 0, 65535, 65535, kBxErrMalformedGIF},
    {"HugeFrameOnAHugeScreenIsTooMuchMemory", 65535, 65535, 0, 0, 65535, 65535, kBxErrNoMemory},
    {"FrameOnAZeroScreen", 0, 0, 0, 0, 0, 0, kBxErrMalformedGIF},
};

INSTANTIATE_TEST_SUITE_P(EdgeCases, FrameRectangles, testing::ValuesIn(kRectangles),
                         CaseName<RectangleCase>);

// ---- zero-size frames and code sizes ----------------------------------------------------------

TEST(GIFFileEdgeCases, ZeroSizeFrameIsReadAndWritten) {
    const ReadResult read = ReadGif(Cat({Header(2, 2), Image(0, 0, 0, 0), kTrailer}));
    ASSERT_EQ(read.frames.size(), 1u);
    EXPECT_EQ(read.frames[0]->GetWidth(), 0u);
    const Bytes written = WriteBack(read);
    const ReadResult again = ReadGif(written);
    ASSERT_EQ(again.frames.size(), 1u);
    EXPECT_EQ(again.frames[0]->GetHeight(), 0u);
}

TEST(GIFFileEdgeCases, MinimumCodeSizeAboveElevenIsMalformed) {
    EXPECT_BX_ERROR(
        ReadGif(Cat({Header(), Image(0, 0, 1, 1, 0, {12, 0x01, 0x00, 0x00}), kTrailer})),
        kBxErrMalformedGIF);
}

TEST(GIFFileEdgeCases, CorruptDataIsMalformed) {
    // clear, then 7 with nothing defined.
    EXPECT_BX_ERROR(
        ReadGif(Cat({Header(), Image(0, 0, 1, 1, 0, {0x02, 0x01, 0x3C, 0x00}), kTrailer})),
        kBxErrMalformedGIF);
}

// ---- writing ----------------------------------------------------------------------------------

TEST(GIFFileEdgeCases, NoGraphicControlBlockUnlessTheRecordHasOne) {
    BxGIFGlobalInfo global;
    global.hasLoop = 0;
    global.hasGlobalTable = 1;
    global.globalTable = Colours({0, 0, 0, 1, 1, 1});
    auto frame = FrameOf(1, 1, global.globalTable, {1});
    MutableInfo(*frame).delay = 50;
    MutableInfo(*frame).disposal = 2;
    const Bytes written = WriteGif(1, 1, global, {frame.get()});
    const Bytes graphicControl = {0x21, 0xF9};
    EXPECT_EQ(
        std::search(written.begin(), written.end(), graphicControl.begin(), graphicControl.end()),
        written.end());
    MutableInfo(*frame).hasGraphicControl = 1;
    const Bytes withControl = WriteGif(1, 1, global, {frame.get()});
    const Bytes expected = {0x21, 0xF9, 0x04, 0x08, 50, 0, 0, 0};
    EXPECT_NE(std::search(withControl.begin(), withControl.end(), expected.begin(), expected.end()),
              withControl.end());
}

TEST(GIFFileExamples, TheTrailerFollowsTheCountedLastFrame) {
    BxGIFGlobalInfo global;
    global.hasLoop = 0;
    global.hasGlobalTable = 1;
    global.globalTable = Colours({0, 0, 0, 1, 1, 1});
    const auto frame = FrameOf(1, 1, global.globalTable, {1});
    const Bytes two = WriteGif(1, 1, global, {frame.get(), frame.get()});
    EXPECT_EQ(two.back(), 0x3B);
    EXPECT_EQ(ReadGif(two).frames.size(), 2u);

    BxGIFFile counting;
    counting.SetScreenSize(1, 1);
    counting.SetGlobalInfo(global.Clone());
    counting.SetFrameCount(3);
    counting.Open(BxFile::kWritable | BxFile::kCounting);
    counting.WriteNextFrame(*frame, *frame->GetFormatInfo());
    counting.WriteNextFrame(*frame, *frame->GetFormatInfo());
    const std::int64_t beforeLast = counting.GetLength();
    counting.WriteNextFrame(*frame);  // a record made by NewFrameInfo: a local table of 2
    EXPECT_EQ(counting.GetLength(), beforeLast + 10 + 6 + 5 + 1);
    counting.Close();
}

TEST(GIFFileExamples, CountingLengthEqualsTheWrittenLength) {
    BxGIFGlobalInfo global;
    global.hasGlobalTable = 1;
    global.globalTable = Colours(Bytes(3 * 7, 5));
    global.comments.emplace_back(Text("counted"));
    const auto frame = FrameOf(2, 2, global.globalTable, {1, 2, 3, 4});
    const Bytes written = WriteGif(2, 2, global, {frame.get()});
    BxGIFFile counting;
    counting.SetScreenSize(2, 2);
    counting.SetGlobalInfo(global.Clone());
    counting.SetFrameCount(1);
    counting.Open(BxFile::kWritable | BxFile::kCounting);
    counting.WriteNextFrame(*frame, *frame->GetFormatInfo());
    EXPECT_EQ(counting.GetLength(), static_cast<std::int64_t>(written.size()));
    counting.Close();
}

TEST(GIFFileExamples, NewRecordsHaveTheirDefaults) {
    BxGIFFile file;
    const auto global = file.NewGlobalInfo();
    const auto& gif = static_cast<const BxGIFGlobalInfo&>(*global);
    EXPECT_EQ(gif.version89a, 0u);
    EXPECT_EQ(gif.hasLoop, 0);
    EXPECT_EQ(gif.colorResolution, 0);
    EXPECT_EQ(gif.globalTable.Count(), 0u);
    const auto palette = Colours({1, 2, 3, 4, 5, 6, 7, 8, 9});
    BxIndexedImage image(4, 5, &palette);
    const auto info = file.NewFrameInfo(image);
    const auto& frame = static_cast<const BxGIFFrameInfo&>(*info);
    EXPECT_EQ(frame.width, 4);
    EXPECT_EQ(frame.height, 5);
    EXPECT_EQ(frame.hasLocalTable, 1);
    EXPECT_EQ(frame.localTable, palette);
    EXPECT_EQ(frame.hasGraphicControl, 0);
    EXPECT_EQ(frame.disposal, 1);
    EXPECT_EQ(frame.transparent, 0);
    // An image file opened for writing without a global record makes one.
    BxGIFFile writing;
    writing.Open(BxFile::kWritable | BxFile::kCounting);
    ASSERT_NE(writing.GetGIFGlobalInfo(), nullptr);
    EXPECT_EQ(writing.GetGIFGlobalInfo()->hasLoop, 0);
}

TEST(GIFFileEdgeCases, WritingWhatCannotBeWrittenRaises) {
    BxGIFFile file;
    file.SetScreenSize(2, 2);
    file.SetFrameCount(1);
    file.Open(BxFile::kWritable | BxFile::kCounting);
    BxIndexedImage image(2, 2);
    BxGIFFrameInfo wrongSize;
    wrongSize.width = 3;
    wrongSize.height = 2;
    EXPECT_BX_ERROR(file.WriteFrame(image, wrongSize), kBxErrBadArgument);
    BxRGBImage rgb(2, 2);
    BxGIFFrameInfo info;
    info.width = 2;
    info.height = 2;
    EXPECT_BX_ERROR(file.WriteFrame(rgb, info), kBxErrMissing);
    BxGIFFrameInfo emptyLocal = info;  // a local table claimed without entries
    EXPECT_BX_ERROR(file.WriteFrame(image, emptyLocal), kBxErrBadArgument);
    EXPECT_EQ(file.GetLength(), 0) << "a frame that cannot be written writes nothing";
    BxGIFFile big;
    big.SetScreenSize(70000, 1);
    big.Open(BxFile::kWritable | BxFile::kCounting);
    EXPECT_BX_ERROR(big.WriteGlobalInfo(), kBxErrBadArgument);
}

TEST(GIFFileExamples, CloseForgetsEverything) {
    BxGIFFile file;
    file.Open(BxFile::kReadable, true, MemoryDescriptor(Cat({Header(5, 5), Image(), kTrailer})));
    EXPECT_EQ(file.GetFrameCount(), 1u);
    file.Close();
    EXPECT_EQ(file.GetFrameCount(), 0u);
    EXPECT_EQ(file.GetScreenWidth(), 0u);
    EXPECT_EQ(file.GetGlobalInfo(), nullptr);
    EXPECT_EQ(file.GetIndexedFrameCount(), 0u);
    EXPECT_FALSE(file.IsOpen());
}

}  // namespace
}  // namespace quillon::test::bx
