#include "BxCode/BxLZWDecoder.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

#include "BxCode/BxErrorCode.h"

void BxLZWDecoder::Start(BxByteSource& source) {
    const unsigned minimum = source.ReadByte();
    if (minimum > kMaxMinimumCodeSize) {
        BxRaise(kBxErrMalformedGIF);
    }
    table_.reset(new (std::nothrow) Entry[kTableEntries]);
    // Zeroed: a chunk written whole carries the bytes after a string through unchanged.
    pending_.reset(new (std::nothrow) std::uint8_t[kPendingBytes]());
    if (!table_ || !pending_) {
        BxRaise(kBxErrNoMemory);
    }
    blocks_ = BxSubBlockReader(source);
    codes_ = BxLZWCodeReader(blocks_);
    minimumCodeSize_ = minimum;
    clear_ = 1u << minimum;
    end_ = clear_ + 1;
    firstFree_ = clear_ + 2;
    initialCodeSize_ = minimum + 1;
    // Literals stand for themselves; minimum code sizes above 8 have literals past a byte,
    // which keep their low byte as pixels do.
    for (std::uint32_t code = 0; code < clear_; ++code) {
        const auto byte = static_cast<std::uint8_t>(code);
        table_[code] = Entry{{byte}, 0, 1, byte};
    }
    pendingBegin_ = 0;
    pendingEnd_ = 0;
    ended_ = false;
    state_ = Cleared();
}

void BxLZWDecoder::End() {
    table_.reset();
    pending_.reset();
    pendingBegin_ = 0;
    pendingEnd_ = 0;
}

BxLZWDecoder::CodeState BxLZWDecoder::Cleared() const {
    return CodeState{initialCodeSize_, 1u << initialCodeSize_, firstFree_, -1};
}

void BxLZWDecoder::Grow(CodeState& state) {
    // The width grows once the next code no longer fits. With minimum code size 1 the first free
    // code already equals the limit, so this is checked after every code, the first after a
    // clear included.
    if (state.next >= state.limit && state.size < kMaxCodeSize) {
        ++state.size;
        state.limit <<= 1;
    }
}

inline void BxLZWDecoder::Define(Entry* table, CodeState& state, std::uint32_t previous,
                                 std::uint8_t byte) {
    if (state.next == kTableEntries) {
        return;
    }
    const Entry& from = table[previous];
    Entry& to = table[state.next];
    const std::uint32_t used = from.length % kChunk;  // 0 when its last chunk is full
    if (used != 0) {
        std::memcpy(to.tail, from.tail, kChunk);
        to.prefix = from.prefix;
    } else {
        std::memset(to.tail, 0, kChunk);
        to.prefix = static_cast<std::uint16_t>(previous);
    }
    to.tail[used] = byte;
    to.length = static_cast<std::uint16_t>(from.length + 1u);
    to.first = from.first;
    ++state.next;
}

inline void BxLZWDecoder::WriteString(const Entry* table, std::uint8_t* out, std::uint32_t code,
                                      std::size_t room) {
    const Entry* entry = &table[code];
    std::size_t at = (entry->length - 1u) & ~std::size_t{kChunk - 1};
    const std::size_t tailLength = entry->length - at;
    if (at + kChunk <= room) {
        // Mask bytes: 0xFF for each byte of the tail, 0 for each byte after it to keep.
        static constexpr std::uint8_t kMasks[2 * kChunk] = {0xFF, 0xFF, 0xFF, 0xFF,
                                                            0xFF, 0xFF, 0xFF, 0xFF};
        std::uint64_t mask = 0;
        std::uint64_t tail = 0;
        std::uint64_t kept = 0;
        std::memcpy(&mask, kMasks + kChunk - tailLength, kChunk);
        std::memcpy(&tail, entry->tail, kChunk);
        std::memcpy(&kept, out + at, kChunk);
        const std::uint64_t merged = (tail & mask) | (kept & ~mask);
        std::memcpy(out + at, &merged, kChunk);
    } else {
        for (std::size_t i = 0; i < tailLength; ++i) {
            out[at + i] = entry->tail[i];
        }
    }
    while (at > 0) {
        at -= kChunk;
        entry = &table[entry->prefix];
        std::memcpy(out + at, entry->tail, kChunk);
    }
}

std::uint32_t BxLZWDecoder::FillRow(std::uint8_t* row, std::uint32_t x, std::uint32_t width) {
    // Locals: the compiler would otherwise take each pixel written for one that may change the
    // state, and load it again. They go back at the end; after an error the decoder is not used
    // again.
    Entry* const table = table_.get();
    BxLZWCodeReader codes = codes_;
    CodeState state = state_;
    const std::uint32_t clear = clear_;
    const std::uint32_t end = end_;
    while (x < width) {
        std::uint16_t code = 0;
        if (!codes.Read(state.size, &code) || code == end) {
            ended_ = true;
            break;
        }
        if (code == clear) {
            state = Cleared();
            continue;
        }
        std::uint32_t string = code;  // the entry whose string comes out
        if (state.previous < 0) {
            // After a clear (or at the start) only a literal makes sense: no string is defined.
            if (code >= clear) {
                BxRaise(kBxErrMalformedGIF);
            }
        } else {
            const auto previous = static_cast<std::uint32_t>(state.previous);
            if (code < state.next) {
                Define(table, state, previous, table[code].first);
            } else {
                // The string defined by this very code: the previous one plus its own first
                // byte. A larger code is read the same way.
                string = state.next;
                Define(table, state, previous, table[previous].first);
            }
        }
        state.previous = static_cast<std::int32_t>(string);
        Grow(state);
        const std::uint32_t length = table[string].length;
        assert(length <= kTableEntries);
        if (length > width - x) {
            // The string runs on past the row: it waits, in order, for the rows that follow.
            WriteString(table, pending_.get(), string, kPendingBytes);
            pendingBegin_ = 0;
            pendingEnd_ = length;
            break;
        }
        WriteString(table, row + x, string, width - x);
        x += length;
    }
    codes_ = codes;
    state_ = state;
    return x;
}

void BxLZWDecoder::DecodeRows(std::uint8_t* firstRow, std::uint32_t width, std::uint32_t rows,
                              std::ptrdiff_t stride) {
    // A frame of width or height 0 owns no pixel memory; nothing may be written for it.
    if (width == 0 || rows == 0 || !table_) {
        return;
    }
    std::uint32_t y = 0;
    std::uint32_t x = 0;
    std::uint8_t* row = firstRow;
    // Each pass either fills pixels, reads codes, or returns; the code stream is finite (the
    // source ends), so the loop ends too.
    for (;;) {
        while (pendingBegin_ < pendingEnd_ && x < width) {
            const auto taken = static_cast<std::uint32_t>(
                std::min<std::size_t>(pendingEnd_ - pendingBegin_, width - x));
            std::memcpy(row + x, pending_.get() + pendingBegin_, taken);
            pendingBegin_ += taken;
            x += taken;
        }
        if (x < width && !ended_) {
            x = FillRow(row, x, width);
        }
        if (x == width) {
            if (++y == rows) {
                return;
            }
            x = 0;
            row = firstRow + std::ptrdiff_t{y} * stride;
        } else if (ended_) {
            return;
        }
    }
}
