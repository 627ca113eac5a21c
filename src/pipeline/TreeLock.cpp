#include "pipeline/TreeLock.h"

#include <utility>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#define QUILLON_POSIX 1
#endif

namespace quillon {

TreeLock::~TreeLock() {
    Release();
}

TreeLock::TreeLock(TreeLock&& other) noexcept
    : descriptors_(std::move(other.descriptors_)), root_(std::move(other.root_)) {
    other.descriptors_.clear();
}

TreeLock& TreeLock::operator=(TreeLock&& other) noexcept {
    if (this != &other) {
        Release();
        descriptors_ = std::move(other.descriptors_);
        root_ = std::move(other.root_);
        other.descriptors_.clear();
    }
    return *this;
}

void TreeLock::Release() {
#ifdef QUILLON_POSIX
    for (const int descriptor : descriptors_) {
        ::close(descriptor);  // closing the last descriptor of a lock releases it
    }
#endif
    descriptors_.clear();
    root_.clear();
}

#ifdef QUILLON_POSIX
bool TreeLock::Lock(const std::filesystem::path& root, const TreeLock* held) {
    Release();
    std::error_code error;
    std::filesystem::path path = std::filesystem::weakly_canonical(root, error);
    if (error) {
        path = std::filesystem::absolute(root, error).lexically_normal();
    }
    root_ = path;
    // The tree itself exclusively, every folder above it shared: a run on an enclosing tree wants
    // that folder exclusively, a run inside this one wants this one shared.
    bool exclusive = true;
    for (;;) {
        const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (descriptor >= 0) {
            descriptors_.push_back(descriptor);
            if (::flock(descriptor, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
                Release();
                return false;
            }
        }
        exclusive = false;
        if (!path.has_relative_path()) {
            return true;
        }
        path = path.parent_path();
        if (held && !held->root_.empty() && path == held->root_) {
            return true;  // this run holds that folder, and the ones above it, already
        }
    }
}
#else
bool TreeLock::Lock(const std::filesystem::path&, const TreeLock*) {
    return true;
}
#endif

}  // namespace quillon
