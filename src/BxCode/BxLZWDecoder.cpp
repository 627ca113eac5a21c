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
    ResetCodes();
}

void BxLZWDecoder::End() {
    table_.reset();
    pending_.reset();
    pendingBegin_ = 0;
    pendingEnd_ = 0;
}

void BxLZWDecoder::ResetCodes() {
    codeSize_ = initialCodeSize_;
    limit_ = 1u << codeSize_;
    next_ = firstFree_;
    previous_ = -1;
}

void BxLZWDecoder::Grow() {
    // The width grows once the next code no longer fits. With minimum code size 1 the first free
    // code already equals the limit, so this is checked after every code, the first after a
    // clear included.
    if (next_ >= limit_ && codeSize_ < kMaxCodeSize) {
        ++codeSize_;
        limit_ <<= 1;
    }
}

inline void BxLZWDecoder::Define(std::uint32_t previous, std::uint8_t byte) {
    if (next_ == kTableEntries) {
        return;
    }
    const Entry& from = table_[previous];
    Entry& to = table_[next_];
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
    ++next_;
}

inline void BxLZWDecoder::WriteString(std::uint8_t* out, std::uint32_t code, std::size_t room) const {
    // A local: the compiler would otherwise take each byte written for one that may change the
    // table's pointer, and load it again.
    const Entry* const table = table_.get();
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

void BxLZWDecoder::DecodeRows(std::uint8_t* firstRow, std::uint32_t width, std::uint32_t rows,
                              std::ptrdiff_t stride) {
    // A frame of width or height 0 owns no pixel memory; nothing may be written for it.
    if (width == 0 || rows == 0 || !table_) {
        return;
    }
    std::uint32_t y = 0;
    std::uint32_t x = 0;
    std::uint8_t* row = firstRow;
    // Each pass either fills pixels, reads a code, or returns; the code stream is finite (the
    // source ends), so the loop ends too.
    for (;;) {
        while (pendingBegin_ < pendingEnd_) {
            const auto taken = static_cast<std::uint32_t>(
                std::min<std::size_t>(pendingEnd_ - pendingBegin_, width - x));
            std::memcpy(row + x, pending_.get() + pendingBegin_, taken);
            pendingBegin_ += taken;
            x += taken;
            if (x == width) {
                if (++y == rows) {
                    return;
                }
                x = 0;
                row = firstRow + std::ptrdiff_t{y} * stride;
            }
        }
        if (ended_) {
            return;
        }
        std::uint16_t code = 0;
        if (!codes_.Read(codeSize_, &code) || code == end_) {
            ended_ = true;
            return;
        }
        if (code == clear_) {
            ResetCodes();
            continue;
        }
        std::uint32_t string = code;  // the entry whose string comes out
        if (previous_ < 0) {
            // After a clear (or at the start) only a literal makes sense: no string is defined.
            if (code >= clear_) {
                BxRaise(kBxErrMalformedGIF);
            }
        } else {
            const auto previous = static_cast<std::uint32_t>(previous_);
            if (code < next_) {
                Define(previous, table_[code].first);
            } else {
                // The string defined by this very code: the previous one plus its own first
                // byte. A larger code is read the same way.
                string = next_;
                Define(previous, table_[previous].first);
            }
        }
        previous_ = static_cast<std::int32_t>(string);
        Grow();
        const std::uint32_t length = table_[string].length;
        assert(length <= kTableEntries);
        if (length <= width - x) {
            WriteString(row + x, string, width - x);
            x += length;
            if (x == width) {
                if (++y == rows) {
                    return;
                }
                x = 0;
                row = firstRow + std::ptrdiff_t{y} * stride;
            }
            continue;
        }
        // The string runs on past the row: it waits, in order, for the rows that follow.
        WriteString(pending_.get(), string, kPendingBytes);
        pendingBegin_ = 0;
        pendingEnd_ = length;
    }
}
