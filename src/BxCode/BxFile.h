// A byte file over a system descriptor, with a counting-only mode that measures what a writer
// would produce without touching the disk, and a memory mode that reads a byte array or writes
// into one, so that a codec's bytes can be checked before anything reaches the disk. Every
// failure raises a BxErrorCode.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "BxCode/BxByteStream.h"
#include "BxCode/BxErrorCode.h"
#include "BxCode/BxFileLocator.h"

class BxFile : public BxByteSource, public BxByteSink {
  public:
    // Mode bits.
    static constexpr std::uint16_t kReadable = 1;
    static constexpr std::uint16_t kWritable = 2;
    static constexpr std::uint16_t kCounting = 4;
    static constexpr std::uint16_t kMemory = 8;
    // Seek origins.
    static constexpr std::uint16_t kFromStart = 0;
    static constexpr std::uint16_t kFromCurrent = 1;
    static constexpr std::uint16_t kFromEnd = 2;

    BxFile() = default;
    BxFile(const BxFile&) = delete;
    BxFile& operator=(const BxFile&) = delete;
    // Closes a descriptor the file owns, quietly.
    ~BxFile() override;

    BxFileLocator& Locator() { return locator_; }
    const BxFileLocator& Locator() const { return locator_; }
    void SetPath(const char* path) { locator_.SetPath(path); }
    // What readable plus memory (9) reads; the caller keeps the bytes alive while the file is
    // open.
    void SetBytes(std::span<const std::uint8_t> bytes) { source_ = bytes; }
    // What writable plus memory (10) wrote; taking them empties the file.
    std::vector<std::uint8_t> TakeWritten() { return std::move(written_); }

    // Mode 1 reads, 2 creates or truncates and writes, 3 reads and writes; writable plus counting
    // (6) counts without a disk file; readable or writable plus memory (9, 10) reads the bytes
    // set with SetBytes or writes into memory. A descriptor other than 0 is adopted as it is.
    void Open(std::uint16_t mode, bool ownsDescriptor = true, int descriptor = 0);
    void Close();
    bool IsOpen() const { return open_; }
    std::uint16_t Mode() const { return mode_; }
    bool IsCounting() const { return open_ && (mode_ & kCounting) != 0; }
    bool InMemory() const { return open_ && (mode_ & kMemory) != 0; }

    // Fills up to `count` bytes; fewer only at the end of the file; none at all raises 18.
    std::size_t Read(void* destination, std::size_t count) override;
    void Write(const void* source, std::size_t count) override;
    std::uint8_t ReadByte() override;
    void WriteByte(std::uint8_t value) override;
    // Little-endian: the first byte is the low one.
    std::uint16_t ReadWord();
    void WriteWord(std::uint16_t value);

    void Seek(std::int64_t offset, std::uint16_t origin);
    std::int64_t Tell() const;
    // The counter in counting mode, else the file's length.
    std::int64_t GetLength() const;
    // The counter in counting mode; else the length of the file at the locator's path, through a
    // short-lived handle of its own (a file that cannot be opened so is left alone).
    void SetLength(std::int64_t length);

  private:
    void CheckOpen() const;
    bool Buffered() const { return window_ != nullptr || (mode_ & kMemory) != 0; }
    // Neither descriptor nor disk: counting, or memory.
    bool Detached() const { return (mode_ & (kCounting | kMemory)) != 0; }
    void OpenDetached(std::uint16_t mode, bool ownsDescriptor);
    void SeekMemory(std::int64_t offset, std::uint16_t origin);
    void DropBuffer();
    // Reads the next stretch into the buffer; false at the end of the file.
    bool Refill();
    std::size_t ReadDirect(std::uint8_t* destination, std::size_t count);

    // A plain read-only file reads ahead through this buffer, so that the GIF reader's byte and
    // sub-block reads and its short forward seeks cost no system call each.
    static constexpr std::size_t kReadAhead = 16 * 1024;

    BxFileLocator locator_;
    bool open_ = false;
    bool ownsDescriptor_ = false;
    std::uint16_t mode_ = 0;
    std::int64_t counter_ = 0;  // bytes written so far in counting mode
    int descriptor_ = -1;
    // Invariant: while bufferLength_ > 0 the descriptor's offset is bufferStart_ +
    // bufferLength_, and bufferPosition_ <= bufferLength_ <= kReadAhead. Reading memory, the
    // window is the whole source: bufferStart_ is 0 and bufferLength_ its size.
    std::unique_ptr<std::uint8_t[]> readBuffer_;
    const std::uint8_t* window_ = nullptr;
    std::span<const std::uint8_t> source_;
    std::vector<std::uint8_t> written_;
    std::size_t bufferLength_ = 0;
    std::size_t bufferPosition_ = 0;
    std::int64_t bufferStart_ = 0;
};

// The error number for a system error outside opening (its errno goes into the detail).
std::int32_t BxFileErrorFor(int systemError);
// The error number for a system error while opening.
std::int32_t BxFileOpenErrorFor(int systemError);
