// Arbitrary bytes through the JPEG stage: the stripping must never lengthen the data, must leave
// the data alone when it gives up, and when it succeeds must keep every byte from the first scan
// on and decode (with libjpeg-turbo) to the very pixels the input decodes to. The recompression,
// in both its modes, must give either the stripped bytes or fewer bytes that decode to those
// same pixels.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "ReferenceDecoder.h"
#include "imageopt/JpegOptimizer.h"

namespace {

// Where the first scan starts in a file the stage accepted, found by a walk of its own: markers
// (with fill bytes) and segments with a big-endian length, up to the first SOS marker.
std::size_t FirstScan(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 2;
    // Bound: every round moves at by at least two bytes.
    while (at + 1 < size) {
        std::size_t code = at + 1;
        while (code < size && data[code] == 0xFF) {
            ++code;
        }
        if (code >= size) {
            break;
        }
        const std::uint8_t marker = data[code];
        if (marker == 0xDA) {
            return code - 1;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            at = code + 1;
            continue;
        }
        if (code + 2 >= size) {
            break;
        }
        at = code + 1 + ((std::size_t{data[code + 1]} << 8) | data[code + 2]);
    }
    std::abort();  // the stage succeeded on a file without a scan
}

using quillon::test::DecodeDepth;
using quillon::test::DecodedJpeg;
using quillon::test::DecodeWithLibjpeg;
using Bytes = std::vector<std::uint8_t>;

// What the reader of a page sees must not change: same size, same components, same pixels.
void CheckSamePicture(const std::optional<DecodedJpeg>& before, const Bytes& result) {
    if (!before) {
        return;  // libjpeg gives up on the input: the result is judged by its bytes alone
    }
    const auto after = DecodeWithLibjpeg(result, DecodeDepth::kPixels);
    if (!after || after->width != before->width || after->height != before->height ||
        after->components != before->components || after->colorSpace != before->colorSpace ||
        after->pixels != before->pixels) {
        std::abort();
    }
}

// The stripped bytes, or the input itself when the stripping gave up.
Bytes CheckStripping(const std::uint8_t* data, std::size_t size) {
    Bytes buffer(data, data + size);
    auto length = static_cast<std::uint32_t>(buffer.size());
    if (!quillon::StripJpegSegments(buffer.data(), length)) {
        // Given up: the file is left as it was.
        if (length != size || !std::equal(buffer.begin(), buffer.end(), data)) {
            std::abort();
        }
        return buffer;
    }
    if (length >= size || length < 2) {
        std::abort();
    }
    // The output ends with the input's tail from its first scan on, byte for byte.
    const std::size_t tail = size - FirstScan(data, size);
    if (tail > length ||
        !std::equal(data + size - tail, data + size, buffer.begin() + length - tail)) {
        std::abort();
    }
    buffer.resize(length);
    return buffer;
}

void CheckRecompression(const std::uint8_t* data, std::size_t size, const Bytes& stripped,
                        const std::optional<DecodedJpeg>& before) {
    for (const auto mode :
         {quillon::JpegRecompression::kOptimizedTables, quillon::JpegRecompression::kProgressive}) {
        Bytes buffer(data, data + size);
        const std::uint32_t length = quillon::OptimizeJpeg(buffer, mode);
        buffer.resize(std::min<std::size_t>(length, buffer.size()));
        if (buffer == stripped) {
            continue;
        }
        // Written only when smaller, and then decoding to the same picture (unless the reference
        // decoder refuses the input, as it does pictures too large to hold).
        if (buffer.size() >= stripped.size()) {
            std::abort();
        }
        CheckSamePicture(before, buffer);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes stripped = CheckStripping(data, size);
    const auto before = DecodeWithLibjpeg({data, size}, DecodeDepth::kPixels);
    if (stripped.size() < size) {
        CheckSamePicture(before, stripped);
    }
    CheckRecompression(data, size, stripped, before);
    return 0;
}
