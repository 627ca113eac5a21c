// Palette work the GIF stage leans on: compaction, nearest colours, the transparent entry a frame
// gives up, the entries a frame may use and the smoothing of dither patterns.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "BxCode/BxColorTable.h"
#include "BxCode/BxGIFFrame.h"
#include "BxCode/BxQuantRemap.h"
#include "BxTestSupport.h"

namespace quillon::test::bx {
namespace {

BxColorTable Table(const std::vector<BxColor>& colours) {
    BxColorTable table(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i) {
        table.SetColor(i, BxRedOf(colours[i]), BxGreenOf(colours[i]), BxBlueOf(colours[i]));
    }
    return table;
}

std::vector<BxColor> ColoursOf(const BxColorTable& table) {
    std::vector<BxColor> colours;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        colours.push_back(table.ColorAt(i));
    }
    return colours;
}

// n colours far apart from each other.
std::vector<BxColor> Spread(std::size_t n) {
    std::vector<BxColor> colours;
    for (std::size_t i = 0; i < n; ++i) {
        colours.push_back(BxPackColor(static_cast<std::uint8_t>((i * 37) % 256),
                                      static_cast<std::uint8_t>((i * 91) % 256),
                                      static_cast<std::uint8_t>((i * 53) % 256)));
    }
    return colours;
}

std::unique_ptr<BxIndexedImage> Image(std::uint32_t width, std::uint32_t height,
                                      const std::vector<BxColor>& colours, const Bytes& pixels) {
    const BxColorTable palette = Table(colours);
    auto image = std::make_unique<BxIndexedImage>(width, height, &palette);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image->SetPixelAt(x, y, pixels[y * width + x]);
        }
    }
    return image;
}

// 0, 1, ..., n-1.
Bytes Ramp(std::size_t n) {
    Bytes values(n);
    for (std::size_t i = 0; i < n; ++i) {
        values[i] = static_cast<std::uint8_t>(i);
    }
    return values;
}

TEST(Palette, CompactionDropsDuplicatesKeepingFirstOccurrences) {
    struct Row {
        std::vector<BxColor> input, expected;
        Bytes map;
    };
    const BxColor a = BxPackColor(1, 2, 3), b = BxPackColor(4, 5, 6), c = BxPackColor(0, 0, 1);
    const Row rows[] = {
        {{a, b, a, c}, {a, b, c}, {0, 1, 0, 2}},
        {{a, a, a}, {a}, {0, 0, 0}},
        {{c, BxPackColor(0, 0, 2), c}, {c, BxPackColor(0, 0, 2)}, {0, 1, 0}},
        {{}, {}, {}},
    };
    for (const Row& row : rows) {
        const BxColorTable table = Table(row.input);
        Bytes map(table.Count(), 0xEE);
        EXPECT_EQ(ColoursOf(table.Compacted(map)), row.expected);
        EXPECT_EQ(map, row.map);
        EXPECT_EQ(ColoursOf(table), row.input) << "the table itself is left alone";
    }
}

TEST(Palette, NearestIsTheClosestLowestIndexOutsideTheExcludedOne) {
    struct Row {
        const char* name;
        std::vector<BxColor> table;
        BxColor colour;
        std::int64_t excluded;
        std::size_t expected;
    };
    const Row rows[] = {
        {"closest",
         {0, BxPackColor(100, 100, 100), BxPackColor(200, 200, 200)},
         BxPackColor(160, 160, 160),
         -1,
         2},
        {"tie goes to the lower index", {0, BxPackColor(20, 0, 0)}, BxPackColor(10, 0, 0), -1, 0},
        {"excluded entry skipped",
         {0, BxPackColor(50, 50, 50), BxPackColor(60, 60, 60)},
         BxPackColor(50, 50, 50),
         1,
         2},
        {"channels unweighted", {BxPackColor(0, 0, 30), BxPackColor(0, 29, 0)}, 0, -1, 1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Table(row.table).Nearest(row.colour, row.excluded), row.expected) << row.name;
    }
    // Entries 0 and 3 are the same colour, so each is the other's nearest.
    const BxColorTable twins = Table({7, 1, 8, 7});
    EXPECT_EQ(twins.NearestOther(0), 3u);
    EXPECT_EQ(twins.NearestOther(3), 0u);
}

// A frame that needs a transparent entry takes the lowest unused one, grows a table with room,
// sacrifices an unused entry of a large table, and only as a last resort merges the colour whose
// loss costs least (count times squared distance to its nearest other entry).
TEST(Palette, TransparentEntryCostsAsLittleAsPossible) {
    struct Row {
        const char* name;
        std::vector<BxColor> colours;
        Bytes pixels;
        std::uint8_t expectedIndex;
        std::size_t expectedCount;
    };
    Bytes fourMissing = Ramp(11);
    fourMissing.erase(fourMissing.begin() + 4);

    // Candidates 0-4 used 1, 1, 2, 2, 3 times, each with a partner (5-9) at squared distances
    // 100, 50, 10, 1000, 1000: scores 100, 50, 20, 2000, 3000, so entry 2 goes.
    std::vector<BxColor> cheapest = {BxPackColor(0, 0, 0),     BxPackColor(0, 60, 0),
                                     BxPackColor(0, 120, 0),   BxPackColor(0, 180, 0),
                                     BxPackColor(0, 240, 0),   BxPackColor(10, 0, 0),
                                     BxPackColor(5, 60, 5),    BxPackColor(3, 120, 1),
                                     BxPackColor(30, 180, 10), BxPackColor(30, 240, 10)};
    for (std::uint8_t i = 0; cheapest.size() < 64; ++i) {
        cheapest.push_back(BxPackColor(255, static_cast<std::uint8_t>(i * 4), 255));
    }
    Bytes cheapestPixels;
    const std::size_t candidateCounts[5] = {1, 1, 2, 2, 3};
    for (std::uint8_t i = 0; i < 64; ++i) {
        cheapestPixels.insert(cheapestPixels.end(), i < 5 ? candidateCounts[i] : 4, i);
    }

    const Row rows[] = {
        {"lowest unused entry", Spread(16), fourMissing, 4, 16},
        {"full small table grows", Spread(16), Ramp(16), 16, 17},
        {"unused entry of a large table", Spread(70), Ramp(64), 64, 70},
        {"cheapest colour merged", cheapest, cheapestPixels, 2, 64},
    };
    for (const Row& row : rows) {
        BxGIFFrame frame(
            *Image(static_cast<std::uint32_t>(row.pixels.size()), 1, row.colours, row.pixels));
        frame.ChooseTransparentIndex(true);
        const std::uint8_t chosen = frame.GetTransparentIndex();
        EXPECT_EQ(chosen, row.expectedIndex) << row.name;
        EXPECT_EQ(frame.GetImage().Palette().Count(), row.expectedCount) << row.name;
        // Every pixel still shows its colour, or the nearest one where its entry was given up.
        const BxColorTable& palette = frame.GetImage().Palette();
        for (std::uint32_t x = 0; x < row.pixels.size(); ++x) {
            const std::uint8_t value = frame.GetImage().PixelAt(x, 0);
            ASSERT_NE(value, chosen) << row.name << " pixel " << x;
            if (row.pixels[x] != chosen) {
                EXPECT_EQ(palette.ColorAt(value), row.colours[row.pixels[x]]) << row.name;
            }
        }
        // Choosing again changes nothing.
        const Bytes before = PixelBytes(frame.GetImage());
        frame.SetTransparencyFlag(1);
        frame.ChooseTransparentIndex(false);
        EXPECT_EQ(frame.GetTransparentIndex(), chosen) << row.name;
        EXPECT_EQ(PixelBytes(frame.GetImage()), before) << row.name;
    }
}

// The mask is built eight pixels at a time: every width, so that whole and part bytes both
// meet the transparent index at every place in them; then painted back the same way.
TEST(Palette, MaskFollowsTheTransparentIndexOnEveryWidth) {
    for (std::uint32_t width = 1; width <= 19; ++width) {
        Bytes pixels(width * 2);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<std::uint8_t>((i * 7 + i / width) % 5);
        }
        BxGIFFrame frame(*Image(width, 2, Spread(5), pixels));
        frame.MaskFromIndex(3);
        for (std::uint32_t i = 0; i < pixels.size(); ++i) {
            EXPECT_EQ(frame.IsTransparentAt(i % width, i / width), pixels[i] == 3)
                << "width " << width << " pixel " << i;
        }
        frame.PaintTransparent(4);
        const Bytes painted = PixelBytes(frame.GetImage());
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            EXPECT_EQ(painted[i], pixels[i] == 3 ? 4 : pixels[i]) << "width " << width;
        }
    }
}

TEST(Palette, AllowedEntriesAndColourMaps) {
    const BxColorTable source = Table({BxPackColor(250, 0, 0), BxPackColor(0, 0, 240)});
    const BxColorTable target = Table({0, BxPackColor(255, 0, 0), BxPackColor(0, 0, 255)});
    BxIndexMap map{};
    BuildColorMap(source, target, nullptr, &map);
    EXPECT_EQ(map[0], 1);
    EXPECT_EQ(map[1], 2);
    BxAllowedSet allowed{};
    allowed[0] = allowed[2] = 1;
    BuildColorMap(source, target, &allowed, &map);
    EXPECT_EQ(map[0], 0) << "red is not admitted; black is nearer than blue";
    EXPECT_EQ(map[1], 2);

    // Against a plain scan in table order: the nearest admitted entry, the first of equals, on
    // tables of every length whose channels take four values, so that equal distances abound.
    std::mt19937 random(14);
    const auto channel = [&random] { return static_cast<std::uint8_t>(85 * (random() % 4)); };
    for (std::size_t n = 1; n <= 256; ++n) {
        std::vector<BxColor> colours(n);
        std::generate(colours.begin(), colours.end(),
                      [&] { return BxPackColor(channel(), channel(), channel()); });
        const BxColorTable table = Table(colours);
        for (std::size_t j = 0; j < n; ++j) {
            allowed[j] = random() % 3 != 0 ? 1 : 0;
        }
        std::fill(allowed.begin() + static_cast<std::ptrdiff_t>(n), allowed.end(), 0);
        const BxColorTable any = Table(Spread(256));
        BuildColorMap(any, table, &allowed, &map);
        for (std::size_t i = 0; i < 256; ++i) {
            std::optional<std::size_t> nearest;
            std::uint32_t best = 0;
            for (std::size_t j = 0; j < n; ++j) {
                const std::uint32_t d = BxColorDistance(
                    any.Entries()[3 * i], any.Entries()[3 * i + 1], any.Entries()[3 * i + 2],
                    table.Entries()[3 * j], table.Entries()[3 * j + 1], table.Entries()[3 * j + 2]);
                if (allowed[j] && (!nearest || d < best)) {
                    nearest = j;
                    best = d;
                }
            }
            ASSERT_EQ(map[i], nearest.value_or(0)) << n << " entries, colour " << i;
        }
    }

    // A frame may use k entries: all of a smaller palette, exactly k of a larger one.
    for (const std::size_t colours : {std::size_t{100}, std::size_t{200}}) {
        const BxColorTable palette = Table(Spread(colours));
        const auto image =
            Image(static_cast<std::uint32_t>(colours), 1, Spread(colours), Ramp(colours));
        const BxAllowedSet chosen = SelectEntries(*image, palette, 120);
        EXPECT_EQ(std::count(chosen.begin(), chosen.end(), 1),
                  std::min<std::ptrdiff_t>(colours, 120))
            << colours;
        EXPECT_TRUE(std::all_of(chosen.begin() + static_cast<std::ptrdiff_t>(colours), chosen.end(),
                                [](std::uint8_t a) { return a == 0; }))
            << colours;
    }
}

// Entry 3 and 7 are close; 1 is far from both. Smoothing joins 3-7 alternations into runs where
// nothing stands against it.
TEST(Palette, SmoothDitherJoinsAlternationsOnly) {
    struct Row {
        const char* name;
        std::uint32_t width, height;
        Bytes pixels;
        std::optional<std::uint8_t> transparent;
        Bytes expectedMiddleRow;
    };
    const Bytes plain(5, 3), alternation = {3, 7, 3, 7, 3}, edge(5, 1);
    const auto rows3 = [](const Bytes& top, const Bytes& middle, const Bytes& bottom) {
        return Cat({top, middle, bottom});
    };
    const Row rows[] = {
        {"joined", 5, 3, rows3(plain, alternation, plain), std::nullopt, {3, 3, 7, 7, 3}},
        {"transparent index kept", 5, 3, rows3(plain, alternation, plain), 7, alternation},
        {"too narrow",
         4,
         3,
         rows3({3, 3, 3, 3}, {3, 7, 3, 7}, {3, 3, 3, 3}),
         std::nullopt,
         {3, 7, 3, 7}},
        {"one row", 5, 1, alternation, std::nullopt, alternation},
        {"edge kept", 5, 3, rows3(edge, alternation, Bytes(5, 0)), std::nullopt, alternation},
    };
    std::vector<BxColor> colours(8, 0);
    colours[1] = BxPackColor(255, 255, 255);
    colours[3] = BxPackColor(100, 100, 100);
    colours[7] = BxPackColor(110, 104, 100);
    for (const Row& row : rows) {
        auto image = Image(row.width, row.height, colours, row.pixels);
        SmoothDither(*image, row.transparent);
        const Bytes after = PixelBytes(*image);
        const std::uint32_t middle = row.height / 2;
        EXPECT_EQ(
            Bytes(after.begin() + middle * row.width, after.begin() + (middle + 1) * row.width),
            row.expectedMiddleRow)
            << row.name;
        for (std::uint32_t y = 0; y < row.height; ++y) {
            if (y != middle) {
                EXPECT_TRUE(std::equal(after.begin() + y * row.width,
                                       after.begin() + (y + 1) * row.width,
                                       row.pixels.begin() + y * row.width))
                    << row.name << " row " << y;
            }
        }
    }
}

}  // namespace
}  // namespace quillon::test::bx
