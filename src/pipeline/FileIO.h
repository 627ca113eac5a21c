// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace quillon {

// A whole file in memory.
struct FileBuffer {
    std::unique_ptr<std::uint8_t[]> data;
    std::uint32_t size = 0;

    explicit operator bool() const { return data != nullptr; }
};

// Files this large or larger are treated as unreadable: text lengths are signed 32-bit values.
inline constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFF;

// Reads the whole file. Returns an empty buffer when the file cannot be opened or read, is not a
// regular file (a pipe is never waited on), is too large, or is empty; never throws. `failure`,
// when given, receives the reason for each case but the empty file, which is not a failure.
FileBuffer ReadWholeFile(const std::filesystem::path& path, std::string* failure = nullptr);

// How hard a write insists on reaching the disk before it counts as done.
enum class Durability {
    kFlushed,  // on the disk before the rename: a crash leaves the old or the new content
    kCached,   // left to the system: for copies, whose originals are safe elsewhere
};

// Replaces the file with the given bytes so that the file is, at every moment, either its old
// content or the complete new content: the bytes go to a new file in the same folder, which is
// renamed over the target. An existing target keeps its permission bits and, where the system
// allows, its owner; a symbolic link is written through, not replaced. Returns false, with the
// target untouched and no temporary file left, on any failure; `failure`, when given, receives
// the reason.
bool WriteWholeFile(const std::filesystem::path& path, const std::uint8_t* data, std::uint32_t size,
                    Durability durability = Durability::kFlushed, std::string* failure = nullptr);

}  // namespace quillon
