// The one piece of Exif metadata worth keeping on the web: the orientation, which browsers
// apply when they draw the picture.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quillon {

struct ExifOrientation {
    bool bigEndian = false;   // the block's TIFF byte order: "MM" rather than "II"
    std::uint16_t value = 1;  // 1 to 8; 1 means the picture is stored upright
};

// True when an APP1 payload (the bytes after the segment's length field) is an Exif block.
bool IsExifPayload(std::span<const std::uint8_t> payload);

// The orientation entry of IFD0 in an Exif APP1 payload. Nothing when the payload is not Exif, has
// no orientation entry, or is malformed in any way on the path to it (byte order, TIFF magic,
// offsets past the end, an entry that is not one SHORT, a value outside 1-8).
std::optional<ExifOrientation> ReadExifOrientation(std::span<const std::uint8_t> payload);

// A whole APP1 segment, 0xFF and marker code included: "Exif\0\0", a TIFF header in the given
// byte order, and IFD0 with the single orientation entry and no next IFD.
inline constexpr std::size_t kMinimalExifSegmentSize = 36;
std::array<std::uint8_t, kMinimalExifSegmentSize> MinimalExifSegment(ExifOrientation orientation);

}  // namespace quillon
