// One frame of a GIF as the optimizer works on it: an indexed image (which carries the frame's
// BxGIFFrameInfo as its format record), a transparency mask of the same size and a background
// colour. The record's transparency flag says whether the frame declares a transparent colour
// when written; the mask says which pixels are transparent while the frame is edited.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "BxCode/BxBitmapImage.h"
#include "BxCode/BxGIFFrameInfo.h"
#include "BxCode/BxImage.h"
#include "BxCode/BxIndexedImage.h"

class BxGIFFrame : public BxImage {
  public:
    using BackgroundColour = std::array<std::uint8_t, 3>;

    // A black one-colour image of that size with an all-opaque mask.
    BxGIFFrame(std::uint32_t width, std::uint32_t height);
    // A deep copy of the image; the mask follows the record's transparency (SyncMask).
    explicit BxGIFFrame(const BxIndexedImage& image);
    // The same, taking the image itself (a frame just read needs no copy); 27 for none.
    explicit BxGIFFrame(std::unique_ptr<BxIndexedImage> image);
    // Deep copies of both; the transparency flag follows the mask.
    BxGIFFrame(const BxIndexedImage& image, const BxBitmapImage& mask);
    BxGIFFrame(const BxGIFFrame& other);
    BxGIFFrame& operator=(const BxGIFFrame&) = delete;
    ~BxGIFFrame() override;

    std::unique_ptr<BxImage> Clone() const override;
    void SetSize(std::uint32_t width, std::uint32_t height) override;
    void SetStripSize(std::int32_t width, std::int32_t height) override;
    BxImgFmtFrameInfo* GetFormatInfo() const override;
    // An absent record raises 27.
    void SetFormatInfo(std::unique_ptr<BxImgFmtFrameInfo> info) override;
    std::unique_ptr<BxImgFmtFrameInfo> DetachFormatInfo() override;
    // With the transparency flag set, fills with the background colour and draws only the
    // opaque pixels.
    void Draw(const BxRect& rect, const BxDrawTarget& target) const override;
    std::unique_ptr<BxImage> Crop(const BxRect& rect) const override;
    // The source must be a frame.
    void Paste(std::int64_t x, std::int64_t y, const BxImage& source) override;
    using BxImage::Rotate;
    std::unique_ptr<BxImage> Rotate(double angle, BxColor fill) const override;
    void FlipHorizontal() override;
    void FlipVertical() override;
    std::unique_ptr<BxImage> Scale(std::uint32_t width, std::uint32_t height) const override;
    void DrawThrough(BxImage& other, const BxRect& rect, const BxDrawTarget& target) const override;
    void DrawThroughMasked(BxImage& other, const BxOpacityMask* mask, const BxRect& rect,
                           const BxDrawTarget& target) const override;
    // Draws the image through `other` where the frame's own mask is opaque.
    void DrawThroughMasked(BxImage& other, const BxRect& rect,
                           const BxDrawTarget& target) const override;
    void AcceptStrip(const BxRect& rect, const std::uint8_t* strip,
                     const BxDrawTarget& target) override;
    // Forgets image and mask and blackens the background colour.
    void Reset() override;
    BxColor FillColor() const override;

    BxIndexedImage& GetImage() const;
    BxBitmapImage& GetMask() const;
    // The new image takes the old one's place; the old one goes back to the caller.
    std::unique_ptr<BxIndexedImage> ReplaceImage(std::unique_ptr<BxIndexedImage> image);
    BackgroundColour& GetBackgroundColour() { return background_; }
    const BackgroundColour& GetBackgroundColour() const { return background_; }
    // The attached record as GIF's (27 without one).
    BxGIFFrameInfo& GIFInfo() const;

    std::uint8_t GetTransparencyFlag() const { return GIFInfo().transparent; }
    void SetTransparencyFlag(std::uint8_t flag) { GIFInfo().transparent = flag ? 1 : 0; }
    std::uint8_t GetTransparentIndex() const { return GIFInfo().transparentIndex; }

    bool HasTransparentPixels() const;
    bool IsTransparentAt(std::uint32_t x, std::uint32_t y) const;
    void ClearMask();
    // Pixels of that index become transparent (opaque with invert).
    void MarkIndex(std::uint8_t index, bool invert);
    void MaskFromIndex(std::uint8_t index);
    void SyncMask();
    void PaintTransparent(std::uint8_t index);
    // Picks the index that transparent pixels are written with, and paints them with it.
    void ChooseTransparentIndex(bool force);
    // A new frame cut to the bounding box of the opaque pixels, its record moved to match.
    std::unique_ptr<BxGIFFrame> CropToContent() const;
    // A new frame of the columns left to right - 1 and rows top to bottom - 1 of this one, its
    // record moved to match (an empty or outlying area raises 21).
    std::unique_ptr<BxGIFFrame> CropToArea(std::uint32_t left, std::uint32_t top,
                                           std::uint32_t right, std::uint32_t bottom) const;

  private:
    // A frame of these parts; the background colour is this frame's.
    std::unique_ptr<BxGIFFrame> Assemble(std::unique_ptr<BxIndexedImage> image,
                                         std::unique_ptr<BxBitmapImage> mask) const;
    BxGIFFrame();
    void AttachDefaultRecord();

    std::unique_ptr<BxIndexedImage> image_;
    std::unique_ptr<BxBitmapImage> mask_;
    BackgroundColour background_{0, 0, 0};
};
