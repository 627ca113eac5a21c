// The image classes. Every kind -- indexed, true colour, bitmap, and a GIF frame whose mask holds
// the picture -- is made to show one picture, transformed alike, and must draw alike. Then what
// the optimizer asks beyond that of frames, of the quantizer's octree and of animations.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "BxCode/BxAnimation.h"
#include "BxCode/BxGIFFrame.h"
#include "BxCode/BxQuantOctree.h"
#include "BxCode/BxRGBImage.h"
#include "BxTestSupport.h"
#include "Corpus.h"

namespace quillon::test::bx {
namespace {

// '#' white, '.' black; anything else drawn shows as '?'.
using Picture = std::vector<std::string>;
const Picture kPicture = {"#..#.", "##...", "..#.#"};

enum Kind { kIndexed, kRGB, kBitmap, kFrameByMask };

std::unique_ptr<BxImage> Make(Kind kind) {
    BxColorTable blackWhite(2);
    blackWhite.SetColor(1, 255, 255, 255);
    auto indexed = std::make_unique<BxIndexedImage>(5, 3, &blackWhite);
    auto rgb = std::make_unique<BxRGBImage>(5, 3);
    auto bitmap = std::make_unique<BxBitmapImage>(5, 3);
    bitmap->SetPolarity(0);
    auto frame = std::make_unique<BxGIFFrame>(5, 3);  // black, with a mask to show white
    frame->GetBackgroundColour() = {255, 255, 255};
    frame->SetTransparencyFlag(1);
    for (std::uint32_t i = 0; i < 15; ++i) {
        const bool white = kPicture[i / 5][i % 5] == '#';
        indexed->SetPixelAt(i % 5, i / 5, white);
        rgb->SetPixelAt(i % 5, i / 5, white ? BxPackColor(255, 255, 255) : 0);
        bitmap->SetBitAt(i % 5, i / 5, white);
        frame->GetMask().SetBitAt(i % 5, i / 5, white == frame->GetMask().Polarity());
    }
    std::unique_ptr<BxImage> kinds[] = {std::move(indexed), std::move(rgb), std::move(bitmap),
                                        std::move(frame)};
    return std::move(kinds[kind]);
}

Picture Shown(const Bytes& out, std::size_t width) {
    Picture picture(out.size() / 3 / width, std::string(width, '?'));
    for (std::size_t i = 0; i < out.size(); i += 3) {
        const int sum = out[i] + out[i + 1] + out[i + 2];
        picture[i / 3 / width][i / 3 % width] = sum == 0 ? '.' : sum == 3 * 255 ? '#' : '?';
    }
    return picture;
}

Picture Drawn(const BxImage& image) {
    const auto width = static_cast<std::int32_t>(image.GetWidth());
    const auto height = static_cast<std::int32_t>(image.GetHeight());
    Bytes out(static_cast<std::size_t>(width * height * 3), 0x77);
    image.Draw(BxRect{0, 0, height, width}, BxDrawTarget{out.data(), width * 3});
    return Shown(out, image.GetWidth());
}

using Transform = std::function<std::unique_ptr<BxImage>(BxImage&)>;

// A change made in place, then a copy to look at.
Transform InPlace(std::function<void(BxImage&)> change) {
    return [change](BxImage& image) {
        change(image);
        return image.Clone();
    };
}

struct TransformCase {
    std::string name;
    Transform apply;
    Picture expected;       // empty: as the indexed image shows it
    bool sizeOnly = false;  // kinds that smooth or threshold differ in the pixels
};

void PrintTo(const TransformCase& c, std::ostream* out) {
    *out << c.name;
}

class Transforms : public testing::TestWithParam<TransformCase> {};

TEST_P(Transforms, EveryKindShowsTheSame) {
    const TransformCase& c = GetParam();
    Picture indexed;
    for (Kind kind : {kIndexed, kRGB, kBitmap, kFrameByMask}) {
        SCOPED_TRACE(kind);
        const std::unique_ptr<BxImage> image = Make(kind);
        Picture shown = Drawn(*c.apply(*image));
        for (std::string& row : shown) {
            row.assign(c.sizeOnly ? std::string(row.size(), '.') : row);
        }
        indexed = kind == kIndexed ? shown : indexed;
        EXPECT_EQ(shown, kind == kIndexed && !c.expected.empty() ? c.expected : indexed);
    }
}

constexpr double kPi = std::numbers::pi;

const TransformCase kTransforms[] = {
    {"Clone", [](BxImage& image) { return image.Clone(); }, kPicture},
    {"FlipHorizontal",
     InPlace([](BxImage& image) { image.FlipHorizontal(); }),
     {".#..#", "...##", "#.#.."}},
    {"FlipVertical",
     InPlace([](BxImage& image) { image.FlipVertical(); }),
     {"..#.#", "##...", "#..#."}},
    {"QuarterTurn",
     [](BxImage& image) { return image.Rotate(kPi / 2); },
     {"..#", "#..", "..#", ".#.", "##."}},
    {"HalfTurn", [](BxImage& image) { return image.Rotate(kPi); }, {"#.#..", "...##", ".#..#"}},
    {"ThreeQuarterTurn",
     [](BxImage& image) { return image.Rotate(-kPi / 2); },
     {".##", ".#.", "#..", "..#", "#.."}},
    {"NoTurn", [](BxImage& image) { return image.Rotate(0.0); }, kPicture},
    {"FreeTurn", [](BxImage& image) { return image.Rotate(0.3, 0); }, {}, true},
    {"ScaleUp",
     [](BxImage& image) { return image.Scale(10, 6); },
     {"##....##..", "##....##..", "####......", "####......", "....##..##", "....##..##"}},
    {"Crop",
     [](BxImage& image) {
         return image.Crop(BxRect{1, 0, 2, 4});
     },
     {"..#", "#.."}},
    // A copy of itself pasted off the bottom right, and off the top left.
    {"PasteShifted",
     InPlace([](BxImage& image) { image.Paste(2, 1, *image.Clone()); }),
     {"#..#.", "###..", "..##."}},
    {"PasteClipped",
     InPlace([](BxImage& image) { image.Paste(-3, -1, *image.Clone()); }),
     {"...#.", ".#...", "..#.#"}},
    // Drawing through strips of a pixel, where a kind draws by strips.
    {"StripsOfOnePixel", InPlace([](BxImage& image) { image.SetStripSize(1, 1); }), kPicture},
};

INSTANTIATE_TEST_SUITE_P(Examples, Transforms, testing::ValuesIn(kTransforms),
                         CaseName<TransformCase>);

// Drawn strip by strip through the picture's bitmap, which lets only its white pixels through,
// and kept where a mask hiding the first column is opaque: the rest keeps its bytes.
TEST(DrawThroughMasked, KeepsOnlyWhatBothLetThrough) {
    const auto picture = Make(kBitmap);
    BxBitmapImage columns(5, 3);
    for (std::uint32_t i = 0; i < 15; ++i) {
        columns.SetBitAt(i % 5, i / 5, (i % 5 == 0) == columns.Polarity());
    }
    for (std::int32_t strip : {1, 2, BxImage::kWholeExtent}) {
        const auto image = Make(kIndexed);
        image->SetStripSize(strip, strip);
        Bytes out(45, 0x77);
        image->DrawThroughMasked(*picture, &columns, BxRect{0, 0, 3, 5},
                                 BxDrawTarget{out.data(), 15});
        EXPECT_EQ(Shown(out, 5), Picture({"???#?", "?#???", "??#?#"})) << strip;
    }
}

// ---- frames -------------------------------------------------------------------------------------

// Crops of a 10 x 10 frame at (20, 30), opaque only at the given pixels: to an area, or to the
// bounding box of its content.
TEST(GIFFrameCrops, KeepPixelsMaskAndPlace) {
    const BxColorTable palette(7);
    BxIndexedImage image(10, 10, &palette);
    for (std::uint32_t i = 0; i < 100; ++i) {
        image.SetPixelAt(i % 10, i / 10, static_cast<std::uint8_t>(i % 7));
    }
    const auto square = std::make_unique<BxGIFFrame>(image);
    for (std::uint32_t i = 0; i < 100; ++i) {
        square->GetMask().SetBitAt(i % 10, i / 10, i != 34 && i != 75);
    }
    square->GIFInfo().left = 20;
    square->GIFInfo().top = 30;
    const std::pair<std::unique_ptr<BxGIFFrame>, BxRect> crops[] = {
        {square->CropToArea(3, 2, 7, 5), BxRect{3, 2, 5, 7}},
        {square->CropToContent(), BxRect{4, 3, 8, 6}},
    };
    for (const auto& [cropped, area] : crops) {
        ASSERT_EQ(cropped->GetWidth(), area.Width());
        ASSERT_EQ(cropped->GetHeight(), area.Height());
        EXPECT_EQ(cropped->GIFInfo().left, 20 + area.left);
        EXPECT_EQ(cropped->GIFInfo().top, 30 + area.top);
        EXPECT_EQ(cropped->GIFInfo().width, area.Width());
        for (std::uint32_t y = 0; y < area.Height(); ++y) {
            for (std::uint32_t x = 0; x < area.Width(); ++x) {
                const std::uint32_t fx = x + area.left;
                const std::uint32_t fy = y + area.top;
                EXPECT_EQ(cropped->GetImage().PixelAt(x, y), square->GetImage().PixelAt(fx, fy));
                EXPECT_EQ(cropped->IsTransparentAt(x, y), square->IsTransparentAt(fx, fy));
            }
        }
    }
    // With nothing opaque the crop keeps the top-left pixel.
    square->GetMask().SetBitAt(4, 3, 1);
    square->GetMask().SetBitAt(5, 7, 1);
    EXPECT_EQ(square->CropToContent()->GetWidth(), 1u);
}

// ---- the quantizer's octree --------------------------------------------------------------------

std::vector<BxColor> Colours(const BxColorTable& table) {
    std::vector<BxColor> colours;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        colours.push_back(table.ColorAt(i));
    }
    return colours;
}

TEST(Octree, OneLeafTakesTheWeightedMean) {
    BxQuantOctree octree;
    const BxColor colours[] = {BxPackColor(8, 8, 8), BxPackColor(12, 12, 12),
                               BxPackColor(200, 0, 0)};
    const std::uint32_t weights[] = {1, 3, 0};  // a colour of weight 0 is not added
    octree.AddColors(colours, weights, 3);
    // (8 x 1 + 12 x 3 + 2) / 4 = 11, and the rest of the palette black.
    std::vector<BxColor> palette = Colours(octree.MakePalette(3));
    std::sort(palette.begin(), palette.end());
    EXPECT_EQ(palette, std::vector<BxColor>({0, 0, BxPackColor(11, 11, 11)}));
}

// Colours of distinct top three bits in every channel, each its own leaf, some weighing so much
// that only their mean is scaled, reduced and merged to the size asked for. The first level is
// never folded, so every octant keeps a colour; of two near white, the brightest becomes white
// (and with two colours, black and white are the extremes kept).
TEST(Octree, MakesPalettesOfTheSizeAskedFor) {
    const std::pair<int, std::size_t> cases[] = {{300, 64}, {512, 256}, {512, 64}, {100, 2}};
    for (const auto& [count, target] : cases) {
        SCOPED_TRACE(std::to_string(count) + " to " + std::to_string(target));
        std::vector<BxColor> colours = {BxPackColor(230, 230, 230), BxPackColor(240, 240, 240)};
        std::vector<std::uint32_t> weights = {5, 5};
        for (int i = 0; i < count; ++i) {
            colours.push_back(BxPackColor(static_cast<std::uint8_t>((i & 7) << 5),
                                          static_cast<std::uint8_t>((i >> 3 & 7) << 5),
                                          static_cast<std::uint8_t>((i >> 6 & 7) << 5)));
            weights.push_back(count == 512 ? 1 : 983041u * static_cast<std::uint32_t>(1 + i % 3));
        }
        BxQuantOctree octree;
        octree.AddColors(colours.data(), weights.data(), colours.size());
        const std::vector<BxColor> palette = Colours(octree.MakePalette(target));
        ASSERT_EQ(palette.size(), target);
        std::set<int> octants;
        for (BxColor colour : palette) {
            octants.insert(BxRedOf(colour) >> 7 << 2 | BxGreenOf(colour) >> 7 << 1 |
                           BxBlueOf(colour) >> 7);
        }
        EXPECT_EQ(octants.size(), std::min<std::size_t>(target, 8));
        EXPECT_EQ(std::count(palette.begin(), palette.end(), BxPackColor(240, 240, 240)), 0);
        EXPECT_EQ(std::count(palette.begin(), palette.end(), BxPackColor(255, 255, 255)), 1);
    }
}

// ---- animations ---------------------------------------------------------------------------------

TEST(Animation, ReadsAndWritesWholeFiles) {
    BxGIFFile in;
    const std::string source =
        (CorpusDir() / "gif" / "gifsuite_animated_transparent_loop.gif").string();
    in.SetPath(source.c_str());
    in.Open(BxFile::kReadable);
    BxAnimation animation;
    animation.ReadFromFile(in);
    ASSERT_GT(animation.GetFrameCount(), 1u);
    EXPECT_EQ(animation.GetWidth(), in.GetScreenWidth());
    // Frames as the optimizer holds them write as plain images do; an image without a record
    // gets a fresh one.
    const auto& first = dynamic_cast<const BxIndexedImage&>(*animation.GetFrame(0));
    animation.AppendFrame(std::make_unique<BxGIFFrame>(first), false);
    animation.AppendFrame(std::make_unique<BxIndexedImage>(2, 2), false);
    const int descriptor = MemoryDescriptor({});
    BxGIFFile out;
    out.Open(BxFile::kWritable, false, descriptor);
    animation.WriteToFile(out);
    out.Close();
    const ReadResult back = ReadGif(DescriptorBytes(descriptor));
    ASSERT_EQ(back.frames.size(), animation.GetFrameCount());
    for (std::size_t i = 0; i < back.frames.size(); ++i) {
        const auto* frame = dynamic_cast<const BxGIFFrame*>(animation.GetFrame(i));
        const BxIndexedImage& image =
            frame ? frame->GetImage() : dynamic_cast<const BxIndexedImage&>(*animation.GetFrame(i));
        EXPECT_EQ(PixelBytes(*back.frames[i]), PixelBytes(image)) << i;
        const int delay = image.GetFormatInfo() ? InfoOf(image).delay : 0;
        EXPECT_EQ(InfoOf(*back.frames[i]).delay, delay) << i;
    }
}

// Frames inserted, marked, replaced, detached and removed keep their order.
TEST(Animation, KeepsItsFramesInOrder) {
    BxAnimation animation;
    for (std::uint32_t width : {3, 1, 4, 1, 5}) {
        const bool mark = width == 1 || width == 4;
        animation.InsertFrame(animation.GetFrameCount(),
                              std::make_unique<BxRGBImage>(width, 6 - width), mark);
    }
    EXPECT_EQ(animation.GetMarkedRunEnd(), 4u);
    EXPECT_EQ(animation.ReplaceFrame(0, std::make_unique<BxRGBImage>(9, 1))->GetWidth(), 3u);
    EXPECT_EQ(animation.DetachFrame(1)->GetWidth(), 1u);
    animation.RemoveFrame(0);
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    animation.GetLargestFrameSize(&width, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(5u, 5u));
    EXPECT_EQ(animation.GetFrame(1)->GetWidth(), 1u);
    animation.SetGlobalInfo(std::make_unique<BxGIFGlobalInfo>());
    EXPECT_NE(animation.ExchangeGlobalInfo(nullptr), nullptr);
    EXPECT_EQ(animation.TakeGlobalInfo(), nullptr);
}

}  // namespace
}  // namespace quillon::test::bx
