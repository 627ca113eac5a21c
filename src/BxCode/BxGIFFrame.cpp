#include "BxCode/BxGIFFrame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxMaskBits.h"
#include "BxCode/BxQuantRemap.h"
#include "BxCode/BxRGBImage.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
// A byte's bits in the opposite order: a compare's first pixel comes out in the least significant
// bit, a mask byte holds it in the most.
constexpr std::array<std::uint8_t, 256> kReversedBits = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned value = 0; value < table.size(); ++value) {
        unsigned reversed = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            reversed |= ((value >> bit) & 1u) << (7 - bit);
        }
        table[value] = static_cast<std::uint8_t>(reversed);
    }
    return table;
}();
#endif

// One mask byte's worth of bits for `count` (at most eight) pixels: the most significant bit for
// the first, set where the pixel holds `value`.
std::uint8_t MatchBits(const std::uint8_t* pixels, std::uint32_t count, std::uint8_t value) {
    if (count == 8) {
        std::uint8_t wanted[8];
        std::memset(wanted, value, sizeof wanted);
        return EqualBits(pixels, wanted);
    }
    std::uint8_t bits = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        bits = static_cast<std::uint8_t>(bits | ((pixels[k] == value ? 0x80 : 0) >> k));
    }
    return bits;
}

// A frame's own masks: polarity 1, every pixel opaque.
std::unique_ptr<BxBitmapImage> OpaqueMask(std::uint32_t width, std::uint32_t height) {
    auto mask = BxMake<BxBitmapImage>(width, height);
    mask->SetPolarity(1);
    mask->SetFillValue(1);
    mask->Clear();
    return mask;
}

std::unique_ptr<BxIndexedImage> AsIndexed(std::unique_ptr<BxImage> image) {
    auto* indexed = dynamic_cast<BxIndexedImage*>(image.get());
    if (!indexed) {
        BxRaise(kBxErrMissing);
    }
    image.release();
    return std::unique_ptr<BxIndexedImage>(indexed);
}

std::unique_ptr<BxBitmapImage> AsBitmap(std::unique_ptr<BxImage> image) {
    auto* bitmap = dynamic_cast<BxBitmapImage*>(image.get());
    if (!bitmap) {
        BxRaise(kBxErrMissing);
    }
    image.release();
    return std::unique_ptr<BxBitmapImage>(bitmap);
}

}  // namespace

BxGIFFrame::BxGIFFrame() : BxImage(kBxKindGIFFrame, 0, 0) {}

BxGIFFrame::BxGIFFrame(std::uint32_t width, std::uint32_t height)
    : BxImage(kBxKindGIFFrame, width, height) {
    image_ = BxMake<BxIndexedImage>(width, height);
    mask_ = OpaqueMask(width, height);
    AttachDefaultRecord();
}

BxGIFFrame::BxGIFFrame(const BxIndexedImage& image) : BxGIFFrame(AsIndexed(image.Clone())) {}

BxGIFFrame::BxGIFFrame(std::unique_ptr<BxIndexedImage> image)
    : BxImage(kBxKindGIFFrame, image ? image->GetWidth() : 0, image ? image->GetHeight() : 0) {
    if (!image) {
        BxRaise(kBxErrMissing);
    }
    image_ = std::move(image);
    mask_ = OpaqueMask(width_, height_);
    AttachDefaultRecord();
    SyncMask();
}

BxGIFFrame::BxGIFFrame(const BxIndexedImage& image, const BxBitmapImage& mask)
    : BxImage(kBxKindGIFFrame, image.GetWidth(), image.GetHeight()) {
    if (mask.GetWidth() != image.GetWidth() || mask.GetHeight() != image.GetHeight()) {
        BxRaise(kBxErrBadArgument);
    }
    image_ = AsIndexed(image.Clone());
    mask_ = AsBitmap(mask.Clone());
    AttachDefaultRecord();
    SetTransparencyFlag(HasTransparentPixels() ? 1 : 0);
}

BxGIFFrame::BxGIFFrame(const BxGIFFrame& other)
    : BxImage(kBxKindGIFFrame, other.width_, other.height_) {
    if (!other.image_ || !other.mask_) {
        BxRaise(kBxErrMissing);
    }
    image_ = AsIndexed(other.image_->Clone());
    mask_ = AsBitmap(other.mask_->Clone());
    background_ = other.background_;
    stripWidth_ = other.stripWidth_;
    stripHeight_ = other.stripHeight_;
}

BxGIFFrame::~BxGIFFrame() = default;

void BxGIFFrame::AttachDefaultRecord() {
    if (dynamic_cast<BxGIFFrameInfo*>(image_->GetFormatInfo())) {
        return;
    }
    auto info = BxMake<BxGIFFrameInfo>();
    info->left = 0;
    info->top = 0;
    info->width = static_cast<std::uint16_t>(image_->GetWidth());
    info->height = static_cast<std::uint16_t>(image_->GetHeight());
    info->hasLocalTable = 1;
    info->localTable = image_->Palette();
    info->codeSize = 8;
    image_->SetFormatInfo(std::move(info));
}

std::unique_ptr<BxImage> BxGIFFrame::Clone() const {
    return BxMake<BxGIFFrame>(*this);
}

void BxGIFFrame::SetSize(std::uint32_t width, std::uint32_t height) {
    GetImage().SetSize(width, height);
    GetMask().SetSize(width, height);
    BxImage::SetSize(width, height);
}

void BxGIFFrame::SetStripSize(std::int32_t width, std::int32_t height) {
    BxImage::SetStripSize(width, height);
    GetImage().SetStripSize(width, height);
    GetMask().SetStripSize(width, height);
}

BxImgFmtFrameInfo* BxGIFFrame::GetFormatInfo() const {
    return GetImage().GetFormatInfo();
}

void BxGIFFrame::SetFormatInfo(std::unique_ptr<BxImgFmtFrameInfo> info) {
    if (!info) {
        BxRaise(kBxErrMissing);
    }
    GetImage().SetFormatInfo(std::move(info));
}

std::unique_ptr<BxImgFmtFrameInfo> BxGIFFrame::DetachFormatInfo() {
    return GetImage().DetachFormatInfo();
}

BxGIFFrameInfo& BxGIFFrame::GIFInfo() const {
    auto* info = dynamic_cast<BxGIFFrameInfo*>(GetImage().GetFormatInfo());
    if (!info) {
        BxRaise(kBxErrMissing);
    }
    return *info;
}

void BxGIFFrame::Draw(const BxRect& rect, const BxDrawTarget& target) const {
    const BxIndexedImage& image = GetImage();
    if (!GetTransparencyFlag()) {
        image.Draw(rect, target);
        return;
    }
    CheckInside(rect);
    for (std::int64_t y = 0; y < rect.Height(); ++y) {
        for (std::int64_t x = 0; x < rect.Width(); ++x) {
            target.Put(x, y, background_[0], background_[1], background_[2]);
        }
    }
    image.DrawThrough(GetMask(), rect, target);
}

std::unique_ptr<BxImage> BxGIFFrame::Crop(const BxRect& rect) const {
    return Assemble(AsIndexed(GetImage().Crop(rect)), AsBitmap(GetMask().Crop(rect)));
}

void BxGIFFrame::Paste(std::int64_t x, std::int64_t y, const BxImage& source) {
    const auto* frame = dynamic_cast<const BxGIFFrame*>(&source);
    if (!frame) {
        BxRaise(kBxErrBadArgument);
    }
    GetImage().Paste(x, y, frame->GetImage());
    GetMask().Paste(x, y, frame->GetMask());
    SetTransparencyFlag(HasTransparentPixels() ? 1 : 0);
}

std::unique_ptr<BxImage> BxGIFFrame::Rotate(double angle, BxColor fill) const {
    std::unique_ptr<BxImage> turned = GetImage().Rotate(angle, fill);
    std::unique_ptr<BxIndexedImage> indexed;
    if (auto* rgb = dynamic_cast<BxRGBImage*>(turned.get())) {
        BxQuantRemap remap;
        remap.SetPalette(GetImage().Palette());
        remap.SetDither(false);
        remap.SetSource(rgb);
        indexed = remap.Run();
        indexed->CopyFormatInfo(GetImage());
    } else {
        indexed = AsIndexed(std::move(turned));
    }
    return Assemble(std::move(indexed), AsBitmap(GetMask().Rotate(angle, fill)));
}

void BxGIFFrame::FlipHorizontal() {
    GetImage().FlipHorizontal();
    GetMask().FlipHorizontal();
}

void BxGIFFrame::FlipVertical() {
    GetImage().FlipVertical();
    GetMask().FlipVertical();
}

std::unique_ptr<BxImage> BxGIFFrame::Scale(std::uint32_t width, std::uint32_t height) const {
    std::unique_ptr<BxIndexedImage> scaled = AsIndexed(GetImage().Scale(width, height));
    // The record goes along as with the other transforms: without it the scaled frame would
    // forget its transparency flag and show the pixels its mask hides.
    scaled->CopyFormatInfo(GetImage());
    return Assemble(std::move(scaled), AsBitmap(GetMask().Scale(width, height)));
}

void BxGIFFrame::DrawThrough(BxImage&, const BxRect&, const BxDrawTarget&) const {
    BxRaise(kBxErrNotImplemented);
}

void BxGIFFrame::DrawThroughMasked(BxImage&, const BxOpacityMask*, const BxRect&,
                                   const BxDrawTarget&) const {
    BxRaise(kBxErrNotImplemented);
}

void BxGIFFrame::DrawThroughMasked(BxImage& other, const BxRect& rect,
                                   const BxDrawTarget& target) const {
    GetImage().DrawThroughMasked(other, &GetMask(), rect, target);
}

void BxGIFFrame::AcceptStrip(const BxRect&, const std::uint8_t*, const BxDrawTarget&) {
    BxRaise(kBxErrNotImplemented);
}

void BxGIFFrame::Reset() {
    image_.reset();
    mask_.reset();
    background_ = {0, 0, 0};
}

BxColor BxGIFFrame::FillColor() const {
    return BxPackColor(background_[0], background_[1], background_[2]);
}

BxIndexedImage& BxGIFFrame::GetImage() const {
    if (!image_) {
        BxRaise(kBxErrMissing);
    }
    return *image_;
}

BxBitmapImage& BxGIFFrame::GetMask() const {
    if (!mask_) {
        BxRaise(kBxErrMissing);
    }
    return *mask_;
}

std::unique_ptr<BxIndexedImage> BxGIFFrame::ReplaceImage(std::unique_ptr<BxIndexedImage> image) {
    if (!image || !image->GetFormatInfo() || !image_) {
        BxRaise(kBxErrMissing);
    }
    std::swap(image, image_);
    return image;
}

std::unique_ptr<BxGIFFrame> BxGIFFrame::Assemble(std::unique_ptr<BxIndexedImage> image,
                                                 std::unique_ptr<BxBitmapImage> mask) const {
    if (mask->GetWidth() != image->GetWidth() || mask->GetHeight() != image->GetHeight()) {
        BxRaise(kBxErrBadArgument);
    }
    std::unique_ptr<BxGIFFrame> frame(new (std::nothrow) BxGIFFrame());
    if (!frame) {
        BxRaise(kBxErrNoMemory);
    }
    frame->width_ = image->GetWidth();
    frame->height_ = image->GetHeight();
    frame->image_ = std::move(image);
    frame->mask_ = std::move(mask);
    frame->background_ = background_;
    frame->AttachDefaultRecord();
    return frame;
}

bool BxGIFFrame::HasTransparentPixels() const {
    const BxBitmapImage& mask = GetMask();
    BxPixelLock lock(mask);
    const std::uint8_t polarity = mask.Polarity();
    // Eight opaque pixels at once: a byte of all opaque bits.
    const std::uint8_t opaqueByte = polarity ? 0x00 : 0xFF;
    const std::uint32_t width = mask.GetWidth();
    const std::uint32_t wholeBytes = width / 8;
    for (std::uint32_t y = 0; y < mask.GetHeight(); ++y) {
        const std::uint8_t* row = lock.Row(y);
        for (std::uint32_t b = 0; b < wholeBytes; ++b) {
            if (row[b] != opaqueByte) {
                return true;
            }
        }
        for (std::uint32_t x = wholeBytes * 8; x < width; ++x) {
            if (StoredBit(row, x) == polarity) {
                return true;
            }
        }
    }
    return false;
}

bool BxGIFFrame::IsTransparentAt(std::uint32_t x, std::uint32_t y) const {
    return !GetMask().IsOpaque(x, y);
}

void BxGIFFrame::ClearMask() {
    BxBitmapImage& mask = GetMask();
    // The bits past the width in a row's last byte and the row padding are never read.
    const std::uint8_t opaqueByte = mask.Polarity() ? 0x00 : 0xFF;
    BxPixelLock lock(mask);
    std::fill_n(lock.Pixels(), mask.StoredRowBytes() * mask.GetHeight(), opaqueByte);
    SetTransparencyFlag(0);
}

void BxGIFFrame::MarkIndex(std::uint8_t index, bool invert) {
    BxIndexedImage& image = GetImage();
    BxBitmapImage& mask = GetMask();
    const std::uint8_t bit = invert ? (mask.Polarity() ? 0 : 1) : mask.Polarity();
    bool matched = false;
    {
        BxPixelLock pixels(image);
        BxPixelLock bits(mask);
        const std::uint32_t width = image.GetWidth();
        const auto mark = [bit, &matched](std::uint8_t& stored, std::uint8_t hits) {
            stored = static_cast<std::uint8_t>(bit ? (stored | hits) : (stored & ~hits));
            matched = matched || hits != 0;
        };
#if defined(__SSE2__)
        const __m128i wanted = _mm_set1_epi8(static_cast<char>(index));
#endif
        for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
            const std::uint8_t* row = pixels.Row(y);
            std::uint8_t* maskRow = bits.Row(y);
            std::uint32_t x0 = 0;
#if defined(__SSE2__)
            // Sixteen pixels make two mask bytes.
            for (; width - x0 >= 16; x0 += 16) {
                const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x0));
                const auto hits =
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(values, wanted)));
                if (hits != 0) {
                    mark(maskRow[x0 >> 3], kReversedBits[hits & 0xFF]);
                    mark(maskRow[(x0 >> 3) + 1], kReversedBits[hits >> 8]);
                }
            }
#endif
            // The matches of eight pixels make one mask byte's worth of bits.
            for (; x0 < width; x0 += 8) {
                const std::uint8_t hits = MatchBits(row + x0, std::min(8u, width - x0), index);
                if (hits != 0) {
                    mark(maskRow[x0 >> 3], hits);
                }
            }
        }
    }
    if (matched) {
        SetTransparencyFlag(HasTransparentPixels() ? 1 : 0);
    }
}

void BxGIFFrame::MaskFromIndex(std::uint8_t index) {
    ClearMask();
    MarkIndex(index, false);
}

void BxGIFFrame::SyncMask() {
    if (GetTransparencyFlag()) {
        MaskFromIndex(GetTransparentIndex());
    } else {
        ClearMask();
    }
}

void BxGIFFrame::PaintTransparent(std::uint8_t index) {
    BxIndexedImage& image = GetImage();
    const BxBitmapImage& mask = GetMask();
    BxPixelLock pixels(image);
    BxPixelLock bits(mask);
    const std::uint8_t polarity = mask.Polarity();
    const std::uint32_t width = image.GetWidth();
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
        std::uint8_t* row = pixels.Row(y);
        const std::uint8_t* maskRow = bits.Row(y);
        // A mask byte at a time: its set bits are the transparent pixels of eight.
        for (std::uint32_t x0 = 0; x0 < width; x0 += 8) {
            const auto transparent =
                static_cast<std::uint8_t>(~OpaqueBits(maskRow[x0 >> 3], polarity));
            if (transparent == 0) {
                continue;
            }
            if (transparent == 0xFF && x0 + 8 <= width) {
                std::fill_n(row + x0, 8, index);
                continue;
            }
            const std::uint32_t end = std::min(width, x0 + 8);
            for (std::uint32_t x = x0; x < end; ++x) {
                if (transparent & (0x80 >> (x - x0))) {
                    row[x] = index;
                }
            }
        }
    }
}

void BxGIFFrame::ChooseTransparentIndex(bool force) {
    if (!GetTransparencyFlag() && !force) {
        return;
    }
    BxIndexedImage& image = GetImage();
    BxIndexCounts counts{};
    image.CountIndices(&counts, &GetMask());
    BxColorTable& palette = image.Palette();
    const std::size_t n = std::min<std::size_t>(palette.Count(), counts.size());
    const std::uint32_t used = BxIndexedImage::CountUsed(&counts, n);
    std::size_t transparent = 0;
    if (used == 64 || used == 128 || used == 256) {
        // One more colour would double the table the file stores: give up the colour whose loss
        // costs least (its pixels times how far they move).
        constexpr std::size_t kCandidates = 5;
        constexpr std::uint32_t kTaken = 2147483647;
        std::size_t best = 0;
        std::size_t bestTarget = 0;
        float bestScore = 0.0F;
        for (std::size_t c = 0; c < kCandidates; ++c) {
            std::size_t lowest = 0;
            for (std::size_t i = 1; i < n; ++i) {
                if (counts[i] < counts[lowest]) {
                    lowest = i;
                }
            }
            const std::uint32_t count = counts[lowest];
            counts[lowest] = kTaken;
            const std::size_t other = palette.NearestOther(lowest);
            const BxColor a = palette.ColorAt(lowest);
            const BxColor b = palette.ColorAt(other);
            const std::uint32_t distance = BxColorDistance(BxRedOf(a), BxGreenOf(a), BxBlueOf(a),
                                                           BxRedOf(b), BxGreenOf(b), BxBlueOf(b));
            const double score = static_cast<double>(count) * static_cast<double>(distance);
            if (c == 0 || score < bestScore) {
                bestScore = static_cast<float>(score);
                best = lowest;
                bestTarget = other;
            }
        }
        image.ReplaceIndex(static_cast<std::uint8_t>(best), static_cast<std::uint8_t>(bestTarget));
        transparent = best;
    } else if (used == n) {
        if (n >= 256) {
            BxRaise(kBxErrBadArgument);
        }
        palette.Resize(n + 1);
        transparent = n;
    } else {
        bool found = false;
        transparent = BxIndexedImage::FirstFree(&counts, n, &found);
    }
    PaintTransparent(static_cast<std::uint8_t>(transparent));
    GIFInfo().transparentIndex = static_cast<std::uint8_t>(transparent);
}

std::unique_ptr<BxGIFFrame> BxGIFFrame::CropToContent() const {
    const BxBitmapImage& mask = GetMask();
    const std::uint32_t w = mask.GetWidth();
    const std::uint32_t h = mask.GetHeight();
    std::uint32_t left = w;
    std::uint32_t top = h;
    std::uint32_t right = 0;
    std::uint32_t bottom = 0;
    {
        BxPixelLock bits(mask);
        const std::uint8_t polarity = mask.Polarity();
        for (std::uint32_t y = 0; y < h; ++y) {
            const std::uint8_t* row = bits.Row(y);
            for (std::uint32_t x = 0; x < w; ++x) {
                if (StoredBit(row, x) != polarity) {
                    left = std::min(left, x);
                    right = std::max(right, x + 1);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y + 1);
                }
            }
        }
    }
    if (right <= left) {
        left = 0;
        right = 1;
    }
    if (bottom <= top) {
        top = 0;
        bottom = 1;
    }
    return CropToArea(left, top, right, bottom);
}

std::unique_ptr<BxGIFFrame> BxGIFFrame::CropToArea(std::uint32_t left, std::uint32_t top,
                                                   std::uint32_t right,
                                                   std::uint32_t bottom) const {
    if (right <= left || bottom <= top || right > GetWidth() || bottom > GetHeight()) {
        BxRaise(kBxErrBadArgument);
    }
    const BxRect rect{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                      static_cast<std::int32_t>(bottom), static_cast<std::int32_t>(right)};
    std::unique_ptr<BxImage> cropped = Crop(rect);
    std::unique_ptr<BxGIFFrame> frame(static_cast<BxGIFFrame*>(cropped.release()));
    auto info = BxMake<BxGIFFrameInfo>(GIFInfo());
    info->left = static_cast<std::uint16_t>(info->left + left);
    info->top = static_cast<std::uint16_t>(info->top + top);
    info->width = static_cast<std::uint16_t>(right - left);
    info->height = static_cast<std::uint16_t>(bottom - top);
    frame->SetFormatInfo(std::move(info));
    return frame;
}
