#include "imageopt/JpegExif.h"

#include <algorithm>

namespace quillon {
namespace {

constexpr std::array<std::uint8_t, 6> kExifSignature = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint16_t kTiffMagic = 42;
constexpr std::uint64_t kTiffHeaderSize = 8;
constexpr std::uint64_t kIfdEntrySize = 12;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTiffShort = 3;
constexpr std::uint16_t kLastOrientation = 8;

// Numbers inside the TIFF structure of an Exif block, in the block's own byte order. Offsets come
// from the file, so every read is checked against the block's end and may fail.
class TiffReader {
  public:
    TiffReader(std::span<const std::uint8_t> tiff, bool bigEndian)
        : tiff_(tiff), bigEndian_(bigEndian) {}

    std::uint64_t Size() const { return tiff_.size(); }

    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        if (offset > Size() || Size() - offset < 2) {
            return std::nullopt;
        }
        const std::uint8_t* p = tiff_.data() + offset;
        return static_cast<std::uint16_t>(bigEndian_ ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0]);
    }

    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        const auto first = U16(offset);
        const auto second = U16(offset + 2);
        if (!first || !second) {
            return std::nullopt;
        }
        return bigEndian_ ? (std::uint32_t{*first} << 16) | *second
                          : (std::uint32_t{*second} << 16) | *first;
    }

  private:
    std::span<const std::uint8_t> tiff_;
    bool bigEndian_;
};

// "II" is little-endian, "MM" big-endian; anything else is not TIFF.
std::optional<bool> ReadByteOrder(std::span<const std::uint8_t> tiff) {
    if (tiff.size() < 2 || tiff[0] != tiff[1]) {
        return std::nullopt;
    }
    if (tiff[0] == 'I') {
        return false;
    }
    if (tiff[0] == 'M') {
        return true;
    }
    return std::nullopt;
}

// A browser honours the tag only as a single SHORT from 1 to 8; anything else it ignores, and so
// do we, since keeping it could not change how the picture is shown.
std::optional<std::uint16_t> ReadOrientationEntry(const TiffReader& tiff, std::uint64_t entry) {
    const auto type = tiff.U16(entry + 2);
    const auto count = tiff.U32(entry + 4);
    const auto value = tiff.U16(entry + 8);
    if (type != kTiffShort || count != 1u || !value || *value < 1 || *value > kLastOrientation) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

bool IsExifPayload(std::span<const std::uint8_t> payload) {
    return payload.size() >= kExifSignature.size() &&
           std::equal(kExifSignature.begin(), kExifSignature.end(), payload.begin());
}

std::optional<ExifOrientation> ReadExifOrientation(std::span<const std::uint8_t> payload) {
    if (!IsExifPayload(payload)) {
        return std::nullopt;
    }
    const auto tiffBytes = payload.subspan(kExifSignature.size());
    const auto bigEndian = ReadByteOrder(tiffBytes);
    if (!bigEndian) {
        return std::nullopt;
    }
    const TiffReader tiff(tiffBytes, *bigEndian);
    if (tiff.U16(2) != kTiffMagic) {
        return std::nullopt;
    }
    // IFD0 may not overlap the header it is found through.
    const auto ifd = tiff.U32(4);
    if (!ifd || *ifd < kTiffHeaderSize) {
        return std::nullopt;
    }
    const auto entryCount = tiff.U16(*ifd);
    if (!entryCount) {
        return std::nullopt;
    }
    // The whole directory must lie inside the block; a cut directory is malformed even when the
    // orientation entry itself would fit. 64-bit sums cannot overflow here (32 + 16 + 4 bits).
    const std::uint64_t firstEntry = std::uint64_t{*ifd} + 2;
    if (firstEntry + kIfdEntrySize * *entryCount > tiff.Size()) {
        return std::nullopt;
    }
    // Bounded by the entry count (at most 65535) and, as checked above, by the block's size.
    for (std::uint64_t i = 0; i < *entryCount; ++i) {
        const std::uint64_t entry = firstEntry + kIfdEntrySize * i;
        if (tiff.U16(entry) != kOrientationTag) {
            continue;
        }
        const auto value = ReadOrientationEntry(tiff, entry);
        if (!value) {
            return std::nullopt;
        }
        return ExifOrientation{*bigEndian, *value};
    }
    return std::nullopt;
}

std::array<std::uint8_t, kMinimalExifSegmentSize> MinimalExifSegment(ExifOrientation orientation) {
    std::array<std::uint8_t, kMinimalExifSegmentSize> segment{};
    std::size_t at = 0;
    const auto put8 = [&](std::uint8_t byte) { segment[at++] = byte; };
    const auto put16 = [&](std::uint16_t value) {
        const auto high = static_cast<std::uint8_t>(value >> 8);
        const auto low = static_cast<std::uint8_t>(value & 0xFF);
        put8(orientation.bigEndian ? high : low);
        put8(orientation.bigEndian ? low : high);
    };
    const auto put32 = [&](std::uint32_t value) {
        const auto high = static_cast<std::uint16_t>(value >> 16);
        const auto low = static_cast<std::uint16_t>(value & 0xFFFF);
        put16(orientation.bigEndian ? high : low);
        put16(orientation.bigEndian ? low : high);
    };

    put8(0xFF);
    put8(0xE1);
    // The segment length is big-endian whatever the TIFF byte order; it counts itself.
    put8(0);
    put8(static_cast<std::uint8_t>(kMinimalExifSegmentSize - 2));
    for (std::uint8_t byte : kExifSignature) {
        put8(byte);
    }
    put8(orientation.bigEndian ? 'M' : 'I');
    put8(orientation.bigEndian ? 'M' : 'I');
    put16(kTiffMagic);
    put32(kTiffHeaderSize);  // IFD0 follows the header at once
    put16(1);                // one entry
    put16(kOrientationTag);
    put16(kTiffShort);
    put32(1);                  // one value
    put16(orientation.value);  // a SHORT sits in the first half of the 4-byte value field
    put16(0);
    put32(0);  // no next IFD
    return segment;
}

}  // namespace quillon
