// The stage on real files, judged by libjpeg-turbo: what it keeps must decode exactly as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <map>
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

// The whole stage: the bytes it leaves at the front of the buffer.
Bytes Optimize(Bytes buffer, JpegRecompression mode) {
    const std::uint32_t length = OptimizeJpeg(buffer, mode);
    EXPECT_LE(length, buffer.size());
    buffer.resize(std::min<std::size_t>(length, buffer.size()));
    return buffer;
}

constexpr JpegRecompression kRecompressions[] = {JpegRecompression::kOptimizedTables,
                                                 JpegRecompression::kProgressive};

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

// The APPn segments before the first scan, whole and in file order.
std::vector<Bytes> ApplicationSegments(const Bytes& jpeg) {
    std::vector<Bytes> segments;
    std::size_t at = 2;
    // Bound: every round moves at forward by at least two bytes.
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const std::uint8_t code = jpeg[at + 1];
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD8)) {
            at += 2;
            continue;
        }
        const std::size_t length = (std::size_t{jpeg[at + 2]} << 8) | jpeg[at + 3];
        const std::size_t end = std::min(jpeg.size(), at + 2 + length);
        if (code >= 0xE0 && code <= 0xEF) {
            segments.emplace_back(jpeg.begin() + at, jpeg.begin() + end);
        }
        at = end;
    }
    return segments;
}

std::string Name(const std::filesystem::path& path) {
    return path.filename().string();
}

// Either the file shrank, or the stage gave up and left length and buffer as they were; the
// recompression keeps the stripped file unless its own result is smaller.
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
        buffer.resize(length);
        EXPECT_EQ(Optimize(original, JpegRecompression::kOff), buffer);
        for (const JpegRecompression mode : kRecompressions) {
            const Bytes recompressed = Optimize(original, mode);
            EXPECT_TRUE(recompressed == buffer || recompressed.size() < buffer.size());
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

// libjpeg reads none of these cleanly, so the recompression leaves each as the stripping did.
TEST_P(JpegCorpusMalformed, EndsAsExpected) {
    const MalformedCase& c = GetParam();
    const auto path = CorpusDir() / "jpeg" / "malformed" / c.file;
    ASSERT_TRUE(std::filesystem::is_regular_file(path));
    const Stripped s = StripFile(path);
    EXPECT_EQ(s.shrunk, c.shrinks);
    if (!s.shrunk) {
        EXPECT_EQ(s.output, s.input);
    }
    EXPECT_EQ(Optimize(s.input, JpegRecompression::kProgressive), s.output);
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

// What a browser would be told about the picture, compared between the original and a result.
void ExpectSamePicture(const DecodedJpeg& after, const DecodedJpeg& before) {
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(after.components, before.components);
    EXPECT_EQ(after.colorSpace, before.colorSpace);
    EXPECT_EQ(after.sawAdobe, before.sawAdobe);
    EXPECT_EQ(after.adobeTransform, before.adobeTransform);
    EXPECT_EQ(after.iccProfile, before.iccProfile);
    EXPECT_EQ(after.restartInterval, before.restartInterval);
    EXPECT_TRUE(after.pixels == before.pixels);
}

// Every valid file in every mode: the same pixels, colours, profile and restart interval as the
// original, and the recompressed file carries exactly the stripped file's segments.
TEST(JpegCorpus, DecodesToTheSamePixels) {
    int compared = 0, withIcc = 0, withAdobe = 0, progressive = 0;
    std::map<JpegRecompression, int> recompressed;
    for (const auto& path : ValidJpegs()) {
        SCOPED_TRACE(Name(path));
        const Stripped s = StripFile(path);
        // Some files use what this libjpeg build cannot decode (12-bit, lossless): they can only
        // be stripped.
        const auto before = DecodeWithLibjpeg(s.input, DecodeDepth::kPixels);
        if (!before) {
            EXPECT_EQ(Optimize(s.input, JpegRecompression::kProgressive), s.output);
            continue;
        }
        const auto stripped = DecodeWithLibjpeg(s.output, DecodeDepth::kPixels);
        ASSERT_TRUE(stripped);
        ExpectSamePicture(*stripped, *before);
        for (const JpegRecompression mode : kRecompressions) {
            const Bytes output = Optimize(s.input, mode);
            if (output == s.output) {
                continue;
            }
            const auto after = DecodeWithLibjpeg(output, DecodeDepth::kPixels);
            ASSERT_TRUE(after);
            ExpectSamePicture(*after, *before);
            EXPECT_EQ(ApplicationSegments(output), ApplicationSegments(s.output));
            // Progressive mode writes one baseline scan where that is smaller.
            if (mode == JpegRecompression::kOptimizedTables) {
                EXPECT_FALSE(after->progressive);
            }
            progressive += after->progressive;
            EXPECT_FALSE(after->arithmetic);
            ++recompressed[mode];
        }
        withIcc += !before->iccProfile.empty();
        withAdobe += before->sawAdobe;
        ++compared;
    }
    EXPECT_GE(compared, 40);
    EXPECT_GE(withIcc, 4);
    EXPECT_GE(withAdobe, 3);
    EXPECT_GE(progressive, 8);
    // Most files gain from either recompression; a stage that only stripped would fail here.
    for (const JpegRecompression mode : kRecompressions) {
        EXPECT_GE(recompressed[mode], 20) << static_cast<int>(mode);
    }
}

// A progressive file that ends after any whole scan is a sound file: decoders show what its
// scans sent so far, smoothing over the precision still missing.
TEST(JpegCorpus, ProgressiveFileEndingEarlyDecodesAsBefore) {
    const Bytes whole = ReadBytes(CorpusDir() / "jpeg" / "jpegdec_jpg-progressive.jpg");
    const Bytes sos = {0xFF, 0xDA};
    auto scan = std::search(whole.begin(), whole.end(), sos.begin(), sos.end());
    for (int scans = 1; scan != whole.end(); ++scans) {
        scan = std::search(scan + 2, whole.end(), sos.begin(), sos.end());
        SCOPED_TRACE(scans);
        const Bytes input = Join({Bytes(whole.begin(), scan), kEoi});
        const auto before = DecodeWithLibjpeg(input, DecodeDepth::kPixels);
        ASSERT_TRUE(before);
        for (const JpegRecompression mode : kRecompressions) {
            const auto after = DecodeWithLibjpeg(Optimize(input, mode), DecodeDepth::kPixels);
            ASSERT_TRUE(after);
            EXPECT_TRUE(after->pixels == before->pixels);
        }
    }
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
    const auto before = DecodeWithLibjpeg(input, DecodeDepth::kPixels);
    ASSERT_TRUE(before);
    for (const JpegRecompression mode :
         {JpegRecompression::kOff, JpegRecompression::kProgressive}) {
        const auto after = DecodeWithLibjpeg(Optimize(input, mode), DecodeDepth::kPixels);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->colorSpace, before->colorSpace);
        EXPECT_TRUE(after->pixels == before->pixels);
    }
}

// Inputs the fuzz target found the stage to get wrong: each must now decode as it did before.
TEST(JpegFuzzFindings, DecodeToTheSamePixelsAsBefore) {
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUILLON_FINDINGS_DIR)) {
        SCOPED_TRACE(entry.path().filename().string());
        const Bytes input = ReadBytes(entry.path());
        const auto before = DecodeWithLibjpeg(input, DecodeDepth::kPixels);
        ASSERT_TRUE(before) << "a finding that libjpeg cannot decode tells nothing";
        for (const JpegRecompression mode :
             {JpegRecompression::kOff, JpegRecompression::kOptimizedTables,
              JpegRecompression::kProgressive}) {
            const auto after = DecodeWithLibjpeg(Optimize(input, mode), DecodeDepth::kPixels);
            ASSERT_TRUE(after);
            EXPECT_TRUE(after->pixels == before->pixels);
        }
        ++checked;
    }
    EXPECT_GE(checked, 1);
}

TEST(JpegCorpus, KeepsOrientationSix) {
    const Bytes input = ReadBytes(CorpusDir() / "jpeg" / "pillow_hopper_orientation_6.jpg");
    const auto after = DecodeWithLibjpeg(Optimize(input, JpegRecompression::kProgressive),
                                         DecodeDepth::kHeaderOnly);
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
        EXPECT_EQ(Optimize(s.input, JpegRecompression::kProgressive), s.input);
    }
}

}  // namespace
}  // namespace quillon::test::jpeg
