// The two ends the GIF codec reads from and writes to. A BxFile is both; the memory versions let
// the codec layers run on byte arrays (tests, benchmarks, fuzzing) with the file's exact rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class BxByteSource {
  public:
    virtual ~BxByteSource() = default;
    // Fills up to `count` bytes and gives how many it filled: fewer only at the end of the data,
    // and never 0 for a count above 0 (the end of the data raises 18 instead).
    virtual std::size_t Read(void* destination, std::size_t count) = 0;
    // One byte; 18 at the end of the data.
    virtual std::uint8_t ReadByte() = 0;
};

class BxByteSink {
  public:
    virtual ~BxByteSink() = default;
    virtual void Write(const void* source, std::size_t count) = 0;
    virtual void WriteByte(std::uint8_t value) = 0;
};

// Reads a byte array that the caller keeps alive.
class BxMemorySource : public BxByteSource {
  public:
    explicit BxMemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Read(void* destination, std::size_t count) override;
    std::uint8_t ReadByte() override;

    std::size_t Position() const { return position_; }
    void SetPosition(std::size_t position);

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;  // invariant: position_ <= bytes_.size()
};

// Appends to a byte vector.
class BxMemorySink : public BxByteSink {
  public:
    void Write(const void* source, std::size_t count) override;
    void WriteByte(std::uint8_t value) override;

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};
