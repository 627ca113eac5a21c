#include "BxCode/BxGIFSubBlocks.h"

#include <cassert>

bool BxSubBlockReader::Refill() {
    if (ended_ || !source_) {
        ended_ = true;
        return false;
    }
    const std::uint8_t size = source_->ReadByte();
    if (size == 0) {
        ended_ = true;
        return false;
    }
    count_ = static_cast<std::uint8_t>(source_->Read(block_, size));
    index_ = 0;
    assert(count_ > 0 && count_ <= size);
    return true;
}

void BxSubBlockWriter::EmitBlock() {
    block_[0] = static_cast<std::uint8_t>(fill_);
    sink_->Write(block_, 1 + std::size_t{fill_});
    fill_ = 0;
}

void BxSubBlockWriter::Finish() {
    if (fill_ > 0) {
        EmitBlock();
    }
    sink_->WriteByte(0x00);
}
