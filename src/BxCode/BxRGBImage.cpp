#include "BxCode/BxRGBImage.h"

#include <algorithm>
#include <new>

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxRotation.h"

namespace {

std::unique_ptr<BxRGBImage> NewRGB(std::uint32_t width, std::uint32_t height, BxColor fill) {
    auto* image = new (std::nothrow) BxRGBImage(0, 0);
    if (!image) {
        BxRaise(kBxErrNoMemory);
    }
    std::unique_ptr<BxRGBImage> owned(image);
    owned->SetFillColor(fill);
    owned->SetSize(width, height);
    owned->Clear();
    return owned;
}

constexpr std::int64_t kUnit = 1024;

std::int64_t Coverage(std::int64_t p, std::int64_t from, std::int64_t to) {
    return std::max<std::int64_t>(0, std::min(to, (p + 1) * kUnit) - std::max(from, p * kUnit));
}

}  // namespace

BxRGBImage::BxRGBImage(std::uint32_t width, std::uint32_t height,
                       std::unique_ptr<BxBaseBuffer> buffer)
    : BxRealImage(kBxKindRGB, width, height, 8, 3, std::move(buffer)) {
    Allocate();
    Clear();
}

std::unique_ptr<BxImage> BxRGBImage::Clone() const {
    auto copy = NewRGB(width_, height_, fill_);
    copy->Paste(0, 0, *this);
    copy->CopyFormatInfo(*this);
    copy->SetStripSize(stripWidth_, stripHeight_);
    return copy;
}

void BxRGBImage::Clear() {
    BxPixelLock lock(*this);
    for (std::uint32_t y = 0; y < height_; ++y) {
        std::uint8_t* row = lock.Row(y);
        for (std::uint32_t x = 0; x < width_; ++x) {
            row[3 * x] = BxRedOf(fill_);
            row[3 * x + 1] = BxGreenOf(fill_);
            row[3 * x + 2] = BxBlueOf(fill_);
        }
    }
}

BxColor BxRGBImage::PixelAt(std::uint32_t x, std::uint32_t y) const {
    if (x >= width_ || y >= height_) {
        BxRaise(kBxErrBadArgument);
    }
    BxPixelLock lock(*this);
    const std::uint8_t* rgb = lock.Row(y) + 3 * std::size_t{x};
    return BxPackColor(rgb[0], rgb[1], rgb[2]);
}

void BxRGBImage::SetPixelAt(std::uint32_t x, std::uint32_t y, BxColor color) {
    if (x >= width_ || y >= height_) {
        BxRaise(kBxErrBadArgument);
    }
    BxPixelLock lock(*this);
    std::uint8_t* rgb = lock.Row(y) + 3 * std::size_t{x};
    rgb[0] = BxRedOf(color);
    rgb[1] = BxGreenOf(color);
    rgb[2] = BxBlueOf(color);
}

void BxRGBImage::Draw(const BxRect& rect, const BxDrawTarget& target) const {
    CheckInside(rect);
    BxPixelLock lock(*this);
    for (std::int64_t y = 0; y < rect.Height(); ++y) {
        const std::uint8_t* row =
            lock.Row(static_cast<std::uint32_t>(rect.top + y)) + 3 * std::size_t(rect.left);
        for (std::int64_t x = 0; x < rect.Width(); ++x) {
            target.Put(x, y, row[3 * x], row[3 * x + 1], row[3 * x + 2]);
        }
    }
}

std::unique_ptr<BxRealImage> BxRGBImage::MakeEmpty(const BxRect& rect) const {
    if (rect.Width() < 0 || rect.Height() < 0) {
        BxRaise(kBxErrBadArgument);
    }
    return NewRGB(static_cast<std::uint32_t>(rect.Width()),
                  static_cast<std::uint32_t>(rect.Height()), fill_);
}

void BxRGBImage::CheckCompatible(const BxRealImage& source) const {
    if (!dynamic_cast<const BxRGBImage*>(&source)) {
        BxRaise(kBxErrBadArgument);
    }
}

void BxRGBImage::Paste(std::int64_t x, std::int64_t y, const BxImage& source) {
    const auto& from = static_cast<const BxRGBImage&>(PasteSource(source));
    const Overlap overlap = Clip(x, y, from.width_, from.height_);
    if (overlap.width == 0) {
        return;
    }
    BxPixelLock to(*this);
    BxPixelLock in(from);
    for (std::uint32_t row = 0; row < overlap.height; ++row) {
        std::copy_n(in.Row(overlap.sourceY + row) + 3 * std::size_t{overlap.sourceX},
                    3 * std::size_t{overlap.width},
                    to.Row(overlap.y + row) + 3 * std::size_t{overlap.x});
    }
}

void BxRGBImage::FlipHorizontal() {
    BxPixelLock lock(*this);
    for (std::uint32_t y = 0; y < height_; ++y) {
        std::uint8_t* row = lock.Row(y);
        for (std::uint32_t x = 0; x < width_ / 2; ++x) {
            std::swap_ranges(row + 3 * std::size_t{x}, row + 3 * std::size_t{x} + 3,
                             row + 3 * std::size_t{width_ - 1 - x});
        }
    }
}

void BxRGBImage::FlipVertical() {
    BxPixelLock lock(*this);
    for (std::uint32_t y = 0; y < height_ / 2; ++y) {
        std::swap_ranges(lock.Row(y), lock.Row(y) + rowBytes_, lock.Row(height_ - 1 - y));
    }
}

std::unique_ptr<BxImage> BxRGBImage::Rotate(double angle, BxColor fill) const {
    const int turns = BxQuarterTurns(angle);
    BxPixelLock in(*this);
    if (turns >= 0) {
        const bool across = turns % 2 == 1;
        auto turned = NewRGB(across ? height_ : width_, across ? width_ : height_, fill_);
        BxPixelLock out(*turned);
        for (std::uint32_t y = 0; y < turned->height_; ++y) {
            for (std::uint32_t x = 0; x < turned->width_; ++x) {
                std::uint32_t sx = 0;
                std::uint32_t sy = 0;
                BxQuarterTurnSource(turns, width_, height_, x, y, &sx, &sy);
                std::copy_n(in.Row(sy) + 3 * std::size_t{sx}, 3, out.Row(y) + 3 * std::size_t{x});
            }
        }
        turned->CopyFormatInfo(*this);
        return turned;
    }
    const BxFreeRotation rotation(angle, width_, height_);
    auto turned = NewRGB(rotation.NewWidth(), rotation.NewHeight(), fill_);
    BxPixelLock out(*turned);
    const auto colorAt = [&](std::uint32_t x, std::uint32_t y) {
        const std::uint8_t* rgb = in.Row(y) + 3 * std::size_t{x};
        return BxPackColor(rgb[0], rgb[1], rgb[2]);
    };
    for (std::uint32_t y = 0; y < rotation.NewHeight(); ++y) {
        for (std::uint32_t x = 0; x < rotation.NewWidth(); ++x) {
            double sx = 0;
            double sy = 0;
            rotation.Source(x, y, &sx, &sy);
            const BxColor color = BxMixFour(colorAt, width_, height_, sx, sy, fill);
            std::uint8_t* rgb = out.Row(y) + 3 * std::size_t{x};
            rgb[0] = BxRedOf(color);
            rgb[1] = BxGreenOf(color);
            rgb[2] = BxBlueOf(color);
        }
    }
    turned->CopyFormatInfo(*this);
    return turned;
}

std::unique_ptr<BxImage> BxRGBImage::Scale(std::uint32_t width, std::uint32_t height) const {
    auto scaled = NewRGB(width, height, fill_);
    if (width == 0 || height == 0 || width_ == 0 || height_ == 0) {
        return scaled;
    }
    const std::int64_t stepX = std::max<std::int64_t>(1, std::int64_t{width_} * kUnit / width);
    const std::int64_t stepY = std::max<std::int64_t>(1, std::int64_t{height_} * kUnit / height);
    BxPixelLock in(*this);
    BxPixelLock out(*scaled);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::int64_t fromY = y * stepY;
        const std::int64_t toY =
            std::min<std::int64_t>(fromY + stepY, std::int64_t{height_} * kUnit);
        const std::int64_t endRow = std::min<std::int64_t>((toY + kUnit - 1) / kUnit, height_);
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::int64_t fromX = x * stepX;
            const std::int64_t toX =
                std::min<std::int64_t>(fromX + stepX, std::int64_t{width_} * kUnit);
            const std::int64_t endColumn =
                std::min<std::int64_t>((toX + kUnit - 1) / kUnit, width_);
            std::int64_t sums[3] = {};
            std::int64_t covered = 0;
            for (std::int64_t sy = fromY / kUnit; sy < endRow; ++sy) {
                const std::int64_t overlapY = Coverage(sy, fromY, toY);
                const std::uint8_t* row = in.Row(static_cast<std::uint32_t>(sy));
                for (std::int64_t sx = fromX / kUnit; sx < endColumn; ++sx) {
                    const std::int64_t area = Coverage(sx, fromX, toX) * overlapY;
                    for (int c = 0; c < 3; ++c) {
                        sums[c] += row[3 * sx + c] * area;
                    }
                    covered += area;
                }
            }
            std::uint8_t* rgb = out.Row(y) + 3 * std::size_t{x};
            for (int c = 0; c < 3; ++c) {
                rgb[c] = static_cast<std::uint8_t>(
                    covered ? std::min<std::int64_t>((sums[c] + covered / 2) / covered, 255) : 0);
            }
        }
    }
    return scaled;
}
