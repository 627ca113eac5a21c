// The JPEG stage: shrinks a JPEG by dropping the metadata in front of its first scan.
#pragma once

#include <cstdint>
#include <span>

#include "imageopt/JpegRecompress.h"

namespace quillon {

// Drops the application (APPn), extension (JPGn) and comment segments that stand before the first
// scan, and the fill bytes between markers; everything from the first scan on is left as it is.
// Segments that change how the picture looks stay: the Adobe APP14 segment (colour transform),
// the ICC_PROFILE APP2 chunks, the JFIF APP0 segment of a three-component file whose colour
// space decoders would otherwise take as RGB (from an Adobe segment whose transform is not
// YCbCr, or from the component names), and a first Exif APP1 whose orientation is not 1, which is
// reduced to a minimal Exif block holding only the orientation.
//
// Works in place at the front of `data`. Returns true and sets `length` to the new, smaller length
// when something was dropped. Returns false, leaving `length` and the buffer as they were, when
// nothing could be dropped or the bytes up to the first scan are not a well-formed JPEG header.
bool StripJpegSegments(std::uint8_t* data, std::uint32_t& length);

// The whole stage: strips the header as above, then (unless `mode` is kOff) recompresses the
// picture data losslessly, carrying the segments the stripping kept, and keeps the smaller of
// the two. A file whose header is not well formed, or that libjpeg-turbo cannot read cleanly,
// ends exactly as the stripping alone leaves it. Works at the front of `file` and returns the new
// length, the file's own length when nothing was gained.
std::uint32_t OptimizeJpeg(std::span<std::uint8_t> file, JpegRecompression mode);

}  // namespace quillon
