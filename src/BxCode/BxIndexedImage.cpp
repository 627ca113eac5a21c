#include "BxCode/BxIndexedImage.h"

#include <algorithm>
#include <new>
#include <vector>

#include "BxCode/BxBitmapImage.h"
#include "BxCode/BxErrorCode.h"
#include "BxCode/BxMaskBits.h"
#include "BxCode/BxRGBImage.h"
#include "BxCode/BxRotation.h"

namespace {

// Counts index values into four tables in turn, added up at the end: a run of one value then
// adds to four counters rather than waiting on one, and pictures are mostly runs.
class RowCounts {
  public:
    void Add(std::uint8_t value) { ++tables_[0][value]; }
    void AddRun(const std::uint8_t* values, std::uint32_t count) {
        std::uint32_t x = 0;
        for (; x + 4 <= count; x += 4) {
            ++tables_[0][values[x]];
            ++tables_[1][values[x + 1]];
            ++tables_[2][values[x + 2]];
            ++tables_[3][values[x + 3]];
        }
        for (; x < count; ++x) {
            ++tables_[0][values[x]];
        }
    }
    void Sum(BxIndexCounts& counts) const {
        for (std::size_t i = 0; i < counts.size(); ++i) {
            counts[i] = tables_[0][i] + tables_[1][i] + tables_[2][i] + tables_[3][i];
        }
    }

  private:
    std::array<BxIndexCounts, 4> tables_{};
};

// Scaling works in fixed point with this many units per pixel.
constexpr std::int64_t kUnit = 1024;
constexpr std::size_t kCubeCells = 32768;

// For every 15-bit cell (red5 in bits 10-14, green5 in 5-9, blue5 in 0-4) the palette entry
// nearest to the cell's colour.
std::vector<std::uint8_t> InverseColorCube(const BxColorTable& palette) {
    std::vector<std::uint8_t> cube;
    try {
        cube.resize(kCubeCells);
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
    for (std::size_t cell = 0; cell < kCubeCells; ++cell) {
        const unsigned red5 = (cell >> 10) & 31;
        const unsigned green5 = (cell >> 5) & 31;
        const unsigned blue5 = cell & 31;
        const BxColor color = BxPackColor(static_cast<std::uint8_t>(red5 * 8 + red5 / 4),
                                          static_cast<std::uint8_t>(green5 * 8 + green5 / 4),
                                          static_cast<std::uint8_t>(blue5 * 8 + blue5 % 8));
        cube[cell] = static_cast<std::uint8_t>(palette.Nearest(color));
    }
    return cube;
}

// The part of source pixel p (in [p, p+1) pixels) that the span [from, to) in fixed point covers.
std::int64_t Coverage(std::int64_t p, std::int64_t from, std::int64_t to) {
    return std::max<std::int64_t>(0, std::min(to, (p + 1) * kUnit) - std::max(from, p * kUnit));
}

std::uint8_t Raise16(std::int64_t channel) {
    return channel >= 240 ? 255 : static_cast<std::uint8_t>(channel + 16);
}

}  // namespace

BxIndexedImage::BxIndexedImage(std::uint32_t width, std::uint32_t height,
                               const BxColorTable* palette, std::unique_ptr<BxBaseBuffer> buffer)
    : BxRealImage(kBxKindIndexed, width, height, 8, 1, std::move(buffer)) {
    if (palette && palette->Count() > 0) {
        palette_ = *palette;
    } else {
        palette_ = BxColorTable(1);
    }
    // A new block is all zero already, which is what the fill index 0 would write.
    if (!Allocate() || fillIndex_ != 0) {
        Clear();
    }
}

std::unique_ptr<BxImage> BxIndexedImage::Clone() const {
    auto copy = BxMake<BxIndexedImage>(width_, height_, &palette_);
    copy->CopyFrom(*this);
    copy->SetStripSize(stripWidth_, stripHeight_);
    return copy;
}

void BxIndexedImage::CopyFrom(const BxIndexedImage& other) {
    if (this == &other) {
        return;
    }
    SetSize(other.width_, other.height_);
    fillIndex_ = other.fillIndex_;
    palette_ = other.palette_;
    Paste(0, 0, other);
    CopyFormatInfo(other);
}

BxColor BxIndexedImage::ColorOf(std::uint8_t value) const {
    if (value >= palette_.Count()) {
        return 0;
    }
    const std::uint8_t* rgb = palette_.Entries() + 3 * std::size_t{value};
    return BxPackColor(rgb[0], rgb[1], rgb[2]);
}

BxColor BxIndexedImage::FillColor() const {
    return ColorOf(fillIndex_);
}

std::uint8_t BxIndexedImage::PixelAt(std::uint32_t x, std::uint32_t y) const {
    if (x >= width_ || y >= height_) {
        BxRaise(kBxErrBadArgument);
    }
    BxPixelLock lock(*this);
    return lock.Row(y)[x];
}

void BxIndexedImage::SetPixelAt(std::uint32_t x, std::uint32_t y, std::uint8_t value) {
    if (x >= width_ || y >= height_) {
        BxRaise(kBxErrBadArgument);
    }
    BxPixelLock lock(*this);
    lock.Row(y)[x] = value;
}

void BxIndexedImage::Clear() {
    BxPixelLock lock(*this);
    std::fill_n(lock.Pixels(), rowBytes_ * height_, fillIndex_);
}

void BxIndexedImage::Draw(const BxRect& rect, const BxDrawTarget& target) const {
    CheckInside(rect);
    BxPixelLock lock(*this);
    for (std::int64_t y = 0; y < rect.Height(); ++y) {
        const std::uint8_t* row = lock.Row(static_cast<std::uint32_t>(rect.top + y)) + rect.left;
        for (std::int64_t x = 0; x < rect.Width(); ++x) {
            const BxColor color = ColorOf(row[x]);
            target.Put(x, y, BxRedOf(color), BxGreenOf(color), BxBlueOf(color));
        }
    }
}

std::unique_ptr<BxRealImage> BxIndexedImage::MakeEmpty(const BxRect& rect) const {
    if (rect.Width() < 0 || rect.Height() < 0) {
        BxRaise(kBxErrBadArgument);
    }
    auto empty = BxMake<BxIndexedImage>(0, 0, &palette_);
    empty->fillIndex_ = fillIndex_;
    empty->SetSize(static_cast<std::uint32_t>(rect.Width()),
                   static_cast<std::uint32_t>(rect.Height()));
    empty->Clear();
    return empty;
}

void BxIndexedImage::CheckCompatible(const BxRealImage& source) const {
    const auto* indexed = dynamic_cast<const BxIndexedImage*>(&source);
    if (!indexed || indexed->palette_.Differs(palette_)) {
        BxRaise(kBxErrBadArgument);
    }
}

void BxIndexedImage::Paste(std::int64_t x, std::int64_t y, const BxImage& source) {
    const auto& from = static_cast<const BxIndexedImage&>(PasteSource(source));
    const Overlap overlap = Clip(x, y, from.width_, from.height_);
    if (overlap.width == 0) {
        return;
    }
    BxPixelLock to(*this);
    BxPixelLock in(from);
    // A source pasted into itself lands at (0, 0) of itself: rows never overlap differently.
    for (std::uint32_t row = 0; row < overlap.height; ++row) {
        std::copy_n(in.Row(overlap.sourceY + row) + overlap.sourceX, overlap.width,
                    to.Row(overlap.y + row) + overlap.x);
    }
}

void BxIndexedImage::FlipHorizontal() {
    BxPixelLock lock(*this);
    for (std::uint32_t y = 0; y < height_; ++y) {
        std::reverse(lock.Row(y), lock.Row(y) + width_);
    }
}

void BxIndexedImage::FlipVertical() {
    BxPixelLock lock(*this);
    for (std::uint32_t y = 0; y < height_ / 2; ++y) {
        std::swap_ranges(lock.Row(y), lock.Row(y) + width_, lock.Row(height_ - 1 - y));
    }
}

std::unique_ptr<BxImage> BxIndexedImage::Rotate(double angle, BxColor fill) const {
    const int turns = BxQuarterTurns(angle);
    if (turns >= 0) {
        const bool across = turns % 2 == 1;
        auto turned =
            BxMake<BxIndexedImage>(across ? height_ : width_, across ? width_ : height_, &palette_);
        turned->fillIndex_ = fillIndex_;
        BxPixelLock in(*this);
        BxPixelLock out(*turned);
        for (std::uint32_t y = 0; y < turned->height_; ++y) {
            for (std::uint32_t x = 0; x < turned->width_; ++x) {
                std::uint32_t sx = 0;
                std::uint32_t sy = 0;
                BxQuarterTurnSource(turns, width_, height_, x, y, &sx, &sy);
                out.Row(y)[x] = in.Row(sy)[sx];
            }
        }
        turned->CopyFormatInfo(*this);
        return turned;
    }
    if (LockCount() > 0) {
        BxRaise(kBxErrBadArgument);
    }
    const BxFreeRotation rotation(angle, width_, height_);
    auto turned = BxMake<BxRGBImage>(rotation.NewWidth(), rotation.NewHeight());
    BxPixelLock in(*this);
    BxPixelLock out(*turned);
    const auto colorAt = [&](std::uint32_t x, std::uint32_t y) { return ColorOf(in.Row(y)[x]); };
    for (std::uint32_t y = 0; y < rotation.NewHeight(); ++y) {
        std::uint8_t* row = out.Row(y);
        for (std::uint32_t x = 0; x < rotation.NewWidth(); ++x) {
            double sx = 0;
            double sy = 0;
            rotation.Source(x, y, &sx, &sy);
            const BxColor color = BxMixFour(colorAt, width_, height_, sx, sy, fill);
            row[3 * x] = BxRedOf(color);
            row[3 * x + 1] = BxGreenOf(color);
            row[3 * x + 2] = BxBlueOf(color);
        }
    }
    turned->CopyFormatInfo(*this);
    return turned;
}

std::unique_ptr<BxImage> BxIndexedImage::Scale(std::uint32_t width, std::uint32_t height) const {
    auto scaled = BxMake<BxIndexedImage>(width, height, &palette_);
    scaled->fillIndex_ = fillIndex_;
    if (width == 0 || height == 0 || width_ == 0 || height_ == 0) {
        return scaled;
    }
    const std::vector<std::uint8_t> cube = InverseColorCube(palette_);
    // A step below one unit would cover nothing; such a scale is over a thousandfold anyway.
    const std::int64_t stepX = std::max<std::int64_t>(1, std::int64_t{width_} * kUnit / width);
    const std::int64_t stepY = std::max<std::int64_t>(1, std::int64_t{height_} * kUnit / height);
    BxPixelLock in(*this);
    BxPixelLock out(*scaled);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::int64_t fromY = y * stepY;
        const std::int64_t toY =
            std::min<std::int64_t>(fromY + stepY, std::int64_t{height_} * kUnit);
        const std::int64_t firstRow = fromY / kUnit;
        const std::int64_t endRow = std::min<std::int64_t>((toY + kUnit - 1) / kUnit, height_);
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::int64_t fromX = x * stepX;
            const std::int64_t toX =
                std::min<std::int64_t>(fromX + stepX, std::int64_t{width_} * kUnit);
            const std::int64_t firstColumn = fromX / kUnit;
            const std::int64_t endColumn =
                std::min<std::int64_t>((toX + kUnit - 1) / kUnit, width_);
            std::int64_t red = 0;
            std::int64_t green = 0;
            std::int64_t blue = 0;
            std::int64_t covered = 0;
            for (std::int64_t sy = firstRow; sy < endRow; ++sy) {
                const std::int64_t overlapY = Coverage(sy, fromY, toY);
                const std::uint8_t* row = in.Row(static_cast<std::uint32_t>(sy));
                for (std::int64_t sx = firstColumn; sx < endColumn; ++sx) {
                    // The area is in 1/1024 by 1/1024 pixel units; each product is taken back
                    // by 1024 with rounding, so the sums and the covered area below are both in
                    // 1/1024 of a pixel.
                    const std::int64_t area = Coverage(sx, fromX, toX) * overlapY;
                    const BxColor color = ColorOf(row[sx]);
                    red += (BxRedOf(color) * area + 512) / kUnit;
                    green += (BxGreenOf(color) * area + 512) / kUnit;
                    blue += (BxBlueOf(color) * area + 512) / kUnit;
                    covered += area;
                }
            }
            covered = std::max<std::int64_t>(covered / kUnit, 1);
            const std::uint8_t r = Raise16(std::min<std::int64_t>(red / covered, 255));
            const std::uint8_t g = Raise16(std::min<std::int64_t>(green / covered, 255));
            const std::uint8_t b = Raise16(std::min<std::int64_t>(blue / covered, 255));
            out.Row(y)[x] = cube[(r / 8) * 1024 + (g / 8) * 32 + b / 8];
        }
    }
    return scaled;
}

void BxIndexedImage::CountIndices(BxIndexCounts* counts) const {
    if (!counts) {
        BxRaise(kBxErrMissing);
    }
    RowCounts tally;
    BxPixelLock lock(*this);
    for (std::uint32_t y = 0; y < height_; ++y) {
        tally.AddRun(lock.Row(y), width_);
    }
    tally.Sum(*counts);
}

void BxIndexedImage::CountIndices(BxIndexCounts* counts, const BxBitmapImage* mask) const {
    if (!counts || !mask) {
        BxRaise(kBxErrMissing);
    }
    if (mask->GetWidth() != width_ || mask->GetHeight() != height_) {
        BxRaise(kBxErrBadArgument);
    }
    RowCounts tally;
    BxPixelLock lock(*this);
    BxPixelLock bits(*mask);
    const std::uint8_t polarity = mask->Polarity();
    for (std::uint32_t y = 0; y < height_; ++y) {
        const std::uint8_t* row = lock.Row(y);
        const std::uint8_t* maskRow = bits.Row(y);
        // A mask byte holds eight pixels, from its most significant bit; a pixel is opaque when
        // its bit differs from the polarity. Most bytes are all opaque or all transparent.
        for (std::uint32_t x0 = 0; x0 < width_; x0 += 8) {
            const std::uint8_t opaque = OpaqueBits(maskRow[x0 >> 3], polarity);
            const std::uint32_t count = std::min<std::uint32_t>(8, width_ - x0);
            if (opaque == 0xFF) {
                tally.AddRun(row + x0, count);
                continue;
            }
            for (std::uint32_t k = 0; k < count && opaque != 0; ++k) {
                if (opaque & (0x80 >> k)) {
                    tally.Add(row[x0 + k]);
                }
            }
        }
    }
    tally.Sum(*counts);
}

std::uint32_t BxIndexedImage::CountUsed(const BxIndexCounts* counts, std::size_t n) {
    if (!counts) {
        BxRaise(kBxErrMissing);
    }
    n = std::min(n, counts->size());
    return static_cast<std::uint32_t>(
        std::count_if(counts->begin(), counts->begin() + n, [](std::uint32_t c) { return c; }));
}

std::size_t BxIndexedImage::FirstFree(const BxIndexCounts* counts, std::size_t n, bool* found) {
    if (!counts) {
        BxRaise(kBxErrMissing);
    }
    const std::size_t limit = std::min(n, counts->size());
    for (std::size_t i = 0; i < limit; ++i) {
        if ((*counts)[i] == 0) {
            if (found) {
                *found = true;
            }
            return i;
        }
    }
    if (found) {
        *found = false;
    }
    return n;
}

void BxIndexedImage::RemapIndices(const BxIndexMap* map) {
    if (!map) {
        BxRaise(kBxErrMissing);
    }
    // Local copies: a byte written through a row could be any byte to the compiler, the map
    // and this image's width included, which it would then read again for every pixel.
    const BxIndexMap table = *map;
    bool identity = true;
    for (std::size_t i = 0; i < table.size() && identity; ++i) {
        identity = table[i] == i;
    }
    if (identity) {
        return;  // a palette without duplicates maps every index to itself
    }
    const std::uint32_t width = width_;
    BxPixelLock lock(*this);
    for (std::uint32_t y = 0; y < height_; ++y) {
        std::uint8_t* row = lock.Row(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            row[x] = table[row[x]];
        }
    }
}

void BxIndexedImage::ReplaceIndex(std::uint8_t from, std::uint8_t to) {
    BxIndexMap map{};
    for (std::size_t i = 0; i < map.size(); ++i) {
        map[i] = static_cast<std::uint8_t>(i);
    }
    map[from] = to;
    RemapIndices(&map);
}
