// The stage on real files, judged by libjpeg-turbo: what it keeps must decode exactly as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Corpus.h"
#include "JpegTestBytes.h"
#include "ReferenceDecoder.h"
#include "imageopt/JpegOptimizer.h"

namespace quillon::test::jpeg {
namespace {

struct Stripped {
    bool shrunk = false;
    Bytes input;
    Bytes output;  // the first `length` bytes of the buffer after the stage
};

Stripped StripFile(const std::filesystem::path& path) {
    Stripped result;
    result.input = ReadBytes(path);
    Bytes buffer = result.input;
    auto length = static_cast<std::uint32_t>(buffer.size());
    result.shrunk = StripJpegSegments(buffer.data(), length);
    buffer.resize(std::min<std::size_t>(length, buffer.size()));
    result.output = std::move(buffer);
    return result;
}

std::vector<std::filesystem::path> ValidJpegs() {
    return CorpusFiles("jpeg", {".jpg", ".jpeg"});
}
std::vector<std::filesystem::path> MalformedJpegs() {
    return CorpusFiles("jpeg/malformed", {".jpg", ".jpeg"});
}
std::vector<std::filesystem::path> AllJpegs() {
    auto files = ValidJpegs();
    const auto malformed = MalformedJpegs();
    files.insert(files.end(), malformed.begin(), malformed.end());
    return files;
}

// Where the first SOS marker starts, found by a plain walk over marker segments; nothing when the
// walk meets anything else.
std::optional<std::size_t> FirstScanStart(const Bytes& bytes) {
    std::size_t at = 2;
    while (at + 1 < bytes.size() && bytes[at] == 0xFF) {
        std::size_t code = at + 1;
        while (code < bytes.size() && bytes[code] == 0xFF) {
            ++code;
        }
        if (code >= bytes.size()) {
            return std::nullopt;
        }
        const std::uint8_t marker = bytes[code];
        if (marker == 0xDA) {
            return code - 1;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            at = code + 1;
        } else if (code + 2 < bytes.size()) {
            at = code + 1 + ((std::size_t{bytes[code + 1]} << 8) | bytes[code + 2]);
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string Name(const std::filesystem::path& path) {
    return path.filename().string();
}

// Either the file shrank, or the stage gave up and left length and buffer as they were.
TEST(JpegCorpus, EveryFileEndsInADefinedResult) {
    const auto files = AllJpegs();
    ASSERT_FALSE(files.empty());
    for (const auto& path : files) {
        SCOPED_TRACE(Name(path));
        Bytes buffer = ReadBytes(path);
        const Bytes original = buffer;
        auto length = static_cast<std::uint32_t>(buffer.size());
        if (StripJpegSegments(buffer.data(), length)) {
            EXPECT_LT(length, original.size());
        } else {
            EXPECT_EQ(length, original.size());
            EXPECT_EQ(buffer, original);
        }
    }
}

struct MalformedCase {
    const char* file;
    bool shrinks;
};

void PrintTo(const MalformedCase& c, std::ostream* out) {
    *out << c.file;
}

class JpegCorpusMalformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(JpegCorpusMalformed, EndsAsExpected) {
    const MalformedCase& c = GetParam();
    const auto path = CorpusDir() / "jpeg" / "malformed" / c.file;
    ASSERT_TRUE(std::filesystem::is_regular_file(path));
    const Stripped s = StripFile(path);
    EXPECT_EQ(s.shrunk, c.shrinks);
    if (!s.shrunk) {
        EXPECT_EQ(s.output, s.input);
    }
}

// Broken files whose header is sound up to the first scan still shrink: the damage lies in the
// data the stage copies unchanged.
const MalformedCase kMalformed[] = {
    {"derived_flower_cut_in_exif.jpg", false},             // Exif length runs past the end
    {"derived_soi_only.jpg", false},                       // no scan
    {"jpegdec_derive-huffman-codes-overflow.jpg", false},  // stray bytes in the header
    {"jpegdec_empty.jpg", false},                          // 0 bytes
    {"jpegdec_fuzz_id_000006.jpg", false},                 // cut inside a marker
    {"jpegdec_fuzz_id_000448.jpg", false},                 // marker code without 0xFF
    {"jpegdec_fuzz_id_000838.jpg", false},                 // cut inside a length
    {"jpegdec_invalid-dimensions.jpg", false},             // segment length below 2
    {"jpegdec_jpg-size-6x6_png.jpg", false},               // a PNG
    {"jpegdec_max_size.jpg", true},                        // bad frame size, sound header
    {"jpegdec_missing-frame-image-1410.jpg", false},       // EOI before any scan
    {"jpegdec_missing-sof.jpg", false},                    // APP14 length runs past the end
    {"jpegdec_missing-sos.jpg", false},                    // EOI before any scan
    {"jpegdec_null_height.jpg", true},                     // height 0, sound header
    {"jpegdec_progressive-missing-dc.jpg", true},          // damage inside the scans
    {"pillow_jpeg_ff00_header.jpg", true},                 // FF 00 segment copied like a table
    {"pillow_junk_jpeg_header.jpg", false},                // 'hello' between segments
    {"pillow_photoshop-200dpi-broken.jpg", false},         // wrong segment length
    {"pillow_truncated_app14.jpg", false},                 // stray byte after a short APP14
    {"pillow_truncated_jpeg.jpg", true},                   // cut inside the scans
    {"pillow_ultrahdr.jpg", true},                         // cut inside the scan
    {"wuffs_hippopotamus-bad-comment-length.jpg", false},  // COM length 0
    {"wuffs_peacock.default.truncated.jpg", true},         // cut inside the scan
    {"wuffs_peacock.progressive.truncated.jpg", true},     // cut inside the scans
};

std::string MalformedName(const testing::TestParamInfo<MalformedCase>& info) {
    std::string name = std::filesystem::path(info.param.file).stem().string();
    std::replace_if(
        name.begin(), name.end(),
        [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(FoundInTheCorpus, JpegCorpusMalformed, testing::ValuesIn(kMalformed),
                         MalformedName);

TEST(JpegCorpus, EveryMalformedFileHasAnExpectedOutcome) {
    for (const auto& path : MalformedJpegs()) {
        const auto listed =
            std::find_if(std::begin(kMalformed), std::end(kMalformed),
                         [&](const MalformedCase& c) { return Name(path) == c.file; });
        EXPECT_NE(listed, std::end(kMalformed)) << Name(path);
    }
}

TEST(JpegCorpus, BytesFromFirstScanOnAreUnchanged) {
    int checked = 0;
    for (const auto& path : AllJpegs()) {
        SCOPED_TRACE(Name(path));
        const Stripped s = StripFile(path);
        if (!s.shrunk) {
            continue;
        }
        const auto scan = FirstScanStart(s.input);
        ASSERT_TRUE(scan);
        const std::size_t tail = s.input.size() - *scan;
        ASSERT_GE(s.output.size(), tail + 2);
        EXPECT_TRUE(std::equal(s.input.begin() + *scan, s.input.end(), s.output.end() - tail));
        EXPECT_EQ(s.output[0], 0xFF);
        EXPECT_EQ(s.output[1], 0xD8);
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

// Checks the walk above against libjpeg's own idea of where the first scan's data begins.
TEST(JpegCorpus, FirstScanWalkAgreesWithLibjpeg) {
    int checked = 0;
    for (const auto& path : ValidJpegs()) {
        SCOPED_TRACE(Name(path));
        const Bytes input = ReadBytes(path);
        const auto decoded = DecodeWithLibjpeg(input, DecodeDepth::kHeaderOnly);
        const auto scan = FirstScanStart(input);
        if (!decoded || decoded->warnings > 0 || !scan) {
            continue;
        }
        const std::size_t sosLength = (std::size_t{input[*scan + 2]} << 8) | input[*scan + 3];
        EXPECT_EQ(*scan + 2 + sosLength, decoded->scanDataOffset);
        ++checked;
    }
    EXPECT_GE(checked, 40);
}

TEST(JpegCorpus, DecodesToTheSamePixels) {
    int compared = 0;
    for (const auto& path : ValidJpegs()) {
        SCOPED_TRACE(Name(path));
        const Stripped s = StripFile(path);
        if (!s.shrunk) {
            continue;
        }
        // Some files use what this libjpeg build cannot decode (12-bit, lossless); only the
        // pixel comparison skips them.
        const auto before = DecodeWithLibjpeg(s.input, DecodeDepth::kPixels);
        if (!before) {
            continue;
        }
        const auto after = DecodeWithLibjpeg(s.output, DecodeDepth::kPixels);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->width, before->width);
        EXPECT_EQ(after->height, before->height);
        EXPECT_EQ(after->components, before->components);
        EXPECT_EQ(after->colorSpace, before->colorSpace);
        EXPECT_EQ(after->iccProfile, before->iccProfile);
        EXPECT_TRUE(after->pixels == before->pixels);
        ++compared;
    }
    EXPECT_GE(compared, 40);
}

// Renames the three components of a baseline file (frame header and its one scan header) so that
// their identifiers read 'R', 'G', 'B'.
Bytes WithRgbComponentIds(Bytes bytes) {
    std::size_t at = 2;
    int renamed = 0;
    while (at + 4 < bytes.size() && bytes[at] == 0xFF) {
        const std::uint8_t marker = bytes[at + 1];
        const std::size_t length = (std::size_t{bytes[at + 2]} << 8) | bytes[at + 3];
        if (marker == 0xC0 && bytes[at + 9] == 3) {
            for (std::size_t c = 0; c < 3; ++c) {
                bytes[at + 10 + 3 * c] = static_cast<std::uint8_t>("RGB"[c]);
            }
            ++renamed;
        } else if (marker == 0xDA && bytes[at + 4] == 3) {
            for (std::size_t c = 0; c < 3; ++c) {
                bytes[at + 5 + 2 * c] = static_cast<std::uint8_t>("RGB"[c]);
            }
            ++renamed;
            break;
        }
        at += 2 + length;
    }
    EXPECT_EQ(renamed, 2);
    return bytes;
}

// Without an Adobe segment, decoders read three components named 'R', 'G', 'B' as RGB, unless a
// JFIF segment says the data is YCbCr; dropping that segment would change every colour.
TEST(JpegCorpus, KeepsTheJfifSegmentThatDecidesTheColourSpace) {
    const Bytes input = WithRgbComponentIds(ReadBytes(CorpusDir() / "jpeg" / "ljt_testorig.jpg"));
    Bytes buffer = input;
    auto length = static_cast<std::uint32_t>(buffer.size());
    StripJpegSegments(buffer.data(), length);
    buffer.resize(length);
    const auto before = DecodeWithLibjpeg(input, DecodeDepth::kPixels);
    const auto after = DecodeWithLibjpeg(buffer, DecodeDepth::kPixels);
    ASSERT_TRUE(before && after);
    EXPECT_EQ(after->colorSpace, before->colorSpace);
    EXPECT_TRUE(after->pixels == before->pixels);
}

// Inputs the fuzz target found the stage to get wrong: each must now decode as it did before.
TEST(JpegFuzzFindings, DecodeToTheSamePixelsAsBefore) {
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUILLON_FINDINGS_DIR)) {
        SCOPED_TRACE(entry.path().filename().string());
        const Stripped s = StripFile(entry.path());
        const auto before = DecodeWithLibjpeg(s.input, DecodeDepth::kPixels);
        ASSERT_TRUE(before) << "a finding that libjpeg cannot decode tells nothing";
        const auto after = DecodeWithLibjpeg(s.output, DecodeDepth::kPixels);
        ASSERT_TRUE(after);
        EXPECT_TRUE(after->pixels == before->pixels);
        ++checked;
    }
    EXPECT_GE(checked, 1);
}

class JpegCorpusAdobe : public testing::TestWithParam<const char*> {};

// jpegdec_rgb.jpg holds nothing but the Adobe segment, so it is left as it is; the others shrink.
TEST_P(JpegCorpusAdobe, KeepsTheColourTransform) {
    const Stripped s = StripFile(CorpusDir() / "jpeg" / GetParam());
    const auto before = DecodeWithLibjpeg(s.input, DecodeDepth::kHeaderOnly);
    const auto after = DecodeWithLibjpeg(s.output, DecodeDepth::kHeaderOnly);
    ASSERT_TRUE(before && after);
    ASSERT_TRUE(before->sawAdobe);
    EXPECT_TRUE(after->sawAdobe);
    EXPECT_EQ(after->adobeTransform, before->adobeTransform);
    EXPECT_EQ(after->colorSpace, before->colorSpace);
}

INSTANTIATE_TEST_SUITE_P(KeptSegments, JpegCorpusAdobe,
                         testing::Values("jpegdec_rgb.jpg", "jpegdec_ycck.jpg",
                                         "pillow_pil_sample_cmyk.jpg"));

class JpegCorpusIcc : public testing::TestWithParam<const char*> {};

TEST_P(JpegCorpusIcc, KeepsEveryProfileChunk) {
    const Stripped s = StripFile(CorpusDir() / "jpeg" / GetParam());
    ASSERT_TRUE(s.shrunk);
    const auto before = DecodeWithLibjpeg(s.input, DecodeDepth::kHeaderOnly);
    const auto after = DecodeWithLibjpeg(s.output, DecodeDepth::kHeaderOnly);
    ASSERT_TRUE(before && after);
    ASSERT_FALSE(before->iccProfile.empty());
    EXPECT_EQ(after->iccProfile, before->iccProfile);
}

INSTANTIATE_TEST_SUITE_P(KeptSegments, JpegCorpusIcc,
                         testing::Values("jpegdec_icc_chunk_order.jpg",
                                         "pillow_icc_profile_big.jpg"));

TEST(JpegCorpus, KeepsOrientationSix) {
    const Stripped s = StripFile(CorpusDir() / "jpeg" / "pillow_hopper_orientation_6.jpg");
    ASSERT_TRUE(s.shrunk);
    const auto after = DecodeWithLibjpeg(s.output, DecodeDepth::kHeaderOnly);
    ASSERT_TRUE(after);
    ASSERT_EQ(after->app1Payloads.size(), 1u);
    EXPECT_EQ(after->app1Payloads[0],
              Bytes(kMinimalExifLittle6.begin() + 4, kMinimalExifLittle6.end()));
}

// Pages and GIFs are not JPEGs, whatever bytes they happen to hold.
TEST(JpegCorpus, OtherFormatsAreLeftAlone) {
    auto files = CorpusFiles("gif", {".gif"});
    const auto pages = CorpusFiles("html", {".html", ".htm"});
    files.insert(files.end(), pages.begin(), pages.end());
    ASSERT_FALSE(files.empty());
    for (const auto& path : files) {
        SCOPED_TRACE(Name(path));
        const Stripped s = StripFile(path);
        EXPECT_FALSE(s.shrunk);
        EXPECT_EQ(s.output, s.input);
    }
}

}  // namespace
}  // namespace quillon::test::jpeg
