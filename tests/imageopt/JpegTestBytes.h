// Hand-made JPEG pieces shared by the stage's tests. Table and Huffman payloads are cut short:
// the stage reads nothing of a header segment but its marker and length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace quillon::test::jpeg {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

// A copy of `bytes` with the bytes from `at` on replaced by `with`.
inline Bytes Patched(Bytes bytes, std::size_t at, std::initializer_list<std::uint8_t> with) {
    for (std::uint8_t byte : with) {
        bytes.at(at++) = byte;
    }
    return bytes;
}

inline const Bytes kSoi = {0xFF, 0xD8};
inline const Bytes kEoi = {0xFF, 0xD9};

inline const Bytes kApp0 = {
    0xFF, 0xE0, 0x00, 0x10,              // APP0, length 16
    'J',  'F',  'I',  'F',  0x00,        // JFIF identifier
    0x01, 0x01, 0x00,                    // version 1.1, no density unit
    0x00, 0x01, 0x00, 0x01, 0x00, 0x00,  // density 1:1, no thumbnail
};

inline const Bytes kDqt = {0xFF, 0xDB, 0x00, 0x06, 0x00, 0x10, 0x0B, 0x0C};  // DQT, length 6

inline const Bytes kSof0 = {
    0xFF, 0xC0, 0x00, 0x0B,        // SOF0, length 11
    0x08, 0x00, 0x01, 0x00, 0x01,  // 8-bit, 1x1
    0x01, 0x01, 0x11, 0x00,        // one component: id 1, 1x1 sampling, table 0
};

// Three components as in a colour photo; the identifiers are the bytes at 10, 13 and 16.
inline const Bytes kSof0ThreeComponents = {
    0xFF, 0xC0, 0x00, 0x11,        // SOF0, length 17
    0x08, 0x00, 0x01, 0x00, 0x01,  // 8-bit, 1x1
    0x03,                          // three components: id, sampling, table each
    0x01, 0x11, 0x00, 0x02, 0x11, 0x00, 0x03, 0x11, 0x00,
};

inline const Bytes kDht = {0xFF, 0xC4, 0x00, 0x05, 0x00, 0x01, 0x00};  // DHT, length 5

inline const Bytes kSos = {
    0xFF, 0xDA, 0x00, 0x08,  // SOS, length 8
    0x01, 0x01, 0x00,        // one component, id 1, tables 0/0
    0x00, 0x3F, 0x00,        // spectral selection 0-63, no approximation
};

// Entropy-coded data: FF 00 is a stuffed 0xFF byte, not a marker. Then EOI.
inline const Bytes kScan = {0x7A, 0xFF, 0x00, 0x15, 0xFF, 0xD9};

inline const Bytes kCom = {0xFF, 0xFE, 0x00, 0x07, 'h', 'e', 'l', 'l', 'o'};  // COM, length 7

inline const Bytes kApp14Adobe = {
    0xFF, 0xEE, 0x00, 0x0E,       // APP14, length 14
    'A',  'd',  'o',  'b',  'e',  // identifier
    0x00, 0x64,                   // version 100
    0x00, 0x00, 0x00, 0x00,       // flags
    0x00,                         // transform 0: RGB or CMYK, not YCbCr or YCCK
};

inline const Bytes kApp2Icc1of2 = {
    0xFF, 0xE2, 0x00, 0x14,                                           // APP2, length 20
    'I',  'C',  'C',  '_',  'P', 'R', 'O', 'F', 'I', 'L', 'E', 0x00,  // identifier
    0x01, 0x02,                                                       // chunk 1 of 2
    0x00, 0x00, 0x01, 0x2C,                                           // profile bytes
};
inline const Bytes kApp2Icc2of2 = {
    0xFF, 0xE2, 0x00, 0x12,                                           // APP2, length 18
    'I',  'C',  'C',  '_',  'P', 'R', 'O', 'F', 'I', 'L', 'E', 0x00,  // identifier
    0x02, 0x02,                                                       // chunk 2 of 2
    'a',  'c',                                                        // profile bytes
};

// APP1 Exif, little-endian: three IFD0 entries with the orientation in the middle, then the
// XResolution value the third entry points to.
inline const Bytes kExifLittle6 = {
    0xFF, 0xE1, 0x00, 0x42,                          // APP1, length 66
    'E',  'x',  'i',  'f',  0x00, 0x00,              // Exif identifier
    'I',  'I',  0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,  // TIFF header: little-endian, IFD0 at 8
    0x03, 0x00,                                      // IFD0: 3 entries
    0x0F, 0x01, 0x02, 0x00, 0x04, 0x00, 0x00, 0x00, 'A',  'c',  'm',  0x00,  // Make, "Acm"
    0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,  // Orientation 6
    0x1A, 0x01, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x32, 0x00, 0x00, 0x00,  // XResolution at 50
    0x00, 0x00, 0x00, 0x00,                                                  // no next IFD
    0x48, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,                          // 72 / 1
};
// Where the orientation value of kExifLittle6 sits (low byte first).
inline constexpr std::size_t kExifLittle6ValueAt = 40;

// The same block, big-endian.
inline const Bytes kExifBig6 = {
    0xFF, 0xE1, 0x00, 0x42,                          // APP1, length 66
    'E',  'x',  'i',  'f',  0x00, 0x00,              // Exif identifier
    'M',  'M',  0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,  // TIFF header: big-endian, IFD0 at 8
    0x00, 0x03,                                      // IFD0: 3 entries
    0x01, 0x0F, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 'A',  'c',  'm',  0x00,  // Make, "Acm"
    0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x06, 0x00, 0x00,  // Orientation 6
    0x01, 0x1A, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x32,  // XResolution at 50
    0x00, 0x00, 0x00, 0x00,                                                  // no next IFD
    0x00, 0x00, 0x00, 0x48, 0x00, 0x00, 0x00, 0x01,                          // 72 / 1
};

// What an Exif block with orientation 6 becomes: nothing but the orientation.
inline const Bytes kMinimalExifLittle6 = {
    0xFF, 0xE1, 0x00, 0x22,                                                  // APP1, length 34
    'E',  'x',  'i',  'f',  0x00, 0x00,                                      // Exif identifier
    'I',  'I',  0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,                          // TIFF header
    0x01, 0x00,                                                              // IFD0: 1 entry
    0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,  // Orientation 6
    0x00, 0x00, 0x00, 0x00,                                                  // no next IFD
};
inline const Bytes kMinimalExifBig6 = {
    0xFF, 0xE1, 0x00, 0x22,                                                  // APP1, length 34
    'E',  'x',  'i',  'f',  0x00, 0x00,                                      // Exif identifier
    'M',  'M',  0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,                          // TIFF header
    0x00, 0x01,                                                              // IFD0: 1 entry
    0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x06, 0x00, 0x00,  // Orientation 6
    0x00, 0x00, 0x00, 0x00,                                                  // no next IFD
};

}  // namespace quillon::test::jpeg
