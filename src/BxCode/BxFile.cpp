#include "BxCode/BxFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstring>
#include <new>

#include "BxCode/BxErrorCode.h"

std::int32_t BxFileErrorFor(int systemError) {
    switch (systemError) {
        case ENOENT:
            return kBxErrNoSuchFile;
        case E2BIG:
        case EINVAL:
            return kBxErrBadArgument;
        case EBADF:
            return kBxErrBadDescriptor;
        case EAGAIN:
        case EMFILE:
            return kBxErrTooManyFiles;
        case ENOMEM:
            return kBxErrNoMemory;
        case EACCES:
            return kBxErrBadMode;
        case EEXIST:
            return kBxErrFileExists;
        case EXDEV:
            return kBxErrCrossDevice;
        case ENOSPC:
            return kBxErrNoSpace;
        case ERANGE:
            return kBxErrOutOfRange;
        default:
            return kBxErrFile;
    }
}

std::int32_t BxFileOpenErrorFor(int systemError) {
    switch (systemError) {
        case ENOENT:
            return kBxErrOpenNotFound;
        case EACCES:
            return kBxErrOpenDenied;
        case EEXIST:
        case EINVAL:
            return kBxErrAccess;
        case EMFILE:
            return kBxErrTooManyFiles;
        default:
            return kBxErrFile;
    }
}

namespace {

[[noreturn]] void RaiseSystemError(int systemError, const char* sourceFile = __builtin_FILE(),
                                   int sourceLine = __builtin_LINE()) {
    BxRaise(static_cast<BxErrorNumber>(BxFileErrorFor(systemError)), systemError, sourceFile,
            sourceLine);
}

}  // namespace

BxFile::~BxFile() {
    if (open_ && ownsDescriptor_ && !Detached() && descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

void BxFile::CheckOpen() const {
    if (!open_) {
        BxRaise(kBxErrNotOpen);
    }
}

void BxFile::Open(std::uint16_t mode, bool ownsDescriptor, int descriptor) {
    // Opening twice would lose the first descriptor, counting mode included.
    if (open_) {
        BxRaise(kBxErrAlreadyOpen);
    }
    counter_ = 0;
    if ((mode & kMemory) || ((mode & kWritable) && (mode & kCounting))) {
        OpenDetached(mode, ownsDescriptor);
        return;
    }
    if (!locator_.HasPath() && descriptor == 0) {
        BxRaise(kBxErrNoPath);
    }
    int opened = descriptor;
    if (descriptor == 0) {
        int flags = 0;
        switch (mode) {
            case kReadable:
                flags = O_RDONLY;
                break;
            case kWritable:
                flags = O_WRONLY | O_CREAT | O_TRUNC;
                break;
            case kReadable | kWritable:
                flags = O_RDWR;
                break;
            default:
                BxRaise(kBxErrBadMode);
        }
        opened = ::open(locator_.Path().c_str(), flags | O_CLOEXEC, 0666);
        if (opened < 0) {
            const int error = errno;
            BxRaise(static_cast<BxErrorNumber>(BxFileOpenErrorFor(error)), error);
        }
    }
    if (mode == kReadable) {
        readBuffer_.reset(new (std::nothrow) std::uint8_t[kReadAhead]);
        if (!readBuffer_) {
            if (descriptor == 0) {
                ::close(opened);
            }
            BxRaise(kBxErrNoMemory);
        }
        window_ = readBuffer_.get();
    }
    bufferLength_ = 0;
    bufferPosition_ = 0;
    descriptor_ = opened;
    mode_ = mode;
    ownsDescriptor_ = ownsDescriptor;
    open_ = true;
}

// Memory reads see the whole source as one read-ahead window that never refills; memory writes
// and counting keep their length in the counter.
void BxFile::OpenDetached(std::uint16_t mode, bool ownsDescriptor) {
    const bool reads = (mode & kReadable) != 0;
    const bool writes = (mode & kWritable) != 0;
    if (reads == writes || ((mode & kCounting) && (mode & kMemory))) {
        BxRaise(kBxErrBadMode);
    }
    window_ = reads ? source_.data() : nullptr;
    bufferStart_ = 0;
    bufferLength_ = reads ? source_.size() : 0;
    bufferPosition_ = 0;
    written_.clear();
    mode_ = mode;
    ownsDescriptor_ = ownsDescriptor;
    descriptor_ = -1;
    open_ = true;
}

void BxFile::Close() {
    CheckOpen();
    const bool closeDescriptor = ownsDescriptor_ && !Detached() && descriptor_ >= 0;
    const int descriptor = descriptor_;
    // A descriptor that stays with its owner is left where this file's reading got to, not
    // where the read-ahead got to.
    if (!ownsDescriptor_ && !Detached() && bufferLength_ > 0) {
        ::lseek(descriptor,
                static_cast<off_t>(bufferStart_ + static_cast<std::int64_t>(bufferPosition_)),
                SEEK_SET);
    }
    open_ = false;
    descriptor_ = -1;
    readBuffer_.reset();
    window_ = nullptr;
    bufferLength_ = 0;
    bufferPosition_ = 0;
    if (closeDescriptor && ::close(descriptor) != 0) {
        BxRaise(kBxErrBadDescriptor, errno);
    }
}

void BxFile::DropBuffer() {
    bufferLength_ = 0;
    bufferPosition_ = 0;
}

std::size_t BxFile::ReadDirect(std::uint8_t* destination, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(descriptor_, destination, count);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            BxRaise(kBxErrBadDescriptor, errno);
        }
    }
}

bool BxFile::Refill() {
    assert(bufferPosition_ == bufferLength_);
    if (mode_ & kMemory) {
        return false;
    }
    if (bufferLength_ > 0) {
        bufferStart_ += static_cast<std::int64_t>(bufferLength_);
    } else {
        const off_t at = ::lseek(descriptor_, 0, SEEK_CUR);
        bufferStart_ = at < 0 ? 0 : at;
    }
    bufferLength_ = 0;
    bufferPosition_ = 0;
    bufferLength_ = ReadDirect(readBuffer_.get(), kReadAhead);
    return bufferLength_ > 0;
}

std::size_t BxFile::Read(void* destination, std::size_t count) {
    CheckOpen();
    if (!(mode_ & kReadable)) {
        BxRaise(kBxErrAccess);
    }
    if (count == 0) {
        return 0;
    }
    auto* to = static_cast<std::uint8_t*>(destination);
    std::size_t done = 0;
    // Each pass takes at least one byte or ends the loop at the end of the file.
    while (done < count) {
        assert(bufferPosition_ <= bufferLength_ &&
               (bufferLength_ <= kReadAhead || (mode_ & kMemory)));
        if (!Buffered()) {
            const std::size_t got = ReadDirect(to + done, count - done);
            if (got == 0) {
                break;
            }
            done += got;
            continue;
        }
        if (bufferPosition_ < bufferLength_) {
            const std::size_t available = bufferLength_ - bufferPosition_;
            const std::size_t taken = available < count - done ? available : count - done;
            std::memcpy(to + done, window_ + bufferPosition_, taken);
            bufferPosition_ += taken;
            done += taken;
            continue;
        }
        if (!Refill()) {
            break;
        }
    }
    if (done == 0) {
        BxRaise(kBxErrEndOfFile);
    }
    return done;
}

std::uint8_t BxFile::ReadByte() {
    if (open_ && bufferPosition_ < bufferLength_) {
        return window_[bufferPosition_++];
    }
    std::uint8_t value = 0;
    Read(&value, 1);
    return value;
}

std::uint16_t BxFile::ReadWord() {
    std::uint8_t bytes[2] = {};
    if (Read(bytes, 2) < 2) {
        // A word cut by the end of the file: its missing half is past the end.
        BxRaise(kBxErrEndOfFile);
    }
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

void BxFile::Write(const void* source, std::size_t count) {
    CheckOpen();
    if (!(mode_ & kWritable)) {
        BxRaise(kBxErrAccess);
    }
    counter_ += static_cast<std::int64_t>(count);
    if (mode_ & kCounting) {
        return;
    }
    const auto* from = static_cast<const std::uint8_t*>(source);
    if (mode_ & kMemory) {
        written_.insert(written_.end(), from, from + count);
        return;
    }
    std::size_t done = 0;
    // Each pass writes at least one byte or raises.
    while (done < count) {
        const ssize_t put = ::write(descriptor_, from + done, count - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            RaiseSystemError(errno);
        }
        if (put == 0) {
            RaiseSystemError(ENOSPC);
        }
        done += static_cast<std::size_t>(put);
    }
}

void BxFile::WriteByte(std::uint8_t value) {
    Write(&value, 1);
}

void BxFile::WriteWord(std::uint16_t value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value & 0xFF),
                                   static_cast<std::uint8_t>(value >> 8)};
    Write(bytes, 2);
}

void BxFile::Seek(std::int64_t offset, std::uint16_t origin) {
    if (origin > kFromEnd) {
        BxRaise(kBxErrBadArgument);
    }
    if (InMemory()) {
        SeekMemory(offset, origin);
        return;
    }
    if (bufferLength_ > 0 && origin != kFromEnd) {
        const std::int64_t target =
            origin == kFromStart
                ? offset
                : bufferStart_ + static_cast<std::int64_t>(bufferPosition_) + offset;
        if (target >= bufferStart_ &&
            target <= bufferStart_ + static_cast<std::int64_t>(bufferLength_)) {
            bufferPosition_ = static_cast<std::size_t>(target - bufferStart_);
            return;
        }
        DropBuffer();
        if (::lseek(descriptor_, static_cast<off_t>(target), SEEK_SET) < 0) {
            RaiseSystemError(errno);
        }
        return;
    }
    DropBuffer();
    const int whence = origin == kFromStart     ? SEEK_SET
                       : origin == kFromCurrent ? SEEK_CUR
                                                : SEEK_END;
    if (::lseek(descriptor_, static_cast<off_t>(offset), whence) < 0) {
        RaiseSystemError(errno);
    }
}

// Only a source can be sought in; a target past its end is taken as its end, where the next read
// finds the end of the file as it would on disk.
void BxFile::SeekMemory(std::int64_t offset, std::uint16_t origin) {
    if (!(mode_ & kReadable)) {
        BxRaise(kBxErrBadMode);
    }
    const auto length = static_cast<std::int64_t>(bufferLength_);
    const std::int64_t base = origin == kFromStart     ? 0
                              : origin == kFromCurrent ? static_cast<std::int64_t>(bufferPosition_)
                                                       : length;
    if (offset < -base) {
        BxRaise(kBxErrBadArgument);
    }
    bufferPosition_ = static_cast<std::size_t>(offset > length - base ? length : base + offset);
}

std::int64_t BxFile::Tell() const {
    CheckOpen();
    if (mode_ & kMemory) {
        return (mode_ & kReadable) ? static_cast<std::int64_t>(bufferPosition_) : counter_;
    }
    if (mode_ & kCounting) {
        return counter_;
    }
    if (bufferLength_ > 0) {
        return bufferStart_ + static_cast<std::int64_t>(bufferPosition_);
    }
    const off_t at = ::lseek(descriptor_, 0, SEEK_CUR);
    if (at < 0) {
        RaiseSystemError(errno);
    }
    return at;
}

std::int64_t BxFile::GetLength() const {
    CheckOpen();
    if (mode_ & kMemory) {
        return (mode_ & kReadable) ? static_cast<std::int64_t>(bufferLength_) : counter_;
    }
    if (mode_ & kCounting) {
        return counter_;
    }
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) {
        RaiseSystemError(errno);
    }
    return status.st_size;
}

void BxFile::SetLength(std::int64_t length) {
    if (open_ && (mode_ & kCounting)) {
        counter_ = length;
        return;
    }
    if (InMemory()) {
        BxRaise(kBxErrBadMode);
    }
    if (!locator_.HasPath()) {
        return;
    }
    const int handle = ::open(locator_.Path().c_str(), O_RDWR | O_CLOEXEC);
    if (handle < 0) {
        return;
    }
    const int result = ::ftruncate(handle, static_cast<off_t>(length));
    const int error = errno;
    ::close(handle);
    if (result != 0) {
        RaiseSystemError(error);
    }
}
