// A block of memory of fixed size: allocated once at the size its user computed, never grown.
// The lock count serves the image classes' nestable pixel lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class BxBaseBuffer {
  public:
    BxBaseBuffer() = default;
    BxBaseBuffer(const BxBaseBuffer&) = delete;
    BxBaseBuffer& operator=(const BxBaseBuffer&) = delete;
    virtual ~BxBaseBuffer() = default;

    // A new, empty buffer of the same kind. The base cannot make one (37).
    virtual std::unique_ptr<BxBaseBuffer> Clone() const;
    // Raise 27 unless the block is held and locked to an address.
    virtual void CheckLocked() const;
    // Raise 27 unless a block is held.
    virtual void CheckAllocated() const;
    // Obtains a block of `size` bytes (1 byte for 0), all zero, and locks it; 2 on failure.
    virtual void Allocate(std::size_t size);
    // Unlocks and frees the block; 27 when there is none.
    virtual void Free();

    // Stores the size, then allocates.
    void SetSize(std::size_t size);
    // Frees, then sets the size to 0.
    void Release();

    std::size_t Size() const { return size_; }
    bool IsAllocated() const { return handle_ != nullptr; }
    std::uint8_t* Address() const { return address_; }

    // Nestable lock: the first lock locks the block; every lock gives its address.
    std::uint8_t* Lock();
    // Undoes one lock; 27 when the buffer is not locked.
    void Unlock();
    std::uint16_t LockCount() const { return lockCount_; }

  protected:
    // Invariant: address_ is either null or handle_ itself; size_ bytes are readable from it.
    std::uint16_t lockCount_ = 0;
    std::size_t size_ = 0;
    std::uint8_t* address_ = nullptr;
    std::uint8_t* handle_ = nullptr;
};
