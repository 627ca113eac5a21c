// The root of the image classes: a size, a strip size for band-wise drawing, and one attached
// format record. Pixel storage comes with BxRealImage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "BxCode/BxColorTable.h"
#include "BxCode/BxErrorCode.h"
#include "BxCode/BxImgFmtFrameInfo.h"
#include "BxCode/BxRect.h"

// Where Draw writes: a caller's true-colour buffer with its own pixel layout.
struct BxDrawTarget {
    std::uint8_t* origin = nullptr;  // where the drawn rectangle's top-left pixel goes
    std::ptrdiff_t rowBytes = 0;     // from one destination row to the next
    std::uint8_t redOffset = 0;
    std::uint8_t greenOffset = 1;
    std::uint8_t blueOffset = 2;
    std::uint8_t pixelStride = 3;

    // The same layout, moved by (x, y) pixels.
    BxDrawTarget At(std::int64_t x, std::int64_t y) const;
    void Put(std::int64_t x, std::int64_t y, std::uint8_t red, std::uint8_t green,
             std::uint8_t blue) const;
};

// Which pixels a masked draw lets through. The mask in use is a bitmap image, a class derived
// from BxImage; the root class knows it only by this much.
class BxOpacityMask {
  public:
    virtual std::uint32_t MaskWidth() const = 0;
    virtual std::uint32_t MaskHeight() const = 0;
    virtual bool IsOpaque(std::uint32_t x, std::uint32_t y) const = 0;

  protected:
    ~BxOpacityMask() = default;
};

// Run-time kind codes of the image classes.
enum BxImageKind : std::int32_t {
    kBxKindGIFFrame = 0,
    kBxKindRGB = 1,
    kBxKindBitmap = 4,
    kBxKindIndexed = 5,
};

class BxImage {
  public:
    static constexpr std::int32_t kDefaultStrip = 100;
    static constexpr std::int32_t kWholeExtent = -1;

    BxImage(const BxImage&) = delete;
    BxImage& operator=(const BxImage&) = delete;
    virtual ~BxImage();

    std::int32_t Kind() const { return kind_; }

    // A new image of the same class, size, palette or fill, pixels and format record.
    virtual std::unique_ptr<BxImage> Clone() const = 0;
    virtual void SetSize(std::uint32_t width, std::uint32_t height);
    virtual std::uint32_t GetWidth() const { return width_; }
    virtual std::uint32_t GetHeight() const { return height_; }
    // Band size for DrawThrough; kWholeExtent (and any value below 1) takes the full extent.
    virtual void SetStripSize(std::int32_t width, std::int32_t height);
    std::int32_t StripWidth() const { return stripWidth_; }
    std::int32_t StripHeight() const { return stripHeight_; }

    virtual BxImgFmtFrameInfo* GetFormatInfo() const { return formatInfo_.get(); }
    virtual void SetFormatInfo(std::unique_ptr<BxImgFmtFrameInfo> info);
    // Attaches a clone of the other image's record, or drops this one's when it has none.
    virtual void CopyFormatInfo(const BxImage& other);
    virtual std::unique_ptr<BxImgFmtFrameInfo> DetachFormatInfo();
    virtual std::unique_ptr<BxImgFmtFrameInfo> ReplaceFormatInfo(
        std::unique_ptr<BxImgFmtFrameInfo> info);

    // Writes `rect` of the image (which must lie inside it, else 21) into a true-colour buffer.
    virtual void Draw(const BxRect& rect, const BxDrawTarget& target) const = 0;
    virtual std::unique_ptr<BxImage> Crop(const BxRect& rect) const = 0;
    // Copies the source's pixels in at (x, y); what falls outside this image is left out.
    virtual void Paste(std::int64_t x, std::int64_t y, const BxImage& source) = 0;
    virtual std::unique_ptr<BxImage> Rotate(double angle) const;
    // A new image turned counter-clockwise about the centre by `angle` radians.
    virtual std::unique_ptr<BxImage> Rotate(double angle, BxColor fill) const = 0;
    virtual void FlipHorizontal() = 0;
    virtual void FlipVertical() = 0;
    virtual std::unique_ptr<BxImage> Scale(std::uint32_t width, std::uint32_t height) const = 0;

    // Draws `rect` strip by strip into a temporary true-colour buffer and hands each strip to
    // `other`'s AcceptStrip with the matching destination. `other` must have this image's size.
    virtual void DrawThrough(BxImage& other, const BxRect& rect, const BxDrawTarget& target) const;
    // As DrawThrough, and what `other` makes of a strip reaches the destination only where
    // `mask` is opaque. Without a mask it is DrawThrough.
    virtual void DrawThroughMasked(BxImage& other, const BxOpacityMask* mask, const BxRect& rect,
                                   const BxDrawTarget& target) const;
    virtual void DrawThroughMasked(BxImage& other, const BxRect& rect,
                                   const BxDrawTarget& target) const;
    // Takes a true-colour strip (rect.Width() x rect.Height() pixels, 3 bytes each, rect in this
    // image's coordinates) drawn by another image.
    virtual void AcceptStrip(const BxRect& rect, const std::uint8_t* strip,
                             const BxDrawTarget& target) = 0;

    // Size 0 x 0, the record forgotten (not destroyed: its owner has taken it), strips default.
    virtual void Reset();

    // The colour that stands in where a transform has no source pixel.
    virtual BxColor FillColor() const = 0;

  protected:
    BxImage(std::int32_t kind, std::uint32_t width, std::uint32_t height);

    // 21 unless `rect` lies inside this image.
    void CheckInside(const BxRect& rect) const;

    std::int32_t kind_;
    std::uint32_t width_;
    std::uint32_t height_;
    std::unique_ptr<BxImgFmtFrameInfo> formatInfo_;
    std::int32_t stripWidth_ = kDefaultStrip;
    std::int32_t stripHeight_ = kDefaultStrip;
};
