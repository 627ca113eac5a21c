// GIF's variable-length-code LZW compression, in three layers: the string table finds and adds
// strings, the code writer packs codes least significant bit first, and BxSubBlockWriter cuts the
// bytes into sub-blocks. Resumable like the decoder: rows can come in several calls (the
// interlace passes), and the output goes to any sink (a file, or a counting file).
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "BxCode/BxByteStream.h"
#include "BxCode/BxGIFSubBlocks.h"

// The strings of the code table, without hashing: slot p holds the first string that extends
// code p by one byte, and further strings extending p are chained from it into overflow slots.
class BxLZWStringTable {
  public:
    static constexpr std::int32_t kSlots = 8192;
    static constexpr std::int32_t kFirstOverflow = 4096;

    // Allocates the slots (2 on failure) and resets them.
    BxLZWStringTable();
    // Every slot empty, the overflow counter back to its start.
    void Reset();

    // The code of string (prefix, byte), or -1; after a miss, Add may follow for the same string.
    std::int32_t Find(std::uint16_t prefix, std::uint8_t byte) {
        std::int32_t slot = prefix;
        if (slots_[slot].code < 0) {
            lastSlot_ = -1;
            return -1;
        }
        // Chains only hold strings added since the last reset, fewer than 4096.
        for (;;) {
            if (slots_[slot].byte == byte) {
                return slots_[slot].code;
            }
            if (slots_[slot].next < 0) {
                lastSlot_ = slot;
                return -1;
            }
            slot = slots_[slot].next;
        }
    }
    void Add(std::uint16_t prefix, std::uint8_t byte, std::uint16_t code) {
        // Invariant: at most 4096 strings between resets, so overflow slots never run out.
        assert(overflow_ < kSlots);
        std::int32_t slot = prefix;
        if (lastSlot_ >= 0) {
            slot = overflow_;
            slots_[lastSlot_].next = static_cast<std::int16_t>(slot);
        }
        slots_[slot] = Slot{static_cast<std::int16_t>(code), -1, byte};
        ++overflow_;
    }

  private:
    struct Slot {
        std::int16_t code;  // -1 for an empty slot
        std::int16_t next;  // the next slot of the same prefix's chain, or -1
        std::uint8_t byte;  // the byte that extends the prefix
    };
    std::unique_ptr<Slot[]> slots_;
    std::int32_t overflow_ = kFirstOverflow;
    std::int32_t lastSlot_ = -1;  // the chain's end after the last miss, -1 for an empty slot
};

// Packs codes of varying width into bytes, least significant bit first.
class BxLZWCodeWriter {
  public:
    BxLZWCodeWriter() = default;
    explicit BxLZWCodeWriter(BxSubBlockWriter& blocks) : blocks_(&blocks) {}

    void Write(std::uint32_t code, unsigned width) {
        // Invariant: bits_ < 8 between calls, so at most 7 + 12 bits are held.
        accumulator_ |= code << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            blocks_->Put(static_cast<std::uint8_t>(accumulator_));
            accumulator_ >>= 8;
            bits_ -= 8;
        }
    }
    // Emits a partly filled last byte.
    void Flush() {
        if (bits_ > 0) {
            blocks_->Put(static_cast<std::uint8_t>(accumulator_));
        }
        accumulator_ = 0;
        bits_ = 0;
    }

  private:
    BxSubBlockWriter* blocks_ = nullptr;
    std::uint32_t accumulator_ = 0;
    unsigned bits_ = 0;
};

class BxLZWEncoder {
  public:
    static constexpr unsigned kMaxCodeSize = 12;

    BxLZWEncoder() = default;
    BxLZWEncoder(const BxLZWEncoder&) = delete;
    BxLZWEncoder& operator=(const BxLZWEncoder&) = delete;

    // Writes the minimum code size byte (a width of 1 becomes 2; above 8 raises 21) and the
    // clear code.
    void Start(BxByteSink& sink, unsigned width);
    // Compresses `rows` rows of `width` pixel bytes, each `stride` bytes after the previous one.
    // Pixel values must be below the clear code (callers keep them within the colour table).
    void EncodeRows(const std::uint8_t* firstRow, std::uint32_t width, std::uint32_t rows,
                    std::ptrdiff_t stride);
    // Writes the string in hand, the end code, the last sub-block and the terminator.
    void End();

    unsigned MinimumCodeSize() const { return initialCodeSize_ - 1; }

  private:
    void WriteCode(std::uint32_t code) {
        // The width is taken before the code size may grow, so the code written right after a
        // growth still has the old width; every later code has the new one.
        codes_.Write(code, outputWidth_);
        outputWidth_ = codeSize_;
    }
    void Restart();

    BxSubBlockWriter blocks_;
    BxLZWCodeWriter codes_;
    std::unique_ptr<BxLZWStringTable> strings_;
    std::uint32_t clear_ = 0;
    std::uint32_t end_ = 0;
    std::uint32_t firstFree_ = 0;
    // Invariant: firstFree_ <= next_ <= limit_ <= 4096 between pixels.
    std::uint32_t next_ = 0;
    std::uint32_t limit_ = 0;
    std::int32_t prefix_ = -1;  // the code of the string matched so far, -1 for none
    unsigned codeSize_ = 0;
    unsigned initialCodeSize_ = 0;
    unsigned outputWidth_ = 0;
};
