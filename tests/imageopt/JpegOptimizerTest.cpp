// The JPEG stage: what the stripping drops, copies and keeps, byte for byte, on headers written
// out here; the Exif orientation reader on a block patched at each field; and every corpus file
// judged by libjpeg-turbo, which must decode what the stage keeps exactly as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "Corpus.h"
#include "ReferenceDecoder.h"
#include "imageopt/JpegExif.h"
#include "imageopt/JpegOptimizer.h"

namespace quillon::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Mode = JpegRecompression;

// Pieces of a JPEG header by name, spelled as the rows are. Table and Huffman payloads are cut
// short: the stage reads nothing of a header segment but its marker and length.
// clang-format off
const std::map<std::string, std::string, std::less<>> kPieces = {
    {"SOI", "FFD8"}, {"DQT", "FFDB0006 00100B0C"}, {"DHT", "FFC40005 000100"},
    {"APP0", "FFE00010 'JFIF' 00 0101 00 0001 0001 0000"},  // JFIF 1.1, density 1:1
    // 8-bit, 1x1, one component (id 1, 1x1 sampling, table 0); three components as in a colour
    // photo, numbered 1 to 3 or named R, G and B
    {"SOF", "FFC0000B 08 0001 0001 01 011100"},
    {"SOF3", "FFC00011 08 0001 0001 03 011100 021100 031100"},
    {"SOFRGB", "FFC00011 08 0001 0001 03 'R' 1100 'G' 1100 'B' 1100"},
    {"TABLES", "DQT SOF DHT"}, {"SOS", "FFDA0008 010100 003F00"},
    {"DATA", "7AFF0015 FFD9"},  // FF 00 is a stuffed 0xFF, not a marker; then EOI
    {"COM", "FFFE0007 'hello'"},
    // Adobe APP14: version 100, no flags, transform 0 (RGB or CMYK) or 1 (YCbCr)
    {"ADOBE", "FFEE000E 'Adobe' 0064 00000000 00"}, {"ADOBE1", "FFEE000E 'Adobe' 0064 00000000 01"},
    {"ICC1", "FFE20014 'ICC_PROFILE' 00 0102 0000012C"},  // the first of two ICC chunks
    // Exif: a TIFF header, then IFD0 with the orientation (6, or 1: upright) between two other
    // entries, no next IFD, and the XResolution value the third entry points to
    {"EXIF", "FFE10042 'Exif' 0000 'II' 2A00 08000000 0300 0F0102000400000041636D00 "
             "120103000100000006000000 1A0105000100000032000000 00000000 4800000001000000"},
    {"EXIF1", "FFE10042 'Exif' 0000 'II' 2A00 08000000 0300 0F0102000400000041636D00 "
              "120103000100000001000000 1A0105000100000032000000 00000000 4800000001000000"},
    {"EXIFBE", "FFE10042 'Exif' 0000 'MM' 002A 00000008 0003 010F00020000000441636D00 "
               "011200030000000100060000 011A00050000000100000032 00000000 0000004800000001"},
    // what an Exif block with orientation 6 becomes: nothing but the orientation
    {"MINEXIF", "FFE10022 'Exif' 0000 'II' 2A00 08000000 0100 120103000100000006000000 00000000"},
    {"MINEXIFBE", "FFE10022 'Exif' 0000 'MM' 002A 00000008 0001 011200030000000100060000 00000000"},
};
// clang-format on

// The bytes a row spells: names of pieces, 'text' for its ASCII bytes, and any other word as
// hexadecimal bytes.
Bytes Spelled(std::string_view spelling) {
    Bytes bytes;
    for (std::size_t at = 0, end = 0; at < spelling.size(); at = end + 1) {
        end = std::min(spelling.find(' ', at), spelling.size());
        const std::string_view word = spelling.substr(at, end - at);
        if (const auto piece = kPieces.find(word); piece != kPieces.end()) {
            const Bytes spelled = Spelled(piece->second);
            bytes.insert(bytes.end(), spelled.begin(), spelled.end());
        } else if (word.front() == '\'') {
            bytes.insert(bytes.end(), word.begin() + 1, word.end() - 1);
        } else {
            for (std::size_t k = 0; k + 1 < word.size(); k += 2) {
                bytes.push_back(static_cast<std::uint8_t>(
                    std::stoi(std::string(word.substr(k, 2)), nullptr, 16)));
            }
        }
    }
    return bytes;
}

struct StripRow {
    const char* name;
    const char* input;
    const char* expected;  // empty: the stage gives up and the buffer stays as it was
};

void ExpectStripped(std::span<const StripRow> rows) {
    for (const StripRow& row : rows) {
        Bytes buffer = Spelled(row.input);
        auto length = static_cast<std::uint32_t>(buffer.size());
        const bool shrunk = StripJpegSegments(buffer.data(), length);
        buffer.resize(length);
        EXPECT_EQ(shrunk, *row.expected != '\0') << row.name;
        EXPECT_EQ(buffer, Spelled(shrunk ? row.expected : row.input)) << row.name;
    }
}

TEST(StripJpegSegments, DropsWhatDoesNotChangeThePicture) {
    const StripRow rows[] = {
        // dropped
        {"EveryApplicationExtensionAndCommentCode",
         "SOI FFE30002 FFEF000300 FFF00002 FFFD0002 COM TABLES SOS DATA", "SOI TABLES SOS DATA"},
        {"App2OtherThanIcc", "SOI FFE20006 'MPF' 00 FFE2000E 'ICC_PROFILEX' TABLES SOS DATA",
         "SOI TABLES SOS DATA"},
        {"App14WithoutTheAdobeSignature", "SOI FFEE0007 'Adobf' TABLES SOS DATA",
         "SOI TABLES SOS DATA"},
        {"AdobeSignatureInAnotherSegment", "SOI FFED000A 'Adobe_CM' TABLES SOS DATA",
         "SOI TABLES SOS DATA"},
        {"FillBytesAnywhereBeforeTheScan", "SOI FFFFFF DQT FF APP0 SOF DHT FFFF SOS DATA",
         "SOI DQT SOF DHT SOS DATA"},
        // copied as they are
        {"StandAloneMarkersAndASecondSoi", "SOI APP0 FF01 FFD0 FFD7 SOI TABLES SOS DATA",
         "SOI FF01 FFD0 FFD7 SOI TABLES SOS DATA"},
        {"ScanWithNothingAfterIt", "SOI APP0 TABLES FFDA", "SOI TABLES FFDA"},
        // Found by fuzzing: decoders skip 0xFF 0x00 and search on for a marker, reading what this
        // walk would take for a segment as markers of their own.
        {"StuffedZeroWhereAMarkerBelongsGivesUp", "SOI APP0 FF000006FFFE0002 TABLES SOS DATA", ""},
        {"FillBytesToTheEnd", "SOI FFFFFF", ""},
        {"SegmentEndingExactlyAtTheEnd", "SOI TABLES APP0", ""},
        // kept: what changes how the picture looks. Decoders take three components for YCbCr
        // whenever a JFIF segment is present; without it an Adobe segment decides (YCbCr for
        // transform 1 only), and without that, components named R, G and B are RGB.
        {"JfifBesideAdobeOfThreeComponents", "SOI APP0 ADOBE COM DQT SOF3 DHT SOS DATA",
         "SOI APP0 ADOBE DQT SOF3 DHT SOS DATA"},
        {"JfifForComponentsNamedRgb", "SOI APP0 COM DQT SOFRGB DHT SOS DATA",
         "SOI APP0 DQT SOFRGB DHT SOS DATA"},
        {"NoJfifBesideAdobeSayingYCbCr", "SOI APP0 ADOBE1 DQT SOFRGB DHT SOS DATA",
         "SOI ADOBE1 DQT SOFRGB DHT SOS DATA"},
        {"NoJfifForComponentsNumberedOneToThree", "SOI APP0 DQT SOF3 DHT SOS DATA",
         "SOI DQT SOF3 DHT SOS DATA"},
        {"NoJfifBesideAdobeOfOneComponent", "SOI APP0 ADOBE TABLES SOS DATA",
         "SOI ADOBE TABLES SOS DATA"},
        // The first Exif block, the one browsers read, shrinks to its orientation unless that is
        // upright; later ones go.
        {"ExifReduced", "SOI APP0 EXIF TABLES SOS DATA", "SOI MINEXIF TABLES SOS DATA"},
        {"BigEndianExifReduced", "SOI EXIFBE EXIF TABLES SOS DATA",
         "SOI MINEXIFBE TABLES SOS DATA"},
        {"UprightExifAndTheOneAfterItDropped", "SOI EXIF1 EXIFBE TABLES SOS DATA",
         "SOI TABLES SOS DATA"},
        // Without the next-IFD offset the block is 32 bytes: the 36-byte one would not fit where
        // it stands, so the block stays as it is.
        {"ExifSmallerThanTheMinimal",
         "SOI APP0 FFE1001E 'Exif' 0000 49492A0008000000 0100 120103000100000003000000 TABLES SOS "
         "DATA",
         "SOI FFE1001E 'Exif' 0000 49492A0008000000 0100 120103000100000003000000 TABLES SOS DATA"},
        // Kept segments alone are no gain.
        {"OnlyKeptSegments", "SOI ADOBE ICC1 MINEXIF TABLES SOS DATA", ""},
    };
    ExpectStripped(rows);
}

// The Exif block's payload (TIFF header at 6, entry count at 14, orientation entry at 28)
// patched at one offset or cut to a length (0: whole): the orientation found, or 0 for none.
struct ExifRow {
    const char* name;
    bool bigEndian;
    std::size_t at;
    Bytes patch;
    std::size_t cut;
    int expected;
};

TEST(ReadExifOrientation, FindsTheOrientationOrNothing) {
    const ExifRow rows[] = {
        {"BigEndianValue", true, 36, {0x00, 0x03}, 0, 3},
        {"FirstOfTwoEntries", false, 16, {0x12, 0x01, 0x03, 0, 0x01, 0, 0, 0, 0x02, 0}, 0, 2},
        {"IdentifierOnly", false, 0, {}, 6, 0},
        {"ValueNine", false, 36, {0x09}, 0, 0},
        {"TypeLong", false, 30, {0x04}, 0, 0},
        {"CountTwo", false, 32, {0x02}, 0, 0},
        {"UnknownByteOrder", false, 6, {'X', 'X'}, 0, 0},
        {"WrongMagic", false, 8, {0x2B}, 0, 0},
        {"DirectoryInsideTheHeader", false, 10, {0x04}, 0, 0},
        {"DirectoryFarPastTheEnd", false, 10, {0xFF, 0xFF, 0xFF, 0xFF}, 0, 0},
        {"OneEntryTooMany", false, 14, {0x05}, 0, 0},  // four fit exactly
        // A cut directory is malformed even when the orientation entry itself is whole.
        {"CutInsideALaterEntry", false, 0, {}, 44, 0},
        {"HeaderWithoutTheOffset", false, 0, {}, 10, 0},
        {"HeaderOnly", false, 0, {}, 14, 0},
    };
    for (const ExifRow& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes segment = Spelled(row.bigEndian ? "EXIFBE" : "EXIF");
        Bytes payload(segment.begin() + 4, segment.end());
        std::copy(row.patch.begin(), row.patch.end(), payload.begin() + row.at);
        payload.resize(row.cut ? row.cut : payload.size());
        const auto found = ReadExifOrientation(payload);
        EXPECT_EQ(found ? found->value : 0, row.expected);
    }
}

// The whole stage: the bytes it leaves at the front of the buffer.
Bytes Optimize(Bytes buffer, Mode mode) {
    const std::uint32_t length = OptimizeJpeg(buffer, mode);
    EXPECT_LE(length, buffer.size());
    buffer.resize(std::min<std::size_t>(length, buffer.size()));
    return buffer;
}

std::optional<DecodedJpeg> Decode(const Bytes& bytes) {
    return DecodeWithLibjpeg(bytes, DecodeDepth::kPixels);
}

// The segments that may stay in front of the first scan: JFIF, a minimal Exif block, the ICC
// profile's chunks and Adobe's colour transform.
bool MayStay(int code, const Bytes& payload) {
    const auto startsWith = [&](std::string_view signature) {
        return payload.size() >= signature.size() &&
               std::equal(signature.begin(), signature.end(), payload.begin());
    };
    return (code == 0xE0 && startsWith({"JFIF\0", 5})) ||
           (code == 0xE1 && IsExifPayload(payload) && payload.size() <= 32) ||
           (code == 0xE2 && startsWith({"ICC_PROFILE\0", 12})) ||
           (code == 0xEE && startsWith("Adobe"));
}

// What a browser would be told about the picture, compared between two files.
void ExpectSamePicture(const DecodedJpeg& after, const DecodedJpeg& before) {
    EXPECT_TRUE(after.width == before.width && after.height == before.height);
    EXPECT_TRUE(after.components == before.components && after.colorSpace == before.colorSpace);
    EXPECT_TRUE(after.sawAdobe == before.sawAdobe && after.adobeTransform == before.adobeTransform);
    EXPECT_EQ(after.iccProfile, before.iccProfile);
    EXPECT_EQ(after.restartInterval, before.restartInterval);
    EXPECT_TRUE(after.pixels == before.pixels);
}

// The broken files whose header is sound up to the first scan: they shrink, the damage lying in
// the data the stage copies unchanged. Every other broken file is left as it is.
const std::set<std::string> kBrokenFilesThatShrink = {"jpegdec_max_size.jpg",
                                                      "jpegdec_null_height.jpg",
                                                      "jpegdec_progressive-missing-dc.jpg",
                                                      "pillow_jpeg_ff00_header.jpg",
                                                      "pillow_truncated_jpeg.jpg",
                                                      "pillow_ultrahdr.jpg",
                                                      "wuffs_peacock.default.truncated.jpg",
                                                      "wuffs_peacock.progressive.truncated.jpg"};

using Input = std::tuple<std::string, Bytes, bool>;  // name, bytes, broken

// The corpus, broken files last; the inputs the fuzz target found the stage to get wrong; and files
// made from corpus files, among them a progressive file ending after each of its scans, which is
// sound: decoders show what its scans sent so far, smoothing over the precision still missing.
std::vector<Input> Inputs() {
    std::vector<Input> inputs;
    for (const char* folder : {"jpeg", "jpeg/malformed"}) {
        for (const auto& path : CorpusFiles(folder, {".jpg", ".jpeg"})) {
            inputs.push_back(
                {path.filename().string(), ReadBytes(path), std::string_view(folder) != "jpeg"});
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(QUILLON_FINDINGS_DIR)) {
        if (entry.path().extension() == ".jpg") {
            inputs.push_back({entry.path().filename().string(), ReadBytes(entry.path()), false});
        }
    }
    // A file whose three components are renamed R, G and B: decoders read them as RGB unless a
    // JFIF segment says YCbCr, so dropping that segment would change every colour.
    Bytes rgb = ReadBytes(CorpusDir() / "jpeg" / "ljt_testorig.jpg");
    const Bytes sof = {0xFF, 0xC0}, sos = {0xFF, 0xDA};
    const auto frame = std::search(rgb.begin(), rgb.end(), sof.begin(), sof.end());
    const auto header = std::search(rgb.begin(), rgb.end(), sos.begin(), sos.end());
    for (std::size_t c = 0; c < 3; ++c) {
        frame[10 + 3 * c] = header[5 + 2 * c] = static_cast<std::uint8_t>("RGB"[c]);
    }
    inputs.push_back({"ljt_testorig.jpg, components named R, G and B", rgb, false});
    const Bytes whole = ReadBytes(CorpusDir() / "jpeg" / "jpegdec_jpg-progressive.jpg");
    auto scan = std::search(whole.begin(), whole.end(), sos.begin(), sos.end());
    for (int scans = 1; scan != whole.end(); ++scans) {
        scan = std::search(scan + 2, whole.end(), sos.begin(), sos.end());
        Bytes cut(whole.begin(), scan);
        cut.insert(cut.end(), {0xFF, 0xD9});
        inputs.push_back({"progressive file after scan " + std::to_string(scans), cut, false});
    }
    return inputs;
}

// Every input: either it shrank or the stage gave up and left length and buffer as they were; the
// recompression keeps the stripped file unless its own result is smaller. Every file libjpeg
// decodes, broken ones too, decodes in every mode to the same pixels, colours, profile and
// restart interval as before, with no segment left but those that change how the picture looks
// when it shrank, and a recompressed file carries exactly the stripped file's segments.
TEST(JpegCorpus, EveryFileShrinksSafelyOrStaysAsItIs) {
    int compared = 0, dropped = 0, progressive = 0;
    std::map<Mode, int> recompressed;
    for (const auto& [name, input, isBroken] : Inputs()) {
        SCOPED_TRACE(name);
        Bytes stripped = input;
        auto length = static_cast<std::uint32_t>(stripped.size());
        const bool shrunk = StripJpegSegments(stripped.data(), length);
        EXPECT_EQ(length < input.size(), shrunk);
        EXPECT_TRUE(shrunk || stripped == input);
        stripped.resize(length);
        EXPECT_EQ(Optimize(input, Mode::kOff), stripped);
        std::map<Mode, Bytes> outputs;
        for (const Mode mode : {Mode::kOptimizedTables, Mode::kProgressive}) {
            outputs[mode] = Optimize(input, mode);
            EXPECT_TRUE(outputs[mode] == stripped || outputs[mode].size() < stripped.size());
        }
        // A small picture (under 32 KB) is tried as one baseline scan too in progressive mode,
        // which keeps that scan where it is at least two bytes smaller.
        if (stripped.size() < (std::size_t{32} << 10)) {
            EXPECT_LE(outputs[Mode::kProgressive].size(),
                      outputs[Mode::kOptimizedTables].size() + 1);
        }
        EXPECT_TRUE(!isBroken || shrunk == kBrokenFilesThatShrink.contains(name));
        // Files libjpeg cannot decode (12-bit, lossless, broken) can only be stripped.
        const auto before = Decode(input);
        if (!before) {
            EXPECT_EQ(outputs[Mode::kProgressive], stripped);
            continue;
        }
        const auto strippedDecoded = Decode(stripped);
        ASSERT_TRUE(strippedDecoded);
        ExpectSamePicture(*strippedDecoded, *before);
        for (const auto& [code, payload] : strippedDecoded->segments) {
            EXPECT_TRUE(!shrunk || MayStay(code, payload)) << "segment " << std::hex << code;
        }
        dropped += strippedDecoded->segments.size() < before->segments.size();
        for (const auto& [mode, output] : outputs) {
            if (output == stripped) {
                continue;
            }
            const auto after = Decode(output);
            ASSERT_TRUE(after);
            ExpectSamePicture(*after, *before);
            EXPECT_EQ(after->segments, strippedDecoded->segments);
            // Progressive mode writes one baseline scan where that is smaller.
            EXPECT_FALSE(mode == Mode::kOptimizedTables && after->progressive);
            EXPECT_FALSE(after->arithmetic);
            progressive += after->progressive;
            ++recompressed[mode];
        }
        ++compared;
    }
    EXPECT_GE(compared, 40);
    EXPECT_GE(dropped, 20);
    EXPECT_GE(progressive, 8);
    // Most files gain from either recompression; a stage that only stripped would fail here.
    EXPECT_GE(recompressed[Mode::kOptimizedTables], 20);
    EXPECT_GE(recompressed[Mode::kProgressive], 20);
}

}  // namespace
}  // namespace quillon::test
