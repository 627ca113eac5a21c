// The outermost layer of GIF image data: data sub-blocks of a size byte (1 to 255) and that many
// bytes, ended by a size byte of 0, the block terminator.
#pragma once

#include <cstdint>

#include "BxCode/BxByteStream.h"

// Gives the data bytes of a sub-block sequence one at a time.
class BxSubBlockReader {
  public:
    BxSubBlockReader() = default;
    explicit BxSubBlockReader(BxByteSource& source) : source_(&source) {}

    // The next data byte; false at the block terminator and at every call after it. A sub-block
    // cut short by the end of the source keeps the bytes that were there; the next read past
    // them raises 18.
    bool NextByte(std::uint8_t* byte) {
        if (index_ < count_) {
            *byte = block_[index_++];
            return true;
        }
        return Refill() && NextByte(byte);
    }
    bool AtTerminator() const { return ended_; }

  private:
    bool Refill();

    BxByteSource* source_ = nullptr;
    // Invariant: index_ <= count_ <= 255.
    std::uint8_t block_[255] = {};
    std::uint8_t count_ = 0;
    std::uint8_t index_ = 0;
    bool ended_ = false;
};

// Packs bytes into sub-blocks of 255 and writes each one as it fills.
class BxSubBlockWriter {
  public:
    BxSubBlockWriter() = default;
    explicit BxSubBlockWriter(BxByteSink& sink) : sink_(&sink) {}

    void Put(std::uint8_t byte) {
        block_[1 + fill_] = byte;
        if (++fill_ == kMaxData) {
            EmitBlock();
        }
    }
    // Writes the partly filled sub-block, if it holds anything, and the terminator.
    void Finish();

  private:
    static constexpr std::uint16_t kMaxData = 255;
    void EmitBlock();

    BxByteSink* sink_ = nullptr;
    // block_[0] is the size byte. Invariant: fill_ < kMaxData between calls.
    std::uint8_t block_[1 + kMaxData] = {};
    std::uint16_t fill_ = 0;
};
