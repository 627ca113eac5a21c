// One byte per pixel and a palette: what GIF frames hold.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "BxCode/BxColorTable.h"
#include "BxCode/BxRealImage.h"

class BxBitmapImage;

// One counter per possible pixel value, so that no pixel value can count outside the array.
using BxIndexCounts = std::array<std::uint32_t, 256>;
// A new value for every pixel value.
using BxIndexMap = std::array<std::uint8_t, 256>;

class BxIndexedImage : public BxRealImage {
  public:
    // Without a palette (or with an empty one) the image gets one black colour. The pixels are
    // cleared to the fill index, 0.
    BxIndexedImage(std::uint32_t width = 0, std::uint32_t height = 0,
                   const BxColorTable* palette = nullptr,
                   std::unique_ptr<BxBaseBuffer> buffer = nullptr);

    std::unique_ptr<BxImage> Clone() const override;
    void Draw(const BxRect& rect, const BxDrawTarget& target) const override;
    void Paste(std::int64_t x, std::int64_t y, const BxImage& source) override;
    using BxImage::Rotate;
    // Right angles give an indexed image; other angles a true-colour image (21 while the pixels
    // are locked).
    std::unique_ptr<BxImage> Rotate(double angle, BxColor fill) const override;
    void FlipHorizontal() override;
    void FlipVertical() override;
    // Averages the covered source colours and takes each new pixel from an inverse colour cube of
    // the palette; the result keeps the palette.
    std::unique_ptr<BxImage> Scale(std::uint32_t width, std::uint32_t height) const override;
    BxColor FillColor() const override;

    std::unique_ptr<BxRealImage> MakeEmpty(const BxRect& rect) const override;
    // Same class and the same palette, else 21.
    void CheckCompatible(const BxRealImage& source) const override;
    // Writes the fill index into every pixel.
    void Clear() override;

    const BxColorTable& Palette() const { return palette_; }
    BxColorTable& Palette() { return palette_; }
    void SetPalette(const BxColorTable& palette) { palette_ = palette; }
    std::uint8_t FillIndex() const { return fillIndex_; }
    void SetFillIndex(std::uint8_t index) { fillIndex_ = index; }

    // Bounds-checked single pixels (21 outside the image).
    std::uint8_t PixelAt(std::uint32_t x, std::uint32_t y) const;
    void SetPixelAt(std::uint32_t x, std::uint32_t y, std::uint8_t value);

    // Size, fill index, palette, pixels and format record of the other image.
    void CopyFrom(const BxIndexedImage& other);
    // counts[v] = the number of pixels of value v (27 without counts).
    void CountIndices(BxIndexCounts* counts) const;
    // The same over the pixels the mask leaves opaque; the mask must have this image's size (21).
    void CountIndices(BxIndexCounts* counts, const BxBitmapImage* mask) const;
    // How many of the first n counters are not 0.
    static std::uint32_t CountUsed(const BxIndexCounts* counts, std::size_t n);
    // The lowest index below n whose counter is 0 (found = true), else n (found = false).
    static std::size_t FirstFree(const BxIndexCounts* counts, std::size_t n, bool* found);
    // Every pixel value v becomes map[v] (27 without a map).
    void RemapIndices(const BxIndexMap* map);
    void ReplaceIndex(std::uint8_t from, std::uint8_t to);

  private:
    // The palette colour of a pixel value; values past the palette draw black.
    BxColor ColorOf(std::uint8_t value) const;

    BxColorTable palette_;
    std::uint8_t fillIndex_ = 0;
};
