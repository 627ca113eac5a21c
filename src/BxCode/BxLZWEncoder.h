// GIF's variable-length-code LZW compression, in three layers: the string table finds and adds
// strings, the code writer packs codes least significant bit first, and BxSubBlockWriter cuts the
// bytes into sub-blocks. Resumable like the decoder: rows can come in several calls (the
// interlace passes), and the output goes to any sink (a file, or a counting file).
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "BxCode/BxByteStream.h"
#include "BxCode/BxGIFSubBlocks.h"

// The strings of the code table, without hashing: slot p holds a string that extends code p by
// one byte, and further strings extending p are chained from it into overflow slots. A slot
// holds the byte above the code, all ones when empty.
// Only the head slots of codes in use are ever read: those of the byte values, emptied by Reset,
// and that of each string added since, emptied by Add as its code is given out. Overflow slots
// are read only once a chain reaches them, which Add writes first. So a reset, at every clear
// code, touches a kilobyte rather than the whole table.
// The strings that repeat one byte value are also listed by value and length. They come into the
// table shortest first, so those of a value in the table are all lengths from 1 up to the
// longest; a run of equal bytes, common in pictures with flat or transparent areas, is then
// matched by comparing bytes (FollowRun) without a dependent table look-up per byte.
class BxLZWStringTable {
  public:
    static constexpr std::int32_t kSlots = 8192;
    static constexpr std::int32_t kFirstOverflow = 4096;
    // Longer runs are listed up to this length; Follow goes on from there.
    static constexpr std::size_t kLongestListedRun = 128;

    BxLZWStringTable() {
        for (std::size_t value = 0; value < kByteValues; ++value) {
            runCodes_[value][1] = static_cast<std::uint16_t>(value);
        }
        Reset();
    }
    // Every string gone, the overflow counter back to its start.
    void Reset() {
        std::memset(slots_, 0xFF, kByteValues * sizeof slots_[0]);
        overflow_ = kFirstOverflow;
        lastSlot_ = -1;
        longestRun_.fill(1);
    }

    // The code of string (prefix, byte), or -1; after a miss, Add may follow for the same string.
    std::int32_t Find(std::uint32_t prefix, std::uint8_t byte) {
        const std::uint32_t code = Longer(prefix, byte);
        if (code < kNoByte) {
            return static_cast<std::int32_t>(code);
        }
        return FindInChain(prefix, byte);
    }
    // Extends string `*code` by the bytes from `bytes[at]` on, up to `bytes[end]`, while each
    // longer string is at its prefix's head slot; gives where that stopped and leaves `*code` at
    // the string matched.
    std::uint32_t Follow(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end,
                         std::uint32_t* code) const {
        std::size_t matched = *code;
        const std::uint8_t* byte = bytes + at;
        // Two bytes a step while a pair is left: one bound check for two look-ups.
        const std::uint8_t* const pairsEnd = byte + ((end - at) & ~1u);
        for (; byte != pairsEnd; byte += 2) {
            const std::uint32_t longer = Longer(matched, byte[0]);
            if (longer >= kNoByte) {
                break;
            }
            matched = Longer(longer, byte[1]);
            if (matched >= kNoByte) {
                *code = longer;
                return static_cast<std::uint32_t>(byte + 1 - bytes);
            }
        }
        if (byte != bytes + end) {
            const std::uint32_t longer = Longer(matched, *byte);
            if (longer < kNoByte) {
                matched = longer;
                ++byte;
            }
        }
        *code = static_cast<std::uint32_t>(matched);
        return static_cast<std::uint32_t>(byte - bytes);
    }
    // Extends the string of byte value `*code` along the run of that value from `bytes[at]` on,
    // up to `bytes[end]`, as far as the listed runs go; gives where that stopped and leaves
    // `*code` at the string matched.
    std::uint32_t FollowRun(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t end,
                            std::uint32_t* code) const {
        const auto value = static_cast<std::uint8_t>(*code);
        const std::uint32_t most = std::min<std::uint32_t>(end - at, longestRun_[value] - 1u);
        std::uint32_t length = 0;
        while (length < most && bytes[at + length] == value) {
            ++length;
        }
        *code = runCodes_[value][1 + length];
        return at + length;
    }
    void Add(std::uint32_t prefix, std::uint8_t byte, std::uint32_t code) {
        // Invariant: at most 4096 strings between resets, so overflow slots never run out.
        assert(overflow_ < kSlots && code < kNoByte);
        // The longest listed run of `byte` and one more of it: the next run, as runs come in
        // shortest first.
        const std::uint16_t longest = longestRun_[byte];
        if (runCodes_[byte][longest] == prefix && longest < kLongestListedRun) {
            runCodes_[byte][longest + 1] = static_cast<std::uint16_t>(code);
            longestRun_[byte] = static_cast<std::uint16_t>(longest + 1);
        }
        std::int32_t slot = static_cast<std::int32_t>(prefix);
        if (lastSlot_ >= 0) {
            slot = overflow_;
            next_[lastSlot_] = static_cast<std::int16_t>(slot);
        }
        slots_[slot] = (std::uint32_t{byte} << kByteShift) | code;
        next_[slot] = -1;
        ++overflow_;
        // No string extends the new one yet.
        slots_[code] = kEmpty;
    }

  private:
    static constexpr std::size_t kByteValues = 256;
    static constexpr unsigned kByteShift = 16;
    static constexpr std::uint32_t kNoByte = 1u << kByteShift;
    static constexpr std::uint32_t kEmpty = ~std::uint32_t{0};

    // The code of the string in the head slot of `code` if that string ends in `byte`, else
    // kNoByte or more: the byte sought leaves just the code, another byte or an empty slot more.
    std::uint32_t Longer(std::size_t code, std::uint8_t byte) const {
        return slots_[code] ^ (std::uint32_t{byte} << kByteShift);
    }
    // Find past the head slot: the string found there moves to the head, where the next look-up
    // of it ends at once.
    std::int32_t FindInChain(std::uint32_t prefix, std::uint8_t byte);

    std::uint32_t slots_[kSlots];
    std::int16_t next_[kSlots];  // the next slot of the same prefix's chain, or -1
    std::int32_t overflow_ = kFirstOverflow;
    std::int32_t lastSlot_ = -1;  // the chain's end after the last miss, -1 for an empty slot
    // Per byte value, the code of its run of each listed length, and the longest listed.
    std::uint16_t runCodes_[kByteValues][kLongestListedRun + 1];
    std::array<std::uint16_t, kByteValues> longestRun_;
};

// Packs codes of varying width into bytes, least significant bit first.
class BxLZWCodeWriter {
  public:
    BxLZWCodeWriter() = default;
    explicit BxLZWCodeWriter(BxSubBlockWriter& blocks) : blocks_(&blocks) {}

    void Write(std::uint32_t code, unsigned width) {
        // Invariant: bits_ < 32 between calls, so at most 31 + 12 bits are held; they leave four
        // bytes at a time.
        accumulator_ |= std::uint64_t{code} << bits_;
        bits_ += width;
        if (bits_ >= 32) {
            for (unsigned i = 0; i < 4; ++i) {
                blocks_->Put(static_cast<std::uint8_t>(accumulator_ >> (8 * i)));
            }
            accumulator_ >>= 32;
            bits_ -= 32;
        }
    }
    // Emits the bytes still held, the last one partly filled.
    void Flush() {
        for (; bits_ > 0; bits_ -= std::min(bits_, 8u)) {
            blocks_->Put(static_cast<std::uint8_t>(accumulator_));
            accumulator_ >>= 8;
        }
        accumulator_ = 0;
    }

  private:
    BxSubBlockWriter* blocks_ = nullptr;
    std::uint64_t accumulator_ = 0;
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
