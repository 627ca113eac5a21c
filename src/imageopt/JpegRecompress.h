// Lossless recompression of a JPEG's picture data: the DCT coefficients are read as they are and
// written back with Huffman tables built for them, in one baseline scan or in progressive scans.
// The core's one use of an outside library, libjpeg-turbo, lives behind this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quillon {

// "JPEG Options" / "Recompress", with its stored values.
enum class JpegRecompression : std::uint32_t {
    kOff = 0,              // the metadata stripping alone
    kOptimizedTables = 1,  // one baseline scan with Huffman tables built for the picture
    kProgressive = 2,      // progressive scans, their tables built for the picture too; a small
                           // picture gets one baseline scan instead where that is smaller
};

// Writes `jpeg` recompressed into `out` (which must not overlap it) and returns the length written,
// at most out.size(): a result that would not fit is abandoned as soon as it overflows, so an
// `out` one byte shorter than the file lets through only a smaller file.
// Every APPn segment of the header (up to the first scan) is copied as it stood; the caller strips
// the header first. Restart intervals are kept; arithmetic coding is never written.
//
// Nothing when the mode is kOff, when libjpeg-turbo cannot read the file or reads it only by
// patching over corrupt data (any warning), when the file's progressive scans stop short of full
// precision, when its coefficients would take far more memory than its size makes plausible, or
// when the result does not fit. `out` may then hold part of an abandoned result.
std::optional<std::size_t> RecompressJpeg(std::span<const std::uint8_t> jpeg,
                                          JpegRecompression mode, std::span<std::uint8_t> out);

}  // namespace quillon
