#include "pipeline/FileIO.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <random>
#include <string>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
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

}  // namespace

FileBuffer ReadWholeFile(const std::filesystem::path& path) {
    UniqueFile file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        return {};
    }
    const long end = std::ftell(file.get());
    if (end <= 0 || static_cast<std::uint64_t>(end) >= kMaxFileSize ||
        std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return {};
    }
    FileBuffer buffer;
    buffer.size = static_cast<std::uint32_t>(end);
    buffer.data.reset(new (std::nothrow) std::uint8_t[buffer.size]);
    if (!buffer.data || std::fread(buffer.data.get(), 1, buffer.size, file.get()) != buffer.size) {
        return {};
    }
    return buffer;
}

bool WriteWholeFile(const std::filesystem::path& path, const std::uint8_t* data, std::uint32_t size,
                    Durability durability) {
    std::error_code error;
    std::filesystem::path target = path;
    if (std::filesystem::is_symlink(path, error)) {
        target = std::filesystem::canonical(path, error);
        if (error) {
            return false;
        }
    }
    std::filesystem::path temporary;
    UniqueFile file = CreateSibling(target, temporary);
    if (!file) {
        return false;
    }
    const bool exists = std::filesystem::exists(target, error);
    if (exists) {
        CopyAttributes(target, file.get(), temporary);
    }
    const bool written = std::fwrite(data, 1, size, file.get()) == size &&
                         (durability == Durability::kCached ? std::fflush(file.get()) == 0
                                                            : FlushToDisk(file.get()));
    const bool closed = std::fclose(file.release()) == 0;
    if (written && closed) {
        std::filesystem::rename(temporary, target, error);
        if (!error) {
            return true;
        }
    }
    std::filesystem::remove(temporary, error);
    return false;
}

}  // namespace quillon
