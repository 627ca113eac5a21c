#include "BxCode/BxGIFFrame.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "BxCode/BxAnimation.h"
#include "BxTestSupport.h"
#include "Corpus.h"

namespace quillon::test::bx {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

std::unique_ptr<BxIndexedImage> MakeImage(std::uint32_t width, std::uint32_t height,
                                          const std::vector<Rgb>& colours,
                                          const std::vector<std::uint8_t>& pixels) {
    BxColorTable palette(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i) {
        palette.SetColor(i, colours[i].r, colours[i].g, colours[i].b);
    }
    auto image = std::make_unique<BxIndexedImage>(width, height, &palette);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image->SetPixelAt(x, y, pixels.empty() ? 0 : pixels[y * width + x]);
        }
    }
    return image;
}

// n colours far apart from each other.
std::vector<Rgb> Spread(std::size_t n) {
    std::vector<Rgb> colours;
    for (std::size_t i = 0; i < n; ++i) {
        colours.push_back({static_cast<std::uint8_t>((i * 37) % 256),
                           static_cast<std::uint8_t>((i * 91) % 256),
                           static_cast<std::uint8_t>((i * 53) % 256)});
    }
    return colours;
}

std::vector<std::uint8_t> Counts(const BxGIFFrame& frame) {
    BxIndexCounts counts{};
    frame.GetImage().CountIndices(&counts, &frame.GetMask());
    return {counts.begin(), counts.end()};
}

void MakeAllTransparent(BxGIFFrame& frame) {
    for (std::uint32_t y = 0; y < frame.GetHeight(); ++y) {
        for (std::uint32_t x = 0; x < frame.GetWidth(); ++x) {
            frame.GetMask().SetBitAt(x, y, frame.GetMask().Polarity());
        }
    }
}

TEST(GIFFrameTest, NewFramesAreOpaqueWithADefaultRecord) {
    BxGIFFrame frame(4, 3);
    EXPECT_FALSE(frame.HasTransparentPixels());
    EXPECT_EQ(frame.GIFInfo().width, 4);
    EXPECT_EQ(frame.GIFInfo().height, 3);
    EXPECT_EQ(frame.GIFInfo().hasLocalTable, 1);
    EXPECT_EQ(frame.GetImage().Palette().Count(), 1u);
    EXPECT_EQ(frame.GetMask().Polarity(), 1);
}

TEST(GIFFrameTest, MaskFollowsTheRecordsTransparentIndex) {
    auto image = MakeImage(3, 1, Spread(4), {0, 2, 2});
    auto info = std::make_unique<BxGIFFrameInfo>();
    info->width = 3;
    info->height = 1;
    info->transparent = 1;
    info->transparentIndex = 2;
    image->SetFormatInfo(std::move(info));
    BxGIFFrame frame(*image);
    EXPECT_FALSE(frame.IsTransparentAt(0, 0));
    EXPECT_TRUE(frame.IsTransparentAt(1, 0));
    EXPECT_TRUE(frame.IsTransparentAt(2, 0));
    EXPECT_EQ(frame.GetTransparencyFlag(), 1);
}

TEST(GIFFrameTest, AllTransparentFrameCropsToItsTopLeftPixel) {
    BxGIFFrame frame(*MakeImage(5, 4, Spread(2), {}));
    frame.GIFInfo().left = 7;
    frame.GIFInfo().top = 9;
    MakeAllTransparent(frame);
    const std::unique_ptr<BxGIFFrame> cropped = frame.CropToContent();
    EXPECT_EQ(cropped->GetWidth(), 1u);
    EXPECT_EQ(cropped->GetHeight(), 1u);
    EXPECT_EQ(cropped->GIFInfo().left, 7);
    EXPECT_EQ(cropped->GIFInfo().top, 9);
    EXPECT_EQ(cropped->GIFInfo().width, 1);
}

TEST(GIFFrameTest, CropKeepsTheBoundingBoxOfOpaquePixels) {
    BxGIFFrame frame(*MakeImage(10, 10, Spread(2), {}));
    MakeAllTransparent(frame);
    frame.GetMask().SetBitAt(2, 3, 0);
    frame.GetMask().SetBitAt(5, 7, 0);
    frame.GetImage().SetPixelAt(5, 7, 1);
    const std::unique_ptr<BxGIFFrame> cropped = frame.CropToContent();
    EXPECT_EQ(cropped->GetWidth(), 4u);
    EXPECT_EQ(cropped->GetHeight(), 5u);
    EXPECT_EQ(cropped->GIFInfo().left, 2);
    EXPECT_EQ(cropped->GIFInfo().top, 3);
    EXPECT_EQ(cropped->GIFInfo().width, 4);
    EXPECT_EQ(cropped->GIFInfo().height, 5);
    EXPECT_FALSE(cropped->IsTransparentAt(0, 0));
    EXPECT_FALSE(cropped->IsTransparentAt(3, 4));
    EXPECT_TRUE(cropped->IsTransparentAt(1, 1));
    EXPECT_EQ(cropped->GetImage().PixelAt(3, 4), 1);
    // The frame it came from is unchanged.
    EXPECT_EQ(frame.GetWidth(), 10u);
    EXPECT_EQ(frame.GIFInfo().left, 0);
}

TEST(GIFFrameTest, CropToAreaCutsTheRectangleAndMovesTheRecord) {
    std::vector<std::uint8_t> pixels;
    for (std::uint8_t i = 0; i < 100; ++i) {
        pixels.push_back(i % 7);
    }
    BxGIFFrame frame(*MakeImage(10, 10, Spread(7), pixels));
    frame.GIFInfo().left = 20;
    frame.GIFInfo().top = 30;
    frame.GetMask().SetBitAt(4, 3, 1);
    const std::unique_ptr<BxGIFFrame> cropped = frame.CropToArea(3, 2, 7, 5);
    EXPECT_EQ(cropped->GetWidth(), 4u);
    EXPECT_EQ(cropped->GetHeight(), 3u);
    EXPECT_EQ(cropped->GIFInfo().left, 23);
    EXPECT_EQ(cropped->GIFInfo().top, 32);
    EXPECT_EQ(cropped->GIFInfo().width, 4);
    EXPECT_EQ(cropped->GIFInfo().height, 3);
    for (std::uint32_t y = 0; y < 3; ++y) {
        for (std::uint32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(cropped->GetImage().PixelAt(x, y), frame.GetImage().PixelAt(x + 3, y + 2));
            EXPECT_EQ(cropped->IsTransparentAt(x, y), x == 1 && y == 1);
        }
    }
    EXPECT_BX_ERROR(frame.CropToArea(3, 3, 3, 5), kBxErrBadArgument);   // no columns
    EXPECT_BX_ERROR(frame.CropToArea(0, 0, 11, 1), kBxErrBadArgument);  // past the right edge
}

// The mask operations work a mask byte at a time: widths that end inside a byte, against a
// pixel by pixel model.
TEST(GIFFrameTest, MaskOperationsAgreeWithPixelsOnEveryWidth) {
    std::uint32_t seed = 5;
    for (std::uint32_t width = 1; width <= 19; ++width) {
        SCOPED_TRACE(width);
        std::vector<std::uint8_t> pixels;
        for (std::uint32_t i = 0; i < width * 3; ++i) {
            seed = seed * 1103515245 + 12345;
            pixels.push_back(static_cast<std::uint8_t>((seed >> 16) % 4));
        }
        BxGIFFrame frame(*MakeImage(width, 3, Spread(5), pixels));
        EXPECT_FALSE(frame.HasTransparentPixels());
        frame.MarkIndex(2, false);
        bool anyTwo = false;
        for (std::uint32_t i = 0; i < width * 3; ++i) {
            EXPECT_EQ(frame.IsTransparentAt(i % width, i / width), pixels[i] == 2) << i;
            anyTwo = anyTwo || pixels[i] == 2;
        }
        EXPECT_EQ(frame.HasTransparentPixels(), anyTwo);
        const std::vector<std::uint8_t> counts = Counts(frame);
        EXPECT_EQ(counts[2], 0);
        EXPECT_EQ(counts[1], std::count(pixels.begin(), pixels.end(), 1));
        frame.PaintTransparent(4);
        for (std::uint32_t i = 0; i < width * 3; ++i) {
            EXPECT_EQ(frame.GetImage().PixelAt(i % width, i / width),
                      pixels[i] == 2 ? 4 : pixels[i])
                << i;
        }
        frame.ClearMask();
        EXPECT_FALSE(frame.HasTransparentPixels());
        // The last pixel alone: the bits past the width in its byte do not count.
        frame.GetMask().SetBitAt(width - 1, 2, frame.GetMask().Polarity());
        EXPECT_TRUE(frame.HasTransparentPixels());
    }
}

TEST(GIFFrameTest, MarkIndexThatNoPixelUsesChangesNothing) {
    BxGIFFrame frame(*MakeImage(3, 1, Spread(4), {0, 1, 2}));
    frame.MarkIndex(3, false);
    EXPECT_FALSE(frame.HasTransparentPixels());
    EXPECT_EQ(frame.GetTransparencyFlag(), 0);
    frame.MarkIndex(1, false);
    EXPECT_TRUE(frame.IsTransparentAt(1, 0));
    EXPECT_EQ(frame.GetTransparencyFlag(), 1);
}

TEST(GIFFrameTest, TransparentIndexIsTheLowestUnusedEntry) {
    BxGIFFrame frame(*MakeImage(10, 1, Spread(16), {0, 1, 2, 3, 5, 6, 7, 8, 9, 10}));
    frame.ChooseTransparentIndex(true);
    EXPECT_EQ(frame.GetTransparentIndex(), 4);
    EXPECT_EQ(frame.GetImage().Palette().Count(), 16u);
}

TEST(GIFFrameTest, FullTableGrowsByOneEntryForTransparency) {
    std::vector<std::uint8_t> pixels;
    for (std::uint8_t i = 0; i < 16; ++i) {
        pixels.push_back(i);
    }
    BxGIFFrame frame(*MakeImage(16, 1, Spread(16), pixels));
    frame.ChooseTransparentIndex(true);
    EXPECT_EQ(frame.GetTransparentIndex(), 16);
    EXPECT_EQ(frame.GetImage().Palette().Count(), 17u);
}

TEST(GIFFrameTest, UnusedEntriesAreSacrificedFirstWhenSixtyFourAreUsed) {
    std::vector<std::uint8_t> pixels;
    for (std::uint8_t i = 0; i < 64; ++i) {
        pixels.push_back(i);
    }
    BxGIFFrame frame(*MakeImage(64, 1, Spread(70), pixels));
    frame.ChooseTransparentIndex(true);
    EXPECT_EQ(frame.GetTransparentIndex(), 64);
    for (std::uint32_t x = 0; x < 64; ++x) {
        EXPECT_EQ(frame.GetImage().PixelAt(x, 0), x);
    }
}

TEST(GIFFrameTest, FullSixtyFourEntryTableMergesAColour) {
    std::vector<std::uint8_t> pixels;
    for (std::uint8_t i = 0; i < 64; ++i) {
        pixels.push_back(i);
    }
    BxGIFFrame frame(*MakeImage(64, 1, Spread(64), pixels));
    frame.ChooseTransparentIndex(true);
    EXPECT_EQ(frame.GetImage().Palette().Count(), 64u);
    const std::vector<std::uint8_t> counts = Counts(frame);
    EXPECT_EQ(counts[frame.GetTransparentIndex()], 0);
    int used = 0;
    for (std::size_t i = 0; i < 64; ++i) {
        used += counts[i] != 0;
    }
    EXPECT_EQ(used, 63);
}

TEST(GIFFrameTest, ChoosingTwiceGivesTheSameIndex) {
    std::vector<std::uint8_t> pixels;
    for (std::uint8_t i = 0; i < 64; ++i) {
        pixels.push_back(i);
    }
    pixels.push_back(5);
    for (const std::size_t entries : {std::size_t{16}, std::size_t{64}, std::size_t{70}}) {
        std::vector<std::uint8_t> used(pixels);
        for (auto& p : used) {
            p = static_cast<std::uint8_t>(p % entries);
        }
        BxGIFFrame frame(
            *MakeImage(static_cast<std::uint32_t>(used.size()), 1, Spread(entries), used));
        frame.GetMask().SetBitAt(64, 0, 1);
        frame.SetTransparencyFlag(1);
        frame.ChooseTransparentIndex(false);
        const std::uint8_t first = frame.GetTransparentIndex();
        const std::vector<std::uint8_t> counts = Counts(frame);
        frame.ChooseTransparentIndex(false);
        EXPECT_EQ(frame.GetTransparentIndex(), first) << entries;
        EXPECT_EQ(Counts(frame), counts) << entries;
        EXPECT_EQ(frame.GetImage().PixelAt(64, 0), first);
    }
}

TEST(GIFFrameTest, CheapestOfFiveCandidatesIsSacrificed) {
    // Candidates 0-4 with counts 1, 1, 2, 2, 3, each with a partner (5-9) at squared distances
    // 100, 50, 10, 1000, 1000: scores 100, 50, 20, 2000, 3000, so entry 2 goes.
    std::vector<Rgb> colours = {{0, 0, 0},  {0, 60, 0}, {0, 120, 0}, {0, 180, 0},   {0, 240, 0},
                                {10, 0, 0}, {5, 60, 5}, {3, 120, 1}, {30, 180, 10}, {30, 240, 10}};
    for (std::uint8_t i = 0; colours.size() < 64; ++i) {
        colours.push_back({255, static_cast<std::uint8_t>(i * 4), 255});
    }
    const int candidateCounts[5] = {1, 1, 2, 2, 3};
    std::vector<std::uint8_t> pixels;
    for (std::uint8_t i = 0; i < 64; ++i) {
        const int count = i < 5 ? candidateCounts[i] : 4;
        pixels.insert(pixels.end(), static_cast<std::size_t>(count), i);
    }
    BxGIFFrame frame(*MakeImage(static_cast<std::uint32_t>(pixels.size()), 1, colours, pixels));
    frame.ChooseTransparentIndex(true);
    EXPECT_EQ(frame.GetTransparentIndex(), 2);
    const std::vector<std::uint8_t> counts = Counts(frame);
    EXPECT_EQ(counts[2], 0);
    EXPECT_EQ(counts[7], 6);
    // The sacrificed entry keeps its colour.
    EXPECT_EQ(frame.GetImage().Palette().ColorAt(2), BxPackColor(0, 120, 0));
}

TEST(GIFFrameTest, NothingHappensWithoutTransparencyOrForce) {
    BxGIFFrame frame(*MakeImage(2, 1, Spread(4), {0, 1}));
    frame.GIFInfo().transparentIndex = 9;
    frame.ChooseTransparentIndex(false);
    EXPECT_EQ(frame.GetTransparentIndex(), 9);
}

TEST(GIFFrameTest, TransparentPixelsArePaintedWithTheChosenIndex) {
    BxGIFFrame frame(*MakeImage(3, 1, Spread(4), {0, 1, 0}));
    frame.GetMask().SetBitAt(1, 0, 1);
    frame.SetTransparencyFlag(1);
    frame.ChooseTransparentIndex(false);
    EXPECT_EQ(frame.GetTransparentIndex(), 1);
    EXPECT_EQ(frame.GetImage().PixelAt(1, 0), 1);
}

TEST(GIFFrameTest, CloneAndReplaceImageKeepOwnership) {
    BxGIFFrame frame(*MakeImage(2, 2, Spread(3), {0, 1, 2, 1}));
    frame.GetBackgroundColour() = {1, 2, 3};
    std::unique_ptr<BxImage> copy = frame.Clone();
    auto* clone = dynamic_cast<BxGIFFrame*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetBackgroundColour()[2], 3);
    EXPECT_EQ(clone->GetImage().PixelAt(0, 1), 2);
    auto replacement = std::make_unique<BxIndexedImage>(2, 2);
    EXPECT_EQ(ErrorOf([&] { frame.ReplaceImage(std::move(replacement)); }), kBxErrMissing);
    auto withRecord = std::make_unique<BxIndexedImage>(2, 2);
    withRecord->SetFormatInfo(std::make_unique<BxGIFFrameInfo>());
    const std::unique_ptr<BxIndexedImage> old = frame.ReplaceImage(std::move(withRecord));
    EXPECT_EQ(old->PixelAt(0, 1), 2);
    EXPECT_EQ(frame.GetImage().PixelAt(0, 1), 0);
}

TEST(GIFFrameTest, UnsupportedOperationsRaise37) {
    BxGIFFrame frame(2, 2);
    BxGIFFrame other(2, 2);
    EXPECT_EQ(ErrorOf([&] { frame.AcceptStrip({}, nullptr, {}); }), kBxErrNotImplemented);
    EXPECT_EQ(ErrorOf([&] { frame.DrawThrough(other, {}, {}); }), kBxErrNotImplemented);
}

TEST(GIFFrameTest, TransformsCarryTheMaskAlong) {
    BxGIFFrame frame(*MakeImage(3, 2, Spread(4), {0, 1, 2, 3, 0, 1}));
    frame.GetMask().SetBitAt(0, 0, 1);
    frame.SetTransparencyFlag(1);
    frame.GetBackgroundColour() = {9, 8, 7};
    frame.FlipHorizontal();
    EXPECT_TRUE(frame.IsTransparentAt(2, 0));
    EXPECT_EQ(frame.GetImage().PixelAt(0, 0), 2);
    const std::unique_ptr<BxImage> scaled = frame.Scale(6, 4);
    auto& big = dynamic_cast<BxGIFFrame&>(*scaled);
    EXPECT_EQ(big.GetMask().GetWidth(), 6u);
    EXPECT_TRUE(big.IsTransparentAt(5, 0));
    EXPECT_EQ(big.GetBackgroundColour()[0], 9);
    const std::unique_ptr<BxImage> turned = frame.Rotate(0.3);
    auto& rotated = dynamic_cast<BxGIFFrame&>(*turned);
    EXPECT_EQ(rotated.GetImage().GetWidth(), rotated.GetMask().GetWidth());
    EXPECT_EQ(rotated.GetImage().Palette().Count(), 4u);
}

TEST(GIFFrameTest, DrawShowsOnlyOpaquePixelsOverTheBackground) {
    BxGIFFrame frame(*MakeImage(2, 1, {{10, 20, 30}, {40, 50, 60}}, {0, 1}));
    frame.GetBackgroundColour() = {1, 2, 3};
    std::uint8_t out[6] = {};
    BxDrawTarget target;
    target.origin = out;
    target.rowBytes = 6;
    frame.Draw(BxRect{0, 0, 1, 2}, target);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[5], 60);
    frame.GetMask().SetBitAt(1, 0, 1);
    frame.SetTransparencyFlag(1);
    frame.Draw(BxRect{0, 0, 1, 2}, target);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[3], 1);
    EXPECT_EQ(out[5], 3);
}

// --- animations ---

std::unique_ptr<BxGIFFrame> FrameOfSize(std::uint32_t width, std::uint32_t height) {
    return std::make_unique<BxGIFFrame>(width, height);
}

TEST(AnimationTest, ReplaceFrameHandsTheOldFrameBack) {
    auto animation = std::make_unique<BxAnimation>();
    animation->AppendFrame(FrameOfSize(1, 1), false);
    BxImage* first = animation->GetFrame(0);
    std::unique_ptr<BxImage> old = animation->ReplaceFrame(0, FrameOfSize(2, 2));
    EXPECT_EQ(old.get(), first);
    EXPECT_EQ(animation->GetFrame(0)->GetWidth(), 2u);
    animation.reset();
    EXPECT_EQ(old->GetWidth(), 1u);  // still alive: the caller owns it
}

TEST(AnimationTest, MarkedRunEnd) {
    BxAnimation animation;
    animation.AppendFrame(FrameOfSize(1, 1), false);
    animation.AppendFrame(FrameOfSize(1, 1), false);
    EXPECT_EQ(animation.GetMarkedRunEnd(), 2u);
    animation.InsertFrame(1, FrameOfSize(1, 1), true);
    EXPECT_EQ(animation.GetMarkedRunEnd(), 2u);
}

TEST(AnimationTest, LargestFrameSizeTakesEachMaximumSeparately) {
    BxAnimation animation;
    std::uint32_t width = 7;
    std::uint32_t height = 7;
    animation.GetLargestFrameSize(&width, &height);
    EXPECT_EQ(width, 0u);
    EXPECT_EQ(height, 0u);
    animation.AppendFrame(FrameOfSize(10, 40), false);
    animation.AppendFrame(FrameOfSize(30, 20), false);
    animation.GetLargestFrameSize(&width, &height);
    EXPECT_EQ(width, 30u);
    EXPECT_EQ(height, 40u);
}

TEST(AnimationTest, DetachAndRemoveFrames) {
    BxAnimation animation;
    animation.AppendFrame(FrameOfSize(1, 1), false);
    animation.AppendFrame(FrameOfSize(2, 1), false);
    std::unique_ptr<BxImage> detached = animation.DetachFrame(0);
    EXPECT_EQ(detached->GetWidth(), 1u);
    EXPECT_EQ(animation.GetFrameCount(), 1u);
    animation.RemoveFrame(0);
    EXPECT_EQ(animation.GetFrameCount(), 0u);
    EXPECT_EQ(ErrorOf([&] { animation.GetFrame(0); }), kBxErrMissing);
    EXPECT_EQ(ErrorOf([&] { animation.InsertFrame(0, nullptr, false); }), kBxErrMissing);
}

TEST(AnimationTest, GlobalInfoOwnership) {
    BxAnimation animation;
    EXPECT_EQ(animation.GetGlobalInfo(), nullptr);
    animation.SetGlobalInfo(std::make_unique<BxGIFGlobalInfo>());
    auto old = animation.ExchangeGlobalInfo(std::make_unique<BxGIFGlobalInfo>());
    EXPECT_NE(old, nullptr);
    EXPECT_NE(animation.TakeGlobalInfo(), nullptr);
    EXPECT_EQ(animation.GetGlobalInfo(), nullptr);
}

TEST(AnimationTest, ReadsAndWritesWholeFiles) {
    const std::string source =
        (quillon::test::CorpusDir() / "gif" / "gifsuite_animated_transparent_loop.gif").string();
    BxGIFFile in;
    in.SetPath(source.c_str());
    in.Open(BxFile::kReadable);
    BxAnimation animation;
    animation.ReadFromFile(in);
    ASSERT_GT(animation.GetFrameCount(), 1u);
    EXPECT_EQ(animation.GetWidth(), in.GetScreenWidth());
    ASSERT_NE(animation.GetGlobalInfo(), nullptr);
    // Frames as the optimizer holds them write the same way as plain images.
    animation.AppendFrame(
        std::make_unique<BxGIFFrame>(dynamic_cast<const BxIndexedImage&>(*animation.GetFrame(0))),
        false);
    const int descriptor = MemoryDescriptor({});
    BxGIFFile out;
    out.Open(BxFile::kWritable, false, descriptor);
    animation.WriteToFile(out);
    out.Close();
    const Bytes written = DescriptorBytes(descriptor);
    ::close(descriptor);
    ReadResult back = ReadGif(written);
    ASSERT_EQ(back.frames.size(), animation.GetFrameCount());
    for (std::size_t i = 0; i + 1 < back.frames.size(); ++i) {
        const auto& image = dynamic_cast<const BxIndexedImage&>(*animation.GetFrame(i));
        EXPECT_EQ(InfoOf(*back.frames[i]).left, InfoOf(image).left) << i;
        EXPECT_EQ(InfoOf(*back.frames[i]).top, InfoOf(image).top) << i;
        EXPECT_EQ(InfoOf(*back.frames[i]).delay, InfoOf(image).delay) << i;
    }
}

}  // namespace
}  // namespace quillon::test::bx
