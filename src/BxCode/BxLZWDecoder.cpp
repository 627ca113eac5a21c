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
    pending_.reset(new (std::nothrow) std::uint8_t[kStackEntries]);
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
        table_[code] = Entry{0, 1, byte, byte};
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

void BxLZWDecoder::WriteString(std::uint8_t* end, std::uint32_t code, std::uint32_t length) const {
    // A local: the compiler would otherwise take each byte written for one that may change the
    // table's pointer, and load it again.
    const Entry* const table = table_.get();
    for (std::uint32_t i = 0; i < length; ++i) {
        *--end = table[code].suffix;
        code = table[code].prefix;
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
        std::uint32_t length = 0;     // its length, one more for a code not yet defined
        std::uint8_t lastByte = 0;    // the byte after it, for a code not yet defined
        bool pending = false;
        if (previous_ < 0) {
            // After a clear (or at the start) only a literal makes sense: no string is defined.
            if (code >= clear_) {
                BxRaise(kBxErrMalformedGIF);
            }
            length = 1;
            previous_ = code;
        } else {
            const auto previous = static_cast<std::uint32_t>(previous_);
            std::uint8_t first = 0;
            if (code < next_) {
                length = table_[code].length;
                first = table_[code].first;
            } else {
                // The string defined by this very code: the previous one plus its own first
                // byte. A larger code is read the same way.
                string = previous;
                length = table_[previous].length + 1u;
                first = table_[previous].first;
                lastByte = first;
                pending = true;
            }
            if (next_ < kTableEntries) {
                table_[next_] = Entry{static_cast<std::uint16_t>(previous),
                                      static_cast<std::uint16_t>(table_[previous].length + 1u),
                                      first, table_[previous].first};
            }
            // The previous code for the next step names the string just written: for a code not
            // yet defined, the entry just defined for it.
            previous_ = static_cast<std::int32_t>(pending ? next_ : code);
            if (next_ < kTableEntries) {
                ++next_;
            }
        }
        Grow();
        assert(length <= kStackEntries);
        if (length <= width - x) {
            if (pending) {
                row[x + length - 1] = lastByte;
                WriteString(row + x + length - 1, string, length - 1);
            } else {
                WriteString(row + x + length, string, length);
            }
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
        std::uint8_t* const waiting = pending_.get();
        if (pending) {
            waiting[length - 1] = lastByte;
            WriteString(waiting + length - 1, string, length - 1);
        } else {
            WriteString(waiting + length, string, length);
        }
        pendingBegin_ = 0;
        pendingEnd_ = length;
    }
}
