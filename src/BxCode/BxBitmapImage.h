// One bit per pixel, leftmost pixel in the most significant bit. A pixel's logical value is its
// stored bit exclusive-or the polarity; as a mask, logical 1 is opaque and logical 0 transparent.
#pragma once

#include <cstdint>
#include <memory>

#include "BxCode/BxRealImage.h"

class BxBitmapImage : public BxRealImage, public BxOpacityMask {
  public:
    // Cleared to the fill value (0 by default) with polarity 1.
    BxBitmapImage(std::uint32_t width = 0, std::uint32_t height = 0,
                  std::unique_ptr<BxBaseBuffer> buffer = nullptr);

    std::unique_ptr<BxImage> Clone() const override;
    // Logical 1 draws white, logical 0 black.
    void Draw(const BxRect& rect, const BxDrawTarget& target) const override;
    void Paste(std::int64_t x, std::int64_t y, const BxImage& source) override;
    using BxImage::Rotate;
    // Nearest source pixel; outside the source, logical 1 for a fill colour other than black.
    std::unique_ptr<BxImage> Rotate(double angle, BxColor fill) const override;
    void FlipHorizontal() override;
    void FlipVertical() override;
    // Nearest source pixel.
    std::unique_ptr<BxImage> Scale(std::uint32_t width, std::uint32_t height) const override;
    BxColor FillColor() const override;

    std::unique_ptr<BxRealImage> MakeEmpty(const BxRect& rect) const override;
    // Same class and the same polarity, else 21.
    void CheckCompatible(const BxRealImage& source) const override;
    // Copies the strip into the destination only where this bitmap is opaque.
    void AcceptStrip1(const BxRect& rect, const std::uint8_t* strip,
                      const BxDrawTarget& target) override;
    // Every byte 0xFF when fill value and polarity differ, 0x00 when they agree.
    void Clear() override;

    std::int32_t FillValue() const { return fillValue_; }
    void SetFillValue(std::int32_t value) { fillValue_ = value; }
    std::uint8_t Polarity() const { return polarity_; }
    void SetPolarity(std::uint8_t polarity) { polarity_ = polarity ? 1 : 0; }

    // Stored bits, bounds-checked (21 outside the image).
    std::uint8_t BitAt(std::uint32_t x, std::uint32_t y) const;
    void SetBitAt(std::uint32_t x, std::uint32_t y, std::uint8_t bit);
    std::uint32_t MaskWidth() const final { return GetWidth(); }
    std::uint32_t MaskHeight() const final { return GetHeight(); }
    // The stored bit differs from the polarity.
    bool IsOpaque(std::uint32_t x, std::uint32_t y) const final { return BitAt(x, y) != polarity_; }

  private:
    std::int32_t fillValue_ = 0;
    std::uint8_t polarity_ = 1;
};
