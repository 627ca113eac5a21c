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
    static constexpr std::size_t kTableEntries = 4096;

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
    static constexpr std::uint32_t kChunk = 8;
    // The longest string, one byte per code added after the literals, and room to write its last
    // chunk whole.
    static constexpr std::size_t kPendingBytes = kTableEntries + kChunk;

    // A string is cut into chunks of 8 bytes from its start; an entry holds the last chunk and
    // names the string of the chunks before it, so a string comes out 8 bytes a step.
    struct alignas(16) Entry {
        std::uint8_t tail[kChunk];  // the last chunk, (length - 1) % 8 + 1 bytes, then zeros
        std::uint16_t prefix;       // the code of the string's first (length - 1) / 8 * 8 bytes
        std::uint16_t length;       // bytes in the string, 1 for a literal
        std::uint8_t first;         // the string's first byte
    };

    // Where the code stream stands: the code width, the code at which it grows, the next code
    // to define (at most kTableEntries: a full table adds nothing more) and the code of the last
    // string, -1 after a clear.
    struct CodeState {
        unsigned size = 0;
        std::uint32_t limit = 0;
        std::uint32_t next = 0;
        std::int32_t previous = -1;
    };

    // The state after a clear.
    CodeState Cleared() const;
    static void Grow(CodeState& state);
    // Adds the string `previous` followed by `byte` while the table has room. The table comes
    // as a local of the caller's, which pixel writes cannot change.
    static void Define(Entry* table, CodeState& state, std::uint32_t previous, std::uint8_t byte);
    // Writes string `code` at `out`, which has `room` bytes; a room of 8 bytes past the start of
    // its last chunk lets that chunk go in one write (the bytes after the string are kept).
    static void WriteString(const Entry* table, std::uint8_t* out, std::uint32_t code,
                            std::size_t room);
    // Expands codes into `row` from `x` on while their strings fit before `width`, and gives
    // where they stopped: at `width`, at the end of the data, or at a string that runs past the
    // row and waits in pending_.
    std::uint32_t FillRow(std::uint8_t* row, std::uint32_t x, std::uint32_t width);

    BxSubBlockReader blocks_;
    BxLZWCodeReader codes_;
    std::unique_ptr<Entry[]> table_;
    // The rest of a string that ran past the end of a row, from pendingBegin_ to pendingEnd_,
    // for the next row (or the next call).
    std::unique_ptr<std::uint8_t[]> pending_;
    // Invariants: every entry below state_.next other than clear and end is defined, and a
    // defined entry longer than a chunk names a smaller defined code, so its string comes out
    // after (length - 1) / 8 steps; pendingBegin_ <= pendingEnd_ <= kTableEntries.
    std::size_t pendingBegin_ = 0;
    std::size_t pendingEnd_ = 0;
    unsigned minimumCodeSize_ = 0;
    unsigned initialCodeSize_ = 0;
    std::uint32_t clear_ = 0;
    std::uint32_t end_ = 0;
    std::uint32_t firstFree_ = 0;
    CodeState state_;
    bool ended_ = false;
};
