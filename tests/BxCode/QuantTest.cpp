#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "BxCode/BxQuantOctree.h"
#include "BxCode/BxQuantRemap.h"
#include "BxTestSupport.h"

namespace quillon::test::bx {
namespace {

std::vector<BxQuantOctree::Leaf> Leaves(const BxQuantOctree& octree) {
    std::vector<BxQuantOctree::Leaf> leaves(1024);
    leaves.resize(octree.CopyLeaves(leaves.data(), leaves.size()));
    return leaves;
}

bool Contains(const BxColorTable& table, BxColor colour) {
    for (std::size_t i = 0; i < table.Count(); ++i) {
        if (table.ColorAt(i) == colour) {
            return true;
        }
    }
    return false;
}

// --- octree ---

TEST(QuantOctreeTest, SameLeafTakesTheWeightedMean) {
    BxQuantOctree octree;
    const BxColor colours[] = {BxPackColor(8, 8, 8), BxPackColor(12, 12, 12)};
    const std::uint32_t weights[] = {1, 3};
    octree.AddColors(colours, weights, 2);
    const auto leaves = Leaves(octree);
    ASSERT_EQ(leaves.size(), 1u);
    // (8 x 1 + 12 x 3 + 2) / 4 = 11
    EXPECT_EQ(leaves[0].color, BxPackColor(11, 11, 11));
    EXPECT_EQ(leaves[0].weight, 4u);
}

TEST(QuantOctreeTest, HeavyWeightsAreScaledForTheMeanOnly) {
    EXPECT_EQ(BxQuantOctree::WeightedMean(0, 983041, 255, 983041), 128);
    EXPECT_EQ(BxQuantOctree::WeightedMean(0, 983040, 255, 983040), 128);
    EXPECT_EQ(BxQuantOctree::WeightedMean(10, 0, 200, 5), 200);
    BxQuantOctree octree;
    const BxColor colours[] = {BxPackColor(8, 8, 8), BxPackColor(8, 8, 8)};
    const std::uint32_t weights[] = {1000000, 1000000};
    octree.AddColors(colours, weights, 2);
    EXPECT_EQ(Leaves(octree)[0].weight, 2000000u);
}

TEST(QuantOctreeTest, ZeroWeightsAddNothing) {
    BxQuantOctree octree;
    const BxColor colours[] = {BxPackColor(8, 8, 8)};
    const std::uint32_t weights[] = {0};
    octree.AddColors(colours, weights, 1);
    EXPECT_EQ(octree.LeafCount(), 0u);
}

TEST(QuantOctreeTest, LeafLimits) {
    EXPECT_EQ(BxQuantOctree::LeafLimitFor(32), 80);
    EXPECT_EQ(BxQuantOctree::LeafLimitFor(48), 105);
    EXPECT_EQ(BxQuantOctree::LeafLimitFor(64), 130);
    EXPECT_EQ(BxQuantOctree::LeafLimitFor(96), 193);
    EXPECT_EQ(BxQuantOctree::LeafLimitFor(128), 256);
    EXPECT_EQ(BxQuantOctree::LeafLimitFor(256), 256);
}

// Colours with distinct top five bits in every channel, so each is its own leaf.
void AddDistinct(BxQuantOctree& octree, int count, bool heavy) {
    std::vector<BxColor> colours;
    std::vector<std::uint32_t> weights;
    for (int i = 0; i < count; ++i) {
        colours.push_back(BxPackColor(static_cast<std::uint8_t>((i & 7) << 5),
                                      static_cast<std::uint8_t>(((i >> 3) & 7) << 5),
                                      static_cast<std::uint8_t>(((i >> 6) & 7) << 5)));
        weights.push_back(heavy ? static_cast<std::uint32_t>(i + 1) : 1);
    }
    octree.AddColors(colours.data(), weights.data(), colours.size());
}

TEST(QuantOctreeTest, ThreeHundredLeavesReduceAndMergeToSixtyFour) {
    BxQuantOctree octree;
    AddDistinct(octree, 300, true);
    EXPECT_EQ(octree.LeafCount(), 300u);
    const BxColorTable palette = octree.MakePalette(64);
    EXPECT_LE(octree.LeafCount(), 130u);
    EXPECT_EQ(palette.Count(), 64u);
}

TEST(QuantOctreeTest, LevelOneNodesAreNeverFolded) {
    BxQuantOctree octree;
    // Every octant of the cube gets many light colours; folding stops at level 1, so each octant
    // keeps a leaf of its own.
    std::vector<BxColor> colours;
    std::vector<std::uint32_t> weights;
    for (int octant = 0; octant < 8; ++octant) {
        for (int i = 0; i < 40; ++i) {
            const int base = 0;
            colours.push_back(BxPackColor(
                static_cast<std::uint8_t>(((octant >> 2) & 1) * 128 + base + (i & 3) * 8),
                static_cast<std::uint8_t>(((octant >> 1) & 1) * 128 + ((i >> 2) & 3) * 8),
                static_cast<std::uint8_t>((octant & 1) * 128 + ((i >> 4) & 3) * 8)));
            weights.push_back(1);
        }
    }
    octree.AddColors(colours.data(), weights.data(), colours.size());
    octree.MakePalette(32);
    std::set<int> octants;
    for (const auto& leaf : Leaves(octree)) {
        octants.insert((BxRedOf(leaf.color) >> 7) * 4 + (BxGreenOf(leaf.color) >> 7) * 2 +
                       (BxBlueOf(leaf.color) >> 7));
    }
    EXPECT_EQ(octants.size(), 8u);
    EXPECT_LE(octree.LeafCount(), 80u);
}

TEST(QuantOctreeTest, BrightestNearWhiteBecomesWhite) {
    BxQuantOctree octree;
    AddDistinct(octree, 200, true);
    const BxColor colours[] = {BxPackColor(230, 230, 230), BxPackColor(240, 240, 240)};
    const std::uint32_t weights[] = {5, 5};
    octree.AddColors(colours, weights, 2);
    const BxColorTable palette = octree.MakePalette(64);
    EXPECT_TRUE(Contains(palette, BxPackColor(255, 255, 255)));
    EXPECT_FALSE(Contains(palette, BxPackColor(240, 240, 240)));
}

TEST(QuantOctreeTest, FewColoursLeaveABlackTail) {
    BxQuantOctree octree;
    const BxColor colours[] = {BxPackColor(200, 10, 10), BxPackColor(10, 200, 10)};
    const std::uint32_t weights[] = {3, 4};
    octree.AddColors(colours, weights, 2);
    const BxColorTable palette = octree.MakePalette(128);
    ASSERT_EQ(palette.Count(), 128u);
    EXPECT_TRUE(Contains(palette, BxPackColor(200, 10, 10)));
    EXPECT_TRUE(Contains(palette, BxPackColor(10, 200, 10)));
    EXPECT_EQ(palette.ColorAt(127), BxPackColor(0, 0, 0));
}

TEST(QuantOctreeTest, FarApartColoursStillMergeToTheTarget) {
    // Heavily merged, far-apart entries would never qualify under a wrapping tolerance.
    BxQuantOctree octree;
    AddDistinct(octree, 512, false);
    const BxColorTable palette = octree.MakePalette(256);
    EXPECT_EQ(palette.Count(), 256u);
    BxQuantOctree small;
    AddDistinct(small, 512, false);
    EXPECT_EQ(small.MakePalette(64).Count(), 64u);
}

TEST(QuantOctreeTest, SmallTargetsPickExtremes) {
    BxQuantOctree octree;
    AddDistinct(octree, 100, true);
    const BxColorTable palette = octree.MakePalette(2);
    ASSERT_EQ(palette.Count(), 2u);
    const BxColor darkest = palette.ColorAt(0);
    const BxColor lightest = palette.ColorAt(1);
    EXPECT_LT(BxRedOf(darkest) + BxGreenOf(darkest) + BxBlueOf(darkest),
              BxRedOf(lightest) + BxGreenOf(lightest) + BxBlueOf(lightest));
}

TEST(QuantOctreeTest, IndexedImagesAddTheirHistogram) {
    BxColorTable palette(3);
    palette.SetColor(0, 255, 0, 0);
    palette.SetColor(1, 0, 0, 255);
    palette.SetColor(2, 0, 255, 0);  // unused: not added
    BxIndexedImage image(3, 1, &palette);
    image.SetPixelAt(1, 0, 1);
    BxQuantOctree octree;
    octree.AddImage(image);
    const auto leaves = Leaves(octree);
    ASSERT_EQ(leaves.size(), 2u);
    EXPECT_EQ(leaves[0].weight, 2u);
    EXPECT_EQ(leaves[1].weight, 1u);
}

// --- remapping ---

BxColorTable Table(const std::vector<BxColor>& colours) {
    BxColorTable table(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i) {
        table.SetColor(i, BxRedOf(colours[i]), BxGreenOf(colours[i]), BxBlueOf(colours[i]));
    }
    return table;
}

TEST(QuantRemapTest, ColorMapTakesTheNearestAllowedEntry) {
    const BxColorTable source = Table({BxPackColor(250, 0, 0), BxPackColor(0, 0, 240)});
    const BxColorTable target =
        Table({BxPackColor(0, 0, 0), BxPackColor(255, 0, 0), BxPackColor(0, 0, 255)});
    BxIndexMap map{};
    BuildColorMap(source, target, nullptr, &map);
    EXPECT_EQ(map[0], 1);
    EXPECT_EQ(map[1], 2);
    BxAllowedSet allowed{};
    allowed[0] = 1;
    allowed[2] = 1;
    BuildColorMap(source, target, &allowed, &map);
    EXPECT_EQ(map[0], 0);  // red is not admitted; black is nearer than blue
    EXPECT_EQ(map[1], 2);
}

TEST(QuantRemapTest, EmptyAllowedSetMapsEverythingToZero) {
    const BxColorTable source = Table({BxPackColor(250, 0, 0), BxPackColor(0, 0, 240)});
    const BxColorTable target = Table({BxPackColor(9, 9, 9), BxPackColor(255, 0, 0)});
    BxAllowedSet allowed{};
    BxIndexMap map{};
    map.fill(7);
    BuildColorMap(source, target, &allowed, &map);
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[1], 0);
}

TEST(QuantRemapTest, MapToPaletteLeavesTheImageAlone) {
    const BxColorTable source = Table({BxPackColor(250, 0, 0), BxPackColor(0, 0, 240)});
    const BxColorTable target =
        Table({BxPackColor(0, 0, 255), BxPackColor(0, 0, 0), BxPackColor(255, 0, 0)});
    BxIndexedImage image(2, 1, &source);
    image.SetPixelAt(1, 0, 1);
    const std::unique_ptr<BxIndexedImage> mapped = MapToPalette(image, target, nullptr);
    EXPECT_EQ(mapped->PixelAt(0, 0), 2);
    EXPECT_EQ(mapped->PixelAt(1, 0), 0);
    EXPECT_EQ(mapped->Palette().Count(), 3u);
    EXPECT_EQ(image.PixelAt(0, 0), 0);
    EXPECT_EQ(image.Palette().Count(), 2u);
}

TEST(QuantRemapTest, SelectEntriesAllowsAllOfASmallPalette) {
    std::vector<BxColor> colours;
    for (int i = 0; i < 100; ++i) {
        colours.push_back(BxPackColor(static_cast<std::uint8_t>(i), 0, 0));
    }
    const BxColorTable palette = Table(colours);
    BxIndexedImage image(1, 1, &palette);
    const BxAllowedSet allowed = SelectEntries(image, palette, 120);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(allowed[static_cast<std::size_t>(i)], i < 100 ? 1 : 0) << i;
    }
}

TEST(QuantRemapTest, SelectEntriesAllowsExactlyK) {
    std::vector<BxColor> colours;
    for (int i = 0; i < 200; ++i) {
        colours.push_back(BxPackColor(static_cast<std::uint8_t>(i),
                                      static_cast<std::uint8_t>(i * 7),
                                      static_cast<std::uint8_t>(i * 13)));
    }
    const BxColorTable palette = Table(colours);
    BxIndexedImage image(200, 1, &palette);
    for (std::uint32_t x = 0; x < 200; ++x) {
        image.SetPixelAt(x, 0, static_cast<std::uint8_t>(x));
    }
    const BxAllowedSet allowed = SelectEntries(image, palette, 120);
    int count = 0;
    for (const std::uint8_t a : allowed) {
        count += a != 0;
    }
    EXPECT_EQ(count, 120);
}

std::unique_ptr<BxIndexedImage> DitherImage(std::uint32_t width, std::uint32_t height,
                                            const std::vector<std::uint8_t>& middleRow) {
    std::vector<BxColor> colours(8, BxPackColor(0, 0, 0));
    colours[3] = BxPackColor(100, 100, 100);
    colours[7] = BxPackColor(110, 104, 100);
    const BxColorTable palette = Table(colours);
    auto image = std::make_unique<BxIndexedImage>(width, height, &palette);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image->SetPixelAt(x, y, (y == 1 && x < middleRow.size()) ? middleRow[x] : 3);
        }
    }
    return image;
}

std::vector<std::uint8_t> Row(const BxIndexedImage& image, std::uint32_t y) {
    std::vector<std::uint8_t> row;
    for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
        row.push_back(image.PixelAt(x, y));
    }
    return row;
}

TEST(QuantRemapTest, SmoothDitherJoinsAnAlternation) {
    auto image = DitherImage(5, 3, {3, 7, 3, 7, 3});
    SmoothDither(*image, std::nullopt);
    EXPECT_EQ(Row(*image, 1), (std::vector<std::uint8_t>{3, 3, 7, 7, 3}));
    EXPECT_EQ(Row(*image, 0), (std::vector<std::uint8_t>(5, 3)));
    EXPECT_EQ(Row(*image, 2), (std::vector<std::uint8_t>(5, 3)));
}

TEST(QuantRemapTest, SmoothDitherLeavesTheTransparentIndexAlone) {
    auto image = DitherImage(5, 3, {3, 7, 3, 7, 3});
    SmoothDither(*image, std::uint8_t{7});
    EXPECT_EQ(Row(*image, 1), (std::vector<std::uint8_t>{3, 7, 3, 7, 3}));
}

TEST(QuantRemapTest, SmoothDitherNeedsFiveColumnsAndTwoRows) {
    auto narrow = DitherImage(4, 3, {3, 7, 3, 7});
    SmoothDither(*narrow, std::nullopt);
    EXPECT_EQ(Row(*narrow, 1), (std::vector<std::uint8_t>{3, 7, 3, 7}));
    auto flat = DitherImage(5, 1, {});
    flat->SetPixelAt(1, 0, 7);
    flat->SetPixelAt(3, 0, 7);
    SmoothDither(*flat, std::nullopt);
    EXPECT_EQ(Row(*flat, 0), (std::vector<std::uint8_t>{3, 7, 3, 7, 3}));
}

TEST(QuantRemapTest, SmoothDitherKeepsEdges) {
    std::vector<BxColor> colours(8, BxPackColor(0, 0, 0));
    colours[3] = BxPackColor(100, 100, 100);
    colours[7] = BxPackColor(110, 104, 100);
    colours[1] = BxPackColor(255, 255, 255);
    const BxColorTable palette = Table(colours);
    BxIndexedImage image(5, 3, &palette);
    const std::uint8_t rows[3][5] = {{1, 1, 1, 1, 1}, {3, 7, 3, 7, 3}, {0, 0, 0, 0, 0}};
    for (std::uint32_t y = 0; y < 3; ++y) {
        for (std::uint32_t x = 0; x < 5; ++x) {
            image.SetPixelAt(x, y, rows[y][x]);
        }
    }
    SmoothDither(image, std::nullopt);
    EXPECT_EQ(Row(image, 1), (std::vector<std::uint8_t>{3, 7, 3, 7, 3}));
}

TEST(QuantRemapTest, TrueColourRemapperFindsPaletteColours) {
    const BxColorTable palette = Table({BxPackColor(0, 0, 0), BxPackColor(255, 0, 0),
                                        BxPackColor(0, 255, 0), BxPackColor(20, 30, 200)});
    BxRGBImage source(4, 2);
    for (std::uint32_t x = 0; x < 4; ++x) {
        source.SetPixelAt(x, 0, palette.ColorAt(x));
        source.SetPixelAt(x, 1, palette.ColorAt(3 - x));
    }
    BxQuantRemap remap;
    remap.SetPalette(palette);
    remap.SetDither(false);
    remap.SetSource(&source);
    const std::unique_ptr<BxIndexedImage> result = remap.Run();
    EXPECT_EQ(remap.Message(), "Remapping...");
    for (std::uint32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(result->PixelAt(x, 0), x);
        EXPECT_EQ(result->PixelAt(x, 1), 3 - x);
    }
    BxQuantRemap second;
    EXPECT_GT(second.Serial(), remap.Serial());
}

TEST(QuantRemapTest, DitheredRemapStaysInThePalette) {
    const BxColorTable palette = Table({BxPackColor(0, 0, 0), BxPackColor(255, 255, 255)});
    BxRGBImage source(16, 16);
    for (std::uint32_t y = 0; y < 16; ++y) {
        for (std::uint32_t x = 0; x < 16; ++x) {
            source.SetPixelAt(x, y, BxPackColor(128, 128, 128));
        }
    }
    BxQuantRemap remap;
    remap.SetPalette(palette);
    remap.SetSource(&source);
    const std::unique_ptr<BxIndexedImage> result = remap.Run();
    int white = 0;
    for (std::uint32_t y = 0; y < 16; ++y) {
        for (std::uint32_t x = 0; x < 16; ++x) {
            ASSERT_LT(result->PixelAt(x, y), 2);
            white += result->PixelAt(x, y);
        }
    }
    EXPECT_GT(white, 0);
    EXPECT_LT(white, 256);
}

class StopAtFirstRow : public BxQuantObserver {
  public:
    void Started(const std::string&, std::uint32_t) override {}
    bool RowDone(std::uint32_t, std::uint32_t) override { return true; }
    void Ended() override {}
};

TEST(QuantRemapTest, ObserverCanStopTheRun) {
    const BxColorTable palette = Table({BxPackColor(0, 0, 0)});
    BxRGBImage source(2, 2);
    BxQuantRemap remap;
    StopAtFirstRow observer;
    remap.SetPalette(palette);
    remap.SetSource(&source);
    remap.SetObserver(&observer);
    EXPECT_EQ(ErrorOf([&] { remap.Run(); }), kBxErrStopped);
}

}  // namespace
}  // namespace quillon::test::bx
