#include "BxCode/BxByteStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "BxCode/BxErrorCode.h"

std::size_t BxMemorySource::Read(void* destination, std::size_t count) {
    if (count == 0) {
        return 0;
    }
    const std::size_t available = bytes_.size() - position_;
    if (available == 0) {
        BxRaise(kBxErrEndOfFile);
    }
    const std::size_t taken = std::min(count, available);
    std::memcpy(destination, bytes_.data() + position_, taken);
    position_ += taken;
    return taken;
}

std::uint8_t BxMemorySource::ReadByte() {
    if (position_ == bytes_.size()) {
        BxRaise(kBxErrEndOfFile);
    }
    return bytes_[position_++];
}

void BxMemorySource::SetPosition(std::size_t position) {
    position_ = std::min(position, bytes_.size());
}

void BxMemorySink::Write(const void* source, std::size_t count) {
    const auto* from = static_cast<const std::uint8_t*>(source);
    try {
        bytes_.insert(bytes_.end(), from, from + count);
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
}

void BxMemorySink::WriteByte(std::uint8_t value) {
    try {
        bytes_.push_back(value);
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
}
