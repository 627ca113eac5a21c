#include "BxCode/BxLZWEncoder.h"

#include <new>

#include "BxCode/BxErrorCode.h"

BxLZWStringTable::BxLZWStringTable() : slots_(new (std::nothrow) Slot[kSlots]) {
    if (!slots_) {
        BxRaise(kBxErrNoMemory);
    }
    Reset();
}

void BxLZWStringTable::Reset() {
    for (std::int32_t i = 0; i < kSlots; ++i) {
        slots_[i] = Slot{-1, -1, 0};
    }
    overflow_ = kFirstOverflow;
    lastSlot_ = -1;
}

void BxLZWEncoder::Start(BxByteSink& sink, unsigned width) {
    if (width < 2) {
        width = 2;
    }
    if (width > 8) {
        BxRaise(kBxErrBadArgument);
    }
    auto* strings = new (std::nothrow) BxLZWStringTable();
    if (!strings) {
        BxRaise(kBxErrNoMemory);
    }
    strings_.reset(strings);
    blocks_ = BxSubBlockWriter(sink);
    codes_ = BxLZWCodeWriter(blocks_);
    sink.WriteByte(static_cast<std::uint8_t>(width));
    clear_ = 1u << width;
    end_ = clear_ + 1;
    firstFree_ = clear_ + 2;
    initialCodeSize_ = width + 1;
    Restart();
    prefix_ = -1;
    WriteCode(clear_);
}

void BxLZWEncoder::Restart() {
    strings_->Reset();
    codeSize_ = initialCodeSize_;
    outputWidth_ = codeSize_;
    limit_ = 1u << codeSize_;
    next_ = firstFree_;
}

void BxLZWEncoder::EncodeRows(const std::uint8_t* firstRow, std::uint32_t width, std::uint32_t rows,
                              std::ptrdiff_t stride) {
    if (width == 0 || !strings_) {
        return;
    }
    BxLZWStringTable& strings = *strings_;
    for (std::uint32_t y = 0; y < rows; ++y) {
        const std::uint8_t* row = firstRow + std::ptrdiff_t{y} * stride;
        std::uint32_t x = 0;
        if (prefix_ < 0) {
            prefix_ = row[x++];
        }
        auto prefix = static_cast<std::uint16_t>(prefix_);
        for (; x < width; ++x) {
            const std::uint8_t byte = row[x];
            const std::int32_t found = strings.Find(prefix, byte);
            if (found >= 0) {
                prefix = static_cast<std::uint16_t>(found);
                continue;
            }
            strings.Add(prefix, byte, static_cast<std::uint16_t>(next_++));
            WriteCode(prefix);
            if (next_ >= limit_) {
                if (codeSize_ < kMaxCodeSize) {
                    ++codeSize_;
                    limit_ <<= 1;
                } else {
                    // The table is full: clear exactly now, with the clear code at 12 bits.
                    const unsigned fullWidth = outputWidth_;
                    Restart();
                    outputWidth_ = fullWidth;
                    WriteCode(clear_);
                }
            }
            prefix = byte;
        }
        prefix_ = prefix;
    }
}

void BxLZWEncoder::End() {
    if (!strings_) {
        return;
    }
    if (prefix_ >= 0) {
        WriteCode(static_cast<std::uint32_t>(prefix_));
    }
    WriteCode(end_);
    codes_.Flush();
    blocks_.Finish();
    strings_.reset();
    prefix_ = -1;
}
