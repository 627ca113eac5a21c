#include "BxCode/BxRealImage.h"

#include <algorithm>

#include "BxCode/BxBuffer.h"
#include "BxCode/BxErrorCode.h"

std::size_t BxRealImage::DefaultRowLength(const BxRealImage&, std::uint16_t bits,
                                          std::uint16_t samples, std::uint32_t width,
                                          std::uint32_t) {
    if (bits == 8 || bits == 16) {
        return std::size_t{bits / 8u} * samples * width;
    }
    return (std::size_t{samples} * width + 7) / 8;
}

BxRealImage::BxRealImage(std::int32_t kind, std::uint32_t width, std::uint32_t height,
                         std::uint16_t bitsPerSample, std::uint16_t samplesPerPixel,
                         std::unique_ptr<BxBaseBuffer> buffer)
    : BxImage(kind, width, height),
      buffer_(std::move(buffer)),
      bitsPerSample_(bitsPerSample),
      samplesPerPixel_(samplesPerPixel) {
    if (!buffer_) {
        buffer_ = BxBuffer().Clone();
    }
}

std::size_t BxRealImage::RowBytes() const {
    return rowLength_(*this, bitsPerSample_, samplesPerPixel_, width_, height_);
}

std::size_t BxRealImage::BufferBytes(std::uint32_t width, std::uint32_t height,
                                     std::size_t* rowBytes) const {
    const std::size_t row = rowLength_(*this, bitsPerSample_, samplesPerPixel_, width, height);
    if (row > kMaxPixelBytes || (row && height > kMaxPixelBytes / row)) {
        BxRaise(kBxErrNoMemory);
    }
    *rowBytes = row;
    return row * height;
}

bool BxRealImage::Allocate() {
    std::size_t row = 0;
    const std::size_t bytes = BufferBytes(width_, height_, &row);
    rowBytes_ = row;
    if (buffer_->IsAllocated() && buffer_->Size() == bytes) {
        return false;
    }
    if (buffer_->IsAllocated()) {
        buffer_->Free();
    }
    buffer_->SetSize(bytes);
    return true;
}

void BxRealImage::Release() {
    if (buffer_->IsAllocated()) {
        buffer_->Release();
    }
}

void BxRealImage::SetSize(std::uint32_t width, std::uint32_t height) {
    if (width == width_ && height == height_ && buffer_->IsAllocated()) {
        return;
    }
    std::size_t row = 0;
    const std::size_t bytes = BufferBytes(width, height, &row);
    std::unique_ptr<BxBaseBuffer> fresh;
    try {
        fresh = buffer_->Clone();
    } catch (const BxErrorCode& error) {
        if (error.Code() != kBxErrNotImplemented) {
            throw;
        }
        fresh = BxBuffer().Clone();
    }
    fresh->SetSize(bytes);
    buffer_ = std::move(fresh);
    rowBytes_ = row;
    BxImage::SetSize(width, height);
}

std::uint8_t* BxRealImage::LockPixels() const {
    return buffer_->Lock();
}

void BxRealImage::UnlockPixels() const {
    buffer_->Unlock();
}

std::unique_ptr<BxImage> BxRealImage::Crop(const BxRect& rect) const {
    if (rect.Width() < 0 || rect.Height() < 0) {
        BxRaise(kBxErrBadArgument);
    }
    std::unique_ptr<BxRealImage> cropped = MakeEmpty(rect);
    cropped->Paste(-std::int64_t{rect.left}, -std::int64_t{rect.top}, *this);
    cropped->CopyFormatInfo(*this);
    return cropped;
}

void BxRealImage::AcceptStrip(const BxRect& rect, const std::uint8_t* strip,
                              const BxDrawTarget& target) {
    switch (bitsPerSample_) {
        case 1:
            AcceptStrip1(rect, strip, target);
            return;
        case 8:
            AcceptStrip8(rect, strip, target);
            return;
        case 16:
            AcceptStrip16(rect, strip, target);
            return;
        default:
            BxRaise(kBxErrBitsPerSample);
    }
}

void BxRealImage::AcceptStrip1(const BxRect&, const std::uint8_t*, const BxDrawTarget&) {
    BxRaise(kBxErrNotImplemented);
}

void BxRealImage::AcceptStrip8(const BxRect&, const std::uint8_t*, const BxDrawTarget&) {
    BxRaise(kBxErrNotImplemented);
}

void BxRealImage::AcceptStrip16(const BxRect&, const std::uint8_t*, const BxDrawTarget&) {
    BxRaise(kBxErrNotImplemented);
}

const BxRealImage& BxRealImage::PasteSource(const BxImage& source) const {
    const auto* real = dynamic_cast<const BxRealImage*>(&source);
    if (!real) {
        BxRaise(kBxErrBadArgument);
    }
    CheckCompatible(*real);
    return *real;
}

BxRealImage::Overlap BxRealImage::Clip(std::int64_t x, std::int64_t y, std::uint32_t width,
                                       std::uint32_t height) const {
    Overlap overlap;
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(x + width, width_);
    const std::int64_t bottom = std::min<std::int64_t>(y + height, height_);
    if (right <= left || bottom <= top) {
        return overlap;
    }
    overlap.x = static_cast<std::uint32_t>(left);
    overlap.y = static_cast<std::uint32_t>(top);
    overlap.sourceX = static_cast<std::uint32_t>(left - x);
    overlap.sourceY = static_cast<std::uint32_t>(top - y);
    overlap.width = static_cast<std::uint32_t>(right - left);
    overlap.height = static_cast<std::uint32_t>(bottom - top);
    return overlap;
}
