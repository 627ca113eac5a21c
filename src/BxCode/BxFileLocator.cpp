#include "BxCode/BxFileLocator.h"

#include <new>

#include "BxCode/BxErrorCode.h"

void BxFileLocator::SetPath(const char* path) {
    try {
        path_.assign(path ? path : "");
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
    kind_ = kPath;
}

void BxFileLocator::CopyFrom(const BxFileLocator& other) {
    if (this == &other) {
        return;
    }
    try {
        path_ = other.path_;
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
    kind_ = other.kind_;
}

std::string BxFileLocator::CopyPath() const {
    try {
        return path_;
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
}
