// GIF's variable-length-code LZW decompression, in three layers: sub-blocks (BxSubBlockReader)
// give bytes, the code reader gives codes, and the decoder expands codes into pixel rows. The
// decoder is resumable: each call fills the rows it is given and keeps its state, so the four
// passes of an interlaced frame run through one code stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "BxCode/BxByteStream.h"
#include "BxCode/BxGIFSubBlocks.h"

// Takes codes of a given width, least significant bit first, from a sub-block sequence.
class BxLZWCodeReader {
  public:
    BxLZWCodeReader() = default;
    explicit BxLZWCodeReader(BxSubBlockReader& blocks) : blocks_(&blocks) {}

    // The next code of `width` bits (1 to 12); false when the block terminator comes first.
    bool Read(unsigned width, std::uint16_t* code) {
        // Invariant: bits_ < 8 + width <= 20, so the accumulator never overflows.
        while (bits_ < width) {
            std::uint8_t byte = 0;
            if (!blocks_->NextByte(&byte)) {
                return false;
            }
            accumulator_ |= std::uint32_t{byte} << bits_;
            bits_ += 8;
        }
        *code = static_cast<std::uint16_t>(accumulator_ & ((1u << width) - 1));
        accumulator_ >>= width;
        bits_ -= width;
        return true;
    }

  private:
    BxSubBlockReader* blocks_ = nullptr;
    std::uint32_t accumulator_ = 0;
    unsigned bits_ = 0;
};

class BxLZWDecoder {
  public:
    static constexpr unsigned kMaxCodeSize = 12;
    // Minimum code sizes above this would make the first code 13 bits wide and index past the
    // table; they raise 28.
    static constexpr unsigned kMaxMinimumCodeSize = 11;
    static constexpr std::size_t kTableEntries = 4097;
    static constexpr std::size_t kStackEntries = 4098;

    BxLZWDecoder() = default;
    BxLZWDecoder(const BxLZWDecoder&) = delete;
    BxLZWDecoder& operator=(const BxLZWDecoder&) = delete;

    // Reads the minimum code size byte and sets up the tables.
    void Start(BxByteSource& source);
    // Fills `rows` rows of `width` pixels, the first at `firstRow` and each next one `stride`
    // bytes further. Returns when the rows are full or the data has ended; rows the data does not
    // reach keep what they held.
    void DecodeRows(std::uint8_t* firstRow, std::uint32_t width, std::uint32_t rows,
                    std::ptrdiff_t stride);
    // Frees the tables; the source stays wherever decoding stopped.
    void End();

    // The end code or the block terminator has been met.
    bool Ended() const { return ended_; }
    unsigned MinimumCodeSize() const { return minimumCodeSize_; }

  private:
    struct Entry {
        std::uint16_t prefix;  // the code of the string without its last byte
        std::uint16_t length;  // bytes in the string, 1 for a literal
        std::uint8_t suffix;   // the string's last byte
        std::uint8_t first;    // the string's first byte
    };

    void ResetCodes();
    void Grow();
    // Writes the `length` bytes of string `code` backwards, ending just before `end`.
    void WriteString(std::uint8_t* end, std::uint32_t code, std::uint32_t length) const;

    BxSubBlockReader blocks_;
    BxLZWCodeReader codes_;
    std::unique_ptr<Entry[]> table_;
    // The rest of a string that ran past the end of a row, from pendingBegin_ to pendingEnd_,
    // for the next row (or the next call).
    std::unique_ptr<std::uint8_t[]> pending_;
    // Invariants: every entry below min(next_, 4097) other than clear and end is defined, and a
    // defined entry's prefix is a smaller defined code, so its string ends in a literal after
    // length - 1 steps; pendingBegin_ <= pendingEnd_ <= kStackEntries.
    std::size_t pendingBegin_ = 0;
    std::size_t pendingEnd_ = 0;
    unsigned minimumCodeSize_ = 0;
    unsigned codeSize_ = 0;
    unsigned initialCodeSize_ = 0;
    std::uint32_t clear_ = 0;
    std::uint32_t end_ = 0;
    std::uint32_t firstFree_ = 0;
    std::uint32_t next_ = 0;
    std::uint32_t limit_ = 0;
    std::int32_t previous_ = -1;  // the code of the last string, -1 after a clear
    bool ended_ = false;
};
