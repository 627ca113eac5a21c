#include "BxCode/BxGIFGlobalInfo.h"

#include <new>

#include "BxCode/BxErrorCode.h"

void BxGIFComment::Append(std::span<const std::uint8_t> bytes) {
    try {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
}

std::unique_ptr<BxImgFmtGlobalInfo> BxGIFGlobalInfo::Clone() const {
    BxGIFGlobalInfo* copy = nullptr;
    try {
        copy = new BxGIFGlobalInfo(*this);
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
    return std::unique_ptr<BxImgFmtGlobalInfo>(copy);
}
