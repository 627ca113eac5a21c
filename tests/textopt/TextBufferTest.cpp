// CompactDeleted, the byte classes and the byte search that every pass is built on.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>

#include "CaseTable.h"
#include "textopt/ByteScan.h"
#include "textopt/TextBuffer.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;
using test::PrintTo;

class CompactDeletedTable : public testing::TestWithParam<PassCase> {};

TEST_P(CompactDeletedTable, SqueezesOutDeletedBytes) {
    ExpectPassRow(CompactDeleted, GetParam());
}

const PassCase kCompactExamples[] = {
    {"keeps a text without marks", "abc", "abc"},
    {"squeezes out marks", "a\0b\0\0c"s, "abc"},
    {"keeps the order of long runs", "0123456789\0abcdefghij\0\0\0ABCDEFGHIJ"s,
     "0123456789abcdefghijABCDEFGHIJ"},
};
INSTANTIATE_TEST_SUITE_P(Examples, CompactDeletedTable, testing::ValuesIn(kCompactExamples),
                         RowName<PassCase>);

const PassCase kCompactEdges[] = {
    {"empty text", "", ""},       {"only marks", "\0\0\0"s, ""}, {"mark first", "\0ab"s, "ab"},
    {"mark last", "ab\0"s, "ab"}, {"single mark", "\0"s, ""},    {"single byte", "x", "x"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, CompactDeletedTable, testing::ValuesIn(kCompactEdges),
                         RowName<PassCase>);

const PassCase kCompactHighBytes[] = {
    {"keeps UTF-8 around marks", "\xC3\xA9\0\xE2\x80\x94\0"s, "\xC3\xA9\xE2\x80\x94"},
    {"keeps 0xFF and 0x80", "\xFF\0\x80"s, "\xFF\x80"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, CompactDeletedTable,
                         testing::ValuesIn(kCompactHighBytes), RowName<PassCase>);

TEST(CompactDeleted, NegativeLengthGivesZeroAndTouchesNothing) {
    std::array<std::uint8_t, 3> text = {'a', 0, 'b'};
    EXPECT_EQ(CompactDeleted(text.data(), -3), 0);
    EXPECT_EQ(text, (std::array<std::uint8_t, 3>{'a', 0, 'b'}));
    EXPECT_EQ(CompactDeleted(nullptr, 0), 0);
}

struct ByteClassRow {
    std::string name;
    std::uint8_t byte;
    bool below33;
    bool deletable;
};

class ByteClassTable : public testing::TestWithParam<ByteClassRow> {};

TEST_P(ByteClassTable, SignedRuleForSkippingAsciiRuleForDeleting) {
    EXPECT_EQ(IsBelow33(GetParam().byte), GetParam().below33);
    EXPECT_EQ(IsDeletableBlank(GetParam().byte), GetParam().deletable);
}

const ByteClassRow kByteClasses[] = {
    {"deleted byte", 0x00, true, false},
    {"byte 1", 0x01, true, true},
    {"tab", 0x09, true, true},
    {"line feed", 0x0A, true, true},
    {"space", 0x20, true, true},
    {"exclamation mark", 0x21, false, false},
    {"letter", 'a', false, false},
    {"DEL", 0x7F, false, false},
    {"UTF-8 continuation 0x80", 0x80, true, false},
    {"Latin-1 no-break space 0xA0", 0xA0, true, false},
    {"UTF-8 lead 0xC3", 0xC3, true, false},
    {"0xFF", 0xFF, true, false},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, ByteClassTable, testing::ValuesIn(kByteClasses),
                         RowName<ByteClassRow>);

// The eight-bytes-at-a-time pair search must agree with a plain search at every offset and
// length, with near misses around (a space before other bytes, 0xA0, 0x20 | 0x80) to catch a
// wrong mask or a borrow between bytes.
TEST(FindSpaceRun, AgreesWithPlainSearchAtEveryOffset) {
    std::mt19937 random(12345);
    const std::array<std::uint8_t, 8> alphabet = {' ', ' ', 0x00, 0xA0, 0x21, 0x00 | 0x20 | 0x80,
                                                  'a', '\n'};
    for (int round = 0; round < 4000; ++round) {
        const auto size = static_cast<std::size_t>(random() % 40);
        std::vector<std::uint8_t> text(size);
        for (auto& b : text) {
            b = alphabet[random() % alphabet.size()];
        }
        const auto length = static_cast<TextLength>(size);
        for (TextLength from = 0; from <= length + 1; ++from) {
            TextLength plain = from;
            while (plain + 1 < length &&
                   !(text[plain] == ' ' && (text[plain + 1] == ' ' || text[plain + 1] == 0))) {
                ++plain;
            }
            if (plain + 1 >= length) {
                plain = length;
            }
            ASSERT_EQ(FindSpaceRun(text.data(), from, length), plain) << round << " " << from;
        }
    }
}

}  // namespace
}  // namespace quillon::test
