#include "imageopt/JpegOptimizer.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "imageopt/JpegExif.h"

namespace quillon {
namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kStuffedZero = 0x00;
constexpr std::uint8_t kSoi = 0xD8;
constexpr std::uint8_t kEoi = 0xD9;
constexpr std::uint8_t kSos = 0xDA;
constexpr std::uint8_t kApp0 = 0xE0;
constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kApp2 = 0xE2;
constexpr std::uint8_t kApp14 = 0xEE;

enum class MarkerKind {
    kStandAlone,   // TEM, RST0-RST7, SOI: no length, copied
    kEndOfImage,   // the image ended before any scan: nothing worth rewriting
    kStartOfScan,  // the header ends here; from here on every byte is copied unchanged
    kMetadata,     // APP0-APP15, JPG0-JPG13, COM: dropped unless listed as kept below
    kHeader,       // DQT, DHT, DRI, SOFn and any other code with a length: copied
};

constexpr MarkerKind KindOf(std::uint8_t code) {
    if (code == 0x01 || (code >= 0xD0 && code <= kSoi)) {
        return MarkerKind::kStandAlone;
    }
    if (code == kEoi) {
        return MarkerKind::kEndOfImage;
    }
    if (code == kSos) {
        return MarkerKind::kStartOfScan;
    }
    if (code >= 0xE0 && code <= 0xFE) {
        return MarkerKind::kMetadata;
    }
    return MarkerKind::kHeader;
}

// Metadata segments that change the decoded picture, recognised by the signature at the start of
// their payload.
struct KeptMetadata {
    std::uint8_t code;
    std::string_view signature;
};
constexpr std::array kKeptMetadata = {
    // The colour transform flag: without it an RGB file decodes as YCbCr and a YCCK file as CMYK,
    // both with wrong colours.
    KeptMetadata{kApp14, std::string_view("Adobe", 5)},
    // A colour profile, possibly in several chunks: wide-gamut photos shift colour without it.
    KeptMetadata{kApp2, std::string_view("ICC_PROFILE\0", 12)},
};

bool StartsWith(std::span<const std::uint8_t> payload, std::string_view signature) {
    return payload.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), payload.begin(),
                      [](char s, std::uint8_t b) { return static_cast<std::uint8_t>(s) == b; });
}

constexpr std::string_view kJfifSignature("JFIF\0", 5);

bool IsStartOfFrame(std::uint8_t code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// An Adobe payload: signature, version, two flag words, then the transform. Decoders read the
// transform only from a payload this long.
constexpr std::size_t kAdobeTransformAt = 11;
constexpr std::uint8_t kAdobeTransformYCbCr = 1;

// What the header says about colour, gathered on the first walk.
struct ColourFacts {
    bool adobe = false;
    bool everyAdobeSaysYCbCr = true;
    bool frameSeen = false;
    std::uint8_t components = 0;
    std::array<std::uint8_t, 3> ids{};

    void Note(std::uint8_t code, std::span<const std::uint8_t> payload) {
        if (code == kApp14 && StartsWith(payload, kKeptMetadata[0].signature)) {
            adobe = true;
            everyAdobeSaysYCbCr = everyAdobeSaysYCbCr && payload.size() > kAdobeTransformAt &&
                                  payload[kAdobeTransformAt] == kAdobeTransformYCbCr;
        }
        // Precision, height, width, component count, then three bytes per component.
        if (IsStartOfFrame(code) && !frameSeen && payload.size() >= 6) {
            frameSeen = true;
            components = payload[5];
            for (std::size_t c = 0; c < ids.size() && 6 + 3 * c < payload.size(); ++c) {
                ids[c] = payload[6 + 3 * c];
            }
        }
    }

    // Decoders take three components for YCbCr when a JFIF segment is present, whatever else
    // the header says; without it, an Adobe segment decides (YCbCr only for transform 1), and
    // without that, components named 'R', 'G', 'B' make them RGB. Where the answer without the
    // JFIF segment could be other than YCbCr, the segment stays or every colour changes.
    bool JfifDecidesColourSpace() const {
        if (components != 3) {
            return false;
        }
        if (adobe) {
            return !everyAdobeSaysYCbCr;
        }
        return ids[0] == 'R' && ids[1] == 'G' && ids[2] == 'B';
    }
};

// Where a decoder finds the code of the next marker when it reads on from `from`: it passes over
// stray bytes, fill bytes and 0xFF 0x00 pairs to the first 0xFF followed by any other byte.
std::size_t DecoderMarkerCode(const std::uint8_t* data, std::size_t from, std::size_t size) {
    // Bound: k grows every round and stops at size.
    for (std::size_t k = from; k < size; ++k) {
        if (data[k] != kMarkerPrefix) {
            continue;
        }
        while (k < size && data[k] == kMarkerPrefix) {
            ++k;
        }
        if (k < size && data[k] != kStuffedZero) {
            return k;
        }
    }
    return size;
}

// Reads forward through the buffer and writes what is kept back at its front. In a dry run it
// only counts what it would write, so the stage can give up without having touched the buffer.
class InPlaceRewriter {
  public:
    InPlaceRewriter(std::uint8_t* data, std::size_t size, bool dryRun)
        : data_(data), size_(size), dryRun_(dryRun) {}

    std::size_t Size() const { return size_; }
    std::size_t ReadPosition() const { return read_; }
    std::size_t Remaining() const { return size_ - read_; }
    std::size_t Written() const { return write_; }

    bool ReadByte(std::uint8_t& byte) {
        if (Remaining() < 1) {
            return false;
        }
        byte = data_[read_++];
        return true;
    }

    bool ReadBigEndian16(std::uint16_t& value) {
        if (Remaining() < 2) {
            return false;
        }
        value = static_cast<std::uint16_t>((data_[read_] << 8) | data_[read_ + 1]);
        read_ += 2;
        return true;
    }

    bool Skip(std::size_t count) {
        if (Remaining() < count) {
            return false;
        }
        read_ += count;
        return true;
    }

    // Where a decoder finds the next marker's code from `from` on; bytes not yet read are never
    // written, so the answer is the same in the dry run and the real one.
    std::size_t DecoderMarkerCodeFrom(std::size_t from) const {
        return DecoderMarkerCode(data_, from, size_);
    }

    // Where this walk finds the next marker's code: after the fill bytes at the read position.
    std::size_t WalkMarkerCode() const {
        std::size_t k = read_;
        while (k < size_ && data_[k] == kMarkerPrefix) {
            ++k;
        }
        return k;
    }

    // Bytes already read, as a view; valid until the writer reaches them.
    std::span<const std::uint8_t> ReadBytes(std::size_t from, std::size_t count) const {
        assert(from <= read_ && count <= read_ - from);
        return {data_ + from, count};
    }

    // Moves bytes that have been read towards the front.
    void CopyRead(std::size_t from, std::size_t count) {
        assert(write_ <= from && from <= read_ && count <= read_ - from);
        if (!dryRun_ && write_ != from) {
            std::memmove(data_ + write_, data_ + from, count);
        }
        write_ += count;
    }

    // Writes new bytes in place of bytes that have been read and are no longer needed.
    void WriteNew(std::span<const std::uint8_t> bytes) {
        assert(bytes.size() <= read_ - write_);
        if (!dryRun_) {
            std::memcpy(data_ + write_, bytes.data(), bytes.size());
        }
        write_ += bytes.size();
    }

  private:
    std::uint8_t* data_;
    std::size_t size_;
    bool dryRun_;
    // Invariant: write_ <= read_. Output only ever lands on bytes already read, so a byte is
    // never overwritten before the walk has looked at it.
    std::size_t read_ = 0;
    std::size_t write_ = 0;
};

struct Marker {
    std::uint8_t code;
    std::size_t start;  // the 0xFF right before the code; fill bytes before it are not kept
};

// Where a marker is expected there must be 0xFF; any other byte means the data is not the JPEG
// it claims to be, and rewriting it could only make garbage of it.
std::optional<Marker> ReadMarker(InPlaceRewriter& io) {
    std::uint8_t byte = 0;
    if (!io.ReadByte(byte) || byte != kMarkerPrefix) {
        return std::nullopt;
    }
    // Fill bytes: a run of 0xFF of any length. Bounded by the unread bytes.
    do {
        if (!io.ReadByte(byte)) {
            return std::nullopt;
        }
    } while (byte == kMarkerPrefix);
    return Marker{byte, io.ReadPosition() - 2};
}

// The span of a segment's payload: the bytes after its length field.
struct Payload {
    std::size_t start;
    std::size_t size;
};

// Reads a segment's length and skips its payload. A length below 2 cannot count its own two
// bytes, and a header segment that reaches the end of the file leaves no room for the scan.
std::optional<Payload> ReadSegmentPayload(InPlaceRewriter& io) {
    std::uint16_t length = 0;
    if (!io.ReadBigEndian16(length) || length < 2) {
        return std::nullopt;
    }
    const Payload payload{io.ReadPosition(), std::size_t{length} - 2};
    if (io.Remaining() <= payload.size) {
        return std::nullopt;
    }
    io.Skip(payload.size);
    return payload;
}

enum class Treatment { kCopy, kDrop, kMinimalExif };

struct MetadataDecision {
    Treatment treatment = Treatment::kDrop;
    ExifOrientation orientation;
};

// Only the first Exif block counts, as it is the one browsers read.
MetadataDecision DecideExif(std::span<const std::uint8_t> payload, std::size_t segmentSize,
                            bool& exifSeen) {
    if (exifSeen) {
        return {};
    }
    exifSeen = true;
    const auto orientation = ReadExifOrientation(payload);
    if (!orientation || orientation->value == 1) {
        return {};
    }
    // The rewrite goes where the segment was; a larger one would overrun bytes not yet read.
    if (segmentSize < kMinimalExifSegmentSize) {
        return {Treatment::kCopy, *orientation};
    }
    return {Treatment::kMinimalExif, *orientation};
}

MetadataDecision DecideMetadata(std::uint8_t code, std::span<const std::uint8_t> payload,
                                std::size_t segmentSize, bool keepJfif, bool& exifSeen) {
    if (keepJfif && code == kApp0 && StartsWith(payload, kJfifSignature)) {
        return {Treatment::kCopy, {}};
    }
    for (const KeptMetadata& kept : kKeptMetadata) {
        if (code == kept.code && StartsWith(payload, kept.signature)) {
            return {Treatment::kCopy, {}};
        }
    }
    if (code == kApp1 && IsExifPayload(payload)) {
        return DecideExif(payload, segmentSize, exifSeen);
    }
    return {};
}

// The first scan: the rest of the file goes through as it is.
std::uint32_t FinishAtScan(InPlaceRewriter& io, const Marker& sos) {
    io.Skip(io.Remaining());
    io.CopyRead(sos.start, io.Size() - sos.start);
    return static_cast<std::uint32_t>(io.Written());
}

// Walks the segments up to the first scan and returns the rewritten length (the same length when
// nothing was dropped), or nothing when the header is not well formed. `facts`, when given,
// receives what the header says about colour.
std::optional<std::uint32_t> RewriteHeader(std::uint8_t* data, std::uint32_t length, bool dryRun,
                                           bool keepJfif, ColourFacts* facts) {
    if (length < 2 || data[0] != kMarkerPrefix || data[1] != kSoi) {
        return std::nullopt;
    }
    InPlaceRewriter io(data, length, dryRun);
    bool exifSeen = false;
    // Every round reads at least a marker's two bytes: at most length / 2 rounds.
    while (io.Remaining() > 0) {
        const auto marker = ReadMarker(io);
        if (!marker) {
            return std::nullopt;
        }
        const MarkerKind kind = KindOf(marker->code);
        if (kind == MarkerKind::kEndOfImage) {
            return std::nullopt;
        }
        if (kind == MarkerKind::kStartOfScan) {
            return FinishAtScan(io, *marker);
        }
        if (kind == MarkerKind::kStandAlone) {
            io.CopyRead(marker->start, 2);
            continue;
        }
        const auto payload = ReadSegmentPayload(io);
        if (!payload) {
            return std::nullopt;
        }
        // 0xFF 0x00 is no marker: a decoder skips it and searches on, reading what this walk takes
        // for the segment's bytes. Only where both arrive at the same next marker do they read
        // the rest of the header alike.
        if (marker->code == kStuffedZero &&
            io.DecoderMarkerCodeFrom(marker->start + 2) != io.WalkMarkerCode()) {
            return std::nullopt;
        }
        const std::size_t segmentSize = io.ReadPosition() - marker->start;
        const auto bytes = io.ReadBytes(payload->start, payload->size);
        if (facts) {
            facts->Note(marker->code, bytes);
        }
        MetadataDecision decision{Treatment::kCopy, {}};
        if (kind == MarkerKind::kMetadata) {
            decision = DecideMetadata(marker->code, bytes, segmentSize, keepJfif, exifSeen);
        }
        if (decision.treatment == Treatment::kCopy) {
            io.CopyRead(marker->start, segmentSize);
        } else if (decision.treatment == Treatment::kMinimalExif) {
            io.WriteNew(MinimalExifSegment(decision.orientation));
        }
    }
    return std::nullopt;
}

// Strips the header in place and returns the new length, the old one when nothing could be
// dropped, or nothing when the header is not well formed.
std::optional<std::uint32_t> StripHeader(std::uint8_t* data, std::uint32_t length) {
    // The dry runs decide; only a file that will shrink is written to. The frame header comes
    // after the JFIF segment, so whether that segment must stay is known only after one walk.
    ColourFacts facts;
    auto planned = RewriteHeader(data, length, /*dryRun=*/true, /*keepJfif=*/false, &facts);
    const bool keepJfif = facts.JfifDecidesColourSpace();
    if (planned && keepJfif) {
        planned = RewriteHeader(data, length, /*dryRun=*/true, keepJfif, nullptr);
    }
    if (!planned || *planned == length) {
        return planned;
    }
    [[maybe_unused]] const auto written =
        RewriteHeader(data, length, /*dryRun=*/false, keepJfif, nullptr);
    assert(written == planned);
    return planned;
}

}  // namespace

bool StripJpegSegments(std::uint8_t* data, std::uint32_t& length) {
    if (data == nullptr) {
        return false;
    }
    const auto stripped = StripHeader(data, length);
    if (!stripped || *stripped == length) {
        return false;
    }
    length = *stripped;
    return true;
}

std::uint32_t OptimizeJpeg(std::span<std::uint8_t> file, JpegRecompression mode) {
    const auto size = static_cast<std::uint32_t>(file.size());
    const auto stripped = StripHeader(file.data(), size);
    // Only a sound header tells which segments the recompressed file must carry.
    if (!stripped || mode == JpegRecompression::kOff || *stripped < 2) {
        return stripped.value_or(size);
    }
    const std::size_t room = *stripped - 1;
    const auto out = std::make_unique_for_overwrite<std::uint8_t[]>(room);
    const auto recompressed = RecompressJpeg(file.first(*stripped), mode, {out.get(), room});
    if (!recompressed) {
        return *stripped;
    }
    std::memcpy(file.data(), out.get(), *recompressed);
    return static_cast<std::uint32_t>(*recompressed);
}

}  // namespace quillon
