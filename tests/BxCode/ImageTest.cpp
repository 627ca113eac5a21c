// The image classes: indexed, true-colour and bitmap images, their pixel operations, transforms
// and band-wise drawing.
#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <vector>

#include "BxCode/BxBitmapImage.h"
#include "BxCode/BxGIFFrameInfo.h"
#include "BxCode/BxIndexedImage.h"
#include "BxCode/BxRGBImage.h"
#include "BxTestSupport.h"

namespace quillon::test::bx {
namespace {

BxColorTable Palette(const std::vector<std::uint8_t>& rgb) {
    BxColorTable table(rgb.size() / 3);
    std::copy(rgb.begin(), rgb.end(), table.Entries());
    return table;
}

// An indexed image from rows of pixel values.
std::unique_ptr<BxIndexedImage> Indexed(const std::vector<Bytes>& rows,
                                        const BxColorTable& palette) {
    const auto height = static_cast<std::uint32_t>(rows.size());
    const auto width = static_cast<std::uint32_t>(rows.empty() ? 0 : rows[0].size());
    auto image = std::make_unique<BxIndexedImage>(width, height, &palette);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image->SetPixelAt(x, y, rows[y][x]);
        }
    }
    return image;
}

std::vector<Bytes> Rows(const BxIndexedImage& image) {
    std::vector<Bytes> rows(image.GetHeight());
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
            rows[y].push_back(image.PixelAt(x, y));
        }
    }
    return rows;
}

const BxColorTable kFour = Palette({0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255});

// ---- construction and storage -----------------------------------------------------------------

TEST(IndexedImageEdgeCases, NewImageWithoutPaletteHasOneBlackEntry) {
    BxIndexedImage image(3, 2);
    EXPECT_EQ(image.Palette().Count(), 1u);
    EXPECT_EQ(image.Palette().ColorAt(0), 0u);
    EXPECT_EQ(Rows(image), (std::vector<Bytes>{{0, 0, 0}, {0, 0, 0}}));
    EXPECT_EQ(image.Kind(), kBxKindIndexed);
    BxColorTable empty;
    EXPECT_EQ(BxIndexedImage(1, 1, &empty).Palette().Count(), 1u);
}

TEST(ImageExamples, RowLengths) {
    EXPECT_EQ(BxIndexedImage(5, 1).RowBytes(), 5u);
    EXPECT_EQ(BxRGBImage(5, 1).RowBytes(), 15u);
    EXPECT_EQ(BxBitmapImage(10, 1).RowBytes(), 2u);
    EXPECT_EQ(BxBitmapImage(8, 1).RowBytes(), 1u);
    EXPECT_EQ(BxBitmapImage(9, 1).RowBytes(), 2u);
}

TEST(ImageExamples, KindsAndStripDefaults) {
    BxRGBImage rgb(1, 1);
    BxBitmapImage bitmap(1, 1);
    EXPECT_EQ(rgb.Kind(), kBxKindRGB);
    EXPECT_EQ(bitmap.Kind(), kBxKindBitmap);
    EXPECT_EQ(rgb.StripWidth(), 100);
    EXPECT_EQ(rgb.StripHeight(), 100);
}

TEST(ImageEdgeCases, LockingTwiceAndUnlockingOnceLeavesItLocked) {
    BxIndexedImage image(2, 2);
    std::uint8_t* first = image.LockPixels();
    EXPECT_EQ(image.LockPixels(), first);
    image.UnlockPixels();
    EXPECT_EQ(image.LockCount(), 1);
    image.UnlockPixels();
    EXPECT_EQ(image.LockCount(), 0);
}

TEST(ImageEdgeCases, OversizedPixelBuffersRaiseMemoryBeforeAllocating) {
    EXPECT_BX_ERROR(BxIndexedImage(65535, 65535), kBxErrNoMemory);
    EXPECT_BX_ERROR(BxRGBImage(20000, 20000), kBxErrNoMemory);
    BxIndexedImage image(2, 2);
    EXPECT_BX_ERROR(image.SetSize(70000, 70000), kBxErrNoMemory);
    EXPECT_EQ(image.GetWidth(), 2u);
    EXPECT_EQ(image.StoredRowBytes(), 2u);
    // Exactly the limit is allowed in principle: 16384 x 16384 is 256 MiB; not allocated here.
}

TEST(ImageEdgeCases, ZeroSizedImagesHoldNoPixels) {
    BxIndexedImage image(0, 7);
    EXPECT_EQ(image.GetWidth(), 0u);
    image.Clear();
    EXPECT_EQ(Rows(image).size(), 7u);
    EXPECT_BX_ERROR(image.PixelAt(0, 0), kBxErrBadArgument);
}

TEST(ImageExamples, SetSizeMakesANewBuffer) {
    BxIndexedImage image(2, 2);
    image.SetSize(4, 3);
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(image.GetHeight(), 3u);
    EXPECT_EQ(image.StoredRowBytes(), 4u);
    EXPECT_GE(image.Buffer().Size(), 12u);
    image.SetPixelAt(3, 2, 9);
    EXPECT_EQ(image.PixelAt(3, 2), 9);
}

// ---- format records ---------------------------------------------------------------------------

TEST(ImageEdgeCases, CopyFormatInfoFromAnImageWithoutOneLeavesNone) {
    BxIndexedImage image(1, 1);
    image.SetFormatInfo(std::make_unique<BxGIFFrameInfo>());
    BxIndexedImage bare(1, 1);
    image.CopyFormatInfo(bare);
    EXPECT_EQ(image.GetFormatInfo(), nullptr);
}

TEST(ImageExamples, FormatRecordsAreClonedDetachedAndReplaced) {
    BxIndexedImage image(1, 1);
    auto info = std::make_unique<BxGIFFrameInfo>();
    info->left = 7;
    image.SetFormatInfo(std::move(info));
    BxIndexedImage other(1, 1);
    other.CopyFormatInfo(image);
    ASSERT_NE(other.GetFormatInfo(), nullptr);
    EXPECT_NE(other.GetFormatInfo(), image.GetFormatInfo());
    EXPECT_EQ(InfoOf(other).left, 7);
    auto replacement = std::make_unique<BxGIFFrameInfo>();
    replacement->left = 9;
    const auto old = other.ReplaceFormatInfo(std::move(replacement));
    EXPECT_EQ(static_cast<const BxGIFFrameInfo&>(*old).left, 7);
    EXPECT_EQ(InfoOf(other).left, 9);
    const auto detached = other.DetachFormatInfo();
    EXPECT_EQ(other.GetFormatInfo(), nullptr);
    EXPECT_EQ(detached->FormatName(), "GIF");
}

TEST(ImageExamples, ResetForgetsTheRecordWithoutDestroyingIt) {
    BxIndexedImage image(3, 3);
    auto owned = std::make_unique<BxGIFFrameInfo>();
    BxGIFFrameInfo* record = owned.get();
    image.SetFormatInfo(std::move(owned));
    image.SetStripSize(5, 5);
    image.Reset();
    EXPECT_EQ(image.GetWidth(), 0u);
    EXPECT_EQ(image.GetFormatInfo(), nullptr);
    EXPECT_EQ(image.StripWidth(), BxImage::kDefaultStrip);
    delete record;  // the caller held it
}

// ---- indexed pixel operations -----------------------------------------------------------------

TEST(IndexedImageExamples, CropKeepsPaletteAndPixels) {
    auto image = Indexed({{0, 1, 2, 3, 0, 1},
                          {1, 2, 3, 0, 1, 2},
                          {2, 3, 0, 1, 2, 3},
                          {3, 0, 1, 2, 3, 0},
                          {0, 0, 0, 0, 0, 0}},
                         kFour);
    image->SetFormatInfo(std::make_unique<BxGIFFrameInfo>());
    const auto cropped = image->Crop(BxRect{2, 1, 4, 5});
    const auto& indexed = dynamic_cast<const BxIndexedImage&>(*cropped);
    EXPECT_EQ(indexed.GetWidth(), 3u);
    EXPECT_EQ(indexed.GetHeight(), 3u);
    EXPECT_EQ(indexed.Palette(), kFour);
    EXPECT_EQ(Rows(indexed), (std::vector<Bytes>{{3, 0, 1}, {0, 1, 2}, {1, 2, 3}}));
    EXPECT_NE(indexed.GetFormatInfo(), nullptr);
}

TEST(IndexedImageEdgeCases, CropPartlyOutsideKeepsTheFillIndex) {
    auto image = Indexed({{1, 2}, {3, 1}}, kFour);
    image->SetFillIndex(3);
    const auto cropped = image->Crop(BxRect{1, 1, 3, 3});
    EXPECT_EQ(Rows(dynamic_cast<const BxIndexedImage&>(*cropped)),
              (std::vector<Bytes>{{1, 3}, {3, 3}}));
    EXPECT_BX_ERROR(image->Crop(BxRect{2, 0, 1, 1}), kBxErrBadArgument);
}

TEST(IndexedImageExamples, ReplaceIndexTurnsOneValueIntoAnother) {
    auto image = Indexed({{3, 5, 3, 0}, {1, 3, 3, 2}}, kFour);
    image->ReplaceIndex(3, 5);
    EXPECT_EQ(Rows(*image), (std::vector<Bytes>{{5, 5, 5, 0}, {1, 5, 5, 2}}));
}

TEST(IndexedImageExamples, RemapIndicesAndCounts) {
    auto image = Indexed({{0, 1, 1}, {2, 2, 2}}, kFour);
    BxIndexCounts counts{};
    counts[200] = 99;
    image->CountIndices(&counts);
    EXPECT_EQ(counts[0], 1u);
    EXPECT_EQ(counts[1], 2u);
    EXPECT_EQ(counts[2], 3u);
    EXPECT_EQ(counts[200], 0u);
    EXPECT_EQ(BxIndexedImage::CountUsed(&counts, 4), 3u);
    EXPECT_EQ(BxIndexedImage::CountUsed(&counts, 2), 2u);
    bool found = false;
    EXPECT_EQ(BxIndexedImage::FirstFree(&counts, 4, &found), 3u);
    EXPECT_TRUE(found);
    EXPECT_EQ(BxIndexedImage::FirstFree(&counts, 3, &found), 3u);
    EXPECT_FALSE(found);
    BxIndexMap map{};
    map[0] = 7;
    map[1] = 8;
    map[2] = 9;
    image->RemapIndices(&map);
    EXPECT_EQ(Rows(*image), (std::vector<Bytes>{{7, 8, 8}, {9, 9, 9}}));
}

TEST(IndexedImageEdgeCases, CountIndicesUnderAMaskSkipsTransparentPixels) {
    auto image = Indexed({{1, 1, 2}, {2, 2, 2}}, kFour);
    BxBitmapImage mask(3, 2);
    mask.SetFillValue(1);
    mask.Clear();            // all opaque
    mask.SetBitAt(0, 0, 1);  // transparent: stored bit equals the polarity
    mask.SetBitAt(1, 1, 1);
    mask.SetBitAt(2, 1, 1);
    BxIndexCounts counts{};
    image->CountIndices(&counts, &mask);
    EXPECT_EQ(counts[1], 1u);
    EXPECT_EQ(counts[2], 2u);
    mask.SetPolarity(0);  // now every other pixel is the transparent one
    image->CountIndices(&counts, &mask);
    EXPECT_EQ(counts[1], 1u);
    EXPECT_EQ(counts[2], 2u);
}

TEST(IndexedImageEdgeCases, AbsentArgumentsRaiseMissing) {
    BxIndexedImage image(2, 2);
    BxIndexCounts counts{};
    EXPECT_BX_ERROR(image.CountIndices(nullptr), kBxErrMissing);
    EXPECT_BX_ERROR(image.CountIndices(&counts, nullptr), kBxErrMissing);
    EXPECT_BX_ERROR(image.RemapIndices(nullptr), kBxErrMissing);
    EXPECT_BX_ERROR(BxIndexedImage::CountUsed(nullptr, 1), kBxErrMissing);
    BxBitmapImage small(1, 1);
    EXPECT_BX_ERROR(image.CountIndices(&counts, &small), kBxErrBadArgument);
}

TEST(IndexedImageExamples, PasteClipsAndNeedsTheSamePalette) {
    auto image = Indexed({{0, 0, 0}, {0, 0, 0}}, kFour);
    const auto patch = Indexed({{1, 2}, {3, 1}}, kFour);
    image->Paste(2, -1, *patch);
    EXPECT_EQ(Rows(*image), (std::vector<Bytes>{{0, 0, 3}, {0, 0, 0}}));
    image->Paste(-1, 0, *patch);
    EXPECT_EQ(Rows(*image), (std::vector<Bytes>{{2, 0, 3}, {1, 0, 0}}));
    image->Paste(10, 10, *patch);  // entirely outside: nothing
    const BxColorTable other = Palette({1, 1, 1});
    const auto stranger = Indexed({{0}}, other);
    EXPECT_BX_ERROR(image->Paste(0, 0, *stranger), kBxErrBadArgument);
    BxRGBImage rgb(1, 1);
    EXPECT_BX_ERROR(image->Paste(0, 0, rgb), kBxErrBadArgument);
}

TEST(IndexedImageExamples, CloneAndCopyFromCarryEverything) {
    auto image = Indexed({{1, 2}, {3, 0}}, kFour);
    image->SetFillIndex(2);
    image->SetFormatInfo(std::make_unique<BxGIFFrameInfo>());
    const auto clone = image->Clone();
    const auto& copy = dynamic_cast<const BxIndexedImage&>(*clone);
    EXPECT_EQ(Rows(copy), Rows(*image));
    EXPECT_EQ(copy.Palette(), kFour);
    EXPECT_EQ(copy.FillIndex(), 2);
    EXPECT_NE(copy.GetFormatInfo(), nullptr);
    BxIndexedImage target(9, 9);
    target.CopyFrom(*image);
    EXPECT_EQ(Rows(target), Rows(*image));
    EXPECT_EQ(target.FillIndex(), 2);
    EXPECT_NE(target.GetFormatInfo(), nullptr);
}

TEST(IndexedImageExamples, FlipsReverseRowsAndColumns) {
    auto image = Indexed({{1, 2, 3}, {0, 1, 2}}, kFour);
    image->FlipHorizontal();
    EXPECT_EQ(Rows(*image), (std::vector<Bytes>{{3, 2, 1}, {2, 1, 0}}));
    image->FlipVertical();
    EXPECT_EQ(Rows(*image), (std::vector<Bytes>{{2, 1, 0}, {3, 2, 1}}));
}

TEST(IndexedImageExamples, QuarterTurnsStayIndexed) {
    auto image = Indexed({{1, 2, 3}, {0, 1, 2}}, kFour);
    const auto left = image->Rotate(std::numbers::pi / 2);
    EXPECT_EQ(Rows(dynamic_cast<const BxIndexedImage&>(*left)),
              (std::vector<Bytes>{{3, 2}, {2, 1}, {1, 0}}));
    const auto half = image->Rotate(std::numbers::pi);
    EXPECT_EQ(Rows(dynamic_cast<const BxIndexedImage&>(*half)),
              (std::vector<Bytes>{{2, 1, 0}, {3, 2, 1}}));
    const auto right = image->Rotate(-std::numbers::pi / 2);
    EXPECT_EQ(Rows(dynamic_cast<const BxIndexedImage&>(*right)),
              (std::vector<Bytes>{{0, 1}, {1, 2}, {2, 3}}));
    const auto none = image->Rotate(0.0);
    EXPECT_EQ(Rows(dynamic_cast<const BxIndexedImage&>(*none)), Rows(*image));
}

TEST(IndexedImageExamples, FreeTurnsGiveOddTrueColourImages) {
    auto image = Indexed({{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}}, kFour);
    const auto turned = image->Rotate(std::numbers::pi / 4, BxPackColor(255, 0, 0));
    const auto& rgb = dynamic_cast<const BxRGBImage&>(*turned);
    EXPECT_EQ(rgb.GetWidth() % 2, 1u);
    EXPECT_EQ(rgb.GetHeight() % 2, 1u);
    EXPECT_GE(rgb.GetWidth(), 5u);
    // The centre is white (the image), a corner is the fill colour.
    EXPECT_EQ(rgb.PixelAt(rgb.GetWidth() / 2, rgb.GetHeight() / 2), BxPackColor(255, 255, 255));
    EXPECT_EQ(rgb.PixelAt(0, 0), BxPackColor(255, 0, 0));
    image->LockPixels();
    EXPECT_BX_ERROR(image->Rotate(0.5), kBxErrBadArgument);
    image->UnlockPixels();
}

struct ScaleCase {
    std::string name;
    std::vector<Bytes> rows;
    std::uint32_t width;
    std::uint32_t height;
    std::vector<Bytes> expected;
};

void PrintTo(const ScaleCase& c, std::ostream* out) {
    *out << c.name;
}

class IndexedScale : public testing::TestWithParam<ScaleCase> {};

// Palette: black, white, red, blue. Each averaged channel is raised by 16 before the cube lookup.
TEST_P(IndexedScale, AveragesThroughTheColourCube) {
    const ScaleCase& c = GetParam();
    const auto image = Indexed(c.rows, kFour);
    const auto scaled = image->Scale(c.width, c.height);
    const auto& indexed = dynamic_cast<const BxIndexedImage&>(*scaled);
    EXPECT_EQ(indexed.Palette(), kFour);
    EXPECT_EQ(Rows(indexed), c.expected);
}

const ScaleCase kScaleCases[] = {
    {"WhiteStaysWhite", {{1, 1}, {1, 1}}, 1, 1, {{1}}},
    {"BlackStaysBlack", {{0, 0}, {0, 0}}, 1, 1, {{0}}},
    // Mean 127 per channel, raised to 143: cell 17 is (140, 140, 137), nearer white than black.
    {"BlackAndWhiteMixToWhite", {{0, 1}}, 1, 1, {{1}}},
    // A quarter white: mean 63, raised to 79, cell 9 is (74, 74, 73): nearer black.
    {"QuarterWhiteIsBlack", {{0, 1}, {0, 0}}, 1, 1, {{0}}},
    {"UpscaleRepeats", {{2, 3}}, 4, 2, {{2, 2, 3, 3}, {2, 2, 3, 3}}},
    {"ToNothing", {{2, 3}}, 0, 0, {}},
};

INSTANTIATE_TEST_SUITE_P(Examples, IndexedScale, testing::ValuesIn(kScaleCases),
                         CaseName<ScaleCase>);

// ---- drawing ----------------------------------------------------------------------------------

TEST(IndexedImageExamples, DrawLooksColoursUpInItsPalette) {
    auto image = Indexed({{0, 1}, {2, 7}}, kFour);  // 7 is past the palette: black
    std::vector<std::uint8_t> out(2 * 2 * 4, 0xAA);
    const BxDrawTarget target{out.data(), 8, 2, 1, 0, 4};  // BGRx
    image->Draw(BxRect{0, 0, 2, 2}, target);
    EXPECT_EQ(out, (Bytes{0, 0, 0, 0xAA, 255, 255, 255, 0xAA, 0, 0, 255, 0xAA, 0, 0, 0, 0xAA}));
    EXPECT_BX_ERROR(image->Draw(BxRect{0, 0, 3, 2}, target), kBxErrBadArgument);
}

TEST(BitmapImageExamples, DrawThroughAMaskLetsOnlyOpaquePixelsThrough) {
    auto image = Indexed({{1, 2, 3}, {3, 2, 1}}, kFour);
    BxBitmapImage mask(3, 2);
    mask.SetFillValue(1);
    mask.Clear();
    mask.SetBitAt(1, 0, 1);
    mask.SetBitAt(0, 1, 1);
    for (std::int32_t strip : {1, 2, 100, -1}) {
        image->SetStripSize(strip, strip);
        Bytes out(3 * 2 * 3, 9);
        image->DrawThrough(mask, BxRect{0, 0, 2, 3}, BxDrawTarget{out.data(), 9});
        EXPECT_EQ(out, (Bytes{255, 255, 255, 9, 9, 9, 0, 0, 255,  //
                              9, 9, 9, 255, 0, 0, 255, 255, 255}))
            << "strip " << strip;
    }
    BxBitmapImage small(2, 2);
    Bytes out(18);
    EXPECT_BX_ERROR(image->DrawThrough(small, BxRect{0, 0, 2, 3}, BxDrawTarget{out.data(), 9}),
                    kBxErrBadArgument);
}

TEST(BitmapImageExamples, DrawThroughMaskedKeepsOnlyWhatTheMaskAllows) {
    auto image = Indexed({{1, 2}}, kFour);
    BxBitmapImage all(2, 1);
    all.SetFillValue(1);
    all.Clear();  // every pixel passes `all`
    BxBitmapImage mask(2, 1);
    mask.SetFillValue(1);
    mask.Clear();
    mask.SetBitAt(0, 0, 1);  // the mask hides the first pixel
    Bytes out(6, 9);
    image->DrawThroughMasked(all, &mask, BxRect{0, 0, 1, 2}, BxDrawTarget{out.data(), 6});
    EXPECT_EQ(out, (Bytes{9, 9, 9, 255, 0, 0}));
    Bytes plain(6, 9);
    image->DrawThroughMasked(all, BxRect{0, 0, 1, 2}, BxDrawTarget{plain.data(), 6});
    EXPECT_EQ(plain, (Bytes{255, 255, 255, 255, 0, 0}));
}

TEST(ImageEdgeCases, StripsThatTheClassCannotTakeRaiseNotImplemented) {
    BxIndexedImage image(1, 1);
    BxIndexedImage other(1, 1);
    Bytes out(3);
    EXPECT_BX_ERROR(image.DrawThrough(other, BxRect{0, 0, 1, 1}, BxDrawTarget{out.data(), 3}),
                    kBxErrNotImplemented);
}

class FourBitImage : public BxIndexedImage {
  public:
    FourBitImage() : BxIndexedImage(1, 1) { bitsPerSample_ = 4; }
};

TEST(ImageEdgeCases, StripsOfAnUnknownDepthRaiseBitsPerSample) {
    FourBitImage image;
    const std::uint8_t strip[3] = {};
    Bytes out(3);
    EXPECT_BX_ERROR(image.AcceptStrip(BxRect{0, 0, 1, 1}, strip, BxDrawTarget{out.data(), 3}),
                    kBxErrBitsPerSample);
}

// ---- bitmaps ----------------------------------------------------------------------------------

TEST(BitmapImageEdgeCases, FrameMaskIsAllOpaque) {
    BxBitmapImage mask(0, 0);
    mask.SetPolarity(1);
    mask.SetFillValue(1);
    mask.SetSize(10, 3);
    mask.Clear();
    for (std::uint32_t y = 0; y < 3; ++y) {
        for (std::uint32_t x = 0; x < 10; ++x) {
            EXPECT_EQ(mask.BitAt(x, y), 0);
            EXPECT_TRUE(mask.IsOpaque(x, y));
        }
    }
}

TEST(BitmapImageExamples, ClearWritesOnesWhenFillAndPolarityDiffer) {
    BxBitmapImage bitmap(9, 1);  // fill 0, polarity 1
    EXPECT_EQ(bitmap.BitAt(8, 0), 1);
    EXPECT_FALSE(bitmap.IsOpaque(8, 0));
    bitmap.SetPolarity(0);
    bitmap.Clear();
    EXPECT_EQ(bitmap.BitAt(0, 0), 0);
    EXPECT_FALSE(bitmap.IsOpaque(0, 0));
}

TEST(BitmapImageExamples, BitsAreMostSignificantFirst) {
    BxBitmapImage bitmap(10, 1);
    bitmap.SetPolarity(0);
    bitmap.Clear();
    bitmap.SetBitAt(0, 0, 1);
    bitmap.SetBitAt(9, 0, 1);
    EXPECT_EQ(bitmap.Buffer().Address()[0], 0x80);
    EXPECT_EQ(bitmap.Buffer().Address()[1], 0x40);
    Bytes out(30);
    bitmap.Draw(BxRect{0, 0, 1, 10}, BxDrawTarget{out.data(), 30});
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[27], 255);
}

TEST(BitmapImageExamples, TransformsMoveBits) {
    BxBitmapImage bitmap(3, 2);
    bitmap.SetPolarity(0);
    bitmap.Clear();
    bitmap.SetBitAt(0, 0, 1);
    bitmap.FlipHorizontal();
    EXPECT_EQ(bitmap.BitAt(2, 0), 1);
    bitmap.FlipVertical();
    EXPECT_EQ(bitmap.BitAt(2, 1), 1);
    const auto turned = bitmap.Rotate(std::numbers::pi / 2);
    const auto& quarter = dynamic_cast<const BxBitmapImage&>(*turned);
    EXPECT_EQ(quarter.GetWidth(), 2u);
    EXPECT_EQ(quarter.GetHeight(), 3u);
    EXPECT_EQ(quarter.BitAt(1, 0), 1);
    const auto scaled = bitmap.Scale(6, 4);
    const auto& doubled = dynamic_cast<const BxBitmapImage&>(*scaled);
    EXPECT_EQ(doubled.BitAt(5, 3), 1);
    EXPECT_EQ(doubled.BitAt(4, 2), 1);
    EXPECT_EQ(doubled.BitAt(3, 3), 0);
    const auto free = bitmap.Rotate(0.3);
    EXPECT_EQ(free->GetWidth() % 2, 1u);
    BxBitmapImage other(1, 1);
    EXPECT_BX_ERROR(bitmap.Paste(0, 0, other), kBxErrBadArgument);  // polarity 1 against 0
}

// Pasting copies whole bytes where it can: every bit offset of source and target, against a bit
// by bit model, with the bits around the pasted ones left alone.
TEST(BitmapImageExamples, PasteAtEveryBitOffsetCopiesExactlyTheOverlap) {
    BxBitmapImage source(37, 2);
    std::uint32_t seed = 99;
    for (std::uint32_t y = 0; y < 2; ++y) {
        for (std::uint32_t x = 0; x < 37; ++x) {
            seed = seed * 1103515245 + 12345;
            source.SetBitAt(x, y, static_cast<std::uint8_t>((seed >> 16) & 1));
        }
    }
    for (std::int64_t at = -11; at <= 12; ++at) {
        for (const std::uint8_t ground : {std::uint8_t{0}, std::uint8_t{1}}) {
            SCOPED_TRACE(std::to_string(at) + " on " + std::to_string(ground));
            BxBitmapImage target(50, 2);
            for (std::uint32_t y = 0; y < 2; ++y) {
                for (std::uint32_t x = 0; x < 50; ++x) {
                    target.SetBitAt(x, y, ground);
                }
            }
            target.Paste(at, 0, source);
            for (std::uint32_t y = 0; y < 2; ++y) {
                for (std::uint32_t x = 0; x < 50; ++x) {
                    const std::int64_t from = std::int64_t{x} - at;
                    const std::uint8_t expected =
                        from >= 0 && from < 37 ? source.BitAt(static_cast<std::uint32_t>(from), y)
                                               : ground;
                    ASSERT_EQ(target.BitAt(x, y), expected) << x << "," << y;
                }
            }
        }
    }
}

// ---- true colour ------------------------------------------------------------------------------

TEST(RGBImageExamples, ClearScaleAndTransforms) {
    BxRGBImage image(2, 2);
    EXPECT_EQ(image.PixelAt(1, 1), 0u);
    image.SetFillColor(BxPackColor(1, 2, 3));
    image.Clear();
    EXPECT_EQ(image.PixelAt(1, 0), BxPackColor(1, 2, 3));
    image.SetPixelAt(0, 0, BxPackColor(101, 2, 3));
    const auto scaled = image.Scale(1, 1);
    EXPECT_EQ(dynamic_cast<const BxRGBImage&>(*scaled).PixelAt(0, 0), BxPackColor(26, 2, 3));
    image.FlipHorizontal();
    EXPECT_EQ(image.PixelAt(1, 0), BxPackColor(101, 2, 3));
    image.FlipVertical();
    EXPECT_EQ(image.PixelAt(1, 1), BxPackColor(101, 2, 3));
    const auto crop = image.Crop(BxRect{1, 1, 2, 2});
    EXPECT_EQ(dynamic_cast<const BxRGBImage&>(*crop).PixelAt(0, 0), BxPackColor(101, 2, 3));
    const auto turned = image.Rotate(std::numbers::pi);
    EXPECT_EQ(dynamic_cast<const BxRGBImage&>(*turned).PixelAt(0, 0), BxPackColor(101, 2, 3));
    const auto free = image.Rotate(1.0, BxPackColor(9, 9, 9));
    EXPECT_EQ(free->GetWidth() % 2, 1u);
}

}  // namespace
}  // namespace quillon::test::bx
