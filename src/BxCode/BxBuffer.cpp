#include "BxCode/BxBuffer.h"

#include <cstdlib>
#include <new>

#include "BxCode/BxErrorCode.h"

BxBuffer::~BxBuffer() {
    std::free(handle_);
}

std::unique_ptr<BxBaseBuffer> BxBuffer::Clone() const {
    auto* buffer = new (std::nothrow) BxBuffer();
    if (!buffer) {
        BxRaise(kBxErrNoMemory);
    }
    return std::unique_ptr<BxBaseBuffer>(buffer);
}

void BxBuffer::CheckLocked() const {
    if (!handle_ || !address_) {
        BxRaise(kBxErrMissing);
    }
}

void BxBuffer::CheckAllocated() const {
    if (!handle_) {
        BxRaise(kBxErrMissing);
    }
}

void BxBuffer::Allocate(std::size_t size) {
    // Zeroed, so no pixel ever shows what the memory held before; a size of 0 still gets a byte
    // so that a held buffer always has an address.
    // calloc: a block fresh from the system is zero already and is not written over again.
    auto* block = static_cast<std::uint8_t*>(std::calloc(size ? size : 1, 1));
    if (!block) {
        BxRaise(kBxErrNoMemory);
    }
    std::free(handle_);
    handle_ = block;
    address_ = block;
    size_ = size;
}

void BxBuffer::Free() {
    if (!handle_) {
        BxRaise(kBxErrMissing);
    }
    std::free(handle_);
    handle_ = nullptr;
    address_ = nullptr;
    lockCount_ = 0;
}
