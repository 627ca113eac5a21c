// Three bytes per pixel: red, green, blue.
#pragma once

#include <cstdint>
#include <memory>

#include "BxCode/BxRealImage.h"

class BxRGBImage : public BxRealImage {
  public:
    // Cleared to the fill colour, black.
    BxRGBImage(std::uint32_t width = 0, std::uint32_t height = 0,
               std::unique_ptr<BxBaseBuffer> buffer = nullptr);

    std::unique_ptr<BxImage> Clone() const override;
    void Draw(const BxRect& rect, const BxDrawTarget& target) const override;
    void Paste(std::int64_t x, std::int64_t y, const BxImage& source) override;
    using BxImage::Rotate;
    std::unique_ptr<BxImage> Rotate(double angle, BxColor fill) const override;
    void FlipHorizontal() override;
    void FlipVertical() override;
    // Each new pixel is the area-weighted mean of the source pixels it covers.
    std::unique_ptr<BxImage> Scale(std::uint32_t width, std::uint32_t height) const override;
    BxColor FillColor() const override { return fill_; }

    std::unique_ptr<BxRealImage> MakeEmpty(const BxRect& rect) const override;
    void CheckCompatible(const BxRealImage& source) const override;
    void Clear() override;

    void SetFillColor(BxColor color) { fill_ = color; }
    BxColor PixelAt(std::uint32_t x, std::uint32_t y) const;
    void SetPixelAt(std::uint32_t x, std::uint32_t y, BxColor color);

  private:
    BxColor fill_ = 0;
};
