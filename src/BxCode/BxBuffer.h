// The library's buffer: a plain heap block, locked for as long as it is held.
#pragma once

#include "BxCode/BxBaseBuffer.h"

class BxBuffer : public BxBaseBuffer {
  public:
    BxBuffer() = default;
    ~BxBuffer() override;

    std::unique_ptr<BxBaseBuffer> Clone() const override;
    void CheckLocked() const override;
    void CheckAllocated() const override;
    void Allocate(std::size_t size) override;
    void Free() override;
};
