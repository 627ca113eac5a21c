// The palette class: comparison, nearest-colour search, compaction and resizing.
#include "BxCode/BxColorTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BxTestSupport.h"

namespace quillon::test::bx {
namespace {

BxColorTable Table(const std::vector<std::uint8_t>& rgb) {
    BxColorTable table(rgb.size() / 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        table.Entries()[i] = rgb[i];
    }
    return table;
}

Bytes EntriesOf(const BxColorTable& table) {
    return table.Count() ? Bytes(table.Entries(), table.Entries() + 3 * table.Count()) : Bytes{};
}

struct CompactCase {
    std::string name;
    Bytes input;
    Bytes expected;
    Bytes map;
};

void PrintTo(const CompactCase& c, std::ostream* out) {
    *out << c.name;
}

class Compaction : public testing::TestWithParam<CompactCase> {};

TEST_P(Compaction, DropsDuplicatesKeepingFirstOccurrences) {
    const CompactCase& c = GetParam();
    const BxColorTable table = Table(c.input);
    Bytes map(table.Count(), 0xEE);
    const BxColorTable compacted = table.Compacted(map);
    EXPECT_EQ(EntriesOf(compacted), c.expected);
    EXPECT_EQ(map, c.map);
    EXPECT_EQ(EntriesOf(table), c.input) << "the table itself is not changed";
    EXPECT_EQ(EntriesOf(table.Compacted()), c.expected) << "the map may be absent";
}

const CompactCase kCompactExamples[] = {
    {"Duplicate", {1, 2, 3, 4, 5, 6, 1, 2, 3, 7, 8, 9}, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 0, 2}},
    {"AllDistinct", {1, 1, 1, 2, 2, 2}, {1, 1, 1, 2, 2, 2}, {0, 1}},
    {"AllSame", {5, 5, 5, 5, 5, 5, 5, 5, 5}, {5, 5, 5}, {0, 0, 0}},
    {"DiffersOnlyInBlue", {0, 0, 1, 0, 0, 2, 0, 0, 1}, {0, 0, 1, 0, 0, 2}, {0, 1, 0}},
};
const CompactCase kCompactEdgeCases[] = {
    {"Empty", {}, {}, {}},
    {"One", {9, 9, 9}, {9, 9, 9}, {0}},
};

std::string CompactName(const testing::TestParamInfo<CompactCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Examples, Compaction, testing::ValuesIn(kCompactExamples), CompactName);
INSTANTIATE_TEST_SUITE_P(EdgeCases, Compaction, testing::ValuesIn(kCompactEdgeCases), CompactName);

TEST(ColorTableEdgeCases, CompactionMapTooShortRaisesMissing) {
    const BxColorTable table = Table({1, 1, 1, 2, 2, 2});
    Bytes map(1);
    EXPECT_BX_ERROR(table.Compacted(map), kBxErrMissing);
}

struct NearestCase {
    std::string name;
    Bytes table;
    BxColor color;
    std::int64_t excluded;
    std::size_t expected;
};

void PrintTo(const NearestCase& c, std::ostream* out) {
    *out << c.name;
}

class Nearest : public testing::TestWithParam<NearestCase> {};

TEST_P(Nearest, FindsTheClosestLowestIndex) {
    const NearestCase& c = GetParam();
    EXPECT_EQ(Table(c.table).Nearest(c.color, c.excluded), c.expected);
}

const NearestCase kNearestCases[] = {
    {"Exact", {0, 0, 0, 10, 10, 10, 20, 20, 20}, BxPackColor(10, 10, 10), -1, 1},
    {"Closest", {0, 0, 0, 100, 100, 100, 200, 200, 200}, BxPackColor(160, 160, 160), -1, 2},
    {"TieGoesToLowerIndex", {0, 0, 0, 20, 0, 0}, BxPackColor(10, 0, 0), -1, 0},
    {"TieAfterExclusion", {10, 0, 0, 0, 0, 0, 20, 0, 0}, BxPackColor(10, 0, 0), 0, 1},
    {"ExcludedIsSkipped", {0, 0, 0, 50, 50, 50, 60, 60, 60}, BxPackColor(50, 50, 50), 1, 2},
    {"ChannelsAreUnweighted", {0, 0, 30, 0, 29, 0}, BxPackColor(0, 0, 0), -1, 1},
    {"RedIsTheLowByte", {0, 0, 255, 255, 0, 0}, 0x0000FF, -1, 1},
};

INSTANTIATE_TEST_SUITE_P(Examples, Nearest, testing::ValuesIn(kNearestCases),
                         CaseName<NearestCase>);

TEST(ColorTableEdgeCases, NearestOtherStopsAtDistanceZero) {
    // Entries 0 and 3 are the same colour: entry 0's nearest other is 3.
    const BxColorTable table = Table({7, 7, 7, 1, 1, 1, 8, 8, 8, 7, 7, 7});
    EXPECT_EQ(table.NearestOther(0), 3u);
    EXPECT_EQ(table.NearestOther(3), 0u);
    EXPECT_EQ(table.NearestOther(2), 0u);
}

TEST(ColorTableEdgeCases, NearestWithoutEntriesRaisesMissing) {
    EXPECT_BX_ERROR(BxColorTable().Nearest(0), kBxErrMissing);
    EXPECT_BX_ERROR(Table({1, 2, 3}).NearestOther(0), kBxErrMissing);
    EXPECT_BX_ERROR(BxColorTable().NearestOther(0), kBxErrBadArgument);
}

TEST(ColorTableExamples, ResizeKeepsLeadingColours) {
    BxColorTable table = Table({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4});
    table.Resize(2);
    EXPECT_EQ(EntriesOf(table), Bytes({1, 1, 1, 2, 2, 2}));
    table.Resize(4);
    EXPECT_EQ(table.Count(), 4u);
    EXPECT_EQ(Bytes(table.Entries(), table.Entries() + 6), Bytes({1, 1, 1, 2, 2, 2}));
    table.SetColor(3, 9, 8, 7);
    EXPECT_EQ(table.ColorAt(3), BxPackColor(9, 8, 7));
    table.Resize(0);
    EXPECT_EQ(table.Entries(), nullptr);
}

TEST(ColorTableExamples, EqualityAndCopies) {
    const BxColorTable a = Table({1, 2, 3});
    BxColorTable b = a;
    EXPECT_TRUE(a.Equals(b));
    EXPECT_FALSE(a.Differs(b));
    b.Entries()[2] = 4;
    EXPECT_TRUE(a.Differs(b));
    EXPECT_TRUE(BxColorTable().Equals(BxColorTable()));
    EXPECT_TRUE(BxColorTable(2).Differs(BxColorTable(3)));
    b = a;
    EXPECT_EQ(b, a);
    BxColorTable moved = std::move(b);
    EXPECT_EQ(moved, a);
    EXPECT_EQ(b.Count(), 0u);  // NOLINT(bugprone-use-after-move): a moved table is empty
    EXPECT_EQ(b.Entries(), nullptr);
    moved.Clear();
    EXPECT_EQ(moved.Count(), 0u);
}

TEST(ColorTableEdgeCases, NewTableIsBlack) {
    const BxColorTable table(3);
    EXPECT_EQ(EntriesOf(table), Bytes(9, 0));
    EXPECT_EQ(BxColorTable().Entries(), nullptr);
}

TEST(ColorTableEdgeCases, AbsurdSizesRaiseMemory) {
    EXPECT_BX_ERROR(BxColorTable(BxColorTable::kMaxColors + 1), kBxErrNoMemory);
    BxColorTable table(1);
    EXPECT_BX_ERROR(table.Resize(BxColorTable::kMaxColors + 1), kBxErrNoMemory);
    EXPECT_EQ(table.Count(), 1u);
}

TEST(ColorTableExamples, DistanceIsSquaredEuclidean) {
    EXPECT_EQ(BxColorDistance(0, 0, 0, 255, 255, 255), 3u * 255 * 255);
    EXPECT_EQ(BxColorDistance(1, 2, 3, 4, 6, 3), 25u);
}

}  // namespace
}  // namespace quillon::test::bx
