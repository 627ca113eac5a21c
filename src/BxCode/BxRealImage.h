// An image with pixel storage: rows top to bottom, each RowBytes() long, directly one after the
// other in one buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "BxCode/BxBaseBuffer.h"
#include "BxCode/BxImage.h"

class BxRealImage : public BxImage {
  public:
    // No pixel buffer may exceed this: a file's few bytes can claim any size, and a claim this
    // large is refused (code 2) before anything is allocated.
    static constexpr std::size_t kMaxPixelBytes = std::size_t{256} << 20;

    using RowLengthFunction = std::size_t (*)(const BxRealImage& image, std::uint16_t bits,
                                              std::uint16_t samples, std::uint32_t width,
                                              std::uint32_t height);
    // (bits / 8) x samples x width for 8 and 16 bits; (samples x width + 7) / 8 otherwise.
    static std::size_t DefaultRowLength(const BxRealImage& image, std::uint16_t bits,
                                        std::uint16_t samples, std::uint32_t width,
                                        std::uint32_t height);

    // A new buffer for the new size; the old pixels are not kept. On failure nothing changes.
    void SetSize(std::uint32_t width, std::uint32_t height) override;
    std::unique_ptr<BxImage> Crop(const BxRect& rect) const override;
    void AcceptStrip(const BxRect& rect, const std::uint8_t* strip,
                     const BxDrawTarget& target) override;

    // An empty (cleared) image of this class for the rectangle's size; an indexed image keeps
    // its palette.
    virtual std::unique_ptr<BxRealImage> MakeEmpty(const BxRect& rect) const = 0;
    // 21 unless `source` can be pasted into this image.
    virtual void CheckCompatible(const BxRealImage& source) const = 0;
    virtual void AcceptStrip1(const BxRect& rect, const std::uint8_t* strip,
                              const BxDrawTarget& target);
    virtual void AcceptStrip8(const BxRect& rect, const std::uint8_t* strip,
                              const BxDrawTarget& target);
    virtual void AcceptStrip16(const BxRect& rect, const std::uint8_t* strip,
                               const BxDrawTarget& target);
    virtual void Clear() = 0;
    // Computes the row length and makes sure the buffer holds height x row bytes. True when it
    // took a new block, whose bytes are then all zero.
    virtual bool Allocate();
    virtual void Release();
    virtual std::size_t RowBytes() const;

    std::uint16_t BitsPerSample() const { return bitsPerSample_; }
    std::uint16_t SamplesPerPixel() const { return samplesPerPixel_; }
    std::size_t StoredRowBytes() const { return rowBytes_; }
    const BxBaseBuffer& Buffer() const { return *buffer_; }

    // Nestable pixel lock; every pixel loop runs between a lock and its unlock.
    std::uint8_t* LockPixels() const;
    void UnlockPixels() const;
    std::uint16_t LockCount() const { return buffer_->LockCount(); }

  protected:
    BxRealImage(std::int32_t kind, std::uint32_t width, std::uint32_t height,
                std::uint16_t bitsPerSample, std::uint16_t samplesPerPixel,
                std::unique_ptr<BxBaseBuffer> buffer);

    // Bytes a buffer needs for this image's kind at a size; 2 when over kMaxPixelBytes.
    std::size_t BufferBytes(std::uint32_t width, std::uint32_t height, std::size_t* rowBytes) const;
    // (x, y) clipped: the part of a w x h source at (x, y) that lands inside this image.
    struct Overlap {
        std::uint32_t sourceX = 0, sourceY = 0, x = 0, y = 0, width = 0, height = 0;
    };
    Overlap Clip(std::int64_t x, std::int64_t y, std::uint32_t width, std::uint32_t height) const;
    // The image to paste from, once it is known to be a real image this one accepts (21 else).
    const BxRealImage& PasteSource(const BxImage& source) const;

    std::unique_ptr<BxBaseBuffer> buffer_;
    std::uint16_t bitsPerSample_;
    std::uint16_t samplesPerPixel_;
    // Invariant, once allocated: buffer_ holds at least height_ x rowBytes_ bytes.
    std::size_t rowBytes_ = 0;
    RowLengthFunction rowLength_ = &DefaultRowLength;
};

// Holds the pixel lock of an image for a scope.
class BxPixelLock {
  public:
    explicit BxPixelLock(const BxRealImage& image) : image_(image), pixels_(image.LockPixels()) {}
    // A resize in the meantime may have dropped the lock with the old buffer.
    ~BxPixelLock() {
        if (image_.LockCount() > 0) {
            image_.UnlockPixels();
        }
    }
    BxPixelLock(const BxPixelLock&) = delete;
    BxPixelLock& operator=(const BxPixelLock&) = delete;

    std::uint8_t* Pixels() const { return pixels_; }
    std::uint8_t* Row(std::uint32_t y) const { return pixels_ + y * image_.StoredRowBytes(); }

  private:
    const BxRealImage& image_;
    std::uint8_t* pixels_;
};
