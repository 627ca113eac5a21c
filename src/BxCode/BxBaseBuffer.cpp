#include "BxCode/BxBaseBuffer.h"

#include <limits>

#include "BxCode/BxErrorCode.h"

std::unique_ptr<BxBaseBuffer> BxBaseBuffer::Clone() const {
    BxRaise(kBxErrNotImplemented);
}

void BxBaseBuffer::CheckLocked() const {
    BxRaise(kBxErrNotImplemented);
}

void BxBaseBuffer::CheckAllocated() const {
    BxRaise(kBxErrNotImplemented);
}

void BxBaseBuffer::Allocate(std::size_t) {
    BxRaise(kBxErrNotImplemented);
}

void BxBaseBuffer::Free() {
    BxRaise(kBxErrNotImplemented);
}

void BxBaseBuffer::SetSize(std::size_t size) {
    size_ = size;
    Allocate(size);
}

void BxBaseBuffer::Release() {
    Free();
    size_ = 0;
}

std::uint8_t* BxBaseBuffer::Lock() {
    CheckLocked();
    if (lockCount_ == std::numeric_limits<std::uint16_t>::max()) {
        BxRaise(kBxErrMissing);
    }
    ++lockCount_;
    return address_;
}

void BxBaseBuffer::Unlock() {
    if (lockCount_ == 0) {
        BxRaise(kBxErrMissing);
    }
    --lockCount_;
}
