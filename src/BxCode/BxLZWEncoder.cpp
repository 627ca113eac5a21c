#include "BxCode/BxLZWEncoder.h"

#include <new>
#include <utility>

#include "BxCode/BxErrorCode.h"

std::int32_t BxLZWStringTable::FindInChain(std::uint32_t prefix, std::uint8_t byte) {
    const auto head = static_cast<std::int32_t>(prefix);
    if (slots_[head] == kEmpty) {
        lastSlot_ = -1;
        return -1;
    }
    const std::uint32_t sought = std::uint32_t{byte} << kByteShift;
    // Chains only hold strings added since the last reset, fewer than 4096.
    std::int32_t slot = head;
    while (next_[slot] >= 0) {
        slot = next_[slot];
        const std::uint32_t code = slots_[slot] ^ sought;
        if (code < kNoByte) {
            std::swap(slots_[slot], slots_[head]);
            return static_cast<std::int32_t>(code);
        }
    }
    lastSlot_ = slot;
    return -1;
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
        auto prefix = static_cast<std::uint32_t>(prefix_);
        for (;;) {
            x = strings.Follow(row, x, width, &prefix);
            if (x == width) {
                break;
            }
            const std::uint8_t byte = row[x++];
            const std::int32_t found = strings.Find(prefix, byte);
            if (found >= 0) {
                prefix = static_cast<std::uint32_t>(found);
                continue;
            }
            strings.Add(prefix, byte, next_++);
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
            x = strings.FollowRun(row, x, width, &prefix);
        }
        prefix_ = static_cast<std::int32_t>(prefix);
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
