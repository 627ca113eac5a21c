#include "imageopt/JpegExif.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "JpegTestBytes.h"

namespace quillon::test::jpeg {
namespace {

// The payload of an APP1 segment: what follows its marker and length field.
Bytes PayloadOf(const Bytes& segment) {
    return Bytes(segment.begin() + 4, segment.end());
}

// Offsets into the payload of kExifLittle6 (the segment's offsets less 4).
constexpr std::size_t kIfdOffsetAt = 10;
constexpr std::size_t kEntryCountAt = 14;
constexpr std::size_t kOrientationEntryAt = 28;
constexpr std::size_t kOrientationTypeAt = kOrientationEntryAt + 2;
constexpr std::size_t kOrientationCountAt = kOrientationEntryAt + 4;
constexpr std::size_t kOrientationValueAt = kOrientationEntryAt + 8;

const Bytes kLittle = PayloadOf(kExifLittle6);
const Bytes kBig = PayloadOf(kExifBig6);

struct OrientationCase {
    std::string name;
    Bytes payload;
    std::optional<ExifOrientation> expected;
};

void PrintTo(const OrientationCase& c, std::ostream* out) {
    *out << c.name;
}

class ReadExifOrientationTable : public testing::TestWithParam<OrientationCase> {};

TEST_P(ReadExifOrientationTable, FindsOrientationOrNothing) {
    const OrientationCase& c = GetParam();
    const auto found = ReadExifOrientation(c.payload);
    ASSERT_EQ(found.has_value(), c.expected.has_value());
    if (found) {
        EXPECT_EQ(found->bigEndian, c.expected->bigEndian);
        EXPECT_EQ(found->value, c.expected->value);
    }
}

std::string CaseName(const testing::TestParamInfo<OrientationCase>& info) {
    return info.param.name;
}

const OrientationCase kExamples[] = {
    {"LittleEndian6", kLittle, ExifOrientation{false, 6}},
    {"BigEndian6", kBig, ExifOrientation{true, 6}},
    {"Upright", Patched(kLittle, kOrientationValueAt, {0x01}), ExifOrientation{false, 1}},
    {"BigEndian3", Patched(kBig, kOrientationValueAt, {0x00, 0x03}), ExifOrientation{true, 3}},
    {"OnlyEntry", PayloadOf(kMinimalExifLittle6), ExifOrientation{false, 6}},
};

const OrientationCase kEdgeCases[] = {
    {"NoOrientationEntry", Patched(kLittle, kOrientationEntryAt, {0x13}), std::nullopt},
    {"ValueZero", Patched(kLittle, kOrientationValueAt, {0x00}), std::nullopt},
    {"ValueNine", Patched(kLittle, kOrientationValueAt, {0x09}), std::nullopt},
    {"ValueHighByteSet", Patched(kLittle, kOrientationValueAt, {0x06, 0x01}), std::nullopt},
    {"TypeLong", Patched(kLittle, kOrientationTypeAt, {0x04}), std::nullopt},
    {"CountTwo", Patched(kLittle, kOrientationCountAt, {0x02}), std::nullopt},
    {"NoEntries", Patched(kLittle, kEntryCountAt, {0x00}), std::nullopt},
    // Only the first of two orientation entries counts; the Make entry is turned into a second.
    {"FirstOfTwoEntriesWins",
     Patched(Patched(kLittle, 16, {0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00}),
             kOrientationValueAt, {0x07}),
     ExifOrientation{false, 2}},
    {"NotExif", Patched(kLittle, 0, {'e'}), std::nullopt},
    {"ExifWithoutSecondNul", Patched(kLittle, 5, {0xFF}), std::nullopt},
    {"MixedByteOrder", Patched(kLittle, 6, {'I', 'M'}), std::nullopt},
    {"UnknownByteOrder", Patched(kLittle, 6, {'X', 'X'}), std::nullopt},
    {"WrongMagic", Patched(kLittle, 8, {0x2B}), std::nullopt},
    {"MagicInWrongByteOrder", Patched(kLittle, 8, {0x00, 0x2A}), std::nullopt},
    {"DirectoryInsideHeader", Patched(kLittle, kIfdOffsetAt, {0x04}), std::nullopt},
};

const OrientationCase kEarlyEndings[] = {
    {"Empty", {}, std::nullopt},
    {"IdentifierOnly", {'E', 'x', 'i', 'f', 0x00, 0x00}, std::nullopt},
    {"ByteOrderOnly", {'E', 'x', 'i', 'f', 0x00, 0x00, 'I', 'I'}, std::nullopt},
    {"HeaderWithoutOffset", {'E', 'x', 'i', 'f', 0x00, 0x00, 'I', 'I', 0x2A, 0x00}, std::nullopt},
    {"HeaderOnly",
     {'E', 'x', 'i', 'f', 0x00, 0x00, 'I', 'I', 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00},
     std::nullopt},
    {"DirectoryPastEnd", Patched(kLittle, kIfdOffsetAt, {0x40}), std::nullopt},
    {"DirectoryFarPastEnd", Patched(kLittle, kIfdOffsetAt, {0xFF, 0xFF, 0xFF, 0xFF}), std::nullopt},
    {"CountPastEnd", Patched(kLittle, kEntryCountAt, {0xFF, 0xFF}), std::nullopt},
    {"CountOneTooMany", Patched(kLittle, kEntryCountAt, {0x05}), std::nullopt},
    {"CutInsideOrientationEntry", Bytes(kLittle.begin(), kLittle.begin() + kOrientationValueAt),
     std::nullopt},
    {"CutInsideLaterEntry", Bytes(kLittle.begin(), kLittle.begin() + 44), std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Examples, ReadExifOrientationTable, testing::ValuesIn(kExamples),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(EdgeCases, ReadExifOrientationTable, testing::ValuesIn(kEdgeCases),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(EarlyEndingsAndTruncation, ReadExifOrientationTable,
                         testing::ValuesIn(kEarlyEndings), CaseName);

TEST(MinimalExifSegment, LittleEndian) {
    const auto segment = MinimalExifSegment({false, 6});
    EXPECT_EQ(Bytes(segment.begin(), segment.end()), kMinimalExifLittle6);
}

TEST(MinimalExifSegment, BigEndian) {
    const auto segment = MinimalExifSegment({true, 6});
    EXPECT_EQ(Bytes(segment.begin(), segment.end()), kMinimalExifBig6);
}

TEST(MinimalExifSegment, ReadsBackEveryOrientation) {
    for (bool bigEndian : {false, true}) {
        for (std::uint16_t value = 1; value <= 8; ++value) {
            const auto segment = MinimalExifSegment({bigEndian, value});
            const auto found =
                ReadExifOrientation(PayloadOf(Bytes(segment.begin(), segment.end())));
            ASSERT_TRUE(found) << value;
            EXPECT_EQ(found->bigEndian, bigEndian);
            EXPECT_EQ(found->value, value);
        }
    }
}

}  // namespace
}  // namespace quillon::test::jpeg
