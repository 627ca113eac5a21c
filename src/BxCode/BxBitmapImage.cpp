#include "BxCode/BxBitmapImage.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxMaskBits.h"
#include "BxCode/BxRotation.h"

namespace {

// Copies `count` bits from bit `from` of one row to bit `to` of another, a target byte at a time
// where whole target bytes are covered.
void CopyBits(const std::uint8_t* source, std::uint32_t from, std::uint8_t* target,
              std::uint32_t to, std::uint32_t count) {
    std::uint32_t done = 0;
    // Bit by bit up to the target's next byte boundary.
    while (done < count && ((to + done) & 7) != 0) {
        PutBit(target, to + done, StoredBit(source, from + done));
        ++done;
    }
    const std::uint32_t shift = (from + done) & 7;
    while (count - done >= 8) {
        const std::uint32_t at = (from + done) >> 3;
        // With a shift, the eight bits span two source bytes, both holding bits of the row.
        const std::uint8_t byte = shift == 0
                                      ? source[at]
                                      : static_cast<std::uint8_t>((source[at] << shift) |
                                                                  (source[at + 1] >> (8 - shift)));
        target[(to + done) >> 3] = byte;
        done += 8;
    }
    for (; done < count; ++done) {
        PutBit(target, to + done, StoredBit(source, from + done));
    }
}

}  // namespace

BxBitmapImage::BxBitmapImage(std::uint32_t width, std::uint32_t height,
                             std::unique_ptr<BxBaseBuffer> buffer)
    : BxRealImage(kBxKindBitmap, width, height, 1, 1, std::move(buffer)) {
    Allocate();
    Clear();
}

namespace {

std::unique_ptr<BxBitmapImage> NewBitmap(std::uint32_t width, std::uint32_t height,
                                         const BxBitmapImage& like) {
    auto* image = new (std::nothrow) BxBitmapImage(0, 0);
    if (!image) {
        BxRaise(kBxErrNoMemory);
    }
    std::unique_ptr<BxBitmapImage> owned(image);
    owned->SetPolarity(like.Polarity());
    owned->SetFillValue(like.FillValue());
    owned->SetSize(width, height);
    owned->Clear();
    return owned;
}

}  // namespace

std::unique_ptr<BxImage> BxBitmapImage::Clone() const {
    auto copy = NewBitmap(width_, height_, *this);
    copy->Paste(0, 0, *this);
    copy->CopyFormatInfo(*this);
    copy->SetStripSize(stripWidth_, stripHeight_);
    return copy;
}

void BxBitmapImage::Clear() {
    BxPixelLock lock(*this);
    const bool logicalOne = fillValue_ != 0;
    std::fill_n(lock.Pixels(), rowBytes_ * height_, logicalOne != (polarity_ != 0) ? 0xFF : 0x00);
}

BxColor BxBitmapImage::FillColor() const {
    return fillValue_ ? BxPackColor(255, 255, 255) : 0;
}

std::uint8_t BxBitmapImage::BitAt(std::uint32_t x, std::uint32_t y) const {
    if (x >= width_ || y >= height_) {
        BxRaise(kBxErrBadArgument);
    }
    BxPixelLock lock(*this);
    return StoredBit(lock.Row(y), x);
}

void BxBitmapImage::SetBitAt(std::uint32_t x, std::uint32_t y, std::uint8_t bit) {
    if (x >= width_ || y >= height_) {
        BxRaise(kBxErrBadArgument);
    }
    BxPixelLock lock(*this);
    PutBit(lock.Row(y), x, bit ? 1 : 0);
}

void BxBitmapImage::Draw(const BxRect& rect, const BxDrawTarget& target) const {
    CheckInside(rect);
    BxPixelLock lock(*this);
    for (std::int64_t y = 0; y < rect.Height(); ++y) {
        const std::uint8_t* row = lock.Row(static_cast<std::uint32_t>(rect.top + y));
        for (std::int64_t x = 0; x < rect.Width(); ++x) {
            const bool logical =
                (StoredBit(row, static_cast<std::uint32_t>(rect.left + x)) ^ polarity_) != 0;
            const std::uint8_t level = logical ? 255 : 0;
            target.Put(x, y, level, level, level);
        }
    }
}

std::unique_ptr<BxRealImage> BxBitmapImage::MakeEmpty(const BxRect& rect) const {
    if (rect.Width() < 0 || rect.Height() < 0) {
        BxRaise(kBxErrBadArgument);
    }
    return NewBitmap(static_cast<std::uint32_t>(rect.Width()),
                     static_cast<std::uint32_t>(rect.Height()), *this);
}

void BxBitmapImage::CheckCompatible(const BxRealImage& source) const {
    const auto* bitmap = dynamic_cast<const BxBitmapImage*>(&source);
    if (!bitmap || bitmap->polarity_ != polarity_) {
        BxRaise(kBxErrBadArgument);
    }
}

void BxBitmapImage::Paste(std::int64_t x, std::int64_t y, const BxImage& source) {
    const auto& from = static_cast<const BxBitmapImage&>(PasteSource(source));
    const Overlap overlap = Clip(x, y, from.width_, from.height_);
    if (overlap.width == 0) {
        return;
    }
    BxPixelLock to(*this);
    BxPixelLock in(from);
    for (std::uint32_t row = 0; row < overlap.height; ++row) {
        CopyBits(in.Row(overlap.sourceY + row), overlap.sourceX, to.Row(overlap.y + row), overlap.x,
                 overlap.width);
    }
}

void BxBitmapImage::AcceptStrip1(const BxRect& rect, const std::uint8_t* strip,
                                 const BxDrawTarget& target) {
    CheckInside(rect);
    BxPixelLock lock(*this);
    for (std::int64_t y = 0; y < rect.Height(); ++y) {
        const std::uint8_t* row = lock.Row(static_cast<std::uint32_t>(rect.top + y));
        const std::uint8_t* rgb = strip + y * rect.Width() * 3;
        for (std::int64_t x = 0; x < rect.Width(); ++x) {
            if (StoredBit(row, static_cast<std::uint32_t>(rect.left + x)) != polarity_) {
                target.Put(x, y, rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]);
            }
        }
    }
}

void BxBitmapImage::FlipHorizontal() {
    BxPixelLock lock(*this);
    for (std::uint32_t y = 0; y < height_; ++y) {
        std::uint8_t* row = lock.Row(y);
        for (std::uint32_t x = 0; x < width_ / 2; ++x) {
            const std::uint8_t left = StoredBit(row, x);
            PutBit(row, x, StoredBit(row, width_ - 1 - x));
            PutBit(row, width_ - 1 - x, left);
        }
    }
}

void BxBitmapImage::FlipVertical() {
    BxPixelLock lock(*this);
    for (std::uint32_t y = 0; y < height_ / 2; ++y) {
        std::swap_ranges(lock.Row(y), lock.Row(y) + rowBytes_, lock.Row(height_ - 1 - y));
    }
}

std::unique_ptr<BxImage> BxBitmapImage::Rotate(double angle, BxColor fill) const {
    const int turns = BxQuarterTurns(angle);
    BxPixelLock in(*this);
    if (turns >= 0) {
        const bool across = turns % 2 == 1;
        auto turned = NewBitmap(across ? height_ : width_, across ? width_ : height_, *this);
        BxPixelLock out(*turned);
        for (std::uint32_t y = 0; y < turned->height_; ++y) {
            for (std::uint32_t x = 0; x < turned->width_; ++x) {
                std::uint32_t sx = 0;
                std::uint32_t sy = 0;
                BxQuarterTurnSource(turns, width_, height_, x, y, &sx, &sy);
                PutBit(out.Row(y), x, StoredBit(in.Row(sy), sx));
            }
        }
        turned->CopyFormatInfo(*this);
        return turned;
    }
    const BxFreeRotation rotation(angle, width_, height_);
    auto turned = NewBitmap(rotation.NewWidth(), rotation.NewHeight(), *this);
    const std::uint8_t outsideBit = static_cast<std::uint8_t>((fill != 0 ? 1 : 0) ^ polarity_);
    BxPixelLock out(*turned);
    for (std::uint32_t y = 0; y < rotation.NewHeight(); ++y) {
        for (std::uint32_t x = 0; x < rotation.NewWidth(); ++x) {
            double sx = 0;
            double sy = 0;
            rotation.Source(x, y, &sx, &sy);
            const double nx = std::round(sx);
            const double ny = std::round(sy);
            const bool inside = nx >= 0 && ny >= 0 && nx < width_ && ny < height_;
            PutBit(out.Row(y), x,
                   inside ? StoredBit(in.Row(static_cast<std::uint32_t>(ny)),
                                      static_cast<std::uint32_t>(nx))
                          : outsideBit);
        }
    }
    turned->CopyFormatInfo(*this);
    return turned;
}

std::unique_ptr<BxImage> BxBitmapImage::Scale(std::uint32_t width, std::uint32_t height) const {
    auto scaled = NewBitmap(width, height, *this);
    if (width_ == 0 || height_ == 0) {
        return scaled;
    }
    BxPixelLock in(*this);
    BxPixelLock out(*scaled);
    for (std::uint32_t y = 0; y < height; ++y) {
        const auto sy = static_cast<std::uint32_t>((std::uint64_t{y} * height_) / height);
        for (std::uint32_t x = 0; x < width; ++x) {
            const auto sx = static_cast<std::uint32_t>((std::uint64_t{x} * width_) / width);
            PutBit(out.Row(y), x, StoredBit(in.Row(sy), sx));
        }
    }
    return scaled;
}
