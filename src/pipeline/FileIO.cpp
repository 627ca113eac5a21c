#include "pipeline/FileIO.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define QUILLON_POSIX 1
#endif

namespace quillon {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file that did not exist before beside the target; "x" makes the open fail rather than
// reuse a name that appeared in the meantime.
UniqueFile CreateSibling(const std::filesystem::path& target, std::filesystem::path& created) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        created = target.parent_path() /
                  ("." + target.filename().string() + ".quillon-" + std::to_string(random()));
        if (std::FILE* file = std::fopen(created.c_str(), "wbx")) {
            return UniqueFile(file);
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return nullptr;
}

// Flushes the bytes to the disk, so that a crash after the rename cannot leave an empty file.
bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
#ifdef QUILLON_POSIX
    return ::fsync(::fileno(file)) == 0;
#else
    return true;
#endif
}

// Gives the new file the permission bits (and, where allowed, the owner) of the file it replaces.
void CopyAttributes(const std::filesystem::path& from, std::FILE* to,
                    const std::filesystem::path& toPath) {
#ifdef QUILLON_POSIX
    struct stat info {};
    if (::stat(from.c_str(), &info) != 0) {
        return;
    }
    if (::fchown(::fileno(to), info.st_uid, info.st_gid) != 0) {
        // Only a privileged process may give a file away; the caller's own files keep theirs.
    }
    ::fchmod(::fileno(to), info.st_mode & 07777);
#else
    std::error_code ignored;
    const auto status = std::filesystem::status(from, ignored);
    if (!ignored) {
        std::filesystem::permissions(toPath, status.permissions(), ignored);
    }
#endif
    (void)toPath;
}

#ifdef QUILLON_POSIX
// A file opened for reading, closed at the end of its scope.
class SourceFile {
  public:
    SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }

    // Without blocking: a pipe put where a listed file was would otherwise wait for a writer
    // forever. Only regular files are read.
    bool Open(const std::filesystem::path& path, std::uint64_t& size, std::string& why) {
        descriptor_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat info {};
        if (descriptor_ < 0 || ::fstat(descriptor_, &info) != 0) {
            why = std::strerror(errno);
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            why = "not a regular file";
            return false;
        }
        size = static_cast<std::uint64_t>(info.st_size);
        return true;
    }

    bool ReadAll(std::uint8_t* data, std::uint32_t size, std::string& why) {
        std::uint32_t done = 0;
        while (done < size) {
            const ssize_t got = ::read(descriptor_, data + done, size - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                why = got < 0 ? std::strerror(errno) : "changed while being read";
                return false;
            }
            done += static_cast<std::uint32_t>(got);
        }
        return true;
    }

  private:
    int descriptor_ = -1;
};
#else
class SourceFile {
  public:
    bool Open(const std::filesystem::path& path, std::uint64_t& size, std::string& why) {
        file_.reset(std::fopen(path.string().c_str(), "rb"));
        if (!file_ || std::fseek(file_.get(), 0, SEEK_END) != 0) {
            why = std::strerror(errno);
            return false;
        }
        const long end = std::ftell(file_.get());
        size = static_cast<std::uint64_t>(end < 0 ? 0 : end);
        return std::fseek(file_.get(), 0, SEEK_SET) == 0;
    }

    bool ReadAll(std::uint8_t* data, std::uint32_t size, std::string& why) {
        if (std::fread(data, 1, size, file_.get()) != size) {
            why = "changed while being read";
            return false;
        }
        return true;
    }

  private:
    UniqueFile file_;
};
#endif

}  // namespace

FileBuffer ReadWholeFile(const std::filesystem::path& path, std::string* failure) {
    std::string ignored;
    std::string& why = failure ? *failure : ignored;
    why.clear();
    SourceFile file;
    std::uint64_t size = 0;
    if (!file.Open(path, size, why)) {
        return {};
    }
    if (size == 0) {
        return {};
    }
    if (size >= kMaxFileSize) {
        why = "2 GB or larger";
        return {};
    }
    FileBuffer buffer;
    buffer.size = static_cast<std::uint32_t>(size);
    buffer.data.reset(new (std::nothrow) std::uint8_t[buffer.size]);
    if (!buffer.data) {
        why = "out of memory";
        return {};
    }
    if (!file.ReadAll(buffer.data.get(), buffer.size, why)) {
        return {};
    }
    return buffer;
}

bool WriteWholeFile(const std::filesystem::path& path, const std::uint8_t* data, std::uint32_t size,
                    Durability durability, std::string* failure) {
    std::string ignored;
    std::string& why = failure ? *failure : ignored;
    why.clear();
    std::error_code error;
    std::filesystem::path target = path;
    if (std::filesystem::is_symlink(path, error)) {
        target = std::filesystem::canonical(path, error);
        if (error) {
            why = error.message();
            return false;
        }
    }
    std::filesystem::path temporary;
    UniqueFile file = CreateSibling(target, temporary);
    if (!file) {
        why = std::strerror(errno);
        return false;
    }
    const bool exists = std::filesystem::exists(target, error);
    if (exists) {
        CopyAttributes(target, file.get(), temporary);
    }
    const bool written = std::fwrite(data, 1, size, file.get()) == size &&
                         (durability == Durability::kCached ? std::fflush(file.get()) == 0
                                                            : FlushToDisk(file.get()));
    const int writeError = errno;
    const bool closed = std::fclose(file.release()) == 0;
    if (written && closed) {
        std::filesystem::rename(temporary, target, error);
        if (!error) {
            return true;
        }
        why = error.message();
    } else {
        why = std::strerror(written ? errno : writeError);
    }
    std::filesystem::remove(temporary, error);
    return false;
}

}  // namespace quillon
