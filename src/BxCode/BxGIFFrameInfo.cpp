#include "BxCode/BxGIFFrameInfo.h"

#include <new>

#include "BxCode/BxErrorCode.h"

std::unique_ptr<BxImgFmtFrameInfo> BxGIFFrameInfo::Clone() const {
    auto* copy = new (std::nothrow) BxGIFFrameInfo(*this);
    if (!copy) {
        BxRaise(kBxErrNoMemory);
    }
    return std::unique_ptr<BxImgFmtFrameInfo>(copy);
}
