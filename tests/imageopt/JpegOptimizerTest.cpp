#include "imageopt/JpegOptimizer.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "JpegTestBytes.h"

namespace quillon::test::jpeg {
namespace {

struct StripCase {
    std::string name;
    Bytes input;
    std::optional<Bytes> expected;  // nothing: the stage gives up and the buffer stays as it was
};

void PrintTo(const StripCase& c, std::ostream* out) {
    *out << c.name;
}

class StripJpegSegmentsTable : public testing::TestWithParam<StripCase> {};

TEST_P(StripJpegSegmentsTable, RewritesOrGivesUp) {
    const StripCase& c = GetParam();
    Bytes buffer = c.input;
    auto length = static_cast<std::uint32_t>(buffer.size());
    const bool shrunk = StripJpegSegments(buffer.data(), length);
    if (!c.expected) {
        EXPECT_FALSE(shrunk);
        EXPECT_EQ(length, c.input.size());
        EXPECT_EQ(buffer, c.input);
        return;
    }
    ASSERT_TRUE(shrunk);
    ASSERT_LE(length, buffer.size());
    EXPECT_LT(length, c.input.size());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), *c.expected);
}

std::string CaseName(const testing::TestParamInfo<StripCase>& info) {
    return info.param.name;
}

// The header up to the frame: tables and frame.
const Bytes kTables = Join({kDqt, kSof0, kDht});

const Bytes kAdobeYCbCr = Patched(kApp14Adobe, 15, {0x01});  // transform 1

const StripCase kExamples[] = {
    {"App0Dropped", Join({kSoi, kApp0, kDqt, kSof0, kDht, kSos, kScan}),
     Join({kSoi, kDqt, kSof0, kDht, kSos, kScan})},
    {"CommentDropped", Join({kSoi, kDqt, kCom, kSof0, kDht, kSos, kScan}),
     Join({kSoi, kDqt, kSof0, kDht, kSos, kScan})},
    {"EveryApplicationExtensionAndCommentCodeDropped",
     Join({kSoi,
           {0xFF, 0xE3, 0x00, 0x02},        // APP3, empty
           {0xFF, 0xEF, 0x00, 0x03, 0x00},  // APP15
           {0xFF, 0xF0, 0x00, 0x02},        // JPG0
           {0xFF, 0xFD, 0x00, 0x02},        // JPG13
           kCom,
           kTables,
           kSos,
           kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    {"NothingToDropUnchanged", Join({kSoi, kTables, kSos, kScan}), std::nullopt},
};

const StripCase kEdgeCases[] = {
    // Found by fuzzing: decoders skip 0xFF 0x00 and search on for a marker, reading what this
    // walk would take for a segment as markers of its own.
    {"StuffedZeroWhereAMarkerBelongsGivesUp",
     Join({kSoi, kApp0, {0xFF, 0x00, 0x00, 0x06, 0xFF, 0xFE, 0x00, 0x02}, kTables, kSos, kScan}),
     std::nullopt},
    {"FillBytesAreTheOnlyWaste", Join({kSoi, {0xFF, 0xFF, 0xFF}, kDqt, kSof0, kDht, kSos, kScan}),
     Join({kSoi, kDqt, kSof0, kDht, kSos, kScan})},
    {"FillBytesBeforeScanDropped", Join({kSoi, kTables, {0xFF, 0xFF}, kSos, kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    {"FillBytesBeforeDroppedSegmentDropped", Join({kSoi, {0xFF}, kApp0, kTables, kSos, kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    {"StandAloneMarkersCopied",
     Join({kSoi, kApp0, {0xFF, 0x01}, {0xFF, 0xD0}, {0xFF, 0xD7}, kTables, kSos, kScan}),
     Join({kSoi, {0xFF, 0x01}, {0xFF, 0xD0}, {0xFF, 0xD7}, kTables, kSos, kScan})},
    {"MetadataBetweenHeaderSegmentsDropped",
     Join({kSoi, kDqt, kApp0, kSof0, kCom, kDht, kSos, kScan}),
     Join({kSoi, kDqt, kSof0, kDht, kSos, kScan})},
    {"RestartIntervalAndCodeZeroSegmentsCopied",
     Join({kSoi,
           kApp0,
           {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x08},  // DRI, interval 8
           {0xFF, 0x00, 0x00, 0x03, 0xAB},        // code 0x00 with a length
           kTables,
           kSos,
           kScan}),
     Join({kSoi,
           {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x08},
           {0xFF, 0x00, 0x00, 0x03, 0xAB},
           kTables,
           kSos,
           kScan})},
    {"DataAfterFirstScanNeverExamined",
     Join({kSoi,
           kApp0,
           kTables,
           kSos,
           {0x12, 0xFF, 0xE1, 0x00, 0x04, 0xFF, 0xFF},  // scan data that looks like APP1
           kCom,                                        // a comment between scans
           {0xFF, 0xFF},                                // fill bytes before the next scan
           kSos,
           kScan,
           {'t', 'a', 'i', 'l'}}),  // bytes after EOI
     Join({kSoi,
           kTables,
           kSos,
           {0x12, 0xFF, 0xE1, 0x00, 0x04, 0xFF, 0xFF},
           kCom,
           {0xFF, 0xFF},
           kSos,
           kScan,
           {'t', 'a', 'i', 'l'}})},
    {"ScanReachedWithNothingAfterIt", Join({kSoi, kApp0, kTables, {0xFF, 0xDA}}),
     Join({kSoi, kTables, {0xFF, 0xDA}})},
    {"SecondSoiCopied", Join({kSoi, kApp0, kSoi, kTables, kSos, kScan}),
     Join({kSoi, kSoi, kTables, kSos, kScan})},
    {"EmptyMetadataSegmentDropped", Join({kSoi, {0xFF, 0xE0, 0x00, 0x02}, kTables, kSos, kScan}),
     Join({kSoi, kTables, kSos, kScan})},
};

const StripCase kEarlyEndings[] = {
    {"EmptyBuffer", {}, std::nullopt},
    {"SoiOnly", kSoi, std::nullopt},
    {"SoiThenMarkerPrefixOnly", {0xFF, 0xD8, 0xFF}, std::nullopt},
    {"SoiThenFillBytesOnly", {0xFF, 0xD8, 0xFF, 0xFF, 0xFF}, std::nullopt},
    {"EoiBeforeScan", Join({kSoi, kApp0, kEoi, kTables, kSos, kScan}), std::nullopt},
    {"NoScanAtAll", Join({kSoi, kApp0, kTables}), std::nullopt},
    {"LengthCutInHalf", Join({kSoi, {0xFF, 0xE0, 0x00}}), std::nullopt},
    {"SegmentRunsPastEnd", Join({kSoi, {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'}}),
     std::nullopt},
    {"SegmentEndsExactlyAtEnd", Join({kSoi, kTables, kApp0}), std::nullopt},
    {"MetadataLengthZero", Join({kSoi, kApp0, {0xFF, 0xFE, 0x00, 0x00}, kTables, kSos, kScan}),
     std::nullopt},
    {"MetadataLengthOne", Join({kSoi, kApp0, {0xFF, 0xE1, 0x00, 0x01}, kTables, kSos, kScan}),
     std::nullopt},
    {"HeaderLengthOne", Join({kSoi, kApp0, {0xFF, 0xDB, 0x00, 0x01, 0x00}, kSof0, kSos, kScan}),
     std::nullopt},
    {"NotStartingWithSoi", Join({kApp0, kTables, kSos, kScan}), std::nullopt},
    {"SoiNotAtStart", Join({{0x00}, kSoi, kApp0, kTables, kSos, kScan}), std::nullopt},
    {"GifHeader",
     {'G', 'I', 'F', '8', '9', 'a', 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xD8, 0xFF},
     std::nullopt},
    {"HtmlText",
     {'<', 'h',  't',  'm', 'l', '>', '<', 'b', 'o', 'd', 'y',
      '>', 0xFF, 0xE0, '<', '/', 'b', 'o', 'd', 'y', '>'},
     std::nullopt},
    // A marker code without its 0xFF, the way fuzzers and broken writers leave them.
    {"MarkerCodeWithoutPrefix", Join({kSoi, kApp0, {0xEC, 0x00, 0x02}, kTables, kSos, kScan}),
     std::nullopt},
    // A segment length one short leaves its last byte where the next marker should be.
    {"StrayByteBeforeMarker", Join({kSoi, kApp0, {0x01}, kTables, kSos, kScan}), std::nullopt},
    {"JunkBetweenSegments", Join({kSoi, kCom, {'h', 'e', 'l', 'l', 'o'}, kTables, kSos, kScan}),
     std::nullopt},
};

const StripCase kKeptSegments[] = {
    {"AdobeKept", Join({kSoi, kApp0, kApp14Adobe, kTables, kSos, kScan}),
     Join({kSoi, kApp14Adobe, kTables, kSos, kScan})},
    {"App14WithoutAdobeSignatureDropped",
     Join({kSoi, {0xFF, 0xEE, 0x00, 0x07, 'A', 'd', 'o', 'b', 'f'}, kTables, kSos, kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    {"AdobeSignatureInOtherApplicationSegmentDropped",
     Join({kSoi,
           {0xFF, 0xED, 0x00, 0x0A, 'A', 'd', 'o', 'b', 'e', '_', 'C', 'M'},
           kTables,
           kSos,
           kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    // Decoders take three components for YCbCr whenever a JFIF segment is present.
    {"JfifKeptBesideAdobeOfThreeComponents",
     Join({kSoi, kApp0, kApp14Adobe, kCom, kDqt, kSof0ThreeComponents, kDht, kSos, kScan}),
     Join({kSoi, kApp0, kApp14Adobe, kDqt, kSof0ThreeComponents, kDht, kSos, kScan})},
    // Transform 1 makes the components YCbCr with or without the JFIF segment, whatever their
    // names; a transform decoders do not know is left to them with the segment.
    {"JfifDroppedBesideAdobeSayingYCbCr",
     Join({kSoi, kApp0, kAdobeYCbCr, kDqt, kSof0ThreeComponents, kDht, kSos, kScan}),
     Join({kSoi, kAdobeYCbCr, kDqt, kSof0ThreeComponents, kDht, kSos, kScan})},
    {"JfifDroppedBesideAdobeSayingYCbCrForComponentsNamedRgb",
     Join({kSoi, kApp0, kAdobeYCbCr, kDqt,
           Patched(kSof0ThreeComponents, 10, {'R', 0x11, 0x00, 'G', 0x11, 0x00, 'B'}), kDht, kSos,
           kScan}),
     Join({kSoi, kAdobeYCbCr, kDqt,
           Patched(kSof0ThreeComponents, 10, {'R', 0x11, 0x00, 'G', 0x11, 0x00, 'B'}), kDht, kSos,
           kScan})},
    {"JfifKeptBesideAdobeOfUnknownTransform",
     Join({kSoi, kApp0, Patched(kApp14Adobe, 15, {0x02}), kDqt, kSof0ThreeComponents, kDht, kSos,
           kScan}),
     std::nullopt},
    {"JfifKeptForComponentsNamedRgb",
     Join({kSoi, kApp0, kCom, kDqt,
           Patched(kSof0ThreeComponents, 10, {'R', 0x11, 0x00, 'G', 0x11, 0x00, 'B'}), kDht, kSos,
           kScan}),
     Join({kSoi, kApp0, kDqt,
           Patched(kSof0ThreeComponents, 10, {'R', 0x11, 0x00, 'G', 0x11, 0x00, 'B'}), kDht, kSos,
           kScan})},
    {"JfifDroppedForComponentsNumberedOneToThree",
     Join({kSoi, kApp0, kDqt, kSof0ThreeComponents, kDht, kSos, kScan}),
     Join({kSoi, kDqt, kSof0ThreeComponents, kDht, kSos, kScan})},
    {"JfifDroppedBesideAdobeOfOneComponent",
     Join({kSoi, kApp0, kApp14Adobe, kDqt, kSof0, kDht, kSos, kScan}),
     Join({kSoi, kApp14Adobe, kDqt, kSof0, kDht, kSos, kScan})},
    {"IccChunksKept", Join({kSoi, kApp0, kApp2Icc1of2, kApp2Icc2of2, kTables, kSos, kScan}),
     Join({kSoi, kApp2Icc1of2, kApp2Icc2of2, kTables, kSos, kScan})},
    {"IccChunkAfterFrameHeaderKept",
     Join({kSoi, kApp0, kApp2Icc1of2, kDqt, kSof0, kApp2Icc2of2, kDht, kSos, kScan}),
     Join({kSoi, kApp2Icc1of2, kDqt, kSof0, kApp2Icc2of2, kDht, kSos, kScan})},
    {"App2OtherThanIccDropped",
     Join({kSoi,
           {0xFF, 0xE2, 0x00, 0x06, 'M', 'P', 'F', 0x00},  // MPF
           {0xFF, 0xE2, 0x00, 0x0E, 'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 'X'},
           kTables,
           kSos,
           kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    {"ExifOrientation6LittleEndianReduced", Join({kSoi, kApp0, kExifLittle6, kTables, kSos, kScan}),
     Join({kSoi, kMinimalExifLittle6, kTables, kSos, kScan})},
    {"ExifOrientation6BigEndianReduced", Join({kSoi, kApp0, kExifBig6, kTables, kSos, kScan}),
     Join({kSoi, kMinimalExifBig6, kTables, kSos, kScan})},
    {"ExifOrientation8Reduced",
     Join({kSoi, Patched(kExifLittle6, kExifLittle6ValueAt, {0x08}), kTables, kSos, kScan}),
     Join({kSoi, Patched(kMinimalExifLittle6, 28, {0x08}), kTables, kSos, kScan})},
    {"ExifOrientation1Dropped",
     Join({kSoi, Patched(kExifLittle6, kExifLittle6ValueAt, {0x01}), kTables, kSos, kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    {"ExifOrientationOutOfRangeDropped",
     Join({kSoi, Patched(kExifLittle6, kExifLittle6ValueAt, {0x09}), kTables, kSos, kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    {"ExifWithoutOrientationDropped",
     Join({kSoi, Patched(kExifLittle6, 32, {0x13}), kTables, kSos, kScan}),  // tag 0x0113
     Join({kSoi, kTables, kSos, kScan})},
    {"ExifWithBadByteOrderDropped",
     Join({kSoi, Patched(kExifLittle6, 10, {'I', 'M'}), kTables, kSos, kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    {"ExifWithDirectoryPastEndDropped",
     Join({kSoi, Patched(kExifLittle6, 14, {0x40}), kTables, kSos, kScan}),  // IFD0 at 64
     Join({kSoi, kTables, kSos, kScan})},
    {"ExifWithTooManyEntriesDropped",
     Join({kSoi, Patched(kExifLittle6, 18, {0xFF, 0xFF}), kTables, kSos, kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    // Browsers read the first Exif block only, so a later one cannot turn the picture.
    {"OnlyFirstExifCounts",
     Join({kSoi, Patched(kExifLittle6, kExifLittle6ValueAt, {0x01}), kExifBig6, kTables, kSos,
           kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    {"LaterExifDroppedAfterReducedOne", Join({kSoi, kExifBig6, kExifLittle6, kTables, kSos, kScan}),
     Join({kSoi, kMinimalExifBig6, kTables, kSos, kScan})},
    {"ExifAlreadyMinimalKept", Join({kSoi, kApp0, kMinimalExifLittle6, kTables, kSos, kScan}),
     Join({kSoi, kMinimalExifLittle6, kTables, kSos, kScan})},
    // Without the 4-byte next-IFD offset the block is 32 bytes: the 36-byte rewrite would not fit
    // where it stands, so the block stays as it is.
    {"ExifSmallerThanMinimalKeptAsIs",
     Join({kSoi,
           kApp0,
           {0xFF, 0xE1, 0x00, 0x1E,                          // APP1, length 30
            'E',  'x',  'i',  'f',  0x00, 0x00,              // Exif identifier
            'I',  'I',  0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,  // TIFF header
            0x01, 0x00,                                      // IFD0: 1 entry
            0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00,  // Orientation, one SHORT
            0x03, 0x00, 0x00, 0x00},                         // value 3
           kTables,
           kSos,
           kScan}),
     Join({kSoi,
           {0xFF, 0xE1, 0x00, 0x1E, 'E',  'x',  'i',  'f',  0x00, 0x00, 'I',
            'I',  0x2A, 0x00, 0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12, 0x01,
            0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00},
           kTables,
           kSos,
           kScan})},
    {"XmpDropped",
     Join({kSoi,
           {0xFF, 0xE1, 0x00, 0x0F, 'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd',
            0x00},
           kTables,
           kSos,
           kScan}),
     Join({kSoi, kTables, kSos, kScan})},
    // Kept segments alone are no gain: the file is left as it was.
    {"OnlyKeptMetadataUnchanged",
     Join({kSoi, kApp14Adobe, kApp2Icc1of2, kMinimalExifLittle6, kTables, kSos, kScan}),
     std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Examples, StripJpegSegmentsTable, testing::ValuesIn(kExamples), CaseName);
INSTANTIATE_TEST_SUITE_P(EdgeCases, StripJpegSegmentsTable, testing::ValuesIn(kEdgeCases),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(EarlyEndingsAndTruncation, StripJpegSegmentsTable,
                         testing::ValuesIn(kEarlyEndings), CaseName);
INSTANTIATE_TEST_SUITE_P(KeptSegments, StripJpegSegmentsTable, testing::ValuesIn(kKeptSegments),
                         CaseName);

TEST(StripJpegSegments, BaselineFileLosesEighteenBytesOfApp0) {
    Bytes buffer = Join({kSoi, kApp0, kDqt, kSof0, kDht, kSos, kScan});
    const auto before = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t length = before;
    ASSERT_TRUE(StripJpegSegments(buffer.data(), length));
    EXPECT_EQ(length, before - 18);
}

TEST(StripJpegSegments, NullBufferGivesUp) {
    std::uint32_t length = 0;
    EXPECT_FALSE(StripJpegSegments(nullptr, length));
    EXPECT_EQ(length, 0u);
}

// The length may be shorter than the buffer; bytes past it do not belong to the file.
TEST(StripJpegSegments, ReadsNoFurtherThanTheLength) {
    const Bytes file = Join({kSoi, kApp0, kTables, kSos, kScan});
    Bytes buffer = Join({file, kApp0});
    std::uint32_t length = static_cast<std::uint32_t>(file.size()) - 1;
    ASSERT_TRUE(StripJpegSegments(buffer.data(), length));
    const Bytes expected = Join({kSoi, kTables, kSos, kScan});
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length),
              Bytes(expected.begin(), expected.end() - 1));
}

}  // namespace
}  // namespace quillon::test::jpeg
