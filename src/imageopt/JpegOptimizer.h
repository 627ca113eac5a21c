// The JPEG stage: shrinks a JPEG by dropping the metadata in front of its first scan.
#pragma once

#include <cstdint>

namespace quillon {

// Drops the application (APPn), extension (JPGn) and comment segments that stand before the first
// scan, and the fill bytes between markers; everything from the first scan on is left as it is.
// Segments that change how the picture looks stay: the Adobe APP14 segment (colour transform),
// the ICC_PROFILE APP2 chunks, the JFIF APP0 segment of a three-component file whose colour
// space decoders would otherwise take from the Adobe segment or the component names, and a first
// Exif APP1 whose orientation is not 1, which is reduced to a minimal Exif block holding only the
// orientation.
//
// Works in place at the front of `data`. Returns true and sets `length` to the new, smaller length
// when something was dropped. Returns false, leaving `length` and the buffer as they were, when
// nothing could be dropped or the bytes up to the first scan are not a well-formed JPEG header.
bool StripJpegSegments(std::uint8_t* data, std::uint32_t& length);

}  // namespace quillon
