#include "BxCode/BxImage.h"

#include <algorithm>
#include <new>
#include <vector>

#include "BxCode/BxErrorCode.h"

BxDrawTarget BxDrawTarget::At(std::int64_t x, std::int64_t y) const {
    BxDrawTarget moved = *this;
    moved.origin = origin + y * rowBytes + x * pixelStride;
    return moved;
}

void BxDrawTarget::Put(std::int64_t x, std::int64_t y, std::uint8_t red, std::uint8_t green,
                       std::uint8_t blue) const {
    std::uint8_t* pixel = origin + y * rowBytes + x * pixelStride;
    pixel[redOffset] = red;
    pixel[greenOffset] = green;
    pixel[blueOffset] = blue;
}

BxImage::BxImage(std::int32_t kind, std::uint32_t width, std::uint32_t height)
    : kind_(kind), width_(width), height_(height) {}

BxImage::~BxImage() = default;

void BxImage::SetSize(std::uint32_t width, std::uint32_t height) {
    width_ = width;
    height_ = height;
}

void BxImage::SetStripSize(std::int32_t width, std::int32_t height) {
    stripWidth_ = width;
    stripHeight_ = height;
}

void BxImage::SetFormatInfo(std::unique_ptr<BxImgFmtFrameInfo> info) {
    formatInfo_ = std::move(info);
}

void BxImage::CopyFormatInfo(const BxImage& other) {
    const BxImgFmtFrameInfo* info = other.GetFormatInfo();
    SetFormatInfo(info ? info->Clone() : nullptr);
}

std::unique_ptr<BxImgFmtFrameInfo> BxImage::DetachFormatInfo() {
    return std::move(formatInfo_);
}

std::unique_ptr<BxImgFmtFrameInfo> BxImage::ReplaceFormatInfo(
    std::unique_ptr<BxImgFmtFrameInfo> info) {
    std::unique_ptr<BxImgFmtFrameInfo> old = DetachFormatInfo();
    SetFormatInfo(std::move(info));
    return old;
}

std::unique_ptr<BxImage> BxImage::Rotate(double angle) const {
    return Rotate(angle, FillColor());
}

void BxImage::Reset() {
    width_ = 0;
    height_ = 0;
    // The record's owner took it before resetting; it is not destroyed here.
    (void)formatInfo_.release();
    stripWidth_ = kDefaultStrip;
    stripHeight_ = kDefaultStrip;
}

void BxImage::CheckInside(const BxRect& rect) const {
    if (rect.left < 0 || rect.top < 0 || rect.right < rect.left || rect.bottom < rect.top ||
        rect.right > std::int64_t{GetWidth()} || rect.bottom > std::int64_t{GetHeight()}) {
        BxRaise(kBxErrBadArgument);
    }
}

namespace {

// One strip extent: the configured size, or the whole extent for -1 and anything below 1.
std::int64_t StripExtent(std::int32_t configured, std::int64_t whole) {
    return configured < 1 ? std::max<std::int64_t>(whole, 1) : configured;
}

std::vector<std::uint8_t> StripBuffer(std::int64_t width, std::int64_t height,
                                      std::int64_t bytesPerPixel) {
    // The strip is at most the rectangle, itself inside an allocated image.
    try {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(width * height * bytesPerPixel));
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
}

}  // namespace

void BxImage::DrawThrough(BxImage& other, const BxRect& rect, const BxDrawTarget& target) const {
    DrawThroughMasked(other, nullptr, rect, target);
}

void BxImage::DrawThroughMasked(BxImage& other, const BxRect& rect,
                                const BxDrawTarget& target) const {
    DrawThroughMasked(other, nullptr, rect, target);
}

void BxImage::DrawThroughMasked(BxImage& other, const BxOpacityMask* mask, const BxRect& rect,
                                const BxDrawTarget& target) const {
    if (other.GetWidth() != GetWidth() || other.GetHeight() != GetHeight() ||
        (mask && (mask->MaskWidth() != GetWidth() || mask->MaskHeight() != GetHeight()))) {
        BxRaise(kBxErrBadArgument);
    }
    CheckInside(rect);
    const std::int64_t stripWidth = std::min(StripExtent(stripWidth_, rect.Width()), rect.Width());
    const std::int64_t stripHeight =
        std::min(StripExtent(stripHeight_, rect.Height()), rect.Height());
    if (stripWidth <= 0 || stripHeight <= 0) {
        return;
    }
    std::vector<std::uint8_t> strip = StripBuffer(stripWidth, stripHeight, 3);
    std::vector<std::uint8_t> masked;
    if (mask) {
        masked = StripBuffer(stripWidth, stripHeight, target.pixelStride);
    }
    for (std::int64_t top = rect.top; top < rect.bottom; top += stripHeight) {
        for (std::int64_t left = rect.left; left < rect.right; left += stripWidth) {
            const BxRect band{
                static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                static_cast<std::int32_t>(std::min<std::int64_t>(top + stripHeight, rect.bottom)),
                static_cast<std::int32_t>(std::min<std::int64_t>(left + stripWidth, rect.right))};
            const BxDrawTarget stripTarget{strip.data(), band.Width() * 3, 0, 1, 2, 3};
            Draw(band, stripTarget);
            const BxDrawTarget destination = target.At(left - rect.left, top - rect.top);
            if (!mask) {
                other.AcceptStrip(band, strip.data(), destination);
                continue;
            }
            // `other` works on a copy of the destination; the mask decides what is kept.
            const std::ptrdiff_t maskedRow = band.Width() * target.pixelStride;
            BxDrawTarget copy = destination;
            copy.origin = masked.data();
            copy.rowBytes = maskedRow;
            for (std::int64_t y = 0; y < band.Height(); ++y) {
                std::copy_n(destination.origin + y * destination.rowBytes, maskedRow,
                            masked.data() + y * maskedRow);
            }
            other.AcceptStrip(band, strip.data(), copy);
            for (std::int64_t y = 0; y < band.Height(); ++y) {
                for (std::int64_t x = 0; x < band.Width(); ++x) {
                    if (mask->IsOpaque(static_cast<std::uint32_t>(band.left + x),
                                       static_cast<std::uint32_t>(band.top + y))) {
                        std::copy_n(
                            masked.data() + y * maskedRow + x * target.pixelStride,
                            target.pixelStride,
                            destination.origin + y * destination.rowBytes + x * target.pixelStride);
                    }
                }
            }
        }
    }
}
