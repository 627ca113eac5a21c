// The LZW codec layer by layer: sub-blocks, codes, string expansion and the encoder's exact
// output, then whole-stream behaviour against giflib.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "BxCode/BxGIFSubBlocks.h"
#include "BxCode/BxLZWDecoder.h"
#include "BxCode/BxLZWEncoder.h"
#include "BxTestSupport.h"
#include "GifReference.h"

namespace quillon::test::bx {
namespace {

// ---- sub-block reader -------------------------------------------------------------------------

struct SubBlockCase {
    std::string name;
    Bytes stream;
    Bytes data;       // the data bytes given before the reader stops
    bool terminated;  // stopped at a terminator (else at the end of the source, 18)
};

void PrintTo(const SubBlockCase& c, std::ostream* out) {
    *out << c.name;
}

class SubBlockReading : public testing::TestWithParam<SubBlockCase> {};

TEST_P(SubBlockReading, GivesTheDataBytes) {
    const SubBlockCase& c = GetParam();
    BxMemorySource source(c.stream);
    BxSubBlockReader reader(source);
    Bytes data;
    std::uint8_t byte = 0;
    const std::int32_t error = ErrorOf([&] {
        while (reader.NextByte(&byte)) {
            data.push_back(byte);
        }
    });
    EXPECT_EQ(data, c.data);
    EXPECT_EQ(error, c.terminated ? 0 : kBxErrEndOfFile);
    if (c.terminated) {
        EXPECT_TRUE(reader.AtTerminator());
        EXPECT_FALSE(reader.NextByte(&byte));               // and stays there, reading nothing more
        EXPECT_EQ(source.Position(), c.stream.size() - 1);  // one byte left after it in each case
    }
}

const SubBlockCase kSubBlockExamples[] = {
    {"OneBlock", {2, 0xAA, 0xBB, 0, 0x3B}, {0xAA, 0xBB}, true},
    {"TwoBlocks", {1, 0x01, 2, 0x02, 0x03, 0, 0x3B}, {1, 2, 3}, true},
    {"OnlyTerminator", {0, 0x3B}, {}, true},
};
const SubBlockCase kSubBlockEndings[] = {
    {"NoTerminator", {1, 7}, {7}, false},
    {"BlockCutShort", {4, 1, 2}, {1, 2}, false},
    {"NothingAtAll", {}, {}, false},
};

std::string SubBlockName(const testing::TestParamInfo<SubBlockCase>& info) {
    return info.param.name;
}
INSTANTIATE_TEST_SUITE_P(Examples, SubBlockReading, testing::ValuesIn(kSubBlockExamples),
                         SubBlockName);
INSTANTIATE_TEST_SUITE_P(EarlyEndings, SubBlockReading, testing::ValuesIn(kSubBlockEndings),
                         SubBlockName);

// ---- sub-block writer -------------------------------------------------------------------------

TEST(SubBlockWriterExamples, CutsBlocksOf255) {
    BxMemorySink sink;
    BxSubBlockWriter writer(sink);
    for (int i = 0; i < 300; ++i) {
        writer.Put(static_cast<std::uint8_t>(i));
    }
    writer.Finish();
    const Bytes& out = sink.Bytes();
    ASSERT_EQ(out.size(), 1u + 255 + 1 + 45 + 1);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[256], 45);
    EXPECT_EQ(out[257], 255);
    EXPECT_EQ(out.back(), 0);
}

TEST(SubBlockWriterEdgeCases, ExactlyFullBlockThenOnlyTheTerminator) {
    BxMemorySink sink;
    BxSubBlockWriter writer(sink);
    for (int i = 0; i < 255; ++i) {
        writer.Put(1);
    }
    writer.Finish();
    EXPECT_EQ(sink.Bytes().size(), 257u);
    EXPECT_EQ(sink.Bytes()[256], 0);
}

// ---- code reader and writer -------------------------------------------------------------------

TEST(LZWCodeExamples, CodesArePackedLeastSignificantBitFirst) {
    const Bytes stream = {2, 0x44, 0x01, 0};
    BxMemorySource source(stream);
    BxSubBlockReader blocks(source);
    BxLZWCodeReader reader(blocks);
    std::uint16_t code = 0;
    ASSERT_TRUE(reader.Read(3, &code));
    EXPECT_EQ(code, 4);
    ASSERT_TRUE(reader.Read(3, &code));
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(reader.Read(3, &code));
    EXPECT_EQ(code, 5);
    EXPECT_FALSE(reader.Read(12, &code));  // 7 bits left, then the terminator
}

TEST(LZWCodeExamples, WriterPacksTheSameWay) {
    BxMemorySink sink;
    BxSubBlockWriter blocks(sink);
    BxLZWCodeWriter writer(blocks);
    writer.Write(4, 3);
    writer.Write(0, 3);
    writer.Write(5, 3);
    writer.Flush();
    blocks.Finish();
    EXPECT_EQ(sink.Bytes(), Bytes({2, 0x44, 0x01, 0}));
}

TEST(LZWCodeExamples, TwelveBitCodesCrossBytes) {
    BxMemorySink sink;
    BxSubBlockWriter blocks(sink);
    BxLZWCodeWriter writer(blocks);
    writer.Write(0xABC, 12);
    writer.Write(0x123, 12);
    writer.Flush();
    blocks.Finish();
    EXPECT_EQ(sink.Bytes(), Bytes({3, 0xBC, 0x3A, 0x12, 0}));
}

// ---- string table -----------------------------------------------------------------------------

TEST(LZWStringTableExamples, FindsWhatWasAddedAndChainsExtensions) {
    BxLZWStringTable table;
    EXPECT_EQ(table.Find(1, 2), -1);
    table.Add(1, 2, 258);
    EXPECT_EQ(table.Find(1, 2), 258);
    EXPECT_EQ(table.Find(1, 3), -1);
    table.Add(1, 3, 259);
    EXPECT_EQ(table.Find(1, 3), 259);
    EXPECT_EQ(table.Find(1, 4), -1);
    table.Add(1, 4, 260);
    EXPECT_EQ(table.Find(1, 2), 258);
    EXPECT_EQ(table.Find(1, 4), 260);
    EXPECT_EQ(table.Find(258, 2), -1);
    table.Reset();
    EXPECT_EQ(table.Find(1, 2), -1);
}

// ---- encoder ----------------------------------------------------------------------------------

Bytes Encode(const Bytes& pixels, std::uint32_t width, unsigned codeWidth) {
    BxMemorySink sink;
    BxLZWEncoder encoder;
    encoder.Start(sink, codeWidth);
    const std::uint32_t rows = width ? static_cast<std::uint32_t>(pixels.size() / width) : 0;
    encoder.EncodeRows(pixels.data(), width, rows, width);
    encoder.End();
    return sink.Bytes();
}

struct EncoderCase {
    std::string name;
    Bytes pixels;
    std::uint32_t width;
    unsigned codeWidth;
    Bytes expected;
};

void PrintTo(const EncoderCase& c, std::ostream* out) {
    *out << c.name;
}

class EncoderOutput : public testing::TestWithParam<EncoderCase> {};

TEST_P(EncoderOutput, IsExactly) {
    const EncoderCase& c = GetParam();
    EXPECT_EQ(Encode(c.pixels, c.width, c.codeWidth), c.expected);
}

const EncoderCase kEncoderExamples[] = {
    // Minimum code size 2; clear (4), 0, end (5), three bits each: 100 000 101.
    {"OnePixelZero", {0}, 1, 2, {0x02, 0x02, 0x44, 0x01, 0x00}},
    // A two-colour table is written with minimum code size 2.
    {"WidthOneBecomesTwo", {0}, 1, 1, {0x02, 0x02, 0x44, 0x01, 0x00}},
    // clear 4, 1 (string 6 = "11" added), 6 (string 7 added, next code reaches 8: width 4),
    // then 1 still at 3 bits as the code right after the growth, and end 5 at 4 bits.
    {"RepeatUsesTheNewString", {1, 1, 1, 1}, 4, 2, {0x02, 0x02, 0x8C, 0x53, 0x00}},
    // No pixels: clear 8 then end 9, four bits each.
    {"NoPixels", {}, 0, 3, {0x03, 0x01, 0x98, 0x00}},
};

INSTANTIATE_TEST_SUITE_P(Examples, EncoderOutput, testing::ValuesIn(kEncoderExamples),
                         CaseName<EncoderCase>);

// Reads a code stream with the plain decoder rules and records each code with its width.
struct TracedCode {
    unsigned code;
    unsigned width;
};

std::vector<TracedCode> TraceCodes(const Bytes& stream) {
    const unsigned minimum = stream.at(0);
    Bytes data;
    std::size_t at = 1;
    while (stream.at(at) != 0) {
        data.insert(data.end(), stream.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                    stream.begin() + static_cast<std::ptrdiff_t>(at) + 1 + stream[at]);
        at += 1 + stream[at];
    }
    const unsigned clear = 1u << minimum;
    unsigned width = minimum + 1;
    unsigned next = clear + 2;
    bool first = true;
    std::vector<TracedCode> codes;
    std::size_t bit = 0;
    while (bit + width <= data.size() * 8) {
        unsigned code = 0;
        for (unsigned i = 0; i < width; ++i, ++bit) {
            code |= ((data[bit / 8] >> (bit % 8)) & 1u) << i;
        }
        codes.push_back({code, width});
        if (code == clear + 1) {
            break;
        }
        if (code == clear) {
            width = minimum + 1;
            next = clear + 2;
            first = true;
            continue;
        }
        if (!first && next < 4096) {
            ++next;
        }
        first = false;
        if (next == (1u << width) && width < 12) {
            ++width;
        }
    }
    return codes;
}

Bytes NoisyPixels(std::size_t count, unsigned colours, unsigned seed) {
    std::mt19937 random(seed);
    Bytes pixels(count);
    for (auto& pixel : pixels) {
        pixel = static_cast<std::uint8_t>(random() % colours);
    }
    return pixels;
}

TEST(EncoderEdgeCases, FullTableClearsAtTwelveBitsAndRestartsNarrow) {
    const Bytes pixels = NoisyPixels(64 * 256, 16, 7);
    const Bytes stream = Encode(pixels, 64, 4);
    const std::vector<TracedCode> codes = TraceCodes(stream);
    ASSERT_GT(codes.size(), 4u);
    EXPECT_EQ(codes[0].code, 16u);  // the opening clear
    std::size_t clears = 0;
    for (std::size_t i = 1; i + 1 < codes.size(); ++i) {
        if (codes[i].code == 16) {
            ++clears;
            EXPECT_EQ(codes[i].width, 12u);
            EXPECT_EQ(codes[i + 1].width, 5u);
            // Clears come exactly when the table is full: 4096 - 18 strings after the last one,
            // the first clear after the opening one at code index 1 + 4078.
            if (clears == 1) {
                EXPECT_EQ(i, 1u + 4096 - 18);
            }
        }
    }
    EXPECT_GE(clears, 1u);
    EXPECT_EQ(codes.back().code, 17u);
}

TEST(EncoderEdgeCases, CodeAfterGrowthKeepsTheOldWidth) {
    // Distinct pairs force a new string per pixel; with minimum code size 2 the width grows to 4
    // once next code reaches 8, and the code written right after that is still 3 bits wide,
    // which the plain decoder rules read back exactly.
    const Bytes pixels = {0, 1, 2, 3, 0, 2, 1, 3, 3, 1, 0, 0};
    const Bytes stream = Encode(pixels, static_cast<std::uint32_t>(pixels.size()), 2);
    const std::vector<TracedCode> codes = TraceCodes(stream);
    std::vector<unsigned> widths;
    for (const TracedCode& code : codes) {
        widths.push_back(code.width);
    }
    // clear, 0, 1, 2 at 3 bits; next code reaches 8 after the second string, so 3 (the code
    // right after the growth) is still 3 bits, and from then on 4.
    ASSERT_GE(widths.size(), 6u);
    EXPECT_EQ(widths[0], 3u);
    EXPECT_EQ(widths[3], 3u);
    EXPECT_EQ(widths[4], 4u);
    EXPECT_EQ(codes.back().code, 5u);
}

TEST(EncoderEdgeCases, WidthAboveEightRaisesBadArgument) {
    BxMemorySink sink;
    BxLZWEncoder encoder;
    EXPECT_BX_ERROR(encoder.Start(sink, 9), kBxErrBadArgument);
}

// ---- decoder ----------------------------------------------------------------------------------

struct DecoderCase {
    std::string name;
    Bytes stream;  // minimum code size byte, sub-blocks, terminator
    std::uint32_t width;
    std::uint32_t height;
    Bytes expected;      // the rows after decoding into rows cleared to 0xEE
    std::int32_t error;  // 0, or the code raised
};

void PrintTo(const DecoderCase& c, std::ostream* out) {
    *out << c.name;
}

class Decoding : public testing::TestWithParam<DecoderCase> {};

TEST_P(Decoding, FillsTheRows) {
    const DecoderCase& c = GetParam();
    BxMemorySource source(c.stream);
    BxLZWDecoder decoder;
    Bytes rows(std::size_t{c.width} * c.height, 0xEE);
    const std::int32_t error = ErrorOf([&] {
        decoder.Start(source);
        decoder.DecodeRows(rows.data(), c.width, c.height, c.width);
        decoder.End();
    });
    EXPECT_EQ(error, c.error);
    if (c.error == 0) {
        EXPECT_EQ(rows, c.expected);
    }
}

const DecoderCase kDecoderExamples[] = {
    // clear 4, 0, end 5.
    {"OnePixel", {2, 2, 0x44, 0x01, 0}, 1, 1, {0}, 0},
    // clear, 1, 1 then code 6 before it is defined: "1" + "1" = "11" (code equal to next code).
    {"CodeEqualToNextCode", {2, 2, 0x8C, 0x0B, 0}, 3, 1, {1, 1, 1}, 0},
    {"EncodedRepeat", {2, 2, 0x8C, 0x53, 0}, 4, 1, {1, 1, 1, 1}, 0},
    // clear, 2, then 7 while next code is 6: read as the previous string plus its first byte.
    {"CodeBeyondNextCode", {2, 2, 0xD4, 0x0B, 0}, 3, 1, {2, 2, 2}, 0},
    // No clear at the start: the first code is taken as a literal. 3, 2, end.
    {"NoLeadingClear", {2, 2, 0x53, 0x01, 0}, 2, 1, {3, 2}, 0},
    // Two clears in a row, then 1 and end.
    {"DoubleClear", {2, 2, 0x64, 0x0A, 0}, 1, 1, {1}, 0},
    // Minimum code size 1: clear 2, literal 1, end 3 at the grown width of 3 bits.
    {"MinimumCodeSizeOne", {1, 1, 0x36, 0}, 1, 1, {1}, 0},
};

const DecoderCase kDecoderEndings[] = {
    // Clear, 1, then the terminator: the rest of the rows keep their old bytes.
    {"TerminatorBeforeEnd", {2, 1, 0x0C, 0}, 3, 1, {1, 0xEE, 0xEE}, 0},
    {"NothingButTerminator", {2, 0}, 2, 1, {0xEE, 0xEE}, 0},
    {"EndCodeAtOnce", {2, 1, 0x2C, 0}, 2, 1, {0xEE, 0xEE}, 0},
    // More pixels than rows: decoding stops when the rows are full.
    {"MorePixelsThanRows", {2, 2, 0x8C, 0x53, 0}, 2, 1, {1, 1}, 0},
    {"SourceEndsInsideData", {2, 3, 0x44}, 2, 1, {}, kBxErrEndOfFile},
    {"MissingMinimumCodeSize", {}, 1, 1, {}, kBxErrEndOfFile},
};

const DecoderCase kDecoderMalformed[] = {
    // After a clear only a literal can come: 6 names no string yet.
    {"FirstCodeNotALiteral", {2, 1, 0x34, 0}, 1, 1, {}, kBxErrMalformedGIF},
    {"MinimumCodeSizeTwelve", {12, 1, 0, 0}, 1, 1, {}, kBxErrMalformedGIF},
    {"MinimumCodeSize255", {255, 1, 0, 0}, 1, 1, {}, kBxErrMalformedGIF},
};

std::string DecoderName(const testing::TestParamInfo<DecoderCase>& info) {
    return info.param.name;
}
INSTANTIATE_TEST_SUITE_P(Examples, Decoding, testing::ValuesIn(kDecoderExamples), DecoderName);
INSTANTIATE_TEST_SUITE_P(EarlyEndings, Decoding, testing::ValuesIn(kDecoderEndings), DecoderName);
INSTANTIATE_TEST_SUITE_P(Malformed, Decoding, testing::ValuesIn(kDecoderMalformed), DecoderName);

TEST(DecoderExamples, MinimumCodeSizeElevenIsAccepted) {
    // clear 2048, literal 7, end 2049, all 12 bits wide.
    BxMemorySink sink;
    BxSubBlockWriter blocks(sink);
    BxLZWCodeWriter codes(blocks);
    codes.Write(2048, 12);
    codes.Write(7, 12);
    codes.Write(2049, 12);
    codes.Flush();
    blocks.Finish();
    Bytes stream = {11};
    stream.insert(stream.end(), sink.Bytes().begin(), sink.Bytes().end());
    BxMemorySource source(stream);
    BxLZWDecoder decoder;
    decoder.Start(source);
    std::uint8_t pixel = 0xEE;
    decoder.DecodeRows(&pixel, 1, 1, 1);
    EXPECT_EQ(pixel, 7);
}

// The same stream decoded in one call and in calls of a row each, with rows far apart.
TEST(DecoderExamples, ResumesAcrossCallsWithStrides) {
    const std::uint32_t width = 37;
    const std::uint32_t height = 23;
    const Bytes pixels = NoisyPixels(std::size_t{width} * height, 5, 3);
    const Bytes stream = Encode(pixels, width, 3);
    BxMemorySource source(stream);
    BxLZWDecoder decoder;
    decoder.Start(source);
    const std::size_t stride = 100;
    Bytes spaced(stride * height, 0xEE);
    for (std::uint32_t y = 0; y < height; y += 2) {
        decoder.DecodeRows(spaced.data() + y * stride, width, 1, 0);
        if (y + 1 < height) {
            decoder.DecodeRows(spaced.data() + (y + 1) * stride, width, 1, 0);
        }
    }
    EXPECT_FALSE(decoder.Ended());  // all rows came before the end code was needed
    for (std::uint32_t y = 0; y < height; ++y) {
        EXPECT_EQ(Bytes(spaced.begin() + y * stride, spaced.begin() + y * stride + width),
                  Bytes(pixels.begin() + y * width, pixels.begin() + (y + 1) * width))
            << "row " << y;
        EXPECT_EQ(spaced[y * stride + width], 0xEE);
    }
}

TEST(DecoderEdgeCases, AfterTheEndLaterCallsDoNothing) {
    const Bytes stream = {2, 2, 0x44, 0x01, 0};
    BxMemorySource source(stream);
    BxLZWDecoder decoder;
    decoder.Start(source);
    Bytes rows(4, 0xEE);
    decoder.DecodeRows(rows.data(), 2, 1, 2);
    EXPECT_TRUE(decoder.Ended());
    decoder.DecodeRows(rows.data() + 2, 2, 1, 2);
    EXPECT_EQ(rows, Bytes({0, 0xEE, 0xEE, 0xEE}));
}

TEST(DecoderEdgeCases, ZeroWidthOrNoRowsTouchNothing) {
    const Bytes stream = {2, 2, 0x44, 0x01, 0};
    BxMemorySource source(stream);
    BxLZWDecoder decoder;
    decoder.Start(source);
    decoder.DecodeRows(nullptr, 0, 1000, 0);
    decoder.DecodeRows(nullptr, 5, 0, 5);
    EXPECT_EQ(source.Position(), 1u);  // only the minimum code size byte was read
}

// ---- round trips ------------------------------------------------------------------------------

// A one-frame GIF around an LZW stream, so giflib can judge it.
Bytes WrapInGif(std::uint32_t width, std::uint32_t height, unsigned colourBits,
                const Bytes& stream) {
    Bytes gif = Text("GIF89a");
    gif.insert(gif.end(),
               {static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(width >> 8),
                static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(height >> 8),
                static_cast<std::uint8_t>(0x80 | (colourBits - 1)), 0, 0});
    for (unsigned i = 0; i < (1u << colourBits); ++i) {
        gif.insert(gif.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                               static_cast<std::uint8_t>(i)});
    }
    gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, static_cast<std::uint8_t>(width),
                           static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(height),
                           static_cast<std::uint8_t>(height >> 8), 0});
    gif.insert(gif.end(), stream.begin(), stream.end());
    gif.push_back(0x3B);
    return gif;
}

struct RoundTripCase {
    std::string name;
    std::uint32_t width;
    std::uint32_t height;
    unsigned bits;
    unsigned colours;
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
    *out << c.name;
}

class LZWRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(LZWRoundTrip, GiflibAndOurDecoderReadOurEncoding) {
    const RoundTripCase& c = GetParam();
    const Bytes pixels = NoisyPixels(std::size_t{c.width} * c.height, c.colours, c.width + c.bits);
    const Bytes stream = Encode(pixels, c.width, c.bits);
    const gif::ReferenceImage theirs =
        gif::DecodeWithGiflib(WrapInGif(c.width, c.height, c.bits < 2 ? 1 : c.bits, stream));
    ASSERT_TRUE(theirs.ok) << theirs.error;
    ASSERT_EQ(theirs.frames.size(), 1u);
    EXPECT_EQ(theirs.frames[0].pixels, pixels);
    BxMemorySource source(stream);
    BxLZWDecoder decoder;
    decoder.Start(source);
    Bytes ours(pixels.size(), 0xEE);
    decoder.DecodeRows(ours.data(), c.width, c.height, c.width);
    EXPECT_EQ(ours, pixels);
}

const RoundTripCase kRoundTrips[] = {
    {"TwoColours", 61, 17, 1, 2},
    {"FourColoursFewRepeats", 200, 30, 2, 4},
    {"SixteenColoursPastTheFirstClear", 300, 100, 4, 16},
    {"FullByteSeveralClears", 400, 200, 8, 256},
    {"FewColoursLongRuns", 500, 120, 8, 3},
    {"SingleColumn", 1, 999, 3, 8},
};

INSTANTIATE_TEST_SUITE_P(Examples, LZWRoundTrip, testing::ValuesIn(kRoundTrips),
                         CaseName<RoundTripCase>);

TEST(LZWRoundTripEdgeCases, UniformImageBuildsLongStrings) {
    const std::uint32_t width = 2000;
    const std::uint32_t height = 500;
    const Bytes pixels(std::size_t{width} * height, 3);
    const Bytes stream = Encode(pixels, width, 2);
    BxMemorySource source(stream);
    BxLZWDecoder decoder;
    decoder.Start(source);
    Bytes ours(pixels.size(), 0);
    decoder.DecodeRows(ours.data(), width, height, width);
    EXPECT_EQ(ours, pixels);
    const gif::ReferenceImage theirs = gif::DecodeWithGiflib(WrapInGif(width, height, 2, stream));
    ASSERT_TRUE(theirs.ok);
    EXPECT_EQ(theirs.frames[0].pixels, pixels);
}

}  // namespace
}  // namespace quillon::test::bx
