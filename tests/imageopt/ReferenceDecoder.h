// libjpeg-turbo as an independent judge of what a JPEG decodes to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace quillon::test {

struct DecodedJpeg {
    int width = 0, height = 0;
    int components = 0;  // per output pixel
    int colorSpace = 0;  // J_COLOR_SPACE libjpeg read from the file's markers
    bool sawAdobe = false;
    int adobeTransform = -1;
    bool progressive = false, arithmetic = false;
    unsigned restartInterval = 0;          // MCUs between restart markers
    int warnings = 0;                      // libjpeg's count of recoverable problems
    std::vector<std::uint8_t> iccProfile;  // reassembled from its APP2 chunks
    // Every APPn and COM segment before the first scan: marker code, bytes after the length.
    std::vector<std::pair<int, std::vector<std::uint8_t>>> segments;
    std::vector<std::uint8_t> pixels;  // empty when only the header was read
};

enum class DecodeDepth { kHeaderOnly, kPixels };

// Nothing when libjpeg gives up on the data (or when the picture is too large to hold in a test).
std::optional<DecodedJpeg> DecodeWithLibjpeg(std::span<const std::uint8_t> bytes,
                                             DecodeDepth depth);

}  // namespace quillon::test
