// Whole-file reads and the one way the pipeline writes a file: a temporary file beside the
// target, private while it is written, renamed over the target when complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

namespace quillon {

// Which file a read saw: a replacement is refused when the file at the name is no longer this
// one (another program wrote to it, or put something else there, while the run went on).
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// File buffers start on a boundary of this many bytes, which writing past the system's cache
// asks of the memory it writes from (WriteWholeFile).
inline constexpr std::size_t kFileBufferAlign = 4096;

struct AlignedBytesDelete {
    void operator()(std::uint8_t* bytes) const {
        ::operator delete[](bytes, std::align_val_t{kFileBufferAlign});
    }
};
using FileBytes = std::unique_ptr<std::uint8_t[], AlignedBytesDelete>;

// `size` bytes on a kFileBufferAlign boundary, left as they are; null when memory is short.
FileBytes AllocateFileBytes(std::size_t size);

// A whole file in memory.
struct FileBuffer {
    FileBytes data;
    std::uint32_t size = 0;
    FileStamp stamp;
    // The permission bits, owner and group the file had when it was read; a copy takes them.
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;

    explicit operator bool() const { return data != nullptr; }
};

// Files this large or larger are treated as unreadable: text lengths are signed 32-bit values.
inline constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFF;

// Reads the whole file. Returns an empty buffer when the file cannot be opened or read, is not a
// regular file (a pipe is never waited on), is too large, or is empty; never throws. `failure`,
// when given, receives the reason for each case but the empty file, which is not a failure.
FileBuffer ReadWholeFile(const std::filesystem::path& path, std::string* failure = nullptr);

// Opens the file as ReadWholeFile does and closes it again: the reason it cannot be read, or no
// error. A copy made later is checked so, with the other copies, before anything is optimized.
std::error_code CheckReadable(const std::filesystem::path& path);

// How hard a write insists on reaching the disk before it counts as done.
enum class Durability {
    kFlushed,  // on the disk before the rename: a crash leaves the old or the new content
    kCached,   // left to the system: for copies, whose originals are safe elsewhere
};

struct WriteOptions {
    Durability durability = Durability::kFlushed;
    // When set, the target is replaced only while it is still the file this stamp describes.
    const FileStamp* unchangedSince = nullptr;
    // The file whose permission bits, owner and group the new file takes; the target itself
    // when empty (a new file then stays readable by its owner only).
    std::filesystem::path attributesFrom;
    // When set, the new file is a copy of the file this buffer was read from, and takes the
    // attributes that file had then; attributesFrom is not looked at.
    const FileBuffer* copyOf = nullptr;
    // The target must not exist: the write fails with "file exists" instead of replacing it.
    bool createOnly = false;
};

// The reason a replacement was refused because the file changed after it was read.
inline constexpr std::string_view kChangedDuringRun = "changed during the run";

// Replaces the file with the given bytes so that the file is, at every moment, either its old
// content or the complete new content. No write goes through a symbolic link: a link at the
// target is replaced, not followed, and a link where an unchanged file is expected is refused.
// The temporary file is readable by its owner only until it is complete and has the final
// attributes, which are never wider than those of the file they come from. Returns false, with
// the target untouched and no temporary file left, on any failure; `failure`, when given,
// receives the reason.
bool WriteWholeFile(const std::filesystem::path& path, const std::uint8_t* data, std::uint32_t size,
                    const WriteOptions& options = {}, std::string* failure = nullptr);

// What LinkUnchangedFile did.
enum class LinkOutcome {
    kLinked,     // the new name holds the file
    kSameFile,   // the name was taken by a link to this very file already
    kNameTaken,  // the name was taken by something else; nothing changed
    kChanged,    // the file at the path is not the one the stamp describes
    kNoLink,     // the file system or the file refuses hard links: a copy has to do
};

// Gives the regular file at `path`, while it is still the one `stamp` describes, the further name
// `link` (a hard link, so no byte is copied and permissions, owner and times are its own); a name
// already taken is never replaced. Once the file is replaced at `path`, `link` alone holds its
// old bytes. A link at `path` is not followed: that, like any file system without hard links,
// gives kNoLink. Should the file change between the check and the link, the link stays (it
// holds what was at the path, which may be the only copy left of it) and the outcome is kChanged.
LinkOutcome LinkUnchangedFile(const std::filesystem::path& path, const std::filesystem::path& link,
                              const FileStamp& stamp);

// Takes back a link LinkUnchangedFile made, while `path` is still the same file under another
// name; a link that has become the file's only name stays.
void UnlinkSecondName(const std::filesystem::path& link, const std::filesystem::path& path);

// Copies a file of any size the same way: the source is read through links (it is the user's
// file), the target is replaced, never written through.
std::error_code CopyWholeFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Every temporary file a run makes is named ".NAME.quillon-XXXXXXXXXXXX.tmp" (twelve hex digits)
// beside the file NAME it stands for, so that one a stopped run left can be told from a user's.
std::filesystem::path TemporarySibling(const std::filesystem::path& target);
bool IsTemporaryName(std::string_view fileName);

}  // namespace quillon
