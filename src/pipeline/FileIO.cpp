#include "pipeline/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define QUILLON_POSIX 1
#endif

namespace quillon {
namespace {

constexpr std::string_view kTemporaryMark = ".quillon-";
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr std::size_t kTemporaryDigits = 12;
// Room left in a 255-byte file name for the temporary name's own parts.
constexpr std::size_t kTemporaryNameRoom = 200;

// The names need not be secret, only unlikely to meet (O_EXCL settles a meeting): a generator per
// thread, seeded once, spares every write the opening of the system's entropy source.
std::string RandomDigits() {
    thread_local std::mt19937_64 random{(std::uint64_t{std::random_device{}()} << 32) ^
                                        std::random_device{}()};
    const std::uint64_t value = random();
    char digits[kTemporaryDigits + 1];
    std::snprintf(digits, sizeof digits, "%012llx",
                  static_cast<unsigned long long>(value & 0xFFFFFFFFFFFFull));
    return digits;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

}  // namespace

std::filesystem::path TemporarySibling(const std::filesystem::path& target) {
    std::string name = target.filename().string();
    if (name.size() > kTemporaryNameRoom) {
        name.resize(kTemporaryNameRoom);
    }
    return target.parent_path() /
           ("." + name + std::string(kTemporaryMark) + RandomDigits() + std::string(kTemporaryEnd));
}

bool IsTemporaryName(std::string_view fileName) {
    const std::size_t tail = kTemporaryMark.size() + kTemporaryDigits + kTemporaryEnd.size();
    if (fileName.size() < tail + 1 || fileName.front() != '.' ||
        !fileName.ends_with(kTemporaryEnd)) {
        return false;
    }
    const std::string_view rest = fileName.substr(fileName.size() - tail);
    if (!rest.starts_with(kTemporaryMark)) {
        return false;
    }
    const std::string_view digits = rest.substr(kTemporaryMark.size(), kTemporaryDigits);
    for (const char c : digits) {
        if (!IsHexDigit(c)) {
            return false;
        }
    }
    return true;
}

FileBytes AllocateFileBytes(std::size_t size) {
    return FileBytes(static_cast<std::uint8_t*>(
        ::operator new[](size, std::align_val_t{kFileBufferAlign}, std::nothrow)));
}

#ifdef QUILLON_POSIX
namespace {

// A file descriptor, closed at the end of its scope.
class Descriptor {
  public:
    explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
    Descriptor(Descriptor&& other) noexcept : descriptor_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~Descriptor() { Reset(); }

    int Get() const { return descriptor_; }
    explicit operator bool() const { return descriptor_ >= 0; }
    int Release() { return std::exchange(descriptor_, -1); }
    // Closes now, reporting a failure to close (a late write error on some file systems).
    bool Close() { return descriptor_ < 0 || ::close(Release()) == 0; }

  private:
    void Reset(int descriptor = -1) {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        descriptor_ = descriptor;
    }
    int descriptor_;
};

FileStamp StampOf(const struct stat& info) {
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modifiedNs = std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

Descriptor CreateTemporary(const std::filesystem::path& target, std::filesystem::path& created) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        created = TemporarySibling(target);
        Descriptor file(
            ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file || errno != EEXIST) {
            return file;
        }
    }
    return Descriptor();
}

// The mask the process creates files with, read without changing it (umask() both reads and
// sets, which would race with other threads creating files).
mode_t CreationMask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Umask:")) {
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
        }
    }
    return 022;
}

// Gives the finished file its final attributes: those of `source` when there is one, else what
// a new file of this process gets. Permission bits that would reach another group or owner than
// the source's are dropped, so the new file is never readable by more users than its source.
bool ApplyAttributes(int file, const struct stat* source) {
    if (!source) {
        return ::fchmod(file, 0666 & ~CreationMask()) == 0;
    }
    if (::fchown(file, source->st_uid, source->st_gid) != 0) {
        // Only a privileged process gives a file away; a member of the group can still pass it.
        if (::fchown(file, static_cast<uid_t>(-1), source->st_gid) != 0) {
            // The file keeps this process's group, which its bits must then not open up to.
        }
    }
    struct stat now {};
    if (::fstat(file, &now) != 0) {
        return false;
    }
    mode_t mode = source->st_mode & 07777;
    if (now.st_gid != source->st_gid) {
        mode &= ~static_cast<mode_t>(S_ISGID | S_IRWXG);
    }
    if (now.st_uid != source->st_uid) {
        mode &= ~static_cast<mode_t>(S_ISUID);
    }
    return ::fchmod(file, mode) == 0;
}

bool WriteAll(int file, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t wrote = ::write(file, data, size);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            if (wrote == 0) {
                errno = EIO;
            }
            return false;
        }
        data += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
    return true;
}

#if defined(O_DIRECT)
// A file this large that has to reach the disk before the run goes on is written past the
// system's cache: the cache would only be filled to be flushed at once. Copying 45 MB into it
// took 20 to 170 ms on a virtual machine, by whether the pages it got were fresh to the host,
// and the flush 25 ms more; written past it in one request, 22 to 40 ms in all.
constexpr std::size_t kUncachedWriteFrom = std::size_t{4} << 20;

// Writes the whole blocks of `data` past the cache in one request, so that the system keeps the
// disk's queue full, and the rest through the cache. Where the memory is not on a block boundary,
// or the file system or the device refuses, or a write comes back short, the cache takes what is
// left: a refusal costs only the speed, and a real fault (a full disk) surfaces there.
bool WriteUncached(int file, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    const int flags = ::fcntl(file, F_GETFL);
    if (reinterpret_cast<std::uintptr_t>(data) % kFileBufferAlign == 0 && flags >= 0 &&
        ::fcntl(file, F_SETFL, flags | O_DIRECT) == 0) {
        const std::size_t blocks = size / kFileBufferAlign * kFileBufferAlign;
        // Bound: every round writes or leaves.
        while (done < blocks) {
            const ssize_t wrote = ::write(file, data + done, blocks - done);
            if (wrote < 0 && errno == EINTR) {
                continue;
            }
            if (wrote <= 0) {
                break;
            }
            done += static_cast<std::size_t>(wrote);
            if (done % kFileBufferAlign != 0) {
                break;
            }
        }
        if (::fcntl(file, F_SETFL, flags) != 0) {
            return false;
        }
    }
    return WriteAll(file, data + done, size - done);
}
#endif

// The whole of `data`, by the way that reaches the disk soonest when it has to get there now.
bool WriteForDurability(int file, const std::uint8_t* data, std::size_t size,
                        Durability durability) {
#if defined(O_DIRECT)
    if (durability == Durability::kFlushed && size >= kUncachedWriteFrom) {
        return WriteUncached(file, data, size);
    }
#else
    (void)durability;
#endif
    return WriteAll(file, data, size);
}

// Puts the finished temporary file at the target's name. createOnly never replaces anything:
// where the system has no rename that refuses, a hard link does the same.
bool MoveIntoPlace(const std::filesystem::path& temporary, const std::filesystem::path& target,
                   bool createOnly) {
    if (!createOnly) {
        return ::rename(temporary.c_str(), target.c_str()) == 0;
    }
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
#endif
    if (::link(temporary.c_str(), target.c_str()) != 0) {
        return false;
    }
    ::unlink(temporary.c_str());
    return true;
}

// Writes a complete temporary file beside the target with `fill`, gives it its attributes and
// renames it over the target. On failure the temporary file is gone and errno tells why.
template <typename Fill>
bool ReplaceThroughTemporary(const std::filesystem::path& target, const struct stat* attributes,
                             const WriteOptions& options, Fill&& fill, std::string& why) {
    std::filesystem::path temporary;
    Descriptor file = CreateTemporary(target, temporary);
    if (!file) {
        why = std::strerror(errno);
        return false;
    }
    bool done = fill(file.Get()) &&
                (options.durability == Durability::kCached || ::fsync(file.Get()) == 0) &&
                ApplyAttributes(file.Get(), attributes);
    int error = errno;
    done = file.Close() && done;
    if (done && options.unchangedSince) {
        struct stat now {};
        if (::lstat(target.c_str(), &now) != 0 || S_ISLNK(now.st_mode) ||
            StampOf(now) != *options.unchangedSince) {
            why = S_ISLNK(now.st_mode) ? "a symbolic link" : kChangedDuringRun;
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (done && MoveIntoPlace(temporary, target, options.createOnly)) {
        return true;
    }
    if (done) {
        error = errno;
    }
    why = std::strerror(error);
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

// A file opened for reading, without blocking: a pipe put where a listed file was would
// otherwise wait for a writer forever. Only regular files are read.
bool OpenForReading(const std::filesystem::path& path, Descriptor& file, struct stat& info,
                    std::string& why) {
    file = Descriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file || ::fstat(file.Get(), &info) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        why = "not a regular file";
        errno = EINVAL;
        return false;
    }
    return true;
}

// Reads data[0, size) from the file, from `offset` on.
bool ReadRange(int file, std::uint8_t* data, std::uint64_t offset, std::uint32_t size,
               std::string& why) {
    std::uint32_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(file, data + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            why = got < 0 ? std::strerror(errno) : std::string(kChangedDuringRun);
            return false;
        }
        done += static_cast<std::uint32_t>(got);
    }
    return true;
}

// A file this large is read in two halves at once, the second on a thread of its own: most of a
// large read's time goes to mapping in the memory it fills, page by page, and two processor cores
// do that in little more than half the time (a 50 MB page here: 42 ms -> 25 ms, medians of five).
constexpr std::uint32_t kReadInHalvesFrom = std::uint32_t{8} << 20;

bool ReadAll(int file, std::uint8_t* data, std::uint32_t size, std::string& why) {
    if (size < kReadInHalvesFrom || std::thread::hardware_concurrency() < 2) {
        return ReadRange(file, data, 0, size, why);
    }
    const std::uint32_t half = size / 2;
    std::string secondWhy;
    bool secondRead = false;
    std::thread second;
    try {
        second = std::thread(
            [&] { secondRead = ReadRange(file, data + half, half, size - half, secondWhy); });
    } catch (const std::system_error&) {
        return ReadRange(file, data, 0, size, why);
    }
    const bool firstRead = ReadRange(file, data, 0, half, why);
    second.join();
    if (firstRead && !secondRead) {
        why = secondWhy;
    }
    return firstRead && secondRead;
}

// A big file's buffer is backed by 2 MB pages where the system offers them on request: each
// 4 KB page is otherwise faulted in on its own, by the read and again on the first look (in a
// virtual machine the two cost more than the page chain on a 50 MB page). Only the whole 2 MB
// blocks inside the buffer are asked for; a refusal changes nothing but the speed.
void AskForLargePages(std::uint8_t* data, std::size_t size) {
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
    const auto begin =
        (reinterpret_cast<std::uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kLargePage - 1);
    if (end > begin) {
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)size;
#endif
}

}  // namespace

std::error_code CheckReadable(const std::filesystem::path& path) {
    Descriptor file;
    struct stat info {};
    std::string why;
    if (!OpenForReading(path, file, info, why)) {
        return {errno, std::generic_category()};
    }
    return {};
}

FileBuffer ReadWholeFile(const std::filesystem::path& path, std::string* failure) {
    std::string ignored;
    std::string& why = failure ? *failure : ignored;
    why.clear();
    Descriptor file;
    struct stat info {};
    if (!OpenForReading(path, file, info, why) || info.st_size == 0) {
        return {};
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size >= kMaxFileSize) {
        why = "2 GB or larger";
        return {};
    }
    FileBuffer buffer;
    buffer.size = static_cast<std::uint32_t>(size);
    buffer.stamp = StampOf(info);
    buffer.mode = info.st_mode & 07777;
    buffer.owner = info.st_uid;
    buffer.group = info.st_gid;
    buffer.data = AllocateFileBytes(buffer.size);
    if (!buffer.data) {
        why = "out of memory";
        return {};
    }
    AskForLargePages(buffer.data.get(), buffer.size);
    if (!ReadAll(file.Get(), buffer.data.get(), buffer.size, why)) {
        return {};
    }
    return buffer;
}

bool WriteWholeFile(const std::filesystem::path& path, const std::uint8_t* data, std::uint32_t size,
                    const WriteOptions& options, std::string* failure) {
    std::string ignored;
    std::string& why = failure ? *failure : ignored;
    why.clear();
    struct stat source {};
    bool hasSource = true;
    if (options.copyOf) {
        source.st_mode = static_cast<mode_t>(S_IFREG | options.copyOf->mode);
        source.st_uid = static_cast<uid_t>(options.copyOf->owner);
        source.st_gid = static_cast<gid_t>(options.copyOf->group);
    } else {
        const std::filesystem::path& from =
            options.attributesFrom.empty() ? path : options.attributesFrom;
        // Attributes come from a regular file only; a link's target is not this file.
        hasSource = ::lstat(from.c_str(), &source) == 0 && S_ISREG(source.st_mode);
    }
    const auto fill = [data, size, &options](int file) {
        return WriteForDurability(file, data, size, options.durability);
    };
    return ReplaceThroughTemporary(path, hasSource ? &source : nullptr, options, fill, why);
}

LinkOutcome LinkUnchangedFile(const std::filesystem::path& path, const std::filesystem::path& link,
                              const FileStamp& stamp) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return LinkOutcome::kNoLink;
    }
    if (StampOf(info) != stamp) {
        return LinkOutcome::kChanged;
    }
    // No flag: a link at the path would be linked itself, not followed; the check below sees it.
    if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, link.c_str(), 0) != 0) {
        if (errno != EEXIST) {
            return LinkOutcome::kNoLink;
        }
        return ::lstat(link.c_str(), &info) == 0 && S_ISREG(info.st_mode) && StampOf(info) == stamp
                   ? LinkOutcome::kSameFile
                   : LinkOutcome::kNameTaken;
    }
    if (::lstat(link.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || StampOf(info) != stamp) {
        return LinkOutcome::kChanged;
    }
    return LinkOutcome::kLinked;
}

void UnlinkSecondName(const std::filesystem::path& link, const std::filesystem::path& path) {
    struct stat linked {};
    struct stat original {};
    if (::lstat(link.c_str(), &linked) == 0 && ::lstat(path.c_str(), &original) == 0 &&
        S_ISREG(linked.st_mode) && linked.st_nlink > 1 && linked.st_dev == original.st_dev &&
        linked.st_ino == original.st_ino) {
        ::unlink(link.c_str());
    }
}

std::error_code CopyWholeFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    Descriptor source;
    struct stat info {};
    std::string why;
    if (!OpenForReading(from, source, info, why)) {
        return {errno, std::generic_category()};
    }
    // Sized to the file, so that a small page costs neither a large allocation nor the zeroing
    // of one: a site is mostly small files. One byte more finds the end in the first read.
    const auto chunkSize =
        static_cast<std::size_t>(std::clamp<off_t>(info.st_size + 1, off_t{4096}, off_t{1} << 18));
    const auto fill = [&source, chunkSize](int file) {
        const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(chunkSize);
        for (;;) {
            const ssize_t got = ::read(source.Get(), chunk.get(), chunkSize);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return got == 0;
            }
            if (!WriteAll(file, chunk.get(), static_cast<std::size_t>(got))) {
                return false;
            }
        }
    };
    WriteOptions options;
    options.durability = Durability::kCached;
    if (!ReplaceThroughTemporary(to, &info, options, fill, why)) {
        return {errno, std::generic_category()};
    }
    return {};
}

#else  // Systems without POSIX files: the same steps through the standard library.

namespace {

std::string Reason(const std::error_code& error) {
    return error.message();
}

// A new, empty temporary file beside the target; its path goes to `created`.
bool CreateTemporarySibling(const std::filesystem::path& target, std::filesystem::path& created) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        created = TemporarySibling(target);
        if (std::FILE* file = std::fopen(created.string().c_str(), "wbx")) {
            std::fclose(file);
            return true;
        }
    }
    return false;
}

}  // namespace

std::error_code CheckReadable(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return error ? error : std::make_error_code(std::errc::invalid_argument);
    }
    if (!std::ifstream(path, std::ios::binary)) {
        return std::make_error_code(std::errc::permission_denied);
    }
    return {};
}

FileBuffer ReadWholeFile(const std::filesystem::path& path, std::string* failure) {
    std::string ignored;
    std::string& why = failure ? *failure : ignored;
    why.clear();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        why = error ? Reason(error) : "not a regular file";
        return {};
    }
    const std::uint64_t size = std::filesystem::file_size(path, error);
    if (error || size == 0 || size >= kMaxFileSize) {
        why = error ? Reason(error) : (size == 0 ? "" : "2 GB or larger");
        return {};
    }
    std::ifstream file(path, std::ios::binary);
    FileBuffer buffer;
    buffer.size = static_cast<std::uint32_t>(size);
    buffer.stamp.size = size;
    buffer.stamp.modifiedNs =
        std::filesystem::last_write_time(path, error).time_since_epoch().count();
    buffer.data = AllocateFileBytes(buffer.size);
    if (!buffer.data || !file.read(reinterpret_cast<char*>(buffer.data.get()), buffer.size)) {
        why = buffer.data ? std::string(kChangedDuringRun) : "out of memory";
        return {};
    }
    return buffer;
}

bool WriteWholeFile(const std::filesystem::path& path, const std::uint8_t* data, std::uint32_t size,
                    const WriteOptions& options, std::string* failure) {
    std::string ignored;
    std::string& why = failure ? *failure : ignored;
    std::error_code error;
    if (options.createOnly && std::filesystem::exists(path, error)) {
        why = "file exists";
        return false;
    }
    std::filesystem::path temporary;
    if (!CreateTemporarySibling(path, temporary)) {
        why = "cannot create a temporary file";
        return false;
    }
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), size);
        if (!file.flush()) {
            std::filesystem::remove(temporary, error);
            why = "write failed";
            return false;
        }
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        why = Reason(error);
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

// Hard links are left to the systems above; a backup is then a copy.
LinkOutcome LinkUnchangedFile(const std::filesystem::path&, const std::filesystem::path&,
                              const FileStamp&) {
    return LinkOutcome::kNoLink;
}

void UnlinkSecondName(const std::filesystem::path&, const std::filesystem::path&) {}

std::error_code CopyWholeFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::path temporary;
    std::error_code error;
    if (!CreateTemporarySibling(to, temporary)) {
        return std::make_error_code(std::errc::io_error);
    }
    std::filesystem::copy_file(from, temporary, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (!error) {
        std::filesystem::rename(temporary, to, error);
    }
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
    return error;
}

#endif

}  // namespace quillon
